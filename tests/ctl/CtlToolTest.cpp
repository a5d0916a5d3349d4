// The built cuebridge-ctl against the fake plug-in: output, exit codes and messages.

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "FakePlugin.h"
#include "PortFile.h"

using namespace Cuebridge::CtlTest;

namespace {

const std::string kEffects =
    "ADBE Gaussian Blur 2|Gaussian Blur|Blur & Sharpen*|*ADBE Glo2|Glow|Stylize*|*";

FakeReply HostLike(const std::string& keyword, const std::string& argument) {
    if (keyword == "GetAfterEffectLanguage") {
        return {FakeReply::Kind::Result, "en_US"};
    }
    if (keyword == "GetInstalledAfterEffectEffects") {
        return {FakeReply::Kind::Result, kEffects};
    }
    if (keyword != "Script") {
        return {};
    }
    return {FakeReply::Kind::Result, "ran:" + argument};
}

class CtlTool : public ::testing::Test {
protected:
    TempHome home;
    FakePlugin plugin{home.Path(), HostLike};

    void SetUp() override { plugin.WaitUntilListening(); }
    CtlRun Run(const std::vector<std::string>& args, const std::string& input = {}) {
        return RunCtl(home.Path(), args, input);
    }
};

}  // namespace

TEST_F(CtlTool, SubCommandsPrintTheirResults) {
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int exitCode;
        std::string out;
    };
    const Case cases[] = {
        {{"language"}, "", 0, "en_US\n"},
        {{"script", "1+1"}, "", 0, "ran:1+1\n"},
        {{"script", "-"}, "var a = 1;\na;\n", 0, "ran:var a = 1;\ra;\r\n"},
        {{"effects", "--raw"}, "", 0, kEffects + "\n"},
        {{"effects"},
         "",
         0,
         "MATCH NAME            DISPLAY NAME   CATEGORY\n"
         "ADBE Gaussian Blur 2  Gaussian Blur  Blur & Sharpen\n"
         "ADBE Glo2             Glow           Stylize\n"},
        {{"command", "2004"}, "", 0, ""},
        {{"info", "SetInfoText"}, "", 0, ""},
        {{"navigate", "First"}, "", 0, ""},
        {{"send", "7|GetAfterEffectLanguage|"}, "", 0, "7|en_US\n"},
        {{"send", "7|NoSuchKeyword|x"}, "", 0, ""},
    };
    for (const Case& c : cases) {
        CtlRun run = Run(c.args, c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args[0] << ": " << run.err;
        EXPECT_EQ(run.out, c.out) << c.args[0];
    }
}

TEST_F(CtlTool, EffectsAsJson) {
    CtlRun run = Run({"effects", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    nlohmann::json parsed = nlohmann::json::parse(run.out);
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0]["matchName"], "ADBE Gaussian Blur 2");
    EXPECT_EQ(parsed[0]["category"], "Blur & Sharpen");
    EXPECT_EQ(parsed[1]["displayName"], "Glow");
}

TEST_F(CtlTool, ScriptFromAFile) {
    const std::string path = home.Path() + "/test.jsx";
    std::ofstream(path) << "app.name;\r\n";
    CtlRun run = Run({"script", "-f", path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "ran:app.name;\r\n");
    EXPECT_EQ(Run({"script", "-f", home.Path() + "/missing.jsx"}).exitCode, 2);
}

TEST_F(CtlTool, UsageErrorsExitTwoWithoutSending) {
    const std::vector<std::string> cases[] = {
        {},
        {"frobnicate"},
        {"command", "twelve"},
        {"command", "-5"},
        {"info", "SetInfoFont"},
        {"navigate", "Last"},
        {"script"},
        {"script", ""},
        {"effects", "--raw", "--json"},
        {"send", "a\nb"},
        {"--port", "0", "language"},
    };
    for (const std::vector<std::string>& args : cases) {
        CtlRun run = Run(args);
        EXPECT_EQ(run.exitCode, 2) << (args.empty() ? "(none)" : args[0]) << ": " << run.err;
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_EQ(plugin.Connections(), 0);
}

TEST_F(CtlTool, VerboseShowsTheBytesBothWays) {
    CtlRun run = Run({"--verbose", "language"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("|GetAfterEffectLanguage|\\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("|Script|\\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("<< "), std::string::npos) << run.err;
}

TEST_F(CtlTool, ReplThroughAPipeUsesOneConnection) {
    const std::string input =
        "language\n"
        "\n"
        "script 'a|b'\n"
        "bogus\n"
        "command 2004\n"
        "effects --raw\n"
        "send 9|Script|x\n"
        "quit\n"
        "language\n";
    CtlRun run = Run({"repl"}, input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "en_US\nran:'a|b'\n" + kEffects + "\n9|ran:x\n");
    EXPECT_NE(run.err.find("unknown request 'bogus'"), std::string::npos) << run.err;
    EXPECT_EQ(plugin.Connections(), 1);
}

TEST_F(CtlTool, WaitReturnsOnceAPluginListens) {
    CtlRun run = Run({"wait", "--timeout-ms", "5000"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // The plug-in moves to a new port after that probe; the next request still finds it.
    CtlRun after = Run({"language"});
    EXPECT_EQ(after.exitCode, 0) << after.err;
    EXPECT_EQ(after.out, "en_US\n");
}

TEST(CtlToolWithoutPlugin, NoPortFileExitsThreeAndNamesThePath) {
    TempHome home;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--timeout-ms", "200", "language"},
          {"wait", "--timeout-ms", "200"},
          {"repl"}}) {
        CtlRun run = RunCtl(home.Path(), args);
        EXPECT_EQ(run.exitCode, 3) << args[0];
        EXPECT_NE(run.err.find(home.Path() +
                               "/Library/Application Support/Ostrel/OstrelPluginService/PluginData/"
                               "AfterEffects/socket.port"),
                  std::string::npos)
            << run.err;
    }
}

TEST(CtlToolWithoutPlugin, StalePortFileExitsThreeAndNamesThePort) {
    TempHome home;
    // Take a port from the system, then free it: nobody listens there any more.
    int port = 0;
    {
        FakePlugin plugin(home.Path(), HostLike);
        plugin.WaitUntilListening();
        std::ifstream(plugin.PortFilePath()) >> port;
    }
    const std::string path = Cuebridge::Ctl::PortFilePath(home.Path());
    std::ofstream(path) << port;
    CtlRun run = RunCtl(home.Path(), {"--timeout-ms", "300", "language"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("port " + std::to_string(port)), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("stale"), std::string::npos) << run.err;
}
