#include "Wire.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <stdexcept>
#include <thread>

namespace cuebridge_bench {

std::int64_t MonotonicNanos() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

namespace {

constexpr int kReceiveTimeoutSeconds = 30;

// A receive time-out against hangs; Nagle off on the controller's side only (the
// floor servers keep it on, as the plug-in's socket does).
void Tune(int fd, bool noDelay) {
    const int on = 1;
    if (noDelay) setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const timeval limit{kReceiveTimeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// True when fd becomes readable within timeoutMs.
bool WaitReadable(int fd, int timeoutMs) {
    pollfd waiter{fd, POLLIN, 0};
    int ready;
    do {
        ready = poll(&waiter, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

}  // namespace

Wire::~Wire() {
    if (fd_ >= 0) close(fd_);
}

bool Wire::Connect(int port, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        const sockaddr_in address = Loopback(port);
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            Tune(fd, true);
            if (fd_ >= 0) close(fd_);
            fd_ = fd;
            return true;
        }
        close(fd);
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(2ms);  // the port file is written just before listen()
    }
}

bool Wire::SendAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A plain blocking receive: the timed paths must not pay for a poll per reply. The
// receive time-out set on the socket keeps a lost reply from hanging the run.
std::string Wire::ReadExactly(std::size_t n) {
    std::string bytes(n, '\0');
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = recv(fd_, bytes.data() + got, n - got, 0);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
        } else if (r == 0 || errno != EINTR) {
            return {};
        }
    }
    return bytes;
}

std::string Wire::ReadQuiet(std::chrono::milliseconds timeout, std::chrono::milliseconds quiet) {
    std::string bytes;
    int waitMs = static_cast<int>(timeout.count());
    char buffer[65536];
    while (WaitReadable(fd_, waitMs)) {
        const ssize_t r = recv(fd_, buffer, sizeof buffer, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(r));
        waitMs = static_cast<int>(quiet.count());
    }
    return bytes;
}

LoopbackListener::LoopbackListener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(0);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        throw std::runtime_error("loopback listener: " + std::to_string(errno));
    }
    port_ = ntohs(bound.sin_port);
}

LoopbackListener::~LoopbackListener() {
    if (fd_ >= 0) close(fd_);
}

Wire LoopbackListener::Accept() {
    int fd;
    do {
        fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) Tune(fd, false);
    return Wire(fd);
}

}  // namespace cuebridge_bench
