// The script bindings of PropertyGroup: children by index or name, effects added and removed.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

model::Node* Child(const model::PropertyGroup& group, const Call& c) {
    if (c.At(0).type == Arg::Number) {
        const int index = c.Index(0);
        if (index < 1 || index > group.Count())
            model::ThrowParameterRange("property", 1, index, 1, group.Count());
        return group.At(index);
    }
    model::Node* found = group.Find(c.Text(0));
    // A layer finds its transform properties by name too, as the host's shortcuts do, and a
    // text layer its "Source Text".
    if (found == nullptr && group.Kind() == model::NodeKind::Layer) {
        const auto& layer = static_cast<const model::Layer&>(group);
        found = layer.Transform().Find(c.At(0).text);
        if (found == nullptr && layer.SourceText() != nullptr)
            found = layer.SourceText()->parent->Find(c.At(0).text);
    }
    return found;
}

}  // namespace

std::span<const OpEntry> PropertyGroupOps() {
    static const OpEntry ops[] = {
        {"group.numProperties",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.RequireGroup(c.Handle()).Count());
         }},
        {"group.property",
         [](Scene& s, const Call& c) -> Out {
             return NodeOrNull(Child(s.RequireGroup(c.Handle()), c));
         }},
        {"group.attributeNames",
         [](Scene& s, const Call& c) -> Out {
             std::vector<std::string> names;
             for (const auto& child : s.RequireGroup(c.Handle()).children)
                 names.push_back(model::IntercapName(child->name));
             return nlohmann::json(names);
         }},
        {"group.canAddProperty",
         [](Scene& s, const Call& c) -> Out {
             const model::PropertyGroup& g = s.RequireGroup(c.Handle());
             if (g.matchName == "ADBE Mask Parade")
                 return c.Text(0) == "ADBE Mask Atom" || c.Text(0) == "Mask";
             return g.matchName == "ADBE Effect Parade" && s.FindEffect(c.Text(0)) != nullptr;
         }},
        {"group.addProperty",
         [](Scene& s, const Call& c) -> Out {
             return NodeRef(s.AddProperty(s.RequireGroup(c.Handle()), c.Text(0)));
         }},
        {"group.remove",
         [](Scene& s, const Call& c) -> Out {
             return s.RemoveProperty(s.Require(c.Handle())), Undefined{};
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
