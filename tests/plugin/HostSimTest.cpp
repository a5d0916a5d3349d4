// The simulated host's own parts, in process and without a plug-in: its start-up files, the
// thread rule, the script engine with its object model, and the live view's composition.
#include <gtest/gtest.h>
#include <malloc.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "TempHome.h"
#include "core/Host.h"
#include "core/HostScriptModel.h"
#include "core/Suites.h"
#include "view/ViewModel.h"

#if defined(__SANITIZE_ADDRESS__)
#define CUEBRIDGE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CUEBRIDGE_ASAN 1
#endif
#endif
#if defined(CUEBRIDGE_ASAN)
// The address sanitizer's runtime: what its allocator holds now.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

using nlohmann::json;

TEST(HostSimStart, ABadFileIsNamedWithThePlaceAndTheExampleFilesLoad) {
    TempHome files;
    const std::string bad = (files.Path() / "bad.json").string();
    const auto project = [](const std::string& path) { hostsim::LoadProjectFile(path); };
    const auto effects = [](const std::string& path) { hostsim::LoadEffectsFile(path); };
    const auto commands = [](const std::string& path) { hostsim::LoadCommandsFile(path); };
    const struct {
        std::function<void(const std::string&)> load;
        const char* text;
        const char* problem;  // a part of the message after the file's name
    } cases[] = {
        {project, "{ items: ", "not valid JSON"},
        {project,
         "{\"items\": [{\"id\": 1, \"name\": \"C\", \"type\": \"composition\",\n  \"time\": "
         "-1e999}]}",
         "number overflow parsing '-1e999' at line 2, column 16)"},
        {effects,
         R"([{"matchName": "M", "displayName": "D", "category": "C", "params": [{"name": "N",
         "matchName": "M-0001", "type": "OneD", "default": 0, "max": 1e999}]}])",
         "number overflow parsing '1e999' at line 2, column 74)"},
        {commands, R"([{"number": 1E400, "name": "X"}])", "'1E400' at line 1, column 17)"},
        {commands, R"([{"number": 4294969300, "name": "X"}])",
         "commands[0]: number 4294969300 is not a command number"},
        {commands, R"([{"number": -2147483649, "name": "X"}])", "number -2147483649 is not"},
        {project, R"({"items": [{"id": 1, "name": "F", "type": "folder", "parent": 1}]})",
         "folder 1 lies inside itself (1 in 1)"},
        {project, R"({"items": [{"id": 1, "name": "F", "type": "folder", "parent": 2},
            {"id": 2, "name": "G", "type": "folder", "parent": 1},
            {"id": 3, "name": "V", "type": "footage", "parent": 2}]})",
         "folder 1 lies inside itself (1 in 2 in 1)"},
        // The composition content is checked by the model's rules, with the place named.
        {project, R"({"items": [{"id": 1, "name": "C", "type": "composition",
            "layers": [{"name": "L", "properties": {"Opacity": 300}}]}]})",
         "items[0].layers[0].properties.Opacity: Unable to call \"setValue\" because of "
         "parameter 1. Value 300 out of range 0 to 100."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::ofstream(bad) << c.text;
        try {
            c.load(bad);
            ADD_FAILURE() << "loads";
        } catch (const hostsim::ConfigError& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with(bad + ": ")) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.problem), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(hostsim::LoadProjectFile(EXAMPLES_DIR "/project.json").items.size(), 6u);
    EXPECT_EQ(hostsim::LoadProjectFile(EXAMPLES_DIR "/comps.json").viewerComp, 3);
    EXPECT_EQ(hostsim::LoadCommandsFile(EXAMPLES_DIR "/commands.json").FindByName("Next Frame"),
              3051);
    EXPECT_FALSE(hostsim::LoadEffectsFile(EXAMPLES_DIR "/effects.json").empty());
}

TEST(HostSimThreads, CallsOffTheMainThreadAreCountedUnlessAllowedAnywhere) {
    hostsim::Host host({}, {}, hostsim::BuiltInProject());
    const void* table = nullptr;
    std::thread([&] {
        SPBasicSuite* basic = hostsim::Suites::Basic();
        basic->AcquireSuite(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion6, &table);
        auto* utility = static_cast<const AEGP_UtilitySuite6*>(table);
        utility->AEGP_CauseIdleRoutinesToBeCalled();
        utility->AEGP_ReportInfo(hostsim::Host::kPluginId, "off the main thread");
        basic->ReleaseSuite(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion6);
    }).join();
    EXPECT_EQ(host.RecordsCopy().threadViolations,
              (std::map<std::string, std::int64_t>{{"AEGP_ReportInfo", 1}}));
}

TEST(HostSimScripts, ObjectModelErrorsAndText) {
    hostsim::Options options;
    options.scriptTimeoutMs = 1000;
    hostsim::Host host(options, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
    const struct {
        std::string script, result, error;  // error: a part of the error text
    } cases[] = {
        {"app.project.items.length + app.project.item(2).name + app.project.activeItem.id",
         "6Main Comp2", ""},
        {"app.effects[0].matchName + '|' + app.effects[0].category",
         "ADBE Gaussian Blur 2|Blur & Sharpen", ""},
        {"app.project.item(4).selected = true; app.project.selection.length", "2", ""},
        // The viewer's composition stays the active item while the viewer has the focus.
        {"app.project.activeItem.id", "2", ""},
        // The object model as controllers use it: the classes (those the host has only as
        // bases are no global, or a global nothing is an instance of), the shortcuts, the
        // callable groups, and each kind of wrong call as the host words it.
        {"var c = app.project.activeItem; [c instanceof CompItem, c.layer(1) instanceof AVLayer, "
         "app.project.item(1) instanceof FolderItem, app.project.item(3) instanceof FootageItem, "
         "c.layer(1).transform instanceof PropertyGroup, c.layer(1).opacity instanceof Property, "
         "c.layer(1) instanceof Layer, c.layer(1).opacity instanceof PropertyBase, typeof Item, "
         "typeof AVItem, typeof Collection, typeof FootageSource].join()",
         "true,true,true,true,true,true,false,false,undefined,undefined,undefined,undefined", ""},
        {"var l = app.project.activeItem.layer('Background'); l.effect.addProperty('Tint'); "
         "l.effect('Tint')('Amount to Tint').value + '|' + "
         "l.property('Effects').property(1).matchName + '|' + l.transform('Z Rotation').name",
         "100|ADBE Tint|Rotation", ""},
        // The guide's short forms: the left-out last number takes its default.
        {"var l = app.project.activeItem.layer('Background'); l.scale.setValue([50, 60, 70]); "
         "l.scale.setValue([50, 60]); l.position.setValue([1, 2, 5]); l.position.setValue([1, 2]);"
         " l.effect('Tint')('Map Black To').setValue([0.5, 0.5, 0.5]); [l.scale.value, "
         "l.position.value, l.effect('Tint')('Map Black To').value].join(' ')",
         "50,60,100 1,2,0 0.5,0.5,0.5,1", ""},
        // A layer is callable too, and names are found in their intercap form, and effects
        // and their parameters as attributes, as the guide writes them.
        {"var l = app.project.activeItem.layer('Background'); l.effect.addProperty('Gaussian "
         "Blur'); [l('Effects').name, l('Opacity').value, l.property('anchorPoint').name, "
         "l.property('zRotation').name, l.effect.gaussianBlur.blurriness.name, "
         "l.effect('Gaussian Blur').property('blurriness').name, l.property('POSITION')].join('|')",
         "Effects|80|Anchor Point|Rotation|Blurriness|Blurriness|", ""},
        {"var c = app.project.activeItem; c.time = 1; c.layer(2).opacity.value + '|' + "
         "c.layer(2).opacity.propertyValueType + '|' + (PropertyValueType.OneD) + '|' + "
         "c.layer(1).position.value.join()",
         "50|6417|6417|960,540,0", ""},
        {"app.project.activeItem.time = 11", "",
         R"(Error: Unable to set "time". Value 11 out of range 0 to 10. (line 1))"},
        {"app.project.activeItem.layer(1).opacity.setValue('50')", "",
         R"(Error: Unable to call "setValue" because of parameter 1. Value is not a number or an array of numbers. (line 1))"},
        {"app.project.activeItem.layer(9)", "",
         R"(Error: Unable to call "layer" because of parameter 1. Value 9 out of range 1 to 3. (line 1))"},
        {"var l = app.project.activeItem.layers.addNull(); l.remove(); l.name", "",
         "Error: Object is invalid (line 1)"},
        {"app.project.activeItem.layer(1).effect.addProperty('Nope')", "",
         R"("Nope" is not the name of an installed effect.)"},
        {"app.project.activeItem.layer('Nope') === null && app.findMenuCommandId('Select All')",
         "2017", ""},
        // The host's older language: later additions are missing, as there.
        {"[1].map(function (x) { return x; })", "", "TypeError: undefined not callable"},
        {"[typeof JSON, typeof Object.keys, typeof Date.now, typeof ''.trim, "
         "typeof function () {}.bind, typeof [].indexOf].join()",
         "undefined,undefined,undefined,undefined,undefined,undefined", ""},
        {"app.beginUndoGroup('open'); app.project.activeItem.time = 0.5; 'left open'", "left open",
         ""},
        {"app.endUndoGroup()", "",
         R"(Unable to call "endUndoGroup" because no undo group is open.)"},  // closed at the end
        {"this is not a script(", "", "SyntaxError: unterminated statement (line 1)"},
        {"var a = 1;\rnoSuchThing()", "",
         "ReferenceError: identifier 'noSuchThing' undefined (line 2)"},
        {"app.project.item(99)", "",
         R"(Error: Unable to call "item" because of parameter 1. Value 99 out of range 1 to 8. (line 1))"},  // addNull added two
        // The engine's surrogate pairs reach the result as UTF-8 (the repair: ToValidUtf8).
        {"String.fromCharCode(0xD83D, 0xDE00)", "\xF0\x9F\x98\x80", ""},
        {"while(true){}", "", "RangeError: execution timeout"},
        // Slow built-in calls are stopped as soon: each step of the loop, or the one call.
        {"var a = []; while (true) a.push(new Array(100000).join('x'))", "",
         "RangeError: execution timeout"},
        {"new Array(50000000).join('x').length", "", "RangeError: execution timeout"},
        {"1+1", "2", ""},  // the engine still works after a stopped script
    };
    for (const auto& c : cases) {
        const auto outcome = host.RunScript(c.script);
        EXPECT_EQ(outcome.result, c.result) << c.script;
        if (c.error.empty())
            EXPECT_EQ(outcome.error, "") << c.script;
        else
            EXPECT_NE(outcome.error.find(c.error), std::string::npos) << outcome.error;
    }
    EXPECT_EQ(host.RunScript("app.executeCommand(2004); 'done'").result, "done");
    ASSERT_EQ(host.RecordsCopy().commandsRun.size(), 1u);
    EXPECT_EQ(host.RecordsCopy().commandsRun[0].source, "script");
    EXPECT_EQ(host.RunScript("app.project.activeItem.selectedLayers.length").result, "0")
        << "Deselect All acts on the active composition";
}

TEST(HostSimScripts, TheModernDialectKeepsTheEnginesWholeLibrary) {
    hostsim::Options options;
    options.scriptDialect = "modern";
    hostsim::Host host(options, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
    EXPECT_EQ(host.RunScript("JSON.stringify(Object.keys({a: 1}).map(function (k) { return k; }))")
                  .result,
              R"(["a"])");
    EXPECT_EQ(host.RunScript("app.project.activeItem.name").result, "Main Comp");
}

}  // namespace

namespace {

TEST(HostSimView, ShowsTheActiveCompositionAsScriptsChangeIt) {
    hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
    hostsim::ViewModel view(host, "/nonexistent/socket.port");
    EXPECT_EQ(host.RunScript("var c = app.project.activeItem; c.time = 1; "
                             "c.layer(1).opacity.setValue(40); c.layer(2).solo = true; 'ok'")
                  .error,
              "");
    const auto comp = view.Build(0)["comp"];
    EXPECT_EQ(comp["name"], "Main Comp");
    EXPECT_EQ(comp["time"], 1.0);
    EXPECT_EQ(comp["layers"][0]["transform"]["Opacity"], 40.0);
    EXPECT_EQ(comp["layers"][0]["transform"]["Position"], json::parse("[960, 540, 0]"));
    EXPECT_EQ(comp["layers"][0]["active"], false) << "hidden by the Logo's solo";
    EXPECT_EQ(comp["layers"][1]["solo"], true);
    EXPECT_FALSE(comp["layers"][1].contains("transform")) << "only selected layers show values";
}

// Allocating without end, directly or through one growing string: the engine's bound ends the
// script, and what it held is given back for the next ones. The timeout is one no sanitizer
// build on a loaded machine reaches, so that only the bound can end these scripts.
TEST(HostSimScripts, TheMemoryBoundEndsAScriptAndGivesItsMemoryBack) {
    hostsim::Options options;
    options.scriptTimeoutMs = 120000;
    options.scriptMemoryMb = 32;
    hostsim::Host host(options, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
    const struct {
        std::string script, result, error;
    } cases[] = {
        {"(function () { var a = []; while (true) a.push([a.length]); })()", "",
         "RangeError: out of memory"},
        {"(function () { var s = 'x'; while (true) s = s + s; })()", "",
         "RangeError: out of memory"},
        {"var big = []; for (var i = 0; i < 200000; i++) big.push([i]); big.length", "200000", ""},
    };
    for (const auto& c : cases) {
        const auto outcome = host.RunScript(c.script);
        EXPECT_EQ(outcome.result, c.result) << c.script;
        EXPECT_EQ(outcome.error.empty(), c.error.empty()) << outcome.error;
        EXPECT_NE(outcome.error.find(c.error), std::string::npos) << outcome.error;
    }
}

// A number that is not a command number is refused, not clamped or truncated into another.
TEST(HostSimScripts, ExecuteCommandTakesOnlyCommandNumbers) {
    hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
    for (const char* n : {"NaN", "Infinity", "-Infinity", "1e300", "4294969300", "2004.5", "-1"}) {
        const auto outcome = host.RunScript(std::string("app.executeCommand(") + n + ")");
        EXPECT_NE(
            outcome.error.find(R"(Unable to call "executeCommand" because of parameter 1. Value )"),
            std::string::npos)
            << n << ": " << outcome.error;
    }
    EXPECT_TRUE(host.RecordsCopy().commandsRun.empty());
    EXPECT_EQ(host.RunScript("app.executeCommand(2147483647); app.executeCommand(0); 1").error, "");
    EXPECT_EQ(host.RecordsCopy().commandsRun.size(), 2u);
}

// What the host's allocator holds (the sanitizer's figure under the address sanitizer).
std::size_t HeapInUse() {
#if defined(CUEBRIDGE_ASAN)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// A getter that throws while the host reads an argument ends that call with the getter's
// error; the host's own frames are not jumped over, so nothing they held is lost.
TEST(HostSimScripts, AnArgumentThatThrowsWhileReadLeaksNothing) {
    hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
    const std::string script =
        "var v = [1, 2]; v.length = 3; v.__proto__ = { get 2() { throw new Error('read'); } };"
        "var p = app.project.activeItem.layer(1).position, seen = '';"
        "for (var i = 0; i < 20000; i++) try { p.setValue(v); } catch (e) { seen = e.message; }"
        "seen + '|' + p.value[0]";
    EXPECT_EQ(host.RunScript(script).result, "read|960");
    const std::size_t before = HeapInUse();
    EXPECT_EQ(host.RunScript(script).result, "read|960");
    const std::size_t after = HeapInUse();
    EXPECT_LT(after, before + 256 * 1024) << "grew by " << after - before << " bytes";
}

// Whatever a script does to the built-ins, the object model answers later scripts as before.
TEST(HostSimScripts, TheModelAnswersTheSameWhateverAScriptDidToTheBuiltIns) {
    const std::string probe =
        "var c = app.project.activeItem, l = c.layer(1), e = '';"
        "try { c.layer(9); } catch (x) { e = x.message; }"
        "app.project.numItems + '|' + c.numLayers + '|' + c.selectedLayers.length + '|' +"
        "c.selectedLayers[0].name + '|' + l.position.value[0] + '|' +"
        "c.layer(2).opacity.valueAtTime(1, false) + '|' + (l.transform instanceof PropertyGroup) +"
        "'|' + (c.layer(2) instanceof AVLayer) + '|' + l.transform('Opacity').name + '|' + e";
    const std::string expected =
        "6|3|1|Title|960|50|true|true|Opacity|Unable to call \"layer\" because of parameter 1. "
        "Value 9 out of range 1 to 3.";
    for (const char* hostile : {
             "Function.prototype.apply = function () { return 42; }",
             "Function.prototype.call = function () { return 42; }",
             "Array.prototype.push = function () { return 0; }",
             "Array = 0",
             "Error = function () { return {}; }",
             "Object.prototype.get = function () { return 42; }",
         }) {
        hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
        EXPECT_EQ(host.RunScript(hostile).error, "") << hostile;
        const auto outcome = host.RunScript(probe);
        EXPECT_EQ(outcome.result, expected) << hostile << ": " << outcome.error;
    }
}

// A kept program runs as a fresh compile would: each script of the table, run twice, gives the
// same results and errors (the script's lines, syntax errors, the timeout) with and without
// the cache; global declarations persist alike.
TEST(HostSimScripts, AKeptProgramRunsAsAFreshCompileWould) {
    const char* const scripts[] = {
        "1+1",
        "var n = (typeof n === 'number' ? n : 0) + 1; n",
        "function f() { return typeof g + ++calls; } var g = 1, calls = calls || 0; f()",
        "if (typeof count === 'undefined') count = 0; count += 2",
        "var l = app.project.activeItem.layer(1);\nl.opacity.setValue(l.opacity.value - 1);\n"
        "l.opacity.value",
        "var r = /a/g; r.test('aa') + '|' + r.lastIndex + '|' + (function () { return this; })()"
        ".app.project.numItems",
        "var made = made || []; made[made.length] = function () {}; made.length + '|' + "
        "(made[0] === made[made.length - 1])",
        "\n\nnoSuchThing()",
        "app.project.activeItem\n.layer(9)",
        "this is not a script(",
        "while (true) {}",
        "undefined",
    };
    const auto runs = [&](std::int64_t cache) {
        hostsim::Options options;
        options.scriptTimeoutMs = 200;
        options.scriptCache = cache;
        hostsim::Host host(options, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
        std::vector<std::string> outcomes;
        for (const char* script : scripts)
            for (int run = 0; run < 2; ++run) {
                const auto outcome = host.RunScript(script);
                outcomes.push_back(outcome.result + "|error: " + outcome.error);
            }
        return outcomes;
    };
    const auto fresh = runs(0), kept = runs(64);
    for (std::size_t i = 0; i < fresh.size(); ++i)
        EXPECT_EQ(kept[i], fresh[i]) << scripts[i / 2] << " (run " << i % 2 + 1 << ")";
}

TEST(HostSimScripts, TheKeptProgramsStayWithinTheirBounds) {
    hostsim::Host host({}, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
    hostsim::HostScriptModel model(host);
    hostsim::ScriptEngine engine(model, std::size_t{64} << 20, hostsim::ScriptDialect::Classic, 4);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(engine.Run(std::to_string(i) + " * 2", 0).result, std::to_string(i * 2));
        EXPECT_LE(engine.CachedScripts(), 4u);
    }
    EXPECT_EQ(engine.Run("1 * 2", 0).result, "2") << "run again after it was dropped";
    // Texts within the byte bound (1 MiB of text) are kept, a larger one is not.
    const std::string padding(400 * 1024, ' ');
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(engine.Run(padding + std::to_string(i), 0).result, std::to_string(i));
        EXPECT_LE(engine.CachedTextBytes(), hostsim::ScriptEngine::kCachedTextBytes);
    }
    EXPECT_EQ(engine.Run(std::string(2 << 20, ' ') + "'big'", 0).result, "big");
    EXPECT_LE(engine.CachedTextBytes(), hostsim::ScriptEngine::kCachedTextBytes);
    EXPECT_GE(engine.CachedScripts(), 1u);
}

}  // namespace
