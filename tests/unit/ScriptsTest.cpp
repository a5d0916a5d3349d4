// Script requests across threads: the requester waits while the pump (the host's main
// thread) runs the script from its idle hook.
#include <atomic>

#include "PluginTestSupport.h"
#include "TempHome.h"

namespace {

using namespace std::chrono_literals;

class ScriptsTest : public testsupport::HostTest {
protected:
    std::string Run(const std::string& script) {
        std::string result = "unchanged";
        std::string error = "caller's";
        EXPECT_EQ(Plugin().ExecuteScript(script, result, error), 0);
        EXPECT_EQ(error, "caller's");
        return result;
    }
};

TEST_F(ScriptsTest, ReturnsResultErrorOrEmptyText) {
    StartPumpWithIdleHook();
    host.SetScriptRunner([](const std::string& script) {
        if (script == "bad") return fakehost::ScriptOutcome{"partial", "E"};
        if (script == "nothing") return fakehost::ScriptOutcome{"", ""};
        return fakehost::ScriptOutcome{"abc", ""};
    });
    EXPECT_EQ(Run("ok"), "abc");
    EXPECT_EQ(Run("bad"), "SCRIPT ERROR: E");
    EXPECT_EQ(Run("nothing"), "");
    EXPECT_EQ(Run(""), "");  // never queued
    EXPECT_EQ(host.CallsNamed("AEGP_ExecuteScript").size(), 3u);
    EXPECT_EQ(host.OpenMemHandles(), 0) << "both handles are freed on every path";
    EXPECT_TRUE(host.ThreadViolations().empty());
    EXPECT_FALSE(Cuebridge::IsScriptExecuting.load());
}

TEST_F(ScriptsTest, CollectsEveryWaitingResultUpToAnEmptyOne) {
    Cuebridge::scriptResultQueue.Push("a");
    Cuebridge::scriptResultQueue.Push("b");
    EXPECT_EQ(Plugin().GetScriptResults(), "ab");
    Cuebridge::scriptResultQueue.Push("");
    Cuebridge::scriptResultQueue.Push("c");
    EXPECT_EQ(Plugin().GetScriptResults(), "");
    EXPECT_EQ(Plugin().GetScriptResults(), "c");
}

TEST_F(ScriptsTest, ExecutorFailureIsReportedAndReleasesTheWaiter) {
    StartPumpWithIdleHook();
    // The executor cannot get its own Utility suite: it fails before any result.
    host.RefuseSuite(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion6);
    const std::string result = Run("x()");
    EXPECT_EQ(result.rfind("SCRIPT ERROR: ", 0), 0u) << result;
    EXPECT_FALSE(Cuebridge::IsScriptExecuting.load());
}

TEST_F(ScriptsTest, OverlappingRequestersEachGetTheirOwnResult) {
    StartPumpWithIdleHook();
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    host.SetScriptRunner([&](const std::string& script) {
        if (++running > 1) overlapped = true;
        std::this_thread::sleep_for(2ms);
        --running;
        return fakehost::ScriptOutcome{"result of " + script, ""};
    });
    constexpr int kRounds = 20;
    auto requester = [&](const std::string& name, std::vector<std::string>& mismatches) {
        for (int i = 0; i < kRounds; ++i) {
            const std::string script = name + std::to_string(i);
            std::string result;
            std::string error;
            Plugin().ExecuteScript(script, result, error);
            if (result != "result of " + script) mismatches.push_back(script + " got " + result);
        }
    };
    std::vector<std::string> socketMismatches;
    std::vector<std::string> jobMismatches;
    std::thread socketThread(requester, "socket", std::ref(socketMismatches));
    std::thread jobThread(requester, "job", std::ref(jobMismatches));
    socketThread.join();
    jobThread.join();
    EXPECT_TRUE(socketMismatches.empty()) << socketMismatches.front();
    EXPECT_TRUE(jobMismatches.empty()) << jobMismatches.front();
    EXPECT_FALSE(overlapped.load());
}

TEST_F(ScriptsTest, StartupJobStoresTheInstalledEffects) {
    StartPumpWithIdleHook();
    std::string seen;
    host.SetScriptRunner([&](const std::string& script) {
        seen = script;
        return fakehost::ScriptOutcome{"m1|A|C1*|*m2|B|C2*|*", ""};
    });
    Cuebridge::RunStartupJob(&Dispatcher(), &Plugin());
    EXPECT_EQ(Dispatcher().GetInstalledAEEffects(), "m1|A|C1*|*m2|B|C2*|*");
    EXPECT_EQ(seen.size(), 261u);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), '\t'), 2);
    EXPECT_EQ(seen.substr(seen.size() - 13), "getEffects();");
}

TEST(ReadScriptFromAFile, ReadsWholeFileOrNothing) {
    TempHome home;
    const auto path = home.Path() / "s.jsx";
    std::ofstream(path) << "line 1\nline|2\n";
    EXPECT_EQ(Cuebridge::ReadScriptFromAFile(path.c_str()), "line 1\nline|2\n");
    EXPECT_EQ(Cuebridge::ReadScriptFromAFile(nullptr), "");
    EXPECT_EQ(Cuebridge::ReadScriptFromAFile((home.Path() / "missing").c_str()), "");
    EXPECT_EQ(Cuebridge::TestScriptPath(), (home.ServiceFolder() / "TestFileScript.jsx").string());
}

}  // namespace
