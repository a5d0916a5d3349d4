#include "HostState.h"

#include <algorithm>

namespace hostsim {

HostState::HostState(const ProjectSpec& project) : activeId_(project.activeId) {
    for (const auto& entry : project.items) {
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

Item* HostState::FindItem(const void* handle) const {
    if (handle == nullptr) return nullptr;
    for (const auto& item : items_)
        if (item.get() == handle) return item.get();
    return nullptr;
}

Item* HostState::FindItemById(std::int32_t id) const {
    for (const auto& item : items_)
        if (item->id == id) return item.get();
    return nullptr;
}

Item* HostState::NextItem(const Item& item) const {
    const auto it =
        std::find_if(items_.begin(), items_.end(), [&](const auto& p) { return p.get() == &item; });
    if (it == items_.end() || std::next(it) == items_.end()) return nullptr;
    return std::next(it)->get();
}

Layer* HostState::FindLayer(const void* handle) const {
    if (handle == nullptr) return nullptr;
    for (const auto& item : items_)
        for (const auto& layer : item->layers)
            if (layer.get() == handle) return layer.get();
    return nullptr;
}

void HostState::SelectItem(Item& item, bool select, bool deselectOthers) {
    if (deselectOthers)
        for (auto& other : items_)
            if (other.get() != &item) other->selected = false;
    item.selected = select;
    if (select)
        activeId_ = item.id;
    else if (activeId_ == item.id)
        activeId_ = 0;
}

std::int64_t HostState::ViolationCount() const {
    std::int64_t total = 0;
    for (const auto& [call, count] : threadViolations) total += count;
    return total;
}

nlohmann::json HostState::ItemsJson() const {
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

nlohmann::json HostState::SuitesHeldJson() const {
    auto list = nlohmann::json::array();
    for (const auto& [pair, count] : suitesHeld)
        if (count != 0)
            list.push_back({{"name", pair.first}, {"version", pair.second}, {"count", count}});
    return list;
}

}  // namespace hostsim
