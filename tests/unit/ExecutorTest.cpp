// The idle executor against the fake host, called on the test thread as the host's
// main thread.
#include "PluginTestSupport.h"

namespace {

using Cuebridge::commandQueue;
using Cuebridge::infoPanelCommandQueue;
using Cuebridge::projectCommandQueue;
using Cuebridge::scriptQueue;

class ExecutorTest : public testsupport::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        RegisterIdleHook();
    }
    std::vector<std::string> CallOrder() {
        std::vector<std::string> order;
        for (const auto& call : host.Calls())
            if (call.name != "AcquireSuite" && call.name != "ReleaseSuite")
                order.push_back(call.name);
        return order;
    }
};

TEST_F(ExecutorTest, EmptyIdleCallMakesNoHostCall) {
    EXPECT_EQ(host.CallIdleHook(), 0);
    EXPECT_TRUE(host.Calls().empty());
    EXPECT_FALSE(host.MaxSleepChanged());
}

TEST_F(ExecutorTest, ParsesCommandNumbersWithinTheirThirtyTwoBits) {
    const std::pair<std::string, std::optional<AEGP_Command>> cases[] = {
        {"2004", 2004},
        {"  12", 12},
        {"+12", 12},
        {"12abc", 12},
        {"-1", -1},
        {"2004\r", 2004},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"4294969300", std::nullopt},  // never wrapped round to 2004
        {"-4294965292", std::nullopt},
        {"abc", std::nullopt},
        {"   ", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    std::vector<AEGP_Command> expected;
    for (const auto& [text, number] : cases) {
        commandQueue.Push(text);
        if (number) expected.push_back(*number);
    }
    host.CallIdleHook();
    EXPECT_EQ(host.CommandsRun(), expected);
}

TEST_F(ExecutorTest, DrainsQueuesInFixedOrder) {
    scriptQueue.Push("s()");
    infoPanelCommandQueue.Push("SetInfoColor");
    projectCommandQueue.Push("First");
    commandQueue.Push("7");
    host.SetItems({{"a"}, {"b"}});
    Cuebridge::IsScriptExecuting.store(true);
    host.CallIdleHook();
    const auto order = CallOrder();
    auto at = [&](const std::string& name) {
        return std::find(order.begin(), order.end(), name) - order.begin();
    };
    EXPECT_LT(at("AEGP_DoCommand"), at("AEGP_SelectItem"));
    EXPECT_LT(at("AEGP_SelectItem"), at("PF_InfoDrawColor"));
    EXPECT_LT(at("PF_InfoDrawColor"), at("AEGP_ExecuteScript"));
    EXPECT_FALSE(Cuebridge::IsScriptExecuting.load());
    EXPECT_TRUE(host.ThreadViolations().empty());
}

TEST_F(ExecutorTest, InfoPanelCommandsShowTheFixedValues) {
    infoPanelCommandQueue.Push("SetInfoText");
    infoPanelCommandQueue.Push("SetInfoColor");
    infoPanelCommandQueue.Push("SetInfoText\r");  // no longer matches: does nothing
    host.CallIdleHook();
    const auto info = host.Info();
    EXPECT_EQ(info.line1, "Lorem ipsum");
    EXPECT_EQ(info.line2, "dolor sit amet");
    EXPECT_EQ(info.appended, std::vector<std::string>{"Some third text"});
    ASSERT_TRUE(info.color.has_value());
    EXPECT_EQ(info.color->alpha, 1);
    EXPECT_EQ(info.color->red, 150);
    EXPECT_EQ(info.color->green, 100);
    EXPECT_EQ(info.color->blue, 50);
    EXPECT_EQ(host.CallsNamed("PF_InfoDrawText").size(), 1u);
}

TEST_F(ExecutorTest, ProjectStepsSelectWithoutWrapping) {
    host.SetItems({{"a"}, {"b"}, {"c"}});
    projectCommandQueue.Push("First");  // the item after the first one
    host.CallIdleHook();
    EXPECT_EQ(host.SelectedItems(), std::vector<int>{1});
    projectCommandQueue.Push("Next");
    host.CallIdleHook();
    EXPECT_EQ(host.SelectedItems(), std::vector<int>{2});
    projectCommandQueue.Push("Next");  // at the last item: nothing new, no wrap
    projectCommandQueue.Push("next");  // case matters: does nothing
    host.CallIdleHook();
    EXPECT_EQ(host.SelectedItems(), std::vector<int>{2});
}

TEST_F(ExecutorTest, FailingItemDoesNotStopTheNext) {
    host.RefuseSuite(kAEGPCommandSuite, kAEGPCommandSuiteVersion1);
    host.RefuseSuite(kPFAdvAppSuite, kPFAdvAppSuiteVersion2);
    host.SetItems({{"a"}, {"b"}});
    commandQueue.Push("1");
    commandQueue.Push("2");
    infoPanelCommandQueue.Push("SetInfoColor");
    projectCommandQueue.Push("First");
    scriptQueue.Push("x()");
    host.CallIdleHook();
    EXPECT_TRUE(host.CommandsRun().empty());
    // two command suites, Proj + Item, Adv App, Utility + Memory
    EXPECT_EQ(host.CallsNamed("AcquireSuite").size(), 7u) << "every item tried its own suites";
    EXPECT_EQ(host.SelectedItems(), std::vector<int>{1});
    EXPECT_EQ(host.CallsNamed("AEGP_ExecuteScript").size(), 1u);
    EXPECT_EQ(host.HeldSuites(), 1) << "only the test's own Utility reference stays held";
}

TEST_F(ExecutorTest, EmptyItemEndsTheDrainUntilTheNextCall) {
    commandQueue.Push("1");
    commandQueue.Push("");
    commandQueue.Push("3");
    host.CallIdleHook();
    EXPECT_EQ(host.CommandsRun(), std::vector<AEGP_Command>{1});
    host.CallIdleHook();
    EXPECT_EQ(host.CommandsRun(), (std::vector<AEGP_Command>{1, 3}));
}

}  // namespace
