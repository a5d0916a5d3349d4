#include "Layer.h"

#include "Comp.h"
#include "Mask.h"

namespace hostsim::model {
namespace {

std::unique_ptr<Node> Make(const char* name, const char* matchName, ValueType type, Value value,
                           std::optional<double> min = {}, std::optional<double> max = {}) {
    return std::make_unique<Property>(
        PropertySetup{name, matchName, type, std::move(value), min, max});
}

const char* MatchName(LayerKind kind) {
    switch (kind) {
        case LayerKind::AV:
            return "ADBE AV Layer";
        case LayerKind::Text:
            return "ADBE Text Layer";
        case LayerKind::Shape:
            return "ADBE Vector Layer";
        case LayerKind::Camera:
            return "ADBE Camera Layer";
        case LayerKind::Light:
            return "ADBE Light Layer";
    }
    return "ADBE AV Layer";
}

// A camera's or light's transform: a point of interest where others have an anchor point,
// an orientation and three rotations, no scale or opacity.
std::unique_ptr<PropertyGroup> ThreeDTransform(const Comp& comp) {
    auto transform = std::make_unique<PropertyGroup>("Transform", "ADBE Transform Group");
    transform->Add(Make("Point of Interest", "ADBE Anchor Point", ValueType::ThreeDSpatial,
                        {comp.width / 2, comp.height / 2, 0}));
    transform->Add(Make("Position", "ADBE Position", ValueType::ThreeDSpatial,
                        {comp.width / 2, comp.height / 2, 0}));
    transform->Add(Make("Orientation", "ADBE Orientation", ValueType::ThreeD, {0, 0, 0}));
    transform->Add(Make("X Rotation", "ADBE Rotate X", ValueType::OneD, {0}));
    transform->Add(Make("Y Rotation", "ADBE Rotate Y", ValueType::OneD, {0}));
    transform->Add(Make("Z Rotation", "ADBE Rotate Z", ValueType::OneD, {0})).alias = "Rotation";
    return transform;
}

// Switches, and enumerated attributes with the host's values (its enumerations' ranges).
const LayerAttribute kAttributes[] = {
    {"effectsActive", &LayerState::effectsActive},
    {"adjustmentLayer", &LayerState::adjustmentLayer},
    {"guideLayer", &LayerState::guideLayer},
    {"threeDLayer", &LayerState::threeDLayer},
    {"motionBlur", &LayerState::motionBlur},
    {"collapseTransformation", &LayerState::collapseTransformation},
    {"preserveTransparency", &LayerState::preserveTransparency},
    {"timeRemapEnabled", &LayerState::timeRemapEnabled},
    {"audioEnabled", &LayerState::audioEnabled},
    {"environmentLayer", &LayerState::environmentLayer},
    {"threeDPerChar", &LayerState::threeDPerChar},
    {"quality", nullptr, &LayerState::quality, 4612, 4614},
    {"blendingMode", nullptr, &LayerState::blendingMode, 5212, 5249},
    {"trackMatteType", nullptr, &LayerState::trackMatteType, 5012, 5016},
    {"autoOrient", nullptr, &LayerState::autoOrient, 4212, 4215, false},
    {"frameBlendingType", nullptr, &LayerState::frameBlendingType, 4012, 4014},
    {"samplingQuality", nullptr, &LayerState::samplingQuality, 4812, 4813},
    {"label", nullptr, &LayerState::label, 0, 16, false},
    {"lightType", nullptr, &LayerState::lightType, 4412, 4415, false},
};

}  // namespace

const LayerAttribute* FindLayerAttribute(const std::string& name) {
    for (const auto& a : kAttributes)
        if (name == a.name) return &a;
    return nullptr;
}

Layer::Layer(std::string name, Comp& comp, double width, double height, LayerKind kind)
    : PropertyGroup(std::move(name), MatchName(kind), false, NodeKind::Layer), LayerState() {
    this->comp = &comp;
    layerKind = kind;
    outPoint = comp.duration;
    this->width = width;
    this->height = height;
    if (kind == LayerKind::Camera || kind == LayerKind::Light) {
        Add(ThreeDTransform(comp));
        auto options =
            kind == LayerKind::Camera
                ? std::make_unique<PropertyGroup>("Camera Options", "ADBE Camera Options Group")
                : std::make_unique<PropertyGroup>("Light Options", "ADBE Light Options Group");
        if (kind == LayerKind::Camera)
            options->Add(Make("Zoom", "ADBE Camera Zoom", ValueType::OneD, {comp.width * 50 / 36},
                              1.0, 100000.0));
        else {
            options->Add(Make("Intensity", "ADBE Light Intensity", ValueType::OneD, {100}));
            options->Add(Make("Color", "ADBE Light Color", ValueType::Color, {1, 1, 1, 1}));
        }
        Add(std::move(options));
        return;
    }
    if (kind == LayerKind::Text) {
        auto text = std::make_unique<PropertyGroup>("Text", "ADBE Text Properties");
        // Its value is the layer's TextDocument; the number it holds is never read.
        text->Add(Make("Source Text", "ADBE Text Document", ValueType::OneD, {0}));
        Add(std::move(text));
        this->text = TextDocument{};
    } else if (kind == LayerKind::Shape) {
        Add(std::make_unique<PropertyGroup>("Contents", "ADBE Root Vectors Group"));
    }
    Add(std::make_unique<PropertyGroup>("Masks", "ADBE Mask Parade"));
    Add(std::make_unique<PropertyGroup>("Effects", "ADBE Effect Parade"));
    auto transform = std::make_unique<PropertyGroup>("Transform", "ADBE Transform Group");
    transform->Add(Make("Anchor Point", "ADBE Anchor Point", ValueType::ThreeDSpatial,
                        {width / 2, height / 2, 0}));
    transform->Add(Make("Position", "ADBE Position", ValueType::ThreeDSpatial,
                        {comp.width / 2, comp.height / 2, 0}));
    transform->Add(Make("Scale", "ADBE Scale", ValueType::ThreeD, {100, 100, 100}));
    transform->Add(Make("Rotation", "ADBE Rotate Z", ValueType::OneD, {0})).alias = "Z Rotation";
    transform->Add(Make("Opacity", "ADBE Opacity", ValueType::OneD, {100}, 0.0, 100.0));
    Add(std::move(transform));
}

Layer::Layer(const Layer& from, Comp& into)
    : PropertyGroup(from.name, from.matchName, false, NodeKind::Layer), LayerState(from) {
    comp = &into;
    enabled = from.enabled;
    if (&into != from.comp) parentLayer = nullptr;
    for (const auto& child : from.children) Add(CopyNode(*child));
}

PropertyGroup* Layer::EffectsOrNull() const {
    return static_cast<PropertyGroup*>(Find("ADBE Effect Parade"));
}

PropertyGroup& Layer::Effects() const { return *EffectsOrNull(); }

PropertyGroup& Layer::Transform() const {
    return static_cast<PropertyGroup&>(*Find("ADBE Transform Group"));
}

Property& Layer::TransformProperty(const std::string& matchName) const {
    return static_cast<Property&>(*Transform().Find(matchName));
}

Property* Layer::SourceText() const {
    if (layerKind != LayerKind::Text) return nullptr;
    auto* group = static_cast<PropertyGroup*>(Find("ADBE Text Properties"));
    return static_cast<Property*>(group->Find("ADBE Text Document"));
}

bool Layer::Active(double time, bool anySolo) const {
    return enabled && time >= inPoint && time < outPoint && (!anySolo || solo);
}

bool Layer::IsOrDescendsFrom(const Layer& other) const {
    for (const Layer* at = this; at != nullptr; at = at->parentLayer)
        if (at == &other) return true;
    return false;
}

std::unique_ptr<Node> CopyNode(const Node& node) {
    std::unique_ptr<Node> copy;
    if (node.Kind() == NodeKind::Property) {
        auto property = std::make_unique<Property>(static_cast<const Property&>(node));
        for (const int key : property->SelectedKeys()) property->SetKeySelected(key, false);
        copy = std::move(property);
    } else if (IsMask(node)) {
        copy = std::make_unique<Mask>(static_cast<const Mask&>(node));
    } else {
        const auto& from = static_cast<const PropertyGroup&>(node);
        auto group = std::make_unique<PropertyGroup>(from.name, from.matchName, from.isEffect);
        group->enabled = from.enabled;
        for (const auto& child : from.children) group->Add(CopyNode(*child));
        copy = std::move(group);
    }
    copy->alias = node.alias;
    copy->parent = nullptr;
    copy->handle = 0;
    copy->selected = false;
    return copy;
}

}  // namespace hostsim::model
