#include "ControllerConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace cuebridge_test {

ControllerConnection::~ControllerConnection() { Close(); }

bool ControllerConnection::Connect(int port, std::chrono::milliseconds timeout) {
    Close();
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
        Close();
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

bool ControllerConnection::SendLine(const std::string& line) { return SendBytes(line + "\n"); }

bool ControllerConnection::SendBytes(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<std::string> ControllerConnection::ReadReply(std::chrono::milliseconds timeout,
                                                           std::chrono::milliseconds quiet) {
    std::string reply;
    auto wait = timeout;
    for (;;) {
        pollfd fd{fd_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(wait.count())) <= 0) break;
        char chunk[65536];
        const auto n = recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        reply.append(chunk, static_cast<std::size_t>(n));
        wait = quiet;
    }
    if (reply.empty()) return std::nullopt;
    return reply;
}

std::optional<std::string> ControllerConnection::ReadUntil(const std::string& suffix,
                                                           std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    std::string received;
    while (!received.ends_with(suffix)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd fd{fd_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[65536];
        const auto n = recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return std::nullopt;
        received.append(chunk, static_cast<std::size_t>(n));
    }
    return received;
}

std::optional<std::string> ControllerConnection::Request(const std::string& line,
                                                         std::chrono::milliseconds timeout) {
    if (!SendLine(line)) return std::nullopt;
    return ReadReply(timeout);
}

std::string ControllerConnection::ReadExactly(std::size_t n, std::chrono::milliseconds timeout) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (got.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        pollfd fd{fd_, POLLIN, 0};
        if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
        char chunk[65536];
        const auto r = recv(fd_, chunk, std::min(sizeof chunk, n - got.size()), 0);
        if (r <= 0) break;
        got.append(chunk, static_cast<std::size_t>(r));
    }
    return got;
}

bool ControllerConnection::PeerClosed(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        pollfd fd{fd_, POLLIN, 0};
        if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) return false;
        char chunk[65536];
        const auto r = recv(fd_, chunk, sizeof chunk, 0);
        if (r == 0) return true;
        if (r < 0) return errno == ECONNRESET;
    }
}

void ControllerConnection::Abort() {
    if (fd_ < 0) return;
    const linger reset{1, 0};  // close sends a reset at once
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    Close();
}

void ControllerConnection::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

}  // namespace cuebridge_test
