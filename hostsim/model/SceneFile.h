// The project file's composition content as the model reads it: a composition's settings,
// its layers (a name, or an object with switches, times, property values and keyframes,
// and applied effects) and an effect's parameter list. Each throws ModelError whose
// message starts with `where` (the JSON place) and names the problem. main thread.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Scene.h"

namespace hostsim::model {

// Any item's comment and label, a solid's color, width, height and pixelAspect.
void ApplyItemState(Scene& scene, Item& item, const nlohmann::json& entry,
                    const std::string& where);
CompSetup ParseCompSetup(const nlohmann::json& entry, const std::string& where);
// Sets the playhead, work area and hideShyLayers the entry gives (after the layers exist).
void ApplyCompState(Scene& scene, Comp& comp, const nlohmann::json& entry,
                    const std::string& where);
// layers: top first; each a name or an object.
void AddLayers(Scene& scene, Comp& comp, const nlohmann::json& layers, const std::string& where);
std::vector<PropertySetup> ParseParams(const nlohmann::json& params, const std::string& where);
// A value as JSON gives it: a number or a list of numbers.
Value ParseValue(const nlohmann::json& value, const std::string& where);

}  // namespace hostsim::model
