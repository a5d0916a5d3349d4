#include "PropertyGroup.h"

#include <cctype>

#include "ModelError.h"

namespace hostsim::model {

const Node* Node::ParentNode() const { return static_cast<const Node*>(parent); }

Node* PropertyGroup::Find(const std::string& name) const {
    for (const auto& child : children)
        if (child->name == name || child->matchName == name ||
            (!child->alias.empty() && child->alias == name))
            return child.get();
    for (const auto& child : children)
        if (IntercapName(child->name) == name ||
            (!child->alias.empty() && IntercapName(child->alias) == name))
            return child.get();
    return nullptr;
}

std::string IntercapName(const std::string& name) {
    std::string out;
    bool wordStart = true;
    for (const char c : name) {
        if (c == ' ') {
            wordStart = true;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out += !wordStart || byte >= 0x80 ? c
               : out.empty()              ? static_cast<char>(std::tolower(byte))
                                          : static_cast<char>(std::toupper(byte));
        wordStart = false;
    }
    return out;
}

void PropertyGroup::RequireModelledChildren(const char* member) const {
    if (!childrenModelled)
        throw ModelError(std::string("\"") + member +
                         "\" is not modelled by the simulated host for the properties of \"" +
                         name + "\"");
}

std::string NextNumberedName(const std::string& name,
                             const std::function<bool(const std::string&)>& taken) {
    std::string base = name;
    long number = 1;
    const auto space = name.find_last_of(' ');
    if (space != std::string::npos && space + 1 < name.size() && name.size() - space < 10 &&
        name.find_first_not_of("0123456789", space + 1) == std::string::npos) {
        base = name.substr(0, space);
        number = std::stol(name.substr(space + 1));
    }
    std::string next;
    do next = base + " " + std::to_string(++number);
    while (taken(next));
    return next;
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
