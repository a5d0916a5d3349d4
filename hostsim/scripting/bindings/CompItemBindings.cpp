// The script bindings of CompItem and LayerCollection: time, settings and attributes by name,
// layers, new layers.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {

std::span<const OpEntry> CompItemOps() {
    static const OpEntry ops[] = {
        {"comp.time",
         [](Scene& s, const Call& c) -> Out { return s.RequireComp(c.ItemId()).time; }},
        {"comp.time=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetTime(s.RequireComp(c.ItemId()), c.SetNumber("time")), Undefined{};
         }},
        {"comp.attribute",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireComp(c.ItemId()).Attribute(c.Text(0));
         }},
        {"comp.attribute=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetCompAttribute(s.RequireComp(c.ItemId()), c.Text(0), ArgJson(c.At(1))),
                    Undefined{};
         }},
        {"comp.numLayers",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.RequireComp(c.ItemId()).NumLayers());
         }},
        {"comp.hideShyLayers",
         [](Scene& s, const Call& c) -> Out { return s.RequireComp(c.ItemId()).hideShyLayers; }},
        {"comp.hideShyLayers=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetHideShy(s.RequireComp(c.ItemId()), c.Flag()), Undefined{};
         }},
        {"comp.layer",
         [](Scene& s, const Call& c) -> Out {
             const model::Comp& comp = s.RequireComp(c.ItemId());
             // layer(otherLayer, relIndex): the script half passes two arguments only then.
             if (c.args.size() == 2) return NodeRef(comp.LayerFrom(LayerArg(s, c, 0), c.Index(1)));
             if (c.At(0).type == Arg::Text) return NodeOrNull(comp.LayerByName(c.At(0).text));
             const int i = c.Index(0);
             if (i < 1 || i > comp.NumLayers())
                 model::ThrowParameterRange("layer", 1, i, 1, comp.NumLayers());
             return NodeRef(*comp.LayerAt(i));
         }},
        {"comp.layers",
         [](Scene& s, const Call& c) -> Out {
             std::vector<Ref> refs;
             for (const auto& layer : s.RequireComp(c.ItemId()).layers)
                 refs.push_back(NodeRef(*layer));
             return refs;
         }},
        {"comp.selectedLayers",
         [](Scene& s, const Call& c) -> Out {
             std::vector<Ref> refs;
             for (const auto* layer : s.RequireComp(c.ItemId()).SelectedLayers())
                 refs.push_back(NodeRef(*layer));
             return refs;
         }},
        {"comp.selectedProperties",
         [](Scene& s, const Call& c) -> Out {
             std::vector<Ref> refs;
             for (const auto& layer : s.RequireComp(c.ItemId()).layers) SelectedUnder(*layer, refs);
             return refs;
         }},
        {"comp.addSolid",
         [](Scene& s, const Call& c) -> Out {
             model::Comp& comp = s.RequireComp(c.ItemId());
             return NodeRef(s.AddSolid(comp, c.Value(0), c.Text(1), c.Number(2), c.Number(3),
                                       c.Number(4), c.NumberOr(5, comp.duration)));
         }},
        {"comp.addNull",
         [](Scene& s, const Call& c) -> Out {
             model::Comp& comp = s.RequireComp(c.ItemId());
             return NodeRef(s.AddNull(comp, c.NumberOr(0, comp.duration)));
         }},
        {"comp.openInViewer",
         [](Scene& s, const Call& c) -> Out {
             return s.OpenInViewer(s.RequireComp(c.ItemId())), Ref{'v', 1};
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
