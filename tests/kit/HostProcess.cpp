#include "HostProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "Protocol.h"

namespace hostsim {
namespace {

extern "C" char** environ;

std::vector<std::string> ChildEnvironment(const std::string& home,
                                          const std::map<std::string, std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "HOME" || extra.count(name)) continue;
        env.push_back(entry);
    }
    if (!extra.count("HOME")) env.push_back("HOME=" + home);
    for (const auto& [name, value] : extra) env.push_back(name + "=" + value);
    return env;
}

}  // namespace

std::string MakeTempDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void RemoveTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

HostProcess::HostProcess(std::string program, std::vector<std::string> args, bool journal,
                         std::map<std::string, std::string> env,
                         const std::vector<std::string>& serviceFiles) {
    home_ = MakeTempDir("hostsim-home-");
    // The controller service's folders exist; the plug-in creates only the port file's own.
    std::filesystem::create_directories(
        std::filesystem::path(Cuebridge::Protocol::PortFileFolder(home_))
            .parent_path()
            .parent_path());
    for (const auto& name : serviceFiles) std::ofstream(ServiceFolder() + name);
    const std::string stderrPath = home_ + "/stderr.txt";

    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<std::string> argv;
    if (const char* wrapper = std::getenv("CUEBRIDGE_HOST_WRAPPER")) {
        std::istringstream words(wrapper);
        for (std::string word; words >> word;) argv.push_back(word);
        patience_ = 20;
    }
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    if (journal) argv.insert(argv.end(), {"--journal", JournalPath()});
    const auto envp = ChildEnvironment(home_, env);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        const int err = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (err >= 0) dup2(err, STDERR_FILENO);
        std::vector<char*> cargv, cenv;
        for (const auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
        for (const auto& e : envp) cenv.push_back(const_cast<char*>(e.c_str()));
        cargv.push_back(nullptr);
        cenv.push_back(nullptr);
        execvpe(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
}

HostProcess::~HostProcess() {
    if (Running()) {
        kill(pid_, SIGKILL);
        WaitExit(5s);
    }
    if (stdin_ >= 0) close(stdin_);
    if (stdout_ >= 0) close(stdout_);
    RemoveTree(home_);
}

std::string HostProcess::ServiceFolder() const { return Cuebridge::Protocol::ServiceFolder(home_); }

std::string HostProcess::PortFilePath() const { return Cuebridge::Protocol::PortFilePath(home_); }

std::optional<int> HostProcess::WaitForPort(std::chrono::milliseconds timeout, int notPort) const {
    const auto until = std::chrono::steady_clock::now() + timeout * patience_;
    while (std::chrono::steady_clock::now() < until) {
        std::ifstream file(PortFilePath());
        std::string text;
        if (file && std::getline(file, text) && !text.empty() &&
            text.find_first_not_of("0123456789") == std::string::npos && text.size() <= 5) {
            const int port = std::stoi(text);
            if (port != notPort && port > 0) return port;
        }
        std::this_thread::sleep_for(5ms);
    }
    return std::nullopt;
}

void HostProcess::Send(const std::string& line) {
    const std::string bytes = line + "\n";
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto n = write(stdin_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

std::optional<std::string> HostProcess::ReadLine(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout * patience_;
    for (;;) {
        const auto newline = buffered_.find('\n');
        if (newline != std::string::npos) {
            std::string line = buffered_.substr(0, newline);
            buffered_.erase(0, newline + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd fd{stdout_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[4096];
        const auto n = read(stdout_, chunk, sizeof chunk);
        if (n <= 0) return std::nullopt;
        buffered_.append(chunk, static_cast<std::size_t>(n));
    }
}

// The plug-in's trace lines (ended by CR LF) share standard output with the console's
// answers: they are stepped over here and put back, in order, for ReadLine.
nlohmann::json HostProcess::Ask(const std::string& line, std::chrono::milliseconds timeout) {
    Send(line);
    const auto until = std::chrono::steady_clock::now() + timeout * patience_;
    const auto left = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   until - std::chrono::steady_clock::now()) /
               patience_;
    };
    std::string traces;
    std::optional<std::string> answer;
    while ((answer = ReadLine(left())) && !answer->empty() && answer->back() == '\r')
        traces += *answer + "\n";
    buffered_.insert(0, traces);
    if (!answer) {
        std::fprintf(stderr, "HostProcess: no answer to '%s' on the console within %lld ms\n",
                     line.c_str(), static_cast<long long>((timeout * patience_).count()));
        return nullptr;
    }
    return nlohmann::json::parse(*answer, nullptr, false);
}

void HostProcess::CloseStdin() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
}

bool HostProcess::Running() {
    if (exitCode_ || pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

int HostProcess::WaitExit(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout * patience_;
    while (Running()) {
        if (std::chrono::steady_clock::now() >= until) {
            std::fprintf(stderr, "HostProcess: the host did not exit within %lld ms; killed\n",
                         static_cast<long long>((timeout * patience_).count()));
            kill(pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
            exitCode_ = -1;
            return -1;
        }
        std::this_thread::sleep_for(5ms);
    }
    return *exitCode_;
}

int HostProcess::Quit(std::chrono::milliseconds timeout) {
    Send("quit");
    return WaitExit(timeout);
}

void HostProcess::Signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
}

std::string HostProcess::Stderr() const {
    std::ifstream file(home_ + "/stderr.txt");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

nlohmann::json HostProcess::State(std::chrono::milliseconds timeout) {
    const nlohmann::json answer = Ask("state", timeout);
    return answer.is_object() ? answer["state"] : nlohmann::json::object();
}

nlohmann::json HostProcess::StateWhen(const std::function<bool(const nlohmann::json&)>& pred,
                                      std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout * patience_;
    nlohmann::json state = State();
    while (!pred(state) && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(10ms);
        state = State();
    }
    return state;
}

std::vector<nlohmann::json> HostProcess::Journal() const { return Calls(""); }

// Lines are matched on their text first, so that polling a long journal stays cheap.
std::vector<nlohmann::json> HostProcess::Calls(const std::string& call) const {
    std::vector<nlohmann::json> lines;
    std::ifstream file(JournalPath());
    const std::string key = "\"call\":\"" + call + "\"";
    for (std::string line; std::getline(file, line);)
        if (call.empty() || line.find(key) != std::string::npos)
            lines.push_back(nlohmann::json::parse(line, nullptr, false));
    return lines;
}

std::map<std::string, int> HostProcess::CallCounts() const {
    std::map<std::string, int> counts;
    for (const auto& line : Journal())
        if (line.is_object()) ++counts[line.value("call", "")];
    return counts;
}

}  // namespace hostsim
