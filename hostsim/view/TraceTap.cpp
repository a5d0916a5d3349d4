#include "view/TraceTap.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/Clock.h"

namespace hostsim {
namespace {

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the real output is gone: the bytes are dropped, as a write would
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace

TraceTap::~TraceTap() { Stop(); }

// main thread
bool TraceTap::Start() {
    int ends[2];
    if (reader_.joinable() || pipe2(ends, O_CLOEXEC) != 0) return false;
    std::fflush(stdout);
    realFd_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (realFd_ < 0 || dup2(ends[1], STDOUT_FILENO) < 0) {
        if (realFd_ >= 0) close(realFd_);
        close(ends[0]);
        close(ends[1]);
        realFd_ = -1;
        return false;
    }
    close(ends[1]);  // standard output is now the pipe's write end
    fcntl(ends[0], F_SETFL, O_NONBLOCK);
    {
        std::lock_guard lock(mutex_);
        readFd_ = ends[0];
    }
    stopping_ = false;
    reader_ = std::thread([this] { Read(); });
    return true;
}

// main thread
void TraceTap::Stop() {
    if (!reader_.joinable()) return;
    std::fflush(stdout);
    dup2(realFd_, STDOUT_FILENO);
    stopping_ = true;
    reader_.join();
    Drain();  // what was written before the switch
    std::lock_guard lock(mutex_);
    close(readFd_);
    close(realFd_);
    readFd_ = realFd_ = -1;
}

// the reader thread: drains whenever the pipe has bytes, until Stop. (A child process may
// hold a write end of the pipe, so its end is not awaited.)
void TraceTap::Read() {
    const int fd = readFd_;  // set before the thread started, changed only after it ends
    while (!stopping_) {
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, 100) > 0) Drain();
    }
}

// any thread
void TraceTap::Drain() {
    char buffer[16384];
    std::lock_guard lock(mutex_);
    if (readFd_ < 0) return;
    for (;;) {
        const ssize_t n = read(readFd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        const std::string_view bytes(buffer, static_cast<std::size_t>(n));
        WriteAll(realFd_, bytes);
        TakeLocked(bytes);
    }
}

// any thread
void TraceTap::Feed(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    TakeLocked(bytes);
}

void TraceTap::TakeLocked(std::string_view bytes) {
    for (std::size_t end; !bytes.empty(); bytes.remove_prefix(end + 1)) {
        end = bytes.find('\n');
        const auto part = bytes.substr(0, end);
        if (!skipping_ && partial_.size() + part.size() <= kLongest)
            partial_.append(part);
        else
            skipping_ = true;
        if (end == std::string_view::npos) return;
        if (!skipping_ && partial_.ends_with('\r')) {
            partial_.pop_back();
            lines_.push_back({nextSeq_++, StampMicros(), std::move(partial_)});
            if (lines_.size() > kKept) lines_.pop_front();
        }
        partial_.clear();
        skipping_ = false;
    }
}

// any thread
std::vector<TraceLine> TraceTap::Since(std::uint64_t seq) const {
    std::lock_guard lock(mutex_);
    std::vector<TraceLine> lines;
    for (const auto& line : lines_)
        if (line.seq > seq) lines.push_back(line);
    return lines;
}

}  // namespace hostsim
