#include "Property.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "ModelError.h"

namespace hostsim::model {
namespace {

constexpr double kSameTime = 1e-9;  // keys closer than this are one key

}  // namespace

std::size_t Dimensions(ValueType type) {
    switch (type) {
        case ValueType::OneD:
            return 1;
        case ValueType::TwoD:
        case ValueType::TwoDSpatial:
            return 2;
        case ValueType::ThreeD:
        case ValueType::ThreeDSpatial:
            return 3;
        case ValueType::Color:
            return 4;
    }
    return 1;
}

const char* ValueTypeName(ValueType type) {
    switch (type) {
        case ValueType::OneD:
            return "OneD";
        case ValueType::TwoD:
            return "TwoD";
        case ValueType::TwoDSpatial:
            return "TwoD_SPATIAL";
        case ValueType::ThreeD:
            return "ThreeD";
        case ValueType::ThreeDSpatial:
            return "ThreeD_SPATIAL";
        case ValueType::Color:
            return "COLOR";
    }
    return "OneD";
}

std::optional<ValueType> ParseValueType(const std::string& name) {
    for (auto type : {ValueType::OneD, ValueType::TwoD, ValueType::TwoDSpatial, ValueType::ThreeD,
                      ValueType::ThreeDSpatial, ValueType::Color})
        if (name == ValueTypeName(type)) return type;
    return std::nullopt;
}

Property::Property(const PropertySetup& setup)
    : Node(NodeKind::Property, setup.name, setup.matchName),
      type_(setup.type),
      value_(setup.defaultValue),
      min_(setup.min),
      max_(setup.max) {
    value_.resize(Dimensions(type_), 0);
}

Value Property::ValueAt(double time) const {
    if (keys_.empty()) return value_;
    if (time <= keys_.front().time) return keys_.front().value;
    if (time >= keys_.back().time) return keys_.back().value;
    const auto next = std::upper_bound(keys_.begin(), keys_.end(), time,
                                       [](double t, const Keyframe& k) { return t < k.time; });
    const auto& a = *std::prev(next);
    const auto& b = *next;
    const double f = (time - a.time) / (b.time - a.time);
    Value v(a.value.size());
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = a.value[i] + (b.value[i] - a.value[i]) * f;
    return v;
}

Value Property::Checked(const Value& v, const std::string& method, int parameter) const {
    const std::size_t dims = Dimensions(type_);
    const bool mayShorten = dims == 3 && v.size() == 2;
    if (v.size() != dims && !mayShorten)
        ThrowParameter(method, parameter,
                       dims == 1 ? "Value is not a number."
                                 : "Array of " + std::to_string(dims) + " numbers expected.");
    Value out = value_;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (!std::isfinite(v[i]))
            ThrowParameter(method, parameter, "Value is not a finite number.");
        if ((min_ && v[i] < *min_) || (max_ && v[i] > *max_))
            ThrowParameterRange(method, parameter, v[i], min_.value_or(-INFINITY),
                                max_.value_or(INFINITY));
        out[i] = v[i];
    }
    return out;
}

void Property::SetValue(const Value& v) {
    if (!keys_.empty())
        ThrowCall("setValue",
                  "the property has keyframes; use setValueAtTime or setValueAtKey instead");
    value_ = Checked(v, "setValue", 1);
}

int Property::PutKey(double time, Value v) {
    auto at = std::lower_bound(keys_.begin(), keys_.end(), time - kSameTime,
                               [](const Keyframe& k, double t) { return k.time < t; });
    if (at != keys_.end() && std::abs(at->time - time) <= kSameTime)
        at->value = std::move(v);
    else
        at = keys_.insert(at, {time, std::move(v)});
    return static_cast<int>(at - keys_.begin()) + 1;
}

int Property::SetValueAtTime(double time, const Value& v) {
    if (!std::isfinite(time)) ThrowParameter("setValueAtTime", 1, "Value is not a finite number.");
    Value checked = Checked(v, "setValueAtTime", 2);
    return PutKey(time, std::move(checked));
}

int Property::AddKey(double time) {
    if (!std::isfinite(time)) ThrowParameter("addKey", 1, "Value is not a finite number.");
    return PutKey(time, ValueAt(time));
}

const Keyframe& Property::KeyAt(int index, const char* method) const {
    if (index < 1 || index > NumKeys()) ThrowParameterRange(method, 1, index, 1, NumKeys());
    return keys_[static_cast<std::size_t>(index - 1)];
}

double Property::KeyTime(int index, const char* method) const { return KeyAt(index, method).time; }

const Value& Property::KeyValue(int index) const { return KeyAt(index, "keyValue").value; }

void Property::RemoveKey(int index) {
    KeyAt(index, "removeKey");
    // The last key's value stays as the static value, as in the host.
    if (keys_.size() == 1) value_ = keys_.front().value;
    keys_.erase(keys_.begin() + (index - 1));
}

int Property::NearestKeyIndex(double time) const {
    if (keys_.empty()) ThrowCall("nearestKeyIndex", "the property has no keyframes");
    std::size_t best = 0;
    for (std::size_t i = 1; i < keys_.size(); ++i)
        if (std::abs(keys_[i].time - time) < std::abs(keys_[best].time - time)) best = i;
    return static_cast<int>(best) + 1;
}

bool Property::KeySelected(int index) const { return KeyAt(index, "keySelected").selected; }

bool Property::SetKeySelected(int index, bool on) {
    KeyAt(index, "setSelectedAtKey");
    bool& selected = keys_[static_cast<std::size_t>(index - 1)].selected;
    return std::exchange(selected, on) != on;
}

std::vector<int> Property::SelectedKeys() const {
    std::vector<int> out;
    for (std::size_t i = 0; i < keys_.size(); ++i)
        if (keys_[i].selected) out.push_back(static_cast<int>(i) + 1);
    return out;
}

}  // namespace hostsim::model
