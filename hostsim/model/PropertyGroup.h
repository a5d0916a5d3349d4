// A group of properties (a layer's Transform, its Effects, one applied effect): children in
// order, found by display name, match name, the "intercap" form of the display name, or
// 1-based index. Plain state; main thread or under the Scene's owner's lock.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Node.h"

namespace hostsim::model {

class PropertyGroup : public Node {
public:
    PropertyGroup(std::string name, std::string matchName, bool isEffect = false,
                  NodeKind kind = NodeKind::Group)
        : Node(kind, std::move(name), std::move(matchName)), isEffect(isEffect) {}

    // Null when none has that name; a display or match name before an intercap one.
    Node* Find(const std::string& name) const;
    Node* At(int index) const;             // 1-based; null when out of range
    int IndexOf(const Node& child) const;  // 1-based; 0 when not a child
    int Count() const { return static_cast<int>(children.size()); }
    Node& Add(std::unique_ptr<Node> child);

    // Throws the "not modelled" error naming member when this group's children are not
    // modelled (an effect whose parameters the effects list does not give, a shape layer's
    // contents), so that a script looking into it fails rather than finding nothing.
    void RequireModelledChildren(const char* member) const;

    std::vector<std::unique_ptr<Node>> children;
    const bool isEffect;
    bool enabled = true;  // the eye switch: an effect's, a layer's video
    bool childrenModelled = true;
};

// The form a script may also write a display name in: the words joined, the first letter in
// lower case and each later word's first letter in upper case ("Anchor Point" -> "anchorPoint",
// "Z Rotation" -> "zRotation", "Gaussian Blur" -> "gaussianBlur").
std::string IntercapName(const std::string& name);

// The name a copy takes, as the host names copies: "Comp 1" -> "Comp 2", "Glow" -> "Glow 2",
// the next number for which taken(name) is false.
std::string NextNumberedName(const std::string& name,
                             const std::function<bool(const std::string&)>& taken);

}  // namespace hostsim::model
