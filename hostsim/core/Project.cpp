#include "core/Project.h"

#include <algorithm>

namespace hostsim {
namespace {

template <typename Handle>
Handle ToHandle(const void* p) {
    return reinterpret_cast<Handle>(const_cast<void*>(p));
}

AEGP_ItemType AegpType(model::ItemType type) {
    switch (type) {
        case model::ItemType::Folder:
            return AEGP_ItemType_FOLDER;
        case model::ItemType::Comp:
            return AEGP_ItemType_COMP;
        case model::ItemType::Solid:
            return AEGP_ItemType_SOLID;
        case model::ItemType::Footage:
            return AEGP_ItemType_FOOTAGE;
    }
    return AEGP_ItemType_NONE;
}

}  // namespace

Project::Project(const ProjectSetup& setup, std::vector<Effect> effects)
    : scene_(BuildScene(setup, std::move(effects), "the project")) {}

Project::Item* Project::Find(const void* handle) const {
    if (handle == nullptr) return nullptr;
    for (const auto& item : scene_->Items())
        if (item.get() == handle) return item.get();
    return nullptr;
}

// A composition's handle is its item's address (the two handle kinds never mix here).
const Project::Item* Project::FindComp(const void* handle) const {
    const Item* item = Find(handle);
    return item != nullptr && item->comp ? item : nullptr;
}

void Project::Select(Item& item, bool select, bool deselectOthers) {
    if (deselectOthers)
        for (auto& other : scene_->Items())
            if (other.get() != &item) other->selected = false;
    item.selected = select;
    if (select)
        scene_->aegpActiveId = item.id;
    else if (scene_->aegpActiveId == item.id)
        scene_->aegpActiveId = 0;
}

std::optional<std::int32_t> Project::ItemId(const void* handle) const {
    std::lock_guard lock(mutex_);
    const Item* item = Find(handle);
    if (item == nullptr) return std::nullopt;
    return item->id;
}

A_Err Project::FirstItem(AEGP_ProjectH project, AEGP_ItemH* item) const {
    if (item == nullptr) return A_Err_PARAMETER;
    *item = nullptr;
    if (!IsHandle(project)) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    if (!scene_->Items().empty()) *item = ToHandle<AEGP_ItemH>(scene_->Items().front().get());
    return A_Err_NONE;
}

A_Err Project::NextItem(AEGP_ProjectH project, AEGP_ItemH item, AEGP_ItemH* next) const {
    if (next == nullptr) return A_Err_PARAMETER;
    *next = nullptr;
    if (!IsHandle(project)) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    const Item* current = Find(item);
    if (current == nullptr) return A_Err_PARAMETER;
    const auto& items = scene_->Items();
    const auto it =
        std::find_if(items.begin(), items.end(), [&](const auto& p) { return p.get() == current; });
    if (std::next(it) != items.end()) *next = ToHandle<AEGP_ItemH>(std::next(it)->get());
    return A_Err_NONE;
}

A_Err Project::ActiveItem(AEGP_ItemH* item) const {
    if (item == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    *item = ToHandle<AEGP_ItemH>(scene_->FindItem(scene_->aegpActiveId));
    return A_Err_NONE;
}

A_Err Project::IsItemSelected(AEGP_ItemH handle, A_Boolean* selected) const {
    if (selected == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    const Item* item = Find(handle);
    if (item == nullptr) return A_Err_PARAMETER;
    *selected = item->selected ? 1 : 0;
    return A_Err_NONE;
}

A_Err Project::SelectItem(AEGP_ItemH handle, bool select, bool deselectOthers) {
    std::lock_guard lock(mutex_);
    Item* item = Find(handle);
    if (item == nullptr) return A_Err_PARAMETER;  // a null or foreign item changes nothing
    Select(*item, select, deselectOthers);
    return A_Err_NONE;
}

A_Err Project::ItemType(AEGP_ItemH handle, AEGP_ItemType* type) const {
    if (type == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    const Item* item = Find(handle);
    if (item == nullptr) {
        *type = AEGP_ItemType_NONE;
        return A_Err_PARAMETER;
    }
    *type = AegpType(item->type);
    return A_Err_NONE;
}

A_Err Project::CompFromItem(AEGP_ItemH handle, AEGP_CompH* comp) const {
    if (comp == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    const Item* item = FindComp(handle);
    *comp = ToHandle<AEGP_CompH>(item);
    return item ? A_Err_NONE : A_Err_PARAMETER;
}

A_Err Project::CompNumLayers(AEGP_CompH comp, A_long* count) const {
    if (count == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    const Item* item = FindComp(comp);
    if (item == nullptr) return A_Err_PARAMETER;
    *count = static_cast<A_long>(item->comp->layers.size());
    return A_Err_NONE;
}

A_Err Project::CompLayerByIndex(AEGP_CompH comp, A_long index, AEGP_LayerH* layer) const {
    if (layer == nullptr) return A_Err_PARAMETER;
    *layer = nullptr;
    std::lock_guard lock(mutex_);
    const Item* item = FindComp(comp);
    if (item == nullptr) return A_Err_PARAMETER;
    const auto& layers = item->comp->layers;
    if (index < 0 || static_cast<std::size_t>(index) >= layers.size()) return A_Err_PARAMETER;
    *layer = ToHandle<AEGP_LayerH>(layers[static_cast<std::size_t>(index)].get());
    return A_Err_NONE;
}

std::string Project::UserSelect(std::int32_t id) {
    std::lock_guard lock(mutex_);
    if (scene_->FindItem(id) == nullptr) return "no item with id " + std::to_string(id);
    scene_->SelectOnly(id);
    return {};
}

std::int32_t Project::ActiveItemId() const {
    std::lock_guard lock(mutex_);
    return scene_->FindItem(scene_->aegpActiveId) ? scene_->aegpActiveId : 0;
}

nlohmann::json Project::ItemsJson() const {
    std::lock_guard lock(mutex_);
    auto list = nlohmann::json::array();
    for (const auto& item : scene_->Items()) {
        nlohmann::json entry = {{"id", item->id},
                                {"name", item->name},
                                {"type", ItemTypeName(AegpType(item->type))},
                                {"parent", item->parentId},
                                {"selected", item->selected}};
        if (item->comp) {
            entry["layers"] = nlohmann::json::array();
            for (const auto& layer : item->comp->layers) entry["layers"].push_back(layer->name);
        }
        list.push_back(std::move(entry));
    }
    return list;
}

nlohmann::json Project::ActiveCompJson() const {
    std::lock_guard lock(mutex_);
    const Item* item = scene_->FindItem(scene_->ActiveItemId());
    if (item == nullptr || !item->comp) return nullptr;
    const model::Comp& comp = *item->comp;
    auto layers = nlohmann::json::array();
    for (const auto& layer : comp.layers) {
        nlohmann::json entry = {{"index", comp.IndexOf(*layer)}, {"name", layer->name},
                                {"selected", layer->selected},   {"enabled", layer->enabled},
                                {"solo", layer->solo},           {"shy", layer->shy},
                                {"locked", layer->locked},       {"active", comp.IsActive(*layer)}};
        if (layer->selected) {
            nlohmann::json transform = nlohmann::json::object();
            for (const auto& child : layer->Transform().children) {
                const auto v = static_cast<const model::Property&>(*child).ValueAt(comp.time);
                transform[child->name] = v.size() == 1 ? nlohmann::json(v[0]) : nlohmann::json(v);
            }
            entry["transform"] = std::move(transform);
        }
        layers.push_back(std::move(entry));
    }
    return {{"id", comp.id},
            {"name", item->name},
            {"time", comp.time},
            {"duration", comp.duration},
            {"frameRate", comp.frameRate},
            {"layers", layers}};
}

nlohmann::json Project::ActiveItemJson() const {
    const auto id = ActiveItemId();
    return id != 0 ? nlohmann::json(id) : nlohmann::json(nullptr);
}

}  // namespace hostsim
