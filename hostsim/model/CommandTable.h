// The host's menu commands: number, name and, for the few whose effect on this model is
// well documented, the action carried out on the active composition. Read-only after
// start-up; any thread.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace hostsim::model {

enum class CommandAction { None, NextFrame, PreviousFrame, SelectAllLayers, DeselectAllLayers };

struct CommandEntry {
    std::int32_t number = 0;
    std::string name;
    CommandAction action = CommandAction::None;
};

class CommandTable {
public:
    static CommandTable BuiltIn();
    // [{"number": N, "name": "...", "action": "next-frame"}, ...]; "action" may be left
    // out. Throws ModelError naming the entry and the problem.
    static CommandTable FromJson(const nlohmann::json& doc);

    const CommandEntry* Find(std::int32_t number) const;     // null when unknown
    std::int32_t FindByName(const std::string& name) const;  // 0 when unknown
    const std::vector<CommandEntry>& Entries() const { return entries_; }

private:
    std::vector<CommandEntry> entries_;
};

}  // namespace hostsim::model
