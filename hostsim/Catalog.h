// What the simulated host starts with: its installed effects and its project, either the
// built-in ones or read from JSON files. Loading throws ConfigError whose message names
// the file and the problem. Pure functions, main thread at start-up.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "AE_Types.h"

namespace hostsim {

struct ConfigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Effect {
    std::string matchName;
    std::string displayName;
    std::string category;
};

struct ItemSpec {
    std::int32_t id = 0;
    std::string name;
    AEGP_ItemType type = AEGP_ItemType_NONE;
    std::int32_t parentId = 0;  // 0: the project's root folder
    bool selected = false;
    std::vector<std::string> layers;  // compositions only, top layer first
};

struct ProjectSpec {
    std::vector<ItemSpec> items;  // in the host's item order
    std::int32_t activeId = 0;    // 0: no active item
};

std::vector<Effect> BuiltInEffects();
std::vector<Effect> LoadEffectsFile(const std::string& path);
ProjectSpec BuiltInProject();
ProjectSpec LoadProjectFile(const std::string& path);

// "folder", "composition", "footage", "solid"; "none" for anything else.
const char* ItemTypeName(AEGP_ItemType type);

}  // namespace hostsim
