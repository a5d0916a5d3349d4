#include "Comp.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "ModelError.h"

namespace hostsim::model {
namespace {

using nlohmann::json;

// The settings the host only stores. Its guide gives no list of renderers: these are the
// classic and the advanced 3D renderer's names.
const std::vector<std::string_view> kRenderers = {"ADBE Advanced 3d", "ADBE Ernst"};
const SettingRule kCompRules[] = {
    {"bgColor", SettingKind::Color, json::array({0, 0, 0})},
    {"shutterAngle", SettingKind::Integer, 180, 0, 720},
    {"shutterPhase", SettingKind::Integer, -90, -360, 360},
    {"motionBlur", SettingKind::Flag, false},
    {"motionBlurSamplesPerFrame", SettingKind::Integer, 16, 2, 64},
    {"motionBlurAdaptiveSampleLimit", SettingKind::Integer, 128, 16, 256},
    {"draft3d", SettingKind::Flag, false},
    {"frameBlending", SettingKind::Flag, false},
    {"preserveNestedFrameRate", SettingKind::Flag, false},
    {"preserveNestedResolution", SettingKind::Flag, false},
    {"dropFrame", SettingKind::Flag, false},
    {"resolutionFactor", SettingKind::IntPair, json::array({1, 1}), 1, 99},
    {"renderer", SettingKind::Text, "ADBE Advanced 3d", 0, 0, {}, kRenderers},
    {"motionGraphicsTemplateName", SettingKind::Text, ""},
};

// Times that differ by less than this are one time: 10 - 9.96 is a hair under 0.04, and the
// playhead at 0.04 must still fit as the work area's start.
constexpr double kSameTime = 1e-9;

double Checked(std::string_view name, const json& v, double min, double max, bool whole = false,
               double slack = 0) {
    const std::string attribute(name);
    if (!v.is_number() || !std::isfinite(v.get<double>()))
        throw ModelError("Unable to set \"" + attribute + "\". Value is not a number.");
    const double n = v.get<double>();
    if (whole && n != std::floor(n))
        throw ModelError("Unable to set \"" + attribute + "\". Value is not a whole number.");
    if (n < min - slack || n > max + slack) ThrowAttributeRange(attribute, n, min, max);
    return n;
}

}  // namespace

Comp::Comp(std::int32_t id, const CompSetup& setup)
    : id(id),
      width(setup.width),
      height(setup.height),
      pixelAspect(setup.pixelAspect),
      duration(setup.duration),
      frameRate(setup.frameRate),
      workAreaDuration(setup.duration),
      settings(kCompRules) {}

json Comp::Attribute(std::string_view name) const {
    // Video without audio, proxy or camera (the model has no camera layers).
    if (name == "hasVideo") return true;
    if (name == "hasAudio" || name == "footageMissing" || name == "useProxy") return false;
    if (name == "proxySource" || name == "activeCamera") return nullptr;
    if (name == "renderers") {
        json out = json::array();
        for (const auto text : kRenderers) out.push_back(std::string(text));
        return out;
    }
    if (name == "duration") return duration;
    if (name == "frameRate") return frameRate;
    if (name == "frameDuration") return FrameDuration();
    if (name == "width") return width;
    if (name == "height") return height;
    if (name == "pixelAspect") return pixelAspect;
    if (name == "workAreaStart") return workAreaStart;
    if (name == "workAreaDuration") return workAreaDuration;
    if (name == "displayStartTime") return displayStartTime;
    if (name == "displayStartFrame") return std::round(displayStartTime * frameRate);
    return settings.Get(name);
}

json Comp::SetAttribute(std::string_view name, const json& v) {
    if (name == "duration") {
        duration = Checked(name, v, kMinCompDuration, kMaxCompDuration);
        // What lay past the new end is pulled in: the playhead and the work area.
        time = std::min(time, duration);
        workAreaStart = std::min(workAreaStart, std::max(0.0, duration - FrameDuration()));
        workAreaDuration = std::min(workAreaDuration, duration - workAreaStart);
    } else if (name == "frameRate") {
        frameRate = Checked(name, v, kMinFrameRate, kMaxFrameRate);
    } else if (name == "frameDuration") {
        frameRate = 1.0 / Checked(name, v, 1.0 / kMaxFrameRate, 1.0 / kMinFrameRate);
    } else if (name == "width") {
        width = Checked(name, v, kMinCompSize, kMaxCompSize, true);
    } else if (name == "height") {
        height = Checked(name, v, kMinCompSize, kMaxCompSize, true);
    } else if (name == "pixelAspect") {
        pixelAspect = Checked(name, v, kMinPixelAspect, kMaxPixelAspect);
    } else if (name == "workAreaStart") {
        // The work area keeps its length and stays within the composition.
        workAreaStart = Checked(name, v, 0, duration - workAreaDuration, false, kSameTime);
    } else if (name == "workAreaDuration") {
        workAreaDuration = Checked(name, v, std::min(FrameDuration(), duration - workAreaStart),
                                   duration - workAreaStart, false, kSameTime);
    } else if (name == "displayStartTime") {
        displayStartTime = Checked(name, v, -10800, 86339);
    } else if (name == "displayStartFrame") {
        const double frame =
            Checked(name, v, std::ceil(-10800 * frameRate), std::floor(86339 * frameRate), true);
        displayStartTime = frame / frameRate;
    } else {
        settings.Set(name, v);
    }
    return Attribute(name);
}

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
