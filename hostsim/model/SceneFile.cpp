#include "SceneFile.h"

#include "ModelError.h"

namespace hostsim::model {
namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& where, const std::string& problem) {
    throw ModelError(where + ": " + problem);
}

double Number(const json& entry, const char* key, double fallback, const std::string& where) {
    if (!entry.contains(key)) return fallback;
    if (!entry[key].is_number()) Fail(where, std::string("\"") + key + "\" must be a number");
    return entry[key].get<double>();
}

bool Flag(const json& entry, const char* key, bool fallback, const std::string& where) {
    if (!entry.contains(key)) return fallback;
    if (!entry[key].is_boolean()) Fail(where, std::string("\"") + key + "\" must be true or false");
    return entry[key].get<bool>();
}

// The rules of the host apply to a file too: a value out of range is refused with its text.
template <typename F>
void Checked(const std::string& where, F&& change) {
    try {
        change();
    } catch (const ModelError& e) {
        Fail(where, e.what());
    }
}

void SetProperties(Scene& scene, PropertyGroup& group, const json& values,
                   const std::string& where) {
    if (!values.is_object()) Fail(where, "\"properties\" must be an object of name: value");
    for (const auto& [name, value] : values.items()) {
        const std::string at = where + ".properties." + name;
        Node* node = group.Find(name);
        if (node == nullptr) {  // the transform properties are also found from the layer
            if (group.Kind() == NodeKind::Layer)
                node = static_cast<Layer&>(group).Transform().Find(name);
            if (node == nullptr) Fail(at, "no such property");
        }
        if (node->Kind() != NodeKind::Property) Fail(at, "is a group, not a property");
        auto& property = static_cast<Property&>(*node);
        if (value.is_object()) {
            if (!value.contains("keys") || !value["keys"].is_array())
                Fail(at, "\"keys\" must be a list of [time, value]");
            // [time, value], or [time, value, {"selected": true}] for a key the user clicked.
            for (const auto& key : value["keys"]) {
                if (!key.is_array() || key.size() < 2 || key.size() > 3 || !key[0].is_number() ||
                    (key.size() == 3 && !key[2].is_object()))
                    Fail(at,
                         "each key must be [time, value] or [time, value, {\"selected\": true}]");
                const Value v = ParseValue(key[1], at);
                const double t = key[0].get<double>();
                const bool selected = key.size() == 3 && Flag(key[2], "selected", false, at);
                Checked(at, [&] {
                    scene.SetValueAtTime(property, t, v);
                    if (selected) scene.SetKeySelected(property, property.NearestKeyIndex(t), true);
                });
            }
        } else {
            const Value v = ParseValue(value, at);
            Checked(at, [&] { scene.SetValue(property, v); });
        }
    }
}

// "markers": [{"time": 1, "comment": "Intro", ...the MarkerValue's attributes, "params": {}}]
void AddMarkers(Scene& scene, Comp& comp, Layer* layer, const json& entry,
                const std::string& where) {
    if (!entry.contains("markers")) return;
    if (!entry["markers"].is_array()) Fail(where, "\"markers\" must be a list");
    for (std::size_t i = 0; i < entry["markers"].size(); ++i) {
        const std::string at = where + ".markers[" + std::to_string(i) + "]";
        json marker = entry["markers"][i];
        if (!marker.is_object() || !marker.contains("time") || !marker["time"].is_number())
            Fail(at, "a marker is an object with a \"time\" and its attributes");
        const double t = marker["time"].get<double>();
        marker.erase("time");
        Checked(at, [&] { scene.SetMarkerAtTime(comp, layer, t, MarkerValue::FromJson(marker)); });
    }
}

void AddLayer(Scene& scene, Comp& comp, const json& entry, const std::string& where) {
    if (entry.is_string()) {
        scene.AddLayer(comp, entry.get<std::string>(), comp.width, comp.height, 0, false,
                       comp.duration);
        return;
    }
    if (!entry.is_object() || !entry.contains("name") || !entry["name"].is_string())
        Fail(where, "a layer is a name or an object with a \"name\"");
    Layer& layer = scene.AddLayer(comp, entry["name"].get<std::string>(), comp.width, comp.height,
                                  0, Flag(entry, "null", false, where), comp.duration);
    layer.enabled = Flag(entry, "enabled", true, where);
    layer.solo = Flag(entry, "solo", false, where);
    layer.shy = Flag(entry, "shy", false, where);
    layer.locked = Flag(entry, "locked", false, where);
    layer.selected = Flag(entry, "selected", false, where);
    layer.startTime = Number(entry, "startTime", 0, where);
    layer.inPoint = Number(entry, "inPoint", 0, where);
    layer.outPoint = Number(entry, "outPoint", comp.duration, where);
    if (layer.outPoint <= layer.inPoint) Fail(where, "\"outPoint\" must come after \"inPoint\"");
    if (entry.contains("properties")) SetProperties(scene, layer, entry["properties"], where);
    AddMarkers(scene, comp, &layer, entry, where);
    if (!entry.contains("effects")) return;
    if (!entry["effects"].is_array()) Fail(where, "\"effects\" must be a list");
    for (std::size_t i = 0; i < entry["effects"].size(); ++i) {
        const json& e = entry["effects"][i];
        const std::string at = where + ".effects[" + std::to_string(i) + "]";
        const json& name = e.is_object() ? e.value("name", json()) : e;
        if (!name.is_string()) Fail(at, "an effect is a match name or an object with a \"name\"");
        PropertyGroup* effect = nullptr;
        Checked(at, [&] { effect = &scene.AddEffect(layer.Effects(), name.get<std::string>()); });
        if (e.is_object() && e.contains("properties"))
            SetProperties(scene, *effect, e["properties"], at);
    }
}

}  // namespace

Value ParseValue(const json& value, const std::string& where) {
    if (value.is_number()) return {value.get<double>()};
    if (!value.is_array() || value.empty()) Fail(where, "a value is a number or a list of numbers");
    Value v;
    for (const auto& n : value) {
        if (!n.is_number()) Fail(where, "a value is a number or a list of numbers");
        v.push_back(n.get<double>());
    }
    return v;
}

void ApplyItemState(Scene& scene, Item& item, const json& entry, const std::string& where) {
    if (!entry.is_object()) return;
    for (const char* key : {"comment", "label"})
        if (entry.contains(key))
            Checked(where, [&] { scene.SetItemSetting(item.id, key, entry[key]); });
    if (item.type != ItemType::Solid) return;
    for (const char* key : {"color", "width", "height", "pixelAspect"})
        if (entry.contains(key))
            Checked(where, [&] { scene.SetSolidAttribute(item.id, key, entry[key]); });
}

CompSetup ParseCompSetup(const json& entry, const std::string& where) {
    CompSetup setup;
    setup.width = Number(entry, "width", setup.width, where);
    setup.height = Number(entry, "height", setup.height, where);
    setup.pixelAspect = Number(entry, "pixelAspect", setup.pixelAspect, where);
    setup.duration = Number(entry, "duration", setup.duration, where);
    setup.frameRate = Number(entry, "frameRate", setup.frameRate, where);
    if (!(setup.width > 0 && setup.height > 0 && setup.pixelAspect > 0 && setup.duration > 0 &&
          setup.frameRate > 0))
        Fail(where, "width, height, pixelAspect, duration and frameRate must be above 0");
    return setup;
}

void ApplyCompState(Scene& scene, Comp& comp, const json& entry, const std::string& where) {
    Checked(where, [&] { comp.SetTime(Number(entry, "time", 0, where)); });
    comp.workAreaStart = Number(entry, "workAreaStart", 0, where);
    comp.workAreaDuration = Number(entry, "workAreaDuration", comp.duration, where);
    comp.hideShyLayers = Flag(entry, "hideShyLayers", false, where);
    if (comp.workAreaStart < 0 || comp.workAreaStart + comp.workAreaDuration > comp.duration + 1e-9)
        Fail(where, "the work area must lie within the composition");
    // The stored settings (bgColor, motionBlur, ...) and displayStartTime, by the host's rules.
    for (auto it = entry.begin(); it != entry.end(); ++it) {
        const std::string& key = it.key();
        if (key != "displayStartTime" && !comp.settings.Has(key)) continue;
        std::string at = where;
        at.append(".").append(key);
        Checked(at, [&] { comp.SetAttribute(key, it.value()); });
    }
    AddMarkers(scene, comp, nullptr, entry, where);
}

void AddLayers(Scene& scene, Comp& comp, const json& layers, const std::string& where) {
    if (!layers.is_array()) Fail(where, "\"layers\" must be a list");
    // Each new layer goes on top, so the file's list is added bottom first.
    for (std::size_t i = layers.size(); i-- > 0;)
        AddLayer(scene, comp, layers[i], where + ".layers[" + std::to_string(i) + "]");
}

std::vector<PropertySetup> ParseParams(const json& params, const std::string& where) {
    if (!params.is_array()) Fail(where, "\"params\" must be a list");
    std::vector<PropertySetup> setups;
    for (std::size_t i = 0; i < params.size(); ++i) {
        const json& p = params[i];
        const std::string at = where + ".params[" + std::to_string(i) + "]";
        if (!p.is_object() || !p.contains("name") || !p["name"].is_string() ||
            !p.contains("matchName") || !p["matchName"].is_string())
            Fail(at, "a parameter needs \"name\" and \"matchName\" texts");
        PropertySetup setup{p["name"], p["matchName"]};
        const json& typeName = p.contains("type") ? p["type"] : json("OneD");
        const auto type = ParseValueType(typeName.is_string() ? typeName.get<std::string>() : "");
        if (!type)
            Fail(at, "\"type\" must be OneD, TwoD, TwoD_SPATIAL, ThreeD, ThreeD_SPATIAL or COLOR");
        setup.type = *type;
        setup.defaultValue = p.contains("default") ? ParseValue(p["default"], at)
                                                   : Value(Dimensions(setup.type), 0.0);
        if (setup.defaultValue.size() != Dimensions(setup.type))
            Fail(at, "\"default\" does not fit the type");
        if (p.contains("min")) setup.min = Number(p, "min", 0, at);
        if (p.contains("max")) setup.max = Number(p, "max", 0, at);
        setups.push_back(std::move(setup));
    }
    return setups;
}

}  // namespace hostsim::model
