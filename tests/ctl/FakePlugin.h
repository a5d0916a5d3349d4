#pragma once
// A stand-in for the plug-in's socket side, for the client's tests: listens on 127.0.0.1,
// publishes the port file under a temporary HOME, serves one connection at a time (a new port
// after each), joins messages across receives, answers an empty "Script" at once with the tag
// and a bar, and asks a handler for every other message. Replies are written in small pieces
// so that the client sees them arrive split. Runs its own thread; the public calls may be
// made from any thread.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Cuebridge::CtlTest {

struct FakeReply {
    enum class Kind { Result, Nothing, Hang, Close } kind = Kind::Nothing;
    std::string result;  // for Result: sent as tag, "|", result
};

using FakeHandler =
    std::function<FakeReply(const std::string& keyword, const std::string& argument)>;

class FakePlugin {
public:
    // `home` must exist; the port file folders are created below it.
    FakePlugin(std::string home, FakeHandler handler, size_t writePieceBytes = 3);
    ~FakePlugin();  // stops and joins the server thread

    std::string PortFilePath() const;
    std::vector<std::string> Messages() const;  // every message received, in order
    int Connections() const { return connections_.load(); }
    void WaitUntilListening() const;

private:
    void Run();
    bool ServeOne();
    void Serve(int client);
    bool Answer(int client, const std::string& message);
    void WriteInPieces(int client, const std::string& bytes);

    std::string home_;
    FakeHandler handler_;
    size_t writePieceBytes_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> listening_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;  // guarded by mutex_
    std::thread thread_;
};

// A fresh folder under /tmp, removed with everything in it at destruction.
class TempHome {
public:
    TempHome();
    ~TempHome();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

struct CtlRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built cuebridge-ctl with HOME set to `home`, feeding `input` on standard input.
CtlRun RunCtl(const std::string& home, const std::vector<std::string>& args,
              const std::string& input = {});

}  // namespace Cuebridge::CtlTest
