#include "Mask.h"

#include "Layer.h"

namespace hostsim::model {
namespace {

const MaskAttribute kAttributes[] = {
    {"maskMode", nullptr, &MaskState::maskMode, 6812, 6818},
    {"maskMotionBlur", nullptr, &MaskState::maskMotionBlur, 7012, 7014},
    {"maskFeatherFalloff", nullptr, &MaskState::maskFeatherFalloff, 7212, 7213},
    {"inverted", &MaskState::inverted},
    {"rotoBezier", &MaskState::rotoBezier},
    {"locked", &MaskState::locked},
    {"color"},
};

}  // namespace

const MaskAttribute* FindMaskAttribute(const std::string& name) {
    for (const auto& a : kAttributes)
        if (name == a.name) return &a;
    return nullptr;
}

nlohmann::json MaskAttributeValue(const MaskState& mask, const MaskAttribute& a) {
    if (a.flag != nullptr) return mask.*a.flag;
    if (a.number != nullptr) return mask.*a.number;
    return mask.color;
}

// The host's ranges: feather 0 to 32000 pixels in each direction, expansion -32000 to 32000.
Mask::Mask(std::string name) : PropertyGroup(std::move(name), "ADBE Mask Atom") {
    Add(std::make_unique<Property>(PropertySetup{"Mask Path", "ADBE Mask Shape"}, Shape{}));
    Add(std::make_unique<Property>(
        PropertySetup{"Mask Feather", "ADBE Mask Feather", ValueType::TwoD, {0, 0}, 0.0, 32000.0}));
    Add(std::make_unique<Property>(
        PropertySetup{"Mask Opacity", "ADBE Mask Opacity", ValueType::OneD, {100}, 0.0, 100.0}));
    Add(std::make_unique<Property>(PropertySetup{
        "Mask Expansion", "ADBE Mask Offset", ValueType::OneD, {0}, -32000.0, 32000.0}));
}

Mask::Mask(const Mask& from) : PropertyGroup(from.name, from.matchName), MaskState(from) {
    for (const auto& child : from.children) Add(CopyNode(*child));
}

bool IsMask(const Node& node) {
    return node.Kind() == NodeKind::Group && node.matchName == "ADBE Mask Atom";
}

}  // namespace hostsim::model
