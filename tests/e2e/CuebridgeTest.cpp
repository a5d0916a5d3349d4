// The real plug-in inside the simulated host as a child process, driven as the controller
// service drives it through the client's own Session and Connection: what only a whole
// process shows. A strict conversation (also the test ./run test runs under valgrind's
// memcheck, through CUEBRIDGE_HOST_WRAPPER), start-up faults, signals, abuse of every kind
// and a soak. CUEBRIDGE_SOAK_SCALE divides the soak's counts (sanitizers).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <thread>

#include "Loopback.h"
#include "PluginProcess.h"

using hostsim::HostProcess;
using nlohmann::json;
using testkit::Controller;
using testkit::PluginProcess;
using namespace std::chrono_literals;
namespace ctl = Cuebridge::Ctl;

namespace {

constexpr const char* kNoIdleHookError =
    "SCRIPT ERROR: the plug-in cannot run scripts: its idle hook is not registered";
constexpr const char* kEffectsList = "ADBE Glo2|Glow|Stylize*|*Test Bar|A|B|Über*|*";

int Scaled(int count, int minimum = 10) {
    const char* text = std::getenv("CUEBRIDGE_SOAK_SCALE");
    return std::max(minimum, count / (text ? std::max(1, std::atoi(text)) : 1));
}

std::string RandomBytes(std::size_t size) {
    std::mt19937 generator(7);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// The plug-in's lasting promises: only the Utility suite it keeps for its life is held, no
// handle is left, no host call came from the wrong thread.
void ExpectClean(const json& state) {
    EXPECT_EQ(state["thread_violations"]["count"], 0) << state["thread_violations"].dump();
    EXPECT_EQ(state["mem_handles_outstanding"], 0);
    EXPECT_EQ(state["bad_mem_handles"], 0);
    EXPECT_EQ(state["unmatched_releases"], 0);
    EXPECT_EQ(state["suites_held"],
              json::parse(R"([{"name":"AEGP Utility Suite","version":13,"count":1}])"));
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
    std::string effects;
    testkit::WaitFor("the effects list the start-up job stores", [&] {
        return (effects = plugin.Talk({"E|GetInstalledAfterEffectEffects|"})) != "E|";
    });
    EXPECT_EQ(effects, std::string("E|") + kEffectsList);
    EXPECT_EQ(plugin.Talk(
                  {"1|Script|var a = [1, 2, 3]; for (var i = 0; i < 3; i++) a[i] *= 2; a.join('|')",
                   "2|Script|nosuch + 1"}),
              "1|2|4|62|SCRIPT ERROR: ReferenceError: identifier 'nosuch' undefined (line 1)");

    std::vector<std::string> work;
    for (int i = 0; i < 200; ++i) work.push_back("c|ExecuteCommand|" + std::to_string(10000 + i));
    work.insert(work.end(), {"6|InfoPanelCommand|SetInfoText", "5|NavigateCommand|First",
                             "5|NavigateCommand|Next"});
    EXPECT_EQ(plugin.Settle(work), "");
    json state = host.State();
    EXPECT_EQ(state["commands_run"].size(), 200u);  // each once, in order: the pipelined soak
    EXPECT_EQ(state["info"]["line1"], "Lorem ipsum");
    EXPECT_EQ(state["active_item"], 3);

    std::string garbage = RandomBytes(64 << 10);
    std::erase(garbage, '\n');
    std::erase(garbage, '\0');
    EXPECT_EQ(plugin.Talk({garbage, "|||", "", "9|GetAfterEffectLanguage"}), "9|de_DE");
    plugin.SendAndLeave("10|Script|var t = +new Date(); while (+new Date() - t < 200) {} 'slow'\n",
                        50ms);
    EXPECT_EQ(plugin.Talk({"11|Script|6 * 7"}), "11|42");
    ExpectClean(host.State());
    EXPECT_EQ(host.Quit(), 0);
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
        EXPECT_EQ(state["alerts"], json::array({"Marlune : Could not register command hook."}));
        EXPECT_EQ(state["hooks"], c.hooks);
        EXPECT_EQ(state["entry_point_result"], 1);
        // No start-up job without an idle hook: the list stays empty. A script is refused
        // at once, the empty one still marks the end of the replies, and work that could
        // never run is not queued: no idle call is even asked for.
        EXPECT_EQ(plugin.Talk({"L|GetAfterEffectLanguage|", "E|GetInstalledAfterEffectEffects|",
                               "3|ExecuteCommand|2004", "6|InfoPanelCommand|SetInfoText",
                               "S|Script|1", "L|GetAfterEffectLanguage|"}),
                  std::string("L|en_USE|S|") + kNoIdleHookError + "L|en_US");
        state = plugin.Host().State();
        EXPECT_EQ(state["commands_run"], json::array());
        EXPECT_EQ(state["info"]["line1"], "");
        EXPECT_EQ(state["idle_calls"], 0);
        EXPECT_TRUE(plugin.Host().Calls("AEGP_CauseIdleRoutinesToBeCalled").empty());
        plugin.SendAndLeave("");  // the next controller is served
        EXPECT_EQ(plugin.Talk({"T|Script|2"}), std::string("T|") + kNoIdleHookError);
        EXPECT_EQ(plugin.Host().Quit(), 0);
    }
}

// The host's script call fails and gives no error text: the reply is a script error that
// names the host's code, never an empty success.
TEST(CuebridgeProcess, AScriptCallThatFailsWithoutATextIsAScriptError) {
    PluginProcess plugin({"--script-call-error", "5"});
    EXPECT_EQ(plugin.Talk({"1|Script|6 * 7"}),
              "1|SCRIPT ERROR: the host's script call failed with error 5");
    ExpectClean(plugin.Host().State());
}

// Trace lines reach standard output as they are traced: the host is killed after the
// exchanges, so only lines already written can be read. Without an idle hook, work that
// could never run is dropped with one trace line per connection.
TEST(CuebridgeProcess, TraceLinesAreWrittenAtOnceAndDroppedWorkIsTracedOncePerConnection) {
    HostProcess host(HOSTSIM_PATH, {"--plugin", CUEBRIDGE_PLUGIN_PATH, "--fail-register", "idle"},
                     false, {}, {"enabletraces"});
    // The console answers once the entry point has returned: only then is the missing idle
    // hook known, and work sent earlier is queued and then dropped with a different line.
    host.State();
    int port = -1;
    for (int connection = 0; connection < 2; ++connection) {
        Controller controller;
        ASSERT_GT(port = controller.Connect(host, port), 0);
        EXPECT_EQ(controller.Ask("1|ExecuteCommand|1\n2|NavigateCommand|Next\n3|ExecuteCommand|3\n"
                                 "q|GetAfterEffectLanguage\n",
                                 "q|en_US"),
                  "q|en_US");
    }
    host.Signal(SIGKILL);
    host.WaitExit();
    int replies = 0;
    int dropped = 0;
    while (const auto line = host.ReadLine(2s)) {
        replies += *line == "Sending 7 bytes\r";
        dropped += line->find("work for the host is dropped") != std::string::npos;
    }
    EXPECT_EQ(replies, 2);
    EXPECT_EQ(dropped, 2);
}

TEST(CuebridgeProcess, EndsOnSignalOrQuitDuringAnEndlessScriptOrAtItsDeadline) {
    // 0: "quit" on the console, which the main thread cannot read while the script runs;
    // -1: the --exit-after-ms deadline passing while it runs. The script loops in the engine
    // or in slow built-in calls.
    for (const int signal : {SIGINT, SIGTERM, 0, -1})
        for (const std::string script :
             {"while (true) {}", "var a = []; while (true) a.push(new Array(100000).join('x'))"}) {
            SCOPED_TRACE(std::to_string(signal) + " " + script);
            PluginProcess plugin(signal == -1 ? std::vector<std::string>{"--exit-after-ms", "1000"}
                                              : std::vector<std::string>{});
            plugin.SendAndLeave("1|Script|" + script + "\n", 100ms);
            if (signal == -1) {
                EXPECT_EQ(plugin.Host().WaitExit(5s), 0);
            } else if (signal == 0) {
                EXPECT_EQ(plugin.Host().Quit(5s), 0);
            } else {
                plugin.Host().Signal(signal);
                EXPECT_EQ(plugin.Host().WaitExit(5s), 0);
            }
        }
    PluginProcess plugin({"--exit-after-ms", "300"});
    plugin.Host().CloseStdin();  // the end of the console's input ends nothing
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(plugin.Host().Running());
    EXPECT_EQ(plugin.Host().WaitExit(10s), 0);
}

// A journal that cannot be written (a full disk; a pipe whose reader left) is said on stderr
// while the host runs, and in its exit code; the host's own messages never go into the
// journal, even when it was started with its standard descriptors closed.
TEST(CuebridgeProcess, AJournalThatLosesRecordsIsSaidAndHoldsOnlyRecords) {
    const std::string folder = hostsim::MakeTempDir("cuebridge-journal-");
    const std::string fifo = folder + "/journal.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& journal : {std::string("/dev/full"), fifo}) {
        SCOPED_TRACE(journal);
        int reader = journal == fifo ? open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
        HostProcess host(HOSTSIM_PATH, {"--plugin", CUEBRIDGE_PLUGIN_PATH, "--journal", journal});
        EXPECT_FALSE(host.State().empty());
        if (reader >= 0) close(reader);
        host.Ask("command 2004");  // a command hook call: one more record
        testkit::WaitFor("the lost journal said on stderr", [&] {
            return host.Stderr().find("journal " + journal + ": cannot be written") !=
                   std::string::npos;
        });
        EXPECT_EQ(host.Quit(), 5);
        EXPECT_NE(host.Stderr().find("record(s) lost"), std::string::npos) << host.Stderr();
    }
    hostsim::RemoveTree(folder);
    HostProcess host("/bin/sh",
                     {"-c", R"(exec "$0" "$@" <&- >&- 2>&-)", HOSTSIM_PATH, "--plugin",
                      CUEBRIDGE_PLUGIN_PATH, "--exit-after-ms", "300"},
                     true);
    EXPECT_EQ(host.WaitExit(), 0);
    const auto lines = host.Journal();
    EXPECT_FALSE(lines.empty());
    for (const auto& line : lines) EXPECT_TRUE(line.is_object()) << line.dump();
}

// ---- abuse and soak -------------------------------------------------------------------------

class Reliability : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(ExpectServesNewConnection("warm")); }

    // A fresh connection, to the port published after the last one used, is served.
    void ExpectServesNewConnection(const std::string& tag) {
        Controller controller;
        ASSERT_GT(port_ = controller.Connect(host_, port_), 0) << "no port published";
        EXPECT_EQ(controller.Ask(tag + "|GetAfterEffectLanguage\n", tag + "|en_US"),
                  tag + "|en_US");
        EXPECT_EQ(controller.Ask(tag + "|Script|6 * 7\n", tag + "|42"), tag + "|42");
    }
    static void ExpectOnlyAnswer(Controller& controller, const std::string& tag) {
        EXPECT_EQ(controller.Ask(tag + "|GetAfterEffectLanguage\n", tag + "|en_US"),
                  tag + "|en_US");
        EXPECT_TRUE(controller.Quiet());
    }
    // Clean, and the main thread still answers and calls the idle hook.
    void ExpectHostHealthy() {
        const json state = host_.State();
        ASSERT_FALSE(state.empty()) << "the main thread does not answer\n" << host_.Stderr();
        ExpectClean(state);
        EXPECT_GT(state["idle_calls"].get<long>(), idleCalls_) << "the idle hook stopped";
        idleCalls_ = state["idle_calls"].get<long>();
    }
    // Open descriptors and resident KiB, taken while listening between connections.
    std::pair<int, long> Footprint() {
        EXPECT_TRUE(host_.WaitForPort(testkit::Deadline(), port_)) << "no port file to measure";
        const std::string proc = "/proc/" + std::to_string(host_.Pid());
        const auto fds = std::filesystem::directory_iterator(proc + "/fd");
        std::ifstream status(proc + "/status");
        std::string line;
        while (std::getline(status, line) && !line.starts_with("VmRSS:")) {
        }
        return {static_cast<int>(std::distance(begin(fds), end(fds))),
                line.empty() ? -1 : std::atol(line.c_str() + 6)};
    }

    HostProcess host_{HOSTSIM_PATH, {"--plugin", CUEBRIDGE_PLUGIN_PATH}, true};
    int port_ = -1;  // of the last connection used
    long idleCalls_ = -1;
};

TEST_F(Reliability, AbuseOfEveryKindLeavesTheHostHealthyAndNothingRunsUnasked) {
    const struct {
        const char* name;
        std::function<void(Controller&)> act;
    } abuses[] = {
        {"4 MiB of random bytes", [](Controller& c) { c.Send(RandomBytes(4 << 20)); }},
        {"1 MiB of zero bytes", [](Controller& c) { c.Send(std::string(1 << 20, '\0')); }},
        {"an 8 MiB line, then a query",
         [](Controller& c) {
             c.Send(std::string(8 << 20, 'A'));
             std::this_thread::sleep_for(100ms);
             c.Send("\n");
             ExpectOnlyAnswer(c, "long");
         }},
        {"10,000 empty lines and lines of bars, then a query",
         [](Controller& c) {
             c.Send(std::string(10000, '\n') + "|\n||\n|||\n" + std::string(100000, '|') + "\n");
             ExpectOnlyAnswer(c, "bars");
         }},
        {"a disconnect in the middle of a message",
         [](Controller& c) { c.Send("5|ExecuteComm"), c.Close(); }},
    };
    const json before = host_.State();
    for (const auto& abuse : abuses) {
        SCOPED_TRACE(abuse.name);
        {
            Controller controller;
            ASSERT_GT(port_ = controller.Connect(host_, port_), 0);
            abuse.act(controller);
        }
        ASSERT_NO_FATAL_FAILURE(ExpectServesNewConnection("after"));
        ASSERT_NO_FATAL_FAILURE(ExpectHostHealthy());
    }
    const json after = host_.State();
    EXPECT_EQ(after["commands_run"], json::array());
    EXPECT_EQ(after["info"], before["info"]);
    EXPECT_EQ(after["items"], before["items"]) << "the selection changed";
    auto calls = host_.CallCounts();
    // The start-up job's effects script, the warm-up's and one after each abuse.
    EXPECT_EQ(calls["AEGP_ExecuteScript"], static_cast<int>(2 + std::size(abuses)));
    EXPECT_EQ(calls["AEGP_SelectItem"], 0);
    EXPECT_EQ(host_.Quit(), 0) << host_.Stderr();  // under tsan: a race at exit fails here
}

// Two rounds of the same pipeline, with connect/disconnect cycles between them: the first
// round lifts the queues and the allocators to their working size, the rest must not grow
// the host any further.
TEST_F(Reliability, PipelinedCommandsRunOnceInOrderOnTheMainThreadAndTheHostStaysFlat) {
    const int commands = Scaled(20000, 100);
    constexpr int kFirst = 10000;  // clear of the numbers the plug-in acts on itself
    std::pair<int, long> before;
    for (int round = 0; round < 2; ++round) {
        std::string pipeline;
        for (int i = 0; i < commands; ++i)
            pipeline += std::to_string(i) + "|ExecuteCommand|" +
                        std::to_string(kFirst + round * commands + i) + "\n";
        Controller controller;
        ASSERT_GT(port_ = controller.Connect(host_, port_), 0);
        controller.Send(pipeline);
        // Waits on the journal, not the console: a state listing thousands of commands
        // would itself grow the host's memory before it is measured.
        const auto total = static_cast<std::size_t>((round + 1) * commands);
        ASSERT_TRUE(testkit::WaitFor(
            std::to_string(total) + " AEGP_DoCommand lines in the journal",
            [&] { return host_.Calls("AEGP_DoCommand").size() >= total; }, 10s));
        std::this_thread::sleep_for(300ms);  // a command run twice would show up now
        EXPECT_TRUE(controller.Quiet()) << "menu commands are not answered";
        controller.Close();
        if (round > 0) break;
        // The answer to "state" lists every command run, and building it moves the resident
        // set: the baseline is taken after one, the end measure before one.
        ASSERT_NO_FATAL_FAILURE(ExpectHostHealthy());
        before = Footprint();
        for (int i = 0; i < Scaled(1000); ++i) {
            Controller cycle;
            ASSERT_GT(port_ = cycle.Connect(host_, port_), 0) << "cycle " << i;
            if (i % 100 == 0) ExpectOnlyAnswer(cycle, "c" + std::to_string(i));
        }
    }
    ASSERT_NO_FATAL_FAILURE(ExpectServesNewConnection("end"));
    const auto after = Footprint();
    ASSERT_NO_FATAL_FAILURE(ExpectHostHealthy());
    // Allocator slack, not a leak: a few hundred bytes per command would exceed it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr long kSlackKiB = 64 * 1024;  // sanitizer quarantines and shadow memory
#else
    constexpr long kSlackKiB = 4 * 1024;
#endif
    EXPECT_EQ(after.first, before.first) << "open descriptors";
    EXPECT_LE(after.second - before.second, kSlackKiB) << before.second << " KiB before";
    std::printf("[ figures ] descriptors %d -> %d, resident %ld KiB -> %ld KiB\n", before.first,
                after.first, before.second, after.second);
    const auto run = host_.Calls("AEGP_DoCommand");
    ASSERT_EQ(run.size(), static_cast<std::size_t>(2 * commands));
    int outOfPlace = 0;
    for (int i = 0; i < 2 * commands; ++i)
        outOfPlace += run[i]["args"]["command"] != kFirst + i || run[i]["thread"] != "main";
    EXPECT_EQ(outOfPlace, 0) << "commands lost, repeated, out of order or off the main thread";
}

// Two controllers race for one listen cycle: A sends a command and closes, B connects at
// once (a single attempt) and sends one too. B may be refused, which tells it that nothing
// was delivered; a connection let in behind A is served after it. What can still be lost
// is a connect whose handshake the system finishes in the instant between the plug-in's
// last look at the queue and the listener's close (seen only on a loaded machine): at
// most a few in a hundred rounds under load, where the old queue lost nearly every B.
TEST_F(Reliability, RacingControllerIsServedOrRefusedRarelyDropped) {
    constexpr int kRounds = 300;
    std::set<int> sent;  // the commands whose connect and send succeeded
    int refused = 0;
    for (int round = 0; round < kRounds; ++round) {
        Controller a;
        ASSERT_GT(port_ = a.Connect(host_, port_), 0) << "round " << round;
        a.Send("a|ExecuteCommand|" + std::to_string(100000 + round) + "\n");
        sent.insert(100000 + round);
        a.Close();
        const int b = ConnectTo(port_, 20);  // one attempt: a dropped SYN would retry after 1 s
        const std::string line = "b|ExecuteCommand|" + std::to_string(200000 + round) + "\n";
        if (b >= 0 && send(b, line.data(), line.size(), MSG_NOSIGNAL) == ssize_t(line.size()))
            sent.insert(200000 + round);
        else
            ++refused;
        if (b >= 0) close(b);
    }
    const auto ran = [&] {
        std::set<int> commands;
        for (const auto& line : host_.Calls("AEGP_DoCommand"))
            commands.insert(line["args"]["command"].get<int>());
        return commands;
    };
    // A few may be lost (below): at most 2 s more for the rest, and no failure.
    for (int i = 0; i < 100 && ran().size() < sent.size(); ++i) std::this_thread::sleep_for(20ms);
    const std::set<int> run = ran();
    std::vector<int> lost;
    std::set_difference(sent.begin(), sent.end(), run.begin(), run.end(), std::back_inserter(lost));
    std::printf("[ figures ] %d rounds: %zu commands sent, %d second connects refused, %zu lost\n",
                kRounds, sent.size(), refused, lost.size());
    // A handshake still under way when the listener closes can be lost on a loaded machine
    // (up to 10 in 300 rounds seen beside a sanitizer build); the old queue lost nearly all.
    EXPECT_LE(lost.size(), std::size_t{kRounds / 10})
        << "commands sent but never run, the first " << (lost.empty() ? 0 : lost.front());
    EXPECT_TRUE(std::includes(sent.begin(), sent.end(), run.begin(), run.end()));
    EXPECT_EQ(host_.Quit(), 0);
}
