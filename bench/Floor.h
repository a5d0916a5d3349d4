// The machine's own limits, measured the way the plug-in is: a FloorPeer is a child
// process that serves one loopback connection from a thread of its own, as the plug-in's
// socket thread serves the controller inside the host process, doing nothing but count
// line feeds and answer. The benchmark's main thread drives it exactly as it drives the
// plug-in (same bytes, same reads), pinned to the same CPU when the run is pinned
// (Cpu.h), in blocks interleaved with the plug-in's, so each ratio compares like with
// like. Samples are in microseconds.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Wire.h"

namespace cuebridge_bench {

class FloorPeer {
public:
    // Forks the peer (call while the benchmark runs no other thread): after every
    // `linesPerReply` line feeds it has read, it writes `replyBytes` bytes.
    explicit FloorPeer(std::size_t replyBytes, long linesPerReply = 1);
    ~FloorPeer();  // closes the connection, which ends the peer, and reaps it
    FloorPeer(const FloorPeer&) = delete;
    FloorPeer& operator=(const FloorPeer&) = delete;

    // Sends `bytes` and reads the reply they complete; microseconds taken.
    double Trip(const std::string& bytes);
    // `samples` timed trips of `bytes`.
    std::vector<double> Trips(const std::string& bytes, int samples);

private:
    pid_t child_ = -1;
    std::optional<Wire> wire_;
    std::size_t replyBytes_;
};

// Round trips of a hand-off to another thread and back through a mutex and condition
// variable, as a waiting requester and the host's main thread use them.
std::vector<double> HandOffRoundTrips(int samples, int warmup = 200);

}  // namespace cuebridge_bench
