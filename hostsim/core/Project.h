// The project as the host holds it: the model's state (model::Scene: items, compositions,
// layers, properties, the selection, the viewer) behind one lock, for the plug-in's item
// suite, the scripts, the console and the live view alike. Handles handed to the plug-in
// are the addresses of items and layers, which stay fixed while they exist; a foreign or
// null handle is refused. Any thread: every function takes the project's own lock, and
// none calls out under it; the changes a call made go to the change sink after it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "AE_Host.h"
#include "core/Catalog.h"
#include "model/Scene.h"

namespace hostsim {

class Project {
public:
    Project(const ProjectSetup& setup, std::vector<Effect> effects);
    // Where the changes go (the journal and the subscribers); set once before other threads
    // exist. Called on the changing thread with no lock held.
    void SetChangeSink(std::function<void(std::vector<model::Change>)> sink) {
        sink_ = std::move(sink);
    }

    // Runs f(scene) under the lock and hands the changes it made to the sink after the lock
    // is released, also when f throws (a ModelError: the call changed nothing).
    template <typename F>
    auto With(F&& f) -> decltype(f(std::declval<model::Scene&>()));

    AEGP_ProjectH Handle() { return reinterpret_cast<AEGP_ProjectH>(&token_); }
    bool IsHandle(AEGP_ProjectH project) const {
        return project == reinterpret_cast<const void*>(&token_);
    }

    // The item suite's walk and selection.
    A_Err FirstItem(AEGP_ProjectH project, AEGP_ItemH* item) const;
    A_Err NextItem(AEGP_ProjectH project, AEGP_ItemH item, AEGP_ItemH* next) const;
    A_Err ActiveItem(AEGP_ItemH* item) const;
    A_Err IsItemSelected(AEGP_ItemH item, A_Boolean* selected) const;
    A_Err SelectItem(AEGP_ItemH item, bool select, bool deselectOthers);
    A_Err ItemType(AEGP_ItemH item, AEGP_ItemType* type) const;
    A_Err CompFromItem(AEGP_ItemH item, AEGP_CompH* comp) const;
    A_Err CompNumLayers(AEGP_CompH comp, A_long* count) const;
    A_Err CompLayerByIndex(AEGP_CompH comp, A_long index, AEGP_LayerH* layer) const;
    std::optional<std::int32_t> ItemId(const void* handle) const;  // for the journal

    // The user clicks one item: it alone is selected, and active; the Project panel has the
    // focus. Empty on success, else the problem.
    std::string UserSelect(std::int32_t id);
    std::int32_t ActiveItemId() const;  // the plug-in API's active item; 0: none

    nlohmann::json ItemsJson() const;
    nlohmann::json ActiveItemJson() const;
    // The composition scripts see as active (null without one): its playhead, its layers
    // with their switches, selection and `active`, and the selected layers' transform values.
    nlohmann::json ActiveCompJson() const;

private:
    using Item = model::Item;
    Item* Find(const void* handle) const;  // under the lock
    const Item* FindComp(const void* handle) const;
    // select with deselectOthers: this item alone selected, and active. Deselecting the
    // active item leaves no active item.
    void Select(Item& item, bool select, bool deselectOthers);

    int token_ = 0;  // its address is the project handle
    mutable std::mutex mutex_;
    std::unique_ptr<model::Scene> scene_;
    std::function<void(std::vector<model::Change>)> sink_;
};

template <typename F>
auto Project::With(F&& f) -> decltype(f(std::declval<model::Scene&>())) {
    std::unique_lock lock(mutex_);
    std::vector<model::Change> changes;
    const auto flush = [&] {
        changes = scene_->TakeChanges();
        lock.unlock();
        if (!changes.empty() && sink_) sink_(std::move(changes));
    };
    try {
        if constexpr (std::is_void_v<decltype(f(*scene_))>) {
            f(*scene_);
            flush();
        } else {
            auto result = f(*scene_);
            flush();
            return result;
        }
    } catch (...) {
        if (lock.owns_lock()) flush();
        throw;
    }
}

}  // namespace hostsim
