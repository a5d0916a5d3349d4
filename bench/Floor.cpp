#include "Floor.h"

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "Wire.h"

namespace cuebridge_bench {
namespace {

double MicrosSince(std::int64_t startNs) {
    return static_cast<double>(MonotonicNanos() - startNs) / 1000.0;
}

// Serves one connection: reads requests of a known size, answers each with `reply`.
void ServeReplies(LoopbackListener& listener, std::size_t requestBytes, std::string reply) {
    Wire peer = listener.Accept();
    for (;;) {
        const std::string request = peer.ReadExactly(requestBytes);
        if (request.empty()) return;  // the client closed
        if (!peer.SendAll(reply.empty() ? request : reply)) return;
    }
}

// Timed echo rounds against a server already listening.
std::vector<double> EchoRounds(int port, const std::string& request, std::size_t expect,
                               int samples, int warmup) {
    std::vector<double> trips;
    trips.reserve(static_cast<std::size_t>(samples));
    Wire client;
    if (!client.Connect(port)) throw std::runtime_error("floor: cannot connect");
    for (int i = 0; i < warmup + samples; ++i) {
        const auto start = MonotonicNanos();
        if (!client.SendAll(request) || client.ReadExactly(expect).size() != expect)
            throw std::runtime_error("floor: round trip failed");
        if (i >= warmup) trips.push_back(MicrosSince(start));
    }
    return trips;
}

}  // namespace

std::vector<double> LoopbackRoundTripsToProcess(const std::string& request, int samples,
                                                int warmup) {
    LoopbackListener listener;
    const pid_t child = fork();  // called while the benchmark runs no other thread
    if (child < 0) throw std::runtime_error("floor: fork failed");
    if (child == 0) {
        ServeReplies(listener, request.size(), "");
        _exit(0);
    }
    std::vector<double> trips;
    try {
        trips = EchoRounds(listener.Port(), request, request.size(), samples, warmup);
    } catch (...) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        throw;
    }
    waitpid(child, nullptr, 0);  // the closed client ends the child
    return trips;
}

std::vector<double> LoopbackRoundTrips(const std::string& request, std::size_t replyBytes,
                                       int samples, int warmup) {
    LoopbackListener listener;
    const std::string reply(replyBytes, 'x');
    std::thread server(ServeReplies, std::ref(listener), request.size(), reply);
    std::vector<double> trips;
    try {
        trips = EchoRounds(listener.Port(), request, replyBytes == 0 ? request.size() : replyBytes,
                           samples, warmup);
    } catch (...) {
        server.detach();
        throw;
    }
    server.join();  // the closed client ends the server
    return trips;
}

std::vector<double> HandOffRoundTrips(int samples, int warmup) {
    std::mutex mutex;
    std::condition_variable wake;
    int turn = 0;  // 1: the other thread's turn; 2: answered; -1: stop (guarded by mutex)
    std::thread other([&] {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return turn != 0 && turn != 2; });
            if (turn < 0) return;
            turn = 2;
            wake.notify_all();
        }
    });
    std::vector<double> trips;
    trips.reserve(static_cast<std::size_t>(samples));
    for (int i = 0; i < warmup + samples; ++i) {
        const auto start = MonotonicNanos();
        std::unique_lock lock(mutex);
        turn = 1;
        wake.notify_all();
        wake.wait(lock, [&] { return turn == 2; });
        turn = 0;
        lock.unlock();
        if (i >= warmup) trips.push_back(MicrosSince(start));
    }
    {
        std::lock_guard lock(mutex);
        turn = -1;
    }
    wake.notify_all();
    other.join();
    return trips;
}

double LoopbackLineRate(const std::string& line, int lines) {
    LoopbackListener listener;
    const std::string done = "done\n";
    std::thread reader([&listener, lines, &done] {
        Wire peer = listener.Accept();
        char buffer[131072];
        long counted = 0;
        while (counted < lines) {
            const ssize_t n = recv(peer.Fd(), buffer, sizeof buffer, 0);
            if (n <= 0) return;
            counted += std::count(buffer, buffer + n, '\n');
        }
        peer.SendAll(done);
    });
    Wire client;
    if (!client.Connect(listener.Port())) throw std::runtime_error("floor: cannot connect");
    std::string burst;
    burst.reserve(line.size() * static_cast<std::size_t>(lines));
    for (int i = 0; i < lines; ++i) burst += line;
    const auto start = MonotonicNanos();
    const bool sent = client.SendAll(burst);
    const bool answered = client.ReadExactly(done.size()) == done;
    const double seconds = static_cast<double>(MonotonicNanos() - start) / 1e9;
    reader.join();
    if (!sent || !answered) throw std::runtime_error("floor: line stream failed");
    return lines / seconds;
}

}  // namespace cuebridge_bench
