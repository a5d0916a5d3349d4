#include "Catalog.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace hostsim {
namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& path, const std::string& problem) {
    throw ConfigError(path + ": " + problem);
}

json ReadJsonFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) Fail(path, "cannot be opened");
    try {
        return json::parse(in);
    } catch (const json::parse_error& e) {
        Fail(path, std::string("not valid JSON (") + e.what() + ")");
    }
}

std::string RequireString(const json& object, const char* key, const std::string& path,
                          const std::string& where) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        Fail(path, where + ": \"" + key + "\" must be a text");
    return it->get<std::string>();
}

std::int32_t RequireId(const json& value, const std::string& path, const std::string& what) {
    if (!value.is_number_integer() || value.get<std::int64_t>() <= 0 ||
        value.get<std::int64_t>() > INT32_MAX)
        Fail(path, what + " must be a positive whole number");
    return value.get<std::int32_t>();
}

AEGP_ItemType ParseItemType(const std::string& name) {
    if (name == "folder") return AEGP_ItemType_FOLDER;
    if (name == "composition") return AEGP_ItemType_COMP;
    if (name == "footage") return AEGP_ItemType_FOOTAGE;
    if (name == "solid") return AEGP_ItemType_SOLID;
    return AEGP_ItemType_NONE;
}

ItemSpec ParseItem(const json& entry, std::size_t index, const std::string& path) {
    const std::string where = "items[" + std::to_string(index) + "]";
    if (!entry.is_object()) Fail(path, where + " must be an object");
    ItemSpec item;
    if (!entry.contains("id")) Fail(path, where + ": \"id\" is missing");
    item.id = RequireId(entry["id"], path, where + ".id");
    item.name = RequireString(entry, "name", path, where);
    const std::string type = RequireString(entry, "type", path, where);
    item.type = ParseItemType(type);
    if (item.type == AEGP_ItemType_NONE)
        Fail(path,
             where + ": unknown type \"" + type + "\" (folder, composition, footage or solid)");
    if (entry.contains("parent"))
        item.parentId = RequireId(entry["parent"], path, where + ".parent");
    if (entry.contains("selected")) {
        if (!entry["selected"].is_boolean())
            Fail(path, where + ": \"selected\" must be true or false");
        item.selected = entry["selected"].get<bool>();
    }
    if (entry.contains("layers")) {
        if (item.type != AEGP_ItemType_COMP) Fail(path, where + ": only compositions have layers");
        if (!entry["layers"].is_array()) Fail(path, where + ": \"layers\" must be a list of names");
        for (const auto& layer : entry["layers"]) {
            if (!layer.is_string()) Fail(path, where + ": layer names must be texts");
            item.layers.push_back(layer.get<std::string>());
        }
    }
    return item;
}

void CheckReferences(const ProjectSpec& project, const std::string& path) {
    std::set<std::int32_t> ids, folders;
    for (const auto& item : project.items) {
        if (!ids.insert(item.id).second)
            Fail(path, "item id " + std::to_string(item.id) + " is used twice");
        if (item.type == AEGP_ItemType_FOLDER) folders.insert(item.id);
    }
    for (const auto& item : project.items)
        if (item.parentId != 0 && !folders.count(item.parentId))
            Fail(path, "item " + std::to_string(item.id) + ": parent " +
                           std::to_string(item.parentId) + " is not a folder of the project");
    if (project.activeId != 0 && !ids.count(project.activeId))
        Fail(path, "\"active\" names item " + std::to_string(project.activeId) +
                       ", which does not exist");
}

}  // namespace

const char* ItemTypeName(AEGP_ItemType type) {
    switch (type) {
        case AEGP_ItemType_FOLDER:
            return "folder";
        case AEGP_ItemType_COMP:
            return "composition";
        case AEGP_ItemType_FOOTAGE:
            return "footage";
        case AEGP_ItemType_SOLID:
            return "solid";
        default:
            return "none";
    }
}

std::vector<Effect> LoadEffectsFile(const std::string& path) {
    const json doc = ReadJsonFile(path);
    if (!doc.is_array()) Fail(path, "must be a list of effects");
    std::vector<Effect> effects;
    for (std::size_t i = 0; i < doc.size(); ++i) {
        const std::string where = "effects[" + std::to_string(i) + "]";
        if (!doc[i].is_object()) Fail(path, where + " must be an object");
        effects.push_back({RequireString(doc[i], "matchName", path, where),
                           RequireString(doc[i], "displayName", path, where),
                           RequireString(doc[i], "category", path, where)});
    }
    return effects;
}

ProjectSpec LoadProjectFile(const std::string& path) {
    const json doc = ReadJsonFile(path);
    if (!doc.is_object()) Fail(path, "must be an object with \"items\"");
    if (!doc.contains("items") || !doc["items"].is_array()) Fail(path, "\"items\" must be a list");
    ProjectSpec project;
    for (std::size_t i = 0; i < doc["items"].size(); ++i)
        project.items.push_back(ParseItem(doc["items"][i], i, path));
    if (doc.contains("active") && !doc["active"].is_null())
        project.activeId = RequireId(doc["active"], path, "\"active\"");
    CheckReferences(project, path);
    return project;
}

ProjectSpec BuiltInProject() {
    ProjectSpec project;
    project.items = {
        {1, "Footage", AEGP_ItemType_FOLDER, 0, false, {}},
        {2, "Main Comp", AEGP_ItemType_COMP, 0, false, {"Title", "Logo", "Background"}},
        {3, "Interview_A.mov", AEGP_ItemType_FOOTAGE, 1, false, {}},
        {4, "Interview_B.mov", AEGP_ItemType_FOOTAGE, 1, false, {}},
        {5, "Lower Third", AEGP_ItemType_COMP, 0, false, {"Name", "Bar"}},
        {6, "Dark Gray Solid 1", AEGP_ItemType_SOLID, 0, false, {}},
    };
    project.items[1].selected = true;
    project.activeId = 2;
    return project;
}

std::vector<Effect> BuiltInEffects() {
    return {
        {"ADBE Gaussian Blur 2", "Gaussian Blur", "Blur & Sharpen"},
        {"ADBE Camera Lens Blur", "Camera Lens Blur", "Blur & Sharpen"},
        {"ADBE Motion Blur", "Directional Blur", "Blur & Sharpen"},
        {"ADBE Radial Blur", "Radial Blur", "Blur & Sharpen"},
        {"ADBE Sharpen", "Sharpen", "Blur & Sharpen"},
        {"ADBE Unsharp Mask2", "Unsharp Mask", "Blur & Sharpen"},
        {"ADBE Brightness & Contrast 2", "Brightness & Contrast", "Color Correction"},
        {"ADBE CurvesCustom", "Curves", "Color Correction"},
        {"ADBE Easy Levels2", "Levels", "Color Correction"},
        {"ADBE HUE SATURATION", "Hue/Saturation", "Color Correction"},
        {"ADBE Tint", "Tint", "Color Correction"},
        {"ADBE Tritone", "Tritone", "Color Correction"},
        {"ADBE Exposure2", "Exposure", "Color Correction"},
        {"ADBE Vibrance", "Vibrance", "Color Correction"},
        {"ADBE Lumetri", "Lumetri Color", "Color Correction"},
        {"ADBE Fill", "Fill", "Generate"},
        {"ADBE Ramp", "Gradient Ramp", "Generate"},
        {"ADBE 4ColorGradient", "4-Color Gradient", "Generate"},
        {"ADBE Lightning 2", "Advanced Lightning", "Generate"},
        {"ADBE Stroke", "Stroke", "Generate"},
        {"ADBE Drop Shadow", "Drop Shadow", "Perspective"},
        {"ADBE Bevel Alpha", "Bevel Alpha", "Perspective"},
        {"ADBE Basic 3D", "Basic 3D", "Perspective"},
        {"ADBE Glo2", "Glow", "Stylize"},
        {"ADBE Find Edges", "Find Edges", "Stylize"},
        {"ADBE Mosaic", "Mosaic", "Stylize"},
        {"ADBE Posterize", "Posterize", "Stylize"},
        {"ADBE Noise", "Noise", "Noise & Grain"},
        {"ADBE Fractal Noise", "Fractal Noise", "Noise & Grain"},
        {"ADBE Median", "Median", "Noise & Grain"},
        {"ADBE Geometry2", "Transform", "Distort"},
        {"ADBE Corner Pin", "Corner Pin", "Distort"},
        {"ADBE Bulge", "Bulge", "Distort"},
        {"ADBE Turbulent Displace", "Turbulent Displace", "Distort"},
        {"ADBE Keylight", "Keylight (1.2)", "Keying"},
        {"ADBE Color Key", "Color Key", "Keying"},
        {"ADBE Simple Choker", "Simple Choker", "Matte"},
        {"ADBE Matte Choker", "Matte Choker", "Matte"},
        {"ADBE Text", "Numbers", "Text"},
        {"ADBE Slider Control", "Slider Control", "Expression Controls"},
        {"ADBE Checkbox Control", "Checkbox Control", "Expression Controls"},
        {"ADBE Linear Wipe", "Linear Wipe", "Transition"},
        {"ADBE Venetian Blinds", "Venetian Blinds", "Transition"},
        {"ADBE Echo", "Echo", "Time"},
        {"ADBE Invert", "Invert", "Channel"},
        {"ADBE Set Matte3", "Set Matte", "Channel"},
    };
}

}  // namespace hostsim
