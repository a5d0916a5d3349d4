// The built cuebridge-ctl against the fake plug-in: output, exit codes and messages.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>

#include "FakePlugin.h"
#include "PortFile.h"
#include "Protocol.h"

using namespace Cuebridge::CtlTest;
namespace Protocol = Cuebridge::Protocol;
namespace fs = std::filesystem;

namespace {

const std::string kEffects =
    "ADBE Gaussian Blur 2|Gaussian Blur|Blur & Sharpen*|*ADBE Glo2|Glow|Stylize*|*";

FakeReply HostLike(const std::string& keyword, const std::string& argument) {
    if (keyword == Protocol::kGetLanguage) {
        return {FakeReply::Kind::Result, "en_US"};
    }
    if (keyword == Protocol::kGetInstalledEffects) {
        return {FakeReply::Kind::Result, kEffects};
    }
    if (keyword != Protocol::kScript) {
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
    EXPECT_NE(Run({"frobnicate"})
                  .err.find("unknown sub-command 'frobnicate'; the sub-commands are: wait, "
                            "language, effects, script, command, info, navigate, send, repl"),
              std::string::npos);
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

namespace {

// What a case sets up at the port file's path; the sockets it returns are closed after the run.
using Prepare = std::function<std::vector<int>(const std::string& portFile)>;

std::vector<int> Nothing(const std::string&) { return {}; }

// A loopback socket bound to a free port, named by a new port file.
int PublishedSocket(const std::string& portFile, sockaddr_in& address) {
    fs::create_directories(fs::path(portFile).parent_path());
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    std::ofstream(portFile) << ntohs(address.sin_port);
    return fd;
}

}  // namespace

TEST(CtlToolWithoutPlugin, ExitsThreeAndSaysWhatItWaitedFor) {
    struct Case {
        std::vector<std::string> args;
        Prepare prepare;
        std::vector<std::string> says;  // with PORTFILE, PORT and HOME filled in
    };
    const std::string service = "HOME/Library/Application Support/Ostrel/OstrelPluginService";
    const std::vector<std::string> language{"--timeout-ms", "300", "language"};
    const Case cases[] = {
        {language, Nothing, {"no port file at PORTFILE", "the folder HOME/Library does not exist"}},
        {{"wait", "--timeout-ms", "200"}, Nothing, {"no port file at PORTFILE"}},
        {{"repl"}, Nothing, {"no port file at PORTFILE"}},
        {language,
         [](const std::string& portFile) {
             fs::create_directories(fs::path(portFile).parent_path().parent_path().parent_path());
             return std::vector<int>{};
         },
         {"the folder " + service + "/PluginData does not exist"}},
        // A FIFO is not read, so it cannot block the client.
        {language,
         [](const std::string& portFile) {
             fs::create_directories(fs::path(portFile).parent_path());
             ::mkfifo(portFile.c_str(), 0600);
             return std::vector<int>{};
         },
         {"PORTFILE is not a regular file"}},
        // A port nobody listens on (the plug-in is gone, or another controller holds it).
        {language,
         [](const std::string& portFile) {
             sockaddr_in address;
             return std::vector<int>{PublishedSocket(portFile, address)};
         },
         {"waited 3", "for port PORT named by PORTFILE", "refused every attempt", "stale"}},
        // A listener whose queue is full leaves the connect pending: the timeout still holds.
        {language,
         [](const std::string& portFile) {
             sockaddr_in address;
             int listener = PublishedSocket(portFile, address);
             ::listen(listener, 0);
             int filler = ::socket(AF_INET, SOCK_STREAM, 0);
             ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
             return std::vector<int>{listener, filler};
         },
         {"waited 3", "for port PORT named by PORTFILE", "still pending"}},
    };
    for (const Case& c : cases) {
        TempHome home;
        const std::string portFile = Cuebridge::Ctl::PortFilePath(home.Path());
        const std::vector<int> sockets = c.prepare(portFile);
        std::string port;
        if (fs::is_regular_file(portFile)) {
            std::ifstream(portFile) >> port;
        }
        CtlRun run = RunCtl(home.Path(), c.args);
        EXPECT_EQ(run.exitCode, 3) << run.err;
        for (std::string text : c.says) {
            for (const auto& [name, value] :
                 {std::pair<std::string, std::string>{"PORTFILE", portFile},
                  {"PORT", port},
                  {"HOME", home.Path()}}) {
                if (size_t at = text.find(name); at != std::string::npos) {
                    text.replace(at, name.size(), value);
                }
            }
            EXPECT_NE(run.err.find(text), std::string::npos) << text << "\nin: " << run.err;
        }
        for (int fd : sockets) {
            ::close(fd);
        }
    }
}
