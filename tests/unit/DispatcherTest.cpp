// The command dispatcher against the fake host: keywords, tags, queued work, scripts
// and the two queries.
#include "MarluneListener.h"
#include "PluginTestSupport.h"

namespace {

using namespace std::chrono_literals;
using Cuebridge::commandQueue;
using Cuebridge::infoPanelCommandQueue;
using Cuebridge::projectCommandQueue;
using testsupport::QueueContents;

class DispatcherTest : public testsupport::HostTest {
protected:
    std::string Dispatch(std::vector<std::string> fields) {
        return Dispatcher().ProcessMarluneCommand(std::move(fields));
    }
};

TEST_F(DispatcherTest, QueuesCommandsSilentlyAndIgnoresUnknownKeywords) {
    struct Case {
        std::vector<std::string> fields;
        Cuebridge::ThreadSafeQueue* queue;  // null: nothing may be queued anywhere
        std::string queued;
    };
    const Case cases[] = {
        {{"3", "ExecuteCommand", "2004"}, &commandQueue, "2004"},
        {{"5", "NavigateCommand", "Next"}, &projectCommandQueue, "Next"},
        {{"6", "InfoPanelCommand", "SetInfoColor"}, &infoPanelCommandQueue, "SetInfoColor"},
        {{"3", "executecommand", "2004"}, nullptr, ""},
        {{"3", "ExecuteCommand "}, nullptr, ""},
        {{"", "", "x"}, nullptr, ""},
        {{"3", "ExecuteCommand"}, nullptr, ""},  // no argument: nothing queued
        {{"5", "NavigateCommand"}, nullptr, ""},
        {{"6", "InfoPanelCommand"}, nullptr, ""},
        {{"7", "GetAfterEffectLanguage\r"}, nullptr, ""},
    };
    for (const auto& c : cases) {
        const int idleBefore = host.IdleRequests();
        EXPECT_EQ(Dispatch(c.fields), "") << c.fields[1];
        for (auto* queue : {&commandQueue, &projectCommandQueue, &infoPanelCommandQueue}) {
            const auto items = QueueContents(*queue);
            if (queue == c.queue) {
                EXPECT_EQ(items, std::vector<std::string>{c.queued});
                EXPECT_EQ(host.IdleRequests(), idleBefore + 1) << "an idle call is requested";
            } else {
                EXPECT_TRUE(items.empty()) << c.fields[1];
            }
        }
    }
}

TEST_F(DispatcherTest, AnswersQueriesWithTheTag) {
    host.SetLanguage("de_DE");
    EXPECT_EQ(Dispatch({"7", "GetAfterEffectLanguage"}), "7|de_DE");
    EXPECT_EQ(Dispatch({"7", "GetAfterEffectLanguage", "\r"}), "7|de_DE");
    EXPECT_EQ(Dispatch({"x|y", "GetInstalledAfterEffectEffects"}), "x|y|");
    Dispatcher().SetInstalledAEEffects("m1|Blur|Blur & Sharpen*|*m2|Glow|Stylize*|*");
    EXPECT_EQ(Dispatch({"7", "GetInstalledAfterEffectEffects"}),
              "7|m1|Blur|Blur & Sharpen*|*m2|Glow|Stylize*|*");
}

TEST_F(DispatcherTest, LanguageQueryWithoutTheSuiteAnswersEmpty) {
    host.RefuseSuite(kPFAppSuite, kPFAppSuiteVersion6);
    EXPECT_EQ(Dispatch({"7", "GetAfterEffectLanguage"}), "7|");
}

TEST_F(DispatcherTest, ScriptRepliesWithItsResult) {
    StartPumpWithIdleHook();
    host.SetScriptRunner([](const std::string& script) {
        if (script == "fail()") return fakehost::ScriptOutcome{"", "boom"};
        return fakehost::ScriptOutcome{"ran:" + script, ""};
    });
    EXPECT_EQ(Dispatch({"9", "Script", "a|b"}), "9|ran:a|b");
    EXPECT_EQ(Dispatch({"9", "Script", "fail()"}), "9|SCRIPT ERROR: boom");
    EXPECT_EQ(Dispatch({"9", "Script", ""}), "9|");  // answered at once, nothing run
    EXPECT_EQ(Dispatch({"9", "Script"}), "9|");
    EXPECT_EQ(host.CallsNamed("AEGP_ExecuteScript").size(), 2u);
}

TEST_F(DispatcherTest, ListenerEntryNeedsThreeFieldsAndCutsTheScriptAtItsBar) {
    StartPumpWithIdleHook();
    host.SetScriptRunner([](const std::string& script) {
        return fakehost::ScriptOutcome{script, ""};
    });
    Cuebridge::MarluneListener listener;
    EXPECT_EQ(listener.ProcessMessage("7|GetInstalledAfterEffectEffects"), "");
    EXPECT_EQ(listener.ProcessMessage("9|Script|a|b"), "9|a");
    EXPECT_EQ(listener.ProcessMessage("7|GetAfterEffectLanguage|"), "");  // trailing bar: 2 fields
}

TEST_F(DispatcherTest, SocketPathDispatchesToTheCommandDispatcher) {
    Cuebridge::MarluneListener listener;
    EXPECT_EQ(listener.ProcessSocketMessage("3|ExecuteCommand|2004\r"), "");
    EXPECT_EQ(QueueContents(commandQueue), std::vector<std::string>{"2004\r"});
    EXPECT_EQ(listener.ProcessSocketMessage("7|GetAfterEffectLanguage|\r"), "7|en_US");
    EXPECT_EQ(listener.ProcessSocketMessage("7|GetAfterEffectLanguage\r"), "");
}

}  // namespace
