// The monotonic clock in microseconds (CLOCK_MONOTONIC), used for journal stamps and
// deadlines, and the stamps of what the host records for a view. Any thread.
#pragma once
#include <cstdint>

namespace hostsim {
std::int64_t MonotonicMicros();
// Wall-clock microseconds since the epoch, strictly increasing across the process: two
// stamps never tie, and a stamp taken after another one is larger, so stamps order records
// from every thread as they happened.
std::int64_t StampMicros();
}  // namespace hostsim
