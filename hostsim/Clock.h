// The monotonic clock in microseconds (CLOCK_MONOTONIC), used for journal stamps and
// deadlines. Any thread.
#pragma once
#include <cstdint>

namespace hostsim {
std::int64_t MonotonicMicros();
}
