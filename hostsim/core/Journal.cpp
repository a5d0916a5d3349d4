#include "core/Journal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace hostsim {

// main thread, before the plug-in is loaded
bool Journal::Open(const std::string& path) {
    path_ = path;
    file_.open(path, std::ios::out | std::ios::trunc);
    enabled_ = file_.is_open();
    return enabled_;
}

// main thread, before the plug-in is loaded
void Journal::KeepInMemory() { inMemory_ = enabled_ = true; }

// any thread
std::vector<nlohmann::json> Journal::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

// any thread
std::uint64_t Journal::Lost() const {
    std::lock_guard lock(mutex_);
    return lost_;
}

// any thread
void Journal::Record(std::string_view call, std::int64_t stampMicros, bool onMainThread,
                     nlohmann::json args, nlohmann::json result, nlohmann::json out) {
    if (!enabled_) return;
    nlohmann::json line = {
        {"seq", 0},     {"t_us", stampMicros},     {"thread", onMainThread ? "main" : "other"},
        {"call", call}, {"args", std::move(args)}, {"result", std::move(result)}};
    if (!out.is_null()) line["out"] = std::move(out);
    std::lock_guard lock(mutex_);
    line["seq"] = nextSeq_++;
    if (inMemory_) {
        lines_.push_back(std::move(line));
        return;
    }
    if (lost_ > 0) {
        ++lost_;
        return;
    }
    // Replace invalid UTF-8 rather than throw: script texts come from the controller.
    file_ << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    file_.flush();
    if (file_) return;
    // A journal with a hole would pass a CI run's assertions it should fail: said at once,
    // and the host's exit code says it too.
    lost_ = 1;
    std::fprintf(stderr,
                 "cuebridge-hostsim: journal %s: cannot be written (%s): records are lost\n",
                 path_.c_str(), std::strerror(errno));
    std::fflush(stderr);
}

}  // namespace hostsim
