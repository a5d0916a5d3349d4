#include "view/BoundedStream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

namespace hostsim {
namespace {

bool Wait(int socket, short events, int timeoutMs) {
    pollfd entry{socket, events, 0};
    int ready;
    while ((ready = poll(&entry, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    return ready > 0;
}

void Address(int socket, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? getpeername(socket, raw, &length) : getsockname(socket, raw, &length)) != 0) return;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
    }
    ip = text;
}

}  // namespace

BoundedStream::BoundedStream(int socket, HeadLimits limits, int readTimeoutMs, int writeTimeoutMs)
    : socket_(socket),
      limits_(limits),
      readTimeoutMs_(readTimeoutMs),
      writeTimeoutMs_(writeTimeoutMs) {}

void BoundedStream::BeginRequest() {
    inHead_ = true;
    line_ = lineBytes_ = headerBytes_ = 0;
    last_ = 0;
}

bool BoundedStream::WaitReadable(int timeoutMs) const {
    return begin_ < end_ || Wait(socket_, POLLIN, timeoutMs);
}

bool BoundedStream::is_readable() const { return !refused_ && WaitReadable(readTimeoutMs_); }

bool BoundedStream::is_writable() const {
    return !refused_ && Wait(socket_, POLLOUT, writeTimeoutMs_);
}

ssize_t BoundedStream::read(char* ptr, size_t size) {
    if (refused_) return -1;
    if (begin_ == end_) {
        if (!WaitReadable(readTimeoutMs_)) return -1;
        ssize_t n;
        while ((n = recv(socket_, buffer_, sizeof buffer_, 0)) < 0 && errno == EINTR) {
        }
        if (n <= 0) return n;
        begin_ = 0;
        end_ = static_cast<std::size_t>(n);
    }
    const std::size_t count = std::min(size, end_ - begin_);
    if (inHead_ && !CountHead(buffer_ + begin_, count)) return -1;
    std::memcpy(ptr, buffer_ + begin_, count);
    begin_ += count;
    return static_cast<ssize_t>(count);
}

ssize_t BoundedStream::write(const char* ptr, size_t size) {
    if (refused_ || !Wait(socket_, POLLOUT, writeTimeoutMs_)) return -1;
    ssize_t n;
    while ((n = send(socket_, ptr, size, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    return n;
}

void BoundedStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    Address(socket_, true, ip, port);
}

void BoundedStream::get_local_ip_and_port(std::string& ip, int& port) const {
    Address(socket_, false, ip, port);
}

bool BoundedStream::CountHead(const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size && inHead_; ++i) {
        ++lineBytes_;
        if (line_ == 0 && lineBytes_ > limits_.requestLineBytes) {
            Refuse(414, "URI Too Long",
                   "the request line is longer than " + std::to_string(limits_.requestLineBytes) +
                       " bytes");
            return false;
        }
        if (line_ > 0 && ++headerBytes_ > limits_.headerBytes) break;
        const char before = last_;
        last_ = bytes[i];
        if (bytes[i] != '\n') continue;
        const bool empty = lineBytes_ == 1 || (lineBytes_ == 2 && before == '\r');
        if (line_ > 0 && empty) {
            inHead_ = false;  // the rest is the body, bounded by the server's payload limit
            return true;
        }
        if (line_++ > limits_.headerLines) break;
        lineBytes_ = 0;
    }
    if (!inHead_ || (headerBytes_ <= limits_.headerBytes && line_ <= limits_.headerLines + 1))
        return true;
    Refuse(431, "Request Header Fields Too Large",
           "at most " + std::to_string(limits_.headerLines) + " headers of " +
               std::to_string(limits_.headerBytes >> 10) + " KiB in all");
    return false;
}

// Answers, then reads (and drops) a little of what the peer still sends before the server
// closes, so that a peer which has sent its whole head reads the answer rather than a reset.
void BoundedStream::Refuse(int status, const char* reason, const std::string& why) {
    const std::string body = "{\"ok\": false, \"error\": \"" + why + "\"}";
    const std::string answer =
        "HTTP/1.1 " + std::to_string(status) + " " + reason +
        "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nX-Content-Type-Options: nosniff\r\nCache-Control: "
        "no-store\r\nConnection: close\r\n\r\n" +
        body;
    for (std::size_t sent = 0; sent < answer.size();) {
        const ssize_t n = write(answer.data() + sent, answer.size() - sent);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    refused_ = true;
    shutdown(socket_, SHUT_WR);
    constexpr std::size_t kDrainBytes = 64 << 10;
    constexpr int kDrainWaitMs = 100;
    for (std::size_t drained = 0; drained < kDrainBytes && Wait(socket_, POLLIN, kDrainWaitMs);) {
        const ssize_t n = recv(socket_, buffer_, sizeof buffer_, 0);
        if (n <= 0) break;
        drained += static_cast<std::size_t>(n);
    }
    begin_ = end_ = 0;
}

}  // namespace hostsim
