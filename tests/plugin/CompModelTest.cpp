// Compositions, items, folders, footage sources, markers and the project's settings, through
// scripts on the built-in project (Footage folder 1 with footage 3 and 4, Main Comp 2 of 10 s
// at 25 fps with Title, Logo, Background, Lower Third 5, solid 6): the host's ranges, what a
// refusal says and that it changes nothing, and where a mistake would hide.
#include <gtest/gtest.h>

#include <string>

#include "core/Catalog.h"
#include "core/Host.h"

namespace {

const std::string kPrefix = "var P = app.project, C = P.item(2), L = C.layer(1), M = L.marker; ";

std::string Unable(const std::string& attribute, const std::string& problem) {
    return "Error: Unable to set \"" + attribute + "\". " + problem + " (line 1)";
}
std::string Param(const std::string& method, int n, const std::string& problem) {
    return "Error: Unable to call \"" + method + "\" because of parameter " + std::to_string(n) +
           ". " + problem + " (line 1)";
}

struct Case {
    std::string script, error, check, expected;  // check: read afterwards in the same host
};

template <std::size_t N>
void RunAll(const Case (&cases)[N], const hostsim::Options& options = {}) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        hostsim::Host host(options, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
        EXPECT_EQ(host.RunScript(kPrefix + c.script).error, c.error);
        const auto after = host.RunScript(kPrefix + c.check);
        EXPECT_EQ(after.error + after.result, c.expected);
    }
}

TEST(CompModel, AttributesKeepTheHostsRangesAndARefusalChangesNothing) {
    const Case cases[] = {
        {"C.time = 8; C.duration = 5", "", "[C.duration, C.workAreaDuration, C.time]", "5,5,5"},
        {"C.duration = 20000", Unable("duration", "Value 20000 out of range 0.001 to 10800."),
         "C.duration", "10"},
        {"C.frameDuration = 0.5", "", "[C.frameRate, C.displayStartFrame]", "2,0"},
        {"C.frameRate = 1000", Unable("frameRate", "Value 1000 out of range 1 to 999."),
         "C.frameRate", "25"},
        {"C.width = 3", Unable("width", "Value 3 out of range 4 to 30000."), "C.width", "1920"},
        {"C.height = 100.5", Unable("height", "Value is not a whole number."), "C.height", "1080"},
        {"C.pixelAspect = 'wide'", Unable("pixelAspect", "Value is not a number."), "C.pixelAspect",
         "1"},
        {"C.workAreaDuration = 4; C.workAreaStart = 6", "", "[C.workAreaStart, C.workAreaDuration]",
         "6,4"},
        // 10 - 9.96 is a hair under 0.04: the playhead's time still fits as the start.
        {"C.time = 0.04; C.workAreaDuration = C.duration - C.time; C.workAreaStart = C.time", "",
         "[C.workAreaStart, C.workAreaDuration]", "0.04,9.96"},
        {"C.workAreaStart = 1", Unable("workAreaStart", "Value 1 out of range 0 to 0."),
         "C.workAreaStart", "0"},
        {"C.workAreaDuration = 11", Unable("workAreaDuration", "Value 11 out of range 0.04 to 10."),
         "C.workAreaDuration", "10"},
        {"C.displayStartTime = 2", "", "C.displayStartFrame", "50"},
        {"C.bgColor = [1, 0.5, 0]", "", "C.bgColor", "1,0.5,0"},
        {"C.bgColor = [1, 2, 0]", Unable("bgColor", "Value 2 out of range 0 to 1."), "C.bgColor",
         "0,0,0"},
        {"C.bgColor = 1", Unable("bgColor", "Value is not an array of 3 numbers."), "C.bgColor",
         "0,0,0"},
        {"C.shutterAngle = 721", Unable("shutterAngle", "Value 721 out of range 0 to 720."),
         "C.shutterAngle", "180"},
        {"C.resolutionFactor = [2, 100]",
         Unable("resolutionFactor", "Value 100 out of range 1 to 99."), "C.resolutionFactor",
         "1,1"},
        {"C.renderer = 'Fast'", Unable("renderer", "\"Fast\" is not one of the allowed values."),
         "C.renderer + ' of ' + C.renderers.length", "ADBE Advanced 3d of 2"},
        {"C.motionBlur = 1; C.label = 16; C.comment = 'x'", "",
         "[C.motionBlur, C.label, C.comment, C.hasVideo, C.activeCamera]", "true,16,x,true,"},
        {"C.label = 17", Unable("label", "Value 17 out of range 0 to 16."), "C.label", "0"},
        {"C.numLayers = 1", Unable("numLayers", "It is read-only."), "C.numLayers", "3"},
        {"P.timeDisplayType = TimeDisplayType.FRAMES; P.displayStartFrame = 1", "",
         "[P.timeDisplayType === TimeDisplayType.FRAMES, P.framesCountType === "
         "FramesCountType.FC_START_1, P.dirty, P.file]",
         "true,true,true,"},
        {"P.bitsPerChannel = 12",
         Unable("bitsPerChannel", "Value 12 is not one of the allowed values."),
         "[P.bitsPerChannel, P.dirty]", "8,false"},
        {"P.workingSpace = 'Mine'",
         Unable("workingSpace", "\"Mine\" is not one of the allowed values."),
         "P.workingSpace = P.listColorProfiles()[1]", "Rec.709 Gamma 2.4"},
    };
    RunAll(cases);
}

TEST(CompModel, FoldersHoldTheirItemsAndRemovalTakesWhatShowsAnItem) {
    const std::string moveLoop =
        "var G = P.items.addFolder('In'), F = P.item(1); G.parentFolder = F; ";
    const Case cases[] = {
        {"", "",
         "[C.parentFolder.name, C.parentFolder.id, P.rootFolder.numItems, "
         "P.rootFolder.item(1).name, P.item(3).parentFolder.name, P.rootFolder.parentFolder]",
         "Root,0,4,Footage,Footage,"},
        {"var G = P.items.addFolder('Comps'); C.parentFolder = G", "",
         "[P.item(7).numItems, P.item(7).items[1].name, C.parentFolder.name, "
         "P.rootFolder.numItems]",
         "1,Main Comp,Comps,4"},
        {moveLoop + "F.parentFolder = G",
         Unable("parentFolder", "A folder cannot be put inside itself."),
         "P.item(1).parentFolder.name", "Root"},
        {"C.parentFolder = P.item(5)", Unable("parentFolder", "Value is not a folder."),
         "C.parentFolder.name", "Root"},
        {"P.item(1).items.addComp('In', 100, 100, 1, 5, 25)", "",
         "P.item(7).parentFolder.name + P.item(1).numItems", "Footage3"},
        {"P.item(1).remove()", "", "P.numItems + ' ' + P.item(1).name", "3 Main Comp"},
        {"C.layers.addSolid([1, 0, 0], 'Red', 100, 100, 1); var S = P.item(P.numItems); "
         "if (S.usedIn[0].name !== 'Main Comp') X; S.remove()",
         "", "C.numLayers + ' ' + C.layer(1).name", "3 Title"},
        {"var D = P.item(5), N = D.layer(1); D.remove(); N.name",
         "Error: Object is invalid (line 1)", "P.numItems + ' ' + P.item(5).name",
         "5 Dark Gray Solid 1"},
        {"P.rootFolder.remove()", "Error: Unable to use \"remove\" on the root folder. (line 1)",
         "P.numItems", "6"},
    };
    RunAll(cases);
}

TEST(CompModel, TypeNameFollowsTheInterfaceLanguage) {
    const struct {
        const char* language;
        const char* names;
    } cases[] = {
        {"en_US", "Folder,Composition,Footage,Footage,Folder"},
        {"de_DE", "Ordner,Komposition,Footage,Footage,Ordner"},
        {"ja_JP", "フォルダー,コンポジション,フッテージ,フッテージ,フォルダー"},
        {"xx_XX", "Folder,Composition,Footage,Footage,Folder"},
    };
    for (const auto& c : cases) {
        hostsim::Options options;
        options.language = c.language;
        hostsim::Host host(options, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
        EXPECT_EQ(host.RunScript("var P = app.project; [P.item(1).typeName, P.item(2).typeName, "
                                 "P.item(3).typeName, P.item(6).typeName, "
                                 "P.rootFolder.typeName].join()")
                      .result,
                  c.names)
            << c.language;
    }
}

TEST(CompModel, MarkersAreKeysOfTheMarkerPropertyWithTheirValues) {
    const std::string two =
        "M.setValueAtTime(2, new MarkerValue('b')); "
        "L.property('Marker').setValueAtTime(1, new MarkerValue('a', 'ch')); ";
    const Case cases[] = {
        {two, "",
         "[M.numKeys, M.keyTime(1), M.keyValue(2).comment, M.keyValue(1).chapter, M.keyTime('b'), "
         "M.nearestKeyIndex(1.8), M.valueAtTime(1.5, true).comment, M.propertyValueType === "
         "PropertyValueType.MARKER, M.matchName, M.parentProperty.name, String(M.keyValue(1))]",
         "2,1,b,ch,2,2,a,true,ADBE Marker,Title,[object MarkerValue]"},
        {two + "M.removeKey(1); M.setValueAtTime(2, new MarkerValue('c'))", "",
         "M.numKeys + M.keyValue(1).comment", "1c"},
        {"M.setValueAtTime(1, 'x')", Param("setValueAtTime", 2, "Value is not a MarkerValue."),
         "M.numKeys", "0"},
        {"M.keyValue(1)", Param("keyValue", 1, "Value 1 out of range 1 to 0."), "M.numKeys", "0"},
        {two + "M.keyTime('z')", Param("keyTime", 1, "No marker has the comment \"z\"."),
         "M.numKeys", "2"},
        {"var V = new MarkerValue('x'); V.label = 17",
         Unable("label", "Value 17 out of range 0 to 16."), "new MarkerValue('x').label", "0"},
        {"new MarkerValue()", Param("MarkerValue", 1, "Value is not a string."), "M.numKeys", "0"},
        {"var V = new MarkerValue('x'); V.duration = 1.5; V.setParameters({a: 1, b: 'two'}); "
         "C.markerProperty.setValueAtTime(3, V)",
         "",
         "var K = C.markerProperty.keyValue(1), Q = K.getParameters(); "
         "[K.duration, Q.a, Q.b, M.numKeys, C.markerProperty.parentProperty]",
         "1.5,1,two,0,"},
        // What a script adds to Object.prototype is no parameter.
        {"Object.prototype.extra = 'x'; var V = new MarkerValue('m'); V.setParameters({a: 1}); "
         "M.setValueAtTime(1, V)",
         "", "M.keyValue(1).getParameters().hasOwnProperty('extra')", "false"},
        {"M.setValue(new MarkerValue('x'))",
         "Error: \"setValue\" is not modelled by the simulated host (line 1)", "M.numKeys", "0"},
        {"L.remove(); M.numKeys", "Error: Object is invalid (line 1)", "C.numLayers", "2"},
    };
    RunAll(cases);
}

TEST(CompModel, SolidsHaveASolidSourceAndFilesAFileSource) {
    const Case cases[] = {
        {"P.item(6).mainSource.color = [1, 0, 0]; P.item(6).width = 640", "",
         "var S = P.item(6).mainSource; [S instanceof SolidSource, S instanceof FileSource, "
         "S.isStill, S.color, P.item(6).width, P.item(6).file, P.item(3).mainSource instanceof "
         "FileSource]",
         "true,false,true,1,0,0,640,,true"},
        {"P.item(6).mainSource.loop = 2", Unable("loop", "The footage is still."),
         "P.item(6).mainSource.loop", "1"},
        {"P.item(6).width = 0", Unable("width", "Value 0 out of range 1 to 30000."),
         "P.item(6).width", "100"},
    };
    RunAll(cases);
}

// The project file gives markers and stored settings by the same rules as a script.
TEST(CompModel, ProjectFileMarkersAndSettingsFollowTheScriptsRules) {
    auto project = hostsim::BuiltInProject();
    project.items[1].comp["bgColor"] = {1, 0, 0};
    project.items[5].comp = {{"color", {0.2, 0.2, 0.2}}, {"label", 4}, {"width", 64}};
    project.items[1].comp["markers"] = {{{"time", 2}, {"comment", "Chorus"}}};
    project.items[1].comp["layers"][0]["markers"] = {
        {{"time", 1}, {"comment", "Hit"}, {"label", 3}, {"params", {{"k", "v"}}}}};
    hostsim::Host host({}, hostsim::BuiltInEffects(), project);
    EXPECT_EQ(host.RunScript(kPrefix + "var K = M.keyValue(1), D = P.item(6); [D.mainSource.color, "
                                       "D.label, D.width, C.bgColor, "
                                       "C.markerProperty.keyValue(1).comment, M.keyTime(1), "
                                       "K.comment, K.label, K.getParameters().k]")
                  .result,
              "0.2,0.2,0.2,4,64,1,0,0,Chorus,1,Hit,3,v");
    project.items[1].comp["layers"][0]["markers"][0]["label"] = 20;
    EXPECT_THROW(
        {
            try {
                hostsim::BuildScene(project, hostsim::BuiltInEffects(), "p.json");
            } catch (const std::exception& e) {
                EXPECT_STREQ(e.what(),
                             "p.json: items[1].layers[0].markers[0]: Unable to set \"label\". "
                             "Value 20 out of range 0 to 16.");
                throw;
            }
        },
        std::exception);
}

}  // namespace
