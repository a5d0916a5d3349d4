// The simulated host's own behaviour, with the probe plug-in inside it.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <set>
#include <thread>

#include "HostSimProcess.h"

using cuebridge_test::HostSimProcess;
using nlohmann::json;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> WithProbe(std::vector<std::string> args) {
    args.insert(args.begin(), {"--plugin", PROBE_PLUGIN_PATH});
    return args;
}

json State(HostSimProcess& host) {
    const json answer = host.Ask("state");
    EXPECT_TRUE(answer.is_object()) << host.Stderr();
    return answer.is_object() ? answer["state"] : json::object();
}

// Polls the state until pred holds (the host works asynchronously to the console).
template <typename Pred>
json StateWhen(HostSimProcess& host, Pred pred, std::chrono::milliseconds timeout = 10s) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    json state = State(host);
    while (!pred(state) && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(10ms);
        state = State(host);
    }
    return state;
}

std::string WriteFile(const std::string& dir, const std::string& name, const std::string& text) {
    const std::string path = dir + "/" + name;
    std::ofstream(path) << text;
    return path;
}

}  // namespace

TEST(HostSim, BadStartIsAClearErrorWithExitCodeTwo) {
    const std::string dir = cuebridge_test::MakeTempDir("hostsim-files-");
    const std::string badJson = WriteFile(dir, "bad.json", "{ items: ");
    const std::string badParent = WriteFile(
        dir, "parent.json",
        R"({"items":[{"id":1,"name":"A","type":"footage"},{"id":2,"name":"B","type":"solid","parent":1}]})");
    const std::string badEffect =
        WriteFile(dir, "effects.json", R"([{"matchName":"X","displayName":"Y"}])");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--plugin", dir + "/missing.so"}, "cannot load plug-in"},
        {{"--plugin", "libm.so.6"}, "has no EntryPointFunc"},
        {WithProbe({"--project", badJson}), badJson + ": not valid JSON"},
        {WithProbe({"--project", badParent}), "parent 1 is not a folder"},
        {WithProbe({"--project", dir + "/none.json"}), "none.json: cannot be opened"},
        {WithProbe({"--effects", badEffect}), "\"category\" must be a text"},
        {WithProbe({"--refuse-suite", "nocolon"}), "expected NAME:VERSION"},
        {WithProbe({"--fail-register", "bogus"}), ""},
    };
    for (const auto& c : cases) {
        HostSimProcess host(HOSTSIM_PATH, c.args);
        EXPECT_EQ(host.WaitExit(), 2) << c.args.back();
        EXPECT_NE(host.Stderr().find(c.message), std::string::npos) << host.Stderr();
    }
    cuebridge_test::RemoveTree(dir);
}

TEST(HostSim, EntryPointErrorIsReportedAndHostKeepsRunning) {
    HostSimProcess host(HOSTSIM_PATH, WithProbe({}), {{"PROBE_ENTRY_RESULT", "5"}});
    const json state = State(host);
    EXPECT_EQ(state["entry_point_result"], 5);
    EXPECT_NE(host.Stderr().find("EntryPointFunc returned error 5"), std::string::npos);
    EXPECT_EQ(host.Quit(), 0);
}

TEST(HostSim, UserCommandGoesToHookThenHost) {
    HostSimProcess host(HOSTSIM_PATH, WithProbe({}));
    EXPECT_EQ(host.Ask("command 1234")["ok"], true);
    EXPECT_EQ(host.Ask("command 9004")["ok"], true);  // the probe claims this one
    EXPECT_EQ(host.Ask("command x")["ok"], false);
    const json state = State(host);
    EXPECT_EQ(state["commands_run"], json::parse(R"([{"command":1234,"source":"user"}])"));
    EXPECT_EQ(host.Quit(), 0);
}

TEST(HostSim, JournalRecordsEveryCallInSequence) {
    HostSimProcess probe(HOSTSIM_PATH, {});
    const std::string journal = probe.JournalPath();
    HostSimProcess host(HOSTSIM_PATH, WithProbe({"--journal", journal}));
    host.Ask("command 9003");
    host.Ask("command 77");
    EXPECT_EQ(host.Quit(), 0);
    const auto lines = [&] {
        std::vector<json> parsed;
        std::ifstream file(journal);
        for (std::string line; std::getline(file, line);) parsed.push_back(json::parse(line));
        return parsed;
    }();
    ASSERT_FALSE(lines.empty());
    std::set<std::string> calls;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i]["seq"], i + 1);
        EXPECT_EQ(lines[i]["thread"], "main") << lines[i].dump();
        EXPECT_TRUE(lines[i]["t_us"].is_number_integer());
        calls.insert(lines[i]["call"].get<std::string>());
        if (lines[i]["call"] == "AEGP_ExecuteScript") {
            EXPECT_EQ(lines[i]["args"]["script"], "6*7");
            EXPECT_EQ(lines[i]["out"]["result"], "42");
        }
    }
    for (const char* expected :
         {"EntryPointFunc", "AcquireSuite", "ReleaseSuite", "AEGP_RegisterCommandHook",
          "AEGP_RegisterIdleHook", "CommandHook", "AEGP_ExecuteScript", "AEGP_LockMemHandle",
          "AEGP_FreeMemHandle", "PF_InfoDrawText"})
        EXPECT_TRUE(calls.count(expected)) << expected;
}

TEST(HostSim, ThreadViolationsAreCountedAndFailStrictRuns) {
    HostSimProcess host(HOSTSIM_PATH, WithProbe({"--strict"}));
    host.Ask("command 9002");  // the calls any thread may make
    EXPECT_EQ(State(host)["thread_violations"]["count"], 0);
    host.Ask("command 9001");  // PF_InfoDrawText from another thread
    const json violations = State(host)["thread_violations"];
    EXPECT_EQ(violations["count"], 1);
    EXPECT_EQ(violations["calls"]["PF_InfoDrawText"], 1);
    EXPECT_EQ(host.Quit(), 3);
}

TEST(HostSim, IdleRequestRunsHooksWithoutWaitingForTheInterval) {
    HostSimProcess host(HOSTSIM_PATH, WithProbe({"--idle-interval-ms", "3600000"}));
    host.Ask("command 9005");
    const json state = StateWhen(
        host, [](const json& s) { return !s["info"]["appended"].empty(); }, 5s);
    EXPECT_EQ(state["info"]["appended"], json::array({"woken"}));
    EXPECT_EQ(host.Quit(), 0);
}

TEST(HostSim, IdleHookChangingMaxSleepIsCounted) {
    HostSimProcess host(HOSTSIM_PATH, WithProbe({"--idle-interval-ms", "5"}));
    EXPECT_EQ(State(host)["idle_sleep_changes"], 0);
    host.Ask("command 9007");
    EXPECT_EQ(
        StateWhen(host,
                  [](const json& s) { return s["idle_sleep_changes"] != 0; })["idle_sleep_changes"],
        1);
    EXPECT_EQ(host.Quit(), 0);
}

TEST(HostSim, ScriptThroughTheUtilitySuiteFillsBothHandles) {
    struct Case {
        std::vector<std::string> extra;
        std::string line1, line2;
    } cases[] = {{{}, "42", ""}, {{"--script-error", "boom"}, "", "boom"}};
    for (const auto& c : cases) {
        HostSimProcess host(HOSTSIM_PATH, WithProbe(c.extra));
        host.Ask("command 9003");
        const json state = State(host);
        EXPECT_EQ(state["info"]["line1"], c.line1);
        EXPECT_EQ(state["info"]["line2"], c.line2);
        EXPECT_EQ(state["mem_handles_outstanding"], 0);
        EXPECT_EQ(state["quiet_errors_depth"], 0);
        EXPECT_EQ(host.Quit(), 0);
    }
}

TEST(HostSim, SuitesNotServedOrRefusedComeBackNull) {
    {
        HostSimProcess host(HOSTSIM_PATH, WithProbe({}));
        host.Ask("command 9008");
        EXPECT_EQ(State(host)["alerts"], json::array({"probe: marker 516 null"}));
        EXPECT_EQ(host.Quit(), 0);
    }
    {
        HostSimProcess host(HOSTSIM_PATH, WithProbe({"--refuse-suite", "AEGP Register Suite:6"}));
        const json state = State(host);
        EXPECT_EQ(state["entry_point_result"], 516);
        EXPECT_EQ(state["hooks"]["command"], 0);
        EXPECT_EQ(host.Quit(), 0);
    }
}

TEST(HostSim, FailedRegistrationIsRefusedWithAnError) {
    for (const char* kind : {"command", "menu", "idle"}) {
        HostSimProcess host(HOSTSIM_PATH, WithProbe({"--fail-register", kind}));
        const json state = State(host);
        EXPECT_EQ(state["alerts"], json::array({"probe: registration failed"})) << kind;
        EXPECT_EQ(state["entry_point_result"], 1) << kind;
        const int registered = state["hooks"]["command"].get<int>() +
                               state["hooks"]["menu"].get<int>() +
                               state["hooks"]["idle"].get<int>();
        EXPECT_EQ(registered, std::string(kind) == "command" ? 0
                              : std::string(kind) == "menu"  ? 1
                                                             : 2);
        EXPECT_EQ(host.Quit(), 0);
    }
}

TEST(HostSim, ProjectWalkSelectsOneItemAndRefusesNull) {
    HostSimProcess host(HOSTSIM_PATH, WithProbe({}));
    host.Ask("command 9006");
    json state = State(host);
    EXPECT_TRUE(state["alerts"].empty()) << state["alerts"].dump();  // the null item was refused
    EXPECT_EQ(state["active_item"], 2);
    for (const auto& item : state["items"])
        EXPECT_EQ(item["selected"], item["id"] == 2) << item.dump();
    EXPECT_EQ(host.Ask("select 4")["ok"], true);
    EXPECT_EQ(host.Ask("select 99")["ok"], false);
    state = State(host);
    EXPECT_EQ(state["active_item"], 4);
    for (const auto& item : state["items"])
        EXPECT_EQ(item["selected"], item["id"] == 4) << item.dump();
    EXPECT_EQ(host.Quit(), 0);
}

TEST(HostSim, ExampleProjectAndEffectsFilesLoad) {
    HostSimProcess host(HOSTSIM_PATH,
                        WithProbe({"--project", EXAMPLES_DIR "/project.json", "--effects",
                                   EXAMPLES_DIR "/effects.json", "--language", "de_DE"}));
    const json state = State(host);
    std::ifstream projectFile(EXAMPLES_DIR "/project.json");
    const json project = json::parse(projectFile);
    ASSERT_EQ(state["items"].size(), project["items"].size());
    for (std::size_t i = 0; i < project["items"].size(); ++i) {
        EXPECT_EQ(state["items"][i]["id"], project["items"][i]["id"]);
        EXPECT_EQ(state["items"][i]["name"], project["items"][i]["name"]);
        EXPECT_EQ(state["items"][i]["type"], project["items"][i]["type"]);
    }
    EXPECT_EQ(state["active_item"], project["active"]);
    std::ifstream effectsFile(EXAMPLES_DIR "/effects.json");
    EXPECT_EQ(state["effects"], json::parse(effectsFile).size());
    EXPECT_EQ(state["language"], "de_DE");
    EXPECT_EQ(host.Ask("script app.isoLanguage")["result"], "de_DE");
    EXPECT_EQ(host.Quit(), 0);
}

TEST(HostSim, ScriptEngineObjectModelErrorsAndText) {
    HostSimProcess host(HOSTSIM_PATH, WithProbe({"--script-timeout-ms", "300"}));
    struct Case {
        std::string script, result, errorPart;
    } cases[] = {
        {"1+2", "3", ""},
        {"undefined", "", ""},
        {"null", "null", ""},
        {"app.project.numItems + '/' + app.project.items.length", "6/6", ""},
        {"app.project.item(2).name + '|' + app.project.item(2).typeName", "Main Comp|Composition",
         ""},
        {"app.project.activeItem.id", "2", ""},
        {"app.effects[0].matchName + '|' + app.effects[0].displayName + '|' + "
         "app.effects[0].category",
         "ADBE Gaussian Blur 2|Gaussian Blur|Blur & Sharpen", ""},
        {"app.project.item(4).selected = true; app.project.selection.length", "2", ""},
        {"app.project.activeItem.id", "4", ""},  // a script's selection makes the item active
        {"app.project.item(4).selected = false; app.project.item(2).selected = false; "
         "app.project.activeItem",
         "null", ""},
        {"var kept = 41;", "", ""},
        {"kept + 1", "42", ""},  // one global scope for the host's life
        {"foo(", "", "SyntaxError: "},
        {"this is not a script(", "", "SyntaxError: unterminated statement (line 1)"},
        {"var a = 1; noSuchThing()", "",
         "ReferenceError: identifier 'noSuchThing' undefined (line 1)"},
        {"app.project.item(99)", "", "RangeError: item index out of range: 99"},
        {"app.project.item(99)", "", "(line 1)"},  // the script's line, not the object model's
        {"throw new Error('custom')", "", "Error: custom (line 1)"},
        {"'h\xC3\xA9llo \xF0\x9F\x98\x80'", "h\xC3\xA9llo \xF0\x9F\x98\x80",
         ""},                                                             // UTF-8 both ways
        {"String.fromCharCode(0xD83D, 0xDE00)", "\xF0\x9F\x98\x80", ""},  // a surrogate pair
        {"'a' + String.fromCharCode(0xD800) + 'b'",
         "a\xEF\xBF\xBD"
         "b",
         ""},  // a lone surrogate
        {"'\xF0\x9F\x98\x80'.length", "2", ""},
        {"while(true){}", "", "RangeError: execution timeout"},
        {"1+1", "2", ""},  // the engine still works after a stopped script
    };
    for (const auto& c : cases) {
        const json answer = host.Ask("script " + c.script);
        ASSERT_TRUE(answer.is_object()) << c.script;
        EXPECT_EQ(answer["result"], c.result) << c.script;
        if (c.errorPart.empty()) {
            EXPECT_EQ(answer["error"], "") << c.script;
        } else {
            EXPECT_NE(answer["error"].get<std::string>().find(c.errorPart), std::string::npos)
                << c.script << " -> " << answer["error"];
        }
    }
    EXPECT_EQ(host.Quit(), 0);
}

TEST(HostSim, ScriptCommandsRunThroughTheHooks) {
    HostSimProcess host(HOSTSIM_PATH, WithProbe({}));
    EXPECT_EQ(host.Ask("script app.executeCommand(2004); 'done'")["result"], "done");
    EXPECT_EQ(State(host)["commands_run"], json::parse(R"([{"command":2004,"source":"script"}])"));
    EXPECT_EQ(host.Quit(), 0);
}

TEST(HostSim, EndsOnSignalOrDeadlineButNotOnEndOfInput) {
    {
        HostSimProcess host(HOSTSIM_PATH, WithProbe({}));
        State(host);
        host.CloseStdin();
        std::this_thread::sleep_for(300ms);
        EXPECT_TRUE(host.Running());
        host.Signal(SIGTERM);
        EXPECT_EQ(host.WaitExit(), 0);
        // The probe keeps the Utility suite for its life; the host says so at exit.
        EXPECT_NE(
            host.Stderr().find("suite still held at exit: \"AEGP Utility Suite\" 13 (1; expected"),
            std::string::npos)
            << host.Stderr();
    }
    for (const int signal : {SIGINT, SIGTERM}) {
        // A script that runs for ever (no time limit) is stopped with an error.
        HostSimProcess host(HOSTSIM_PATH, WithProbe({}));
        State(host);
        host.Send("script while (true) {}");
        std::this_thread::sleep_for(100ms);
        host.Signal(signal);
        EXPECT_EQ(host.WaitExit(), 0) << signal;
    }
    {
        HostSimProcess host(HOSTSIM_PATH, WithProbe({"--exit-after-ms", "200"}));
        EXPECT_EQ(host.WaitExit(10s), 0);
    }
}
