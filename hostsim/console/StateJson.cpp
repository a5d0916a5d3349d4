#include "console/StateJson.h"

#include "core/Host.h"

namespace hostsim {

nlohmann::json StateJson(const Host& host) {
    const Records records = host.RecordsCopy();
    return {{"language", host.GetOptions().language},
            {"info", host.GetInfoPanel().Json()},
            {"items", host.GetProject().ItemsJson()},
            {"active_item", host.GetProject().ActiveItemJson()},
            {"active_comp", host.GetProject().ActiveCompJson()},
            {"commands_run", records.CommandsJson()},
            {"alerts", records.alerts},
            {"suites_held", records.SuitesHeldJson()},
            {"thread_violations",
             {{"count", records.ViolationCount()}, {"calls", records.threadViolations}}},
            {"idle_calls", records.idleCalls},
            {"idle_sleep_changes", records.idleSleepChanges},
            {"hooks", host.GetHooks().CountsJson()},
            {"entry_point_result", host.EntryResult()},
            {"effects", host.InstalledEffects().size()},
            {"mem_handles_outstanding", host.GetMemHandles().Outstanding()},
            {"bad_mem_handles", host.GetMemHandles().BadCalls()},
            {"unmatched_releases", records.unmatchedReleases},
            {"quiet_errors_depth", records.quietErrorsDepth}};
}

}  // namespace hostsim
