// The entry point and the hooks, with the fake host's pump as the host's main thread.
// HOME points at one temporary folder for the whole process, set before any thread
// starts: every entry call leaves a socket thread running that reads it.
#include <filesystem>

#include "PluginTestSupport.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Client;

const std::filesystem::path& ProcessHome() {
    static const std::filesystem::path home = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "cuebridge-entry-XXXXXX").string();
        const std::filesystem::path path = mkdtemp(pattern.data());
        setenv("HOME", path.c_str(), 1);
        std::filesystem::create_directories(
            path /
            "Library/Application Support/Ostrel/OstrelPluginService/PluginData/AfterEffects");
        return path;
    }();
    return home;
}
const bool homeReady = !ProcessHome().empty();  // before main, so before any thread

std::filesystem::path ServiceFolder() {
    return ProcessHome() / "Library/Application Support/Ostrel/OstrelPluginService";
}

// Connects to whichever port the port file names at the moment (several entry calls
// in one process leave several listeners publishing to the same file).
std::unique_ptr<Client> ConnectThroughPortFile() {
    const auto portFile = ServiceFolder() / "PluginData/AfterEffects/socket.port";
    std::unique_ptr<Client> client;
    testsupport::WaitUntil([&] {
        const std::string text = testsupport::ReadFile(portFile);
        if (text.empty()) return false;
        client = std::make_unique<Client>(std::stoi(text), 20ms);
        return client->Connected();
    });
    return client;
}

const char* const kEffects = "ADBE Blur|Fast Blur|Blur & Sharpen*|*ADBE Glo2|Glow|Stylize*|*";

class EntryTest : public testsupport::HostTest {
protected:
    A_Err Enter() {
        A_Err err = -1;
        host.RunOnMain([&] { err = EntryPointFunc(host.Basic(), 24, 0, 77, nullptr); });
        return err;
    }
    void StartPump() {
        host.SetScriptRunner([](const std::string& script) {
            return fakehost::ScriptOutcome{script.size() == 261 ? kEffects : "other", ""};
        });
        host.StartPump(5ms);
    }
    std::vector<std::string> HostCallNames() {
        std::vector<std::string> names;
        for (const auto& call : host.Calls())
            if (call.name != "ReleaseSuite")
                names.push_back(call.name + (call.args.empty() ? "" : ":" + call.args[0]));
        return names;
    }
};

TEST_F(EntryTest, StartsUpInOrderAndServesTheController) {
    StartPump();
    ASSERT_EQ(Enter(), 0);
    ASSERT_TRUE(
        testsupport::WaitUntil([&] { return Dispatcher().GetInstalledAEEffects() == kEffects; }));
    const auto names = HostCallNames();
    const std::vector<std::string> start(names.begin(), names.begin() + 5);
    EXPECT_EQ(start, (std::vector<std::string>{
                         "AcquireSuite:AEGP Utility Suite", "AcquireSuite:AEGP Register Suite",
                         "AEGP_RegisterCommandHook:77", "AEGP_RegisterUpdateMenuHook:77",
                         "AEGP_RegisterIdleHook:77"}));
    const auto registration = host.CallsNamed("AEGP_RegisterCommandHook").at(0);
    EXPECT_EQ(registration.args, (std::vector<std::string>{"77", "1", "0"}));
    EXPECT_TRUE(host.Alerts().empty());
    EXPECT_EQ(host.AcquireCount(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion6) -
                  host.ReleaseCount(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion6),
              2)
        << "the fixture's and the entry's lifelong references stay held";

    auto client = ConnectThroughPortFile();
    ASSERT_TRUE(client);
    client->Send("1|ExecuteCommand|2004\n2|GetInstalledAfterEffectEffects\n3|Script|go()\n");
    const std::string expected = std::string("2|") + kEffects + "3|other";
    EXPECT_EQ(client->Read(expected.size()), expected);
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        const auto run = host.CommandsRun();
        return std::find(run.begin(), run.end(), 2004) != run.end();
    }));
    client.reset();
    for (const auto& call : host.ThreadViolations())
        ADD_FAILURE() << call.name << " off the main thread";
}

TEST_F(EntryTest, FailedRegistrationAlertsAndSkipsTheRest) {
    struct Case {
        std::string failing;
        std::vector<std::string> registered;
    };
    const Case cases[] = {
        {"command", {"AEGP_RegisterCommandHook"}},
        {"menu", {"AEGP_RegisterCommandHook", "AEGP_RegisterUpdateMenuHook"}},
        {"idle",
         {"AEGP_RegisterCommandHook", "AEGP_RegisterUpdateMenuHook", "AEGP_RegisterIdleHook"}},
    };
    for (const auto& c : cases) {
        host.StopPump();
        host.ClearCalls();
        fakehost::FakeHost& h = host;
        h.FailRegistration(c.failing, 61);
        StartPump();
        EXPECT_EQ(Enter(), 61) << c.failing;
        std::vector<std::string> registered;
        for (const auto& call : h.Calls())
            if (call.name.rfind("AEGP_Register", 0) == 0) registered.push_back(call.name);
        EXPECT_EQ(registered, c.registered) << c.failing;
        EXPECT_EQ(h.Alerts().back(), "Marlune : Could not register command hook.");
        h.FailRegistration(c.failing, 0);  // the next case fails only its own hook
        auto client = ConnectThroughPortFile();
        ASSERT_TRUE(client) << "the listener is up whatever the registrations did";
        client->Send("1|GetAfterEffectLanguage\n");
        EXPECT_EQ(client->Read(7), "1|en_US");
    }
    EXPECT_EQ(host.Alerts().size(), 3u);
    std::this_thread::sleep_for(30ms);
    EXPECT_TRUE(host.CallsNamed("AEGP_ExecuteScript").empty()) << "no start-up job without hooks";
    EXPECT_TRUE(Cuebridge::scriptQueue.Empty());
}

TEST_F(EntryTest, MissingUtilitySuiteReturnsAnErrorAndStillListens) {
    host.RefuseSuite(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion6);
    StartPump();
    EXPECT_EQ(Enter(), 516);
    EXPECT_TRUE(host.CallsNamed("AEGP_RegisterCommandHook").empty());
    EXPECT_TRUE(ConnectThroughPortFile());
}

class HookTest : public testsupport::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        host.Register("command", Cuebridge::CommandHook, nullptr, nullptr, nullptr);
    }
};

TEST_F(HookTest, CommandHookActsOnItsFourCommandsAndLetsTheHostRunThem) {
    std::ofstream(ServiceFolder() / "TestFileScript.jsx") << "test();";
    host.SetItems({{"a"}, {"b"}, {"c"}});
    StartPumpWithIdleHook();
    std::vector<A_Err> results;
    host.RunOnMain([&] {
        for (AEGP_Command command : {2490, 2488, 2489, 2630, 1})
            results.push_back(host.RunCommand(command));
    });
    EXPECT_EQ(results, (std::vector<A_Err>{0, 0, 0, 0, 0}));
    const auto info = host.Info();
    EXPECT_EQ(info.line1, "line 1");
    EXPECT_EQ(info.line2, "line 2");
    EXPECT_EQ(info.appended, std::vector<std::string>{"line 3"});
    ASSERT_TRUE(info.color);
    EXPECT_EQ((std::array<int, 4>{info.color->alpha, info.color->red, info.color->green,
                                  info.color->blue}),
              (std::array<int, 4>{1, 100, 100, 100}));
    EXPECT_EQ(host.SelectedItems(), std::vector<int>{2}) << "2488 selects b, then 2489 the next";
    EXPECT_EQ(host.CommandsRun(), (std::vector<AEGP_Command>{2490, 2488, 2489, 2630, 1}));
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return !host.CallsNamed("AEGP_ExecuteScript").empty() &&
               !Cuebridge::IsScriptExecuting.load();
    })) << "2630 runs the test script without blocking the main thread";
    EXPECT_EQ(host.CallsNamed("AEGP_ExecuteScript").at(0).args.at(1), "test();");
    EXPECT_TRUE(testsupport::WaitUntil([] { return Cuebridge::scriptResultQueue.Empty(); }));
    EXPECT_TRUE(host.ThreadViolations().empty());
}

TEST_F(HookTest, HooksTurnAMissingSuiteIntoAnErrorCode) {
    host.RefuseSuite(kPFAdvAppSuite, kPFAdvAppSuiteVersion2);
    host.RefuseSuite(kAEGPItemSuite, kAEGPItemSuiteVersion6);
    EXPECT_EQ(host.RunCommand(2490), 516);
    EXPECT_EQ(Cuebridge::UpdateMenuHook(nullptr, nullptr, 0), 516);
}

TEST_F(HookTest, UpdateMenuHookOnlyAsksForTheActiveItem) {
    EXPECT_EQ(Cuebridge::UpdateMenuHook(nullptr, nullptr, 0), 0);
    EXPECT_EQ(host.CallsNamed("AEGP_GetActiveItem").size(), 1u);
    EXPECT_EQ(host.HeldSuites(), 1);
}

}  // namespace
