// The machine's own limits, measured in the same run as the plug-in: what a loopback
// TCP round trip and a cross-thread wake-up cost with no plug-in in the way. Each call
// starts its helper thread, measures, and joins it. Called from the benchmark's main
// thread; samples are in microseconds.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cuebridge_bench {

// Round trips of `request` to a thread that reads it and answers with replyBytes bytes
// (replyBytes 0: the request itself, an echo). The first `warmup` trips are not kept.
std::vector<double> LoopbackRoundTrips(const std::string& request, std::size_t replyBytes,
                                       int samples, int warmup = 200);

// The same echo, served by a child process instead of a thread: what crossing a
// process boundary adds, as every request to the plug-in in the host does.
std::vector<double> LoopbackRoundTripsToProcess(const std::string& request, int samples,
                                                int warmup = 200);

// Round trips of a hand-off to another thread and back through a mutex and condition
// variable, as a waiting requester and the host's main thread use them.
std::vector<double> HandOffRoundTrips(int samples, int warmup = 200);

// Lines per second when `lines` copies of `line` (ending in a line feed) stream over
// loopback to a thread that cuts them at line feeds and counts them.
double LoopbackLineRate(const std::string& line, int lines);

}  // namespace cuebridge_bench
