// The script bindings of PropertyBase: names, place in the tree, kind, selection.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {

std::span<const OpEntry> PropertyBaseOps() {
    static const OpEntry ops[] = {
        {"node.name", [](Scene& s, const Call& c) -> Out { return s.Require(c.Handle()).name; }},
        {"node.name=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetPropertyName(s.Require(c.Handle()), c.Text(0)), Undefined{};
         }},
        {"node.matchName",
         [](Scene& s, const Call& c) -> Out { return s.Require(c.Handle()).matchName; }},
        {"node.propertyDepth",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.Require(c.Handle()).Depth());
         }},
        {"node.propertyIndex",
         [](Scene& s, const Call& c) -> Out {
             const model::Node& n = s.Require(c.Handle());
             if (n.parent != nullptr) return static_cast<double>(n.parent->IndexOf(n));
             const auto& layer = static_cast<const model::Layer&>(n);  // only layers have none
             return static_cast<double>(layer.comp->IndexOf(layer));
         }},
        {"node.parentProperty",
         [](Scene& s, const Call& c) -> Out {
             const model::Node& n = s.Require(c.Handle());
             return NodeOrNull(n.ParentNode());
         }},
        {"node.isEffect",
         [](Scene& s, const Call& c) -> Out {
             const model::Node& n = s.Require(c.Handle());
             return n.Kind() == model::NodeKind::Group &&
                    static_cast<const model::PropertyGroup&>(n).isEffect;
         }},
        // PropertyType's numbers, as the JS side's global has them.
        {"node.propertyType",
         [](Scene& s, const Call& c) -> Out {
             switch (model::KindOf(s.Require(c.Handle()))) {
                 case model::PropertyKind::Property:
                     return 6212.0;
                 case model::PropertyKind::NamedGroup:
                     return 6213.0;
                 case model::PropertyKind::IndexedGroup:
                     return 6214.0;
             }
             return 6212.0;
         }},
        {"node.isModified",
         [](Scene& s, const Call& c) -> Out { return model::IsModified(s.Require(c.Handle())); }},
        // The eye switch: an effect's, a layer's video switch; true and fixed on the rest.
        {"node.enabled",
         [](Scene& s, const Call& c) -> Out {
             const model::Node& n = s.Require(c.Handle());
             if (n.Kind() == model::NodeKind::Layer)
                 return static_cast<const model::Layer&>(n).enabled;
             return n.Kind() == model::NodeKind::Property ||
                    static_cast<const model::PropertyGroup&>(n).enabled;
         }},
        {"node.enabled=",
         [](Scene& s, const Call& c) -> Out {
             model::Node& n = s.Require(c.Handle());
             if (n.Kind() == model::NodeKind::Layer)
                 s.SetSwitch(static_cast<model::Layer&>(n), model::Switch::Enabled, c.Flag());
             else
                 s.SetEffectEnabled(n, c.Flag());
             return Undefined{};
         }},
        {"node.canSetEnabled",
         [](Scene& s, const Call& c) -> Out {
             const model::Node& n = s.Require(c.Handle());
             return n.Kind() == model::NodeKind::Layer ||
                    (n.Kind() == model::NodeKind::Group &&
                     static_cast<const model::PropertyGroup&>(n).isEffect);
         }},
        {"node.selected",
         [](Scene& s, const Call& c) -> Out { return s.Require(c.Handle()).selected; }},
        {"node.selected=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetPropertySelected(s.Require(c.Handle()), c.Flag()), Undefined{};
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
