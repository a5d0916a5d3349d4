// The real plug-in inside the simulated host as a child process, driven as the controller
// service drives it, through the client's own Session: what only a whole process shows
// (start-up faults, signals, a strict run end to end). The conversation test is also the
// one ./run test runs under valgrind's memcheck (CUEBRIDGE_HOST_WRAPPER).
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <iostream>
#include <random>
#include <thread>

#include "HostProcess.h"
#include "Session.h"

using hostsim::HostProcess;
using nlohmann::json;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t kUnbounded = std::size_t{1} << 40;  // what a read may gather

constexpr const char* kAlert = "Marlune : Could not register command hook.";

// Three effects, one with a bar in its display name: records are copied unescaped.
constexpr const char* kEffectsJson = R"([
  {"matchName": "ADBE Glo2", "displayName": "Glow", "category": "Stylize"},
  {"matchName": "ADBE Gaussian Blur 2", "displayName": "Gaussian Blur", "category": "Blur & Sharpen"},
  {"matchName": "Test Bar", "displayName": "A|B", "category": "Über"}])";
constexpr const char* kEffectsList =
    "ADBE Glo2|Glow|Stylize*|*ADBE Gaussian Blur 2|Gaussian Blur|Blur & Sharpen*|*Test "
    "Bar|A|B|Über*|*";

// One simulated host with the plug-in, and the controller's session with it.
class PluginProcess {
public:
    explicit PluginProcess(std::vector<std::string> extra = {})
        : host_(HOSTSIM_PATH, Args(std::move(extra)), true) {}
    ~PluginProcess() {
        if (::testing::Test::HasFailure()) std::cerr << "host's stderr:\n" << host_.Stderr();
        hostsim::RemoveTree(files_);
    }

    HostProcess& Host() { return host_; }

    // Sends the lines and returns the replies to them (the session's end marker follows
    // them, so every reply before it has arrived).
    std::string Talk(const std::vector<std::string>& lines) {
        std::string joined;
        for (const auto& line : lines) joined += (joined.empty() ? "" : "\n") + line;
        if (!session_) {
            host_.WaitForPort(60s);  // a host under memcheck starts slowly
            session_.emplace(Cuebridge::Ctl::Target{std::nullopt, host_.PortFilePath()}, 60s);
        }
        const auto result = session_->Send(joined);
        EXPECT_EQ(result.outcome, Cuebridge::Ctl::Outcome::Ok) << result.detail;
        return result.reply;
    }

    // As Talk, and waits for the queued work too: a script's reply means an idle call ran,
    // but that call may have passed the other queues before the work arrived; the work
    // asked for an idle call of its own, which the host makes at the end of its next main
    // loop turn, so the second console answer after the reply comes after it.
    std::string Settle(std::vector<std::string> lines) {
        lines.push_back("#settle|Script|'settled'");
        std::string replies = Talk(lines);
        EXPECT_TRUE(replies.ends_with("#settle|settled")) << replies;
        host_.State();
        host_.State();
        return replies.substr(0, replies.size() - std::min(replies.size(), 15ul));
    }

    // The installed-effects reply once the start-up job has stored the list.
    std::string StoredEffects() {
        std::string reply = Talk({"E|GetInstalledAfterEffectEffects|"});
        for (int i = 0; i < 400 && reply == "E|"; ++i) {
            std::this_thread::sleep_for(50ms);
            reply = Talk({"E|GetInstalledAfterEffectEffects|"});
        }
        return reply;
    }

    // Bytes as they are, on a connection of their own (the session's is closed first, since
    // the plug-in serves one at a time) that is then closed.
    void SendAndLeave(const std::string& bytes, std::chrono::milliseconds linger = 0ms) {
        session_.reset();
        std::optional<Cuebridge::Ctl::Connection> connection;
        Cuebridge::Ctl::ConnectStatus status;
        int error = 0;
        for (int i = 0; i < 2000 && !connection; ++i) {  // the port file may still be the old one
            if (const auto port = host_.WaitForPort(20s))
                connection = Cuebridge::Ctl::Connection::Open(
                    *port, Cuebridge::Ctl::Clock::now() + 5s, status, error);
            if (!connection) std::this_thread::sleep_for(10ms);
        }
        ASSERT_TRUE(connection) << error;
        connection->Exchange(bytes, "", Cuebridge::Ctl::Clock::now() + 20s, kUnbounded);
        std::this_thread::sleep_for(linger);
    }

private:
    std::vector<std::string> Args(std::vector<std::string> extra) const {
        const std::string effects = files_ + "/effects.json";
        std::ofstream(effects) << kEffectsJson;
        std::vector<std::string> args = {"--plugin", CUEBRIDGE_PLUGIN_PATH, "--effects", effects};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    const std::string files_ = hostsim::MakeTempDir("cuebridge-e2e-");
    HostProcess host_;
    std::optional<Cuebridge::Ctl::Session> session_;
};

std::vector<int> SelectedIds(const json& state) {
    std::vector<int> ids;
    for (const auto& item : state["items"])
        if (item["selected"] == true) ids.push_back(item["id"]);
    return ids;
}

std::string RandomLine(std::size_t size) {
    std::mt19937 generator(7);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
    std::erase(bytes, '\n');
    std::erase(bytes, '\0');
    return bytes + "\n|||\n\n\n";
}

}  // namespace

// A whole strict session in which the host makes only the idle calls it is asked for:
// queries, the stored effects, scripts good and failing, pipelined menu, Info panel and
// project commands, garbage, and a controller that leaves while its script runs. No host
// call comes from the wrong thread (a strict host would exit with 3), every handle and
// suite is given back, and the host quits cleanly.
TEST(CuebridgeProcess, StrictConversationLeavesTheHostClean) {
    PluginProcess plugin({"--strict", "--language", "de_DE", "--idle-interval-ms", "3600000"});
    HostProcess& host = plugin.Host();
    EXPECT_EQ(plugin.Talk({"L|GetAfterEffectLanguage|", "x|GetAfterEffectLanguage"}),
              "L|de_DEx|de_DE");
    EXPECT_EQ(plugin.StoredEffects(), std::string("E|") + kEffectsList);
    EXPECT_EQ(plugin.Talk({"1|Script|[1, 2, 3].map(function (x) { return x * 2; }).join('|')",
                           "2|Script|nosuch + 1"}),
              "1|2|4|62|SCRIPT ERROR: ReferenceError: identifier 'nosuch' undefined (line 1)");

    std::vector<std::string> work;
    for (int i = 0; i < 200; ++i) work.push_back("c|ExecuteCommand|" + std::to_string(10000 + i));
    work.insert(work.end(), {"6|InfoPanelCommand|SetInfoText", "5|NavigateCommand|First",
                             "5|NavigateCommand|Next"});
    EXPECT_EQ(plugin.Settle(work), "");
    json state = host.State();
    ASSERT_EQ(state["commands_run"].size(), 200u);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(state["commands_run"][i], (json{{"command", 10000 + i}, {"source", "plugin"}}));
    EXPECT_EQ(state["info"]["line1"], "Lorem ipsum");
    EXPECT_EQ(SelectedIds(state), std::vector<int>{3});

    EXPECT_EQ(plugin.Talk({RandomLine(64 << 10) + "9|GetAfterEffectLanguage"}), "9|de_DE");
    plugin.SendAndLeave("10|Script|var t = Date.now(); while (Date.now() - t < 200) {} 'slow'\n",
                        50ms);
    EXPECT_EQ(plugin.Talk({"11|Script|6 * 7"}), "11|42");

    state = host.State();
    EXPECT_EQ(state["thread_violations"]["count"], 0) << state["thread_violations"].dump();
    EXPECT_EQ(state["mem_handles_outstanding"], 0);
    EXPECT_EQ(state["bad_mem_handles"], 0);
    EXPECT_EQ(state["unmatched_releases"], 0);
    EXPECT_EQ(state["suites_held"],
              json::parse(R"([{"name":"AEGP Utility Suite","version":13,"count":1}])"));
    EXPECT_EQ(host.Quit(60s), 0);
}

TEST(CuebridgeProcess, FailedHookRegistrationAlertsAndQueriesStillWork) {
    const struct {
        const char* hook;
        json hooks;  // what got registered before the failure
    } cases[] = {{"command", {{"command", 0}, {"menu", 0}, {"idle", 0}}},
                 {"menu", {{"command", 1}, {"menu", 0}, {"idle", 0}}},
                 {"idle", {{"command", 1}, {"menu", 1}, {"idle", 0}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hook);
        PluginProcess plugin({"--fail-register", c.hook});
        json state = plugin.Host().State();
        EXPECT_EQ(state["alerts"], json::array({kAlert}));
        EXPECT_EQ(state["hooks"], c.hooks);
        EXPECT_EQ(state["entry_point_result"], 1);
        // No start-up job without an idle hook: the list stays empty, nothing waits.
        EXPECT_EQ(plugin.Talk({"L|GetAfterEffectLanguage|", "E|GetInstalledAfterEffectEffects|",
                               "3|ExecuteCommand|2004", "6|InfoPanelCommand|SetInfoText",
                               "L|GetAfterEffectLanguage|"}),
                  "L|en_USE|L|en_US");
        plugin.Host().State();
        state = plugin.Host().State();
        EXPECT_EQ(state["commands_run"], json::array());
        EXPECT_EQ(state["info"]["line1"], "");
        EXPECT_EQ(state["idle_calls"], 0);
        // Whatever becomes of a script now, the host still ends on request.
        plugin.SendAndLeave("S|Script|1\n");
        EXPECT_EQ(plugin.Host().Quit(), 0);
    }
}

TEST(CuebridgeProcess, EndsOnSignalDuringAnEndlessScriptOrAtItsDeadline) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        PluginProcess plugin;
        plugin.SendAndLeave("1|Script|while (true) {}\n", 100ms);
        plugin.Host().Signal(signal);
        EXPECT_EQ(plugin.Host().WaitExit(5s), 0);
    }
    PluginProcess plugin({"--exit-after-ms", "300"});
    plugin.Host().CloseStdin();  // the end of the console's input ends nothing
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(plugin.Host().Running());
    EXPECT_EQ(plugin.Host().WaitExit(10s), 0);
}
