#include "Layer.h"

#include "Comp.h"

namespace hostsim::model {
namespace {

std::unique_ptr<Node> Make(const char* name, const char* matchName, ValueType type, Value value,
                           std::optional<double> min = {}, std::optional<double> max = {}) {
    return std::make_unique<Property>(
        PropertySetup{name, matchName, type, std::move(value), min, max});
}

}  // namespace

Layer::Layer(std::string name, Comp& comp, double width, double height)
    : PropertyGroup(std::move(name), "ADBE AV Layer", false, NodeKind::Layer),
      comp(&comp),
      outPoint(comp.duration) {
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

PropertyGroup& Layer::Effects() const { return static_cast<PropertyGroup&>(*children[0]); }
PropertyGroup& Layer::Transform() const { return static_cast<PropertyGroup&>(*children[1]); }

Property& Layer::TransformProperty(const std::string& matchName) const {
    return static_cast<Property&>(*Transform().Find(matchName));
}

bool Layer::Active(double time, bool anySolo) const {
    return enabled && time >= inPoint && time < outPoint && (!anySolo || solo);
}

}  // namespace hostsim::model
