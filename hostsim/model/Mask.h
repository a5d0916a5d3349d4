// A mask of a layer ("ADBE Mask Atom" in the layer's "ADBE Mask Parade"): its mode, switches,
// motion blur, feather falloff and outline colour, and its four properties: "Mask Path" (a
// Shape), "Mask Feather", "Mask Opacity" and "Mask Expansion". Plain state; main thread or
// under the Scene's owner's lock.
#pragma once

#include <array>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "Property.h"
#include "PropertyGroup.h"

namespace hostsim::model {

// The host's enumerated values: MaskMode.ADD, MaskMotionBlur.SAME_AS_LAYER,
// MaskFeatherFalloff.FFO_SMOOTH.
inline constexpr int kMaskModeAdd = 6813, kMaskMotionBlurSameAsLayer = 7012,
                     kMaskFeatherFalloffSmooth = 7212;

struct MaskState {
    int maskMode = kMaskModeAdd, maskMotionBlur = kMaskMotionBlurSameAsLayer,
        maskFeatherFalloff = kMaskFeatherFalloffSmooth;
    bool inverted = false, rotoBezier = false, locked = false;
    std::array<double, 3> color{1, 1, 0};  // the outline drawn in the panels
};

// A writable attribute of a mask with the values it takes: a switch, an enumerated value
// (min..max, the enumeration's numbers) or the colour.
struct MaskAttribute {
    const char* name;
    bool MaskState::*flag = nullptr;
    int MaskState::*number = nullptr;
    int min = 0, max = 0;
};
const MaskAttribute* FindMaskAttribute(const std::string& name);  // null when none
nlohmann::json MaskAttributeValue(const MaskState& mask, const MaskAttribute& a);

class Mask final : public PropertyGroup, public MaskState {
public:
    explicit Mask(std::string name);
    Mask(const Mask& from);  // its state, properties and keys; unregistered

    Property& Path() const { return static_cast<Property&>(*Find("ADBE Mask Shape")); }
};

bool IsMask(const Node& node);  // an "ADBE Mask Atom"

}  // namespace hostsim::model
