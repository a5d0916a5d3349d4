// The layer classes through the host's script runner: switches and times with their ranges,
// parents, copies, precompositions and new layers (their stacking order, classes and
// references), text documents there and back; every refusal with its wording changes nothing.
#include <gtest/gtest.h>

#include <string>

#include "ScriptRows.h"

namespace {

// Each row on a fresh built-in project (Main Comp: Title (selected), Logo (opacity keyed),
// Background; Lower Third: Name, Bar): the script's result or error, then what `after`
// reads (for a refusal: that nothing changed).
using scriptrows::Row;

const std::string kPrefix =
    "var C = app.project.item(2), T = C.layer('Title'), L = C.layer('Logo'), "
    "B = C.layer('Background'), O = app.project.item(5); ";

void RunRows(const std::vector<Row>& rows) { scriptrows::RunRows(kPrefix, rows); }

using scriptrows::Param;
using scriptrows::Set;

TEST(LayerModel, SwitchesAndTimesKeepTheHostsRanges) {
    RunRows({
        {"T.quality = LayerQuality.DRAFT; T.blendingMode = BlendingMode.SCREEN; "
         "T.motionBlur = true; T.label = 16; T.comment = 'c'; [T.quality === LayerQuality.DRAFT, "
         "T.blendingMode === BlendingMode.SCREEN, T.motionBlur, T.label, T.comment].join()",
         "true,true,true,16,c"},
        {"T.environmentLayer = true; T.threeDLayer", "true"},
        {"T.label = 17", "", Set("label", "Value 17 out of range 0 to 16."), "T.label", "1"},
        {"T.label = 2.5", "", Set("label", "Value is not a whole number."), "T.label", "1"},
        {"T.quality = 5", "", Set("quality", "Value 5 out of range 4612 to 4614."),
         "T.quality === LayerQuality.BEST", "true"},
        {"T.trackMatteType = TrackMatteType.LUMA; [T.hasTrackMatte, C.layer(1).isTrackMatte, "
         "L.isTrackMatte].join()",
         "false,false,false"},
        {"L.trackMatteType = TrackMatteType.ALPHA; [T.isTrackMatte, B.isTrackMatte].join()",
         "true,false"},
        // Stretch scales the in and out points about the start; below 1 is 1, 0 is refused.
        {"T.stretch = 0.5; [T.stretch, T.inPoint, T.outPoint].join()", "1,0,0.1"},
        {"T.stretch = -50; [T.inPoint, T.outPoint].join()", "-5,0"},
        {"T.stretch = 0", "", Set("stretch", "Value 0 is not allowed."), "T.stretch", "100"},
        {"T.stretch = 9901", "", Set("stretch", "Value 9901 out of range -9900 to 9900."),
         "T.stretch", "100"},
        {"T.startTime = 2; [T.inPoint, T.outPoint, T.time, T.activeAtTime(1), "
         "T.activeAtTime(3)].join()",
         "2,12,0,false,true"},
        {"T.inPoint = 10", "", Set("inPoint", "Value 10 is not before the out point 10."),
         "[T.inPoint, T.outPoint].join()", "0,10"},
        {"T.outPoint = 10801", "", Set("outPoint", "Value 10801 out of range -10800 to 10800."),
         "T.outPoint", "10"},
        {"T.name = 'Intro'; [T.isNameSet, T.isNameFromSource, C.layers.addNull().isNameSet, "
         "C.layer(1).isNameFromSource, C.layer(1).source.name].join()",
         "true,false,false,true,Null 1"},
    });
}

TEST(LayerModel, ParentsStayInTheCompositionWithoutCyclesAndWithoutAJump) {
    RunRows({
        // The guide's example: a parent turned 30 degrees gives the child -30.
        {"T.transform.rotation.setValue(30); T.transform.scale.setValue([200, 200, 100]); "
         "T.transform.position.setValue([1000, 540]); L.parent = T; "
         "var p = L.transform.position.value; [L.parent.name, "
         "Math.round(L.transform.rotation.value), "
         "L.transform.scale.value[0], Math.round(p[0]), Math.round(p[1])].join()",
         "Title,-30,50,943,550"},
        {"T.transform.rotation.setValue(30); L.setParentWithJump(T); L.transform.rotation.value",
         "0"},
        {"L.parent = T; L.setParentWithJump(); L.parent", "null"},
        {"L.parent = T; T.parent = L", "",
         Set("parent", "A layer cannot be parented to one of its own children."),
         "L.parent = T; [L.parent.name, T.parent].join()", "Title,"},
        {"T.parent = T", "", Set("parent", "A layer cannot be its own parent.")},
        {"T.setParentWithJump(O.layer(1))", "",
         Param("setParentWithJump", 1, "The layer is not in the same composition.")},
        {"T.parent = C", "", Set("parent", "Value is not a layer."), "T.parent", "null"},
        {"L.parent = T; T.remove(); L.parent", "null"},
    });
}

TEST(LayerModel, CopiesPrecompositionsAndNewLayersStackAndKeepTheirReferences) {
    RunRows({
        // A copy above its original, a set name numbered, unselected, keys and effects too.
        {"T.effect.addProperty('Tint').enabled = false; var d = T.duplicate(); [d.index, d.name, "
         "T.index, d.selected, T.selected, d.effect(1).name, d.effect(1).enabled, "
         "L.duplicate().transform.opacity.numKeys, C.numLayers].join()",
         "1,Title 2,2,false,true,Tint,false,2,5"},
        {"var d = T.duplicate(); d.duplicate().name + ' ' + T.duplicate().name", "Title 3 Title 4"},
        {"L.copyToComp(O); [O.layer(1).name, O.numLayers, C.numLayers, L.index].join()",
         "Logo,3,3,2"},
        {"L.copyToComp(5)", "", Param("copyToComp", 1, "Value is not a composition."),
         "O.numLayers", "2"},
        // The moved layers keep their references, now in the new composition.
        {"var P = C.layers.precompose([3, 2], 'Inner'); [P instanceof CompItem, P.name, "
         "P.numLayers, P.duration, C.numLayers, C.layer(2).name, C.layer(2).source.id === P.id, "
         "L.containingComp.name, L.index, B.index, app.project.numItems].join()",
         "true,Inner,2,10,2,Inner,true,Inner,1,2,7"},
        {"L.parent = T; B.parent = L; C.layers.precompose([2], 'Inner'); "
         "[String(L.parent), String(B.parent)].join()",
         "null,null"},
        {"C.layers.precompose([1, 2], 'X', false)", "",
         Param("precompose", 3, "Only one layer can keep its attributes."),
         "[C.numLayers, app.project.numItems].join()", "3,6"},
        {"C.layers.precompose([4], 'X')", "",
         Param("precompose", 1, "Value 4 out of range 1 to 3."),
         "[C.numLayers, app.project.numItems].join()", "3,6"},
        {"C.layers.precompose([1, 1], 'X')", "", Param("precompose", 1, "Layer 1 is listed twice."),
         "app.project.numItems", "6"},
        {"var n = C.layers.addSolid([1, 0, 0], 'Red', 50, 40, 1); var P = "
         "C.layers.precompose([1], 'Alone', false); [n.name, n.source.name, P.width, "
         "P.layer(1).name, P.numLayers].join()",
         "Alone,Alone,50,Red,1"},
        {"var s = C.layers.addShape(), c = C.layers.addCamera('Cam', [100, 200]), "
         "l = C.layers.addLight('Key', [0, 0]); l.lightType = LightType.SPOT; "
         "[String(s), s.name, String(c), c instanceof AVLayer, "
         "c.transform.property('Point of Interest').value.join(' '), String(C.layer(1)), "
         "l.lightType === LightType.SPOT, C.layers.addShape().name, C.numLayers].join()",
         "[object ShapeLayer],Shape Layer 1,[object CameraLayer],false,100 200 0,"
         "[object LightLayer],true,Shape Layer 2,7"},
        {"C.layers.addCamera('Cam', [1])", "",
         Param("addCamera", 2, "Array of 2 numbers expected."), "C.numLayers", "3"},
        {"var e = T.effect.addProperty('Tint'); e.enabled = false; [e.enabled, e.canSetEnabled, "
         "T.transform.canSetEnabled, T.canSetEnabled, T.transform.opacity.enabled].join()",
         "false,true,false,true,true"},
        {"T.transform.enabled = false", "", Set("enabled", "It is read-only."),
         "T.transform.enabled", "true"},
    });
}

TEST(LayerModel, TextDocumentsGoThereAndBackWithTheHostsRules) {
    RunRows({
        {"var t = C.layers.addText('Hello'); [t instanceof TextLayer, String(t), t.name, t.index, "
         "t.sourceText.value.text, t.text.sourceText.value.text, "
         "t.property('Source Text').value.text, t.isNameSet, "
         "t.sourceText.propertyValueType === PropertyValueType.TEXT_DOCUMENT].join()",
         "true,[object TextLayer],Hello,1,Hello,Hello,Hello,false,true"},
        {"var t = C.layers.addText(), d = new TextDocument('Hi'); d.fontSize = 36; "
         "d.fillColor = [1, 0, 0]; d.strokeColor = [0, 0, 1]; d.leading = 0; "
         "d.justification = ParagraphJustification.MULTIPLE_JUSTIFICATIONS; "
         "t.sourceText.setValue(d); var r = t.sourceText.value; [r instanceof TextDocument, "
         "String(r), r.text, r.fontSize, r.fillColor.join(' '), r.applyStroke, r.leading, "
         "r.justification === ParagraphJustification.CENTER_JUSTIFY, t.name].join()",
         "true,[object TextDocument],Hi,36,1 0 0,true,0.01,true,Hi"},
        // A name set stays; a changed document changes nothing until it is set.
        {"var t = C.layers.addText('A'); t.name = 'Kept'; var d = t.sourceText.value; d.text = "
         "'B'; "
         "var before = t.sourceText.value.text; t.sourceText.setValue('C'); "
         "[before, t.sourceText.value.text, t.name].join()",
         "A,C,Kept"},
        {"C.layers.addBoxText([200, 100], 'B').sourceText.value.boxTextSize.join()", "200,100"},
        {"new TextDocument('x').boxTextSize", "",
         "Unable to get \"boxTextSize\". The text is not box text."},
        {"var d = new TextDocument('x'); d.applyFill = false; d.fillColor", "",
         "Unable to get \"fillColor\". applyFill is not true."},
        {"var d = new TextDocument('x'); d.fontSize = 2000", "",
         Set("fontSize", "Value 2000 out of range 0.1 to 1296.")},
        {"var d = new TextDocument('x'); d.strokeWidth = 0; d.strokeWidth", "0.01"},
        {"var d = new TextDocument('x'); d.pointText = false", "",
         Set("pointText", "It is read-only.")},
        {"var t = C.layers.addText('A'); t.sourceText.setValue(5)", "",
         Param("setValue", 1, "Value is not a string or a TextDocument."),
         "C.layer(1).sourceText.value.text", "A"},
        {"C.layers.addText({text: 'forged'})", "",
         Param("addText", 1, "Value is not a string or a TextDocument."), "C.numLayers", "3"},
        {"C.layers.addText('A').sourceText.setValueAtTime(1, 'B')", "",
         "\"setValueAtTime\" is not modelled by the simulated host"},
    });
}

TEST(LayerModel, AProjectFileMakesEachKindOfLayerByTheScriptsRules) {
    auto project = hostsim::BuiltInProject();
    project.items[1].comp = nlohmann::json::parse(R"({"layers": [
        {"name": "Caption", "type": "text", "text": "Hello", "motionBlur": true, "label": 4},
        {"name": "Ribbon", "type": "shape", "parent": "Caption"},
        {"name": "Cam", "type": "camera"}, {"name": "Sun", "type": "light", "comment": "key"},
        {"name": "Plate", "quality": 4613}]})");
    hostsim::Host host({}, hostsim::BuiltInEffects(), project);
    EXPECT_EQ(host.RunScript("var C = app.project.item(2), r = []; for (var i = 1; i <= "
                             "C.numLayers; i++) r.push(String(C.layer(i)) + ' ' + C.layer(i).name);"
                             " var t = C.layer(1); r.push(t.sourceText.value.text, t.motionBlur, "
                             "t.label, C.layer(2).parent.name, C.layer(4).comment, "
                             "C.layer(5).quality); r.join()")
                  .result,
              "[object TextLayer] Caption,[object ShapeLayer] Ribbon,[object CameraLayer] Cam,"
              "[object LightLayer] Sun,[object AVLayer] Plate,Hello,true,4,Caption,key,4613");
    for (const char* bad :
         {R"({"name": "Cam", "type": "camera", "motionBlur": true})",
          R"({"name": "Plate", "label": 17})", R"({"name": "P", "parent": "P"})",
          R"({"name": "P", "type": "sphere"})", R"({"name": "P", "type": "text", "text": 5})"}) {
        project.items[1].comp = {{"layers", {nlohmann::json::parse(bad)}}};
        EXPECT_THROW(hostsim::BuildScene(project, hostsim::BuiltInEffects(), "f"),
                     hostsim::ConfigError)
            << bad;
    }
}

}  // namespace
