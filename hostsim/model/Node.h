// What layers, property groups and properties share: names, the parent, and the handle a
// script's reference holds (0 while unregistered; a new one whenever the host invalidates
// earlier references). Plain state, owned by the Scene; main thread or under its lock.
#pragma once

#include <cstdint>
#include <string>

namespace hostsim::model {

class PropertyGroup;

enum class NodeKind { Layer, Group, Property };

class Node {
    NodeKind kind_;

public:
    Node(NodeKind kind, std::string name, std::string matchName)
        : kind_(kind), name(std::move(name)), matchName(std::move(matchName)) {}
    virtual ~Node() = default;
    Node& operator=(const Node&) = delete;

    NodeKind Kind() const { return kind_; }
    // 0 for a layer, 1 for its top groups, one more for each level below.
    int Depth() const {
        int depth = 0;
        for (const Node* at = this; at->parent != nullptr; at = at->ParentNode()) ++depth;
        return depth;
    }
    const Node* ParentNode() const;

    std::string name;
    std::string matchName;
    std::string alias;  // another name the host finds it by ("Z Rotation")
    PropertyGroup* parent = nullptr;
    std::uint64_t handle = 0;
    bool selected = false;

protected:
    // For a copy of a node (CopyNode): the copy is placed, registered and selected anew.
    Node(const Node& other) = default;
};

}  // namespace hostsim::model
