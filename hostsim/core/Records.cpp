#include "core/Records.h"

namespace hostsim {

std::int64_t Records::ViolationCount() const {
    std::int64_t total = 0;
    for (const auto& [call, count] : threadViolations) total += count;
    return total;
}

std::size_t Records::CommandsTotal() const {
    std::size_t total = commandsBefore;
    for (const auto& run : commandsRun) total += run.count;
    return total;
}

nlohmann::json Records::CommandsJson() const {
    auto list = nlohmann::json::array();
    for (const auto& run : commandsRun)
        list.push_back({{"command", run.command}, {"source", run.source}});
    return list;
}

nlohmann::json Records::SuitesHeldJson() const {
    auto list = nlohmann::json::array();
    for (const auto& [pair, count] : suitesHeld)
        if (count != 0)
            list.push_back({{"name", pair.first}, {"version", pair.second}, {"count", count}});
    return list;
}

}  // namespace hostsim
