#include "Project.h"

#include <algorithm>

namespace hostsim {
namespace {

template <typename Handle>
Handle ToHandle(const void* p) {
    return reinterpret_cast<Handle>(const_cast<void*>(p));
}

// The names the host's scripting gives item types; a solid is a footage item there.
const char* ScriptTypeName(AEGP_ItemType type) {
    switch (type) {
        case AEGP_ItemType_FOLDER:
            return "Folder";
        case AEGP_ItemType_COMP:
            return "Composition";
        case AEGP_ItemType_FOOTAGE:
        case AEGP_ItemType_SOLID:
            return "Footage";
        default:
            return "";
    }
}

}  // namespace

Project::Project(const ProjectSpec& spec) : activeId_(spec.activeId) {
    for (const auto& entry : spec.items) {
        auto item = std::make_unique<Item>();
        item->id = entry.id;
        item->name = entry.name;
        item->type = entry.type;
        item->parentId = entry.parentId;
        item->selected = entry.selected;
        for (const auto& layer : entry.layers)
            item->layers.push_back(std::make_unique<Layer>(Layer{layer}));
        items_.push_back(std::move(item));
    }
}

Project::Item* Project::Find(const void* handle) const {
    if (handle == nullptr) return nullptr;
    for (const auto& item : items_)
        if (item.get() == handle) return item.get();
    return nullptr;
}

Project::Item* Project::FindById(std::int32_t id) const {
    for (const auto& item : items_)
        if (item->id == id) return item.get();
    return nullptr;
}

// A composition's handle is its item's address (the two handle kinds never mix here).
const Project::Item* Project::FindComp(const void* handle) const {
    const Item* item = Find(handle);
    return item != nullptr && item->type == AEGP_ItemType_COMP ? item : nullptr;
}

void Project::Select(Item& item, bool select, bool deselectOthers) {
    if (deselectOthers)
        for (auto& other : items_)
            if (other.get() != &item) other->selected = false;
    item.selected = select;
    if (select)
        activeId_ = item.id;
    else if (activeId_ == item.id)
        activeId_ = 0;
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
    if (!items_.empty()) *item = ToHandle<AEGP_ItemH>(items_.front().get());
    return A_Err_NONE;
}

A_Err Project::NextItem(AEGP_ProjectH project, AEGP_ItemH item, AEGP_ItemH* next) const {
    if (next == nullptr) return A_Err_PARAMETER;
    *next = nullptr;
    if (!IsHandle(project)) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    const Item* current = Find(item);
    if (current == nullptr) return A_Err_PARAMETER;
    const auto it = std::find_if(items_.begin(), items_.end(),
                                 [&](const auto& p) { return p.get() == current; });
    if (std::next(it) != items_.end()) *next = ToHandle<AEGP_ItemH>(std::next(it)->get());
    return A_Err_NONE;
}

A_Err Project::ActiveItem(AEGP_ItemH* item) const {
    if (item == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    *item = ToHandle<AEGP_ItemH>(FindById(activeId_));
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
    *type = item->type;
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
    *count = static_cast<A_long>(item->layers.size());
    return A_Err_NONE;
}

A_Err Project::CompLayerByIndex(AEGP_CompH comp, A_long index, AEGP_LayerH* layer) const {
    if (layer == nullptr) return A_Err_PARAMETER;
    *layer = nullptr;
    std::lock_guard lock(mutex_);
    const Item* item = FindComp(comp);
    if (item == nullptr) return A_Err_PARAMETER;
    if (index < 0 || static_cast<std::size_t>(index) >= item->layers.size()) return A_Err_PARAMETER;
    *layer = ToHandle<AEGP_LayerH>(item->layers[static_cast<std::size_t>(index)].get());
    return A_Err_NONE;
}

std::string Project::UserSelect(std::int32_t id) {
    std::lock_guard lock(mutex_);
    Item* item = FindById(id);
    if (item == nullptr) return "no item with id " + std::to_string(id);
    Select(*item, true, true);
    return {};
}

std::vector<ScriptItem> Project::ScriptItems() const {
    std::lock_guard lock(mutex_);
    std::vector<ScriptItem> items;
    for (const auto& item : items_)
        items.push_back({item->id, item->name, ScriptTypeName(item->type), item->selected});
    return items;
}

std::int32_t Project::ActiveItemId() const {
    std::lock_guard lock(mutex_);
    return FindById(activeId_) ? activeId_ : 0;
}

bool Project::SetItemSelected(std::int32_t id, bool selected) {
    std::lock_guard lock(mutex_);
    Item* item = FindById(id);
    if (item == nullptr) return false;
    Select(*item, selected, false);
    return true;
}

nlohmann::json Project::ItemsJson() const {
    std::lock_guard lock(mutex_);
    auto list = nlohmann::json::array();
    for (const auto& item : items_) {
        nlohmann::json entry = {{"id", item->id},
                                {"name", item->name},
                                {"type", ItemTypeName(item->type)},
                                {"parent", item->parentId},
                                {"selected", item->selected}};
        if (item->type == AEGP_ItemType_COMP) {
            entry["layers"] = nlohmann::json::array();
            for (const auto& layer : item->layers) entry["layers"].push_back(layer->name);
        }
        list.push_back(std::move(entry));
    }
    return list;
}

nlohmann::json Project::ActiveItemJson() const {
    const auto id = ActiveItemId();
    return id != 0 ? nlohmann::json(id) : nlohmann::json(nullptr);
}

}  // namespace hostsim
