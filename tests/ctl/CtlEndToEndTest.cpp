// cuebridge-ctl as a user runs it, against the simulated host with the real plug-in inside:
// what each sub-command prints and returns, replies whose bytes look like separators, a
// large result, usage errors, a plug-in that is gone, a script that outlives the time
// limit, the repl through a pipe, and the example controller scripts.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "Loopback.h"
#include "PluginProcess.h"
#include "PortFile.h"
#include "TempHome.h"

using hostsim::HostProcess;
using nlohmann::json;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct CtlRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built cuebridge-ctl with HOME set to `home` and `input` on standard input; the
// standard streams go through files under that home, so nothing can fill a pipe. Its
// timeout is a few seconds unless the arguments give one.
CtlRun RunCtl(const std::string& home, std::vector<std::string> args,
              const std::string& input = {}) {
    if (std::find(args.begin(), args.end(), "--timeout-ms") == args.end())
        args.insert(args.begin(), {"--timeout-ms", std::to_string(testkit::Deadline(2s).count())});
    const auto quoted = [](std::string text) {
        for (auto at = text.find('\''); at != std::string::npos; at = text.find('\'', at + 4))
            text.replace(at, 1, "'\\''");
        return "'" + text + "'";
    };
    const std::string stem = home + "/.ctl-run";
    std::ofstream(stem + ".in", std::ios::binary) << input;
    std::string command = "HOME=" + quoted(home) + " " + quoted(CUEBRIDGE_CTL_PATH);
    for (const auto& arg : args) command += " " + quoted(arg);
    command +=
        " <" + quoted(stem + ".in") + " >" + quoted(stem + ".out") + " 2>" + quoted(stem + ".err");
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(stem + ".out"),
            ReadFile(stem + ".err")};
}

// One simulated host with the plug-in, the kit's effects and a script time limit of its own
// (so that an endless script ends eventually), listening before the test starts.
class CtlEndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_GT(plugin_.Port(), 0); }
    CtlRun Ctl(const std::vector<std::string>& args, const std::string& input = {}) {
        return RunCtl(host_.Home(), args, input);
    }

    testkit::PluginProcess plugin_{{"--script-timeout-ms", "1500"}};
    HostProcess& host_ = plugin_.Host();
};

}  // namespace

TEST_F(CtlEndToEnd, SubCommandsPrintTheRepliesByteForByteAndExitByOutcome) {
    testkit::WaitFor("the effects list the start-up job stores", [&] {
        return Ctl({"effects", "--raw"}).out != "\n";
    });
    std::ofstream(host_.Home() + "/test.jsx") << "'a' + String.fromCharCode(13) + 'b';\r\n";
    const struct {
        std::vector<std::string> args;
        std::string input, out;
        int exitCode = 0;
        std::string err = {};  // a part of standard error
    } cases[] = {
        {{"language"}, "", "en_US\n"},
        {{"effects", "--raw"}, "", "ADBE Glo2|Glow|Stylize*|*Test Bar|A|B|Über*|*\n"},
        {{"--verbose", "send", "q7|GetAfterEffectLanguage|"},
         "",
         "q7|en_US\n",
         0,
         ">> q7|GetAfterEffectLanguage|\\n"},
        {{"script", "'a|b' + '|c'"}, "", "a|b|c\n"},
        {{"script", "'one\\ntwo\\n\\n'"}, "", "one\ntwo\n\n\n"},
        {{"script", "'Été ✓ 日本語 🎬'"}, "", "Été ✓ 日本語 🎬\n"},
        {{"script", "''"}, "", "\n"},
        // Line ends in the source travel as carriage returns, which the engine reads as such.
        {{"script", "-"}, "var a = 'p|q'; // a comment\r\nvar b = '*|*';\na + b\n", "p|q*|*\n"},
        {{"script", "-f", host_.Home() + "/test.jsx"}, "", "a\rb\n"},
        {{"send", "r|Script|'in|side'"}, "", "r|in|side\n"},
        {{"script", "nosuch()"},
         "",
         "",
         1,
         "script error: ReferenceError: identifier 'nosuch' undefined (line 1)\n"},
        // A reply past the bound it buffers: nothing printed, and an exit code of its own. The
        // 1.5 MiB text is made by doubling, quick under every sanitizer (a 2^18-element join
        // takes 2.5 s under tsan, past the host's script timeout).
        {{"--max-reply-mib", "1", "script",
          "for (var s = 'a|b*|*'; s.length <= 1 << 20; s += s); s"},
         "",
         "",
         5,
         "the reply exceeded 1 MiB"},
        {{"command", "2004"}, "", ""},
        {{"info", "SetInfoText"}, "", ""},
        {{"navigate", "Next"}, "", ""},  // the item after the active one (2)
    };
    for (const auto& c : cases) {
        const CtlRun run = Ctl(c.args, c.input);
        ASSERT_NE(run.exitCode, 4)
            << c.args.back() << " timed out (the cases after it would too): " << run.err;
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.back() << ": " << run.err;
        EXPECT_EQ(run.out, c.out) << c.args.back();
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    const json effects = json::parse(Ctl({"effects", "--json"}).out, nullptr, false);
    EXPECT_EQ(effects, json::parse(testkit::PluginProcess::kEffectsJson));
    const json state = host_.StateWhen([](const json& s) { return s["active_item"] == 3; });
    EXPECT_EQ(state["commands_run"], json::parse(R"([{"command": 2004, "source": "plugin"}])"));
    EXPECT_EQ(state["info"]["line1"], "Lorem ipsum");
    EXPECT_EQ(state["active_item"], 3);
}

TEST_F(CtlEndToEnd, ScriptPastTheTimeoutExitsFourAndThePluginRecovers) {
    CtlRun run = Ctl({"--timeout-ms", "300", "script", "while (true) {}"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_NE(run.err.find("timed out after 300 ms"), std::string::npos) << run.err;
    // The host stops the script after its own limit; the plug-in then listens again.
    CtlRun wait = Ctl({"wait", "--timeout-ms", std::to_string(testkit::Deadline().count())});
    EXPECT_EQ(wait.exitCode, 0) << wait.err;
    CtlRun language = Ctl({"language"});
    EXPECT_EQ(language.exitCode, 0) << language.err;
    EXPECT_EQ(language.out, "en_US\n");
}

TEST_F(CtlEndToEnd, WaitsWithinTheTimeoutWhileAnotherControllerHoldsThePlugin) {
    testkit::Controller holder;
    ASSERT_GT(holder.Connect(host_), 0);
    // Held for longer than a missing port file is waited for, released well within the timeout.
    std::thread release([&holder] {
        std::this_thread::sleep_for(2500ms);
        holder.Close();
    });
    CtlRun served =
        Ctl({"--timeout-ms", std::to_string((testkit::Deadline() + 2500ms).count()), "language"});
    release.join();
    EXPECT_EQ(served.exitCode, 0) << served.err;
    EXPECT_EQ(served.out, "en_US\n");
}

TEST_F(CtlEndToEnd, ReplThroughAPipe) {
    const std::string input =
        "language\n"
        "script 'a|b*|*c'\n"
        "script nosuch()\n"
        "bogus\n"
        "command 2004\n"
        "script app.project.numItems\n"
        "send 5|GetAfterEffectLanguage|\n"
        "quit\n";
    CtlRun run = Ctl({"repl"}, input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "en_US\na|b*|*c\n6\n5|en_US\n");
    EXPECT_NE(
        run.err.find("script error: ReferenceError: identifier 'nosuch' undefined (line 1)\n"),
        std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("unknown request 'bogus'"), std::string::npos) << run.err;
}

TEST(CtlWithoutPlugin, UsageErrorsExitTwoBeforeLookingForThePlugin) {
    TempHome home;  // no port file: a request that went out would exit 3
    const std::vector<std::string> cases[] = {
        {},
        {"command", "twelve"},
        {"command", "-5"},
        {"info", "SetInfoFont"},
        {"navigate", "Last"},
        {"script"},
        {"script", ""},
        {"script", "-f", home.Path() / "missing.jsx"},
        {"effects", "--raw", "--json"},
        {"send", "a\nb"},
        {"--port", "0", "language"},
    };
    for (const std::vector<std::string>& args : cases) {
        const CtlRun run = RunCtl(home.Path(), args);
        EXPECT_EQ(run.exitCode, 2) << (args.empty() ? "(none)" : args.back()) << ": " << run.err;
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_NE(RunCtl(home.Path(), {"frobnicate"})
                  .err.find("unknown sub-command 'frobnicate'; the sub-commands are: wait, "
                            "language, effects, script, command, info, navigate, send, repl"),
              std::string::npos);
}

namespace {

// What a case sets up at the port file's path; the sockets it returns are closed after the run.
using Prepare = std::function<std::vector<int>(const std::string& portFile)>;

std::vector<int> Nothing(const std::string&) { return {}; }

// A loopback socket bound to a free port (`port`), named by a new port file.
int PublishedSocket(const std::string& portFile, int& port) {
    fs::create_directories(fs::path(portFile).parent_path());
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    std::ofstream(portFile) << (port = ntohs(address.sin_port));
    return fd;
}

}  // namespace

TEST(CtlWithoutPlugin, ExitsThreeAndSaysWhatItWaitedFor) {
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
        // The folders a person makes by hand are there; the plug-in's own is not, yet.
        {{"wait", "--timeout-ms", "200"},
         [](const std::string& portFile) {
             fs::create_directories(fs::path(portFile).parent_path().parent_path());
             return std::vector<int>{};
         },
         {"no port file at PORTFILE yet: no plug-in has published its port under this"}},
        {language,
         [](const std::string& portFile) {
             fs::create_directories(fs::path(portFile).parent_path());
             return std::vector<int>{};
         },
         {"no port file at PORTFILE (its folder is there: a plug-in ran under this"}},
        // A FIFO is not read, so it cannot block the client.
        {language,
         [](const std::string& portFile) {
             fs::create_directories(fs::path(portFile).parent_path());
             ::mkfifo(portFile.c_str(), 0600);
             return std::vector<int>{};
         },
         {"PORTFILE is not a regular file"}},
        // A port no socket holds: the plug-in that wrote the file is gone or busy with an
        // earlier controller's request, said at once however long the timeout (no waiting figure).
        {{"--timeout-ms", "60000", "language"},
         [](const std::string& portFile) {
             int port;
             ::close(PublishedSocket(portFile, port));
             // Five minutes old, so that the age said cannot tick over while the test runs.
             fs::last_write_time(portFile, fs::file_time_type::clock::now() - 5min);
             return std::vector<int>{};
         },
         {"nothing on this machine listens on port PORT, named by the port file PORTFILE "
          "(written 5 min ago): the plug-in that wrote it is not running, or is still busy with "
          "an earlier request"}},
        // A port held through a connection (a plug-in serving another controller): waited for
        // until the timeout, and after a second the user is told why.
        {{"--timeout-ms", "1500", "language"},
         [](const std::string& portFile) {
             int port;
             int listener = PublishedSocket(portFile, port);
             ::listen(listener, 1);
             int controller = ConnectTo(port);
             int served = ::accept(listener, nullptr, nullptr);
             ::close(listener);
             return std::vector<int>{controller, served};
         },
         {"waiting for another controller to let go of the plug-in (port PORT", "waited 1",
          "for port PORT named by PORTFILE", "refused every attempt"}},
        // A listener whose queue is full leaves the connect pending: the timeout still holds.
        {language,
         [](const std::string& portFile) {
             int port;
             int listener = PublishedSocket(portFile, port);
             ::listen(listener, 0);
             return std::vector<int>{listener, ConnectTo(port)};
         },
         {"waited 3", "for port PORT named by PORTFILE", "still pending"}},
    };
    for (const Case& c : cases) {
        TempHome home;
        const std::string portFile = Cuebridge::Ctl::PortFilePath(home.Path());
        const std::string homePath = home.Path();
        const std::vector<int> sockets = c.prepare(portFile);
        std::string port;
        if (fs::is_regular_file(portFile)) std::ifstream(portFile) >> port;
        CtlRun run = RunCtl(home.Path(), c.args);
        EXPECT_EQ(run.exitCode, 3) << run.err;
        for (std::string text : c.says) {
            for (const auto& [name, value] :
                 {std::pair<std::string, std::string>{"PORTFILE", portFile},
                  {"PORT", port},
                  {"HOME", homePath}}) {
                if (size_t at = text.find(name); at != std::string::npos)
                    text.replace(at, name.size(), value);
            }
            EXPECT_NE(run.err.find(text), std::string::npos) << text << "\nin: " << run.err;
        }
        for (int fd : sockets) ::close(fd);
    }
}

TEST(CtlEndToEndScriptErrors, AreErrorsForEverySubCommand) {
    // Every script fails, the start-up script that lists the effects included.
    testkit::PluginProcess plugin({"--script-error", "boom"});
    ASSERT_GT(plugin.Port(), 0);
    HostProcess& host = plugin.Host();
    const std::vector<std::string> cases[] = {
        {"effects"},     {"effects", "--json"},  {"effects", "--raw"},
        {"script", "1"}, {"send", "s|Script|1"},
    };
    for (const std::vector<std::string>& args : cases) {
        CtlRun run;
        // The effects list is stored at the host's first idle calls.
        testkit::WaitFor("an answer that holds the script error", [&] {
            run = RunCtl(host.Home(), args);
            return run.exitCode != 0 || run.out.find("boom") != std::string::npos;
        });
        EXPECT_EQ(run.exitCode, 1) << args[0] << ": " << run.out;
        EXPECT_EQ(run.out, "") << args[0];
        EXPECT_NE(run.err.find("boom"), std::string::npos) << args[0] << ": " << run.err;
    }
    EXPECT_EQ(RunCtl(host.Home(), {"language"}).exitCode, 0);
}

// The controller scripts of examples/scripts, sent one after another with cuebridge-ctl to
// the real plug-in in a host with the built-in project (Main Comp in the viewer at 0 s, its
// Title layer selected): each one's reply, and the changes it made to the host's model (the
// journal's HostModel records since the script before).
TEST(CtlExampleScripts, EachRepliesAndChangesTheHostAsAControllerExpects) {
    HostProcess host(HOSTSIM_PATH, {"--plugin", CUEBRIDGE_PLUGIN_PATH}, true);
    ASSERT_TRUE(host.WaitForPort(20s).has_value()) << host.Stderr();
    constexpr const char* kOpacity =
        R"("comp":2,"layer":1,"property":"ADBE Transform Group/ADBE Opacity")";
    const auto undo = [](const std::string& name, const std::string& inner) {
        return R"([{"change":"undo group opened","name":")" + name + R"("},)" + inner +
               R"(,{"change":"undo group closed","name":")" + name + R"("}])";
    };
    const auto time = [](const char* from, const char* to, const char* by = "script") {
        return std::string(R"([{"change":"time","comp":2,"from":)") + from + R"(,"to":)" + to +
               R"(,"by":")" + by + R"("}])";
    };
    constexpr const char* kTitleOnTop =
        "var c = app.project.activeItem, t = c.layer('Title'); t.moveToBeginning(); "
        "for (var i = 1; i <= c.numLayers; i++) c.layer(i).selected = i === 1; "
        "if (t.effect.numProperties === 0) t.effect.addProperty('ADBE Gaussian Blur 2');";
    const struct {
        const char* script;
        std::string reply, changes;
        const char* setup = nullptr;  // a script run first, its changes not counted
        const char* output = "[]";    // the lines the script wrote, as the journal has them
    } cases[] = {
        {"jog-forward-1", "1", time("0", "0.04")},
        {"jog-forward-10", "11", time("0.04", "0.44")},
        {"jog-back-1", "10", time("0.44", "0.4")},
        {"jog-back-10", "0", time("0.4", "0")},
        {"nudge-opacity", "95",
         undo("Nudge Opacity",
              std::string(R"({"change":"value",)") + kOpacity + R"(,"value":95})")},
        {"nudge-rotation", "1",
         undo(
             "Nudge Rotation",
             R"({"change":"value","comp":2,"layer":1,"property":"ADBE Transform Group/ADBE Rotate Z","value":1})")},
        {"toggle-solo", "Title:true",
         R"([{"change":"switch","comp":2,"layer":1,"switch":"solo","to":true}])"},
        {"apply-effect", "1",
         undo(
             "Apply Gaussian Blur",
             R"({"change":"effect added","comp":2,"layer":1,"name":"Gaussian Blur","property":"ADBE Effect Parade/ADBE Gaussian Blur 2"})")},
        {"add-keyframe", "1",
         undo("Add Opacity Keyframe",
              std::string(R"({"change":"key added",)") + kOpacity + R"(,"time":0,"value":95})")},
        // Keyed now: the nudge sets the key at the playhead.
        {"nudge-opacity", "90",
         undo("Nudge Opacity",
              std::string(R"({"change":"key set",)") + kOpacity + R"(,"time":0,"value":90})")},
        {"select-all-layers", "3",
         R"([{"change":"switch","comp":2,"layer":2,"switch":"selected","to":true},
             {"change":"switch","comp":2,"layer":3,"switch":"selected","to":true}])"},
        // The playhead at 0: Title's opacity key and Logo's first key are under it.
        {"select-keys-at-playhead", "2",
         std::string(R"([{"change":"key selected",)") + kOpacity +
             R"(,"key":1,"time":0,"to":true},
             {"change":"key selected","comp":2,"layer":2,"property":"ADBE Transform Group/ADBE Opacity","key":1,"time":0,"to":true}])"},
        {"move-layer-to-top", "Logo,Background,Title",
         undo("Move Layers to Top",
              R"({"change":"layer moved","comp":2,"layer":2,"to":1},
                 {"change":"layer moved","comp":2,"layer":3,"to":2})"),
         "app.project.activeItem.layer('Title').selected = false"},
        {"next-frame-command", "0.04", time("0", "0.04", "command")},
        {"active-comp-time", "Main Comp|0.04|25", "[]"},
        // Logo (on top now) has its opacity and both its keys selected; Title is not selected.
        {"ease-selected-keys", "2",
         undo(
             "Ease Selected Keys",
             R"({"change":"key ease","comp":2,"layer":1,"property":"ADBE Transform Group/ADBE Opacity","key":1,"time":0,"in":[[0,33.33]],"out":[[0,33.33]],"inType":"BEZIER","outType":"BEZIER"},
                 {"change":"key ease","comp":2,"layer":1,"property":"ADBE Transform Group/ADBE Opacity","key":2,"time":2,"in":[[0,33.33]],"out":[[0,33.33]],"inType":"BEZIER","outType":"BEZIER"})"),
         "var L = app.project.activeItem.layer('Logo'); L.transform.opacity.selected = true; "
         "L.transform.opacity.setSelectedAtKey(2, true)"},
        {"hold-keys", "2",
         undo(
             "Hold Keys",
             R"({"change":"key interpolation","comp":2,"layer":1,"property":"ADBE Transform Group/ADBE Opacity","key":1,"time":0,"in":"BEZIER","out":"HOLD"},
                 {"change":"key interpolation","comp":2,"layer":1,"property":"ADBE Transform Group/ADBE Opacity","key":2,"time":2,"in":"BEZIER","out":"HOLD"})")},
        // Title alone selected, on top, with an effect.
        {"toggle-effect", "Gaussian Blur:false",
         R"([{"change":"switch","comp":2,"layer":1,"property":"ADBE Effect Parade/ADBE Gaussian Blur 2","switch":"enabled","to":false}])",
         kTitleOnTop},
        {"duplicate-layer", "Title 2",
         undo("Duplicate Layers",
              R"({"change":"layer added","comp":2,"layer":1,"name":"Title 2"})"),
         kTitleOnTop},
        {"precompose-selected", "Title Comp|1",
         undo("Precompose",
              R"({"change":"item added","item":7,"type":"composition","name":"Title Comp"},
                 {"change":"layers precomposed","comp":2,"layers":[1],"item":7},
                 {"change":"layer added","comp":2,"layer":1,"name":"Title Comp"})"),
         kTitleOnTop},
        {"add-text-layer", "Now Playing",
         undo("Add Text Layer",
              R"({"change":"layer added","comp":2,"layer":1,"name":"Hello"},
                 {"change":"value","comp":2,"layer":1,"property":"ADBE Text Properties/ADBE Text Document","value":"Now Playing"})")},
        {"trim-layer-to-playhead", "Now Playing:2",
         undo("Trim Layers to Playhead",
              R"({"change":"layer time","comp":2,"layer":1,"attribute":"outPoint","to":2})"),
         "var c = app.project.activeItem; c.time = 2; "
         "for (var i = 1; i <= c.numLayers; i++) c.layer(i).selected = i === 1;"},
        // The third layer alone selected, the playhead at 0.04.
        {"add-marker-with-comment", "1",
         undo(
             "Add Marker",
             R"({"change":"marker set","comp":2,"layer":3,"property":"ADBE Marker","time":0.04,"comment":"Cue"})"),
         "var c = app.project.activeItem; c.time = 0.04; for (var i = 1; i <= c.numLayers; i++) "
         "c.layer(i).selected = i === 3"},
        {"work-area-from-playhead", "0.04|9.96",
         undo("Work Area From Playhead",
              R"({"change":"comp","comp":2,"attribute":"workAreaDuration","to":9.96},
                 {"change":"comp","comp":2,"attribute":"workAreaStart","to":0.04})")},
        {"log-selected-layers", "2", "[]",
         "var c = app.project.activeItem; for (var i = 1; i <= c.numLayers; i++) "
         "c.layer(i).selected = c.layer(i).name === 'Logo' || c.layer(i).name === 'Background'",
         R"([{"to":"console","text":"Selected: Logo"},
             {"to":"console","text":"Selected: Background"}])"},
        // The text layer and Logo selected: only the text layer changes.
        {"center-selected-text", "1",
         undo(
             "Center Text",
             R"({"change":"value","comp":2,"layer":1,"property":"ADBE Text Properties/ADBE Text Document","value":"Now Playing"})"),
         "var c = app.project.activeItem; for (var i = 1; i <= c.numLayers; i++) "
         "c.layer(i).selected = c.layer(i).name === 'Now Playing' || c.layer(i).name === 'Logo'"},
        // The top layer alone selected: the layer below becomes its alpha matte.
        {"matte-with-layer-below", "Title Comp",
         undo("Matte With Layer Below",
              R"({"change":"track matte","comp":2,"layer":1,"matte":2,"type":5013})"),
         "var c = app.project.activeItem; for (var i = 1; i <= c.numLayers; i++) "
         "c.layer(i).selected = i === 1"},
        {"zoom-viewer-in", "2", R"([{"change":"view option","view":0,"attribute":"zoom","to":2}])"},
        {"duplicate-active-comp", "Main Comp 2|5",
         undo(
             "Duplicate Composition",
             R"({"change":"item added","from":2,"item":8,"name":"Main Comp 2","type":"composition"})")},
        // Main Comp itself is selected too: the host refuses it, the script skips it.
        {"add-selected-item-to-comp", "Lower Third,Dark Gray Solid 1",
         undo("Add Items to Composition",
              R"({"change":"layer added","comp":2,"layer":1,"name":"Lower Third"},
                 {"change":"layer added","comp":2,"layer":1,"name":"Dark Gray Solid 1"})"),
         "var P = app.project; P.item(2).selected = true; P.item(5).selected = true; "
         "P.item(6).selected = true"},
        // Logo alone selected: one mask, inset by a tenth of its size, feathered.
        {"add-rectangle-mask", "1",
         undo(
             "Add Rectangle Mask",
             R"({"change":"mask added","comp":2,"layer":6,"name":"Mask 1","property":"ADBE Mask Parade/ADBE Mask Atom"},
                 {"change":"value","comp":2,"layer":6,"property":"ADBE Mask Parade/ADBE Mask Atom/ADBE Mask Shape","value":{"closed":true,"featherInterps":[],"featherRadii":[],"featherRelCornerAngles":[],"featherRelSegLocs":[],"featherSegLocs":[],"featherTensions":[],"featherTypes":[],"inTangents":[[0,0],[0,0],[0,0],[0,0]],"outTangents":[[0,0],[0,0],[0,0],[0,0]],"vertices":[[192,108],[1728,108],[1728,972],[192,972]]}},
                 {"change":"value","comp":2,"layer":6,"property":"ADBE Mask Parade/ADBE Mask Atom/ADBE Mask Feather","value":[20,20]})"),
         "var c = app.project.activeItem; for (var i = 1; i <= c.numLayers; i++) "
         "c.layer(i).selected = c.layer(i).name === 'Logo'"},
    };
    std::size_t seen = 0, written = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        if (c.setup) {
            ASSERT_EQ(RunCtl(host.Home(), {"script", c.setup}).exitCode, 0);
            seen = host.Calls("HostModel").size();
        }
        const auto run =
            RunCtl(host.Home(),
                   {"script", "-f", std::string(EXAMPLES_DIR "/scripts/") + c.script + ".jsx"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, c.reply + "\n") << run.err;
        json changes = json::array();
        const auto lines = host.Calls("HostModel");
        for (std::size_t i = seen; i < lines.size(); ++i) changes.push_back(lines[i]["args"]);
        seen = lines.size();
        EXPECT_EQ(changes, json::parse(c.changes));
        json output = json::array();
        const auto writes = host.Calls("Script.output");
        for (std::size_t i = written; i < writes.size(); ++i) output.push_back(writes[i]["args"]);
        written = writes.size();
        EXPECT_EQ(output, json::parse(c.output));
    }
    EXPECT_EQ(host.Quit(), 0);
}
