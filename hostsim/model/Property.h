// One property of a layer or an effect: its value type, static value, keyframes and range,
// with the host's rules: values checked against the type and range (the host's wording),
// each key's interpolation and ease deciding the value between keys, no static value once
// keyframed. Plain state; main thread or under the Scene's owner's lock.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Ease.h"
#include "Node.h"
#include "Shape.h"

namespace hostsim::model {

enum class ValueType { OneD, TwoD, TwoDSpatial, ThreeD, ThreeDSpatial, Color };

using Value = std::vector<double>;

struct PropertySetup {
    std::string name, matchName;
    ValueType type = ValueType::OneD;
    Value defaultValue{0};
    std::optional<double> min = {}, max = {};
};

// What a key carries besides its time and value; all of it travels with the key as other
// keys come and go.
struct Keyframe {
    double time;
    Value value;
    bool selected = false;
    Interpolation inType = Interpolation::Linear, outType = Interpolation::Linear;
    std::vector<Ease> inEase = {}, outEase = {};  // EaseCount(type) each
    bool temporalContinuous = false, temporalAutoBezier = false;
    bool spatialContinuous = false, spatialAutoBezier = false, roving = false;
    Value inTangent = {}, outTangent = {};  // spatial values only: offsets from the value
    int label = 0;                          // 0 none, 1 to 16 the label colours
};

enum class KeyFlag {
    TemporalContinuous,
    TemporalAutoBezier,
    SpatialContinuous,
    SpatialAutoBezier,
    Roving
};
// "temporalContinuous", ... as the journal names them.
const char* KeyFlagName(KeyFlag flag);

// How many eases a key has on each side: one per dimension for TwoD and ThreeD values, one
// for every other type (spatial values are eased along their path).
std::size_t EaseCount(ValueType type);
bool IsSpatial(ValueType type);

// PropertyBase.propertyType: effects are an indexed group (their names are the user's);
// layers, the transform group and an effect's parameters are named groups.
enum class PropertyKind { Property, IndexedGroup, NamedGroup };
PropertyKind KindOf(const Node& node);
// A property changed from how it was made (a value, a key, an expression), or a group
// holding one.
bool IsModified(const Node& node);

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
    // value outside them; between two keys as their interpolation and ease give it.
    Value ValueAt(double time) const;
    // v checked for this property: the right number of finite numbers (a 3D value or a colour
    // may leave out its last component, which takes its default value) within the range.
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

    // ---- Interpolation, ease and the rest of a key's state --------------------------------
    // Each setter checks everything first (index, counts, ranges, the value type) with the
    // host's wording naming `method`, changes nothing when refused, and says whether
    // anything changed.
    const Keyframe& KeyAt(int index, const char* method) const;
    bool SetInterpolation(int index, Interpolation in, Interpolation out);
    // A linear side becomes a bezier one, as the host's Keyframe Velocity dialog makes it; a
    // hold side stays.
    bool SetTemporalEase(int index, const std::vector<Ease>& in, const std::vector<Ease>& out);
    bool KeyFlagAt(int index, KeyFlag flag, const char* method) const;
    // The first and last key cannot rove: setting it there is ignored.
    bool SetKeyFlag(int index, KeyFlag flag, bool on, const char* method);
    const Value& KeyTangent(int index, bool out, const char* method) const;
    bool SetSpatialTangents(int index, const Value& in, const Value& out);
    bool SetKeyLabel(int index, int label);
    void SetValueAtKey(int index, const Value& v);
    // Checks every time and value before it sets any; the index of each key set.
    std::vector<int> SetValuesAtTimes(const std::vector<double>& times,
                                      const std::vector<Value>& values);
    bool IsInterpolationValid(Interpolation) const { return true; }

    // ---- Expressions: kept, never evaluated ------------------------------------------------
    const std::string& Expression() const { return expression_; }
    bool ExpressionEnabled() const { return expressionEnabled_; }
    // Sets the text; a non-empty one is enabled, the empty one disabled.
    void SetExpression(const std::string& text);
    void SetExpressionEnabled(bool on);  // on only with an expression
    // value and valueAtTime as a script reads them: an enabled expression would change the
    // value, and is not evaluated, so reading past it is refused as not modelled.
    Value ScriptValueAt(double time, bool preExpression) const;
    bool IsModified() const;
    // The units the host names for the transform properties; "" for the others.
    const char* UnitsText() const;

    // ---- Separated dimensions: Position and its X, Y and Z Position followers ------------
    // Which of the pair the host hides holds no keys and reads its value from the other; a
    // write to it is refused. Separating and joining move values and keys across (Scene).
    bool dimensionsSeparated = false;                   // on a leader
    bool IsSeparationLeader() const;                    // "ADBE Position"
    int SeparationDimension() const;                    // a follower's 0, 1 or 2; -1 for the others
    Property* SeparationLeader() const;                 // a follower's leader among its siblings
    Property* SeparationFollower(int dimension) const;  // a leader's, or null
    bool Hidden() const;  // a separated leader, or a follower while its leader is joined
    // Drops every key, leaving `v` (checked by the caller) as the static value.
    void ResetValue(const Value& v);

private:
    void RefuseHidden() const;
    int PutKey(double time, Value v);
    Keyframe& MutableKey(int index, const char* method);
    Value PathValue(const Keyframe& a, const Keyframe& b, double time) const;

    ValueType type_;
    Value value_;
    std::vector<Keyframe> keys_;  // by time, no two at the same time
    std::optional<double> min_, max_;
    Value default_;
    std::string expression_;
    bool expressionEnabled_ = false;

    // ---- Shape values (a mask's path) ---------------------------------------------------
    // The static value and each key hold the number of a shape kept in shapes_, so that
    // keys come, go, copy and are selected as every other property's do; the numeric
    // setters refuse such a property ("Value is not a Shape.").
public:
    Property(const PropertySetup& setup, const Shape& initial);
    bool IsShape() const { return !shapes_.empty(); }
    const Shape& ShapeOf(const Value& stored) const { return shapes_.at(Slot(stored)); }
    // The static shape, a key's, or between two keys a fraction of the way that their
    // interpolation and ease give (Interpolate; a hold keeps the earlier key's).
    Shape ShapeAt(double time) const;
    void SetShape(const Shape& shape);  // refused once keyframed
    int SetShapeAtTime(double time, const Shape& shape);
    void SetShapeAtKey(int index, const Shape& shape);

private:
    static std::size_t Slot(const Value& stored) { return static_cast<std::size_t>(stored[0]); }
    Value Keep(const Shape& shape);
    std::vector<Shape> shapes_;
};

}  // namespace hostsim::model
