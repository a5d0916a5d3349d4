// A layer of a composition: its kind (an AV layer showing an item or nothing, a text, shape,
// camera or light layer), switches, times, parent and the groups the host gives it:
// "ADBE Effect Parade" (Effects) and "ADBE Transform Group" (Transform) on every kind that
// has them, "ADBE Text Properties" on text layers, "ADBE Root Vectors Group" on shape layers,
// "ADBE Time Remapping" and "ADBE Material Options Group" on AV layers, camera and light
// options. Plain state; main thread or under the Scene's owner's lock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Marker.h"
#include "Property.h"
#include "PropertyGroup.h"
#include "TextDocument.h"

namespace hostsim::model {

class Comp;
class Layer;

enum class LayerKind { AV, Text, Shape, Camera, Light };

// The host's enumerated values the layer attributes take.
inline constexpr int kQualityBest = 4614, kBlendingNormal = 5212, kNoTrackMatte = 5012,
                     kNoAutoOrient = 4212, kNoFrameBlend = 4012, kSamplingBilinear = 4812,
                     kLightPoint = 4414;

// What a copy of the layer takes over as it is: everything but its groups and properties.
struct LayerState {
    Comp* comp = nullptr;
    LayerKind layerKind = LayerKind::AV;
    bool solo = false, shy = false, locked = false, isNull = false;  // enabled: the group's eye
    double inPoint = 0, outPoint = 0, startTime = 0, stretch = 100;
    std::int32_t sourceId = 0;  // the item it shows; 0: none
    double width = 0, height = 0;
    bool nameSet = false;  // named by a script or the user, not by its source or text
    std::string comment;
    Layer* parentLayer = nullptr;  // a layer of the same composition
    int label = 1;
    // AV layers' switches and enumerated attributes, with the host's defaults.
    bool effectsActive = true, adjustmentLayer = false, guideLayer = false, threeDLayer = false,
         motionBlur = false, collapseTransformation = false, preserveTransparency = false,
         timeRemapEnabled = false, audioEnabled = true, environmentLayer = false,
         threeDPerChar = false;
    int quality = kQualityBest, blendingMode = kBlendingNormal, trackMatteType = kNoTrackMatte,
        autoOrient = kNoAutoOrient, frameBlendingType = kNoFrameBlend,
        samplingQuality = kSamplingBilinear, lightType = kLightPoint;
    std::optional<TextDocument> text;  // text layers
    MarkerList markers;                // its "Marker" property's keys
    // Links to other layers of the same composition (LayerSpace.cpp keeps them so): the
    // layer whose alpha or luma mattes this one, and an environment light's 2D layer.
    Layer* trackMatteLayer = nullptr;
    Layer* lightSource = nullptr;
};

// A writable switch or enumerated attribute of a layer, with the values the host takes.
struct LayerAttribute {
    const char* name;
    bool LayerState::*flag = nullptr;   // a switch, or
    int LayerState::*number = nullptr;  // an enumerated or whole-number attribute
    int min = 0, max = 0;               // its values: min..max
    bool avOnly = true;                 // only AV, text and shape layers have it
};
const LayerAttribute* FindLayerAttribute(const std::string& name);  // null when none

class Layer final : public PropertyGroup, public LayerState {
public:
    // width, height: the layer's source size (the anchor point is its centre); the position
    // is the composition's centre.
    Layer(std::string name, Comp& comp, double width, double height,
          LayerKind kind = LayerKind::AV);
    // A copy of `from` in `into`: its state and its groups, properties, keys and effects,
    // with nothing selected; no parent when `into` is another composition.
    Layer(const Layer& from, Comp& into);

    bool IsAV() const {
        return layerKind == LayerKind::AV || layerKind == LayerKind::Text ||
               layerKind == LayerKind::Shape;
    }
    PropertyGroup* EffectsOrNull() const;  // cameras and lights have none
    PropertyGroup& Effects() const;
    PropertyGroup& Transform() const;
    Property& TransformProperty(const std::string& matchName) const;
    Property* SourceText() const;  // text layers: "ADBE Text Document"
    // Enabled, inside its in and out points at `time`, and not hidden by another's solo.
    bool Active(double time, bool anySolo) const;
    // Whether `other` is this layer or one of its parents, up the chain.
    bool IsOrDescendsFrom(const Layer& other) const;

    std::int32_t layerId = 0;  // Layer.id, given when the scene first registers it
};

// A copy of a group or property and everything under it, unregistered and unselected.
std::unique_ptr<Node> CopyNode(const Node& node);

}  // namespace hostsim::model
