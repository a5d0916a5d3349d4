// The script bindings of Property: values, keys and their selection, interpolation and ease,
// value type and range, expressions.
#include "scripting/bindings/Binding.h"

namespace hostsim::bindings {
namespace {

// PropertyValueType's numbers, as the JS side's global has them.
double ValueTypeNumber(model::ValueType type) {
    switch (type) {
        case model::ValueType::ThreeDSpatial:
            return 6413;
        case model::ValueType::ThreeD:
            return 6414;
        case model::ValueType::TwoDSpatial:
            return 6415;
        case model::ValueType::TwoD:
            return 6416;
        case model::ValueType::OneD:
            return 6417;
        case model::ValueType::Color:
            return 6418;
    }
    return 6417;
}

// KeyframeInterpolationType's numbers, as the JS side's global has them.
constexpr double kInterpolationNumbers[] = {6612, 6613, 6614};  // LINEAR, BEZIER, HOLD

double InterpolationNumber(model::Interpolation type) {
    return kInterpolationNumbers[static_cast<int>(type)];
}

model::Interpolation InterpolationArg(const Call& c, std::size_t i) {
    const Arg& arg = c.At(i);
    for (int k = 0; k < 3; ++k)
        if (arg.type == Arg::Number && arg.number == kInterpolationNumbers[k])
            return static_cast<model::Interpolation>(k);
    model::ThrowParameter(std::string(c.method), static_cast<int>(i) + 1,
                          "Value is not a KeyframeInterpolationType.");
}

bool BoolArg(const Call& c, std::size_t i) {
    if (c.At(i).type != Arg::Bool)
        model::ThrowParameter(std::string(c.method), static_cast<int>(i) + 1,
                              "Value is not a boolean.");
    return c.At(i).flag;
}

// An array of eases: the script half passes each KeyframeEase as [speed, influence] and
// anything else as null.
std::vector<model::Ease> EasesArg(const Call& c, std::size_t i) {
    const Arg& arg = c.At(i);
    const int parameter = static_cast<int>(i) + 1;
    if (arg.type == Arg::Numbers && arg.numbers.empty()) return {};
    std::vector<model::Ease> eases;
    const auto refuse = [&] {
        model::ThrowParameter(std::string(c.method), parameter,
                              "Value is not an array of KeyframeEase objects.");
    };
    if (arg.type != Arg::Other || !arg.json.is_array()) refuse();
    for (const auto& e : arg.json) {
        if (!e.is_array() || e.size() != 2 || !e[0].is_number() || !e[1].is_number()) refuse();
        eases.push_back({e[0].get<double>(), e[1].get<double>()});
    }
    return eases;
}

nlohmann::json EasesOut(const std::vector<model::Ease>& eases) {
    auto out = nlohmann::json::array();
    for (const auto& e : eases) out.push_back({e.speed, e.influence});
    return out;
}

// The values of setValuesAtTimes: numbers (one-dimensional values) or arrays of numbers.
std::vector<model::Value> ValuesArg(const Call& c, std::size_t i) {
    const Arg& arg = c.At(i);
    std::vector<model::Value> values;
    if (arg.type == Arg::Numbers) {
        for (double n : arg.numbers) values.push_back({n});
        return values;
    }
    const auto refuse = [&] {
        model::ThrowParameter(std::string(c.method), static_cast<int>(i) + 1,
                              "Value is not an array of values.");
    };
    if (arg.type != Arg::Other || !arg.json.is_array()) refuse();
    for (const auto& v : arg.json) {
        if (v.is_number()) {
            values.push_back({v.get<double>()});
            continue;
        }
        if (!v.is_array()) refuse();
        model::Value value;
        for (const auto& n : v) {
            if (!n.is_number()) refuse();
            value.push_back(n.get<double>());
        }
        values.push_back(std::move(value));
    }
    return values;
}

// A key's flag read or set: "keyRoving" / "setRovingAtKey" and the like.
template <model::KeyFlag flag>
Out KeyFlagGet(Scene& s, const Call& c) {
    const std::string method(c.method);
    return s.RequireProperty(c.Handle()).KeyFlagAt(c.Index(0), flag, method.c_str());
}

template <model::KeyFlag flag>
Out KeyFlagSet(Scene& s, const Call& c) {
    model::Property& p = s.RequireProperty(c.Handle());
    const int index = c.Index(0);
    const bool on = BoolArg(c, 1);
    const std::string method(c.method);
    return s.SetKeyFlag(p, index, flag, on, method.c_str()), Undefined{};
}

const model::Keyframe& KeyArg(Scene& s, const Call& c) {
    const std::string method(c.method);
    return s.RequireProperty(c.Handle()).KeyAt(c.Index(0), method.c_str());
}

}  // namespace

std::span<const OpEntry> PropertyOps() {
    static const OpEntry ops[] = {
        {"prop.value",
         [](Scene& s, const Call& c) -> Out {
             const model::Property& p = s.RequireProperty(c.Handle());
             return ValueOut(p.ScriptValueAt(s.LayerOf(p).comp->time, false));
         }},
        {"prop.valueAtTime",
         [](Scene& s, const Call& c) -> Out {
             return ValueOut(s.RequireProperty(c.Handle()).ScriptValueAt(c.Number(0), c.At(1).flag));
         }},
        {"prop.setValue",
         [](Scene& s, const Call& c) -> Out {
             return s.SetValue(s.RequireProperty(c.Handle()), c.Value(0)), Undefined{};
         }},
        {"prop.setValueAtTime",
         [](Scene& s, const Call& c) -> Out {
             return s.SetValueAtTime(s.RequireProperty(c.Handle()), c.Number(0), c.Value(1)),
                    Undefined{};
         }},
        {"prop.numKeys",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.RequireProperty(c.Handle()).NumKeys());
         }},
        {"prop.isTimeVarying",
         [](Scene& s, const Call& c) -> Out {
             const model::Property& p = s.RequireProperty(c.Handle());
             return p.NumKeys() > 0 || p.ExpressionEnabled();
         }},
        {"prop.addKey",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.AddKey(s.RequireProperty(c.Handle()), c.Number(0)));
         }},
        {"prop.keyTime",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).KeyTime(c.Index(0));
         }},
        {"prop.keyValue",
         [](Scene& s, const Call& c) -> Out {
             return ValueOut(s.RequireProperty(c.Handle()).KeyValue(c.Index(0)));
         }},
        {"prop.removeKey",
         [](Scene& s, const Call& c) -> Out {
             return s.RemoveKey(s.RequireProperty(c.Handle()), c.Index(0)), Undefined{};
         }},
        {"prop.nearestKeyIndex",
         [](Scene& s, const Call& c) -> Out {
             return static_cast<double>(s.RequireProperty(c.Handle()).NearestKeyIndex(c.Number(0)));
         }},
        {"prop.keySelected",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).KeySelected(c.Index(0));
         }},
        {"prop.setSelectedAtKey",
         [](Scene& s, const Call& c) -> Out {
             model::Property& p = s.RequireProperty(c.Handle());
             const int index = c.Index(0);
             if (c.At(1).type != Arg::Bool)
                 model::ThrowParameter("setSelectedAtKey", 2, "Value is not a boolean.");
             return s.SetKeySelected(p, index, c.At(1).flag), Undefined{};
         }},
        {"prop.selectedKeys",
         [](Scene& s, const Call& c) -> Out {
             std::vector<double> out;
             for (int i : s.RequireProperty(c.Handle()).SelectedKeys()) out.push_back(i);
             return out;
         }},
        {"prop.propertyValueType",
         [](Scene& s, const Call& c) -> Out {
             return ValueTypeNumber(s.RequireProperty(c.Handle()).Type());
         }},
        {"prop.hasMin",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).Min().has_value();
         }},
        {"prop.hasMax",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).Max().has_value();
         }},
        {"prop.minValue",
         [](Scene& s, const Call& c) -> Out {
             const auto& min = s.RequireProperty(c.Handle()).Min();
             if (!min) throw ModelError("Unable to get \"minValue\": the property has no minimum.");
             return *min;
         }},
        {"prop.maxValue",
         [](Scene& s, const Call& c) -> Out {
             const auto& max = s.RequireProperty(c.Handle()).Max();
             if (!max) throw ModelError("Unable to get \"maxValue\": the property has no maximum.");
             return *max;
         }},
        // ---- interpolation and ease ----
        {"prop.isInterpolationTypeValid",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).IsInterpolationValid(InterpolationArg(c, 0));
         }},
        {"prop.setInterpolationTypeAtKey",
         [](Scene& s, const Call& c) -> Out {
             model::Property& p = s.RequireProperty(c.Handle());
             const int index = c.Index(0);
             const auto in = InterpolationArg(c, 1);
             const auto out = c.At(2).type == Arg::Undefined ? in : InterpolationArg(c, 2);
             return s.SetKeyInterpolation(p, index, in, out), Undefined{};
         }},
        {"prop.keyInInterpolationType",
         [](Scene& s, const Call& c) -> Out { return InterpolationNumber(KeyArg(s, c).inType); }},
        {"prop.keyOutInterpolationType",
         [](Scene& s, const Call& c) -> Out { return InterpolationNumber(KeyArg(s, c).outType); }},
        {"prop.setTemporalEaseAtKey",
         [](Scene& s, const Call& c) -> Out {
             model::Property& p = s.RequireProperty(c.Handle());
             const int index = c.Index(0);
             const auto in = EasesArg(c, 1);
             const auto out = c.At(2).type == Arg::Undefined ? in : EasesArg(c, 2);
             return s.SetKeyEase(p, index, in, out), Undefined{};
         }},
        {"prop.keyInTemporalEase",
         [](Scene& s, const Call& c) -> Out { return EasesOut(KeyArg(s, c).inEase); }},
        {"prop.keyOutTemporalEase",
         [](Scene& s, const Call& c) -> Out { return EasesOut(KeyArg(s, c).outEase); }},
        {"prop.keyTemporalContinuous", KeyFlagGet<model::KeyFlag::TemporalContinuous>},
        {"prop.setTemporalContinuousAtKey", KeyFlagSet<model::KeyFlag::TemporalContinuous>},
        {"prop.keyTemporalAutoBezier", KeyFlagGet<model::KeyFlag::TemporalAutoBezier>},
        {"prop.setTemporalAutoBezierAtKey", KeyFlagSet<model::KeyFlag::TemporalAutoBezier>},
        {"prop.keySpatialContinuous", KeyFlagGet<model::KeyFlag::SpatialContinuous>},
        {"prop.setSpatialContinuousAtKey", KeyFlagSet<model::KeyFlag::SpatialContinuous>},
        {"prop.keySpatialAutoBezier", KeyFlagGet<model::KeyFlag::SpatialAutoBezier>},
        {"prop.setSpatialAutoBezierAtKey", KeyFlagSet<model::KeyFlag::SpatialAutoBezier>},
        {"prop.keyRoving", KeyFlagGet<model::KeyFlag::Roving>},
        {"prop.setRovingAtKey", KeyFlagSet<model::KeyFlag::Roving>},
        {"prop.keyInSpatialTangent",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).KeyTangent(c.Index(0), false, "keyInSpatialTangent");
         }},
        {"prop.keyOutSpatialTangent",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).KeyTangent(c.Index(0), true, "keyOutSpatialTangent");
         }},
        {"prop.setSpatialTangentsAtKey",
         [](Scene& s, const Call& c) -> Out {
             model::Property& p = s.RequireProperty(c.Handle());
             const int index = c.Index(0);
             const model::Value in = c.Value(1);
             const model::Value out = c.At(2).type == Arg::Undefined ? in : c.Value(2);
             return s.SetKeyTangents(p, index, in, out), Undefined{};
         }},
        {"prop.keyLabel",
         [](Scene& s, const Call& c) -> Out { return static_cast<double>(KeyArg(s, c).label); }},
        {"prop.setLabelAtKey",
         [](Scene& s, const Call& c) -> Out {
             model::Property& p = s.RequireProperty(c.Handle());
             const int index = c.Index(0);
             return s.SetKeyLabel(p, index, c.Index(1)), Undefined{};
         }},
        // ---- values at keys ----
        {"prop.setValueAtKey",
         [](Scene& s, const Call& c) -> Out {
             model::Property& p = s.RequireProperty(c.Handle());
             const int index = c.Index(0);
             return s.SetValueAtKey(p, index, c.Value(1)), Undefined{};
         }},
        {"prop.setValuesAtTimes",
         [](Scene& s, const Call& c) -> Out {
             model::Property& p = s.RequireProperty(c.Handle());
             if (c.At(0).type != Arg::Numbers)
                 model::ThrowParameter("setValuesAtTimes", 1, "Value is not an array of numbers.");
             return s.SetValuesAtTimes(p, c.At(0).numbers, ValuesArg(c, 1)), Undefined{};
         }},
        // ---- kinds, units, separation ----
        {"prop.isSpatial",
         [](Scene& s, const Call& c) -> Out {
             return model::IsSpatial(s.RequireProperty(c.Handle()).Type());
         }},
        {"prop.unitsText",
         [](Scene& s, const Call& c) -> Out {
             return std::string(s.RequireProperty(c.Handle()).UnitsText());
         }},
        // No modelled effect has a Dropdown Menu Control's menu.
        {"prop.isDropdownEffect",
         [](Scene& s, const Call& c) -> Out { return (s.RequireProperty(c.Handle()), false); }},
        // ---- expressions: kept and journaled, not evaluated ----
        {"prop.canSetExpression",
         [](Scene& s, const Call& c) -> Out { return (s.RequireProperty(c.Handle()), true); }},
        {"prop.expression",
         [](Scene& s, const Call& c) -> Out { return s.RequireProperty(c.Handle()).Expression(); }},
        {"prop.expression=",
         [](Scene& s, const Call& c) -> Out {
             model::Property& p = s.RequireProperty(c.Handle());
             if (c.At(0).type != Arg::Text)
                 throw ModelError("Unable to set \"expression\". Value is not a string.");
             return s.SetExpression(p, c.At(0).text), Undefined{};
         }},
        {"prop.expressionEnabled",
         [](Scene& s, const Call& c) -> Out {
             return s.RequireProperty(c.Handle()).ExpressionEnabled();
         }},
        {"prop.expressionEnabled=",
         [](Scene& s, const Call& c) -> Out {
             return s.SetExpressionEnabled(s.RequireProperty(c.Handle()), c.Flag()), Undefined{};
         }},
        {"prop.expressionError",
         [](Scene& s, const Call& c) -> Out {
             return (s.RequireProperty(c.Handle()), std::string());
         }},
        // ---- KeyframeEase: both numbers required, the influence within its range ----
        {"ease.new",
         [](Scene&, const Call& c) -> Out {
             for (std::size_t i : {0, 1})
                 if (c.At(i).type != Arg::Number || !std::isfinite(c.At(i).number))
                     model::ThrowParameter("KeyframeEase", static_cast<int>(i) + 1,
                                           "Value is not a finite number.");
             const model::Ease e =
                 model::CheckedEase("KeyframeEase", 2, c.At(0).number, c.At(1).number);
             return nlohmann::json::array({e.speed, e.influence});
         }},
    };
    return ops;
}

}  // namespace hostsim::bindings
