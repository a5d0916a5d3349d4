#include "CommandTable.h"

#include <cstdint>

#include "ModelError.h"

namespace hostsim::model {
namespace {

constexpr struct {
    const char* name;
    CommandAction action;
} kActions[] = {{"next-frame", CommandAction::NextFrame},
                {"previous-frame", CommandAction::PreviousFrame},
                {"select-all-layers", CommandAction::SelectAllLayers},
                {"deselect-all-layers", CommandAction::DeselectAllLayers}};

}  // namespace

// The numbers here are this simulation's defaults; a vendor whose host numbers them
// differently gives its own table with --commands.
CommandTable CommandTable::BuiltIn() {
    CommandTable table;
    table.entries_ = {{2004, "Deselect All", CommandAction::DeselectAllLayers},
                      {2017, "Select All", CommandAction::SelectAllLayers},
                      {3051, "Next Frame", CommandAction::NextFrame},
                      {3052, "Previous Frame", CommandAction::PreviousFrame},
                      {16, "Undo", CommandAction::None},
                      {2035, "Redo", CommandAction::None}};
    return table;
}

CommandTable CommandTable::FromJson(const nlohmann::json& doc) {
    if (!doc.is_array()) throw ModelError("must be a list of commands");
    CommandTable table;
    for (std::size_t i = 0; i < doc.size(); ++i) {
        const auto& e = doc[i];
        const std::string where = "commands[" + std::to_string(i) + "]: ";
        if (!e.is_object() || !e.contains("number") || !e["number"].is_number_integer() ||
            !e.contains("name") || !e["name"].is_string())
            throw ModelError(where + "needs a whole \"number\" and a \"name\" text");
        // A command number is 32 bits wide: a wider one would silently become another.
        const auto& number = e["number"];
        if (number.is_number_unsigned()
                ? number.get<std::uint64_t>() > INT32_MAX
                : number.get<std::int64_t>() < INT32_MIN || number.get<std::int64_t>() > INT32_MAX)
            throw ModelError(where + "number " + number.dump() +
                             " is not a command number (-2147483648 to 2147483647)");
        CommandEntry entry{number.get<std::int32_t>(), e["name"].get<std::string>()};
        if (e.contains("action")) {
            const std::string action =
                e["action"].is_string() ? e["action"].get<std::string>() : "";
            bool known = false;
            for (const auto& a : kActions)
                if (action == a.name) known = true, entry.action = a.action;
            if (!known)
                throw ModelError(where +
                                 "unknown action (next-frame, previous-frame, "
                                 "select-all-layers or deselect-all-layers)");
        }
        if (table.Find(entry.number) != nullptr)
            throw ModelError(where + "number " + std::to_string(entry.number) + " is used twice");
        table.entries_.push_back(std::move(entry));
    }
    return table;
}

const CommandEntry* CommandTable::Find(std::int32_t number) const {
    for (const auto& e : entries_)
        if (e.number == number) return &e;
    return nullptr;
}

std::int32_t CommandTable::FindByName(const std::string& name) const {
    for (const auto& e : entries_)
        if (e.name == name) return e.number;
    return 0;
}

}  // namespace hostsim::model
