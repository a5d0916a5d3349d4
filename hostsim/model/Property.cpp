#include "Property.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "ModelError.h"
#include "PropertyGroup.h"

namespace hostsim::model {
namespace {

constexpr double kSameTime = 1e-9;  // keys closer than this are one key
constexpr int kPathSamples = 256;   // arc-length samples of a curved spatial path

bool AllZero(const Value& v) {
    return std::all_of(v.begin(), v.end(), [](double x) { return x == 0; });
}

// A linear side of a segment behaves as an ease whose speed is the segment's own slope: with
// both sides so, the curve is the straight line between the keys.
Ease Side(Interpolation type, const Ease& ease, double slope) {
    return type == Interpolation::Linear ? Ease{slope, ease.influence} : ease;
}

}  // namespace

const char* KeyFlagName(KeyFlag flag) {
    switch (flag) {
        case KeyFlag::TemporalContinuous:
            return "temporalContinuous";
        case KeyFlag::TemporalAutoBezier:
            return "temporalAutoBezier";
        case KeyFlag::SpatialContinuous:
            return "spatialContinuous";
        case KeyFlag::SpatialAutoBezier:
            return "spatialAutoBezier";
        case KeyFlag::Roving:
            return "roving";
    }
    return "";
}

std::size_t EaseCount(ValueType type) {
    return type == ValueType::TwoD ? 2 : type == ValueType::ThreeD ? 3 : 1;
}

bool IsSpatial(ValueType type) {
    return type == ValueType::TwoDSpatial || type == ValueType::ThreeDSpatial;
}

PropertyKind KindOf(const Node& node) {
    if (node.Kind() == NodeKind::Property) return PropertyKind::Property;
    if (node.Kind() == NodeKind::Group &&
        (node.matchName == "ADBE Effect Parade" || node.matchName == "ADBE Mask Parade"))
        return PropertyKind::IndexedGroup;
    return PropertyKind::NamedGroup;
}

bool IsModified(const Node& node) {
    if (node.Kind() == NodeKind::Property) return static_cast<const Property&>(node).IsModified();
    const auto& children = static_cast<const PropertyGroup&>(node).children;
    return std::any_of(children.begin(), children.end(),
                       [](const auto& child) { return IsModified(*child); });
}

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
    default_ = value_;
}

Value Property::ValueAt(double time) const {
    if (Hidden()) {  // the shown one of the pair holds the value
        if (const Property* leader = SeparationLeader())
            return {leader->ValueAt(time)[static_cast<std::size_t>(SeparationDimension())]};
        Value v = value_;
        for (int i = 0; i < static_cast<int>(v.size()); ++i)
            if (const Property* follower = SeparationFollower(i))
                v[static_cast<std::size_t>(i)] = follower->ValueAt(time)[0];
        return v;
    }
    if (keys_.empty()) return value_;
    if (time <= keys_.front().time) return keys_.front().value;
    if (time >= keys_.back().time) return keys_.back().value;
    const auto next = std::upper_bound(keys_.begin(), keys_.end(), time,
                                       [](double t, const Keyframe& k) { return t < k.time; });
    const auto& a = *std::prev(next);
    const auto& b = *next;
    // A hold on either side keeps the earlier key's value up to the later key.
    if (a.outType == Interpolation::Hold || b.inType == Interpolation::Hold) return a.value;
    const double d = b.time - a.time;
    Value v(a.value.size());
    const bool curved = IsSpatial(type_) && !(AllZero(a.outTangent) && AllZero(b.inTangent));
    if (a.outType == Interpolation::Linear && b.inType == Interpolation::Linear && !curved) {
        const double f = (time - a.time) / d;
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = a.value[i] + (b.value[i] - a.value[i]) * f;
        return v;
    }
    if (EaseCount(type_) != v.size()) return PathValue(a, b, time);
    for (std::size_t i = 0; i < v.size(); ++i) {
        const double slope = (b.value[i] - a.value[i]) / d;
        v[i] =
            EasedValue(a.time, a.value[i], b.time, b.value[i], Side(a.outType, a.outEase[i], slope),
                       Side(b.inType, b.inEase[i], slope), time);
    }
    return v;
}

// A value with one ease for several dimensions (a spatial value, a colour) moves along its
// path: the straight line between the keys, or for a spatial value with tangents the cubic
// Bezier curve through value + out tangent and next value + in tangent. The ease gives the
// distance travelled (speed along the path); a distance past either end stays at that end.
Value Property::PathValue(const Keyframe& a, const Keyframe& b, double time) const {
    const std::size_t n = a.value.size();
    const bool curved = IsSpatial(type_) && !(AllZero(a.outTangent) && AllZero(b.inTangent));
    const auto point = [&](double u) {
        Value p(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double p1 = a.value[i] + (curved ? a.outTangent[i] : 0);
            const double p2 = b.value[i] + (curved ? b.inTangent[i] : 0);
            const double r = 1 - u;
            p[i] = r * r * r * a.value[i] + 3 * r * r * u * p1 + 3 * r * u * u * p2 +
                   u * u * u * b.value[i];
        }
        return p;
    };
    const auto distance = [&](const Value& p, const Value& q) {
        double sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += (q[i] - p[i]) * (q[i] - p[i]);
        return std::sqrt(sum);
    };
    // Arc length at each sample of the curve's parameter (one step for the straight line).
    const int samples = curved ? kPathSamples : 1;
    std::vector<double> lengths{0};
    Value last = a.value;
    for (int k = 1; k <= samples; ++k) {
        Value p = curved ? point(static_cast<double>(k) / samples) : b.value;
        lengths.push_back(lengths.back() + distance(last, p));
        last = std::move(p);
    }
    const double length = lengths.back();
    if (length == 0) return a.value;
    const double d = b.time - a.time;
    const double s =
        std::clamp(EasedValue(a.time, 0, b.time, length, Side(a.outType, a.outEase[0], length / d),
                              Side(b.inType, b.inEase[0], length / d), time),
                   0.0, length);
    const auto at = std::lower_bound(lengths.begin() + 1, lengths.end(), s);
    const auto k = static_cast<int>(at - lengths.begin());
    const double span = lengths[k] - lengths[k - 1];
    const double u = (k - 1 + (span > 0 ? (s - lengths[k - 1]) / span : 0)) / samples;
    if (curved) return point(u);
    Value v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = a.value[i] + (b.value[i] - a.value[i]) * u;
    return v;
}

Value Property::Checked(const Value& v, const std::string& method, int parameter) const {
    if (IsShape()) ThrowParameter(method, parameter, "Value is not a Shape.");
    const std::size_t dims = Dimensions(type_);
    // The guide's short forms: two numbers for a three-number value, three for a colour; the
    // last takes its default (0 for a position, 100 for a scale, 1 for a colour's alpha).
    const bool mayShorten = (dims == 3 || dims == 4) && v.size() == dims - 1;
    if (v.size() != dims && !mayShorten)
        ThrowParameter(method, parameter,
                       dims == 1 ? "Value is not a number."
                                 : "Array of " + std::to_string(dims) + " numbers expected.");
    Value out = default_.size() == dims ? default_ : value_;
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
    RefuseHidden();
    if (!keys_.empty())
        ThrowCall("setValue",
                  "the property has keyframes; use setValueAtTime or setValueAtKey instead");
    value_ = Checked(v, "setValue", 1);
}

int Property::PutKey(double time, Value v) {
    RefuseHidden();
    auto at = std::lower_bound(keys_.begin(), keys_.end(), time - kSameTime,
                               [](const Keyframe& k, double t) { return k.time < t; });
    if (at != keys_.end() && std::abs(at->time - time) <= kSameTime) {
        at->value = std::move(v);
    } else {
        Keyframe key{time, std::move(v)};
        key.inEase = key.outEase = std::vector<Ease>(EaseCount(type_));
        if (IsSpatial(type_)) key.inTangent = key.outTangent = Value(Dimensions(type_), 0.0);
        at = keys_.insert(at, std::move(key));
    }
    return static_cast<int>(at - keys_.begin()) + 1;
}

int Property::SetValueAtTime(double time, const Value& v) {
    if (!std::isfinite(time)) ThrowParameter("setValueAtTime", 1, "Value is not a finite number.");
    Value checked = Checked(v, "setValueAtTime", 2);
    return PutKey(time, std::move(checked));
}

int Property::AddKey(double time) {
    if (!std::isfinite(time)) ThrowParameter("addKey", 1, "Value is not a finite number.");
    if (IsShape()) return PutKey(time, Keep(ShapeAt(time)));
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

Keyframe& Property::MutableKey(int index, const char* method) {
    KeyAt(index, method);
    return keys_[static_cast<std::size_t>(index - 1)];
}

bool Property::SetInterpolation(int index, Interpolation in, Interpolation out) {
    Keyframe& key = MutableKey(index, "setInterpolationTypeAtKey");
    const bool changed = key.inType != in || key.outType != out;
    key.inType = in;
    key.outType = out;
    return changed;
}

bool Property::SetTemporalEase(int index, const std::vector<Ease>& in,
                               const std::vector<Ease>& out) {
    static const char* const method = "setTemporalEaseAtKey";
    Keyframe& key = MutableKey(index, method);
    const std::size_t count = EaseCount(type_);
    const std::string expected = "Array of " + std::to_string(count) + " KeyframeEase " +
                                 (count == 1 ? "object" : "objects") + " expected.";
    if (in.size() != count) ThrowParameter(method, 2, expected);
    if (out.size() != count) ThrowParameter(method, 3, expected);
    for (const Ease& e : in) CheckedEase(method, 2, e.speed, e.influence);
    for (const Ease& e : out) CheckedEase(method, 3, e.speed, e.influence);
    const bool changed = key.inEase != in || key.outEase != out ||
                         key.inType == Interpolation::Linear ||
                         key.outType == Interpolation::Linear;
    key.inEase = in;
    key.outEase = out;
    for (Interpolation* side : {&key.inType, &key.outType})
        if (*side == Interpolation::Linear) *side = Interpolation::Bezier;
    return changed;
}

namespace {

bool Keyframe::*FlagField(KeyFlag flag) {
    switch (flag) {
        case KeyFlag::TemporalContinuous:
            return &Keyframe::temporalContinuous;
        case KeyFlag::TemporalAutoBezier:
            return &Keyframe::temporalAutoBezier;
        case KeyFlag::SpatialContinuous:
            return &Keyframe::spatialContinuous;
        case KeyFlag::SpatialAutoBezier:
            return &Keyframe::spatialAutoBezier;
        case KeyFlag::Roving:
            return &Keyframe::roving;
    }
    return &Keyframe::roving;
}

bool SpatialOnly(KeyFlag flag) {
    return flag != KeyFlag::TemporalContinuous && flag != KeyFlag::TemporalAutoBezier;
}

void RequireSpatial(ValueType type, const char* method) {
    if (!IsSpatial(type)) ThrowCall(method, "the property is not spatial");
}

}  // namespace

bool Property::KeyFlagAt(int index, KeyFlag flag, const char* method) const {
    const Keyframe& key = KeyAt(index, method);
    if (SpatialOnly(flag)) RequireSpatial(type_, method);
    return key.*FlagField(flag);
}

bool Property::SetKeyFlag(int index, KeyFlag flag, bool on, const char* method) {
    Keyframe& key = MutableKey(index, method);
    if (SpatialOnly(flag)) RequireSpatial(type_, method);
    if (flag == KeyFlag::Roving && (index == 1 || index == NumKeys())) return false;
    return std::exchange(key.*FlagField(flag), on) != on;
}

const Value& Property::KeyTangent(int index, bool out, const char* method) const {
    const Keyframe& key = KeyAt(index, method);
    RequireSpatial(type_, method);
    return out ? key.outTangent : key.inTangent;
}

bool Property::SetSpatialTangents(int index, const Value& in, const Value& out) {
    static const char* const method = "setSpatialTangentsAtKey";
    Keyframe& key = MutableKey(index, method);
    RequireSpatial(type_, method);
    const std::size_t dims = Dimensions(type_);
    for (const auto& [tangent, parameter] : {std::pair{&in, 2}, std::pair{&out, 3}}) {
        if (tangent->size() != dims)
            ThrowParameter(method, parameter,
                           "Array of " + std::to_string(dims) + " numbers expected.");
        for (double x : *tangent)
            if (!std::isfinite(x))
                ThrowParameter(method, parameter, "Value is not a finite number.");
    }
    const bool changed = key.inTangent != in || key.outTangent != out;
    key.inTangent = in;
    key.outTangent = out;
    return changed;
}

bool Property::SetKeyLabel(int index, int label) {
    Keyframe& key = MutableKey(index, "setLabelAtKey");
    if (label < 0 || label > 16) ThrowParameterRange("setLabelAtKey", 2, label, 0, 16);
    return std::exchange(key.label, label) != label;
}

void Property::SetValueAtKey(int index, const Value& v) {
    Keyframe& key = MutableKey(index, "setValueAtKey");
    key.value = Checked(v, "setValueAtKey", 2);
}

std::vector<int> Property::SetValuesAtTimes(const std::vector<double>& times,
                                            const std::vector<Value>& values) {
    static const std::string method = "setValuesAtTimes";
    if (times.size() != values.size())
        ThrowParameter(
            method, 2,
            "Array of " + std::to_string(times.size()) + " values expected, as many as the times.");
    std::vector<Value> checked;
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (!std::isfinite(times[i])) ThrowParameter(method, 1, "Value is not a finite number.");
        checked.push_back(Checked(values[i], method, 2));
    }
    std::vector<int> indices;
    for (std::size_t i = 0; i < times.size(); ++i)
        indices.push_back(PutKey(times[i], std::move(checked[i])));
    // A later key can shift the index of one set earlier: report each key where it is now.
    for (std::size_t i = 0; i < times.size(); ++i) indices[i] = NearestKeyIndex(times[i]);
    return indices;
}

void Property::SetExpression(const std::string& text) {
    expression_ = text;
    expressionEnabled_ = !text.empty();
}

void Property::SetExpressionEnabled(bool on) {
    if (on && expression_.empty())
        throw ModelError("Unable to set \"expressionEnabled\". The property has no expression.");
    expressionEnabled_ = on;
}

Value Property::ScriptValueAt(double time, bool preExpression) const {
    if (expressionEnabled_ && !preExpression)
        throw ModelError(
            "\"value\" is not modelled by the simulated host for a property whose expression is "
            "enabled (expressions are kept, not evaluated)");
    return ValueAt(time);
}

const char* Property::UnitsText() const {
    static const std::pair<const char*, const char*> kUnits[] = {
        {"ADBE Anchor Point", "pixels"}, {"ADBE Position", "pixels"}, {"ADBE Scale", "percent"},
        {"ADBE Rotate Z", "degrees"},    {"ADBE Opacity", "percent"},
    };
    for (const auto& [match, units] : kUnits)
        if (matchName == match) return units;
    return "";
}

bool Property::IsModified() const {
    return !keys_.empty() || value_ != default_ || !expression_.empty();
}

// ---- Shape values ------------------------------------------------------------------------

Property::Property(const PropertySetup& setup, const Shape& initial) : Property(setup) {
    value_ = default_ = Keep(initial);
}

Value Property::Keep(const Shape& shape) {
    shapes_.push_back(shape);
    return {static_cast<double>(shapes_.size() - 1)};
}

Shape Property::ShapeAt(double time) const {
    if (keys_.empty()) return ShapeOf(value_);
    if (time <= keys_.front().time) return ShapeOf(keys_.front().value);
    if (time >= keys_.back().time) return ShapeOf(keys_.back().value);
    const auto next = std::upper_bound(keys_.begin(), keys_.end(), time,
                                       [](double t, const Keyframe& k) { return t < k.time; });
    const auto& a = *std::prev(next);
    const auto& b = *next;
    if (a.outType == Interpolation::Hold || b.inType == Interpolation::Hold)
        return ShapeOf(a.value);
    // The fraction of the way eases as a one-dimensional value from 0 to 1 would.
    const double slope = 1 / (b.time - a.time);
    const double f = EasedValue(a.time, 0, b.time, 1, Side(a.outType, a.outEase[0], slope),
                                Side(b.inType, b.inEase[0], slope), time);
    return Interpolate(ShapeOf(a.value), ShapeOf(b.value), f);
}

void Property::SetShape(const Shape& shape) {
    if (!keys_.empty())
        ThrowCall("setValue",
                  "the property has keyframes; use setValueAtTime or setValueAtKey instead");
    value_ = Keep(shape);
}

int Property::SetShapeAtTime(double time, const Shape& shape) {
    if (!std::isfinite(time)) ThrowParameter("setValueAtTime", 1, "Value is not a finite number.");
    return PutKey(time, Keep(shape));
}

void Property::SetShapeAtKey(int index, const Shape& shape) {
    MutableKey(index, "setValueAtKey").value = Keep(shape);
}

}  // namespace hostsim::model

namespace hostsim::model {

// ---- Separated dimensions ---------------------------------------------------------------

bool Property::IsSeparationLeader() const { return matchName == "ADBE Position"; }

int Property::SeparationDimension() const {
    static const std::string kPrefix = "ADBE Position_";
    if (matchName.size() != kPrefix.size() + 1 || matchName.rfind(kPrefix, 0) != 0) return -1;
    const char d = matchName.back();
    return d >= '0' && d <= '2' ? d - '0' : -1;
}

Property* Property::SeparationLeader() const {
    if (SeparationDimension() < 0 || parent == nullptr) return nullptr;
    Node* node = parent->Find("ADBE Position");
    return node && node->Kind() == NodeKind::Property ? static_cast<Property*>(node) : nullptr;
}

Property* Property::SeparationFollower(int dimension) const {
    if (!IsSeparationLeader() || parent == nullptr || dimension < 0 || dimension > 2)
        return nullptr;
    Node* node = parent->Find("ADBE Position_" + std::to_string(dimension));
    return node && node->Kind() == NodeKind::Property ? static_cast<Property*>(node) : nullptr;
}

bool Property::Hidden() const {
    if (IsSeparationLeader()) return dimensionsSeparated && SeparationFollower(0) != nullptr;
    const Property* leader = SeparationLeader();
    return leader != nullptr && !leader->dimensionsSeparated;
}

void Property::RefuseHidden() const {
    if (Hidden())
        throw ModelError("Unable to change \"" + name +
                         "\". It is hidden while the position's "
                         "dimensions are " +
                         (SeparationDimension() < 0 ? "separated" : "joined") + ".");
}

void Property::ResetValue(const Value& v) {
    keys_.clear();
    value_ = v;
}

}  // namespace hostsim::model
