// One property of a layer or an effect: its value type, static value, keyframes and range,
// with the host's rules: values checked against the type and range (the host's wording),
// linear interpolation between keyframes, no static value once keyframed. Plain state;
// main thread or under the Scene's owner's lock.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Node.h"

namespace hostsim::model {

enum class ValueType { OneD, TwoD, TwoDSpatial, ThreeD, ThreeDSpatial, Color };

using Value = std::vector<double>;

struct PropertySetup {
    std::string name, matchName;
    ValueType type = ValueType::OneD;
    Value defaultValue{0};
    std::optional<double> min = {}, max = {};
};

struct Keyframe {
    double time;
    Value value;
    bool selected = false;  // travels with the key as other keys come and go
};

std::size_t Dimensions(ValueType type);
// "OneD", "TwoD", "TwoD_SPATIAL", "ThreeD", "ThreeD_SPATIAL", "COLOR"; nullopt if unknown.
const char* ValueTypeName(ValueType type);
std::optional<ValueType> ParseValueType(const std::string& name);

class Property final : public Node {
public:
    explicit Property(const PropertySetup& setup);

    ValueType Type() const { return type_; }
    const std::optional<double>& Min() const { return min_; }
    const std::optional<double>& Max() const { return max_; }
    const std::vector<Keyframe>& Keys() const { return keys_; }
    int NumKeys() const { return static_cast<int>(keys_.size()); }

    // The value at a comp time: the static value without keyframes; the first or last key's
    // value outside them; linear between two keys.
    Value ValueAt(double time) const;
    // v checked for this property: the right number of finite numbers (a spatial or 3D
    // value may leave out its last component, which keeps the current one) within the range.
    // Throws with the host's wording naming `method` and its `parameter`.
    Value Checked(const Value& v, const std::string& method, int parameter) const;

    void SetValue(const Value& v);                    // refused once keyframed
    int SetValueAtTime(double time, const Value& v);  // 1-based index of the key set
    int AddKey(double time);  // a key holding the value at that time; its index
    double KeyTime(int index, const char* method = "keyTime") const;
    const Value& KeyValue(int index) const;
    void RemoveKey(int index);
    int NearestKeyIndex(double time) const;
    // Key selection, as a click in the timeline makes it; indices are 1-based and checked
    // with the host's wording. SetKeySelected says whether anything changed.
    bool KeySelected(int index) const;
    bool SetKeySelected(int index, bool on);
    std::vector<int> SelectedKeys() const;

private:
    const Keyframe& KeyAt(int index, const char* method) const;
    int PutKey(double time, Value v);

    ValueType type_;
    Value value_;
    std::vector<Keyframe> keys_;  // by time, no two at the same time
    std::optional<double> min_, max_;
};

}  // namespace hostsim::model
