// The script bindings of Item: name, type, selection, folder.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {

std::span<const OpEntry> ItemOps() {
    static const OpEntry ops[] = {
        {"item.name",
         [](Scene& s, const Call& c) -> Out { return s.RequireItem(c.ItemId()).name; }},
        {"item.name=",
         [](Scene& s, const Call& c) -> Out {
             if (c.At(0).type != Arg::Text)
                 throw ModelError("Unable to set \"name\". Value is not a string.");
             return s.SetItemName(c.ItemId(), c.At(0).text), Undefined{};
         }},
        {"item.typeName",
         [](Scene& s, const Call& c) -> Out {
             const auto type = s.RequireItem(c.ItemId()).type;
             return std::string(type == model::ItemType::Comp     ? "Composition"
                                : type == model::ItemType::Folder ? "Folder"
                                                                  : "Footage");
         }},
        {"item.selected",
         [](Scene& s, const Call& c) -> Out { return s.RequireItem(c.ItemId()).selected; }},
        {"item.selected=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetItemSelected(c.ItemId(), c.Flag()), Undefined{};
         }},
        {"item.parentFolder",
         [](Scene& s, const Call& c) -> Out {
             const model::Item* parent = s.FindItem(s.RequireItem(c.ItemId()).parentId);
             return parent ? Out(ItemRef(*parent)) : Out(Null{});
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
