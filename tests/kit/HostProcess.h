// HostProcess: runs cuebridge-hostsim as a child process under a throw-away HOME (with the
// controller service's PluginData folder in place), talks to its console over pipes, finds
// the plug-in's port file, and reads the host's state and call journal. For end-to-end
// tests, soak runs and benchmarks. When CUEBRIDGE_HOST_WRAPPER is set (for instance
// "valgrind --error-exitcode=99"), its words are put before the program and every wait
// lasts twenty times its timeout. A wait whose timeout passes says on stderr what it
// waited for. One object per child, used from one thread; the destructor kills a child
// still running and removes the HOME folder.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace hostsim {

using namespace std::chrono_literals;

class HostProcess {
public:
    // program: cuebridge-hostsim; args: its options; journal: also write the call journal
    // (JournalPath()); env: variables added to the child's environment (a HOME there replaces
    // the host's own for the child; Home() still names its own); serviceFiles: empty
    // files made in the controller service's folder before the start (the marker files).
    HostProcess(std::string program, std::vector<std::string> args, bool journal = false,
                std::map<std::string, std::string> env = {},
                const std::vector<std::string>& serviceFiles = {});
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    const std::string& Home() const { return home_; }
    pid_t Pid() const { return pid_; }  // for /proc measurements of the running child
    std::string PortFilePath() const;
    std::string ServiceFolder() const;
    std::string JournalPath() const { return home_ + "/journal.jsonl"; }

    // The port in the port file, once it exists and differs from notPort; nullopt on timeout.
    std::optional<int> WaitForPort(std::chrono::milliseconds timeout = 5s, int notPort = -1) const;
    // Sends one console line and returns its JSON answer (null on timeout or EOF).
    nlohmann::json Ask(const std::string& line, std::chrono::milliseconds timeout = 5s);
    void Send(const std::string& line);
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    void CloseStdin();

    // The console's "state" (an empty object when the host does not answer), and the
    // state once pred holds or the timeout passed.
    nlohmann::json State(std::chrono::milliseconds timeout = 5s);
    nlohmann::json StateWhen(const std::function<bool(const nlohmann::json&)>& pred,
                             std::chrono::milliseconds timeout = 5s);
    // The journal's lines, parsed; those of one call; how many lines name each call.
    std::vector<nlohmann::json> Journal() const;
    std::vector<nlohmann::json> Calls(const std::string& call) const;
    std::map<std::string, int> CallCounts() const;

    // Waits for the child to end; its exit code, or -1 (then it is killed) on timeout.
    int WaitExit(std::chrono::milliseconds timeout = 5s);
    int Quit(std::chrono::milliseconds timeout = 5s);  // "quit" on the console, then WaitExit
    void Signal(int signal) const;
    bool Running();
    std::string Stderr() const;  // everything the child wrote to stderr

private:
    std::string home_;
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    std::string buffered_;
    std::optional<int> exitCode_;
    int patience_ = 1;  // how many times its timeout a wait lasts
};

// Creates a fresh temporary folder; RemoveTree deletes it with its content.
std::string MakeTempDir(const std::string& prefix);
void RemoveTree(const std::string& path);

}  // namespace hostsim
