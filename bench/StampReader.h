// StampReader: the benchmark's end of the simulated host's command stamps, a FIFO to
// which the host writes "<command> <CLOCK_MONOTONIC ns>" lines as it enters
// AEGP_DoCommand. The FIFO is made and opened for reading before the host starts, so
// the host's open finds a reader at once. One thread; the destructor removes the FIFO.
#pragma once

#include <cstdint>
#include <string>

namespace cuebridge_bench {

class StampReader {
public:
    explicit StampReader(std::string path);  // throws std::runtime_error
    ~StampReader();
    StampReader(const StampReader&) = delete;
    StampReader& operator=(const StampReader&) = delete;

    // The stamp of the next run of `command`; stamps of other commands are skipped.
    // Throws when no matching stamp comes within timeoutMs or the writer closed.
    std::int64_t WaitFor(long command, int timeoutMs = 20000);

private:
    void ReadMore(int timeoutMs);

    std::string path_;
    int fd_ = -1;
    std::string buffered_;
};

}  // namespace cuebridge_bench
