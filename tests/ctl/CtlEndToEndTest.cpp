// cuebridge-ctl against the simulated host with the real plug-in inside: what each
// sub-command prints and returns, replies whose bytes look like separators, a large result,
// a plug-in that is gone, a script that outlives the time limit, and the repl through a pipe.

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "ControllerConnection.h"
#include "FakePlugin.h"
#include "HostSimProcess.h"

using Cuebridge::CtlTest::CtlRun;
using Cuebridge::CtlTest::RunCtl;
using cuebridge_test::ControllerConnection;
using cuebridge_test::HostSimProcess;
using nlohmann::json;
using namespace std::chrono_literals;

namespace {

const char* const kEffectsFile = R"([
  {"matchName": "ADBE Gaussian Blur 2", "displayName": "Gaussian Blur", "category": "Blur & Sharpen"},
  {"matchName": "VEND Split", "displayName": "Left|Right", "category": "Utilité"},
  {"matchName": "VEND Été", "displayName": "Été ✓", "category": "Stylize"}
])";

// One simulated host with the plug-in, three known effects and a script time limit of its own
// (so that an endless script ends eventually), listening before the test starts.
class CtlEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        files_ = cuebridge_test::MakeTempDir("ctl-e2e-");
        std::ofstream(files_ + "/effects.json") << kEffectsFile;
        host_ = std::make_unique<HostSimProcess>(
            HOSTSIM_PATH,
            std::vector<std::string>{"--plugin", CUEBRIDGE_PLUGIN_PATH, "--effects",
                                     files_ + "/effects.json", "--script-timeout-ms", "1500"});
        ASSERT_TRUE(host_->WaitForPort(20s).has_value()) << host_->Stderr();
    }
    void TearDown() override {
        host_.reset();
        cuebridge_test::RemoveTree(files_);
    }

    CtlRun Ctl(const std::vector<std::string>& args, const std::string& input = {}) {
        return RunCtl(host_->Home(), args, input);
    }

    // The start-up job stores the effects list at the host's first idle calls.
    CtlRun EffectsOnceStored(const std::vector<std::string>& args) {
        CtlRun run = Ctl(args);
        for (int i = 0; i < 200 && run.exitCode == 0 && run.out.find("VEND") == std::string::npos;
             ++i) {
            std::this_thread::sleep_for(20ms);
            run = Ctl(args);
        }
        return run;
    }

    json StateWhen(const std::function<bool(const json&)>& pred) {
        json state = host_->Ask("state")["state"];
        for (int i = 0; i < 500 && !pred(state); ++i) {
            std::this_thread::sleep_for(10ms);
            state = host_->Ask("state")["state"];
        }
        return state;
    }

    std::string files_;
    std::unique_ptr<HostSimProcess> host_;
};

std::vector<int> SelectedIds(const json& state) {
    std::vector<int> ids;
    for (const json& item : state["items"]) {
        if (item["selected"].get<bool>()) {
            ids.push_back(item["id"].get<int>());
        }
    }
    return ids;
}

std::string Repeat(const std::string& text, size_t times) {
    std::string out;
    out.reserve(text.size() * times);
    for (size_t i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

}  // namespace

TEST_F(CtlEndToEnd, QueriesPrintTheHostsAnswers) {
    CtlRun language = Ctl({"language"});
    EXPECT_EQ(language.exitCode, 0) << language.err;
    EXPECT_EQ(language.out, "en_US\n");

    CtlRun table = EffectsOnceStored({"effects"});
    EXPECT_EQ(table.exitCode, 0) << table.err;
    EXPECT_EQ(table.out,
              "MATCH NAME            DISPLAY NAME   CATEGORY\n"
              "ADBE Gaussian Blur 2  Gaussian Blur  Blur & Sharpen\n"
              "VEND Split            Left|Right     Utilité\n"
              "VEND Été              Été ✓          Stylize\n");

    CtlRun raw = Ctl({"effects", "--raw"});
    EXPECT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_EQ(raw.out,
              "ADBE Gaussian Blur 2|Gaussian Blur|Blur & Sharpen*|*VEND Split|Left|Right|Utilité*|*"
              "VEND Été|Été ✓|Stylize*|*\n");

    CtlRun asJson = Ctl({"effects", "--json"});
    ASSERT_EQ(asJson.exitCode, 0) << asJson.err;
    EXPECT_EQ(json::parse(asJson.out), json::parse(std::string(kEffectsFile)));

    CtlRun sent = Ctl({"send", "q7|GetAfterEffectLanguage|"});
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    EXPECT_EQ(sent.out, "q7|en_US\n");
}

TEST_F(CtlEndToEnd, ScriptResultsComeBackByteForByte) {
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string result;
    };
    const Case cases[] = {
        {{"script", "'a|b' + '|c'"}, "", "a|b|c"},
        {{"script", "'x*|*y*|*'"}, "", "x*|*y*|*"},
        {{"script", "'one\\ntwo\\n\\n'"}, "", "one\ntwo\n\n"},
        {{"script", "'Été ✓ 日本語 🎬'"}, "", "Été ✓ 日本語 🎬"},
        {{"script", "'ends with a bar|'"}, "", "ends with a bar|"},
        {{"script", "''"}, "", ""},
        {{"script", "app.project.numItems"}, "", "6"},
        // Line ends in the source travel as carriage returns, which the engine reads as line ends.
        {{"script", "-"}, "var a = 'p|q'; // a comment\r\nvar b = '*|*';\na + b\n", "p|q*|*"},
        {{"send", "r|Script|'in|side'"}, "", "r|in|side"},
    };
    for (const Case& c : cases) {
        CtlRun run = Ctl(c.args, c.input);
        EXPECT_EQ(run.exitCode, 0) << c.args[1] << ": " << run.err;
        EXPECT_EQ(run.out, c.result + "\n") << c.args[1];
    }
}

TEST_F(CtlEndToEnd, OneMebibyteResult) {
    const std::string unit = "a|b*|*\né";  // 9 bytes
    const size_t copies = (1u << 20) / unit.size() + 1;
    CtlRun run =
        Ctl({"script", "new Array(" + std::to_string(copies + 1) + ").join('a|b*|*\\né')"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string expected = Repeat(unit, copies) + "\n";
    ASSERT_EQ(run.out.size(), expected.size());
    EXPECT_TRUE(run.out == expected);

    // The same reply past a lowered bound: nothing printed, and an exit code of its own.
    CtlRun bounded = Ctl({"--max-reply-mib", "1", "script",
                          "new Array(" + std::to_string(copies + 1) + ").join('a|b*|*\\né')"});
    EXPECT_EQ(bounded.exitCode, 5);
    EXPECT_EQ(bounded.out, "");
    EXPECT_NE(bounded.err.find("the reply exceeded 1 MiB"), std::string::npos) << bounded.err;
}

TEST_F(CtlEndToEnd, FailedScriptExitsOne) {
    CtlRun run = Ctl({"script", "nosuch()"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "script error: ReferenceError: identifier 'nosuch' undefined (line 1)\n");
}

TEST_F(CtlEndToEnd, QueuedCommandsReachTheHost) {
    CtlRun command = Ctl({"command", "2004"});
    EXPECT_EQ(command.exitCode, 0) << command.err;
    EXPECT_EQ(command.out, "");
    json state = StateWhen([](const json& s) { return !s["commands_run"].empty(); });
    EXPECT_EQ(state["commands_run"], json::parse(R"([{"command": 2004, "source": "plugin"}])"));

    EXPECT_EQ(Ctl({"info", "SetInfoText"}).exitCode, 0);
    state = StateWhen([](const json& s) { return s["info"]["line1"] != ""; });
    EXPECT_EQ(state["info"]["line1"], "Lorem ipsum");
    EXPECT_EQ(state["info"]["line2"], "dolor sit amet");

    // "First" selects the item after the project's first one; "Next" the one after the active item.
    const json items = state["items"];
    const int lastId = items.back()["id"].get<int>();
    host_->Ask("select " + std::to_string(lastId));
    EXPECT_EQ(Ctl({"navigate", "First"}).exitCode, 0);
    const std::vector<int> second{items[1]["id"].get<int>()};
    state = StateWhen([&](const json& s) { return SelectedIds(s) == second; });
    EXPECT_EQ(SelectedIds(state), second);
    EXPECT_EQ(Ctl({"navigate", "Next"}).exitCode, 0);
    const std::vector<int> third{items[2]["id"].get<int>()};
    state = StateWhen([&](const json& s) { return SelectedIds(s) == third; });
    EXPECT_EQ(SelectedIds(state), third);
}

TEST_F(CtlEndToEnd, ScriptPastTheTimeoutExitsFourAndThePluginRecovers) {
    CtlRun run = Ctl({"--timeout-ms", "300", "script", "while (true) {}"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_NE(run.err.find("timed out after 300 ms"), std::string::npos) << run.err;
    // The host stops the script after its own limit; the plug-in then listens again.
    CtlRun wait = Ctl({"wait", "--timeout-ms", "20000"});
    EXPECT_EQ(wait.exitCode, 0) << wait.err;
    CtlRun language = Ctl({"language"});
    EXPECT_EQ(language.exitCode, 0) << language.err;
    EXPECT_EQ(language.out, "en_US\n");
}

TEST_F(CtlEndToEnd, WaitsWithinTheTimeoutWhileAnotherControllerHoldsThePlugin) {
    auto holder = std::make_unique<ControllerConnection>();
    ASSERT_TRUE(holder->Connect(*host_->WaitForPort()));
    CtlRun refused = Ctl({"--timeout-ms", "300", "language"});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.err.find("refused every attempt (another controller holds the plug-in"),
              std::string::npos)
        << refused.err;
    // Held for longer than a missing port file is waited for, released well within the timeout.
    std::thread release([&holder] {
        std::this_thread::sleep_for(2500ms);
        holder.reset();
    });
    CtlRun served = Ctl({"--timeout-ms", "20000", "language"});
    release.join();
    EXPECT_EQ(served.exitCode, 0) << served.err;
    EXPECT_EQ(served.out, "en_US\n");
}

TEST_F(CtlEndToEnd, ReplThroughAPipe) {
    const std::string input =
        "language\n"
        "script 'a|b*|*c'\n"
        "script nosuch()\n"
        "command 2004\n"
        "script app.project.numItems\n"
        "send 5|GetAfterEffectLanguage|\n"
        "quit\n";
    CtlRun run = Ctl({"repl"}, input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "en_US\na|b*|*c\n6\n5|en_US\n");
    EXPECT_EQ(run.err, "script error: ReferenceError: identifier 'nosuch' undefined (line 1)\n");
}

TEST_F(CtlEndToEnd, AfterTheHostDiesNoPluginIsListening) {
    // The host dies (as a crashing host would): the plug-in's port file stays behind.
    host_->Signal(SIGKILL);
    host_->WaitExit();
    CtlRun run = Ctl({"--timeout-ms", "300", "language"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find(host_->PortFilePath()), std::string::npos) << run.err;
    std::ifstream portFile(host_->PortFilePath());
    int stalePort = 0;
    ASSERT_TRUE(portFile >> stalePort) << "the killed plug-in's port file stays";
    // A stale port file: the message names the port that nobody listens on.
    EXPECT_NE(run.err.find("port " + std::to_string(stalePort)), std::string::npos) << run.err;
}

TEST(CtlEndToEndScriptErrors, AreErrorsForEverySubCommand) {
    // Every script fails, the start-up script that lists the effects included.
    HostSimProcess host(HOSTSIM_PATH,
                        {"--plugin", CUEBRIDGE_PLUGIN_PATH, "--script-error", "boom"});
    ASSERT_TRUE(host.WaitForPort(20s).has_value()) << host.Stderr();
    const std::vector<std::string> cases[] = {
        {"effects"},     {"effects", "--json"},  {"effects", "--raw"},
        {"script", "1"}, {"send", "s|Script|1"},
    };
    for (const std::vector<std::string>& args : cases) {
        CtlRun run = RunCtl(host.Home(), args);
        // The effects list is stored at the host's first idle calls.
        for (int i = 0; i < 200 && run.exitCode == 0 && run.out.find("boom") == std::string::npos;
             ++i) {
            std::this_thread::sleep_for(20ms);
            run = RunCtl(host.Home(), args);
        }
        EXPECT_EQ(run.exitCode, 1) << args[0] << ": " << run.out;
        EXPECT_EQ(run.out, "") << args[0];
        EXPECT_NE(run.err.find("boom"), std::string::npos) << args[0] << ": " << run.err;
    }
    EXPECT_EQ(RunCtl(host.Home(), {"language"}).exitCode, 0);
}
