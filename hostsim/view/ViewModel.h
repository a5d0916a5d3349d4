// What the live view shows, as one JSON object built from the host's parts: the project's
// items with the selection and the active item, the active composition, the Info panel, the
// controller connection, idle calls per second, suites held, thread violations, alerts, and a
// bounded log (newest first) of commands run, scripts run, Info panel and selection changes,
// controller connections and, with a trace tap, the plug-in's trace lines. Each row carries the
// time the host acted (its record's stamp), rows are ordered by it, and a row identical to its
// neighbour adds to that row's count instead. Info panel and selection changes are found by
// comparing each build with the one before, so changes that come and go between two builds
// show as one entry. A connection row comes from the trace lines (with its message count and
// length) or, without traces, from the plug-in publishing a new port file, which it does
// after each listen cycle that served a connection. Used from one thread at a time (the
// view's worker).
#pragma once

#include <cstdint>
#include <deque>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace hostsim {

class Host;
class TraceTap;

class ViewModel {
public:
    static constexpr std::size_t kLogSize = 200;

    // portFile: where the plug-in publishes its port (see ControllerLink.h); tap: the
    // plug-in's trace lines, or null when it does not trace.
    ViewModel(const Host& host, std::string portFile, const TraceTap* tap = nullptr);

    // nowMicros: a monotonic time; the idle rate is measured over at least a second.
    nlohmann::json Build(std::int64_t nowMicros);

private:
    struct Row {
        std::int64_t at;
        nlohmann::json entry;
    };
    void AddTraces(std::vector<Row>& rows);
    void AddPortFileConnection(const nlohmann::json& link, std::vector<Row>& rows);
    void AddToLog(std::int64_t at, nlohmann::json entry);

    const Host& host_;
    const std::string portFile_;
    const TraceTap* const tap_;
    std::uint64_t tracesSeen_ = 0;
    std::int64_t connectionStart_ = -1, connectionMessages_ = 0;  // from the traces; -1: none
    int listeningPort_ = 0;                                       // the traces' last port
    nlohmann::json lastPublished_;  // the port file's port and time at the last build
    bool first_ = true;
    std::deque<nlohmann::json> log_;  // newest first
    std::uint64_t sequence_ = 0;      // numbers the log entries
    std::size_t commandsSeen_ = 0, scriptsSeen_ = 0, outputSeen_ = 0;
    nlohmann::json lastInfo_, lastSelection_;
    std::int64_t rateStartMicros_ = 0, rateStartIdleCalls_ = 0;
    double idlePerSecond_ = 0;
};

}  // namespace hostsim
