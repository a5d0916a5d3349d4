// An installed effect as the host lists it, with the parameters an applied instance gets.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Property.h"

namespace hostsim::model {

struct EffectDef {
    std::string matchName;
    std::string displayName;
    std::string category;
    // Empty: the effect has no parameters. Unset: the list does not say which it has, so an
    // applied instance's parameters are not modelled.
    std::optional<std::vector<PropertySetup>> params = std::nullopt;
};

}  // namespace hostsim::model
