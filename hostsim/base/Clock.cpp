#include "base/Clock.h"

#include <atomic>
#include <ctime>

namespace hostsim {

// any thread
std::int64_t MonotonicMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// any thread
std::int64_t StampMicros() {
    static std::atomic<std::int64_t> last{0};
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const std::int64_t now = static_cast<std::int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
    std::int64_t previous = last.load(std::memory_order_relaxed);
    std::int64_t stamp;
    do {
        stamp = now > previous ? now : previous + 1;
    } while (!last.compare_exchange_weak(previous, stamp, std::memory_order_relaxed));
    return stamp;
}

}  // namespace hostsim
