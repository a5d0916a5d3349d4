#include "core/Catalog.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "model/ModelError.h"
#include "model/SceneFile.h"
#include "scripting/Environment.h"

namespace hostsim {
namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& path, const std::string& problem) {
    throw ConfigError(path + ": " + problem);
}

// Reads a document only to find where the parser gave up: the byte after the fault.
struct FaultLocator : json::json_sax_t {
    std::size_t at = 0;
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t position, const std::string&, const json::exception&) override {
        at = position;
        return false;
    }
};

// "line L, column C" of the fault in text, as the parser's own syntax errors say it.
std::string FaultPlace(const std::string& text) {
    FaultLocator locator;
    json::sax_parse(text, &locator);
    const std::size_t at = std::min(locator.at, text.size());
    const std::size_t lineStart = text.rfind('\n', at == 0 ? 0 : at - 1);
    const auto line =
        1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n');
    const std::size_t column = lineStart == std::string::npos ? at : at - lineStart - 1;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

json ReadJsonFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) Fail(path, "cannot be opened");
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    try {
        return json::parse(text);
    } catch (const json::parse_error& e) {
        Fail(path, std::string("not valid JSON (") + e.what() + ")");
    } catch (const json::exception& e) {
        // A number too large for a double: the parser's text names it but not its place.
        Fail(path, std::string("not valid JSON (") + e.what() + " at " + FaultPlace(text) + ")");
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

ItemSetup ParseItem(const json& entry, std::size_t index, const std::string& path) {
    const std::string where = "items[" + std::to_string(index) + "]";
    if (!entry.is_object()) Fail(path, where + " must be an object");
    ItemSetup item;
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
        if (!entry["layers"].is_array()) Fail(path, where + ": \"layers\" must be a list");
        for (const auto& layer : entry["layers"]) {
            const json& name = layer.is_object() ? layer.value("name", json()) : layer;
            if (!name.is_string())
                Fail(path, where + ": a layer is a name or an object with a \"name\"");
            item.layers.push_back(name.get<std::string>());
        }
    }
    item.comp = entry;
    return item;
}

void CheckReferences(const ProjectSetup& project, const std::string& path) {
    std::set<std::int32_t> ids, folders;
    for (const auto& item : project.items) {
        if (!ids.insert(item.id).second)
            Fail(path, "item id " + std::to_string(item.id) + " is used twice");
        if (item.type == AEGP_ItemType_FOLDER) folders.insert(item.id);
    }
    std::map<std::int32_t, std::int32_t> parentOf;
    for (const auto& item : project.items) {
        if (item.parentId != 0 && !folders.count(item.parentId))
            Fail(path, "item " + std::to_string(item.id) + ": parent " +
                           std::to_string(item.parentId) + " is not a folder of the project");
        parentOf[item.id] = item.parentId;
    }
    // Every item's way up ends at the root: no folder lies inside itself. A way longer than
    // the project leads into a loop above the item, which its own folders report.
    for (const auto& item : project.items) {
        std::string way = std::to_string(item.id);
        std::int32_t at = item.parentId;
        for (std::size_t steps = 0; at != 0 && steps < project.items.size(); ++steps) {
            way += " in " + std::to_string(at);
            if (at == item.id)
                Fail(path,
                     "folder " + std::to_string(item.id) + " lies inside itself (" + way + ")");
            at = parentOf[at];
        }
    }
    if (project.activeId != 0 && !ids.count(project.activeId))
        Fail(path, "\"active\" names item " + std::to_string(project.activeId) +
                       ", which does not exist");
    if (project.viewerComp != 0 &&
        std::none_of(project.items.begin(), project.items.end(), [&](const ItemSetup& item) {
            return item.id == project.viewerComp && item.type == AEGP_ItemType_COMP;
        }))
        Fail(path, "\"viewer\" must name a composition of the project");
}

model::ItemType ModelType(AEGP_ItemType type) {
    switch (type) {
        case AEGP_ItemType_FOLDER:
            return model::ItemType::Folder;
        case AEGP_ItemType_COMP:
            return model::ItemType::Comp;
        case AEGP_ItemType_SOLID:
            return model::ItemType::Solid;
        default:
            return model::ItemType::Footage;
    }
}

using Params = std::vector<model::PropertySetup>;

model::PropertySetup Param(const char* name, const char* matchName, model::ValueType type,
                           model::Value value, std::optional<double> min = {},
                           std::optional<double> max = {}) {
    return {name, matchName, type, std::move(value), min, max};
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
        Effect effect{RequireString(doc[i], "matchName", path, where),
                      RequireString(doc[i], "displayName", path, where),
                      RequireString(doc[i], "category", path, where)};
        if (doc[i].contains("params")) {
            try {
                effect.params = model::ParseParams(doc[i]["params"], where);
            } catch (const model::ModelError& e) {
                Fail(path, e.what());
            }
        }
        effects.push_back(std::move(effect));
    }
    return effects;
}

ProjectSetup LoadProjectFile(const std::string& path, const std::vector<Effect>& effects) {
    const json doc = ReadJsonFile(path);
    if (!doc.is_object()) Fail(path, "must be an object with \"items\"");
    if (!doc.contains("items") || !doc["items"].is_array()) Fail(path, "\"items\" must be a list");
    ProjectSetup project;
    for (std::size_t i = 0; i < doc["items"].size(); ++i)
        project.items.push_back(ParseItem(doc["items"][i], i, path));
    if (doc.contains("active") && !doc["active"].is_null())
        project.activeId = RequireId(doc["active"], path, "\"active\"");
    if (doc.contains("viewer") && !doc["viewer"].is_null())
        project.viewerComp = RequireId(doc["viewer"], path, "\"viewer\"");
    if (doc.contains("environment")) {
        try {
            ParseEnvironmentSetup(doc["environment"]);
        } catch (const std::invalid_argument& e) {
            Fail(path, e.what());
        }
        project.environment = doc["environment"];
    }
    CheckReferences(project, path);
    BuildScene(project, effects, path);  // the content is checked by the model's own rules
    return project;
}

std::unique_ptr<model::Scene> BuildScene(const ProjectSetup& project, std::vector<Effect> effects,
                                         const std::string& source) {
    auto scene = std::make_unique<model::Scene>(std::move(effects));
    try {
        for (std::size_t i = 0; i < project.items.size(); ++i) {
            const ItemSetup& setup = project.items[i];
            model::Item& item =
                scene->AppendItem(setup.id, setup.name, ModelType(setup.type), setup.parentId);
            item.selected = setup.selected;
            const std::string where = "items[" + std::to_string(i) + "]";
            model::ApplyItemState(*scene, item, setup.comp, where);
            if (setup.type != AEGP_ItemType_COMP) continue;
            const json entry = setup.comp.is_object() ? setup.comp : json::object();
            item.comp =
                std::make_unique<model::Comp>(setup.id, model::ParseCompSetup(entry, where));
            model::AddLayers(*scene, *item.comp,
                             entry.contains("layers") ? entry["layers"] : json(setup.layers),
                             where);
            model::ApplyCompState(*scene, *item.comp, entry, where);
        }
    } catch (const model::ModelError& e) {
        throw ConfigError(source + ": " + e.what());
    }
    scene->aegpActiveId = project.activeId;
    scene->viewerComp = project.viewerComp;
    scene->viewerActive = project.viewerComp != 0;
    scene->TakeChanges();  // the starting state is no change
    scene->dirty = false;
    return scene;
}

model::CommandTable LoadCommandsFile(const std::string& path) {
    try {
        return model::CommandTable::FromJson(ReadJsonFile(path));
    } catch (const model::ModelError& e) {
        Fail(path, e.what());
    }
}

// A project a controller's scripts can work on: Main Comp open in the viewer, its top
// layer selected, the logo fading in over two seconds, the background dimmed. No effect is
// applied: the installed effects may be any (--effects).
ProjectSetup BuiltInProject() {
    ProjectSetup project;
    project.items = {
        {1, "Footage", AEGP_ItemType_FOLDER, 0, false, {}},
        {2, "Main Comp", AEGP_ItemType_COMP, 0, false, {"Title", "Logo", "Background"}},
        {3, "Interview_A.mov", AEGP_ItemType_FOOTAGE, 1, false, {}},
        {4, "Interview_B.mov", AEGP_ItemType_FOOTAGE, 1, false, {}},
        {5, "Lower Third", AEGP_ItemType_COMP, 0, false, {"Name", "Bar"}},
        {6, "Dark Gray Solid 1", AEGP_ItemType_SOLID, 0, false, {}},
    };
    project.items[1].selected = true;
    project.items[1].comp = json::parse(R"({
      "width": 1920, "height": 1080, "duration": 10, "frameRate": 25,
      "layers": [
        {"name": "Title", "selected": true},
        {"name": "Logo", "properties": {"Opacity": {"keys": [[0, 0], [2, 100]]}}},
        {"name": "Background", "properties": {"Opacity": 80}}
      ]})");
    project.items[4].comp = json::parse(R"({
      "width": 1920, "height": 1080, "duration": 5, "frameRate": 30, "layers": ["Name", "Bar"]})");
    project.activeId = 2;
    project.viewerComp = 2;
    return project;
}

std::vector<Effect> BuiltInEffects() {
    return {
        {"ADBE Gaussian Blur 2", "Gaussian Blur", "Blur & Sharpen",
         Params{
             Param("Blurriness", "ADBE Gaussian Blur 2-0001", model::ValueType::OneD, {0}, 0, 3000),
             Param("Blur Dimensions", "ADBE Gaussian Blur 2-0002", model::ValueType::OneD, {1}, 1,
                   3),
             Param("Repeat Edge Pixels", "ADBE Gaussian Blur 2-0003", model::ValueType::OneD, {0},
                   0, 1)}},
        {"ADBE Camera Lens Blur", "Camera Lens Blur", "Blur & Sharpen"},
        {"ADBE Motion Blur", "Directional Blur", "Blur & Sharpen"},
        {"ADBE Radial Blur", "Radial Blur", "Blur & Sharpen"},
        {"ADBE Sharpen", "Sharpen", "Blur & Sharpen"},
        {"ADBE Unsharp Mask2", "Unsharp Mask", "Blur & Sharpen"},
        {"ADBE Brightness & Contrast 2", "Brightness & Contrast", "Color Correction"},
        {"ADBE CurvesCustom", "Curves", "Color Correction"},
        {"ADBE Easy Levels2", "Levels", "Color Correction"},
        {"ADBE HUE SATURATION", "Hue/Saturation", "Color Correction"},
        {"ADBE Tint", "Tint", "Color Correction",
         Params{Param("Map Black To", "ADBE Tint-0001", model::ValueType::Color, {0, 0, 0, 1}),
                Param("Map White To", "ADBE Tint-0002", model::ValueType::Color, {1, 1, 1, 1}),
                Param("Amount to Tint", "ADBE Tint-0003", model::ValueType::OneD, {100}, 0, 100)}},
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
        {"ADBE Slider Control", "Slider Control", "Expression Controls",
         Params{Param("Slider", "ADBE Slider Control-0001", model::ValueType::OneD, {0}, -1000000,
                      1000000)}},
        {"ADBE Checkbox Control", "Checkbox Control", "Expression Controls",
         Params{
             Param("Checkbox", "ADBE Checkbox Control-0001", model::ValueType::OneD, {0}, 0, 1)}},
        {"ADBE Linear Wipe", "Linear Wipe", "Transition"},
        {"ADBE Venetian Blinds", "Venetian Blinds", "Transition"},
        {"ADBE Echo", "Echo", "Time"},
        {"ADBE Invert", "Invert", "Channel"},
        {"ADBE Set Matte3", "Set Matte", "Channel"},
    };
}

}  // namespace hostsim
