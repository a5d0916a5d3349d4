// Wire: the benchmark's side of one loopback TCP connection, built for timing. Replies
// carry no terminator, so a timed read asks for an exact byte count learned beforehand;
// ReadQuiet learns it. Also the monotonic clock both the benchmark and the simulated
// host stamp with. One thread per Wire; the destructor closes the socket.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace cuebridge_bench {

using namespace std::chrono_literals;

// CLOCK_MONOTONIC in nanoseconds; shared by every process on the machine. Any thread.
std::int64_t MonotonicNanos();

class Wire {
public:
    Wire() = default;
    explicit Wire(int fd) : fd_(fd) {}
    ~Wire();
    Wire(const Wire&) = delete;
    Wire& operator=(const Wire&) = delete;
    Wire(Wire&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

    // Connects to 127.0.0.1:port (Nagle off, 30 s receive time-out), retrying refusals until the
    // timeout.
    bool Connect(int port, std::chrono::milliseconds timeout = 5s);
    bool SendAll(std::string_view bytes);
    // Exactly n bytes, or "" when the peer closed or stayed silent for 30 s.
    std::string ReadExactly(std::size_t n);
    // Bytes until the first arrives (within timeout) and none follow for `quiet`.
    std::string ReadQuiet(std::chrono::milliseconds timeout, std::chrono::milliseconds quiet);
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
};

// A listening socket on 127.0.0.1 with a system-chosen port, for the floor servers.
class LoopbackListener {
public:
    LoopbackListener();
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    int Port() const { return port_; }
    Wire Accept();

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace cuebridge_bench
