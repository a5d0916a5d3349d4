// The Scene's layer functions: layers made (text, shape, camera, light), copied, precomposed,
// parented, and their switches, enumerated attributes, times and source text.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>

#include "ModelError.h"
#include "Scene.h"

namespace hostsim::model {
namespace {

constexpr double kThreeHours = 10800;

// A 2D affine map: x' = a x + c y + tx, y' = b x + d y + ty.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    Affine operator*(const Affine& o) const {
        return {a * o.a + c * o.b, b * o.a + d * o.b,        a * o.c + c * o.d,
                b * o.c + d * o.d, a * o.tx + c * o.ty + tx, b * o.tx + d * o.ty + ty};
    }
    Affine Inverse() const {
        const double det = a * d - b * c;
        if (std::abs(det) < 1e-12) return {};  // a parent scaled to nothing: no offset
        return {
            d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
    }
};

Value ValueOf(const Layer& layer, const char* matchName, const Value& fallback, double time) {
    const Node* node = layer.Transform().Find(matchName);
    return node ? static_cast<const Property&>(*node).ValueAt(time) : fallback;
}

// The layer's own transform: T(position) R(rotation) S(scale) T(-anchor point).
Affine Local(const Layer& layer, double time) {
    const bool av = layer.IsAV();
    const Value anchor = av ? ValueOf(layer, "ADBE Anchor Point", {0, 0, 0}, time) : Value{0, 0, 0};
    const Value position = ValueOf(layer, "ADBE Position", {0, 0, 0}, time);
    const Value scale = ValueOf(layer, "ADBE Scale", {100, 100, 100}, time);
    const double r = ValueOf(layer, "ADBE Rotate Z", {0}, time)[0] * std::numbers::pi / 180;
    const double sx = scale[0] / 100, sy = scale[1] / 100;
    Affine m{std::cos(r) * sx, std::sin(r) * sx, -std::sin(r) * sy, std::cos(r) * sy, 0, 0};
    m.tx = position[0] - (m.a * anchor[0] + m.c * anchor[1]);
    m.ty = position[1] - (m.b * anchor[0] + m.d * anchor[1]);
    return m;
}

Affine World(const Layer* layer, double time) {
    if (layer == nullptr) return {};
    return World(layer->parentLayer, time) * Local(*layer, time);
}

// Applies `q` (old parent space to new) to a transform property's static value or keys.
void OffsetSeparated(Property& position, const Affine& q);

void Offset(Property* p, const Affine& q) {
    if (p == nullptr) return;
    if (p->IsSeparationLeader() && p->dimensionsSeparated) return OffsetSeparated(*p, q);
    const double turn = std::atan2(q.b, q.a) * 180 / std::numbers::pi, sx = std::hypot(q.a, q.b),
                 sy = sx > 0 ? (q.a * q.d - q.b * q.c) / sx : 1;
    const auto map = [&](Value v) {
        if (p->matchName == "ADBE Position") {
            const double x = v[0], y = v[1];
            v[0] = q.a * x + q.c * y + q.tx;
            v[1] = q.b * x + q.d * y + q.ty;
        } else if (p->matchName == "ADBE Scale") {
            v[0] *= sx;
            v[1] *= sy;
        } else {
            v[0] += turn;
        }
        return v;
    };
    if (p->NumKeys() == 0) return p->SetValue(map(p->ValueAt(0)));
    std::vector<std::pair<double, Value>> keys;
    for (const auto& key : p->Keys()) keys.emplace_back(key.time, map(key.value));
    for (const auto& [t, v] : keys) p->SetValueAtTime(t, v);
}

// A separated position moves through its X and Y Position: every new value worked out from
// the old ones before any is set.
void OffsetSeparated(Property& position, const Affine& q) {
    const auto mapped = [&](double t, int i) {
        const Value v = position.ValueAt(t);
        return i == 0 ? q.a * v[0] + q.c * v[1] + q.tx : q.b * v[0] + q.d * v[1] + q.ty;
    };
    std::vector<std::pair<Property*, std::vector<std::pair<double, double>>>> plan;
    for (int i = 0; i < 2; ++i) {
        Property* f = position.SeparationFollower(i);
        if (f == nullptr) continue;
        std::vector<std::pair<double, double>> values;
        if (f->NumKeys() == 0) values.emplace_back(0, mapped(0, i));
        for (const auto& key : f->Keys()) values.emplace_back(key.time, mapped(key.time, i));
        plan.emplace_back(f, std::move(values));
    }
    for (auto& [f, values] : plan) {
        if (f->NumKeys() == 0)
            f->SetValue({values.front().second});
        else
            for (const auto& [t, v] : values) f->SetValueAtTime(t, {v});
    }
}

std::string NameFromText(const std::string& text) {
    return text.empty() ? "<empty text layer>" : text;
}

// "Title" -> "Title 2", "Title 2" -> "Title 3": the next number no layer of `comp` has.
std::string NextName(const Comp& comp, const std::string& name) {
    std::string base = name;
    long number = 1;
    const auto space = name.find_last_of(' ');
    if (space != std::string::npos && space + 1 < name.size() && name.size() - space < 10 &&
        std::all_of(name.begin() + static_cast<long>(space) + 1, name.end(),
                    [](char ch) { return ch >= '0' && ch <= '9'; })) {
        base = name.substr(0, space);
        number = std::stol(name.substr(space + 1));
    }
    std::string next;
    do next = base + " " + std::to_string(++number);
    while (comp.LayerByName(next) != nullptr);
    return next;
}

Value Point(const char* method, const Value& v) {
    if (v.size() != 2 || !std::isfinite(v[0]) || !std::isfinite(v[1]))
        ThrowParameter(method, 2, "Array of 2 numbers expected.");
    return v;
}

}  // namespace

Layer& Scene::PlaceLayer(std::unique_ptr<Layer> layer, int index) {
    Comp& comp = *layer->comp;
    Register(*layer);
    const std::string name = layer->name;
    comp.layers.insert(comp.layers.begin() + (index - 1), std::move(layer));
    Note({{"change", "layer added"}, {"comp", comp.id}, {"layer", index}, {"name", name}});
    return *comp.LayerAt(index);
}

Layer& Scene::AddText(Comp& comp, const TextDocument& doc, const Value* box) {
    const bool vertical = doc.lineOrientation != kHorizontal;
    const char* method = box ? (vertical ? "addVerticalBoxText" : "addBoxText")
                             : (vertical ? "addVerticalText" : "addText");
    if (box != nullptr) {
        if (box->size() != 2) ThrowParameter(method, 1, "Array of 2 numbers expected.");
        for (const double v : *box)
            if (!(v >= 1 && v <= 30000)) ThrowParameterRange(method, 1, v, 1, 30000);
    }
    auto layer = std::make_unique<Layer>(NameFromText(doc.text), comp, comp.width, comp.height,
                                         LayerKind::Text);
    layer->text = doc;
    layer->text->boxText = box != nullptr;
    if (box != nullptr) layer->text->boxTextSize = *box;
    return PlaceLayer(std::move(layer), 1);
}

Layer& Scene::AddShape(Comp& comp) {
    int number = 1;
    while (comp.LayerByName("Shape Layer " + std::to_string(number)) != nullptr) ++number;
    return PlaceLayer(std::make_unique<Layer>("Shape Layer " + std::to_string(number), comp,
                                              comp.width, comp.height, LayerKind::Shape),
                      1);
}

Layer& Scene::AddCamera(Comp& comp, const std::string& name, const Value& center) {
    const Value at = Point("addCamera", center);
    auto layer = std::make_unique<Layer>(name, comp, comp.width, comp.height, LayerKind::Camera);
    layer->nameSet = true;
    const double zoom = comp.width * 50 / 36;
    layer->TransformProperty("ADBE Anchor Point").SetValue({at[0], at[1], 0});
    layer->TransformProperty("ADBE Position").SetValue({at[0], at[1], -zoom});
    return PlaceLayer(std::move(layer), 1);
}

Layer& Scene::AddLight(Comp& comp, const std::string& name, const Value& center) {
    const Value at = Point("addLight", center);
    auto layer = std::make_unique<Layer>(name, comp, comp.width, comp.height, LayerKind::Light);
    layer->nameSet = true;
    layer->TransformProperty("ADBE Anchor Point").SetValue({at[0], at[1], 0});
    layer->TransformProperty("ADBE Position").SetValue({at[0], at[1], 0});
    return PlaceLayer(std::move(layer), 1);
}

Layer& Scene::DuplicateLayer(Layer& layer) {
    Comp& comp = *layer.comp;
    auto copy = std::make_unique<Layer>(layer, comp);
    if (layer.nameSet) copy->name = NextName(comp, layer.name);
    return PlaceLayer(std::move(copy), comp.IndexOf(layer));
}

void Scene::CopyLayerToComp(Layer& layer, Comp& into) {
    PlaceLayer(std::make_unique<Layer>(layer, into), 1);
}

Comp& Scene::Precompose(Comp& comp, const std::vector<int>& indices, const std::string& name,
                        bool moveAll) {
    if (indices.empty()) ThrowParameter("precompose", 1, "Array of layer indices expected.");
    std::set<int> chosen;
    for (const int i : indices) {
        if (i < 1 || i > comp.NumLayers())
            ThrowParameterRange("precompose", 1, i, 1, comp.NumLayers());
        if (!chosen.insert(i).second)
            ThrowParameter("precompose", 1, "Layer " + std::to_string(i) + " is listed twice.");
    }
    Layer& first = *comp.LayerAt(*chosen.begin());
    if (!moveAll && chosen.size() > 1)
        ThrowParameter("precompose", 3, "Only one layer can keep its attributes.");
    if (!moveAll && (first.sourceId == 0 || FindItem(first.sourceId) == nullptr))
        ThrowParameter("precompose", 3, "The layer has no source to precompose alone.");
    CompSetup setup{comp.width, comp.height, comp.pixelAspect, comp.duration, comp.frameRate};
    if (!moveAll) {
        setup.width = std::clamp(first.width, 4.0, 30000.0);
        setup.height = std::clamp(first.height, 4.0, 30000.0);
    }
    const std::int32_t id = AddComp(name, setup);
    Comp& inner = *FindItem(id)->comp;
    Note({{"change", "layers precomposed"},
          {"comp", comp.id},
          {"layers", std::vector<int>(chosen.begin(), chosen.end())},
          {"item", id}});
    if (!moveAll) {
        const Item& source = *FindItem(first.sourceId);
        auto alone = std::make_unique<Layer>(source.name, inner, first.width, first.height);
        alone->sourceId = first.sourceId;
        alone->isNull = first.isNull;
        PlaceLayer(std::move(alone), 1);
        first.sourceId = id;
        first.isNull = false;
        if (!first.nameSet) first.name = name;
        return inner;
    }
    const int at = *chosen.begin();
    std::vector<std::unique_ptr<Layer>> kept;
    for (std::size_t i = 0; i < comp.layers.size(); ++i) {
        auto& layer = comp.layers[i];
        if (chosen.count(static_cast<int>(i) + 1)) {
            layer->comp = &inner;
            inner.layers.push_back(std::move(layer));
        } else {
            kept.push_back(std::move(layer));
        }
    }
    comp.layers = std::move(kept);
    // Parents cannot reach across compositions.
    for (auto* list : {&comp.layers, &inner.layers})
        for (auto& layer : *list)
            if (layer->parentLayer != nullptr && layer->parentLayer->comp != layer->comp)
                layer->parentLayer = nullptr;
    DropCrossCompLinks(comp);
    DropCrossCompLinks(inner);
    auto replacement = std::make_unique<Layer>(name, comp, comp.width, comp.height);
    replacement->sourceId = id;
    PlaceLayer(std::move(replacement), at);
    return inner;
}

void Scene::SetLayerAttribute(Layer& layer, const LayerAttribute& a, double value) {
    if (a.flag != nullptr) {
        const bool on = value != 0;
        if (layer.*a.flag == on) return;
        if (a.flag == &LayerState::timeRemapEnabled) SetTimeRemapKeys(layer, on);
        if (a.flag == &LayerState::collapseTransformation && !CanSetCollapseTransformation(layer))
            throw ModelError(
                "Unable to set \"collapseTransformation\". It cannot be changed on "
                "this layer.");
        layer.*a.flag = on;
        if (a.flag == &LayerState::environmentLayer && on) layer.threeDLayer = true;
        auto where = Where(layer);
        where["change"] = "switch";
        where["switch"] = a.name;
        where["to"] = on;
        return Note(std::move(where));
    }
    if (!std::isfinite(value) || value != std::floor(value))
        throw ModelError(std::string("Unable to set \"") + a.name +
                         "\". Value is not a whole number.");
    if (value < a.min || value > a.max) ThrowAttributeRange(a.name, value, a.min, a.max);
    if (a.number == &LayerState::trackMatteType)
        LegacyTrackMatteType(layer, static_cast<int>(value));
    layer.*a.number = static_cast<int>(value);
    auto where = Where(layer);
    where["change"] = "layer attribute";
    where["attribute"] = a.name;
    where["to"] = value;
    Note(std::move(where));
}

void Scene::SetLayerComment(Layer& layer, const std::string& comment) {
    layer.comment = comment;
    auto where = Where(layer);
    where["change"] = "layer attribute";
    where["attribute"] = "comment";
    where["to"] = comment;
    Note(std::move(where));
}

void Scene::SetLayerTime(Layer& layer, LayerTime which, double value) {
    static constexpr const char* kNames[] = {"startTime", "inPoint", "outPoint", "stretch"};
    const char* name = kNames[static_cast<int>(which)];
    if (!std::isfinite(value))
        throw ModelError(std::string("Unable to set \"") + name + "\". Value is not a number.");
    double in = layer.inPoint, out = layer.outPoint, start = layer.startTime,
           stretch = layer.stretch;
    if (which == LayerTime::Stretch) {
        if (value < -9900 || value > 9900) ThrowAttributeRange(name, value, -9900, 9900);
        if (value == 0) throw ModelError("Unable to set \"stretch\". Value 0 is not allowed.");
        stretch = value > 0 ? std::max(1.0, value) : std::min(-1.0, value);
        // The in and out points keep their place relative to the start, scaled.
        const double a = start + (in - start) * stretch / layer.stretch,
                     b = start + (out - start) * stretch / layer.stretch;
        in = std::min(a, b);
        out = std::max(a, b);
    } else {
        if (value < -kThreeHours || value > kThreeHours)
            ThrowAttributeRange(name, value, -kThreeHours, kThreeHours);
        if (which == LayerTime::Start) {
            in += value - start;
            out += value - start;
            start = value;
        } else if (which == LayerTime::In) {
            if (value >= out)
                throw ModelError("Unable to set \"inPoint\". Value " + FormatNumber(value) +
                                 " is not before the out point " + FormatNumber(out) + ".");
            in = value;
        } else {
            if (value <= in)
                throw ModelError("Unable to set \"outPoint\". Value " + FormatNumber(value) +
                                 " is not after the in point " + FormatNumber(in) + ".");
            out = value;
        }
        // A composition shown in a layer has an end: the layer cannot be trimmed past it.
        const Item* source = FindItem(layer.sourceId);
        if (source != nullptr && source->comp && which != LayerTime::Start) {
            const double a = start, b = start + source->comp->duration * stretch / 100;
            const double lo = std::min(a, b), hi = std::max(a, b);
            if (value < lo - 1e-9 || value > hi + 1e-9) ThrowAttributeRange(name, value, lo, hi);
        }
    }
    layer.inPoint = in;
    layer.outPoint = out;
    layer.startTime = start;
    layer.stretch = stretch;
    auto where = Where(layer);
    where["change"] = "layer time";
    where["attribute"] = name;
    where["to"] = which == LayerTime::Stretch ? stretch : value;
    Note(std::move(where));
}

void Scene::SetParent(Layer& child, Layer* parent, bool jump) {
    const std::string method = jump ? "setParentWithJump" : "";
    const auto refuse = [&](const std::string& problem) {
        if (jump) ThrowParameter(method, 1, problem);
        throw ModelError("Unable to set \"parent\". " + problem);
    };
    if (parent != nullptr) {
        if (parent->comp != child.comp) refuse("The layer is not in the same composition.");
        if (parent == &child) refuse("A layer cannot be its own parent.");
        if (parent->IsOrDescendsFrom(child))
            refuse("A layer cannot be parented to one of its own children.");
    }
    if (child.parentLayer == parent) return;
    if (!jump) {
        const double t = child.comp->time;
        const Affine q = World(parent, t).Inverse() * World(child.parentLayer, t);
        for (const char* matchName : {"ADBE Position", "ADBE Scale", "ADBE Rotate Z"})
            Offset(static_cast<Property*>(child.Transform().Find(matchName)), q);
    }
    child.parentLayer = parent;
    auto where = Where(child);
    where["change"] = "parent";
    where["to"] = parent ? nlohmann::json(parent->comp->IndexOf(*parent)) : nlohmann::json();
    where["jump"] = jump;
    Note(std::move(where));
}

void Scene::SetSourceText(Layer& layer, const TextDocument& doc) {
    Property* property = layer.SourceText();
    if (property == nullptr) ThrowInvalid();
    layer.text = doc;
    if (!layer.nameSet) layer.name = NameFromText(doc.text);
    auto where = Where(*property);
    where["change"] = "value";
    where["value"] = doc.text;
    Note(std::move(where));
}

void Scene::SetEffectEnabled(Node& node, bool on) {
    if (node.Kind() != NodeKind::Group || !static_cast<PropertyGroup&>(node).isEffect)
        throw ModelError("Unable to set \"enabled\". It is read-only.");
    auto& effect = static_cast<PropertyGroup&>(node);
    if (effect.enabled == on) return;
    effect.enabled = on;
    auto where = Where(effect);
    where["change"] = "switch";
    where["switch"] = "enabled";
    where["to"] = on;
    Note(std::move(where));
}

}  // namespace hostsim::model

namespace hostsim::model {

// ---- Layer space: source points to the composition and back ----------------------------

namespace {

// The layer's map from its source to the composition; refused where the model has no 2D one.
Affine SourceToComp(const Layer& layer, const Value& point, const char* method) {
    if (point.size() < 2 || point.size() > 3 || !std::isfinite(point[0]) ||
        !std::isfinite(point[1]))
        ThrowParameter(method, 1, "Array of 2 numbers expected.");
    for (const Layer* at = &layer; at != nullptr; at = at->parentLayer)
        if (!at->IsAV() || at->threeDLayer || at->autoOrient != kNoAutoOrient)
            throw ModelError("\"" + std::string(method) +
                             "\" is not modelled by the simulated host for 3D or auto-oriented "
                             "layers");
    return World(&layer, layer.comp->time);
}

}  // namespace

Value Scene::SourcePointToComp(const Layer& layer, const Value& point) const {
    const Affine m = SourceToComp(layer, point, "sourcePointToComp");
    return {m.a * point[0] + m.c * point[1] + m.tx, m.b * point[0] + m.d * point[1] + m.ty};
}

Value Scene::CompPointToSource(const Layer& layer, const Value& point) const {
    const Affine m = SourceToComp(layer, point, "compPointToSource");
    if (std::abs(m.a * m.d - m.b * m.c) < 1e-12)
        ThrowCall("compPointToSource", "the layer is scaled to nothing");
    const Affine inv = m.Inverse();
    return {inv.a * point[0] + inv.c * point[1] + inv.tx,
            inv.b * point[0] + inv.d * point[1] + inv.ty};
}

}  // namespace hostsim::model
