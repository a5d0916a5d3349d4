#include "Floor.h"

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace cuebridge_bench {
namespace {

double MicrosSince(std::int64_t startNs) {
    return static_cast<double>(MonotonicNanos() - startNs) / 1000.0;
}

// The peer's serving thread: one plain recv per arrival, as the plug-in's listen cycle
// reads, and the reply after every linesPerReply line feeds.
void Serve(Wire peer, std::size_t replyBytes, long linesPerReply) {
    const std::string reply(replyBytes, 'x');
    std::vector<char> buffer(131072);
    long lines = 0;
    for (;;) {
        const ssize_t n = recv(peer.Fd(), buffer.data(), buffer.size(), 0);
        if (n <= 0) return;  // the benchmark closed
        const char* end = buffer.data() + n;
        for (const char* at = buffer.data();
             (at = static_cast<const char*>(std::memchr(at, '\n', end - at))) != nullptr; ++at) {
            if (++lines < linesPerReply) continue;
            lines = 0;
            if (!peer.SendAll(reply)) return;
        }
    }
}

}  // namespace

FloorPeer::FloorPeer(std::size_t replyBytes, long linesPerReply) : replyBytes_(replyBytes) {
    LoopbackListener listener;
    child_ = fork();
    if (child_ < 0) throw std::runtime_error("floor: fork failed");
    if (child_ == 0) {
        Wire peer = listener.Accept();
        // Copies of the benchmark's other connections (the plug-in's, other peers') would
        // keep them open after the benchmark closes them.
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != peer.Fd()) close(fd);
        std::thread server([&] { Serve(std::move(peer), replyBytes, linesPerReply); });
        server.join();
        _exit(0);
    }
    wire_.emplace();
    if (!wire_->Connect(listener.Port())) {
        kill(child_, SIGKILL);
        waitpid(child_, nullptr, 0);
        throw std::runtime_error("floor: cannot connect to the peer");
    }
}

FloorPeer::~FloorPeer() {
    wire_.reset();
    waitpid(child_, nullptr, 0);
}

double FloorPeer::Trip(const std::string& bytes) {
    const auto start = MonotonicNanos();
    if (!wire_->SendAll(bytes) || wire_->ReadExactly(replyBytes_).size() != replyBytes_)
        throw std::runtime_error("floor: round trip failed");
    return MicrosSince(start);
}

std::vector<double> FloorPeer::Trips(const std::string& bytes, int samples) {
    std::vector<double> trips;
    trips.reserve(static_cast<std::size_t>(samples));
    for (int i = 0; i < samples; ++i) trips.push_back(Trip(bytes));
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

}  // namespace cuebridge_bench
