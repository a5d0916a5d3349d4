#pragma once
// A conversation with the plug-in: finds it (port file or a fixed port), connects, and sends
// one request at a time followed by an empty "Script" with a fresh tag, whose reply (that tag
// and a bar) is the known text that marks where the request's reply ends.
// Owned and used by one thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>

#include "Connection.h"

namespace Cuebridge::Ctl {

// Where to find the plug-in: a fixed port, or the port file.
struct Target {
    std::optional<int> port;
    std::string portFilePath;
};

enum class Outcome { Ok, NotListening, TimedOut, Closed, TooLarge, Failed };

// What the client buffers of one reply unless told otherwise: far above any list or script
// result a controller exchanges, and low enough that a peer that never ends its reply cannot
// exhaust the memory.
inline constexpr size_t kDefaultMaxReplyMiB = 256;

struct RequestResult {
    Outcome outcome = Outcome::Failed;
    std::string reply;   // the bytes that came back before the end marker
    std::string detail;  // a sentence for a person when outcome is not Ok
};

// Generates request tags: 16 hex digits from a seeded 64-bit generator.
class TagSource {
public:
    TagSource();
    std::string Next();

private:
    std::mt19937_64 engine_;
};

class Session {
public:
    Session(Target target, std::chrono::milliseconds timeout,
            size_t maxReplyBytes = kDefaultMaxReplyMiB << 20);

    // Connects if not connected (or if the plug-in dropped the connection). A refused connect
    // (another controller holds the plug-in, or it is between listen cycles) is retried until
    // the timeout; a missing or unreadable port file for a short grace period only. A port that
    // no socket on the machine holds (the plug-in is gone, or busy with an earlier request) is
    // reported at once.
    RequestResult EnsureConnected();

    // Sends `line` (no line feed inside) and returns what came back before the end marker.
    RequestResult Send(const std::string& line);

    // Waits up to the timeout until a plug-in accepts a connection, then closes it.
    RequestResult WaitForListener();

    TagSource& Tags() { return tags_; }
    void SetObserver(ByteObserver observer);

    // Called with a sentence for a person while a connect waits long (another controller
    // holds the plug-in); at most once per wait.
    using Notice = std::function<void(const std::string&)>;
    void SetNotice(Notice notice);

private:
    // The grace period bounds how long the port file may stay missing or unreadable.
    RequestResult ConnectUntil(Clock::time_point deadline, std::chrono::milliseconds grace);

    Target target_;
    std::chrono::milliseconds timeout_;
    size_t maxReplyBytes_;
    std::optional<Connection> connection_;
    TagSource tags_;
    ByteObserver observer_;
    Notice notice_;
};

}  // namespace Cuebridge::Ctl
