#include "core/HostScriptModel.h"

#include "core/Host.h"

namespace hostsim {

std::vector<Effect> HostScriptModel::Effects() { return host_.InstalledEffects(); }

Project& HostScriptModel::GetProject() { return host_.GetProject(); }

std::string HostScriptModel::Language() { return host_.GetOptions().language; }

void HostScriptModel::ExecuteCommand(std::int32_t command) { host_.DoCommand(command, "script"); }

std::int32_t HostScriptModel::FindMenuCommandId(const std::string& name) {
    return host_.Commands().FindByName(name);
}

}  // namespace hostsim
