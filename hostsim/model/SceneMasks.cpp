// The Scene's functions for masks, mask paths and the children of indexed groups (masks and
// effects): added, removed, duplicated, moved and renamed, as the host allows only there.
#include <cmath>

#include "ModelError.h"
#include "Scene.h"

namespace hostsim::model {
namespace {

bool InIndexedGroup(const Node& node) {
    return node.parent != nullptr && KindOf(*node.parent) == PropertyKind::IndexedGroup;
}

void RequireIndexed(const Node& node, const char* method) {
    if (!InIndexedGroup(node))
        ThrowCall(method, "only a child of an indexed group (a mask, an effect) allows it");
}

}  // namespace

Node& Scene::AddProperty(PropertyGroup& group, const std::string& name) {
    if (group.matchName != "ADBE Mask Parade") return AddEffect(group, name);
    if (name != "ADBE Mask Atom" && name != "Mask")
        ThrowParameter("addProperty", 1, "\"" + name + "\" cannot be added to \"Masks\".");
    int number = group.Count() + 1;
    while (group.Find("Mask " + std::to_string(number)) != nullptr) ++number;
    for (auto& sibling : group.children) Register(*sibling);  // earlier references go
    Node& added = group.Add(std::make_unique<Mask>("Mask " + std::to_string(number)));
    Register(added);
    auto where = Where(added);
    where["change"] = "mask added";
    where["name"] = added.name;
    Note(std::move(where));
    return added;
}

void Scene::RemoveProperty(Node& node) {
    if (node.Kind() == NodeKind::Group && static_cast<PropertyGroup&>(node).isEffect)
        return RemoveEffect(static_cast<PropertyGroup&>(node));
    RequireIndexed(node, "remove");
    auto where = Where(node);
    PropertyGroup& group = *node.parent;
    Unregister(node);
    std::erase_if(group.children, [&](const auto& child) { return child.get() == &node; });
    for (auto& sibling : group.children) Register(*sibling);
    where["change"] = "mask removed";
    Note(std::move(where));
}

Node& Scene::DuplicateProperty(Node& node) {
    RequireIndexed(node, "duplicate");
    PropertyGroup& group = *node.parent;
    auto copy = CopyNode(node);
    copy->name =
        NextNumberedName(node.name, [&](const std::string& n) { return group.Find(n) != nullptr; });
    copy->parent = &group;
    const auto at = group.children.begin() + group.IndexOf(node);
    Node& added = **group.children.insert(at, std::move(copy));
    for (auto& sibling : group.children) Register(*sibling);
    auto where = Where(added);
    where["change"] = "property duplicated";
    where["from"] = PathOf(node);
    where["name"] = added.name;
    Note(std::move(where));
    return added;
}

void Scene::MoveProperty(Node& node, int newIndex) {
    RequireIndexed(node, "moveTo");
    PropertyGroup& group = *node.parent;
    if (newIndex < 1 || newIndex > group.Count())
        ThrowParameterRange("moveTo", 1, newIndex, 1, group.Count());
    const int from = group.IndexOf(node);
    auto moved = std::move(group.children[static_cast<std::size_t>(from - 1)]);
    group.children.erase(group.children.begin() + (from - 1));
    group.children.insert(group.children.begin() + (newIndex - 1), std::move(moved));
    for (auto& child : group.children) Register(*child);  // every reference into it goes
    if (from == newIndex) return;
    auto where = Where(group);
    where["change"] = "property moved";
    where["from"] = from;
    where["to"] = newIndex;
    Note(std::move(where));
}

void Scene::SetPropertyName(Node& node, const std::string& name) {
    if (!InIndexedGroup(node))
        throw ModelError(
            "Unable to set \"name\". Only a child of an indexed group can be renamed.");
    node.name = name;
    auto where = Where(node);
    where["change"] = "property name";
    where["name"] = name;
    Note(std::move(where));
}

void Scene::SetMaskAttribute(Mask& mask, const MaskAttribute& a, const nlohmann::json& v) {
    const std::string set = std::string("Unable to set \"") + a.name + "\". ";
    if (a.flag != nullptr) {
        if (!v.is_boolean()) throw ModelError(set + "Value is not a boolean.");
        mask.*a.flag = v.get<bool>();
    } else if (a.number != nullptr) {
        if (!v.is_number() || v.get<double>() != std::floor(v.get<double>()))
            throw ModelError(set + "Value is not a whole number.");
        const double n = v.get<double>();
        if (n < a.min || n > a.max) ThrowAttributeRange(a.name, n, a.min, a.max);
        mask.*a.number = static_cast<int>(n);
    } else {
        if (!v.is_array() || v.size() != 3) throw ModelError(set + "Array of 3 numbers expected.");
        std::array<double, 3> color{};
        for (std::size_t i = 0; i < 3; ++i) {
            if (!v[i].is_number() || !std::isfinite(v[i].get<double>()))
                throw ModelError(set + "Array of 3 numbers expected.");
            color[i] = v[i].get<double>();
            if (color[i] < 0 || color[i] > 1) ThrowAttributeRange(a.name, color[i], 0, 1);
        }
        mask.color = color;
    }
    auto where = Where(mask);
    where["change"] = "mask attribute";
    where["attribute"] = a.name;
    where["to"] = MaskAttributeValue(mask, a);
    Note(std::move(where));
}

Shape Scene::ScriptShapeAt(const Property& p, double time, int key) const {
    if (p.parent != nullptr && IsMask(*p.parent) && static_cast<const Mask&>(*p.parent).rotoBezier)
        throw ModelError(
            "\"value\" is not modelled by the simulated host for a RotoBezier mask (the host "
            "computes its tangents)");
    if (p.ExpressionEnabled())
        throw ModelError(
            "\"value\" is not modelled by the simulated host for a property whose expression is "
            "enabled (expressions are kept, not evaluated)");
    return key > 0 ? p.ShapeOf(p.KeyValue(key)) : p.ShapeAt(time);
}

void Scene::SetShape(Property& p, const Shape& shape) {
    p.SetShape(shape);
    auto where = Where(p);
    where["change"] = "value";
    where["value"] = shape.ToJson();
    Note(std::move(where));
}

void Scene::SetShapeAtTime(Property& p, double t, const Shape& shape) {
    const int before = p.NumKeys();
    p.SetShapeAtTime(t, shape);
    auto where = Where(p);
    where["change"] = p.NumKeys() > before ? "key added" : "key set";
    where["time"] = t;
    where["value"] = shape.ToJson();
    Note(std::move(where));
}

void Scene::SetShapeAtKey(Property& p, int index, const Shape& shape) {
    p.SetShapeAtKey(index, shape);
    auto where = Where(p);
    where["change"] = "key set";
    where["time"] = p.KeyTime(index);
    where["value"] = shape.ToJson();
    Note(std::move(where));
}

}  // namespace hostsim::model
