#include "view/ViewModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "core/Host.h"
#include "view/ControllerLink.h"
#include "view/TraceTap.h"

namespace hostsim {
namespace {

using nlohmann::json;

// Local time of day of a stamp (microseconds since the epoch), "HH:MM:SS.mmm".
std::string TimeOfDay(std::int64_t micros) {
    const std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
    tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(micros / 1000 % 1000));
    return text;
}

// {"selected": [ids], "active": id or null}, from the items.
json SelectionOf(const json& items, const json& active) {
    json selected = json::array();
    for (const auto& item : items)
        if (item.value("selected", false)) selected.push_back(item["id"]);
    return {{"selected", selected}, {"active", active}};
}

// Two rows say the same thing: all but their number, time and count are equal.
bool SameRow(json a, json b) {
    for (const char* key : {"seq", "at", "time", "count"}) {
        a.erase(key);
        b.erase(key);
    }
    return a == b;
}

// The plug-in's trace lines that begin and end a connection, and the one for each message.
bool StartsWithNumberThen(const std::string& text, std::string_view rest) {
    const auto digits = text.find_first_not_of("0123456789");
    return digits != 0 && digits != std::string::npos &&
           text.compare(digits, rest.size(), rest) == 0;
}
bool IsReceive(const std::string& text) { return StartsWithNumberThen(text, " bytes received"); }
bool IsMessage(const std::string& text) { return text.starts_with("Message "); }
bool IsConnectionEnd(const std::string& text) {
    return text == "Connection closed" || text.starts_with("recv() failed") ||
           text.starts_with("HTTP request refused");
}

}  // namespace

ViewModel::ViewModel(const Host& host, std::string portFile, const TraceTap* tap)
    : host_(host), portFile_(std::move(portFile)), tap_(tap) {}

void ViewModel::AddToLog(std::int64_t at, json entry) {
    entry["at"] = at;
    entry["time"] = TimeOfDay(at);
    if (!entry.contains("count")) entry["count"] = 1;
    // Newest first: the row goes before the first one that is not newer.
    auto place = std::find_if(log_.begin(), log_.end(), [at](const json& row) {
        return row["at"].get<std::int64_t>() <= at;
    });
    for (auto neighbour : {place, place == log_.begin() ? log_.end() : place - 1}) {
        if (neighbour == log_.end() || !SameRow(*neighbour, entry)) continue;
        (*neighbour)["count"] =
            (*neighbour)["count"].get<std::size_t>() + entry["count"].get<std::size_t>();
        if ((*neighbour)["at"].get<std::int64_t>() < at) {
            (*neighbour)["at"] = at;
            (*neighbour)["time"] = entry["time"];
        }
        return;
    }
    entry["seq"] = ++sequence_;
    log_.insert(place, std::move(entry));
    if (log_.size() > kLogSize) log_.pop_back();
}

// The new trace lines as rows, and a connection row for each connection they end.
void ViewModel::AddTraces(std::vector<Row>& rows) {
    for (const auto& line : tap_->Since(tracesSeen_)) {
        tracesSeen_ = line.seq;
        rows.push_back({line.micros, {{"kind", "trace"}, {"text", line.text}}});
        if (line.text.starts_with("Local port "))
            listeningPort_ = std::atoi(line.text.c_str() + 11);
        if ((IsReceive(line.text) || IsMessage(line.text)) && connectionStart_ < 0) {
            connectionStart_ = line.micros;
            connectionMessages_ = 0;
        }
        if (IsMessage(line.text)) ++connectionMessages_;
        if (!IsConnectionEnd(line.text)) continue;
        const std::int64_t start = connectionStart_ < 0 ? line.micros : connectionStart_;
        rows.push_back({start,
                        {{"kind", "connection"},
                         {"port", listeningPort_},
                         {"messages", connectionStart_ < 0 ? 0 : connectionMessages_},
                         {"ms", static_cast<double>(line.micros - start) / 1000.0},
                         {"end", line.text}}});
        connectionStart_ = -1;
    }
}

// Without traces: a port file published anew ends a listen cycle that served a connection
// (or more: several within one build show as one), at the file's time.
void ViewModel::AddPortFileConnection(const json& link, std::vector<Row>& rows) {
    if (link["port"].is_null()) return;  // between two cycles: compared at the next build
    const json published = {link["port"], link.value("published", std::int64_t{0})};
    // (The new file is written before its socket listens: its state may read "stale".)
    if (!lastPublished_.is_null() && published != lastPublished_)
        rows.push_back({published[1].get<std::int64_t>(),
                        {{"kind", "connection"},
                         {"port", lastPublished_[0]},
                         {"messages", nullptr},
                         {"ms", nullptr}}});
    lastPublished_ = published;
}

json ViewModel::Build(std::int64_t nowMicros) {
    // With trace lines between them, the host's identical commands are rows apart.
    const Records records = host_.RecentRecords(kLogSize, commandsSeen_, tap_ == nullptr);
    const json items = host_.GetProject().ItemsJson();
    const json active = host_.GetProject().ActiveItemJson();
    const json info = host_.GetInfoPanel().Json();
    const json selection = SelectionOf(items, active);
    const json link = ReadControllerLink(portFile_);

    // What happened since the last build, each at its own time; commands and scripts that
    // ran before the kept tail (a burst longer than the log) are counted, not listed.
    std::vector<Row> rows;
    for (const auto& run : records.commandsRun)
        rows.push_back({run.at,
                        {{"kind", "command"},
                         {"number", run.command},
                         {"source", run.source},
                         {"count", run.count}}});
    const std::size_t scriptsTotal = records.scriptsBefore + records.scriptsRun.size();
    for (std::size_t i = std::max(scriptsSeen_, records.scriptsBefore); i < scriptsTotal; ++i) {
        const auto& run = records.scriptsRun[i - records.scriptsBefore];
        rows.push_back({run.at,
                        {{"kind", "script"},
                         {"text", run.start},
                         {"result", run.result},
                         {"error", run.error},
                         {"ms", static_cast<double>(run.micros) / 1000.0}}});
    }
    // What scripts wrote, a row a line (a view sees its own debug output).
    const std::size_t outputTotal = records.outputBefore + records.output.size();
    for (std::size_t i = std::max(outputSeen_, records.outputBefore); i < outputTotal; ++i) {
        const auto& line = records.output[i - records.outputBefore];
        rows.push_back(
            {line.at, line.cleared
                          ? json{{"kind", "output"}, {"to", line.to}, {"cleared", true}}
                          : json{{"kind", "output"}, {"to", line.to}, {"text", line.text}}});
    }
    outputSeen_ = outputTotal;
    if (!first_ && info != lastInfo_)
        rows.push_back({records.infoChangedAt, {{"kind", "info"}, {"info", info}}});
    if (!first_ && selection != lastSelection_)
        rows.push_back({records.selectionChangedAt,
                        {{"kind", "selection"},
                         {"selected", selection["selected"]},
                         {"active", selection["active"]}}});
    if (tap_ != nullptr)
        AddTraces(rows);
    else
        AddPortFileConnection(link, rows);
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.at < b.at; });
    for (auto& row : rows) AddToLog(row.at, std::move(row.entry));
    const std::size_t commandsTotal = records.CommandsTotal();
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
        {"controller", link},
        {"idle_per_second", std::round(idlePerSecond_ * 10) / 10},
        {"suites", records.SuitesHeldJson()},
        {"violations", {{"count", records.ViolationCount()}, {"calls", records.threadViolations}}},
        {"alerts", alerts},
        {"alerts_total", records.alerts.size()},
        {"commands_total", commandsTotal},
        {"scripts_total", scriptsTotal},
        {"traces", tap_ != nullptr},
        {"log", json(log_)}};
}

}  // namespace hostsim
