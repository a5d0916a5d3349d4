// The simulated host's own parts, in process and without a plug-in: its start-up files, the
// thread rule, and the script engine with its object model.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "Host.h"
#include "Suites.h"
#include "TempHome.h"

namespace {

using nlohmann::json;

TEST(HostSimStart, ABadFileIsNamedAndTheExampleFilesLoad) {
    TempHome files;
    const std::string bad = (files.Path() / "bad.json").string();
    std::ofstream(bad) << "{ items: ";
    try {
        hostsim::LoadProjectFile(bad);
        ADD_FAILURE() << "a file that is not JSON loads";
    } catch (const hostsim::ConfigError& e) {
        EXPECT_NE(std::string(e.what()).find(bad + ": not valid JSON"), std::string::npos);
    }
    EXPECT_EQ(hostsim::LoadProjectFile(EXAMPLES_DIR "/project.json").items.size(), 6u);
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
        {"app.project.activeItem.id", "4", ""},  // a script's selection makes the item active
        {"app.project.item(4).selected = false; app.project.item(2).selected = false; "
         "app.project.activeItem",
         "null", ""},
        {"this is not a script(", "", "SyntaxError: unterminated statement (line 1)"},
        {"var a = 1;\rnoSuchThing()", "",
         "ReferenceError: identifier 'noSuchThing' undefined (line 2)"},
        {"app.project.item(99)", "", "RangeError: item index out of range: 99 (line 1)"},
        // The engine's surrogate pairs reach the result as UTF-8 (the repair: ToValidUtf8).
        {"String.fromCharCode(0xD83D, 0xDE00)", "\xF0\x9F\x98\x80", ""},
        {"while(true){}", "", "RangeError: execution timeout"},
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

}  // namespace
