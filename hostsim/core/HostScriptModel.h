// What the host's scripts see of it: the installed effects, the project's model, the
// language and version, and commands. main thread, during a script.
#pragma once

#include "core/Catalog.h"
#include "scripting/ScriptModel.h"

namespace hostsim {

class Host;

class HostScriptModel final : public ScriptModel {
public:
    explicit HostScriptModel(Host& host) : host_(host) {}
    std::vector<Effect> Effects() override;
    void WithScene(const std::function<void(model::Scene&)>& f) override;
    std::string Language() override;
    std::string Version() override { return "24.6.0"; }
    void ExecuteCommand(std::int32_t command) override;
    std::int32_t FindMenuCommandId(const std::string& name) override;
    ScriptEnvironment& Environment() override;

private:
    Host& host_;
};

}  // namespace hostsim
