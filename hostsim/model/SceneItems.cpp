// The Scene's item functions: compositions copied, layers of items, guides, proxies and
// footage (imported, replaced), and what a footage item or a proxy answers by name.
#include <cmath>
#include <set>

#include "ModelError.h"
#include "Scene.h"

namespace hostsim::model {
namespace {

using nlohmann::json;

void InRange(const char* method, int parameter, double v, double min, double max) {
    if (!std::isfinite(v)) ThrowParameter(method, parameter, "Value is not a finite number.");
    if (v < min || v > max) ThrowParameterRange(method, parameter, v, min, max);
}

// The host's ranges of a placeholder's (name, width, height, frameRate, duration) and a
// solid's (color, name, width, height, pixelAspect) arguments.
void CheckSetup(const FootageSetup& setup, const char* method) {
    if (setup.kind == SourceKind::Placeholder) {
        InRange(method, 2, setup.width, kMinCompSize, kMaxCompSize);
        InRange(method, 3, setup.height, kMinCompSize, kMaxCompSize);
        InRange(method, 4, setup.frameRate, 1, kMaxFootageFrameRate);
        InRange(method, 5, setup.duration, 0, kMaxFootageDuration);
    } else if (setup.kind == SourceKind::Solid) {
        if (!setup.color.is_array() || setup.color.size() != 3)
            ThrowParameter(method, 1, "Array of 3 numbers expected.");
        for (const auto& c : setup.color) {
            if (!c.is_number()) ThrowParameter(method, 1, "Array of 3 numbers expected.");
            InRange(method, 1, c.get<double>(), 0, 1);
        }
        InRange(method, 3, setup.width, kMinSolidSize, kMaxSolidSize);
        InRange(method, 4, setup.height, kMinSolidSize, kMaxSolidSize);
        InRange(method, 5, setup.pixelAspect, kMinPixelAspect, kMaxPixelAspect);
    } else if (setup.path.empty() || !(setup.width > 0 && setup.height > 0)) {
        ThrowParameter(method, 1, "Value is not a readable file.");
    }
}

const char* KindName(SourceKind kind) {
    return kind == SourceKind::File ? "file" : kind == SourceKind::Solid ? "solid" : "placeholder";
}

// Whether the composition `from` shows `target`, directly or through compositions inside it.
bool Reaches(const Scene& scene, const Comp& from, std::int32_t target,
             std::set<std::int32_t>& seen) {
    if (!seen.insert(from.id).second) return false;
    for (const auto& layer : from.layers) {
        if (layer->sourceId == target) return true;
        const Item* inner = scene.FindItem(layer->sourceId);
        if (inner && inner->comp && Reaches(scene, *inner->comp, target, seen)) return true;
    }
    return false;
}

Item& FootageOf(const Scene& scene, std::int32_t id) {
    Item& item = scene.RequireItem(id);
    if (item.type != ItemType::Footage && item.type != ItemType::Solid) ThrowInvalid();
    return item;
}

Item& AVItemOf(const Scene& scene, std::int32_t id) {
    Item& item = scene.RequireItem(id);
    if (item.type == ItemType::Folder) ThrowInvalid();
    return item;
}

Guide& GuideAt(Item& item, int index, const char* method, int parameter) {
    const int n = static_cast<int>(item.guides.size());
    if (n == 0) ThrowParameter(method, parameter, "The item has no guides.");
    if (index < 0 || index >= n) ThrowParameterRange(method, parameter, index, 0, n - 1);
    return item.guides[static_cast<std::size_t>(index)];
}

json SetupAttribute(const FootageSetup& setup, const Settings& source, std::string_view name) {
    const bool still = setup.kind == SourceKind::Solid || setup.frameRate == 0;
    if (name == "file") return setup.kind == SourceKind::File ? json(setup.path) : json(nullptr);
    if (name == "isStill") return still;
    if (name == "hasAlpha") return setup.hasAlpha;
    if (name == "nativeFrameRate") return setup.frameRate;
    if (name == "displayFrameRate") {
        const double conform = source.Get("conformFrameRate").get<double>();
        return still ? 0.0 : conform > 0 ? conform : setup.frameRate;
    }
    // A file's absence is the file system's to tell: null here, the script half looks.
    if (name == "footageMissing")
        return setup.kind == SourceKind::File ? json(nullptr)
                                              : json(setup.kind == SourceKind::Placeholder);
    if (name == "color" && setup.kind != SourceKind::Solid)
        throw ModelError("\"color\" is not modelled by the simulated host");
    return source.Get(name);
}

}  // namespace

void ApplyFootage(Item& item, const FootageSetup& setup) {
    item.type = setup.kind == SourceKind::Solid ? ItemType::Solid : ItemType::Footage;
    item.mainKind = setup.kind;
    if (!setup.name.empty()) item.name = setup.name;
    item.width = setup.width;
    item.height = setup.height;
    item.pixelAspect = setup.pixelAspect;
    item.path = setup.kind == SourceKind::File ? setup.path : "";
    item.sequence = setup.sequence;
    item.hasAudio = setup.hasAudio;
    item.hasAlpha = setup.hasAlpha;
    item.frameRate = setup.kind == SourceKind::Solid ? 0 : setup.frameRate;
    item.duration = setup.kind == SourceKind::Solid ? 0 : setup.duration;
    item.time = 0;
    if (setup.kind == SourceKind::Solid) item.source.Set("color", setup.color);
}

json FootageAttribute(const Item& item, std::string_view name, bool proxy) {
    if (proxy) {
        if (!item.proxy) ThrowInvalid();
        return SetupAttribute(item.proxy->setup, item.proxy->source, name);
    }
    FootageSetup setup;
    setup.kind = item.type == ItemType::Solid ? SourceKind::Solid : item.mainKind;
    setup.path = item.path;
    setup.frameRate = item.frameRate;
    setup.hasAlpha = item.hasAlpha;
    const bool still = setup.kind == SourceKind::Solid || item.frameRate == 0;
    if (name == "width") return item.width;
    if (name == "height") return item.height;
    if (name == "pixelAspect") return item.pixelAspect;
    if (name == "duration") return item.duration;
    if (name == "time") return item.time;
    if (name == "hasVideo") return true;
    if (name == "hasAudio") return item.hasAudio;
    if (name == "useProxy") return item.useProxy;
    if (name == "frameRate" || name == "frameDuration") {
        // A still's frame rate is the composition's it is used in: not modelled.
        if (still)
            throw ModelError("\"" + std::string(name) + "\" is not modelled by the simulated host");
        const double rate = SetupAttribute(setup, item.source, "displayFrameRate").get<double>();
        return name == "frameRate" ? rate : 1 / rate;
    }
    return SetupAttribute(setup, item.source, name);
}

std::int32_t Scene::DuplicateComp(Comp& comp) {
    const Item& from = RequireItem(comp.id);
    const std::int32_t id = NextId();
    const CompSetup setup{comp.width, comp.height, comp.pixelAspect, comp.duration, comp.frameRate};
    auto copy = std::make_unique<Comp>(id, setup);
    copy->time = comp.time;
    copy->workAreaStart = comp.workAreaStart;
    copy->workAreaDuration = comp.workAreaDuration;
    copy->hideShyLayers = comp.hideShyLayers;
    copy->displayStartTime = comp.displayStartTime;
    copy->settings = comp.settings;
    copy->markers = comp.markers;
    for (const auto& layer : comp.layers)
        copy->layers.push_back(std::make_unique<Layer>(*layer, *copy));
    // Parents point at the copies of the original's parents.
    for (std::size_t i = 0; i < comp.layers.size(); ++i)
        if (const Layer* parent = comp.layers[i]->parentLayer)
            copy->layers[i]->parentLayer =
                copy->layers[static_cast<std::size_t>(comp.IndexOf(*parent) - 1)].get();
    Item& item = AppendItem(id,
                            NextNumberedName(from.name,
                                             [&](const std::string& n) {
                                                 for (const auto& item : items_)
                                                     if (item->name == n) return true;
                                                 return false;
                                             }),
                            ItemType::Comp, from.parentId);
    item.settings = from.settings;
    item.guides = from.guides;
    for (auto& layer : copy->layers) Register(*layer);
    item.comp = std::move(copy);
    Note({{"change", "item added"},
          {"item", id},
          {"type", "composition"},
          {"name", item.name},
          {"from", comp.id}});
    return id;
}

Layer& Scene::AddItemLayer(Comp& comp, std::int32_t itemId, std::optional<double> duration) {
    const Item* item = FindItem(itemId);
    if (item == nullptr || item->type == ItemType::Folder)
        ThrowParameter("add", 1, "Value is not an AVItem.");
    if (duration) InRange("add", 2, *duration, 0, kMaxFootageDuration);
    double width = item->width, height = item->height, length = item->duration;
    if (item->comp) {
        if (item->comp.get() == &comp)
            ThrowParameter("add", 1, "A composition cannot be added to itself.");
        std::set<std::int32_t> seen;
        if (Reaches(*this, *item->comp, comp.id, seen))
            ThrowParameter("add", 1, "The composition contains this one.");
        width = item->comp->width, height = item->comp->height, length = item->comp->duration;
    } else if (item->type == ItemType::Solid || item->frameRate == 0) {
        length = duration.value_or(comp.duration);  // a still lasts as long as asked
    }
    return AddLayer(comp, item->name, width, height, itemId, false, length);
}

int Scene::AddGuide(std::int32_t id, double orientation, double position) {
    Item& item = AVItemOf(*this, id);
    if (orientation != 0 && orientation != 1)
        ThrowParameter("addGuide", 1, "Value is not 0 (horizontal) or 1 (vertical).");
    InRange("addGuide", 2, position, -kMaxGuide, kMaxGuide);
    item.guides.push_back({static_cast<int>(orientation), position});
    const int index = static_cast<int>(item.guides.size()) - 1;
    Note({{"change", "guide added"},
          {"item", id},
          {"guide", index},
          {"orientation", orientation},
          {"position", position}});
    return index;
}

void Scene::RemoveGuide(std::int32_t id, int index) {
    Item& item = AVItemOf(*this, id);
    GuideAt(item, index, "removeGuide", 1);
    item.guides.erase(item.guides.begin() + index);
    Note({{"change", "guide removed"}, {"item", id}, {"guide", index}});
}

void Scene::SetGuide(std::int32_t id, double position, int index) {
    Item& item = AVItemOf(*this, id);
    InRange("setGuide", 1, position, -kMaxGuide, kMaxGuide);
    GuideAt(item, index, "setGuide", 2).position = position;
    Note({{"change", "guide moved"}, {"item", id}, {"guide", index}, {"position", position}});
}

void Scene::SetProxy(std::int32_t id, const FootageSetup& setup, const char* method) {
    Item& item = AVItemOf(*this, id);
    CheckSetup(setup, method);
    auto proxy = std::make_unique<Proxy>();
    proxy->setup = setup;
    if (setup.kind == SourceKind::Solid) proxy->source.Set("color", setup.color);
    item.proxy = std::move(proxy);
    item.useProxy = true;
    Note({{"change", "proxy"},
          {"item", id},
          {"source", KindName(setup.kind)},
          {"name", setup.name}});
}

void Scene::SetProxyToNone(std::int32_t id) {
    Item& item = AVItemOf(*this, id);
    item.proxy.reset();
    item.useProxy = false;
    Note({{"change", "proxy"}, {"item", id}, {"source", nullptr}});
}

void Scene::SetUseProxy(std::int32_t id, bool on) {
    Item& item = AVItemOf(*this, id);
    if (on && !item.proxy) throw ModelError("Unable to set \"useProxy\". The item has no proxy.");
    if (item.useProxy == on) return;
    item.useProxy = on;
    Note({{"change", "item"}, {"item", id}, {"attribute", "useProxy"}, {"to", on}});
}

std::int32_t Scene::ImportFootage(const FootageSetup& setup, const char* method) {
    CheckSetup(setup, method);
    const std::int32_t id = NextId();
    ApplyFootage(AppendItem(id, setup.name, ItemType::Footage, 0), setup);
    Note({{"change", "item added"},
          {"item", id},
          {"type", KindName(setup.kind)},
          {"name", setup.name},
          {"file", setup.path}});
    return id;
}

void Scene::ReplaceFootage(std::int32_t id, const FootageSetup& setup, const char* method) {
    Item& item = FootageOf(*this, id);
    CheckSetup(setup, method);
    ApplyFootage(item, setup);
    // The layers showing it take its new size.
    for (const auto& other : items_)
        if (other->comp)
            for (auto& layer : other->comp->layers)
                if (layer->sourceId == id) layer->width = setup.width, layer->height = setup.height;
    Note({{"change", "footage replaced"},
          {"item", id},
          {"source", KindName(setup.kind)},
          {"name", item.name},
          {"file", item.path}});
}

void Scene::SetFootageTime(std::int32_t id, double t) {
    Item& item = FootageOf(*this, id);
    if (item.type == ItemType::Solid || item.frameRate == 0)
        throw ModelError("Unable to set \"time\". The footage is still.");
    if (!std::isfinite(t)) throw ModelError("Unable to set \"time\". Value is not a number.");
    if (t < 0 || t > item.duration) ThrowAttributeRange("time", t, 0, item.duration);
    item.time = t;
    Note({{"change", "item"}, {"item", id}, {"attribute", "time"}, {"to", t}});
}

}  // namespace hostsim::model
