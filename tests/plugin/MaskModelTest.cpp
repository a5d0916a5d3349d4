// Masks, their Shape paths and the children of indexed groups through the host's script
// runner: shapes checked as the host takes them, paths keyed and interpolated, mask
// attributes with their ranges, moves, copies and removals; a refusal changes nothing.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "ScriptRows.h"

namespace {

// Each row on a fresh built-in project; `after` reads the same host afterwards. T is the
// "Title" layer; sq(d) a closed square shape of side d; m1() adds a mask to T.
using scriptrows::Row;

const std::string kPrefix =
    "var C = app.project.item(2), T = C.layer('Title'); function sq(d) { var s = new "
    "Shape(); s.vertices = [[0, 0], [0, d], [d, d], [d, 0]]; return s; } "
    "function m1() { return T.mask.addProperty('Mask'); } ";

void RunRows(const std::vector<Row>& rows) { scriptrows::RunRows(kPrefix, rows); }

using scriptrows::Param;
using scriptrows::Set;
const std::string kSetPath = "var m = m1(), s = sq(10); ";
const std::string kVertices = "T.mask(1).maskPath.value.vertices.length";

TEST(MaskModel, ShapesAreCheckedAttributeByAttributeAndWhole) {
    RunRows({
        {"var s = new Shape(); [String(s), s.closed, s.vertices.length].join()",
         "[object Shape],true,0"},
        {"new Shape().vertices = [[0, 0], [1]]", "",
         Set("vertices", "Value is not an array of [x, y] pairs.")},
        {"new Shape().featherTypes = [2]", "", Set("featherTypes", "Value 2 out of range 0 to 1.")},
        {kSetPath + "s.inTangents = [[1, 1]]; m.maskPath.setValue(s)", "",
         Param("setValue", 1,
               "\"inTangents\": Array of 4 tangents expected, as many as the vertices."),
         kVertices, "0"},
        {kSetPath + "s.closed = false; s.featherSegLocs = [0]; m.maskPath.setValue(s)", "",
         Param("setValue", 1, "\"featherSegLocs\": Feather points need a closed shape."), kVertices,
         "0"},
        {kSetPath + "s.featherSegLocs = [4]; m.maskPath.setValue(s)", "",
         Param("setValue", 1, "\"featherSegLocs\": Value 4 out of range 0 to 3.")},
        {kSetPath + "s.featherSegLocs = [1]; s.featherTypes = [1]; s.featherRadii = [5]; "
                    "m.maskPath.setValue(s)",
         "",
         Param("setValue", 1, "\"featherRadii\": Value 5 does not suit an inner feather point.")},
        {kSetPath +
             "s.featherSegLocs = [1, 2]; s.featherRadii = [30, -100]; "
             "m.maskPath.setValue(s); var v = m.maskPath.value; v.vertices = [[1, 1]]; "
             "[v.featherTypes, m.maskPath.value.featherTensions, m.maskPath.value.inTangents[3], "
             "m.maskPath.value.vertices.length].join('|')",
         "0,1|0,0|0,0|4"},
        {"m1().maskPath.setValue([1, 2])", "", Param("setValue", 1, "Value is not a Shape."),
         kVertices, "0"},
    });
}

TEST(MaskModel, PathKeysInterpolateEqualCountsOnly) {
    const std::string keyed =
        "var p = m1().maskPath; p.setValueAtTime(0, sq(10)); "
        "p.setValueAtTime(2, sq(20)); ";
    RunRows({
        {keyed + "[p.valueAtTime(1).vertices[2], p.numKeys, p.keyValue(2).vertices[2]].join('|')",
         "15,15|2|20,20"},
        {keyed + "p.setInterpolationTypeAtKey(1, KeyframeInterpolationType.HOLD); "
                 "p.valueAtTime(1.9).vertices[2].join()",
         "10,10"},
        {keyed + "p.addKey(1); p.keyValue(2).vertices[2].join()", "15,15"},
        {keyed + "var t = new Shape(); t.vertices = [[0, 0]]; p.setValueAtKey(2, t); "
                 "p.valueAtTime(1)",
         "",
         "\"value\" is not modelled by the simulated host between shape keys with different "
         "numbers of vertices or feather points"},
        {"var m = m1(); m.maskPath.setValueAtTime(1, sq(5)); m.rotoBezier = true; "
         "m.maskPath.keyValue(1)",
         "",
         "\"value\" is not modelled by the simulated host for a RotoBezier mask (the host computes "
         "its tangents)"},
    });
}

TEST(MaskModel, MaskAttributesKeepTheHostsRanges) {
    RunRows({
        {"var m = m1(); [m.name, m.maskMode === MaskMode.ADD, m.inverted, m.rotoBezier, "
         "m.maskMotionBlur === MaskMotionBlur.SAME_AS_LAYER, m.locked, m.maskFeatherFalloff === "
         "MaskFeatherFalloff.FFO_SMOOTH, m.isMask, T.mask.isMask, m instanceof MaskPropertyGroup, "
         "T.mask.propertyType === PropertyType.INDEXED_GROUP, m.maskFeather.value, "
         "m.maskOpacity.value, m.maskExpansion.value, m.maskShape.propertyValueType === "
         "PropertyValueType.SHAPE, m.elided].join()",
         "Mask 1,true,false,false,true,false,true,true,false,true,true,0,0,100,0,true,false"},
        {"m1(); var n = T('Masks').addProperty('ADBE Mask Atom'); n.maskMode = MaskMode.SUBTRACT; "
         "n.color = [0, 0.5, 1]; [n.name, T.property('ADBE Mask Parade')('Mask 2').maskMode === "
         "MaskMode.SUBTRACT, n.color].join()",
         "Mask 2,true,0,0.5,1"},
        {"m1().maskMode = 6819", "", Set("maskMode", "Value 6819 out of range 6812 to 6818."),
         "T.mask(1).maskMode === MaskMode.ADD", "true"},
        {"m1().inverted = 1", "", Set("inverted", "Value is not a boolean.")},
        {"m1().color = [1, 2, 0]", "", Set("color", "Value 2 out of range 0 to 1.")},
        {"m1().maskFeather.setValue([32001, 0])", "",
         Param("setValue", 1, "Value 32001 out of range 0 to 32000.")},
        {"T.mask.addProperty('Glow')", "",
         Param("addProperty", 1, "\"Glow\" cannot be added to \"Masks\"."), "T.mask.numProperties",
         "0"},
    });
}

TEST(MaskModel, IndexedChildrenMoveCopyAndGoInOrder) {
    const std::string three = "m1(); m1(); m1(); var a = T.mask(1), b = T.mask(2); ";
    const std::string names =
        "(function () { var o = []; for (var i = 1; i <= T.mask.numProperties; i++) "
        "o[i - 1] = T.mask(i).name; return o.join(); })()";
    RunRows({
        {three + "a.moveTo(3); " + names, "Mask 2,Mask 3,Mask 1"},
        {three + "a.moveTo(3); b.name", "", "Object is invalid"},
        {three + "a.moveTo(4)", "", Param("moveTo", 1, "Value 4 out of range 1 to 3."), names,
         "Mask 1,Mask 2,Mask 3"},
        {"T.transform.moveTo(1)", "",
         "Unable to call \"moveTo\" because only a child of an indexed group (a mask, an effect) "
         "allows it."},
        {three +
             "a.inverted = true; var d = T.mask(1).duplicate(); [d.name, d.inverted, "
             "d.propertyIndex].join() + '|' + " +
             names,
         "Mask 4,true,2|Mask 1,Mask 4,Mask 2,Mask 3"},
        {three + "T.mask(2).remove(); " + names, "Mask 1,Mask 3"},
        {"T.transform.opacity.remove()", "",
         "Unable to call \"remove\" because only a child of an indexed group (a mask, an effect) "
         "allows it.",
         "T.transform.numProperties", "11"},
        {"var o = m1().maskOpacity; [o.propertyGroup().name, o.propertyGroup(2).name, "
         "o.propertyGroup(3).name].join()",
         "Mask 1,Masks,Title"},
        {"m1().maskOpacity.propertyGroup(4)", "",
         Param("propertyGroup", 1, "Value 4 out of range 1 to 3.")},
        {"m1().name = 'Edge'; T.transform.name = 'x'", "",
         Set("name", "Only a child of an indexed group can be renamed."), "T.mask(1).name", "Edge"},
        {"m1().inverted = true; T.duplicate().mask(1).inverted", "true"},
    });
}

}  // namespace

TEST(MaskModel, AProjectFilePutsMasksOnLayersByTheSameRules) {
    const std::string path = testing::TempDir() + "/masks.json";
    const auto run = [&](const std::string& mask) {
        std::ofstream(path) << R"({"items": [{"id": 1, "name": "C", "type": "composition",
            "layers": [{"name": "A", "masks": [)"
                            << mask << "]}]}]}";
        hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::LoadProjectFile(path));
        return host.RunScript(
            "var m = app.project.item(1).layer(1).mask(1); [m.inverted, "
            "m.maskOpacity.value, m.maskPath.value.vertices.length].join()");
    };
    EXPECT_EQ(run(R"({"path": {"vertices": [[0, 0], [0, 5], [5, 5]]}, "inverted": true,
                      "properties": {"Mask Opacity": 50}})")
                  .result,
              "true,50,3");
    EXPECT_THROW(run(R"({"maskMode": 1})"), std::exception);
}
