#include "core/HostScriptModel.h"

#include "core/Host.h"

namespace hostsim {

std::vector<Effect> HostScriptModel::Effects() { return host_.InstalledEffects(); }

void HostScriptModel::WithScene(const std::function<void(model::Scene&)>& f) {
    host_.GetProject().With(f);
}

std::string HostScriptModel::Language() { return host_.GetOptions().language; }

void HostScriptModel::ExecuteCommand(std::int32_t command) { host_.DoCommand(command, "script"); }

ScriptEnvironment& HostScriptModel::Environment() { return host_.Environment(); }

std::int32_t HostScriptModel::FindMenuCommandId(const std::string& name) {
    return host_.Commands().FindByName(name);
}

}  // namespace hostsim
