// The Scene's functions for what ties a layer to others and to its source: track mattes, an
// environment light's source layer, time remapping, the source's rectangle, replacing the
// source, and a position's separated dimensions. Each checks first, then changes and notes.
// Main thread, or under the lock of the Scene's owner (the Project).
#include <cmath>
#include <set>

#include "ModelError.h"
#include "Scene.h"

namespace hostsim::model {
namespace {

constexpr int kLastTrackMatteType = 5016;

nlohmann::json IndexOrNull(const Layer* layer) {
    return layer ? nlohmann::json(layer->comp->IndexOf(*layer)) : nlohmann::json();
}

}  // namespace

// ---- Track mattes ---------------------------------------------------------------------

void Scene::SetTrackMatte(Layer& layer, Layer* matte, int type) {
    if (type < kNoTrackMatte || type > kLastTrackMatteType)
        ThrowParameterRange("setTrackMatte", 2, type, kNoTrackMatte, kLastTrackMatteType);
    if (matte != nullptr) {
        if (matte->comp != layer.comp)
            ThrowParameter("setTrackMatte", 1, "The layer is not in the same composition.");
        if (matte == &layer) ThrowParameter("setTrackMatte", 1, "A layer cannot matte itself.");
        if (!matte->IsAV()) ThrowParameter("setTrackMatte", 1, "Value is not an AV layer.");
        for (const Layer* at = matte; at != nullptr; at = at->trackMatteLayer)
            if (at == &layer)
                ThrowParameter("setTrackMatte", 1, "That layer is already matted by this one.");
        if (type == kNoTrackMatte) return;  // the guide: invalid, nothing happens
    }
    if (layer.trackMatteLayer == matte && layer.trackMatteType == type) return;
    layer.trackMatteLayer = matte;
    layer.trackMatteType = type;
    auto where = Where(layer);
    where["change"] = "track matte";
    where["matte"] = IndexOrNull(matte);
    where["type"] = type;
    Note(std::move(where));
}

void Scene::RemoveTrackMatte(Layer& layer) {
    if (layer.trackMatteLayer == nullptr) return;
    SetTrackMatte(layer, nullptr, layer.trackMatteType);
}

bool Scene::IsTrackMatte(const Layer& layer) const {
    for (const auto& other : layer.comp->layers)
        if (other->trackMatteLayer == &layer) return true;
    return false;
}

// Before the host had setTrackMatte, the layer above was the matte: the legacy type write
// takes it when the layer has none (the top layer has none to take); NO_TRACK_MATTE drops it.
void Scene::LegacyTrackMatteType(Layer& layer, int type) {
    if (type == kNoTrackMatte) {
        layer.trackMatteLayer = nullptr;
        return;
    }
    Layer* above = layer.comp->LayerAt(layer.comp->IndexOf(layer) - 1);
    if (layer.trackMatteLayer == nullptr && above != nullptr && above->IsAV() &&
        above->trackMatteLayer != &layer)
        layer.trackMatteLayer = above;
}

// ---- Links to other layers --------------------------------------------------------------

void Scene::ForgetLinksTo(const Layer& layer) {
    for (auto& other : layer.comp->layers) {
        if (other->trackMatteLayer == &layer) other->trackMatteLayer = nullptr;
        if (other->lightSource == &layer) other->lightSource = nullptr;
    }
}

void Scene::DropCrossCompLinks(Comp& comp) {
    for (auto& layer : comp.layers) {
        if (layer->trackMatteLayer && layer->trackMatteLayer->comp != &comp)
            layer->trackMatteLayer = nullptr;
        if (layer->lightSource && layer->lightSource->comp != &comp) layer->lightSource = nullptr;
    }
}

void Scene::SetLightSource(Layer& light, Layer* source) {
    if (source != nullptr && (source->comp != light.comp || !source->IsAV() || source->threeDLayer))
        throw ModelError("Invalid light source specified");
    if (light.lightSource == source) return;
    light.lightSource = source;
    auto where = Where(light);
    where["change"] = "light source";
    where["to"] = IndexOrNull(source);
    Note(std::move(where));
}

// ---- Time remapping and the source ------------------------------------------------------

bool Scene::CanSetTimeRemapEnabled(const Layer& layer) const {
    const Item* source = layer.layerKind == LayerKind::AV ? FindItem(layer.sourceId) : nullptr;
    return source != nullptr &&
           (source->type == ItemType::Comp || source->type == ItemType::Footage);
}

// Turning it on keys the source's own times at the in and out points, so that nothing moves;
// turning it off drops the keys.
void Scene::SetTimeRemapKeys(Layer& layer, bool on) {
    if (!CanSetTimeRemapEnabled(layer))
        throw ModelError("Unable to set \"timeRemapEnabled\". It cannot be changed on this layer.");
    Node* node = layer.Find("ADBE Time Remapping");
    if (node == nullptr || node->Kind() != NodeKind::Property) return;
    auto& remap = static_cast<Property&>(*node);
    const auto sourceTime = [&](double t) { return (t - layer.startTime) * 100 / layer.stretch; };
    remap.ResetValue({on ? sourceTime(layer.inPoint) : 0});
    if (!on) return;
    remap.SetValueAtTime(layer.inPoint, {sourceTime(layer.inPoint)});
    remap.SetValueAtTime(layer.outPoint, {sourceTime(layer.outPoint)});
}

// Compositions and text and shape layers, whose switch is the host's collapse or rasterize.
bool Scene::CanSetCollapseTransformation(const Layer& layer) const {
    if (layer.layerKind == LayerKind::Text || layer.layerKind == LayerKind::Shape) return true;
    const Item* source = layer.layerKind == LayerKind::AV ? FindItem(layer.sourceId) : nullptr;
    return source != nullptr && source->type == ItemType::Comp;
}

nlohmann::json Scene::SourceRectAtTime(const Layer& layer, double time) const {
    if (!std::isfinite(time)) ThrowParameter("sourceRectAtTime", 1, "Value is not a number.");
    if (layer.layerKind != LayerKind::AV)
        throw ModelError(
            "\"sourceRectAtTime\" is not modelled by the simulated host for text and shape layers");
    return {{"top", 0}, {"left", 0}, {"width", layer.width}, {"height", layer.height}};
}

void Scene::ReplaceSource(Layer& layer, std::int32_t itemId) {
    if (layer.layerKind != LayerKind::AV)
        ThrowCall("replaceSource", "the layer has no source to replace");
    const Item* item = FindItem(itemId);
    if (item == nullptr || item->type == ItemType::Folder)
        ThrowParameter("replaceSource", 1, "Value is not an AVItem.");
    if (item->comp) {  // a composition may not come to show itself
        std::set<const Comp*> seen;
        std::vector<const Comp*> todo = {item->comp.get()};
        while (!todo.empty()) {
            const Comp* at = todo.back();
            todo.pop_back();
            if (at == layer.comp)
                ThrowParameter("replaceSource", 1, "The composition would contain itself.");
            if (!seen.insert(at).second) continue;
            for (const auto& inner : at->layers)
                if (const Item* shown = FindItem(inner->sourceId); shown && shown->comp)
                    todo.push_back(shown->comp.get());
        }
    }
    layer.sourceId = itemId;
    layer.width = item->comp ? item->comp->width : item->width;
    layer.height = item->comp ? item->comp->height : item->height;
    if (!layer.nameSet) layer.name = item->name;
    auto where = Where(layer);
    where["change"] = "source";
    where["item"] = itemId;
    Note(std::move(where));
}

// No item of the model carries audio (hasAudio is false), so no layer's audio is active.
bool Scene::AudioActiveAtTime(const Layer& layer, double time) const {
    if (!std::isfinite(time)) ThrowParameter("audioActiveAtTime", 1, "Value is not a number.");
    const bool hasAudio = false;
    return hasAudio && layer.audioEnabled && layer.Active(time, layer.comp->AnySolo());
}

// ---- Separated dimensions ---------------------------------------------------------------

void Scene::SetDimensionsSeparated(Property& leader, bool on) {
    if (!leader.IsSeparationLeader() || leader.SeparationFollower(0) == nullptr)
        throw ModelError(
            "Unable to set \"dimensionsSeparated\". The property has no separate "
            "dimensions.");
    if (leader.dimensionsSeparated == on) return;
    const double now = LayerOf(leader).comp->time;
    if (on) {
        const Value value = leader.ValueAt(now);
        const std::vector<Keyframe> keys = leader.Keys();
        leader.dimensionsSeparated = true;
        for (int i = 0; i < 3; ++i) {
            Property& f = *leader.SeparationFollower(i);
            const auto d = static_cast<std::size_t>(i);
            f.ResetValue({value[d]});
            for (const auto& key : keys) f.SetValueAtTime(key.time, {key.value[d]});
        }
        leader.ResetValue(value);
    } else {
        std::set<double> times;
        for (int i = 0; i < 3; ++i)
            for (const auto& key : leader.SeparationFollower(i)->Keys()) times.insert(key.time);
        std::vector<std::pair<double, Value>> keys;
        keys.reserve(times.size());
        for (const double t : times) keys.emplace_back(t, leader.ValueAt(t));
        const Value value = leader.ValueAt(now);
        leader.dimensionsSeparated = false;
        leader.ResetValue(value);
        for (const auto& [t, v] : keys) leader.SetValueAtTime(t, v);
        for (int i = 0; i < 3; ++i)
            leader.SeparationFollower(i)->ResetValue({value[static_cast<std::size_t>(i)]});
    }
    auto where = Where(leader);
    where["change"] = "dimensions separated";
    where["to"] = on;
    Note(std::move(where));
}

}  // namespace hostsim::model
