// What the live view shows, as one JSON object built from the host's parts: the project's
// items with the selection and the active item, the active composition, the Info panel, the
// controller connection, idle calls per second, suites held, thread violations, alerts, and a
// bounded log (newest first) of commands run, scripts run, and Info panel and selection changes.
// The log is kept by comparing each build with the one before, so changes that come and go between
// two builds show as one entry. Used from one thread at a time (the view's worker).
#pragma once

#include <cstdint>
#include <deque>
#include <nlohmann/json.hpp>
#include <string>

namespace hostsim {

class Host;

class ViewModel {
public:
    static constexpr std::size_t kLogSize = 200;

    // portFile: where the plug-in publishes its port (see ControllerLink.h).
    ViewModel(const Host& host, std::string portFile);

    // nowMicros: a monotonic time; the idle rate is measured over at least a second.
    nlohmann::json Build(std::int64_t nowMicros);

private:
    void AddToLog(nlohmann::json entry);

    const Host& host_;
    const std::string portFile_;
    bool first_ = true;
    std::deque<nlohmann::json> log_;  // newest first
    std::uint64_t sequence_ = 0;      // numbers the log entries
    std::size_t commandsSeen_ = 0, scriptsSeen_ = 0;
    nlohmann::json lastInfo_, lastSelection_;
    std::int64_t rateStartMicros_ = 0, rateStartIdleCalls_ = 0;
    double idlePerSecond_ = 0;
};

}  // namespace hostsim
