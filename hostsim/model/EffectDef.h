// An installed effect as the host lists it, with the parameters an applied instance gets.
#pragma once

#include <string>
#include <vector>

#include "Property.h"

namespace hostsim::model {

struct EffectDef {
    std::string matchName;
    std::string displayName;
    std::string category;
    std::vector<PropertySetup> params = {};  // may be empty: the effect then has no parameters
};

}  // namespace hostsim::model
