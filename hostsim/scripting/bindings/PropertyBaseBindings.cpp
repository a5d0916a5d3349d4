// The script bindings of PropertyBase: names, place in the tree, kind, selection.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {

std::span<const OpEntry> PropertyBaseOps() {
    static const OpEntry ops[] = {
        {"node.name", [](Scene& s, const Call& c) -> Out { return s.Require(c.Handle()).name; }},
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
        // Masks, moves and copies within indexed groups, ancestors. No group the model has is
        // elided (hidden in the Timeline panel, as a text layer's "Text Animators" is).
        {"node.isMask",
         [](Scene& s, const Call& c) -> Out { return model::IsMask(s.Require(c.Handle())); }},
        {"node.elided",
         [](Scene& s, const Call& c) -> Out { return s.Require(c.Handle()), false; }},
        // An effect's or a property's: its eye switch, read-only (a layer answers its own).
        {"node.active",
         [](Scene& s, const Call& c) -> Out {
             const model::Node& n = s.Require(c.Handle());
             return n.Kind() == model::NodeKind::Property ||
                    static_cast<const model::PropertyGroup&>(n).enabled;
         }},
        {"node.name=",
         [](Scene& s, const Call& c) -> Out {
             if (c.At(0).type != Arg::Text)
                 throw ModelError("Unable to set \"name\". Value is not a string.");
             return s.SetPropertyName(s.Require(c.Handle()), c.At(0).text), Undefined{};
         }},
        {"node.moveTo",
         [](Scene& s, const Call& c) -> Out {
             model::Node& n = s.Require(c.Handle());
             return s.MoveProperty(n, c.Index(0)), Undefined{};
         }},
        {"node.duplicate",
         [](Scene& s, const Call& c) -> Out {
             return NodeRef(s.DuplicateProperty(s.Require(c.Handle())));
         }},
        {"node.remove",
         [](Scene& s, const Call& c) -> Out {
             return s.RemoveProperty(s.Require(c.Handle())), Undefined{};
         }},
        // propertyGroup(countUp): the ancestor countUp levels up, 1 to propertyDepth.
        {"node.propertyGroup",
         [](Scene& s, const Call& c) -> Out {
             const model::Node& n = s.Require(c.Handle());
             const int up = c.At(0).type == Arg::Undefined ? 1 : c.Index(0);
             if (up < 1 || up > n.Depth())
                 model::ThrowParameterRange("propertyGroup", 1, up, 1, n.Depth());
             const model::Node* at = &n;
             for (int i = 0; i < up; ++i) at = at->ParentNode();
             return NodeRef(*at);
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
