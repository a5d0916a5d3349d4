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
    if (node.Kind() == NodeKind::Layer && static_cast<Layer&>(node).layerId == 0)
        static_cast<Layer&>(node).layerId = nextLayerId++;
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

void Scene::Note(nlohmann::json detail) {
    dirty = true;
    changes_.push_back({std::move(detail)});
}

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
    RequireRange("addComp", 2, setup.width, kMinCompSize, kMaxCompSize);
    RequireRange("addComp", 3, setup.height, kMinCompSize, kMaxCompSize);
    RequireRange("addComp", 4, setup.pixelAspect, kMinPixelAspect, kMaxPixelAspect);
    RequireRange("addComp", 5, setup.duration, kMinCompDuration, kMaxCompDuration);
    RequireRange("addComp", 6, setup.frameRate, kMinFrameRate, kMaxFrameRate);
    if (parentId != 0 && RequireItem(parentId).type != ItemType::Folder) ThrowInvalid();
    const std::int32_t id = NextId();
    AppendItem(id, name, ItemType::Comp, parentId).comp = std::make_unique<Comp>(id, setup);
    Note({{"change", "item added"}, {"item", id}, {"type", "composition"}, {"name", name}});
    return id;
}

std::int32_t Scene::AddFolder(const std::string& name, std::int32_t parentId) {
    if (parentId != 0 && RequireItem(parentId).type != ItemType::Folder) ThrowInvalid();
    const std::int32_t id = NextId();
    AppendItem(id, name, ItemType::Folder, parentId);
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
    RequireRange("addSolid", 3, width, kMinSolidSize, kMaxSolidSize);
    RequireRange("addSolid", 4, height, kMinSolidSize, kMaxSolidSize);
    RequireRange("addSolid", 5, pixelAspect, 0.01, 100);
    RequireRange("addSolid", 6, duration, 0, 10800);
    std::int32_t folder = 0;
    for (const auto& item : items_)
        if (item->type == ItemType::Folder && item->name == "Solids" && item->parentId == 0)
            folder = item->id;
    if (folder == 0) folder = AddFolder("Solids");
    const std::int32_t id = NextId();
    Item& solid = AppendItem(id, name, ItemType::Solid, folder);
    solid.width = width;
    solid.height = height;
    solid.pixelAspect = pixelAspect;
    solid.source.Set("color", color);
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
    ForgetLinksTo(layer);
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

// A key at a new time is "key added"; one at a key's time replaces that key: "key set".
void Scene::SetValueAtTime(Property& p, double t, const Value& v) {
    const int before = p.NumKeys();
    const int index = p.SetValueAtTime(t, v);
    auto where = Where(p);
    where["change"] = p.NumKeys() > before ? "key added" : "key set";
    where["time"] = t;
    where["value"] = ValueJson(p.KeyValue(index));
    Note(std::move(where));
}

int Scene::AddKey(Property& p, double t) {
    const int before = p.NumKeys();
    const int index = p.AddKey(t);
    auto where = Where(p);
    where["change"] = p.NumKeys() > before ? "key added" : "key set";
    where["time"] = t;
    where["value"] =
        p.IsShape() ? p.ShapeOf(p.KeyValue(index)).ToJson() : ValueJson(p.KeyValue(index));
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
    if (def->params)
        for (const auto& setup : *def->params) effect->Add(std::make_unique<Property>(setup));
    else
        effect->childrenModelled = false;
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

// ---- Items, folders and the project's settings ---------------------------------------------

namespace {

using nlohmann::json;

const SettingRule kItemRules[] = {
    {"comment", SettingKind::Text, "", 0, 15999},
    {"label", SettingKind::Integer, 0, 0, 16},
};

// A solid is still footage without alpha: what only moving footage has (conformFrameRate,
// fieldSeparationType, highQualityFieldSeparation, loop, removePulldown) is refused on write
// by SetSolidAttribute, as the host documents.
const SettingRule kSolidSourceRules[] = {
    {"color", SettingKind::Color, json::array({0, 0, 0})},
    {"alphaMode", SettingKind::Choice, 5413, 0, 0, {5412, 5413, 5414}},
    {"invertAlpha", SettingKind::Flag, false},
    {"premulColor", SettingKind::Color, json::array({0, 0, 0})},
    {"conformFrameRate", SettingKind::Number, 0, 0, 99},
    {"fieldSeparationType", SettingKind::Choice, 5613, 0, 0, {5612, 5613, 5614}},
    {"highQualityFieldSeparation", SettingKind::Flag, false},
    {"loop", SettingKind::Integer, 1, 1, 9999},
    {"removePulldown",
     SettingKind::Choice,
     5813,
     0,
     0,
     {5812, 5813, 5814, 5815, 5816, 5817, 5818, 5819, 5820, 5821, 5822}},
};

// The enumerations' values are the host's (TimeDisplayType.TIMECODE is 2012, ...). The host
// lists the installed colour profiles; three common ones stand for them here.
const SettingRule kProjectRules[] = {
    {"bitsPerChannel", SettingKind::Choice, 8, 0, 0, {8, 16, 32}},
    {"timeDisplayType", SettingKind::Choice, 2012, 0, 0, {2012, 2013}},
    {"framesCountType", SettingKind::Choice, 2612, 0, 0, {2612, 2613, 2614}},
    {"feetFramesFilmType", SettingKind::Choice, 2413, 0, 0, {2412, 2413}},
    {"footageTimecodeDisplayStartType", SettingKind::Choice, 2212, 0, 0, {2212, 2213}},
    {"gpuAccelType", SettingKind::Choice, 1816, 0, 0, {1812, 1813, 1814, 1815, 1816}},
    {"framesUseFeetFrames", SettingKind::Flag, false},
    {"transparencyGridThumbnails", SettingKind::Flag, false},
    {"linearBlending", SettingKind::Flag, false},
    {"linearizeWorkingSpace", SettingKind::Flag, false},
    {"compensateForSceneReferredProfiles", SettingKind::Flag, false},
    {"workingGamma", SettingKind::Choice, 2.4, 0, 0, {2.2, 2.4}},
    {"workingSpace",
     SettingKind::Text,
     "",
     0,
     0,
     {},
     {"", "sRGB IEC61966-2.1", "Rec.709 Gamma 2.4", "Adobe RGB (1998)"}},
    {"expressionEngine",
     SettingKind::Text,
     "javascript-1.0",
     0,
     0,
     {},
     {"extendscript", "javascript-1.0"}},
};

constexpr int kFcStart0 = 2612, kFcStart1 = 2613;

json MarkerWhere(const Comp& comp, const Layer* layer) {
    json where = {{"comp", comp.id}};
    if (layer != nullptr) {
        where["layer"] = comp.IndexOf(*layer);
        where["property"] = "ADBE Marker";
    }
    return where;
}

}  // namespace

std::span<const SettingRule> ItemRules() { return kItemRules; }
std::span<const SettingRule> SolidSourceRules() { return kSolidSourceRules; }
std::span<const SettingRule> ProjectRules() { return kProjectRules; }

const char* ItemTypeName(ItemType type, const std::string& language) {
    // Composition, Folder, Footage in each interface language the host's guide lists.
    static const struct {
        const char* language;
        const char* names[3];
    } kNames[] = {
        {"en_US", {"Composition", "Folder", "Footage"}},
        {"de_DE", {"Komposition", "Ordner", "Footage"}},
        {"es_ES", {"Composición", "Carpeta", "Material de archivo"}},
        {"fr_FR", {"Composition", "Dossier", "Métrage"}},
        {"it_IT", {"Composizione", "Cartella", "Metraggio"}},
        {"ja_JP", {"コンポジション", "フォルダー", "フッテージ"}},
        {"ko_KR", {"컴포지션", "폴더", "푸티지"}},
        {"pt_BR", {"Composição", "Pasta", "Gravação"}},
        {"ru_RU", {"Композиция", "Папка", "Видеоряд"}},
        {"zh_CN", {"合成", "文件夹", "素材"}},
    };
    const int which = type == ItemType::Comp ? 0 : type == ItemType::Folder ? 1 : 2;
    for (const auto& entry : kNames)
        if (language == entry.language) return entry.names[which];
    return kNames[0].names[which];
}

std::vector<Item*> Scene::ItemsIn(std::int32_t folderId) const {
    std::vector<Item*> out;
    for (const auto& item : items_)
        if (item->parentId == folderId) out.push_back(item.get());
    return out;
}

std::vector<Comp*> Scene::UsedIn(std::int32_t itemId) const {
    std::vector<Comp*> out;
    for (const auto& item : items_)
        if (item->comp && std::any_of(item->comp->layers.begin(), item->comp->layers.end(),
                                      [&](const auto& l) { return l->sourceId == itemId; }))
            out.push_back(item->comp.get());
    return out;
}

void Scene::SetItemSetting(std::int32_t id, std::string_view name, const json& v) {
    Item& item = RequireItem(id);
    item.settings.Set(name, v);
    Note({{"change", "item"}, {"item", id}, {"attribute", name}, {"to", item.settings.Get(name)}});
}

void Scene::SetSolidAttribute(std::int32_t id, std::string_view name, const json& v) {
    Item& item = RequireItem(id);
    if (item.type != ItemType::Solid && item.type != ItemType::Footage) ThrowInvalid();
    json to;
    // Only a solid's size is the script's to set; other footage's is its file's.
    if (item.type != ItemType::Solid &&
        (name == "width" || name == "height" || name == "pixelAspect" || name == "color"))
        throw ModelError("Unable to set \"" + std::string(name) +
                         "\". The footage is not a solid.");
    if (name == "width" || name == "height") {
        const SettingRule rule{name, SettingKind::Integer, 0, kMinSolidSize, kMaxSolidSize};
        to = Settings({&rule, 1}).Checked(name, v);
        (name == "width" ? item.width : item.height) = to.get<double>();
    } else if (name == "pixelAspect") {
        const SettingRule rule{name, SettingKind::Number, 1, kMinPixelAspect, kMaxPixelAspect};
        to = Settings({&rule, 1}).Checked(name, v);
        item.pixelAspect = to.get<double>();
    } else {
        for (const char* moving : {"conformFrameRate", "fieldSeparationType",
                                   "highQualityFieldSeparation", "loop", "removePulldown"})
            if (name == moving && (item.type == ItemType::Solid || item.frameRate == 0))
                throw ModelError("Unable to set \"" + std::string(name) +
                                 "\". The footage is still.");
        item.source.Set(name, v);
        to = item.source.Get(name);
    }
    Note({{"change", "item"}, {"item", id}, {"attribute", name}, {"to", to}});
}

void Scene::SetParentFolder(std::int32_t id, std::int32_t folderId) {
    Item& item = RequireItem(id);
    if (folderId != 0 && RequireItem(folderId).type != ItemType::Folder)
        throw ModelError("Unable to set \"parentFolder\". Value is not a folder.");
    for (std::int32_t at = folderId; at != 0; at = RequireItem(at).parentId)
        if (at == id)
            throw ModelError(
                "Unable to set \"parentFolder\". A folder cannot be put inside itself.");
    if (item.parentId == folderId) return;
    item.parentId = folderId;
    Note({{"change", "item moved"}, {"item", id}, {"folder", folderId}});
}

void Scene::RemoveItem(std::int32_t id) {
    RequireItem(id);
    // The item and, for a folder, everything below it.
    std::vector<std::int32_t> gone = {id};
    for (std::size_t i = 0; i < gone.size(); ++i)
        for (const Item* inside : ItemsIn(gone[i])) gone.push_back(inside->id);
    const auto isGone = [&](std::int32_t x) {
        return std::find(gone.begin(), gone.end(), x) != gone.end();
    };
    // Layers elsewhere that show a removed item go with it, as in the host's Project panel.
    for (const auto& item : items_)
        if (item->comp && !isGone(item->id))
            for (int i = item->comp->NumLayers(); i >= 1; --i)
                if (isGone(item->comp->LayerAt(i)->sourceId)) RemoveLayer(*item->comp->LayerAt(i));
    for (const std::int32_t x : gone) {
        const auto at = std::find_if(items_.begin(), items_.end(),
                                     [&](const auto& item) { return item->id == x; });
        if ((*at)->comp)
            for (auto& layer : (*at)->comp->layers) Unregister(*layer);
        items_.erase(at);
        if (viewerComp == x) viewerComp = 0, viewerActive = false;
        if (aegpActiveId == x) aegpActiveId = 0;
        Note({{"change", "item removed"}, {"item", x}});
    }
}

void Scene::SetCompAttribute(Comp& comp, std::string_view name, const json& v) {
    const json to = comp.SetAttribute(name, v);
    Note({{"change", "comp"}, {"comp", comp.id}, {"attribute", name}, {"to", to}});
}

void Scene::SetProjectSetting(std::string_view name, const json& v) {
    // displayStartFrame is another way of writing framesCountType's first two values.
    if (name == "displayStartFrame") {
        if (!(v.is_number() && (v.get<double>() == 0 || v.get<double>() == 1)))
            throw ModelError("Unable to set \"displayStartFrame\". Value " +
                             (v.is_number() ? FormatNumber(v.get<double>()) : v.dump()) +
                             " is not one of the allowed values.");
        return SetProjectSetting("framesCountType", v.get<double>() == 1 ? kFcStart1 : kFcStart0);
    }
    projectSettings.Set(name, v);
    Note({{"change", "project"}, {"attribute", name}, {"to", projectSettings.Get(name)}});
}

int Scene::SetMarkerAtTime(Comp& comp, Layer* layer, double t, MarkerValue v) {
    if (!std::isfinite(t)) ThrowParameter("setValueAtTime", 1, "Value is not a finite number.");
    auto where = MarkerWhere(comp, layer);
    where["change"] = "marker set";
    where["time"] = t;
    where["comment"] = v.fields.Get("comment");
    const int index = (layer ? layer->markers : comp.markers).Set(t, std::move(v));
    Note(std::move(where));
    return index;
}

void Scene::RemoveMarker(Comp& comp, Layer* layer, int index) {
    MarkerList& markers = layer ? layer->markers : comp.markers;
    const double t = markers.At(index, "removeKey").time;
    markers.Remove(index);
    auto where = MarkerWhere(comp, layer);
    where["change"] = "marker removed";
    where["time"] = t;
    Note(std::move(where));
}

void Scene::SetMarkerSelected(Comp& comp, Layer* layer, int index, bool on) {
    MarkerList& markers = layer ? layer->markers : comp.markers;
    if (!markers.SetSelected(index, on)) return;
    auto where = MarkerWhere(comp, layer);
    where["change"] = "key selected";
    where["key"] = index;
    where["time"] = markers.At(index, "keySelected").time;
    where["to"] = on;
    Note(std::move(where));
}

}  // namespace hostsim::model
