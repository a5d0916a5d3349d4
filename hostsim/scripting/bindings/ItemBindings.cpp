// The script bindings of Item, FolderItem and FootageItem: name, type, selection, folder,
// comment and label, removal; a folder's items (footage: FootageBindings.cpp). Item id 0 is
// the project's root folder.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

constexpr Ref kRoot{'d', 0};

Out ItemOrRoot(const model::Item* item) { return item ? Out(ItemRef(*item)) : Out(kRoot); }

std::vector<Ref> Refs(const std::vector<model::Item*>& items) {
    std::vector<Ref> refs;
    refs.reserve(items.size());
    for (const auto* item : items) refs.push_back(ItemRef(*item));
    return refs;
}

// The root folder (id 0) or a folder item.
std::int32_t FolderId(const Scene& s, const Call& c) {
    if (c.ItemId() != 0 && s.RequireItem(c.ItemId()).type != model::ItemType::Folder)
        model::ThrowInvalid();
    return c.ItemId();
}

[[noreturn]] void RootRefuses(const char* member) {
    throw ModelError(std::string("Unable to use \"") + member + "\" on the root folder.");
}

}  // namespace

std::span<const OpEntry> ItemOps() {
    static const OpEntry ops[] = {
        {"item.name",
         [](Scene& s, const Call& c) -> Out {
             return c.ItemId() == 0 ? std::string("Root") : s.RequireItem(c.ItemId()).name;
         }},
        {"item.name=",
         [](Scene& s, const Call& c) -> Out {
             if (c.ItemId() == 0) RootRefuses("name");
             if (c.At(0).type != Arg::Text)
                 throw ModelError("Unable to set \"name\". Value is not a string.");
             return s.SetItemName(c.ItemId(), c.At(0).text), Undefined{};
         }},
        {"item.typeName",
         [](Scene& s, const Call& c) -> Out {
             const auto type =
                 c.ItemId() == 0 ? model::ItemType::Folder : s.RequireItem(c.ItemId()).type;
             return std::string(model::ItemTypeName(type, c.Text(0)));
         }},
        {"item.selected",
         [](Scene& s, const Call& c) -> Out {
             return c.ItemId() != 0 && s.RequireItem(c.ItemId()).selected;
         }},
        {"item.selected=",
         [](Scene& s, const Call& c) -> Out {
             if (c.ItemId() == 0) RootRefuses("selected");
             return s.SetItemSelected(c.ItemId(), c.Flag()), Undefined{};
         }},
        {"item.parentFolder",
         [](Scene& s, const Call& c) -> Out {
             if (c.ItemId() == 0) return Null{};
             return ItemOrRoot(s.FindItem(s.RequireItem(c.ItemId()).parentId));
         }},
        // The script half passes a folder as its id and anything else as null.
        {"item.parentFolder=",
         [](Scene& s, const Call& c) -> Out {
             if (c.ItemId() == 0) RootRefuses("parentFolder");
             if (c.At(0).type != Arg::Number)
                 throw ModelError("Unable to set \"parentFolder\". Value is not a folder.");
             return s.SetParentFolder(c.ItemId(), static_cast<std::int32_t>(c.At(0).number)),
                    Undefined{};
         }},
        {"item.setting",
         [](Scene& s, const Call& c) -> Out {
             if (c.ItemId() == 0) return model::Settings(model::ItemRules()).Get(c.Text(0));
             return s.RequireItem(c.ItemId()).settings.Get(c.Text(0));
         }},
        {"item.setting=",
         [](Scene& s, const Call& c) -> Out {
             if (c.ItemId() == 0) RootRefuses(c.Text(0).c_str());
             return s.SetItemSetting(c.ItemId(), c.Text(0), ArgJson(c.At(1))), Undefined{};
         }},
        {"item.remove",
         [](Scene& s, const Call& c) -> Out {
             if (c.ItemId() == 0) RootRefuses("remove");
             return s.RemoveItem(c.ItemId()), Undefined{};
         }},
        {"item.usedIn",
         [](Scene& s, const Call& c) -> Out {
             s.RequireItem(c.ItemId());
             std::vector<Ref> refs;
             for (const auto* comp : s.UsedIn(c.ItemId()))
                 refs.push_back(ItemRef(s.RequireItem(comp->id)));
             return refs;
         }},
        {"folder.items",
         [](Scene& s, const Call& c) -> Out { return Refs(s.ItemsIn(FolderId(s, c))); }},
        {"folder.numItems",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.ItemsIn(FolderId(s, c)).size());
         }},
        {"folder.item",
         [](Scene& s, const Call& c) -> Out {
             const auto items = s.ItemsIn(FolderId(s, c));
             const int i = c.Index(0), n = static_cast<int>(items.size());
             if (i < 1 || i > n) model::ThrowParameterRange("item", 1, i, 1, n);
             return ItemRef(*items[static_cast<std::size_t>(i - 1)]);
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
