// The script bindings of Layer and AVLayer: index, switches, times, stacking order, removal.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

using model::LayerMove;
using model::Switch;

Out SwitchGet(Scene& s, const Call& c, Switch which) {
    const model::Layer& l = s.RequireLayer(c.Handle());
    return which == Switch::Enabled  ? l.enabled
           : which == Switch::Solo   ? l.solo
           : which == Switch::Shy    ? l.shy
           : which == Switch::Locked ? l.locked
                                     : l.selected;
}

Out SwitchSet(Scene& s, const Call& c, Switch which) {
    s.SetSwitch(s.RequireLayer(c.Handle()), which, c.Flag());
    return Undefined{};
}

Out Move(Scene& s, const Call& c, LayerMove how) {
    model::Layer& layer = s.RequireLayer(c.Handle());
    const bool relative = how == LayerMove::Before || how == LayerMove::After;
    s.MoveLayer(layer, how, relative ? &LayerArg(s, c, 0) : nullptr);
    return Undefined{};
}

}  // namespace

std::span<const OpEntry> LayerOps() {
    static const OpEntry ops[] = {
        {"layer.index",
         [](Scene& s, const Call& c) -> Out {
             const model::Layer& l = s.RequireLayer(c.Handle());
             return static_cast<double>(l.comp->IndexOf(l));
         }},
        {"layer.name=",
         [](Scene& s, const Call& c) -> Out {
             if (c.At(0).type != Arg::Text)
                 throw ModelError("Unable to set \"name\". Value is not a string.");
             return s.SetLayerName(s.RequireLayer(c.Handle()), c.At(0).text), Undefined{};
         }},
        {"layer.selected",
         [](Scene& s, const Call& c) { return SwitchGet(s, c, Switch::Selected); }},
        {"layer.selected=",
         [](Scene& s, const Call& c) { return SwitchSet(s, c, Switch::Selected); }},
        {"layer.enabled", [](Scene& s, const Call& c) { return SwitchGet(s, c, Switch::Enabled); }},
        {"layer.enabled=",
         [](Scene& s, const Call& c) { return SwitchSet(s, c, Switch::Enabled); }},
        {"layer.solo", [](Scene& s, const Call& c) { return SwitchGet(s, c, Switch::Solo); }},
        {"layer.solo=", [](Scene& s, const Call& c) { return SwitchSet(s, c, Switch::Solo); }},
        {"layer.shy", [](Scene& s, const Call& c) { return SwitchGet(s, c, Switch::Shy); }},
        {"layer.shy=", [](Scene& s, const Call& c) { return SwitchSet(s, c, Switch::Shy); }},
        {"layer.locked", [](Scene& s, const Call& c) { return SwitchGet(s, c, Switch::Locked); }},
        {"layer.locked=", [](Scene& s, const Call& c) { return SwitchSet(s, c, Switch::Locked); }},
        {"layer.active",
         [](Scene& s, const Call& c) -> Out {
             const model::Layer& l = s.RequireLayer(c.Handle());
             return l.comp->IsActive(l);
         }},
        {"layer.nullLayer",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).isNull; }},
        {"layer.inPoint",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).inPoint; }},
        {"layer.outPoint",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).outPoint; }},
        {"layer.startTime",
         [](Scene& s, const Call& c) -> Out { return s.RequireLayer(c.Handle()).startTime; }},
        {"layer.containingComp",
         [](Scene& s, const Call& c) -> Out {
             return ItemRef(s.RequireItem(s.RequireLayer(c.Handle()).comp->id));
         }},
        {"layer.selectedProperties",
         [](Scene& s, const Call& c) -> Out {
             std::vector<Ref> refs;
             SelectedUnder(s.RequireLayer(c.Handle()), refs);
             return refs;
         }},
        {"layer.moveBefore", [](Scene& s, const Call& c) { return Move(s, c, LayerMove::Before); }},
        {"layer.moveAfter", [](Scene& s, const Call& c) { return Move(s, c, LayerMove::After); }},
        {"layer.moveToBeginning",
         [](Scene& s, const Call& c) { return Move(s, c, LayerMove::ToBeginning); }},
        {"layer.moveToEnd", [](Scene& s, const Call& c) { return Move(s, c, LayerMove::ToEnd); }},
        {"layer.remove",
         [](Scene& s, const Call& c) -> Out {
             return s.RemoveLayer(s.RequireLayer(c.Handle())), Undefined{};
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
