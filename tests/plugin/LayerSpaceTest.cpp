// What ties a layer to others and to its source, through the host's script runner: points
// through the transform and its parents (values worked out by hand), track mattes and light
// sources as layers come and go, time remapping's keys, replaced sources, separated
// dimensions, camera and light options; every refusal changes nothing.
#include <gtest/gtest.h>

#include <string>

#include "ScriptRows.h"

namespace {

// Each row on a fresh built-in project (Main Comp C: Title T, Logo L, Background B, all
// 1920x1080 without a source; Lower Third O): the result or error, then what `after` reads.
using scriptrows::Row;

const std::string kPrefix =
    "var C = app.project.item(2), T = C.layer('Title'), L = C.layer('Logo'), "
    "B = C.layer('Background'), O = app.project.item(5); "
    "function r(p) { return [Math.round(p[0] * 1000) / 1000, Math.round(p[1] * 1000) / 1000]; "
    "} ";

void RunRows(const std::vector<Row>& rows) { scriptrows::RunRows(kPrefix, rows); }

using scriptrows::Param;

TEST(LayerSpace, PointsFollowTheTransformAndItsParents) {
    RunRows({
        // [30,40] - anchor [10,20] = [20,20]; scaled [40,10]; turned 90 degrees [-10,40];
        // plus the position [100,200].
        {"T.anchorPoint.setValue([10, 20]); T.position.setValue([100, 200]); "
         "T.scale.setValue([200, 50]); T.rotation.setValue(90); "
         "r(T.sourcePointToComp([30, 40])) + '|' + r(T.compPointToSource([90, 240]))",
         "90,240|30,40"},
        // Logo's own transform leaves a point where it is; its parent moves it by [100,200].
        {"T.anchorPoint.setValue([0, 0]); T.position.setValue([100, 200]); "
         "L.setParentWithJump(T); r(L.sourcePointToComp([5, 5]))",
         "105,205"},
        {"T.position.dimensionsSeparated = true; T.xPosition.setValue(500); "
         "T.anchorPoint.setValue([0, 0]); r(T.sourcePointToComp([0, 0]))",
         "500,540"},
        {"L.setParentWithJump(T); T.threeDLayer = true; L.sourcePointToComp([0, 0])", "",
         "\"sourcePointToComp\" is not modelled by the simulated host for 3D or auto-oriented "
         "layers"},
        {"T.scale.setValue([0, 0]); T.compPointToSource([0, 0])", "",
         "Unable to call \"compPointToSource\" because the layer is scaled to nothing."},
    });
}

TEST(LayerSpace, TrackMattesLinkLayersOfOneCompositionUntilOneGoes) {
    RunRows({
        {"T.setTrackMatte(B, TrackMatteType.LUMA); [T.trackMatteLayer.name, T.hasTrackMatte, "
         "B.isTrackMatte, L.isTrackMatte, T.trackMatteType === TrackMatteType.LUMA].join()",
         "Background,true,true,false,true"},
        {"T.setTrackMatte(B, TrackMatteType.ALPHA); B.remove(); "
         "[String(T.trackMatteLayer), T.hasTrackMatte, T.trackMatteType === TrackMatteType.ALPHA]"
         ".join()",
         "null,false,true"},
        {"T.setTrackMatte(L, TrackMatteType.LUMA); T.removeTrackMatte(); "
         "[String(T.trackMatteLayer), L.isTrackMatte, T.trackMatteType === TrackMatteType.LUMA]"
         ".join()",
         "null,false,true"},
        {"T.setTrackMatte(B, TrackMatteType.ALPHA); C.layers.precompose([3], 'P'); "
         "String(T.trackMatteLayer)",
         "null"},
        {"T.setTrackMatte(L, TrackMatteType.NO_TRACK_MATTE); T.hasTrackMatte", "false"},
        {"L.trackMatteType = TrackMatteType.ALPHA; L.trackMatteLayer.name", "Title"},
        {"T.setTrackMatte(T, TrackMatteType.ALPHA)", "",
         Param("setTrackMatte", 1, "A layer cannot matte itself."), "T.hasTrackMatte", "false"},
        {"L.setTrackMatte(T, TrackMatteType.ALPHA); T.setTrackMatte(L, TrackMatteType.ALPHA)", "",
         Param("setTrackMatte", 1, "That layer is already matted by this one."),
         "String(T.trackMatteLayer)", "null"},
        {"T.setTrackMatte(O.layer(1), TrackMatteType.ALPHA)", "",
         Param("setTrackMatte", 1, "The layer is not in the same composition."), "T.hasTrackMatte",
         "false"},
        {"T.setTrackMatte(C.layers.addCamera('K', [0, 0]), TrackMatteType.ALPHA)", "",
         Param("setTrackMatte", 1, "Value is not an AV layer."), "T.hasTrackMatte", "false"},
        {"var i = C.layers.addLight('I', [0, 0]); i.lightSource = B; var n = i.lightSource.name; "
         "B.remove(); n + '|' + String(i.lightSource)",
         "Background|null"},
        {"var i = C.layers.addLight('I', [0, 0]); B.threeDLayer = true; i.lightSource = B", "",
         "Invalid light source specified", "String(C.layer(1).lightSource)", "null"},
    });
}

TEST(LayerSpace, SourcesDecideRemappingCollapseAndTheRectangle) {
    RunRows({
        {"C.layers.precompose([1], 'P'); var l = C.layer(1); l.timeRemapEnabled = true; "
         "[l.canSetTimeRemapEnabled, l.canSetCollapseTransformation, l.timeRemap.numKeys, "
         "l.timeRemap.keyTime(2), l.timeRemap.keyValue(2)].join()",
         "true,true,2,10,10", "",
         "C.layer(1).timeRemapEnabled = false; C.layer(1).timeRemap.numKeys", "0"},
        {"T.timeRemapEnabled = true", "",
         "Unable to set \"timeRemapEnabled\". It cannot be changed on this layer.",
         "[T.timeRemapEnabled, T.timeRemap.numKeys, T.canSetTimeRemapEnabled].join()",
         "false,0,false"},
        {"T.collapseTransformation = true", "",
         "Unable to set \"collapseTransformation\". It cannot be changed on this layer.",
         "T.collapseTransformation", "false"},
        {"var s = T.sourceRectAtTime(0, false); [s.top, s.left, s.width, s.height].join()",
         "0,0,1920,1080"},
        {"C.layers.addText('x').sourceRectAtTime(0, false)", "",
         "\"sourceRectAtTime\" is not modelled by the simulated host for text and shape layers"},
        {"T.replaceSource(app.project.item(6), false); [T.source.name, T.width, T.height, "
         "T.audioActiveAtTime(1)].join()",
         "Dark Gray Solid 1,100,100,false"},
        {"O.layer(1).replaceSource(C, false); T.replaceSource(O, false)", "",
         Param("replaceSource", 1, "The composition would contain itself."), "String(T.source)",
         "null"},
        {"T.replaceSource(app.project.item(1), false)", "",
         Param("replaceSource", 1, "Value is not an AVItem."), "String(T.source)", "null"},
    });
}

TEST(LayerSpace, SeparatedDimensionsCarryTheValueAndKeysBothWays) {
    RunRows({
        {"var p = T.position; p.setValueAtTime(0, [0, 0, 0]); p.setValueAtTime(2, [20, 40, 0]); "
         "p.dimensionsSeparated = true; [p.numKeys, T.xPosition.numKeys, "
         "T.yPosition.valueAtTime(1, false), p.valueAtTime(1, false), "
         "T.xPosition.separationDimension, T.yPosition.separationLeader.name, "
         "p.getSeparationFollower(1).name, T.zPosition.isSeparationFollower].join()",
         "0,2,20,10,20,0,0,Position,Y Position,true", "",
         "var p = T.position; p.dimensionsSeparated = false; [p.numKeys, p.keyValue(2)].join()",
         "2,20,40,0"},
        {"var p = T.position; p.setValueAtTime(0, [0, 0, 0]); p.dimensionsSeparated = true; "
         "T.yPosition.setValueAtTime(2, 40); p.dimensionsSeparated = false; "
         "[p.numKeys, p.keyValue(2), T.xPosition.value].join()",
         "2,0,40,0,0"},
        // Parenting without a jump moves the separated X Position into the parent's space.
        {"T.position.dimensionsSeparated = true; T.xPosition.setValue(1060); "
         "L.position.dimensionsSeparated = true; L.parent = T; L.xPosition.value",
         "860"},
        {"T.xPosition.setValue(5)", "",
         "Unable to change \"X Position\". It is hidden while the position's dimensions are "
         "joined.",
         "T.xPosition.value", "960"},
        {"T.position.dimensionsSeparated = true; T.position.setValue([1, 2])", "",
         "Unable to change \"Position\". It is hidden while the position's dimensions are "
         "separated.",
         "T.position.value.join()", "960,540,0"},
        {"T.opacity.dimensionsSeparated = true", "",
         "Unable to set \"dimensionsSeparated\". The property has no separate dimensions."},
        {"T.opacity.separationDimension", "",
         "\"separationDimension\" is not modelled by the simulated host"},
    });
}

TEST(LayerSpace, CameraLightAndMaterialOptionsHaveTheHostsNamesAndRanges) {
    RunRows({
        {"var k = C.layers.addCamera('K', [10, 20]); [Math.round(k.cameraOption.zoom.value), "
         "k.pointOfInterest.value, k.cameraOption.irisShape.maxValue, "
         "k.transform.orientation.value, k.cameraOption.highlightSaturation.matchName].join()",
         "2667,10,20,0,10,0,0,0,ADBE Iris Hightlight Saturation"},
        {"C.layers.addLight('I', [0, 0]).lightOption.coneAngle.setValue(200)", "",
         Param("setValue", 1, "Value 200 out of range 0 to 180."),
         "C.layer(1).lightOption.coneAngle.value", "90"},
        {"T.materialOption.metal.setValue(101)", "",
         Param("setValue", 1, "Value 101 out of range 0 to 100."),
         "[T.materialOption.metal.value, T.materialOption.acceptsLights.value].join()", "100,1"},
    });
}

TEST(LayerSpace, AProjectFileSetsTrackMattesByTheScriptsRules) {
    auto project = hostsim::BuiltInProject();
    project.items[1].comp = nlohmann::json::parse(R"({"layers": [
        {"name": "Fill", "trackMatte": "Matte", "trackMatteType": 5015}, "Matte"]})");
    hostsim::Host host({}, hostsim::BuiltInEffects(), project);
    EXPECT_EQ(host.RunScript("var F = app.project.item(2).layer(1); [F.trackMatteLayer.name, "
                             "F.trackMatteType === TrackMatteType.LUMA].join()")
                  .result,
              "Matte,true");
    for (const char* bad :
         {R"({"name": "P", "trackMatte": "P"})", R"({"name": "P", "trackMatte": "Nobody"})"}) {
        project.items[1].comp = {{"layers", {nlohmann::json::parse(bad)}}};
        EXPECT_THROW(hostsim::BuildScene(project, hostsim::BuiltInEffects(), "f"),
                     hostsim::ConfigError)
            << bad;
    }
}

}  // namespace
