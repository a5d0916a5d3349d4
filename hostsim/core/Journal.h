// The call journal: one JSON object per line for every host call the plug-in makes and
// every hook call that did something. Off unless opened with a path. Record() may be
// called from any thread; lines are written whole, in sequence order, under the
// journal's own lock (never held together with any other lock).
#pragma once

#include <cstdint>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace hostsim {

class Journal {
public:
    // Opens (truncates) the file; false when it cannot be written. main thread, at start.
    bool Open(const std::string& path);
    // Keeps the lines in memory instead (for a test driving the host in process).
    void KeepInMemory();
    bool Enabled() const { return enabled_; }
    std::vector<nlohmann::json> Lines() const;  // any thread; the kept lines, in order
    std::uint64_t Lost() const;                 // any thread; the lines not written
    // any thread. stampMicros: the monotonic time at which the call began. A line that
    // cannot be written (a full disk, a pipe whose reader left) is said on stderr the first
    // time; from then on no line is written, and each one is counted as lost.
    void Record(std::string_view call, std::int64_t stampMicros, bool onMainThread,
                nlohmann::json args, nlohmann::json result, nlohmann::json out = nullptr);

private:
    bool enabled_ = false;   // written once before other threads exist
    bool inMemory_ = false;  // written once before other threads exist
    mutable std::mutex mutex_;
    std::ofstream file_;
    std::string path_;
    std::uint64_t lost_ = 0;
    std::vector<nlohmann::json> lines_;
    std::uint64_t nextSeq_ = 1;
};

}  // namespace hostsim
