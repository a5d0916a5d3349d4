// What the host records of the plug-in's behaviour for a test or a view to see: commands
// run, scripts run, alerts, suites held, thread violations, idle calls, unmatched releases and the
// quiet-errors depth. A plain struct; the owning Host guards it with its lock.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "AE_Types.h"

namespace hostsim {

struct CommandRun {
    AEGP_Command command;
    std::string source;     // "plugin", "user" or "script"
    std::int64_t at = 0;    // when it ran (StampMicros)
    std::size_t count = 1;  // in Host::RecentRecords: this many in a row, `at` the last's
};

struct ScriptRun {
    // The first characters of the script's text, its result and its error (each ended by
    // "…" when cut).
    std::string start, result, error;
    std::int64_t micros = 0;  // how long it ran
    std::int64_t at = 0;      // when it started (StampMicros)
};

// A line a script wrote: to "console" ($.write, $.writeln) or "info" (write, writeLn); a
// clearOutput() is a line with `cleared`.
struct OutputLine {
    std::string to, text;
    bool cleared = false;
    std::int64_t at = 0;  // StampMicros
};

struct Records {
    // The latest lines scripts wrote (at most Host::kOutputKept), and how many went before.
    std::deque<OutputLine> output;
    std::size_t outputBefore = 0;
    std::vector<CommandRun> commandsRun;
    std::vector<ScriptRun> scriptsRun;
    // In a copy holding only the latest runs (Host::RecentRecords): how many commands and
    // scripts ran before the first one it holds.
    std::size_t commandsBefore = 0;
    std::size_t scriptsBefore = 0;
    // When the Info panel and the selection last changed (StampMicros; 0: never).
    std::int64_t infoChangedAt = 0, selectionChangedAt = 0;
    std::vector<std::string> alerts;
    std::map<std::pair<std::string, std::int32_t>, std::int64_t> suitesHeld;
    std::map<std::string, std::int64_t> threadViolations;
    std::int64_t idleCalls = 0;
    std::int64_t idleSleepChanges = 0;
    std::int64_t unmatchedReleases = 0;
    std::int64_t quietErrorsDepth = 0;

    std::int64_t ViolationCount() const;
    std::size_t CommandsTotal() const;  // commandsBefore and every run's count
    nlohmann::json CommandsJson() const;
    nlohmann::json SuitesHeldJson() const;
};

}  // namespace hostsim
