// What scripts can see and do in the host. The scripting room declares it and knows nothing
// more of the host; the host's core implements it (core/HostScriptModel). Called back on the
// main thread during a run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/EffectDef.h"
#include "model/Scene.h"

namespace hostsim {

class ScriptEnvironment;

class ScriptModel {
public:
    virtual ~ScriptModel() = default;
    virtual std::vector<model::EffectDef> Effects() = 0;
    // Runs f on the project's model (the compositions, layers, properties, selection) under
    // the project's lock; the changes f made are recorded after it, also when it throws.
    virtual void WithScene(const std::function<void(model::Scene&)>& f) = 0;
    virtual std::string Language() = 0;
    virtual std::string Version() = 0;
    virtual void ExecuteCommand(std::int32_t command) = 0;
    virtual std::int32_t FindMenuCommandId(const std::string& name) = 0;  // 0: unknown
    // The script environment ($, dialogs, settings, tasks, files): model-free.
    virtual ScriptEnvironment& Environment() = 0;
};

}  // namespace hostsim
