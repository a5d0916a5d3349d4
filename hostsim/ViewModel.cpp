#include "ViewModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "ControllerLink.h"
#include "Host.h"

namespace hostsim {
namespace {

using nlohmann::json;

// Wall-clock time of day, "HH:MM:SS.mmm", for the log.
std::string TimeOfDay() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
                  local.tm_sec, now.tv_nsec / 1000000);
    return text;
}

// {"selected": [ids], "active": id or null}, from the items.
json SelectionOf(const json& items, const json& active) {
    json selected = json::array();
    for (const auto& item : items)
        if (item.value("selected", false)) selected.push_back(item["id"]);
    return {{"selected", selected}, {"active", active}};
}

}  // namespace

ViewModel::ViewModel(const Host& host, std::string portFile)
    : host_(host), portFile_(std::move(portFile)) {}

void ViewModel::AddToLog(json entry) {
    entry["seq"] = ++sequence_;
    entry["time"] = TimeOfDay();
    log_.push_front(std::move(entry));
    if (log_.size() > kLogSize) log_.pop_back();
}

json ViewModel::Build(std::int64_t nowMicros) {
    const Records records = host_.RecentRecords(kLogSize);
    const json items = host_.GetProject().ItemsJson();
    const json active = host_.GetProject().ActiveItemJson();
    const json info = host_.GetInfoPanel().Json();
    const json selection = SelectionOf(items, active);

    // Commands and scripts since the last build; those that ran before the kept tail (a
    // burst longer than the log) are counted, not listed.
    const std::size_t commandsTotal = records.commandsBefore + records.commandsRun.size();
    const std::size_t scriptsTotal = records.scriptsBefore + records.scriptsRun.size();
    for (std::size_t i = std::max(commandsSeen_, records.commandsBefore); i < commandsTotal; ++i) {
        const auto& run = records.commandsRun[i - records.commandsBefore];
        AddToLog({{"kind", "command"}, {"number", run.command}, {"source", run.source}});
    }
    for (std::size_t i = std::max(scriptsSeen_, records.scriptsBefore); i < scriptsTotal; ++i) {
        const auto& run = records.scriptsRun[i - records.scriptsBefore];
        AddToLog({{"kind", "script"},
                  {"text", run.start},
                  {"result", run.result},
                  {"error", run.error},
                  {"ms", static_cast<double>(run.micros) / 1000.0}});
    }
    if (!first_ && info != lastInfo_) AddToLog({{"kind", "info"}, {"info", info}});
    if (!first_ && selection != lastSelection_)
        AddToLog({{"kind", "selection"},
                  {"selected", selection["selected"]},
                  {"active", selection["active"]}});
    commandsSeen_ = commandsTotal;
    scriptsSeen_ = scriptsTotal;
    lastInfo_ = info;
    lastSelection_ = selection;

    if (first_ || nowMicros - rateStartMicros_ >= 1000000) {
        if (!first_)
            idlePerSecond_ = static_cast<double>(records.idleCalls - rateStartIdleCalls_) * 1e6 /
                             static_cast<double>(nowMicros - rateStartMicros_);
        rateStartMicros_ = nowMicros;
        rateStartIdleCalls_ = records.idleCalls;
    }
    first_ = false;

    json alerts = json::array();
    const std::size_t shown = std::min<std::size_t>(records.alerts.size(), 5);
    for (std::size_t i = records.alerts.size() - shown; i < records.alerts.size(); ++i)
        alerts.push_back(records.alerts[i]);
    return {
        {"items", items},
        {"active", active},
        {"comp", host_.GetProject().ActiveCompJson()},
        {"info", info},
        {"controller", ReadControllerLink(portFile_)},
        {"idle_per_second", std::round(idlePerSecond_ * 10) / 10},
        {"suites", records.SuitesHeldJson()},
        {"violations", {{"count", records.ViolationCount()}, {"calls", records.threadViolations}}},
        {"alerts", alerts},
        {"alerts_total", records.alerts.size()},
        {"commands_total", commandsTotal},
        {"scripts_total", scriptsTotal},
        {"log", json(log_)}};
}

}  // namespace hostsim
