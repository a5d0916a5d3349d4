// The simulated host's model: the project (items in order, compositions with layers,
// selection, active item), the Info panel, and the records a test wants to see (commands
// run, alerts, suites held, thread violations, idle calls). A plain single-threaded class:
// the owning Host guards it with its one lock. Handles handed to the plug-in are the
// addresses of items and layers, which stay fixed for the host's life.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "AE_Types.h"
#include "Catalog.h"

namespace hostsim {

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

struct InfoPanel {
    std::string line1, line2;
    std::vector<std::string> appended;
    std::optional<PF_Pixel> color;
};

struct CommandRun {
    AEGP_Command command;
    std::string source;  // "plugin", "user" or "script"
};

class HostState {
public:
    explicit HostState(const ProjectSpec& project);

    // Project model.
    const std::vector<std::unique_ptr<Item>>& Items() const { return items_; }
    Item* FindItem(const void* handle) const;  // null for anything not an item of ours
    Item* FindItemById(std::int32_t id) const;
    Item* NextItem(const Item& item) const;  // null after the last
    Layer* FindLayer(const void* handle) const;
    Item* ActiveItem() const { return FindItemById(activeId_); }
    // select with deselectOthers: this item alone selected, and active. Deselecting the
    // active item leaves no active item.
    void SelectItem(Item& item, bool select, bool deselectOthers);

    InfoPanel info;
    std::vector<CommandRun> commandsRun;
    std::vector<std::string> alerts;
    std::map<std::pair<std::string, std::int32_t>, std::int64_t> suitesHeld;
    std::map<std::string, std::int64_t> threadViolations;
    std::int64_t idleCalls = 0;
    std::int64_t idleSleepChanges = 0;
    std::int64_t unmatchedReleases = 0;
    std::int64_t badMemHandles = 0;
    std::int64_t quietErrorsDepth = 0;

    std::int64_t ViolationCount() const;
    nlohmann::json ItemsJson() const;
    nlohmann::json SuitesHeldJson() const;

private:
    std::vector<std::unique_ptr<Item>> items_;
    std::int32_t activeId_ = 0;
};

}  // namespace hostsim
