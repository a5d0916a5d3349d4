#include "SceneFile.h"

#include <optional>

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

std::vector<Ease> ParseEases(const json& list, const std::string& where) {
    if (!list.is_array()) Fail(where, "an ease is a list of [speed, influence]");
    std::vector<Ease> eases;
    for (const auto& e : list) {
        if (!e.is_array() || e.size() != 2 || !e[0].is_number() || !e[1].is_number())
            Fail(where, "an ease is a list of [speed, influence]");
        eases.push_back({e[0].get<double>(), e[1].get<double>()});
    }
    return eases;
}

std::optional<Interpolation> ParseInterpolationField(const json& entry, const char* key,
                                                     const std::string& where) {
    if (!entry.contains(key)) return std::nullopt;
    const auto type =
        ParseInterpolation(entry[key].is_string() ? entry[key].get<std::string>() : "");
    if (!type) Fail(where, std::string("\"") + key + "\" must be LINEAR, BEZIER or HOLD");
    return type;
}

// A key's state beyond its value: {"selected": true, "easeIn": [[speed, influence], ...],
// "easeOut": [...], "in": "BEZIER", "out": "HOLD"}. It is set by the same rules as a script's
// calls: an ease makes a linear side bezier, then "in" and "out", where given, decide.
struct KeyState {
    bool selected = false;
    std::optional<std::vector<Ease>> easeIn, easeOut;
    std::optional<Interpolation> in, out;
};

KeyState ParseKeyState(const json& state, const std::string& where) {
    KeyState k;
    k.selected = Flag(state, "selected", false, where);
    if (state.contains("easeIn")) k.easeIn = ParseEases(state["easeIn"], where);
    if (state.contains("easeOut")) k.easeOut = ParseEases(state["easeOut"], where);
    k.in = ParseInterpolationField(state, "in", where);
    k.out = ParseInterpolationField(state, "out", where);
    return k;
}

void SetKeyState(Scene& scene, Property& property, int index, const KeyState& k) {
    // As a click on a key does, it selects the key's property too, so that scripts walking
    // the selected properties find it.
    if (k.selected) {
        scene.SetKeySelected(property, index, true);
        scene.SetPropertySelected(property, true);
    }
    if (k.easeIn || k.easeOut)
        scene.SetKeyEase(property, index, k.easeIn ? *k.easeIn : *k.easeOut,
                         k.easeOut ? *k.easeOut : *k.easeIn);
    const Keyframe& key = property.Keys()[static_cast<std::size_t>(index - 1)];
    scene.SetKeyInterpolation(property, index, k.in.value_or(key.inType),
                              k.out.value_or(key.outType));
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
            // [time, value], or [time, value, {state}]: selected, ease and interpolation.
            for (const auto& key : value["keys"]) {
                if (!key.is_array() || key.size() < 2 || key.size() > 3 || !key[0].is_number() ||
                    (key.size() == 3 && !key[2].is_object()))
                    Fail(at,
                         "each key must be [time, value] or [time, value, {\"selected\": true}]");
                const Value v = ParseValue(key[1], at);
                const double t = key[0].get<double>();
                const KeyState state = key.size() == 3 ? ParseKeyState(key[2], at) : KeyState{};
                Checked(at, [&] {
                    scene.SetValueAtTime(property, t, v);
                    SetKeyState(scene, property, property.NearestKeyIndex(t), state);
                });
            }
        } else {
            const Value v = ParseValue(value, at);
            Checked(at, [&] { scene.SetValue(property, v); });
        }
    }
}

// "type": "text" (its "text", else its name), "shape", "camera", "light", or an AV layer.
Layer& AddTypedLayer(Scene& scene, Comp& comp, const json& entry, const std::string& where) {
    const std::string name = entry["name"].get<std::string>();
    const json& type = entry.contains("type") ? entry["type"] : json("av");
    const Value centre{comp.width / 2, comp.height / 2};
    Layer* layer = nullptr;
    if (type == "text") {
        TextDocument doc;
        const json& text = entry.contains("text") ? entry["text"] : entry["name"];
        if (!text.is_string()) Fail(where, "\"text\" must be a text");
        doc.text = text.get<std::string>();
        // "textDocument": the document's stored settings by their scripting names; "box":
        // [w, h] makes box text.
        if (entry.contains("textDocument")) {
            Checked(where, [&] {
                try {
                    doc.Apply(entry["textDocument"]);
                } catch (const json::exception&) {
                    throw ModelError("\"textDocument\" holds a value of the wrong type");
                }
            });
        }
        Value box;
        if (entry.contains("box")) {
            const json& size = entry["box"];
            if (!size.is_array() || size.size() != 2 || !size[0].is_number() ||
                !size[1].is_number())
                Fail(where, "\"box\" must be [width, height]");
            box = {size[0].get<double>(), size[1].get<double>()};
        }
        Checked(where, [&] { layer = &scene.AddText(comp, doc, box.empty() ? nullptr : &box); });
        if (name != layer->name) scene.SetLayerName(*layer, name);
    } else if (type == "shape") {
        layer = &scene.AddShape(comp);
        scene.SetLayerName(*layer, name);
    } else if (type == "camera") {
        layer = &scene.AddCamera(comp, name, centre);
    } else if (type == "light") {
        layer = &scene.AddLight(comp, name, centre);
    } else if (type == "av") {
        layer = &scene.AddLayer(comp, name, comp.width, comp.height, 0,
                                Flag(entry, "null", false, where), comp.duration);
    } else {
        Fail(where, "\"type\" must be av, text, shape, camera or light");
    }
    return *layer;
}

// The layer's switches and enumerated attributes by their scripting names ("motionBlur":
// true, "quality": 4613, "label": 3), its "comment", through the same checks as a script's.
void SetLayerAttributes(Scene& scene, Layer& layer, const json& entry, const std::string& where) {
    for (const auto& [key, value] : entry.items()) {
        const LayerAttribute* a = FindLayerAttribute(key);
        if (a == nullptr) continue;
        if (a->avOnly && !layer.IsAV()) Fail(where, "a camera or a light has no \"" + key + "\"");
        if (a->flag != nullptr ? !value.is_boolean() : !value.is_number())
            Fail(where, "\"" + key + "\" must be " + (a->flag ? "true or false" : "a number"));
        const double v = a->flag ? (value.get<bool>() ? 1.0 : 0.0) : value.get<double>();
        Checked(where, [&] { scene.SetLayerAttribute(layer, *a, v); });
    }
    if (entry.contains("comment")) {
        if (!entry["comment"].is_string()) Fail(where, "\"comment\" must be a text");
        scene.SetLayerComment(layer, entry["comment"].get<std::string>());
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

// "masks": [{"path": {Shape record}, "maskMode": 6814, "inverted": true, ...,
// "properties": {"Mask Feather": [10, 10]}}]: each added, set and checked as a script's calls
// would be.
void AddMasks(Scene& scene, Layer& layer, const json& entry, const std::string& where) {
    if (!entry.contains("masks")) return;
    if (!entry["masks"].is_array()) Fail(where, "\"masks\" must be a list");
    auto* parade = static_cast<PropertyGroup*>(layer.Find("ADBE Mask Parade"));
    for (std::size_t i = 0; i < entry["masks"].size(); ++i) {
        const json& m = entry["masks"][i];
        const std::string at = where + ".masks[" + std::to_string(i) + "]";
        if (!m.is_object()) Fail(at, "a mask is an object");
        if (parade == nullptr) Fail(at, "a camera or a light has no masks");
        Mask* mask = nullptr;
        Checked(at, [&] {
            mask = &static_cast<Mask&>(scene.AddProperty(*parade, "ADBE Mask Atom"));
            if (m.contains("path"))
                scene.SetShape(mask->Path(), Shape::Checked(m["path"], "setValue", 1));
            for (const auto& [name, value] : m.items())
                if (const MaskAttribute* a = FindMaskAttribute(name))
                    scene.SetMaskAttribute(*mask, *a, value);
        });
        if (m.contains("properties")) SetProperties(scene, *mask, m["properties"], at);
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
    Layer& layer = AddTypedLayer(scene, comp, entry, where);
    layer.enabled = Flag(entry, "enabled", true, where);
    layer.solo = Flag(entry, "solo", false, where);
    layer.shy = Flag(entry, "shy", false, where);
    layer.locked = Flag(entry, "locked", false, where);
    layer.selected = Flag(entry, "selected", false, where);
    layer.startTime = Number(entry, "startTime", 0, where);
    layer.inPoint = Number(entry, "inPoint", 0, where);
    layer.outPoint = Number(entry, "outPoint", comp.duration, where);
    if (layer.outPoint <= layer.inPoint) Fail(where, "\"outPoint\" must come after \"inPoint\"");
    SetLayerAttributes(scene, layer, entry, where);
    if (entry.contains("properties")) SetProperties(scene, layer, entry["properties"], where);
    AddMarkers(scene, comp, &layer, entry, where);
    AddMasks(scene, layer, entry, where);
    if (!entry.contains("effects")) return;
    if (!entry["effects"].is_array()) Fail(where, "\"effects\" must be a list");
    for (std::size_t i = 0; i < entry["effects"].size(); ++i) {
        const json& e = entry["effects"][i];
        const std::string at = where + ".effects[" + std::to_string(i) + "]";
        const json& name = e.is_object() ? e.value("name", json()) : e;
        if (!name.is_string()) Fail(at, "an effect is a match name or an object with a \"name\"");
        PropertyGroup* effect = nullptr;
        if (layer.EffectsOrNull() == nullptr) Fail(at, "a camera or a light has no effects");
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

void ApplyItemState(Scene& scene, Item& item, const json& given, const std::string& where) {
    const json entry = given.is_object() ? given : json::object();
    for (const char* key : {"comment", "label"})
        if (entry.contains(key))
            Checked(where, [&] { scene.SetItemSetting(item.id, key, entry[key]); });
    if (item.type == ItemType::Footage) {
        // A footage entry's file and what reading it gave (the defaults: a ten-second movie).
        FootageSetup setup;
        setup.path = "~/" + item.name;
        if (entry.contains("file")) {
            if (!entry["file"].is_string() || entry["file"].get<std::string>().empty())
                Fail(where + ".file", "must be a file's path");
            setup.path = entry["file"].get<std::string>();
        }
        setup.width = Number(entry, "width", 1920, where);
        setup.height = Number(entry, "height", 1080, where);
        setup.pixelAspect = Number(entry, "pixelAspect", 1, where);
        setup.frameRate = Number(entry, "frameRate", 25, where);
        setup.duration = Number(entry, "duration", setup.frameRate > 0 ? 10 : 0, where);
        setup.hasAudio = Flag(entry, "hasAudio", false, where);
        if (!(setup.width > 0 && setup.height > 0 && setup.pixelAspect > 0 &&
              setup.frameRate >= 0 && setup.duration >= 0))
            Fail(where, "a footage item's width, height and pixelAspect must be above 0");
        return ApplyFootage(item, setup);
    }
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
    // "parent": the name of another layer of the composition, once all are there.
    for (std::size_t i = 0; i < layers.size(); ++i) {
        const json& entry = layers[i];
        if (!entry.is_object() || !entry.contains("parent")) continue;
        const std::string at = where + ".layers[" + std::to_string(i) + "]";
        Layer* parent = entry["parent"].is_string()
                            ? comp.LayerByName(entry["parent"].get<std::string>())
                            : nullptr;
        if (parent == nullptr) Fail(at, "\"parent\" must name another layer of the composition");
        Checked(at, [&] { scene.SetParent(*comp.LayerAt(static_cast<int>(i) + 1), parent, true); });
    }
    // "trackMatte": the name of another layer of the composition, its matte, applied as its
    // "trackMatteType" says (alpha when it gives none), by the script's rules.
    for (std::size_t i = 0; i < layers.size(); ++i) {
        const json& entry = layers[i];
        if (!entry.is_object() || !entry.contains("trackMatte")) continue;
        const std::string at = where + ".layers[" + std::to_string(i) + "]";
        Layer* matte = entry["trackMatte"].is_string()
                           ? comp.LayerByName(entry["trackMatte"].get<std::string>())
                           : nullptr;
        if (matte == nullptr) Fail(at, "\"trackMatte\" must name another layer of the composition");
        Layer& layer = *comp.LayerAt(static_cast<int>(i) + 1);
        constexpr int kAlphaMatte = kNoTrackMatte + 1;
        const int type = layer.trackMatteType == kNoTrackMatte ? kAlphaMatte : layer.trackMatteType;
        Checked(at, [&] { scene.SetTrackMatte(layer, matte, type); });
    }
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
