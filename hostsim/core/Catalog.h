// What the simulated host starts with: its installed effects and its project, either the
// built-in ones or read from JSON files. Loading throws ConfigError whose message names
// the file and the problem. Pure functions, main thread at start-up.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "AE_Types.h"
#include "model/CommandTable.h"
#include "model/EffectDef.h"
#include "model/Scene.h"

namespace hostsim {

struct ConfigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An installed effect, with the parameters an applied instance has.
using Effect = model::EffectDef;

struct ItemSetup {
    std::int32_t id = 0;
    std::string name;
    AEGP_ItemType type = AEGP_ItemType_NONE;
    std::int32_t parentId = 0;  // 0: the project's root folder
    bool selected = false;
    std::vector<std::string> layers;  // compositions only, top layer first
    // The file's entry: a composition's settings and layers (names or objects), any item's
    // comment and label, a solid's colour and size; null for a composition: the default
    // settings and `layers`.
    nlohmann::json comp = nullptr;
};

struct ProjectSetup {
    std::vector<ItemSetup> items;  // in the host's item order
    std::int32_t activeId = 0;     // 0: no active item
    std::int32_t viewerComp = 0;   // the composition open in the viewer; 0: none
    // The script environment's entry (see ParseEnvironmentSetup); null: none.
    nlohmann::json environment = nullptr;
};

std::vector<Effect> BuiltInEffects();
std::vector<Effect> LoadEffectsFile(const std::string& path);
ProjectSetup BuiltInProject();
// Checks the whole project, its compositions' content included, against the effects.
ProjectSetup LoadProjectFile(const std::string& path,
                             const std::vector<Effect>& effects = BuiltInEffects());
// The model's state for a project; `source` names it in a ConfigError.
std::unique_ptr<model::Scene> BuildScene(const ProjectSetup& project, std::vector<Effect> effects,
                                         const std::string& source);
// The host's command table (--commands); see model::CommandTable::FromJson.
model::CommandTable LoadCommandsFile(const std::string& path);

// "folder", "composition", "footage", "solid"; "none" for anything else.
const char* ItemTypeName(AEGP_ItemType type);

}  // namespace hostsim
