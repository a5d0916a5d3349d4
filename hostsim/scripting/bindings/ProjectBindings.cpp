// The script bindings of Project and ItemCollection: items, selection, new items.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {

std::span<const OpEntry> ProjectOps() {
    static const OpEntry ops[] = {
        {"project.numItems",
         [](Scene& s, const Call&) -> Out { return static_cast<double>(s.Items().size()); }},
        {"project.items", [](Scene& s, const Call&) -> Out { return ItemRefs(s, false); }},
        {"project.selection", [](Scene& s, const Call&) -> Out { return ItemRefs(s, true); }},
        {"project.item",
         [](Scene& s, const Call& c) -> Out {
             const int i = c.Index(0), n = static_cast<int>(s.Items().size());
             if (i < 1 || i > n) model::ThrowParameterRange("item", 1, i, 1, n);
             return ItemRef(*s.Items()[static_cast<std::size_t>(i - 1)]);
         }},
        {"project.itemByID",
         [](Scene& s, const Call& c) -> Out {
             const model::Item* item = s.FindItem(c.Index(0));
             return item ? Out(ItemRef(*item)) : Out(Null{});
         }},
        {"project.activeItem",
         [](Scene& s, const Call&) -> Out {
             const model::Item* item = s.FindItem(s.ActiveItemId());
             return item ? Out(ItemRef(*item)) : Out(Null{});
         }},
        {"project.addComp",
         [](Scene& s, const Call& c) -> Out {
             const model::CompSetup setup{c.Number(1), c.Number(2), c.Number(3), c.Number(4),
                                          c.Number(5)};
             return ItemRef(s.RequireItem(s.AddComp(c.Text(0), setup)));
         }},
        {"project.addFolder",
         [](Scene& s, const Call& c) -> Out {
             return ItemRef(s.RequireItem(s.AddFolder(c.Text(0))));
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
