#include "Comp.h"

#include <algorithm>
#include <cmath>

#include "ModelError.h"

namespace hostsim::model {

Comp::Comp(std::int32_t id, const CompSetup& setup)
    : id(id),
      width(setup.width),
      height(setup.height),
      pixelAspect(setup.pixelAspect),
      duration(setup.duration),
      frameRate(setup.frameRate),
      workAreaDuration(setup.duration) {}

void Comp::SetTime(double t) {
    if (!(t >= 0 && t <= duration)) ThrowAttributeRange("time", t, 0, duration);
    time = t;
}

double Comp::StepFrames(int step) const {
    const double frames = std::max(1.0, std::ceil(duration * frameRate - 1e-9));
    const double frame = std::clamp(std::round(time * frameRate) + step, 0.0, frames - 1);
    return frame / frameRate;
}

Layer* Comp::LayerAt(int index) const {
    if (index < 1 || index > NumLayers()) return nullptr;
    return layers[static_cast<std::size_t>(index - 1)].get();
}

Layer* Comp::LayerByName(const std::string& name) const {
    for (const auto& layer : layers)
        if (layer->name == name) return layer.get();
    return nullptr;
}

int Comp::IndexOf(const Layer& layer) const {
    for (std::size_t i = 0; i < layers.size(); ++i)
        if (layers[i].get() == &layer) return static_cast<int>(i) + 1;
    return 0;
}

Layer& Comp::LayerFrom(const Layer& other, int relIndex) const {
    const int at = IndexOf(other);
    if (at == 0) ThrowParameter("layer", 1, "The layer is not in this composition.");
    if (at + relIndex < 1 || at + relIndex > NumLayers())
        ThrowParameterRange("layer", 2, relIndex, 1 - at, NumLayers() - at);
    return *LayerAt(at + relIndex);
}

void Comp::Restack(const Layer& layer, int to) {
    const auto from = layers.begin() + (IndexOf(layer) - 1);
    const auto dest = layers.begin() + (to - 1);
    if (from < dest)
        std::rotate(from, from + 1, dest + 1);
    else
        std::rotate(dest, from, from + 1);
}

bool Comp::AnySolo() const {
    return std::any_of(layers.begin(), layers.end(), [](const auto& l) { return l->solo; });
}

std::vector<Layer*> Comp::SelectedLayers() const {
    std::vector<Layer*> selected;
    for (const auto& layer : layers)
        if (layer->selected) selected.push_back(layer.get());
    return selected;
}

}  // namespace hostsim::model
