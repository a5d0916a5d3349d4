// The project as the host holds it: items in order, compositions with layers, the
// selection and the active item. Handles handed to the plug-in are the addresses of items
// and layers, which stay fixed for the host's life; a foreign or null handle is refused.
// Any thread: every function takes the project's own lock, and none calls out under it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "AE_Host.h"
#include "Catalog.h"
#include "ScriptEngine.h"

namespace hostsim {

class Project {
public:
    explicit Project(const ProjectSpec& spec);

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

    // The user clicks one item: it alone is selected, and active. Empty on success, else
    // the problem.
    std::string UserSelect(std::int32_t id);
    // What scripts see: a script selecting an item adds it to the selection.
    std::vector<ScriptItem> ScriptItems() const;
    std::int32_t ActiveItemId() const;  // 0: none
    bool SetItemSelected(std::int32_t id, bool selected);

    nlohmann::json ItemsJson() const;
    nlohmann::json ActiveItemJson() const;

private:
    struct Layer {
        std::string name;
    };
    struct Item {
        std::int32_t id = 0;
        std::string name;
        AEGP_ItemType type = AEGP_ItemType_NONE;
        std::int32_t parentId = 0;
        bool selected = false;
        std::vector<std::unique_ptr<Layer>> layers;
    };

    Item* Find(const void* handle) const;  // under the lock
    Item* FindById(std::int32_t id) const;
    const Item* FindComp(const void* handle) const;
    // select with deselectOthers: this item alone selected, and active. Deselecting the
    // active item leaves no active item.
    void Select(Item& item, bool select, bool deselectOthers);

    int token_ = 0;  // its address is the project handle
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Item>> items_;
    std::int32_t activeId_ = 0;
};

}  // namespace hostsim
