#include "core/Journal.h"

namespace hostsim {

// main thread, before the plug-in is loaded
bool Journal::Open(const std::string& path) {
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
    // Replace invalid UTF-8 rather than throw: script texts come from the controller.
    file_ << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    file_.flush();
}

}  // namespace hostsim
