// The plug-in's trace lines for the live view. The plug-in prints each trace line, ended
// by CR LF, on this process's standard output; once started, the tap makes standard output
// a pipe, forwards every byte to the real standard output in order, and keeps the latest
// trace lines (the host's own output ends its lines with a bare LF and is only forwarded),
// each stamped (StampMicros) when taken from the pipe. A trace is written before the work it
// announces is queued, so the host drains the pipe before it stamps its own records
// (Drain): a trace line is always stamped before the host's record of what followed it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace hostsim {

struct TraceLine {
    std::uint64_t seq;    // numbers the lines from 1
    std::int64_t micros;  // StampMicros when taken
    std::string text;     // without its CR LF
};

class TraceTap {
public:
    static constexpr std::size_t kKept = 2000;     // lines kept for a view to take
    static constexpr std::size_t kLongest = 8192;  // a longer line is no trace: dropped

    TraceTap() = default;
    ~TraceTap();  // Stop()
    TraceTap(const TraceTap&) = delete;
    TraceTap& operator=(const TraceTap&) = delete;

    // main thread: standard output goes through the tap from now on; false when the pipe
    // cannot be made (standard output is then left as it was).
    bool Start();
    // main thread: standard output is the real one again, and what the pipe still held is
    // forwarded and taken. Safe to call twice.
    void Stop();
    // any thread: takes what the pipe holds now, without waiting; nothing when not started.
    void Drain();
    // any thread: takes output bytes (Drain's part, and a test's way in).
    void Feed(std::string_view bytes);
    // any thread: the kept lines numbered after `seq`, oldest first.
    std::vector<TraceLine> Since(std::uint64_t seq) const;

private:
    void Read();                              // the reader thread
    void TakeLocked(std::string_view bytes);  // under mutex_

    int realFd_ = -1;  // the real standard output
    std::thread reader_;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;  // guards readFd_, partial_, lines_, nextSeq_ and the forwarding
    int readFd_ = -1;           // the pipe's read end
    std::string partial_;       // an unfinished line
    bool skipping_ = false;     // inside a line longer than kLongest
    std::deque<TraceLine> lines_;
    std::uint64_t nextSeq_ = 1;
};

}  // namespace hostsim
