// The plug-in inside the simulated host, in one process: the real entry point is called
// once with the host's suites, the test thread is the host's main thread and pumps the idle
// calls the plug-in asks for, and requesters run on threads of their own as the socket
// thread would. Every test ends with no host call made off the main thread.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "Loopback.h"
#include "Marlune.h"
#include "MarlunePlugin.h"
#include "PluginEntry.h"
#include "TempHome.h"
#include "ThreadSafeQueue.h"
#include "Tracer.h"
#include "Wait.h"
#include "core/Host.h"

namespace {

using namespace std::chrono_literals;
using nlohmann::json;

TempHome* home = nullptr;
hostsim::Host* host = nullptr;

struct RemoveHomeAtEnd : ::testing::Environment {
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(home->Path(), ignored);
    }
};

class PluginInHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // HOME is read by the socket thread for the process's life: the object is never
        // freed, only its folder removed when the tests end.
        home = new TempHome;
        ::testing::AddGlobalTestEnvironment(new RemoveHomeAtEnd);
        home->Touch("enabletraces");
        home->Touch("enablelogs");
        std::filesystem::create_directories(home->ServiceFolder() / "PluginData");
        umask(0);  // the port folder and file are private whatever the umask
        hostsim::Options options;
        options.idleIntervalMs = 30;
        host = new hostsim::Host(options, hostsim::BuiltInEffects(), hostsim::BuiltInProject());
        host->GetJournal().KeepInMemory();
        ASSERT_EQ(host->CallEntryPoint(EntryPointFunc), 0);
        // Every test starts once the start-up job (a requester of its own) has stored the
        // effects, so that no other script request is under way.
        ASSERT_TRUE(PumpUntil("the start-up job's effects list",
                              [] { return !Dispatcher().GetInstalledAEEffects().empty(); }));
    }
    void TearDown() override {
        for (const auto& [call, count] : host->RecordsCopy().threadViolations)
            ADD_FAILURE() << call << " called " << count << " time(s) off the main thread";
    }

    static Cuebridge::MarlunePlugin& Plugin() { return *Cuebridge::MarlunePlugin::GetInstance(); }
    static Cuebridge::Marlune& Dispatcher() { return *Cuebridge::Marlune::GetInstance(); }

    // Plays the host's main loop until done() holds: idle calls when asked, and every 30 ms.
    // False, with a failure that names `what`, once the deadline has passed.
    static bool PumpUntil(const std::string& what, const std::function<bool()>& done) {
        const auto limit = testkit::Deadline();
        const auto end = std::chrono::steady_clock::now() + limit;
        auto nextIdle = std::chrono::steady_clock::now();
        while (!done()) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= end) return testkit::TimeOut(limit, what), false;
            if (now >= nextIdle) {
                host->RunIdleHooks();
                nextIdle = now + 30ms;
            } else if (!host->PumpIdle()) {
                std::this_thread::sleep_for(200us);
            }
        }
        return true;
    }
    // Runs work on a thread of its own (a requester) while this thread plays the host.
    static void WhilePumping(const std::function<void()>& work) {
        std::atomic<bool> finished{false};
        std::thread requester([&] {
            work();
            finished = true;
        });
        PumpUntil("the requester to return", [&] { return finished.load(); });
        requester.join();
    }
    // The port the plug-in listens on and has published (other than notPort); -1 if none.
    static int ListeningPort(int notPort = 0) {
        const auto portFile = home->ServiceFolder() / "PluginData/AfterEffects/socket.port";
        int port = 0;
        const bool listening = PumpUntil("a published port the plug-in listens on", [&] {
            std::ifstream file(portFile);
            return file >> port && port != notPort &&
                   ListeningSockets().count({"0100007F", port}) == 1;
        });
        return listening ? port : -1;
    }
    static std::string Script(const std::string& script) {
        std::string result;
        std::string error = "untouched";
        WhilePumping([&] { Plugin().ExecuteScript(script, result, error); });
        EXPECT_EQ(error, "untouched");
        return result;
    }
    static std::vector<std::pair<int, std::string>> CommandsRun() {
        std::vector<std::pair<int, std::string>> runs;
        for (const auto& run : host->RecordsCopy().commandsRun)
            runs.emplace_back(run.command, run.source);
        return runs;
    }
};

TEST_F(PluginInHost, EntrySwitchesLoggingOnRegistersInOrderAndStoresTheEffects) {
    EXPECT_TRUE(Cuebridge::Tracer::GetTracing()) << "the entry point reads the trace marker";
    EXPECT_TRUE(Cuebridge::Tracer::GetLog()) << "the entry point reads the log marker";
    std::vector<std::string> start;
    for (const auto& line : host->GetJournal().Lines()) {
        const std::string call = line["call"];
        if (call == "AcquireSuite") start.push_back(line["args"]["name"]);
        if (call.rfind("AEGP_Register", 0) == 0) start.push_back(call);
        if (start.size() == 5) break;
    }
    EXPECT_EQ(start, (std::vector<std::string>{
                         kAEGPUtilitySuite, kAEGPRegisterSuite, "AEGP_RegisterCommandHook",
                         "AEGP_RegisterUpdateMenuHook", "AEGP_RegisterIdleHook"}));
    std::string expected;
    for (const auto& e : hostsim::BuiltInEffects())
        expected += e.matchName + "|" + e.displayName + "|" + e.category + "*|*";
    EXPECT_EQ(Dispatcher().GetInstalledAEEffects(), expected);
    EXPECT_TRUE(host->RecordsCopy().alerts.empty());
}

TEST_F(PluginInHost, KeywordsQueueWorkOrAnswerAtOnce) {
    struct Case {
        std::vector<std::string> fields;
        std::string reply;
    };
    const Case cases[] = {
        {{"3", "ExecuteCommand", "2004"}, ""},
        // Keywords and their arguments are case-sensitive and exact: nothing runs.
        {{"3", "executecommand", "2005"}, ""},
        {{"5", "navigatecommand", "First"}, ""},
        {{"5", "NavigateCommand", "next"}, ""},
        {{"5", "NavigateCommand", "First\r"}, ""},
        {{"6", "INFOPANELCOMMAND", "SetInfoText"}, ""},
        {{"6", "InfoPanelCommand", "SetInfoColor\r"}, ""},
        {{"6", "InfoPanelCommand", "Nothing"}, ""},
        {{"1", "Bogus", "x"}, ""},
        {{"", "", "x"}, ""},
        {{"3", "ExecuteCommand "}, ""},
        {{"3", "ExecuteCommand"}, ""},
        {{"7", "getAfterEffectLanguage"}, ""},
        {{"7", "GetAfterEffectLanguage"}, "7|en_US"},
        {{"7", "GetAfterEffectLanguage", "\r"}, "7|en_US"},
        {{"7", "GetAfterEffectLanguage\r"}, ""},
        {{"x|y", "Script", ""}, "x|y|"},  // an empty script is answered at once
        {{"9", "Script"}, "9|"},
    };
    const auto before = CommandsRun().size();
    const json infoBefore = host->GetInfoPanel().Json();
    const json itemsBefore = host->GetProject().ItemsJson();
    for (const auto& c : cases)
        EXPECT_EQ(Dispatcher().ProcessMarluneCommand(c.fields), c.reply) << c.fields[1];
    ASSERT_TRUE(PumpUntil("the queued command", [&] { return CommandsRun().size() > before; }));
    host->RunIdleHooks();
    const auto runs = CommandsRun();
    EXPECT_EQ(std::vector(runs.begin() + static_cast<long>(before), runs.end()),
              (std::vector<std::pair<int, std::string>>{{2004, "plugin"}}));
    EXPECT_EQ(host->GetInfoPanel().Json(), infoBefore);
    EXPECT_EQ(host->GetProject().ItemsJson(), itemsBefore);
}

TEST_F(PluginInHost, RefusedAppSuiteGivesAnEmptyLanguage) {
    host->SetRefused(kPFAppSuite, kPFAppSuiteVersion6, true);
    const std::string reply = Dispatcher().ProcessMarluneCommand({"L", "GetAfterEffectLanguage"});
    host->SetRefused(kPFAppSuite, kPFAppSuiteVersion6, false);
    EXPECT_EQ(reply, "L|");
    EXPECT_EQ(Dispatcher().ProcessMarluneCommand({"L", "GetAfterEffectLanguage"}), "L|en_US");
}

TEST_F(PluginInHost, MenuCommandsActThroughTheHookAndTheHostStillRunsThem) {
    const json items = host->GetProject().ItemsJson();
    const auto before = CommandsRun().size();
    // From the last item, so that a "First" that does nothing cannot pass.
    ASSERT_EQ(host->GetProject().UserSelect(items.back()["id"]), "");
    host->UserCommand(2488);
    EXPECT_EQ(host->GetProject().ActiveItemId(), items[1]["id"].get<int>());
    host->UserCommand(2489);
    EXPECT_EQ(host->GetProject().ActiveItemId(), items[2]["id"].get<int>());
    host->UserCommand(2490);
    const json info = host->GetInfoPanel().Json();
    EXPECT_EQ(info["line1"], "line 1");
    EXPECT_EQ(info["line2"], "line 2");
    EXPECT_EQ(info["appended"].back(), "line 3");
    EXPECT_EQ(info["color"], (json{{"alpha", 1}, {"red", 100}, {"green", 100}, {"blue", 100}}));
    const auto runs = CommandsRun();
    EXPECT_EQ(
        std::vector(runs.begin() + static_cast<long>(before), runs.end()),
        (std::vector<std::pair<int, std::string>>{{2488, "user"}, {2489, "user"}, {2490, "user"}}));
}

TEST_F(PluginInHost, CommandNumbersAreReadWithinTheirThirtyTwoBits) {
    struct Case {
        std::string text;
        std::optional<int> runs;  // none: nothing runs
    };
    const Case cases[] = {
        {"2004", 2004},
        {"  -12", -12},
        {"+7\r", 7},
        {"31x", 31},
        {"abc", {}},
        {"", {}},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", {}},
        {"-2147483649", {}},
        {"4294969300", {}},  // never wrapped round to 2004
        {"-4294965292", {}},
        {"99999999999999999999", {}},
    };
    for (const auto& c : cases) {
        const auto before = CommandsRun().size();
        Cuebridge::commandQueue.Push(c.text.empty() ? " " : c.text);
        host->RunIdleHooks();
        const auto runs = CommandsRun();
        if (!c.runs) {
            EXPECT_EQ(runs.size(), before) << "'" << c.text << "'";
        } else {
            ASSERT_EQ(runs.size(), before + 1) << "'" << c.text << "'";
            EXPECT_EQ(runs.back().first, *c.runs) << "'" << c.text << "'";
        }
    }
}

// The queued work the host carried out since journal line `from`, one word per host call:
// the command number, "select", "text", "color" or "script".
std::vector<std::string> WorkDone(std::size_t from) {
    std::vector<std::string> done;
    const auto lines = host->GetJournal().Lines();
    for (std::size_t i = from; i < lines.size(); ++i) {
        const std::string call = lines[i]["call"];
        if (call == "AEGP_DoCommand") done.push_back(lines[i]["args"]["command"].dump());
        if (call == "AEGP_SelectItem") done.push_back("select");
        if (call == "PF_InfoDrawText") done.push_back("text");
        if (call == "PF_InfoDrawColor") done.push_back("color");
        if (call == "AEGP_ExecuteScript") done.push_back("script");
    }
    return done;
}

// Work of every kind is carried out in the order it arrived, whatever queue it waits on: a
// controller's "First" then a script (from another requester), "SetInfoText" and 2004, all
// in one idle call. An empty argument is no work: nothing of it is queued to hold them back.
TEST_F(PluginInHost, WorkRunsInTheOrderItArrived) {
    while (host->PumpIdle()) {  // idle calls asked for earlier are made before the work is queued
    }
    const auto from = host->GetJournal().Lines().size();
    for (const char* keyword : {"ExecuteCommand", "NavigateCommand", "InfoPanelCommand"})
        EXPECT_EQ(Dispatcher().ProcessMarluneCommand({"0", keyword, ""}), "");
    EXPECT_EQ(Dispatcher().ProcessMarluneCommand({"1", "NavigateCommand", "First"}), "");
    std::string result;
    std::thread requester([&result] {
        std::string error;
        Plugin().ExecuteScript("'ran'", result, error);
    });
    ASSERT_TRUE(testkit::WaitFor("the script on its queue",
                                 [] { return !Cuebridge::scriptQueue.Empty(); }));
    EXPECT_EQ(Dispatcher().ProcessMarluneCommand({"2", "InfoPanelCommand", "SetInfoText"}), "");
    EXPECT_EQ(Dispatcher().ProcessMarluneCommand({"3", "ExecuteCommand", "2004"}), "");
    // A clock that stands still: the idle call's time budget, which a slow build could use up,
    // never ends it early.
    Cuebridge::SetIdleClockForTesting([] { return std::chrono::steady_clock::time_point{}; });
    host->RunIdleHooks();
    Cuebridge::SetIdleClockForTesting(nullptr);
    requester.join();
    EXPECT_EQ(result, "ran");
    for (auto* queue : {&Cuebridge::commandQueue, &Cuebridge::projectCommandQueue,
                        &Cuebridge::infoPanelCommandQueue, &Cuebridge::scriptQueue})
        EXPECT_TRUE(queue->Empty()) << "work left behind after one idle call";
    EXPECT_EQ(WorkDone(from), (std::vector<std::string>{"select", "script", "text", "2004"}));
}

// One idle call works for at most the idle budget, then asks the host for another call; the
// next goes on where it stopped, in arrival order across the queues, and nothing is dropped.
// The clock is a fake one that moves a millisecond at every reading.
TEST_F(PluginInHost, AnIdleCallStopsAtItsBudgetAndTheNextGoesOnInOrder) {
    static std::chrono::steady_clock::time_point fakeNow{};
    Cuebridge::SetIdleClockForTesting([] { return fakeNow += 1ms; });
    while (host->PumpIdle()) {
    }
    constexpr int kItems = 21;
    std::vector<std::string> expected;
    for (int i = 0; i < kItems; ++i) {
        if (i % 3 == 0) {
            Plugin().ExecuteCommand(std::to_string(5000 + i));
            expected.push_back(std::to_string(5000 + i));
        } else if (i % 3 == 1) {
            Plugin().ExecuteInfoPanelCommands("SetInfoColor");
            expected.push_back("color");
        } else {
            Plugin().ExecuteProjectCommands("First");
            expected.push_back("select");
        }
    }
    const auto from = host->GetJournal().Lines().size();
    host->RunIdleHooks();
    const auto firstCall = WorkDone(from).size();
    EXPECT_GE(firstCall, 1u);
    EXPECT_LE(firstCall, static_cast<std::size_t>(Cuebridge::kIdleBudget / 1ms));
    int calls = 1;
    for (; host->PumpIdle(); ++calls) {  // each call that stopped short asked for the next
    }
    Cuebridge::SetIdleClockForTesting(nullptr);
    EXPECT_GT(calls, 1);
    EXPECT_EQ(WorkDone(from), expected);
}

TEST_F(PluginInHost, InfoPanelAndProjectStepsAsTheHostShowsThem) {
    Cuebridge::infoPanelCommandQueue.Push("SetInfoText");
    Cuebridge::infoPanelCommandQueue.Push("SetInfoColor");
    // An idle call may stop at its time budget between the two (a slow build, a busy machine).
    ASSERT_TRUE(PumpUntil("the Info panel queue to empty",
                          [] { return Cuebridge::infoPanelCommandQueue.Empty(); }));
    const json info = host->GetInfoPanel().Json();
    EXPECT_EQ(info["line1"], "Lorem ipsum");
    EXPECT_EQ(info["line2"], "dolor sit amet");
    EXPECT_EQ(info["appended"], json::array({"Some third text"}));
    EXPECT_EQ(info["color"], (json{{"alpha", 1}, {"red", 150}, {"green", 100}, {"blue", 50}}));

    // "First" selects the item after the project's first one; "Next" the one after the
    // active item, and nothing past the last.
    const json items = host->GetProject().ItemsJson();
    auto selected = [] {
        std::vector<int> ids;
        for (const auto& item : host->GetProject().ItemsJson())
            if (item["selected"]) ids.push_back(item["id"]);
        return ids;
    };
    const auto step = [](const char* which) {
        Cuebridge::projectCommandQueue.Push(which);
        ASSERT_TRUE(PumpUntil("the project step to run",
                              [] { return Cuebridge::projectCommandQueue.Empty(); }));
    };
    ASSERT_EQ(host->GetProject().UserSelect(items.back()["id"]), "");  // a state First changes
    step("First");
    EXPECT_EQ(selected(), std::vector<int>{items[1]["id"].get<int>()});
    step("Next");
    EXPECT_EQ(selected(), std::vector<int>{items[2]["id"].get<int>()});
    ASSERT_EQ(host->GetProject().UserSelect(items.back()["id"]), "");
    step("Next");
    EXPECT_EQ(selected(), std::vector<int>{items.back()["id"].get<int>()});
}

// Every handle locked is unlocked and every handle handed out is freed.
TEST_F(PluginInHost, ScriptsRunOnTheMainThreadAndFreeBothHandles) {
    const auto from = host->GetJournal().Lines().size();
    EXPECT_EQ(Script("'a|b' + 1"), "a|b1");
    EXPECT_EQ(Script("nosuch()").rfind("SCRIPT ERROR: ReferenceError", 0), 0u);
    EXPECT_EQ(Script("undefined"), "");
    EXPECT_EQ(host->GetMemHandles().Outstanding(), 0u);
    EXPECT_EQ(host->GetMemHandles().BadCalls(), 0);
    EXPECT_FALSE(Cuebridge::IsScriptExecuting.load());
    std::map<std::string, int> calls;
    const auto lines = host->GetJournal().Lines();
    for (auto line = lines.begin() + static_cast<long>(from); line != lines.end(); ++line)
        ++calls[(*line)["call"].get<std::string>()];
    EXPECT_GT(calls["AEGP_LockMemHandle"], 0);
    EXPECT_EQ(calls["AEGP_UnlockMemHandle"], calls["AEGP_LockMemHandle"]);
}

// A suite the script needs is refused: the reply is a script error naming the refusal, the
// host hands out no handle that could not be freed, and the next request is served.
TEST_F(PluginInHost, ARefusedSuiteGivesAScriptErrorAndLeaksNoHandle) {
    for (const auto& [name, version] : {std::pair{kAEGPMemorySuite, kAEGPMemorySuiteVersion1},
                                        {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion6}}) {
        SCOPED_TRACE(name);
        const auto handlesBefore = host->GetMemHandles().Outstanding();
        host->SetRefused(name, version, true);
        const std::string first = Script("1");
        const std::string second = Script("2");
        host->SetRefused(name, version, false);
        for (const auto& result : {first, second}) {
            EXPECT_TRUE(result.starts_with("SCRIPT ERROR: ")) << result;
            EXPECT_NE(result.find("516"), std::string::npos) << result;
        }
        const auto left = host->GetMemHandles().Outstanding() - handlesBefore;
        std::printf("[ figures ] %zu handles left by two scripts without %s\n", left, name);
        EXPECT_EQ(left, 0u);
        EXPECT_FALSE(Cuebridge::IsScriptExecuting.load());
        EXPECT_EQ(Script("3"), "3") << "the next request is served";
    }
}

// On the host's main thread a script could only wait for the idle call it runs in.
TEST_F(PluginInHost, AScriptRequestedOnTheMainThreadIsRefusedAtOnce) {
    std::string result;
    std::string error = "untouched";
    EXPECT_EQ(Plugin().ExecuteScript("1", result, error), 0);
    EXPECT_TRUE(result.starts_with("SCRIPT ERROR: ")) << result;
    EXPECT_EQ(error, "untouched");
    EXPECT_TRUE(Cuebridge::scriptQueue.Empty());
    EXPECT_EQ(Script("4"), "4") << "the next request is served";
}

TEST_F(PluginInHost, ConcurrentRequestersEachGetTheirOwnResult) {
    constexpr int kRounds = 15;
    std::vector<std::string> mismatches[2];
    std::atomic<int> done{0};
    std::vector<std::thread> requesters;
    for (int r = 0; r < 2; ++r)
        requesters.emplace_back([&, r] {
            for (int i = 0; i < kRounds; ++i) {
                const std::string want = std::to_string(r * 1000 + i);
                std::string result;
                std::string error;
                Plugin().ExecuteScript(want, result, error);
                if (result != want) mismatches[r].push_back(want + " got " + result);
            }
            ++done;
        });
    PumpUntil("both requesters to finish", [&] { return done == 2; });
    for (auto& t : requesters) t.join();
    for (const auto& m : mismatches) EXPECT_TRUE(m.empty()) << m.front();
}

int ThreadCount() {
    namespace fs = std::filesystem;
    return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/task"), {}));
}

// Command 2630 returns at once while its script waits for an idle call; a burst of it starts
// one script, not one waiting thread each, and the command works again once it has run. The
// file is the one under HOME as it was at entry, whatever a script did to the environment.
TEST_F(PluginInHost, TestScriptCommandRunsTheFileOnceAtATimeWithoutBlockingTheMainThread) {
    std::ofstream(home->ServiceFolder() / "TestFileScript.jsx") << "app.executeCommand(4242);";
    const std::string entryHome = std::getenv("HOME");
    setenv("HOME", "/nonexistent", 1);
    const auto scriptRuns = [] {
        const auto runs = CommandsRun();
        return std::count(runs.begin(), runs.end(), std::pair<int, std::string>{4242, "script"});
    };
    const auto runsBefore = scriptRuns();
    const int threadsBefore = ThreadCount();
    constexpr int kBurst = 200;
    for (int i = 0; i < kBurst; ++i) host->UserCommand(2630);
    const int added = ThreadCount() - threadsBefore;
    std::printf("[ figures ] %d threads added by %d x command 2630\n", added, kBurst);
    EXPECT_LE(added, 1);
    ASSERT_TRUE(PumpUntil("the test script's command", [&] { return scriptRuns() > runsBefore; }));
    ASSERT_TRUE(PumpUntil("its thread's end", [&] { return ThreadCount() <= threadsBefore; }));
    EXPECT_EQ(scriptRuns(), runsBefore + 1);
    // The thread count may fall back before the thread has lowered its flag (a sanitizer's
    // own threads come and go): the command is given again until one is taken, and none after.
    PumpUntil("the second run", [&] {
        if (scriptRuns() >= runsBefore + 2) return true;
        host->UserCommand(2630);
        return false;
    });
    PumpUntil("its thread's end", [&] { return ThreadCount() <= threadsBefore; });
    EXPECT_EQ(scriptRuns(), runsBefore + 2);
    setenv("HOME", entryHome.c_str(), 1);
}

// ---- the socket server, over real loopback connections ------------------------------------

// True when a child started now holds a socket: ls lists its own descriptors after its exec.
bool ChildHoldsASocket() { return std::system("ls -l /proc/self/fd | grep -q 'socket:'") == 0; }

// A process the host starts (a script may) inherits neither the listener nor the connection;
// this test process opens no other socket without close-on-exec, so a child holds none.
TEST_F(PluginInHost, ProcessesTheHostStartsHoldNeitherTheListenerNorTheConnection) {
    const int port = ListeningPort();
    ASSERT_GT(port, 0);
    EXPECT_FALSE(ChildHoldsASocket()) << "the listener";
    const int fd = ConnectTo(port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(PumpUntil("the listener's close", [] { return ListeningSockets().empty(); }));
    EXPECT_FALSE(ChildHoldsASocket()) << "the connection";
    close(fd);
}

// A pause inside a message does not end it: a script split inside a string literal that
// holds bars runs whole, and nothing of it runs as a command.
TEST_F(PluginInHost, AMessageEndsAtItsLineFeedNotAtAPause) {
    const int port = ListeningPort();
    ASSERT_GT(port, 0);
    const int fd = ConnectTo(port);
    ASSERT_GE(fd, 0);
    const auto before = CommandsRun().size();
    std::string reply;
    WhilePumping([&] {
        const std::string first = "1|Script|var s = \"a";
        const std::string rest = "|ExecuteCommand|2004\"; s.length\n";
        send(fd, first.data(), first.size(), 0);
        std::this_thread::sleep_for(50ms);  // the pause under test, not a wait for an outcome
        send(fd, rest.data(), rest.size(), 0);
        shutdown(fd, SHUT_WR);
        reply = ReadFrom(fd);
    });
    close(fd);
    host->RunIdleHooks();  // anything queued from the message would run now
    EXPECT_EQ(reply, "1|21");
    EXPECT_EQ(CommandsRun().size(), before) << "a piece of the script ran as a command";
}

// The descriptor, in this process, of the plug-in's end of our connection client: the socket
// on the plug-in's port whose peer is the client's own address; -1 if there is none.
int ServedEnd(int client, int port) {
    sockaddr_in mine{}, local{}, peer{};
    socklen_t size = sizeof mine;
    if (getsockname(client, reinterpret_cast<sockaddr*>(&mine), &size) != 0) return -1;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        size = sizeof local;
        socklen_t peerSize = sizeof peer;
        if (fd != client && getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0 &&
            local.sin_family == AF_INET && ntohs(local.sin_port) == port &&
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0 &&
            peer.sin_port == mine.sin_port)
            return fd;
    }
    return -1;
}

TEST_F(PluginInHost, ServesOneLoopbackConnectionAtATimeFromAPrivateFolderAndAnswersAHalfClose) {
    const auto folder = home->ServiceFolder() / "PluginData/AfterEffects";
    const int port = ListeningPort();
    ASSERT_GT(port, 0);
    EXPECT_EQ(ListeningSockets(), (std::set<std::pair<std::string, int>>{{"0100007F", port}}));
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((folder / "socket.port").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const int first = ConnectTo(port);
    ASSERT_GE(first, 0);
    PumpUntil("the listener's close", [] { return ListeningSockets().empty(); });
    const int second = ConnectTo(port);
    EXPECT_LT(second, 0) << "a second connection must be refused while one is served";
    if (second >= 0) close(second);
    // The plug-in's end of the connection sends each reply at once, not held for an ack.
    const int served = ServedEnd(first, port);
    ASSERT_GE(served, 0);
    int noDelay = 0;
    socklen_t size = sizeof noDelay;
    ASSERT_EQ(getsockopt(served, IPPROTO_TCP, TCP_NODELAY, &noDelay, &size), 0);
    EXPECT_NE(noDelay, 0);
    ASSERT_EQ(send(first, "5|GetAfterEffectLanguage", 24, 0), 24);
    shutdown(first, SHUT_WR);  // the end of the stream follows the unterminated message
    EXPECT_EQ(ReadFrom(first), "5|en_US");
    close(first);
    EXPECT_GT(ListeningPort(port), 0) << "a new port for the next connection";
}

}  // namespace
