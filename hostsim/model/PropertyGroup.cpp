#include "PropertyGroup.h"

namespace hostsim::model {

const Node* Node::ParentNode() const { return static_cast<const Node*>(parent); }

Node* PropertyGroup::Find(const std::string& name) const {
    for (const auto& child : children)
        if (child->name == name || child->matchName == name ||
            (!child->alias.empty() && child->alias == name))
            return child.get();
    return nullptr;
}

Node* PropertyGroup::At(int index) const {
    if (index < 1 || index > Count()) return nullptr;
    return children[static_cast<std::size_t>(index - 1)].get();
}

int PropertyGroup::IndexOf(const Node& child) const {
    for (std::size_t i = 0; i < children.size(); ++i)
        if (children[i].get() == &child) return static_cast<int>(i) + 1;
    return 0;
}

Node& PropertyGroup::Add(std::unique_ptr<Node> child) {
    child->parent = this;
    children.push_back(std::move(child));
    return *children.back();
}

}  // namespace hostsim::model
