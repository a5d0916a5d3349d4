// The console's "state" answer: the whole host as one JSON object (Info panel, items,
// active item, commands run, alerts, suites held, thread violations, idle counters, hooks,
// memory handles). Any thread; each part is read under its own lock, one after another.
#pragma once

#include <nlohmann/json.hpp>

namespace hostsim {

class Host;

nlohmann::json StateJson(const Host& host);

}  // namespace hostsim
