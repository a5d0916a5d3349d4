// Markers of a layer or a composition. A MarkerValue holds the attributes the host gives it
// (comment, chapter, url, frameTarget, cuePointName, duration, eventCuePoint, label,
// protectedRegion; checked as stored settings) and its cue-point parameters; a MarkerList holds
// the markers by time, which scripts reach as the keys of the "Marker" property (match name
// "ADBE Marker"): one marker per time, 1-based indices, selection travelling with its marker.
// Plain state; main thread or under the Scene's owner's lock.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "Settings.h"

namespace hostsim::model {

struct MarkerValue {
    MarkerValue();
    // The record a script's MarkerValue and the project file give: the attributes by name
    // and "params" ({name: text}). Anything else, or a value out of range, throws ModelError.
    static MarkerValue FromJson(const nlohmann::json& record);
    nlohmann::json ToJson() const;
    // setParameters: every attribute's text; the earlier parameters go.
    void SetParameters(const nlohmann::json& params);

    Settings fields;
    std::vector<std::pair<std::string, std::string>> params;  // in the order set
};

struct MarkerKey {
    double time;
    MarkerValue value;
    bool selected = false;
};

class MarkerList {
public:
    int NumKeys() const { return static_cast<int>(keys_.size()); }
    const std::vector<MarkerKey>& Keys() const { return keys_; }
    // Puts the marker at `time` (replacing one there); its 1-based index.
    int Set(double time, MarkerValue v);
    // The key at a 1-based index; the host's range error naming `method` otherwise.
    const MarkerKey& At(int index, const char* method) const;
    // The first marker whose comment is `comment` (keyTime("Intro")); throws when none.
    int IndexOfComment(const std::string& comment, const char* method) const;
    void Remove(int index);
    int Nearest(double time) const;        // throws without markers
    bool SetSelected(int index, bool on);  // whether it changed

private:
    std::vector<MarkerKey> keys_;  // by time
};

}  // namespace hostsim::model
