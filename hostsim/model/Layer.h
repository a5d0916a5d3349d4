// A layer of a composition: its switches, times and the two groups the host gives every
// layer here, "ADBE Effect Parade" (Effects) and "ADBE Transform Group" (Transform). Plain
// state; main thread or under the Scene's owner's lock.
#pragma once

#include <cstdint>
#include <string>

#include "Marker.h"
#include "Property.h"
#include "PropertyGroup.h"

namespace hostsim::model {

class Comp;

class Layer final : public PropertyGroup {
public:
    // width, height: the layer's source size (the anchor point is its centre); the position
    // is the composition's centre.
    Layer(std::string name, Comp& comp, double width, double height);

    PropertyGroup& Effects() const;
    PropertyGroup& Transform() const;
    Property& TransformProperty(const std::string& matchName) const;
    // Enabled, inside its in and out points at `time`, and not hidden by another's solo.
    bool Active(double time, bool anySolo) const;

    Comp* comp;
    bool enabled = true, solo = false, shy = false, locked = false, isNull = false;
    double inPoint = 0, outPoint = 0, startTime = 0;
    std::int32_t sourceId = 0;  // the footage item it shows; 0: none
    MarkerList markers;         // its "Marker" property's keys
};

}  // namespace hostsim::model
