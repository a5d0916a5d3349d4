#include "Scene.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "ModelError.h"

namespace hostsim::model {
namespace {

nlohmann::json ValueJson(const Value& v) {
    return v.size() == 1 ? nlohmann::json(v[0]) : nlohmann::json(v);
}

const char* SwitchName(Switch which) {
    switch (which) {
        case Switch::Enabled:
            return "enabled";
        case Switch::Solo:
            return "solo";
        case Switch::Shy:
            return "shy";
        case Switch::Locked:
            return "locked";
        case Switch::Selected:
            return "selected";
    }
    return "";
}

void RequireRange(const char* method, int parameter, double v, double min, double max) {
    if (!std::isfinite(v)) ThrowParameter(method, parameter, "Value is not a finite number.");
    if (v < min || v > max) ThrowParameterRange(method, parameter, v, min, max);
}

}  // namespace

Scene::Scene(std::vector<EffectDef> effects) : effects_(std::move(effects)) {}

Item* Scene::FindItem(std::int32_t id) const {
    for (const auto& item : items_)
        if (item->id == id) return item.get();
    return nullptr;
}

Item& Scene::RequireItem(std::int32_t id) const {
    Item* item = FindItem(id);
    if (item == nullptr) ThrowInvalid();
    return *item;
}

Comp& Scene::RequireComp(std::int32_t id) const {
    Item& item = RequireItem(id);
    if (!item.comp) ThrowInvalid();
    return *item.comp;
}

Item& Scene::AppendItem(std::int32_t id, std::string name, ItemType type, std::int32_t parentId) {
    auto item = std::make_unique<Item>();
    item->id = id;
    item->name = std::move(name);
    item->type = type;
    item->parentId = parentId;
    items_.push_back(std::move(item));
    return *items_.back();
}

// One past the largest id; once an item holds the largest 32-bit id, the smallest positive id
// no item holds, so that ids stay unique (0 stays "none").
std::int32_t Scene::NextId() const {
    std::int32_t largest = 0;
    for (const auto& item : items_) largest = std::max(largest, item->id);
    if (largest < std::numeric_limits<std::int32_t>::max()) return largest + 1;
    std::vector<std::int32_t> ids;
    for (const auto& item : items_)
        if (item->id > 0) ids.push_back(item->id);
    std::sort(ids.begin(), ids.end());
    std::int32_t free = 1;
    for (const std::int32_t id : ids) {
        if (id > free) break;
        if (id == free) ++free;
    }
    return free;
}

std::int32_t Scene::ActiveItemId() const {
    if (viewerComp != 0 && viewerActive && FindItem(viewerComp)) return viewerComp;
    std::int32_t only = 0;
    for (const auto& item : items_)
        if (item->selected) {
            if (only != 0) return 0;
            only = item->id;
        }
    return only;
}

// ---- References --------------------------------------------------------------------------

Node* Scene::Resolve(std::uint64_t handle) const {
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

Node& Scene::Require(std::uint64_t handle) const {
    Node* node = Resolve(handle);
    if (node == nullptr) ThrowInvalid();
    return *node;
}

Layer& Scene::RequireLayer(std::uint64_t handle) const {
    Node& node = Require(handle);
    if (node.Kind() != NodeKind::Layer) ThrowInvalid();
    return static_cast<Layer&>(node);
}

Property& Scene::RequireProperty(std::uint64_t handle) const {
    Node& node = Require(handle);
    if (node.Kind() != NodeKind::Property) ThrowInvalid();
    return static_cast<Property&>(node);
}

PropertyGroup& Scene::RequireGroup(std::uint64_t handle) const {
    Node& node = Require(handle);
    if (node.Kind() == NodeKind::Property) ThrowInvalid();
    return static_cast<PropertyGroup&>(node);
}

Layer& Scene::LayerOf(const Node& node) const {
    const Node* at = &node;
    while (at->parent != nullptr) at = at->ParentNode();
    return const_cast<Layer&>(static_cast<const Layer&>(*at));
}

void Scene::Register(Node& node) {
    if (node.handle != 0) handles_.erase(node.handle);
    node.handle = nextHandle_++;
    handles_[node.handle] = &node;
    if (node.Kind() != NodeKind::Property)
        for (auto& child : static_cast<PropertyGroup&>(node).children) Register(*child);
}

void Scene::Unregister(Node& node) {
    handles_.erase(node.handle);
    node.handle = 0;
    if (node.Kind() != NodeKind::Property)
        for (auto& child : static_cast<PropertyGroup&>(node).children) Unregister(*child);
}

std::string Scene::PathOf(const Node& node) {
    std::string path;
    for (const Node* at = &node; at->parent != nullptr; at = at->ParentNode())
        path = at->matchName + (path.empty() ? "" : "/") + path;
    return path;
}

// ---- Changes -----------------------------------------------------------------------------

void Scene::Note(nlohmann::json detail) { changes_.push_back({std::move(detail)}); }

std::vector<Change> Scene::TakeChanges() { return std::exchange(changes_, {}); }

nlohmann::json Scene::Where(const Node& node) const {
    const Layer& layer = LayerOf(node);
    nlohmann::json where = {{"comp", layer.comp->id}, {"layer", layer.comp->IndexOf(layer)}};
    if (&node != &layer) where["property"] = PathOf(node);
    return where;
}

void Scene::SetItemName(std::int32_t id, const std::string& name) {
    RequireItem(id).name = name;
    Note({{"change", "item name"}, {"item", id}, {"name", name}});
}

void Scene::SetItemSelected(std::int32_t id, bool selected) {
    Item& item = RequireItem(id);
    if (item.selected == selected) return;
    item.selected = selected;
    if (selected)
        aegpActiveId = id;
    else if (aegpActiveId == id)
        aegpActiveId = 0;
    Note({{"change", "item selected"}, {"item", id}, {"to", selected}});
}

void Scene::SelectOnly(std::int32_t id) {
    RequireItem(id);
    for (auto& item : items_) item->selected = item->id == id;
    aegpActiveId = id;
    viewerActive = false;  // the Project panel has the focus now
}

std::int32_t Scene::AddComp(const std::string& name, const CompSetup& setup,
                            std::int32_t parentId) {
    RequireRange("addComp", 2, setup.width, 4, 30000);
    RequireRange("addComp", 3, setup.height, 4, 30000);
    RequireRange("addComp", 4, setup.pixelAspect, 0.01, 100);
    RequireRange("addComp", 5, setup.duration, 1.0 / 1000, 10800);
    RequireRange("addComp", 6, setup.frameRate, 1, 999);
    const std::int32_t id = NextId();
    AppendItem(id, name, ItemType::Comp, parentId).comp = std::make_unique<Comp>(id, setup);
    Note({{"change", "item added"}, {"item", id}, {"type", "composition"}, {"name", name}});
    return id;
}

std::int32_t Scene::AddFolder(const std::string& name) {
    const std::int32_t id = NextId();
    AppendItem(id, name, ItemType::Folder, 0);
    Note({{"change", "item added"}, {"item", id}, {"type", "folder"}, {"name", name}});
    return id;
}

void Scene::SetTime(Comp& comp, double t, const char* by) {
    const double from = comp.time;
    comp.SetTime(t);
    Note({{"change", "time"}, {"comp", comp.id}, {"from", from}, {"to", comp.time}, {"by", by}});
}

void Scene::StepFrames(Comp& comp, int step) { SetTime(comp, comp.StepFrames(step), "command"); }

void Scene::SetHideShy(Comp& comp, bool hide) {
    comp.hideShyLayers = hide;
    Note({{"change", "hideShyLayers"}, {"comp", comp.id}, {"to", hide}});
}

void Scene::OpenInViewer(Comp& comp) {
    viewerComp = comp.id;
    viewerActive = true;
    Note({{"change", "viewer"}, {"comp", comp.id}});
}

void Scene::SetViewerActive() {
    if (viewerComp == 0) ThrowInvalid();
    viewerActive = true;
    Note({{"change", "viewer"}, {"comp", viewerComp}});
}

Layer& Scene::AddLayer(Comp& comp, const std::string& name, double width, double height,
                       std::int32_t sourceId, bool isNull, double duration) {
    auto layer = std::make_unique<Layer>(name, comp, width, height);
    layer->sourceId = sourceId;
    layer->isNull = isNull;
    layer->nameSet = sourceId == 0;  // a layer of an item takes its name
    layer->outPoint = std::min(comp.duration, duration);
    Register(*layer);
    comp.layers.insert(comp.layers.begin(), std::move(layer));
    Note({{"change", "layer added"}, {"comp", comp.id}, {"layer", 1}, {"name", name}});
    return *comp.layers.front();
}

Layer& Scene::AddSolid(Comp& comp, const Value& color, const std::string& name, double width,
                       double height, double pixelAspect, double duration) {
    if (color.size() != 3) ThrowParameter("addSolid", 1, "Array of 3 numbers expected.");
    for (double c : color) RequireRange("addSolid", 1, c, 0, 1);
    RequireRange("addSolid", 3, width, 1, 30000);
    RequireRange("addSolid", 4, height, 1, 30000);
    RequireRange("addSolid", 5, pixelAspect, 0.01, 100);
    RequireRange("addSolid", 6, duration, 0, 10800);
    std::int32_t folder = 0;
    for (const auto& item : items_)
        if (item->type == ItemType::Folder && item->name == "Solids" && item->parentId == 0)
            folder = item->id;
    if (folder == 0) folder = AddFolder("Solids");
    const std::int32_t id = NextId();
    AppendItem(id, name, ItemType::Solid, folder);
    Note({{"change", "item added"}, {"item", id}, {"type", "solid"}, {"name", name}});
    return AddLayer(comp, name, width, height, id, false, duration);
}

Layer& Scene::AddNull(Comp& comp, double duration) {
    RequireRange("addNull", 1, duration, 0, 10800);
    int number = 1;
    for (const auto& item : items_)
        if (item->type == ItemType::Solid && item->name.rfind("Null ", 0) == 0) ++number;
    const std::string name = "Null " + std::to_string(number);
    Layer& layer = AddSolid(comp, {1, 1, 1}, name, 100, 100, 1, duration);
    layer.isNull = true;
    return layer;
}

void Scene::RemoveLayer(Layer& layer) {
    Comp& comp = *layer.comp;
    const int index = comp.IndexOf(layer);
    for (auto& other : comp.layers)
        if (other->parentLayer == &layer) other->parentLayer = nullptr;
    Unregister(layer);
    comp.layers.erase(comp.layers.begin() + (index - 1));
    Note({{"change", "layer removed"}, {"comp", comp.id}, {"layer", index}});
}

void Scene::MoveLayer(Layer& layer, LayerMove how, const Layer* target) {
    static constexpr const char* kMethods[] = {"moveBefore", "moveAfter", "moveToBeginning",
                                               "moveToEnd"};
    const char* method = kMethods[static_cast<int>(how)];
    Comp& comp = *layer.comp;
    const int from = comp.IndexOf(layer);
    int to = how == LayerMove::ToBeginning ? 1 : comp.NumLayers();
    if (how == LayerMove::Before || how == LayerMove::After) {
        if (target == nullptr || target->comp != &comp)
            ThrowParameter(method, 1, "The layer is not in the same composition.");
        if (target == &layer)
            ThrowParameter(method, 1, "A layer cannot be moved relative to itself.");
        const int at = comp.IndexOf(*target);
        const int below = how == LayerMove::Before ? at : at + 1;  // as if not yet taken out
        to = from < below ? below - 1 : below;
    }
    if (to == from) return;
    comp.Restack(layer, to);
    Note({{"change", "layer moved"}, {"comp", comp.id}, {"layer", from}, {"to", to}});
}

void Scene::SetLayerName(Layer& layer, const std::string& name) {
    layer.name = name;
    layer.nameSet = true;
    auto where = Where(layer);
    where["change"] = "layer name";
    where["name"] = name;
    Note(std::move(where));
}

void Scene::SetSwitch(Layer& layer, Switch which, bool on) {
    bool* field = which == Switch::Enabled  ? &layer.enabled
                  : which == Switch::Solo   ? &layer.solo
                  : which == Switch::Shy    ? &layer.shy
                  : which == Switch::Locked ? &layer.locked
                                            : &layer.selected;
    if (*field == on) return;
    *field = on;
    auto where = Where(layer);
    where["change"] = "switch";
    where["switch"] = SwitchName(which);
    where["to"] = on;
    Note(std::move(where));
}

void Scene::SelectAllLayers(Comp& comp, bool on) {
    for (auto& layer : comp.layers) SetSwitch(*layer, Switch::Selected, on);
}

void Scene::SetPropertySelected(Node& node, bool on) {
    if (node.selected == on) return;
    node.selected = on;
    auto where = Where(node);
    where["change"] = "property selected";
    where["to"] = on;
    Note(std::move(where));
}

void Scene::SetValue(Property& p, const Value& v) {
    p.SetValue(v);
    auto where = Where(p);
    where["change"] = "value";
    where["value"] = ValueJson(p.ValueAt(0));
    Note(std::move(where));
}

void Scene::SetValueAtTime(Property& p, double t, const Value& v) {
    const int index = p.SetValueAtTime(t, v);
    auto where = Where(p);
    where["change"] = "key set";
    where["time"] = t;
    where["value"] = ValueJson(p.KeyValue(index));
    Note(std::move(where));
}

int Scene::AddKey(Property& p, double t) {
    const int index = p.AddKey(t);
    auto where = Where(p);
    where["change"] = "key added";
    where["time"] = t;
    where["value"] = ValueJson(p.KeyValue(index));
    Note(std::move(where));
    return index;
}

void Scene::RemoveKey(Property& p, int index) {
    const double t = p.KeyTime(index, "removeKey");
    p.RemoveKey(index);
    auto where = Where(p);
    where["change"] = "key removed";
    where["time"] = t;
    Note(std::move(where));
}

void Scene::SetKeySelected(Property& p, int index, bool on) {
    if (!p.SetKeySelected(index, on)) return;
    auto where = Where(p);
    where["change"] = "key selected";
    where["key"] = index;
    where["time"] = p.KeyTime(index);
    where["to"] = on;
    Note(std::move(where));
}

const EffectDef* Scene::FindEffect(const std::string& name) const {
    for (const auto& e : effects_)
        if (e.matchName == name) return &e;
    for (const auto& e : effects_)
        if (e.displayName == name) return &e;
    return nullptr;
}

PropertyGroup& Scene::AddEffect(PropertyGroup& parade, const std::string& name) {
    if (parade.matchName != "ADBE Effect Parade")
        ThrowCall("addProperty", "\"" + name + "\" cannot be added to \"" + parade.name + "\"");
    const EffectDef* def = FindEffect(name);
    if (def == nullptr)
        ThrowParameter("addProperty", 1,
                       "\"" + name + "\" is not the name of an installed effect.");
    // A second instance is named as the host names it: "Glow 2".
    std::string display = def->displayName;
    for (int n = 2; parade.Find(display) != nullptr; ++n)
        display = def->displayName + " " + std::to_string(n);
    auto effect = std::make_unique<PropertyGroup>(display, def->matchName, true);
    for (const auto& setup : def->params) effect->Add(std::make_unique<Property>(setup));
    for (auto& sibling : parade.children) Register(*sibling);  // earlier references go
    auto& added = static_cast<PropertyGroup&>(parade.Add(std::move(effect)));
    Register(added);
    auto where = Where(added);
    where["change"] = "effect added";
    where["name"] = display;
    Note(std::move(where));
    return added;
}

void Scene::RemoveEffect(PropertyGroup& effect) {
    if (!effect.isEffect) ThrowCall("remove", "this property group cannot be removed");
    auto where = Where(effect);
    PropertyGroup& parade = *effect.parent;
    Unregister(effect);
    std::erase_if(parade.children, [&](const auto& child) { return child.get() == &effect; });
    for (auto& sibling : parade.children) Register(*sibling);
    where["change"] = "effect removed";
    Note(std::move(where));
}

// ---- Undo groups ---------------------------------------------------------------------------

void Scene::BeginUndoGroup(const std::string& name) {
    if (undoDepth_++ > 0) return;  // an inner group's name is not used
    undoName_ = name;
    Note({{"change", "undo group opened"}, {"name", name}});
}

void Scene::EndUndoGroup() {
    if (undoDepth_ == 0) ThrowCall("endUndoGroup", "no undo group is open");
    if (--undoDepth_ > 0) return;
    Note({{"change", "undo group closed"}, {"name", undoName_}});
}

void Scene::EndScript() {
    if (undoDepth_ == 0) return;
    undoDepth_ = 1;
    EndUndoGroup();
}

}  // namespace hostsim::model
