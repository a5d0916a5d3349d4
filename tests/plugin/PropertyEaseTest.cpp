// Keyframe interpolation and ease: the value between two keys against values worked out by
// hand from the curve docs/hostsim.md gives (a cubic Bezier in time and value whose handles
// lie at influence % of the segment with slope = speed), hold keys, a key's state as the
// project file and scripts set it, the calls the host refuses (changing nothing), and each
// node's propertyType.
#include <gtest/gtest.h>

#include "core/Catalog.h"
#include "core/Host.h"

namespace {

using namespace hostsim::model;
using nlohmann::json;

constexpr double kThird = 100.0 / 3;  // an influence of a third: time is then linear in s

// Two keys, 0 at 0 s and 100 at 1 s (or the given values), of a property of that type.
struct Segment {
    ValueType type;
    Value from, to;
    Interpolation outType = Interpolation::Linear, inType = Interpolation::Linear;
    std::vector<Ease> outEase = {}, inEase = {};  // none: the key's default
    Value outTangent = {}, inTangent = {};
};

TEST(PropertyEase, TheValueBetweenTwoKeysFollowsTheirInterpolationAndEase) {
    const Ease still{0, kThird};
    const struct {
        const char* what;
        Segment s;
        double time;
        Value expected;
    } cases[] = {
        {"linear", {ValueType::OneD, {0}, {100}}, 0.25, {25}},
        // y = 0, 0, 100, 100 at s = t: 3(0.75)(0.0625)100 + (0.015625)100.
        {"ease, a third",
         {ValueType::OneD,
          {0},
          {100},
          Interpolation::Bezier,
          Interpolation::Bezier,
          {still},
          {still}},
         0.25,
         {15.625}},
        // The default influence (1/6): at s = 0.25 the time is 0.203125, the value 15.625.
        {"ease, default influence",
         {ValueType::OneD,
          {0},
          {100},
          Interpolation::Bezier,
          Interpolation::Bezier,
          {Ease{}},
          {Ease{}}},
         0.203125,
         {15.625}},
        // Influences 2/3 out and 1/3 in: time 2s − 2s² + s³, 0.625 at s = 0.5, where the
        // value is half way.
        {"unequal influences",
         {ValueType::OneD,
          {0},
          {100},
          Interpolation::Bezier,
          Interpolation::Bezier,
          {{0, 2 * kThird}},
          {still}},
         0.625,
         {50}},
        // Out speed 300: y = 0, 100, 100, 100 at s = 0.5: (300 + 300 + 100) / 8.
        {"speed out",
         {ValueType::OneD,
          {0},
          {100},
          Interpolation::Bezier,
          Interpolation::Bezier,
          {{300, kThird}},
          {still}},
         0.5,
         {87.5}},
        // A linear side leaves at the segment's slope: y = 0, 33.3, 100, 100: 500 / 8.
        {"linear out, eased in",
         {ValueType::OneD,
          {0},
          {100},
          Interpolation::Linear,
          Interpolation::Bezier,
          {{999, kThird}},
          {still}},
         0.5,
         {62.5}},
        {"hold out", {ValueType::OneD, {0}, {100}, Interpolation::Hold}, 0.99, {0}},
        {"hold in",
         {ValueType::OneD, {0}, {100}, Interpolation::Linear, Interpolation::Hold},
         0.5,
         {0}},
        // Per dimension: the second eases at the slope, so stays linear.
        {"two dimensions",
         {ValueType::TwoD,
          {0, 0},
          {100, 100},
          Interpolation::Bezier,
          Interpolation::Bezier,
          {still, {100, kThird}},
          {still, {100, kThird}}},
         0.25,
         {15.625, 25}},
        // Spatial: eased along the line to [30, 40, 0], a distance of 50: 0.15625 of it.
        {"spatial, straight",
         {ValueType::ThreeDSpatial,
          {0, 0, 0},
          {30, 40, 0},
          Interpolation::Bezier,
          Interpolation::Bezier,
          {still},
          {still}},
         0.25,
         {4.6875, 6.25, 0}},
        // A symmetric arc, moved along at constant speed: half way is its middle,
        // (P0 + 3 P1 + 3 P2 + P3) / 8 with P1 = (0, 50), P2 = (100, 50).
        {"spatial, tangents",
         {ValueType::TwoDSpatial,
          {0, 0},
          {100, 0},
          Interpolation::Linear,
          Interpolation::Linear,
          {},
          {},
          {0, 50},
          {0, 50}},
         0.5,
         {50, 37.5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Property p({"P", "P", c.s.type, c.s.from});
        p.SetValueAtTime(0, c.s.from);
        p.SetValueAtTime(1, c.s.to);
        if (!c.s.outEase.empty()) p.SetTemporalEase(1, c.s.outEase, c.s.outEase);
        if (!c.s.inEase.empty()) p.SetTemporalEase(2, c.s.inEase, c.s.inEase);
        p.SetInterpolation(1, Interpolation::Linear, c.s.outType);
        p.SetInterpolation(2, c.s.inType, Interpolation::Linear);
        if (!c.s.outTangent.empty()) p.SetSpatialTangents(1, c.s.outTangent, c.s.outTangent);
        if (!c.s.inTangent.empty()) p.SetSpatialTangents(2, c.s.inTangent, c.s.inTangent);
        const Value v = p.ValueAt(c.time);
        ASSERT_EQ(v.size(), c.expected.size());
        for (std::size_t i = 0; i < v.size(); ++i) EXPECT_NEAR(v[i], c.expected[i], 1e-6) << i;
        EXPECT_EQ(p.ValueAt(1)[0], c.s.to[0]);  // the key itself, hold or not
    }
}

// Scripts on the built-in project: Logo (layer 2) has opacity keys 0 at 0 s and 100 at 2 s.
TEST(PropertyEase, ScriptsSetAndReadAKeysStateAndRefusedCallsChangeNothing) {
    const std::string prefix =
        "var L = app.project.item(2).layer(2), T = app.project.item(2).layer(1), "
        "o = L.transform.opacity, KIT = KeyframeInterpolationType, PT = PropertyType; ";
    // What the refused calls might have changed: Logo's keys and Title's opacity.
    const std::string state =
        "[o.numKeys, o.keyValue(1), o.keyInInterpolationType(1), o.keyOutTemporalEase(1)[0]"
        ".influence.toFixed(2), o.keyLabel(1), o.expression, T.opacity.isModified].join()";
    const std::string unchanged = "2,0,6612,16.67,0,,false";
    const auto param = [](const std::string& method, int n, const std::string& problem) {
        return "Error: Unable to call \"" + method + "\" because of parameter " +
               std::to_string(n) + ". " + problem + " (line 1)";
    };
    const struct {
        std::string script, result, error, after = "";
    } cases[] = {
        {"var e = new KeyframeEase(2, 50); [e.speed, e.influence, String(e), "
         "e instanceof KeyframeEase].join()",
         "2,50,[object KeyframeEase],true", ""},
        {"var e = KeyframeEase(1, 60); [e.influence, e instanceof KeyframeEase, "
         "typeof speed].join()",
         "60,true,undefined", ""},
        {"o.setTemporalEaseAtKey(1, [new KeyframeEase(0, 75)]); var e = o.keyOutTemporalEase(1);"
         "[e.length, e[0].influence, e[0] instanceof KeyframeEase, o.keyInInterpolationType(1) "
         "=== KIT.BEZIER, o.valueAtTime(1, false) < 50].join()",
         "1,75,true,true,true", ""},
        {"var e = new KeyframeEase(0, 40); L.transform.scale.setValueAtTime(0, [1, 1, 1]);"
         "L.transform.scale.setTemporalEaseAtKey(1, [e, e, e], [e, e, e]);"
         "L.transform.position.setValueAtTime(0, [1, 1, 0]);"
         "L.transform.position.setTemporalEaseAtKey(1, [e]);"
         "L.transform.scale.keyInTemporalEase(1).length + L.transform.position"
         ".keyInTemporalEase(1).length",
         "4", ""},
        {"o.setInterpolationTypeAtKey(1, KIT.HOLD); [o.keyOutInterpolationType(1), "
         "o.valueAtTime(1.9, true)].join()",
         "6614,0", ""},
        // A key's state travels with it as keys are added before it.
        {"o.setLabelAtKey(2, 5); o.setInterpolationTypeAtKey(2, KIT.BEZIER, KIT.HOLD); "
         "o.addKey(1); [o.keyLabel(3), o.keyOutInterpolationType(3), o.keyLabel(2)].join()",
         "5,6614,0", ""},
        {"o.setValuesAtTimes([1, 3], [50, 60]); o.setValueAtKey(4, 70); "
         "[o.numKeys, o.keyValue(2), o.keyValue(4)].join()",
         "4,50,70", ""},
        {"T.opacity.expression = 'wiggle(1, 5)'; [T.opacity.expressionEnabled, "
         "T.opacity.isTimeVarying, T.opacity.expressionError === '', T.opacity.valueAtTime(0, "
         "true), T.isModified].join()",
         "true,true,true,100,true", ""},
        {"var B = app.project.item(2).layer(3).opacity; B.expression = 'time'; B.value", "",
         "Error: \"value\" is not modelled by the simulated host for a property whose expression "
         "is enabled (expressions are kept, not evaluated) (line 1)"},
        {"[T.opacity.unitsText, T.position.isSpatial, T.position.isSeparationLeader, "
         "T.opacity.canSetExpression, T.position.dimensionsSeparated].join()",
         "percent,true,true,true,false", ""},
        {"[T.propertyType === PT.NAMED_GROUP, T.effect.propertyType === PT.INDEXED_GROUP, "
         "T.transform.propertyType === PT.NAMED_GROUP, T.opacity.propertyType === PT.PROPERTY, "
         "T.effect.addProperty('Tint').propertyType === PT.NAMED_GROUP].join()",
         "true,true,true,true,true", ""},
        // The first and last key cannot rove: ignored there.
        {"var P = L.transform.position; P.setValuesAtTimes([0, 1, 2], [[0, 0], [1, 1], [2, 2]]);"
         "P.setRovingAtKey(1, true); P.setRovingAtKey(2, true); [P.keyRoving(1), P.keyRoving(2)]"
         ".join()",
         "false,true", ""},
        // Refused, with nothing changed.
        {"new KeyframeEase(1)", "", param("KeyframeEase", 2, "Value is not a finite number.")},
        {"new KeyframeEase(0, 0)", "",
         param("KeyframeEase", 2, "Value 0 out of range 0.1 to 100.")},
        {"var e = new KeyframeEase(0, 50); e.influence = 101; o.setTemporalEaseAtKey(1, [e])", "",
         param("setTemporalEaseAtKey", 2, "Value 101 out of range 0.1 to 100.")},
        {"o.setTemporalEaseAtKey(1, [{speed: 0, influence: 50}])", "",
         param("setTemporalEaseAtKey", 2, "Value is not an array of KeyframeEase objects.")},
        {"var e = new KeyframeEase(0, 50); o.setTemporalEaseAtKey(1, [e], [e, e])", "",
         param("setTemporalEaseAtKey", 3, "Array of 1 KeyframeEase object expected.")},
        {"var e = new KeyframeEase(0, 50); L.transform.scale.setValueAtTime(0, [1, 1]);"
         "L.transform.scale.setTemporalEaseAtKey(1, [e])",
         "", param("setTemporalEaseAtKey", 2, "Array of 3 KeyframeEase objects expected.")},
        {"o.setInterpolationTypeAtKey(1, KIT.BEZIER, 3)", "",
         param("setInterpolationTypeAtKey", 3, "Value is not a KeyframeInterpolationType.")},
        {"o.setInterpolationTypeAtKey(3, KIT.HOLD)", "",
         param("setInterpolationTypeAtKey", 1, "Value 3 out of range 1 to 2.")},
        {"o.setLabelAtKey(1, 17)", "", param("setLabelAtKey", 2, "Value 17 out of range 0 to 16.")},
        {"o.setValuesAtTimes([5, 6], [10])", "",
         param("setValuesAtTimes", 2, "Array of 2 values expected, as many as the times.")},
        {"o.setValuesAtTimes([5, 6], [10, 200])", "",
         param("setValuesAtTimes", 2, "Value 200 out of range 0 to 100.")},
        {"o.setValueAtKey(1, -5)", "",
         param("setValueAtKey", 2, "Value -5 out of range 0 to 100.")},
        {"o.setRovingAtKey(2, true)", "",
         "Error: Unable to call \"setRovingAtKey\" because the property is not spatial. (line 1)"},
        {"o.keyInSpatialTangent(1)", "",
         "Error: Unable to call \"keyInSpatialTangent\" because the property is not spatial. (line "
         "1)"},
        {"T.opacity.expressionEnabled = true", "",
         "Error: Unable to set \"expressionEnabled\". The property has no expression. (line 1)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
        const auto outcome = host.RunScript(prefix + c.script);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.error, c.error);
        if (!c.error.empty()) {
            EXPECT_EQ(host.RunScript(prefix + state).result, unchanged);
        }
    }
}

// The project file gives keys their ease and interpolation by the scripts' rules.
TEST(PropertyEase, TheProjectFileGivesKeysTheirEaseAndInterpolation) {
    auto project = hostsim::BuiltInProject();
    project.items[1].comp["layers"][1]["properties"]["Opacity"]["keys"] = json::parse(
        R"([[0, 0, {"easeOut": [[0, 33.333333333333336]]}], [1, 100, {"easeIn": [[0, 33.333333333333336]], "out": "HOLD"}], [2, 0]])");
    hostsim::Host host({}, hostsim::BuiltInEffects(), project);
    EXPECT_EQ(host.RunScript("var p = app.project.item(2).layer(2).transform.opacity; "
                             "[Math.round(p.valueAtTime(0.25, true) * 1e6) / 1e6, "
                             "p.valueAtTime(1.5, true), "
                             "p.keyOutInterpolationType(1), p.keyInInterpolationType(2), "
                             "p.keyOutInterpolationType(2)].join()")
                  .result,
              "15.625,100,6613,6613,6614");
}

}  // namespace
