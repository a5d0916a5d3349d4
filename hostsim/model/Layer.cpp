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

// X, Y and Z Position: the position's dimensions as separate properties, which the host
// shows in its place while its dimensions are separated.
void AddSeparatedPosition(PropertyGroup& transform, const Value& position) {
    static const char* const kNames[][2] = {{"X Position", "ADBE Position_0"},
                                            {"Y Position", "ADBE Position_1"},
                                            {"Z Position", "ADBE Position_2"}};
    for (std::size_t i = 0; i < 3; ++i)
        transform.Add(Make(kNames[i][0], kNames[i][1], ValueType::OneD, {position[i]}));
}

// Camera Options and Light Options with the host's match names, display names and the
// values a new camera or light shows; menus are numbered from 1, switches are 0 or 1.
std::unique_ptr<PropertyGroup> CameraOptions(const Comp& comp) {
    const double zoom = comp.width * 50 / 36;
    auto options = std::make_unique<PropertyGroup>("Camera Options", "ADBE Camera Options Group");
    options->Add(Make("Zoom", "ADBE Camera Zoom", ValueType::OneD, {zoom}, 1.0, 100000.0));
    options->Add(
        Make("Depth of Field", "ADBE Camera Depth of Field", ValueType::OneD, {0}, 0.0, 1.0));
    options->Add(Make("Focus Distance", "ADBE Camera Focus Distance", ValueType::OneD, {zoom}, 1.0,
                      100000.0));
    options->Add(Make("Aperture", "ADBE Camera Aperture", ValueType::OneD, {25.3}, 0.0));
    options->Add(Make("Blur Level", "ADBE Camera Blur Level", ValueType::OneD, {100}, 0.0));
    options->Add(Make("Iris Shape", "ADBE Iris Shape", ValueType::OneD, {1}, 1.0, 10.0));
    options->Add(Make("Iris Rotation", "ADBE Iris Rotation", ValueType::OneD, {0}));
    options->Add(Make("Iris Roundness", "ADBE Iris Roundness", ValueType::OneD, {0}, 0.0, 100.0));
    options->Add(
        Make("Iris Aspect Ratio", "ADBE Iris Aspect Ratio", ValueType::OneD, {1}, 1.0, 100.0));
    options->Add(Make("Iris Diffraction Fringe", "ADBE Iris Diffraction Fringe", ValueType::OneD,
                      {0}, 0.0, 1000.0));
    options->Add(
        Make("Highlight Gain", "ADBE Iris Highlight Gain", ValueType::OneD, {0}, 0.0, 100.0));
    options->Add(Make("Highlight Threshold", "ADBE Iris Highlight Threshold", ValueType::OneD,
                      {255}, 0.0, 255.0));
    options->Add(Make("Highlight Saturation", "ADBE Iris Hightlight Saturation", ValueType::OneD,
                      {0}, 0.0, 100.0));
    return options;
}

std::unique_ptr<PropertyGroup> LightOptions() {
    auto options = std::make_unique<PropertyGroup>("Light Options", "ADBE Light Options Group");
    options->Add(Make("Intensity", "ADBE Light Intensity", ValueType::OneD, {100}));
    options->Add(Make("Color", "ADBE Light Color", ValueType::Color, {1, 1, 1, 1}));
    options->Add(Make("Cone Angle", "ADBE Light Cone Angle", ValueType::OneD, {90}, 0.0, 180.0));
    options->Add(
        Make("Cone Feather", "ADBE Light Cone Feather 2", ValueType::OneD, {50}, 0.0, 100.0));
    options->Add(Make("Falloff", "ADBE Light Falloff Type", ValueType::OneD, {1}, 1.0, 3.0));
    options->Add(Make("Radius", "ADBE Light Falloff Start", ValueType::OneD, {500}, 0.0));
    options->Add(
        Make("Falloff Distance", "ADBE Light Falloff Distance", ValueType::OneD, {500}, 0.0));
    options->Add(Make("Casts Shadows", "ADBE Casts Shadows", ValueType::OneD, {0}, 0.0, 1.0));
    options->Add(
        Make("Shadow Darkness", "ADBE Light Shadow Darkness", ValueType::OneD, {100}, 0.0, 100.0));
    options->Add(
        Make("Shadow Diffusion", "ADBE Light Shadow Diffusion", ValueType::OneD, {0}, 0.0));
    return options;
}

// Material Options of an AV layer: how it takes part in a 3D scene's light. Menus (Off, On,
// Only) are numbered from 0 as the host's scripts write them, switches are 0 or 1.
std::unique_ptr<PropertyGroup> MaterialOptions() {
    struct Entry {
        const char *name, *matchName;
        double value, min, max;
    };
    static const Entry kEntries[] = {
        {"Casts Shadows", "ADBE Casts Shadows", 0, 0, 2},
        {"Light Transmission", "ADBE Light Transmission", 0, 0, 100},
        {"Accepts Shadows", "ADBE Accepts Shadows", 1, 0, 2},
        {"Accepts Lights", "ADBE Accepts Lights", 1, 0, 1},
        {"Appears in Reflections", "ADBE Appears in Reflections", 1, 0, 2},
        {"Ambient", "ADBE Ambient Coefficient", 100, 0, 100},
        {"Diffuse", "ADBE Diffuse Coefficient", 50, 0, 100},
        {"Specular Intensity", "ADBE Specular Coefficient", 50, 0, 100},
        {"Specular Shininess", "ADBE Shininess Coefficient", 5, 0, 100},
        {"Metal", "ADBE Metal Coefficient", 100, 0, 100},
        {"Reflection Intensity", "ADBE Reflection Coefficient", 0, 0, 100},
        {"Reflection Sharpness", "ADBE Glossiness Coefficient", 100, 0, 100},
        {"Reflection Rolloff", "ADBE Fresnel Coefficient", 0, 0, 100},
        {"Transparency", "ADBE Transparency Coefficient", 0, 0, 100},
        {"Transparency Rolloff", "ADBE Transp Rolloff", 0, 0, 100},
        {"Index of Refraction", "ADBE Index of Refraction", 1, 1, 5},
    };
    auto options =
        std::make_unique<PropertyGroup>("Material Options", "ADBE Material Options Group");
    for (const auto& e : kEntries)
        options->Add(Make(e.name, e.matchName, ValueType::OneD, {e.value}, e.min, e.max));
    return options;
}

// A camera's or light's transform: a point of interest where others have an anchor point,
// an orientation and three rotations, no scale or opacity.
std::unique_ptr<PropertyGroup> ThreeDTransform(const Comp& comp) {
    auto transform = std::make_unique<PropertyGroup>("Transform", "ADBE Transform Group");
    transform->Add(Make("Point of Interest", "ADBE Anchor Point", ValueType::ThreeDSpatial,
                        {comp.width / 2, comp.height / 2, 0}));
    transform->Add(Make("Position", "ADBE Position", ValueType::ThreeDSpatial,
                        {comp.width / 2, comp.height / 2, 0}));
    AddSeparatedPosition(*transform, {comp.width / 2, comp.height / 2, 0});
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
        Add(kind == LayerKind::Camera ? CameraOptions(comp) : LightOptions());
        return;
    }
    if (kind == LayerKind::Text) {
        auto text = std::make_unique<PropertyGroup>("Text", "ADBE Text Properties");
        // Its value is the layer's TextDocument; the number it holds is never read.
        text->Add(Make("Source Text", "ADBE Text Document", ValueType::OneD, {0}));
        // The text's path and grouping options, with the properties the scripting guide
        // names (switches are 0 or 1).
        auto path = std::make_unique<PropertyGroup>("Path Options", "ADBE Text Path Options");
        path->Add(Make("Reverse Path", "ADBE Text Reverse Path", ValueType::OneD, {0}, 0.0, 1.0));
        path->Add(Make("Perpendicular To Path", "ADBE Text Perpendicular To Path", ValueType::OneD,
                       {1}, 0.0, 1.0));
        path->Add(
            Make("Force Alignment", "ADBE Text Force Align Path", ValueType::OneD, {0}, 0.0, 1.0));
        path->Add(Make("First Margin", "ADBE Text First Margin", ValueType::OneD, {0}));
        path->Add(Make("Last Margin", "ADBE Text Last Margin", ValueType::OneD, {0}));
        text->Add(std::move(path));
        auto more = std::make_unique<PropertyGroup>("More Options", "ADBE Text More Options");
        more->Add(
            Make("Grouping Alignment", "ADBE Text Anchor Point Align", ValueType::TwoD, {0, 0}));
        text->Add(std::move(more));
        Add(std::move(text));
        this->text = TextDocument{};
    } else if (kind == LayerKind::Shape) {
        auto contents = std::make_unique<PropertyGroup>("Contents", "ADBE Root Vectors Group");
        contents->childrenModelled = false;  // shape groups, paths, fills and strokes
        Add(std::move(contents));
    }
    Add(std::make_unique<PropertyGroup>("Masks", "ADBE Mask Parade"));
    // The source's time at each comp time while time remapping is on; keyed when it is.
    Add(Make("Time Remap", "ADBE Time Remapping", ValueType::OneD, {0}));
    Add(std::make_unique<PropertyGroup>("Effects", "ADBE Effect Parade"));
    auto transform = std::make_unique<PropertyGroup>("Transform", "ADBE Transform Group");
    transform->Add(Make("Anchor Point", "ADBE Anchor Point", ValueType::ThreeDSpatial,
                        {width / 2, height / 2, 0}));
    transform->Add(Make("Position", "ADBE Position", ValueType::ThreeDSpatial,
                        {comp.width / 2, comp.height / 2, 0}));
    AddSeparatedPosition(*transform, {comp.width / 2, comp.height / 2, 0});
    transform->Add(Make("Scale", "ADBE Scale", ValueType::ThreeD, {100, 100, 100}));
    transform->Add(Make("Orientation", "ADBE Orientation", ValueType::ThreeD, {0, 0, 0}));
    transform->Add(Make("X Rotation", "ADBE Rotate X", ValueType::OneD, {0}));
    transform->Add(Make("Y Rotation", "ADBE Rotate Y", ValueType::OneD, {0}));
    transform->Add(Make("Rotation", "ADBE Rotate Z", ValueType::OneD, {0})).alias = "Z Rotation";
    transform->Add(Make("Opacity", "ADBE Opacity", ValueType::OneD, {100}, 0.0, 100.0));
    Add(std::move(transform));
    Add(MaterialOptions());
}

Layer::Layer(const Layer& from, Comp& into)
    : PropertyGroup(from.name, from.matchName, false, NodeKind::Layer), LayerState(from) {
    comp = &into;
    enabled = from.enabled;
    if (&into != from.comp) parentLayer = trackMatteLayer = lightSource = nullptr;
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
        group->childrenModelled = from.childrenModelled;
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
