// Helpers shared by the plug-in's unit tests: a fixture that wires the plug-in to a
// FakeHost, and a small loopback TCP client that reads unterminated replies.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FakeHost.h"
#include "HostContext.h"
#include "Marlune.h"
#include "MarlunePlugin.h"
#include "PluginEntry.h"
#include "ThreadSafeQueue.h"

namespace testsupport {

using namespace std::chrono_literals;

inline void DrainQueues() {
    for (auto* q : {&Cuebridge::commandQueue, &Cuebridge::infoPanelCommandQueue,
                    &Cuebridge::projectCommandQueue, &Cuebridge::scriptQueue,
                    &Cuebridge::scriptResultQueue}) {
        while (!q->Empty()) q->Pop();
    }
}

inline std::vector<std::string> QueueContents(Cuebridge::ThreadSafeQueue& queue) {
    std::vector<std::string> items;
    while (!queue.Empty()) items.push_back(queue.Pop());
    return items;
}

// The plug-in's host context pointed at a fresh FakeHost; the test thread is the
// host's main thread until StartPumpWithIdleHook.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        DrainQueues();
        Cuebridge::IsScriptExecuting.store(false);
        Cuebridge::idleHookMissing.store(false);  // a failed entry of an earlier test
        Cuebridge::sP = host.Basic();
        Cuebridge::S_my_id = 42;
        const void* table = nullptr;
        host.Basic()->AcquireSuite(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion6, &table);
        Cuebridge::utilSuite = static_cast<AEGP_UtilitySuite6*>(const_cast<void*>(table));
        Cuebridge::MarlunePlugin::CreateInstance();
        Cuebridge::Marlune::CreateInstance();
        host.ClearCalls();
    }
    void TearDown() override {
        host.StopPump();
        DrainQueues();
    }
    void RegisterIdleHook() {
        host.Register("idle", nullptr, nullptr, Cuebridge::IdleHook, nullptr);
    }
    void StartPumpWithIdleHook() {
        RegisterIdleHook();
        host.StartPump(5ms);
    }
    Cuebridge::MarlunePlugin& Plugin() { return *Cuebridge::MarlunePlugin::GetInstance(); }
    Cuebridge::Marlune& Dispatcher() { return *Cuebridge::Marlune::GetInstance(); }

    fakehost::FakeHost host;
};

// ---- loopback client ---------------------------------------------------------------------

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

// Waits until the file exists with content; "" on time-out.
inline std::string WaitForFile(const std::filesystem::path& path,
                               std::chrono::milliseconds timeout = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (std::filesystem::exists(path)) {
            std::string text = ReadFile(path);
            if (!text.empty()) return text;
        }
        std::this_thread::sleep_for(1ms);
    }
    return {};
}

inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A connected TCP client to 127.0.0.1:port.
class Client {
public:
    // Retries while the server publishes its port before listening.
    explicit Client(int port, std::chrono::milliseconds timeout = 5000ms) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (fd_ < 0 && std::chrono::steady_clock::now() < end) {
            fd_ = TryConnect(port);
            if (fd_ < 0) std::this_thread::sleep_for(1ms);
        }
    }
    ~Client() { Close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    static int TryConnect(int port) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
        close(fd);
        return -1;
    }

    bool Connected() const { return fd_ >= 0; }
    void Send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }
    // Reads exactly n bytes or until the time-out / end of the connection.
    std::string Read(std::size_t n, std::chrono::milliseconds timeout = 5000ms) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + timeout;
        char buffer[65536];
        while (got.size() < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            const ssize_t r = recv(fd_, buffer, std::min(sizeof buffer, n - got.size()), 0);
            if (r <= 0) break;
            got.append(buffer, static_cast<std::size_t>(r));
        }
        return got;
    }
    // Whatever arrives within the window (nothing expected, usually).
    std::string ReadFor(std::chrono::milliseconds window) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + window;
        char buffer[4096];
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            const ssize_t r = recv(fd_, buffer, sizeof buffer, 0);
            if (r <= 0) break;
            got.append(buffer, static_cast<std::size_t>(r));
        }
        return got;
    }
    // True when the server closed the connection within the time-out.
    bool ClosedByPeer(std::chrono::milliseconds timeout = 5000ms) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
        char byte;
        return recv(fd_, &byte, 1, 0) == 0;
    }
    void ShutdownWrite() { shutdown(fd_, SHUT_WR); }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// Listening TCP sockets of this process as (local address hex, port), from /proc.
struct ListeningSocket {
    std::string addressHex;  // e.g. 0100007F for 127.0.0.1
    int port;
};
inline std::vector<ListeningSocket> OwnListeningSockets() {
    std::set<std::string> inodes;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
        if (!ec && target.rfind("socket:[", 0) == 0)
            inodes.insert(target.substr(8, target.size() - 9));
    }
    std::vector<ListeningSocket> sockets;
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // header
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
            timeout >> inode;
        if (state != "0A" || inodes.count(inode) == 0) continue;
        const auto colon = local.find(':');
        sockets.push_back(
            {local.substr(0, colon), std::stoi(local.substr(colon + 1), nullptr, 16)});
    }
    return sockets;
}

}  // namespace testsupport
