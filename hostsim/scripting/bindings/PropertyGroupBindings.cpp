// The script bindings of PropertyGroup: children by index or name, effects added and removed.
#include <cctype>

#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

model::Node* Child(const model::PropertyGroup& group, const Call& c) {
    group.RequireModelledChildren("property");
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

// Whether name can be written as an attribute: letters, digits, '_' and '$', not first a digit.
bool IsWord(const std::string& name) {
    if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$') return false;
    return true;
}

}  // namespace

std::span<const OpEntry> PropertyGroupOps() {
    static const OpEntry ops[] = {
        {"group.numProperties",
         [](Scene& s, const Call& c) -> Out {
             const model::PropertyGroup& g = s.RequireGroup(c.Handle());
             g.RequireModelledChildren("numProperties");
             return static_cast<double>(g.Count());
         }},
        {"group.property",
         [](Scene& s, const Call& c) -> Out {
             return NodeOrNull(Child(s.RequireGroup(c.Handle()), c));
         }},
        {"group.attributeNames",
         [](Scene& s, const Call& c) -> Out {
             std::vector<std::string> names;
             for (const auto& child : s.RequireGroup(c.Handle()).children) {
                 names.push_back(model::IntercapName(child->name));
                 // A display name that is a plain word is one too ("Blurriness").
                 if (IsWord(child->name) && child->name != names.back())
                     names.push_back(child->name);
             }
             return nlohmann::json(names);
         }},
        {"group.canAddProperty",
         [](Scene& s, const Call& c) -> Out {
             const model::PropertyGroup& g = s.RequireGroup(c.Handle());
             g.RequireModelledChildren("canAddProperty");
             if (g.matchName == "ADBE Mask Parade")
                 return c.Text(0) == "ADBE Mask Atom" || c.Text(0) == "Mask";
             return g.matchName == "ADBE Effect Parade" && s.FindEffect(c.Text(0)) != nullptr;
         }},
        {"group.addProperty",
         [](Scene& s, const Call& c) -> Out {
             model::PropertyGroup& g = s.RequireGroup(c.Handle());
             g.RequireModelledChildren("addProperty");
             return NodeRef(s.AddProperty(g, c.Text(0)));
         }},
        {"group.remove",
         [](Scene& s, const Call& c) -> Out {
             return s.RemoveProperty(s.Require(c.Handle())), Undefined{};
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
