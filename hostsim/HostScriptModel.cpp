#include "HostScriptModel.h"

#include "Host.h"

namespace hostsim {

std::vector<Effect> HostScriptModel::Effects() { return host_.InstalledEffects(); }

std::vector<ScriptItem> HostScriptModel::ScriptItems() { return host_.GetProject().ScriptItems(); }

std::int32_t HostScriptModel::ActiveItemId() { return host_.GetProject().ActiveItemId(); }

bool HostScriptModel::SetItemSelected(std::int32_t id, bool selected) {
    const bool found = host_.GetProject().SetItemSelected(id, selected);
    if (found) host_.Notify(Change::Selection);
    return found;
}

std::string HostScriptModel::Language() { return host_.GetOptions().language; }

void HostScriptModel::ExecuteCommand(std::int32_t command) { host_.DoCommand(command, "script"); }

}  // namespace hostsim
