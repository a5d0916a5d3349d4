// HostSimProcess: runs cuebridge-hostsim as a child process under a throw-away HOME (with
// the controller service's PluginData folder in place), talks to its console over pipes,
// and finds the plug-in's port file. For end-to-end tests, soak tests and benchmarks.
// One object per child, used from one test thread; the destructor kills a child still
// running and removes the HOME folder.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace cuebridge_test {

using namespace std::chrono_literals;

class HostSimProcess {
public:
    // hostsim: the program; args: its options (--plugin and so on); env: added variables;
    // serviceFiles: empty files made in the controller service's folder before the start
    // (the marker files "enabletraces" and "enablelogs").
    HostSimProcess(std::string hostsim, std::vector<std::string> args,
                   std::map<std::string, std::string> env = {},
                   const std::vector<std::string>& serviceFiles = {});
    ~HostSimProcess();
    HostSimProcess(const HostSimProcess&) = delete;
    HostSimProcess& operator=(const HostSimProcess&) = delete;

    const std::string& Home() const { return home_; }
    pid_t Pid() const { return pid_; }  // for /proc measurements of the running child
    std::string PortFilePath() const;
    std::string JournalPath() const { return home_ + "/journal.jsonl"; }  // pass it with --journal

    // The port in the port file, once it exists and differs from notPort; nullopt on timeout.
    std::optional<int> WaitForPort(std::chrono::milliseconds timeout = 10s, int notPort = -1) const;
    // Sends one console line and returns its JSON answer (null on timeout or EOF).
    nlohmann::json Ask(const std::string& line, std::chrono::milliseconds timeout = 20s);
    void Send(const std::string& line);
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    void CloseStdin();

    // Waits for the child to end; its exit code, or -1 (then it is killed) on timeout.
    int WaitExit(std::chrono::milliseconds timeout = 20s);
    // "quit" on the console, then WaitExit.
    int Quit(std::chrono::milliseconds timeout = 20s);
    void Signal(int signal) const;
    bool Running();
    std::string Stderr() const;                   // everything the child wrote to stderr
    std::vector<nlohmann::json> Journal() const;  // the journal's lines, parsed

private:
    std::string home_;
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    std::string buffered_;
    std::optional<int> exitCode_;
};

// Creates a fresh temporary folder; RemoveTree deletes it with its content.
std::string MakeTempDir(const std::string& prefix);
void RemoveTree(const std::string& path);

}  // namespace cuebridge_test
