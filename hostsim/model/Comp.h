// A composition: size, duration, frame rate, the playhead (kept within 0 and the duration,
// with the host's wording when refused), the work area and the layers, top first, its markers
// and the settings the host only stores (motion blur, shutter, renderer, ...). Plain state;
// main thread or under the Scene's owner's lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Layer.h"
#include "Marker.h"
#include "Settings.h"

namespace hostsim::model {

// The host's ranges for a composition's settings (addComp and the attributes alike).
inline constexpr double kMinCompSize = 4, kMaxCompSize = 30000, kMinPixelAspect = 0.01,
                        kMaxPixelAspect = 100, kMinCompDuration = 1.0 / 1000,
                        kMaxCompDuration = 10800, kMinFrameRate = 1, kMaxFrameRate = 999;

struct CompSetup {
    double width = 1920, height = 1080, pixelAspect = 1, duration = 10, frameRate = 25;
};

class Comp {
public:
    Comp(std::int32_t id, const CompSetup& setup);

    double FrameDuration() const { return 1.0 / frameRate; }
    void SetTime(double t);  // refused outside 0 to the duration
    // The frame `step` frames from the playhead's, kept within the first and last frame.
    double StepFrames(int step) const;
    Layer* LayerAt(int index) const;  // 1-based; null when out of range
    Layer* LayerByName(const std::string& name) const;
    int IndexOf(const Layer& layer) const;  // 1-based; 0 when not here
    // comp.layer(other, relIndex): the layer relIndex places from `other`. Throws the host's
    // parameter error for a layer of another composition or an index out of range.
    Layer& LayerFrom(const Layer& other, int relIndex) const;
    // Takes one of its layers out of the stack and puts it back at `to` (1-based); the
    // others keep their order.
    void Restack(const Layer& layer, int to);
    bool AnySolo() const;
    bool IsActive(const Layer& layer) const { return layer.Active(time, AnySolo()); }
    std::vector<Layer*> SelectedLayers() const;
    int NumLayers() const { return static_cast<int>(layers.size()); }

    // Every attribute a script reads or writes by name: the linked ones (duration,
    // frameRate and frameDuration, width, height, pixelAspect, the work area, displayStartTime
    // and displayStartFrame) and the stored settings. SetAttribute checks the value with the
    // host's ranges (the work area lies within the composition; a shorter duration pulls the
    // work area and the playhead in), changes nothing when refused and returns what is stored.
    nlohmann::json Attribute(std::string_view name) const;
    nlohmann::json SetAttribute(std::string_view name, const nlohmann::json& v);

    const std::int32_t id;
    double width, height, pixelAspect, duration, frameRate;
    double time = 0, workAreaStart = 0, workAreaDuration;
    bool hideShyLayers = false;
    double displayStartTime = 0;
    Settings settings;
    MarkerList markers;
    std::vector<std::unique_ptr<Layer>> layers;
};

}  // namespace hostsim::model
