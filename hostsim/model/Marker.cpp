#include "Marker.h"

#include <algorithm>
#include <cmath>

#include "ModelError.h"

namespace hostsim::model {
namespace {

using nlohmann::json;

constexpr double kSameTime = 1e-9;  // markers closer than this are at one time

// The host's MarkerValue attributes. The guide gives no range for the duration: a marker is
// at most as long as the longest composition here.
const SettingRule kMarkerRules[] = {
    {"comment", SettingKind::Text, ""},
    {"chapter", SettingKind::Text, ""},
    {"url", SettingKind::Text, ""},
    {"frameTarget", SettingKind::Text, ""},
    {"cuePointName", SettingKind::Text, ""},
    {"duration", SettingKind::Number, 0.0, 0, 10800},
    {"eventCuePoint", SettingKind::Flag, false},
    {"label", SettingKind::Integer, 0, 0, 16},
    {"protectedRegion", SettingKind::Flag, false},
};

}  // namespace

MarkerValue::MarkerValue() : fields(kMarkerRules) {}

MarkerValue MarkerValue::FromJson(const json& record) {
    if (!record.is_object()) throw ModelError("A marker is an object of its attributes.");
    MarkerValue v;
    for (const auto& [key, value] : record.items()) {
        if (key == "params")
            v.SetParameters(value);
        else if (v.fields.Has(key))
            v.fields.Set(key, value);
        else
            throw ModelError("A marker has no attribute \"" + key + "\".");
    }
    return v;
}

json MarkerValue::ToJson() const {
    json out = fields.Values();
    json params = json::object();
    for (const auto& [key, text] : this->params) params[key] = text;
    out["params"] = std::move(params);
    return out;
}

void MarkerValue::SetParameters(const json& given) {
    if (!given.is_object())
        ThrowParameter("setParameters", 1, "Value is not an object of key-value pairs.");
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& [key, value] : given.items())
        out.emplace_back(key, value.is_string() ? value.get<std::string>() : value.dump());
    params = std::move(out);
}

int MarkerList::Set(double time, MarkerValue v) {
    auto at = std::lower_bound(keys_.begin(), keys_.end(), time - kSameTime,
                               [](const MarkerKey& k, double t) { return k.time < t; });
    if (at != keys_.end() && std::abs(at->time - time) <= kSameTime)
        at->value = std::move(v);
    else
        at = keys_.insert(at, {time, std::move(v)});
    return static_cast<int>(at - keys_.begin()) + 1;
}

const MarkerKey& MarkerList::At(int index, const char* method) const {
    if (index < 1 || index > NumKeys()) ThrowParameterRange(method, 1, index, 1, NumKeys());
    return keys_[static_cast<std::size_t>(index - 1)];
}

int MarkerList::IndexOfComment(const std::string& comment, const char* method) const {
    for (std::size_t i = 0; i < keys_.size(); ++i)
        if (keys_[i].value.fields.Get("comment") == comment) return static_cast<int>(i) + 1;
    ThrowParameter(method, 1, "No marker has the comment \"" + comment + "\".");
}

void MarkerList::Remove(int index) {
    At(index, "removeKey");
    keys_.erase(keys_.begin() + (index - 1));
}

int MarkerList::Nearest(double time) const {
    if (keys_.empty()) ThrowCall("nearestKeyIndex", "the property has no keyframes");
    std::size_t best = 0;
    for (std::size_t i = 1; i < keys_.size(); ++i)
        if (std::abs(keys_[i].time - time) < std::abs(keys_[best].time - time)) best = i;
    return static_cast<int>(best) + 1;
}

bool MarkerList::SetSelected(int index, bool on) {
    At(index, "setSelectedAtKey");
    return std::exchange(keys_[static_cast<std::size_t>(index - 1)].selected, on) != on;
}

}  // namespace hostsim::model
