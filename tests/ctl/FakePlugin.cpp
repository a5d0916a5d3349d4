#include "FakePlugin.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "PortFile.h"
#include "Protocol.h"

extern char** environ;

namespace Cuebridge::CtlTest {

namespace fs = std::filesystem;

FakePlugin::FakePlugin(std::string home, FakeHandler handler, size_t writePieceBytes)
    : home_(std::move(home)), handler_(std::move(handler)), writePieceBytes_(writePieceBytes) {
    fs::create_directories(fs::path(PortFilePath()).parent_path());
    thread_ = std::thread([this] { Run(); });
}

FakePlugin::~FakePlugin() {
    stop_ = true;
    thread_.join();
}

std::string FakePlugin::PortFilePath() const { return Ctl::PortFilePath(home_); }

// any thread
std::vector<std::string> FakePlugin::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

// any thread
void FakePlugin::WaitUntilListening() const {
    while (!listening_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// server thread
void FakePlugin::Run() {
    while (!stop_) {
        if (!ServeOne()) {
            return;
        }
    }
}

// server thread. One listen cycle: bind a new port, publish it, accept one connection, serve it,
// unpublish.
bool FakePlugin::ServeOne() {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::listen(listener, 8) != 0) {
        ::close(listener);
        return false;
    }
    std::ofstream(PortFilePath(), std::ios::trunc) << ntohs(address.sin_port);
    listening_ = true;
    int client = -1;
    while (!stop_ && client < 0) {
        pollfd watch{listener, POLLIN, 0};
        if (::poll(&watch, 1, 20) > 0) {
            client = ::accept(listener, nullptr, nullptr);
        }
    }
    ::close(listener);
    if (client >= 0) {
        ++connections_;
        Serve(client);
        ::close(client);
    }
    fs::remove(PortFilePath());
    return true;
}

// server thread
void FakePlugin::Serve(int client) {
    std::string pending;
    char buffer[65536];
    while (!stop_) {
        pollfd watch{client, POLLIN, 0};
        if (::poll(&watch, 1, 20) <= 0) {
            continue;
        }
        ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;
        }
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            std::string message = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!Answer(client, message)) {
                return;
            }
        }
    }
}

// server thread. Returns false when the connection must end (a Close or Hang reply).
bool FakePlugin::Answer(int client, const std::string& message) {
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    }
    size_t first = message.find('|');
    if (first == std::string::npos) {
        return true;
    }
    std::string tag = message.substr(0, first);
    size_t second = message.find('|', first + 1);
    std::string keyword = message.substr(
        first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    std::string argument = second == std::string::npos ? std::string() : message.substr(second + 1);
    if (keyword == Protocol::kScript && argument.empty()) {
        WriteInPieces(client, tag + "|");
        return true;
    }
    FakeReply reply = handler_(keyword, argument);
    switch (reply.kind) {
        case FakeReply::Kind::Result:
            WriteInPieces(client, tag + "|" + reply.result);
            return true;
        case FakeReply::Kind::Nothing:
            return true;
        case FakeReply::Kind::Hang:
            while (!stop_) {
                char byte = 0;
                pollfd watch{client, POLLIN, 0};
                if (::poll(&watch, 1, 20) > 0 && ::recv(client, &byte, 1, MSG_PEEK) == 0) {
                    break;  // the client gave up
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return false;
        case FakeReply::Kind::Close:
            return false;
    }
    return true;
}

// server thread
void FakePlugin::WriteInPieces(int client, const std::string& bytes) {
    for (size_t at = 0; at < bytes.size();) {
        size_t piece = std::min(writePieceBytes_, bytes.size() - at);
        ssize_t written = ::send(client, bytes.data() + at, piece, MSG_NOSIGNAL);
        if (written <= 0) {
            return;
        }
        at += static_cast<size_t>(written);
    }
}

TempHome::TempHome() {
    std::string pattern = (fs::temp_directory_path() / "cuebridge-ctl-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
}

TempHome::~TempHome() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> EnvironmentWithHome(const std::string& home) {
    std::vector<std::string> env{"HOME=" + home};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string_view(*entry).substr(0, 5) != "HOME=") {
            env.emplace_back(*entry);
        }
    }
    return env;
}

}  // namespace

CtlRun RunCtl(const std::string& home, const std::vector<std::string>& args,
              const std::string& input) {
    // Standard streams go through files under the temporary home, so nothing can fill a pipe.
    const std::string stem = home + "/.ctl-run-" + std::to_string(::getpid());
    std::ofstream(stem + ".in", std::ios::binary) << input;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, (stem + ".in").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (stem + ".out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (stem + ".err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<std::string> argStrings{CUEBRIDGE_CTL_PATH};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argStrings) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = EnvironmentWithHome(home);
    std::vector<char*> envp;
    for (std::string& entry : envStrings) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    CtlRun run;
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadFile(stem + ".out");
    run.err = ReadFile(stem + ".err");
    return run;
}

}  // namespace Cuebridge::CtlTest
