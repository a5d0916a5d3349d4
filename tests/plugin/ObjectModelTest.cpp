// The object model against the host's member list (members.json): every listed member, read,
// written and called on live objects, works or says it is not modelled; and the cases where a
// mistake would hide: among them the stacking order after each kind of move.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/Catalog.h"
#include "core/Host.h"

namespace {

using nlohmann::json;

// The members of a class and of its bases, as the list gives them; the classes go into seen.
json Lineage(const json& section, const std::string& name, bool withBases,
             std::set<std::string>& seen) {
    json members = json::array();
    for (std::string c = name; !c.empty();) {
        seen.insert(c);
        for (const auto& m : section.at(c).at("members")) members.push_back(m);
        const auto& base = section.at(c).at("base");
        c = withBases && base.is_string() ? base.get<std::string>() : "";
    }
    return members;
}

TEST(ObjectModel, EveryListedMemberWorksOrSaysItIsNotModelled) {
    hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
    const std::string layer = "app.project.item(2).layer('Title')";
    // Its first parameter has a range, so that every attribute of a property reads.
    ASSERT_EQ(host.RunScript(layer + ".effect.addProperty('Gaussian Blur').name").result,
              "Gaussian Blur");
    // The layer classes, and a box text with a stroke, so that every attribute of its
    // TextDocument reads.
    ASSERT_EQ(
        host.RunScript("var L = app.project.item(2).layers, b = L.addBoxText([50, 50], 'Box'),"
                       " d = b.sourceText.value; d.strokeColor = [0, 0, 0]; "
                       "b.sourceText.setValue(d); L.addShape(); L.addCamera('Camera', [0, 0]);"
                       " L.addLight('Light', [0, 0]).name")
            .result,
        "Light");
    std::ifstream file(MEMBERS_FILE);
    const json list = json::parse(file);
    // Where each class is found: a live object answers for its bases' members too.
    struct Row {
        const char* section;
        std::string cls, object;
        bool withBases;
    };
    std::vector<Row> rows = {
        {"classes", "Application", "app", true},
        {"classes", "Project", "app.project", true},
        {"classes", "ItemCollection", "app.project.items", true},
        {"classes", "CompItem", "app.project.item(2)", true},
        {"classes", "FolderItem", "app.project.item(1)", true},
        {"classes", "FootageItem", "app.project.item(3)", true},
        {"classes", "LayerCollection", "app.project.item(2).layers", true},
        {"classes", "AVLayer", layer, true},
        {"classes", "PropertyGroup", layer + ".transform", true},
        {"classes", "PropertyGroup", layer + ".effect(1)", true},
        {"classes", "Property", layer + ".transform.opacity", true},
        {"classes", "Property", layer + ".effect(1).property(1)", true},
        {"classes", "Viewer", "app.activeViewer", true},
        {"classes", "KeyframeEase", "new KeyframeEase(0, 50)", true},
        {"classes", "TextLayer", "app.project.item(2).layer('Box')", true},
        {"classes", "TextDocument", "app.project.item(2).layer('Box').sourceText.value", true},
        {"classes", "ShapeLayer", "app.project.item(2).layer('Shape Layer 1')", true},
        {"classes", "CameraLayer", "app.project.item(2).layer('Camera')", true},
        {"classes", "LightLayer", "app.project.item(2).layer('Light')", true},
        {"classes", "Property", layer + ".marker", true},
        {"classes", "FolderItem", "app.project.rootFolder", true},
        {"classes", "FootageItem", "app.project.item(6)", true},
        {"classes", "SolidSource", "app.project.item(6).mainSource", true},
        {"classes", "FileSource", "app.project.item(3).mainSource", true},
        {"classes", "MarkerValue", "new MarkerValue('x')", true},
        {"classes", "Shape", "new Shape()", true},
        {"classes", "MaskPropertyGroup", layer + ".mask.addProperty('Mask')", true},
        {"classes", "System", "system", true},
        {"globals", "global", "(function () { return this; })()", false},
        {"environment", "$", "$", false},
        {"environment", "File", "File.prototype", false},
        {"environment", "FileConstructor", "File", false},
        {"environment", "Folder", "Folder.prototype", false},
        {"environment", "FolderConstructor", "Folder", false},
        {"environment", "ScriptUI", "ScriptUI", false},
        {"environment", "Environment", "ScriptUI.environment", false},
        {"environment", "KeyboardState", "ScriptUI.environment.keyboardState", false},
    };
    // A class the model has no object of answers on its prototype for its own members.
    for (const char* cls : {"Settings", "ThreeDModelLayer", "PlaceholderItem", "PlaceholderSource",
                            "View", "ViewOptions"})
        rows.push_back({"classes", cls, std::string(cls) + ".prototype", false});
    std::set<std::string> walked;
    std::size_t checked = 0;
    const auto walk = [&](const std::string& cls, const std::string& object, const json& members) {
        for (const auto& m : members) {
            const std::string name = m.at("name");
            const bool method = m.at("kind") == "method";
            // A read gives a value (a method: a function) or the error; a write of what was
            // read throws the error where the model lacks the member or its setter; a member
            // whose read or write says so must say so on every use.
            const std::string script =
                "(function (o, n, method) {"
                "  var said = '\"' + n + '\" is not modelled by the simulated host', v, r, w;"
                "  function use(f) {"
                "    try { f(); } catch (e) { return e.message === said ? 'no' : String(e); }"
                "    return 'ok';"
                "  }"
                "  r = use(function () {"
                "    v = o[n];"
                "    if (v === undefined || (method && typeof v !== 'function')) throw 'gave ' + v;"
                "  });"
                "  w = use(function () { o[n] = r === 'ok' ? v : 0; });"
                "  if (r !== 'ok' && r !== 'no') return 'read: ' + r;"
                "  if (r === 'no' && w !== 'no') return 'write after a refused read: ' + w;"
                "  if (r === 'ok' && w === 'no' && method) {"
                "    var c = use(function () { v(); });"
                "    if (c !== 'no') return 'call of a refused method: ' + c;"
                "  }"
                "  return '';"
                "})(" +
                object + ", '" + name + "', " + (method ? "true" : "false") + ")";
            const auto outcome = host.RunScript(script);
            EXPECT_EQ(outcome.error + outcome.result, "") << cls << "." << name << " on " << object;
            ++checked;
        }
    };
    for (const auto& row : rows)
        walk(row.cls, row.object, Lineage(list.at(row.section), row.cls, row.withBases, walked));
    // The named groups are attributes of property groups: on a live one.
    for (const auto& [name, group] : list.at("groups").items()) {
        walk(name, layer + ".transform", group.at("members"));
        walked.insert(name);
    }
    // The table covers the whole list.
    for (const char* section : {"classes", "groups", "globals", "environment"})
        for (const auto& [name, cls] : list.at(section).items())
            EXPECT_TRUE(walked.count(name)) << name << " is not walked";
    EXPECT_GT(checked, 900u);
}

// Where a mistake would hide: writes the host allows and the model lacks, the host's own
// wording where it is read-only, class names, classes the model lacks, ordinary properties.
TEST(ObjectModel, RefusedWritesClassNamesAndOrdinaryProperties) {
    hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
    const std::string prefix = "var C = app.project.item(2), L = C.layer(1); ";
    ASSERT_EQ(host.RunScript(prefix + "L.effect.addProperty('Tint').name").result, "Tint");
    const auto refused = [](const std::string& name) {
        return "Error: \"" + name + "\" is not modelled by the simulated host (line 1)";
    };
    const struct {
        std::string script, result, error;
    } cases[] = {
        // These replied success and changed nothing before.
        {"L.geometryOption = 3", "", refused("geometryOption")},
        {"L.geometryOption", "", refused("geometryOption")},
        {"L.doSceneEditDetection()", "", refused("doSceneEditDetection")},
        // Writable in the host, read here only.
        {"app.project.item(3).frameRate = 5", "", refused("frameRate")},
        {"L.effect(1).name = 'Soft'; L.effect('Soft').propertyIndex", "1", ""},
        {"L.transform.opacity.name = 'Soft'", "",
         "Error: Unable to set \"name\". Only a child of an indexed group can be renamed. (line "
         "1)"},
        {"L.index = 3", "", "Error: Unable to set \"index\". It is read-only. (line 1)"},
        {"C.id = 3", "", "Error: Unable to set \"id\". It is read-only. (line 1)"},
        {"app.project = null", "", "Error: Unable to set \"project\". It is read-only. (line 1)"},
        {"C.layers = null", "", "Error: Unable to set \"layers\". It is read-only. (line 1)"},
        {"L.myNote = 'kept'; L.myNote + L.effect(1).name", "keptSoft", ""},
        {"[C, L, L.transform, L.transform.opacity, L.effect(1), app.project, app, C.layers, "
         "app.project.items, app.project.item(1), app.project.item(3), app.activeViewer, "
         "system].join(' ')",
         "[object CompItem] [object AVLayer] [object PropertyGroup] [object Property] "
         "[object PropertyGroup] [object Project] [object Application] [object LayerCollection] "
         "[object ItemCollection] [object FolderItem] [object FootageItem] [object Viewer] "
         "[object System]",
         ""},
        {"new ThreeDModelLayer()", "", refused("ThreeDModelLayer")},
        {"[L instanceof AVLayer, L instanceof TextLayer, typeof MarkerValue].join()",
         "true,false,function", ""},
        // Display names that are words are attributes; effects and shape contents whose
        // children are not modelled say so instead of finding nothing.
        {"[L.Effects.numProperties, L.Transform.Position.value[0], "
         "L.Effects.addProperty('Gaussian Blur').Blurriness.value].join()",
         "1,960,0", ""},
        {"L.Effects.addProperty('Transform').property('Position')", "",
         "Error: \"property\" is not modelled by the simulated host for the properties of "
         "\"Transform\" (line 1)"},
        {"C.layers.addShape().Contents.addProperty('ADBE Vector Group')", "",
         "Error: \"addProperty\" is not modelled by the simulated host for the properties of "
         "\"Contents\" (line 1)"},
        {"$.about()", "", refused("about")},
        {"File.openDialog()", "", refused("openDialog")},
        {"$.colorPicker()", "", refused("colorPicker")},
        {"[KeyframeInterpolationType.HOLD, ViewerType.VIEWER_COMPOSITION].join()", "6614,7612", ""},
        // Last: the script's own Error stays in the global scope.
        {"Error = function () {}; L.geometryOption", "", refused("geometryOption")},
    };
    for (const auto& c : cases) {
        const auto outcome = host.RunScript(prefix + c.script);
        EXPECT_EQ(outcome.result, c.result) << c.script;
        EXPECT_EQ(outcome.error, c.error) << c.script;
    }
}

// Start order Title, Logo, Background, all selected; the order after the call (indices,
// comp.layer(i), comp.layers and selectedLayers agreeing), or the error with the order kept.
TEST(ObjectModel, LayerOrderFollowsEachMoveAndARefusedMoveChangesNothing) {
    const std::string prefix =
        "var C = app.project.item(2), T = C.layer('Title'), L = C.layer('Logo'), "
        "B = C.layer('Background'); L.selected = B.selected = true; "
        "var O = app.project.items.addComp('Other', 100, 100, 1, 5, 25).layers.addNull(), "
        "N = C.layers.addNull(); N.remove(); ";
    const std::string order =
        "(function () { var n = [], s = C.selectedLayers; for (var i = 1; i <= C.numLayers; "
        "i++) { var l = C.layers[i]; if (l.index !== i || C.layer(i).name !== l.name || "
        "s[i - 1].name !== l.name) return 'out of step at ' + i; n.push(l.name); } "
        "return n.join(); })()";
    const auto param = [](const std::string& method, int n, const std::string& problem) {
        return "Error: Unable to call \"" + method + "\" because of parameter " +
               std::to_string(n) + ". " + problem + " (line 1)";
    };
    const std::string unchanged = "Title,Logo,Background";
    const struct {
        std::string call, order, error;
    } cases[] = {
        {"B.moveToBeginning()", "Background,Title,Logo", ""},
        {"T.moveToBeginning()", unchanged, ""},
        {"T.moveToEnd()", "Logo,Background,Title", ""},
        {"T.moveAfter(L)", "Logo,Title,Background", ""},
        {"T.moveBefore(B)", "Logo,Title,Background", ""},
        {"B.moveBefore(L)", "Title,Background,Logo", ""},
        {"B.moveAfter(T)", "Title,Background,Logo", ""},
        {"T.locked = true; T.moveToEnd()", "Logo,Background,Title", ""},
        {"B.moveToBeginning(); C.layer(T, 1).name === 'Logo' && C.layer(B, 2).name === 'Logo' &&"
         " C.layer(L, -2).name === 'Background' && C.layer(T, 0).name === 'Title' || X",
         "Background,Title,Logo", ""},
        {"T.moveBefore(O)", unchanged,
         param("moveBefore", 1, "The layer is not in the same composition.")},
        {"T.moveAfter(T)", unchanged,
         param("moveAfter", 1, "A layer cannot be moved relative to itself.")},
        {"T.moveAfter(N)", unchanged, "Error: Object is invalid (line 1)"},
        {"N.moveToEnd()", unchanged, "Error: Object is invalid (line 1)"},
        {"T.moveBefore(2)", unchanged, param("moveBefore", 1, "Value is not a layer.")},
        {"T.moveBefore(C)", unchanged, param("moveBefore", 1, "Value is not a layer.")},
        {"C.layer(T, -1)", unchanged, param("layer", 2, "Value -1 out of range 0 to 2.")},
        {"C.layer(B, 1)", unchanged, param("layer", 2, "Value 1 out of range -2 to 0.")},
        {"C.layer(O, 0)", unchanged, param("layer", 1, "The layer is not in this composition.")},
        {"C.layer(N, 0)", unchanged, "Error: Object is invalid (line 1)"},
        {"C.layer(T, 'x')", unchanged, param("layer", 2, "Value is not a number.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
        EXPECT_EQ(host.RunScript(prefix + c.call).error, c.error);
        EXPECT_EQ(host.RunScript(prefix + order).result, c.order);
    }
}

}  // namespace
