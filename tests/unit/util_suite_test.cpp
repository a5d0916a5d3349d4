// Suite acquisition on behalf of an effect call, the drawbot set, and the walk to the
// first layer of the first composition, against the fake host.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "AEFX_SuiteHelper.h"
#include "AEGP_Utils.h"
#include "FakeHost.h"

namespace {

int formatCalls = 0;

// The host's formatting callback as an effect sees it: an unbounded sprintf.
A_long CountingSprintf(A_char* buffer, const A_char* format, ...) {
    ++formatCalls;
    va_list args;
    va_start(args, format);
    const int written = std::vsprintf(buffer, format, args);
    va_end(args);
    return written;
}

// Input and output records of one effect call, wired to a fake host.
struct EffectCall {
    explicit EffectCall(SPBasicSuite* basic) {
        utils.ansi.sprintf = CountingSprintf;
        in.pica_basicP = basic;
        in.utils = &utils;
        out.return_msg[0] = '\0';
        formatCalls = 0;
    }
    bool ShowsError() const { return (out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0; }
    std::string Message() const { return out.return_msg; }

    PF_UtilCallbacks utils{};
    PF_InData in{};
    PF_OutData out{};
};

TEST(AcquireSuite, HandsOutTheTableWithoutReporting) {
    fakehost::FakeHost host;
    EffectCall call(host.Basic());
    call.out.out_flags = 0x4;  // flags already set by the effect stay as they are
    const void* suite = nullptr;
    EXPECT_EQ(AEFX_AcquireSuite(&call.in, &call.out, "AEGP Item Suite", 10, nullptr, &suite), 0);
    EXPECT_NE(suite, nullptr);
    EXPECT_EQ(host.AcquireCount("AEGP Item Suite", 10), 1);
    EXPECT_EQ(call.out.out_flags, 0x4);
    EXPECT_EQ(formatCalls, 0);
    EXPECT_EQ(AEFX_ReleaseSuite(&call.in, &call.out, "AEGP Item Suite", 10, nullptr), 0);
    EXPECT_EQ(host.ReleaseCount("AEGP Item Suite", 10), 1);
    EXPECT_EQ(host.HeldSuites(), 0);
}

TEST(AcquireSuite, ReportsFailuresByCodeFlagAndMessage) {
    fakehost::FakeHost host;
    host.RefuseSuite("AEGP Item Suite", 10);
    const std::string longMessage(400, 'm');
    struct Case {
        const char* what;
        bool withBasic;
        const char* message;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {"refused, default message", true, nullptr, "Not able to acquire AEFX Suite."},
        {"refused, own message", true, "no item suite", "no item suite"},
        {"no basic suite", false, nullptr, "Not able to acquire AEFX Suite."},
        {"percent signs shown as written", true, "50% %s %n%d", "50% %s %n%d"},
        {"long message cut to the buffer", true, longMessage.c_str(), std::string(255, 'm')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EffectCall call(c.withBasic ? host.Basic() : nullptr);
        const void* suite = &call;  // a stale pointer must not survive a failure
        EXPECT_EQ(AEFX_AcquireSuite(&call.in, &call.out, "AEGP Item Suite", 10, c.message, &suite),
                  516);
        EXPECT_EQ(suite, nullptr);
        EXPECT_TRUE(call.ShowsError());
        EXPECT_EQ(call.Message(), c.shown);
        EXPECT_EQ(formatCalls, 1);
    }
    EXPECT_EQ(host.HeldSuites(), 0);
}

TEST(AcquireSuite, WorksWithoutOutputRecordOrFormatter) {
    fakehost::FakeHost host;
    host.RefuseSuite("AEGP Comp Suite", 9);
    const void* suite = nullptr;
    EffectCall call(host.Basic());
    EXPECT_EQ(AEFX_AcquireSuite(&call.in, nullptr, "AEGP Comp Suite", 9, nullptr, &suite), 516);
    EXPECT_EQ(AEFX_AcquireSuite(nullptr, nullptr, "AEGP Comp Suite", 9, nullptr, &suite), 516);
    call.utils.ansi.sprintf = nullptr;
    EXPECT_EQ(AEFX_AcquireSuite(&call.in, &call.out, "AEGP Comp Suite", 9, "plain", &suite), 516);
    EXPECT_EQ(call.Message(), "plain");
    EXPECT_EQ(AEFX_AcquireSuite(&call.in, &call.out, "AEGP Comp Suite", 9, nullptr, nullptr), 514);
}

// A host that reports an error yet hands out a table: the error wins.
int staleTable = 0;
SPErr RefuseButFill(const char*, int32_t, const void** suite) {
    *suite = &staleTable;
    return 1;
}
SPErr ReleaseNothing(const char*, int32_t) { return 0; }

TEST(AcquireSuite, HostErrorWinsOverAFilledTable) {
    SPBasicSuite basic{RefuseButFill, ReleaseNothing};
    EffectCall call(&basic);
    const void* suite = nullptr;
    EXPECT_EQ(AEFX_AcquireSuite(&call.in, &call.out, "AEGP Item Suite", 10, nullptr, &suite), 516);
    EXPECT_EQ(suite, nullptr);
    EXPECT_TRUE(call.ShowsError());
}

TEST(ReleaseSuite, FailsOnlyWithoutBasicSuite) {
    EffectCall call(nullptr);
    EXPECT_EQ(AEFX_ReleaseSuite(&call.in, &call.out, "AEGP Item Suite", 10, nullptr), 516);
    EXPECT_TRUE(call.ShowsError());
    EXPECT_EQ(call.Message(), "Not able to release AEFX Suite.");
    EffectCall own(nullptr);
    EXPECT_EQ(AEFX_ReleaseSuite(&own.in, &own.out, "AEGP Item Suite", 10, "gone"), 516);
    EXPECT_EQ(own.Message(), "gone");
}

struct DrawbotPair {
    const char* name;
    int version;
};
const DrawbotPair kDrawbot[] = {{"DRAWBOT Draw Suite", 1},
                                {"DRAWBOT Supplier Suite", 1},
                                {"DRAWBOT Surface Suite", 2},
                                {"DRAWBOT Path Suite", 1}};

TEST(DrawbotSuites, AcquiresAllFourInOrderAndReleasesThem) {
    fakehost::FakeHost host;
    EffectCall call(host.Basic());
    DRAWBOT_Suites set{};
    EXPECT_EQ(AEFX_AcquireDrawbotSuites(&call.in, &call.out, &set), 0);
    EXPECT_NE(set.drawbot_suiteP, nullptr);
    EXPECT_NE(set.supplier_suiteP, nullptr);
    EXPECT_NE(set.surface_suiteP, nullptr);
    EXPECT_NE(set.path_suiteP, nullptr);
    const auto acquires = host.CallsNamed("AcquireSuite");
    ASSERT_EQ(acquires.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(acquires[i].args, (std::vector<std::string>{
                                        kDrawbot[i].name, std::to_string(kDrawbot[i].version)}));
    }
    EXPECT_EQ(AEFX_ReleaseDrawbotSuites(&call.in, &call.out), 0);
    EXPECT_EQ(host.HeldSuites(), 0);
    EXPECT_FALSE(call.ShowsError());
}

TEST(DrawbotSuites, StopsAtTheFirstRefusal) {
    for (std::size_t refused = 0; refused < 4; ++refused) {
        SCOPED_TRACE(kDrawbot[refused].name);
        fakehost::FakeHost host;
        host.RefuseSuite(kDrawbot[refused].name, kDrawbot[refused].version);
        EffectCall call(host.Basic());
        DRAWBOT_Suites set{};
        EXPECT_EQ(AEFX_AcquireDrawbotSuites(&call.in, &call.out, &set), 516);
        EXPECT_TRUE(call.ShowsError());
        EXPECT_EQ(call.Message(), "Not able to acquire AEFX Suite.");
        EXPECT_EQ(host.CallsNamed("AcquireSuite").size(), refused + 1);
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(host.AcquireCount(kDrawbot[i].name, kDrawbot[i].version),
                      i < refused ? 1 : 0);
        }
        const void* slots[] = {set.drawbot_suiteP, set.supplier_suiteP, set.surface_suiteP,
                               set.path_suiteP};
        for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(slots[i] != nullptr, i < refused) << i;
    }
}

TEST(DrawbotSuites, NullSetIsRefusedWithMessage) {
    fakehost::FakeHost host;
    EffectCall call(host.Basic());
    EXPECT_EQ(AEFX_AcquireDrawbotSuites(&call.in, &call.out, nullptr), 514);
    EXPECT_TRUE(call.ShowsError());
    EXPECT_EQ(call.Message(), "NULL suite pointer passed to AEFX_AcquireDrawbotSuites");
    EXPECT_TRUE(host.CallsNamed("AcquireSuite").empty());
}

TEST(DrawbotSuites, ReleaseGoesOnPastMissingBasicSuite) {
    EffectCall call(nullptr);
    EXPECT_EQ(AEFX_ReleaseDrawbotSuites(&call.in, &call.out), 0);
    EXPECT_EQ(formatCalls, 4);  // one report per release attempted
}

// ---- the walk to the first layer -----------------------------------------------------

AEGP_LayerH FakeLayer(fakehost::FakeHost& host, int compIndex) {
    // The fake's layer handle: the composition's handle advanced by 1 + layer index.
    return reinterpret_cast<AEGP_LayerH>(reinterpret_cast<char*>(host.ItemHandle(compIndex)) + 1);
}

std::vector<std::string> TypeQueries(fakehost::FakeHost& host) {
    std::vector<std::string> items;  // item index as text, "-1" for the null item
    for (const auto& call : host.CallsNamed("AEGP_GetItemType")) items.push_back(call.args.at(0));
    return items;
}

TEST(FirstLayer, WalkCases) {
    using fakehost::Item;
    const Item folder{"Folder", AEGP_ItemType_FOLDER, 0};
    const Item footage{"Clip", AEGP_ItemType_FOOTAGE, 0};
    struct Case {
        const char* what;
        std::vector<Item> items;
        A_Err err;
        int layerFrom;  // index of the composition whose first layer is expected, or -1
        std::vector<std::string> typeQueries;
        std::size_t layerQueries;
    };
    const std::vector<Case> cases = {
        {"composition after other items",
         {folder, footage, {"Main", AEGP_ItemType_COMP, 3}, {"Second", AEGP_ItemType_COMP, 1}},
         0,
         2,
         {"0", "1", "2"},
         1},
        {"composition first", {{"Main", AEGP_ItemType_COMP, 1}, folder}, 0, 0, {"0"}, 1},
        {"composition without layers",
         {folder, {"Empty", AEGP_ItemType_COMP, 0}},
         0,
         -1,
         {"0", "1"},
         0},
        // The end of the project is a null item; its type query fails in the fake host,
        // and that failure is the result.
        {"empty project", {}, A_Err_PARAMETER, -1, {"-1"}, 0},
        {"no composition", {folder, footage}, A_Err_PARAMETER, -1, {"0", "1", "-1"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fakehost::FakeHost host;
        host.SetItems(c.items);
        AEGP_LayerH untouched = reinterpret_cast<AEGP_LayerH>(&host);
        AEGP_LayerH layer = untouched;
        EXPECT_EQ(GetNewFirstLayerInFirstComp(host.Basic(), &layer), c.err);
        EXPECT_EQ(layer, c.layerFrom >= 0 ? FakeLayer(host, c.layerFrom) : untouched);
        EXPECT_EQ(TypeQueries(host), c.typeQueries);
        EXPECT_EQ(host.CallsNamed("AEGP_GetCompLayerByIndex").size(), c.layerQueries);
        EXPECT_EQ(host.HeldSuites(), 0);
    }
}

TEST(FirstLayer, UsesTheExpectedSuiteVersions) {
    fakehost::FakeHost host;
    host.SetItems({{"Main", AEGP_ItemType_COMP, 2}});
    AEGP_LayerH layer = nullptr;
    ASSERT_EQ(GetNewFirstLayerInFirstComp(host.Basic(), &layer), 0);
    const DrawbotPair used[] = {{"AEGP Proj Suite", 8},
                                {"AEGP Item Suite", 13},
                                {"AEGP Item Suite", 10},
                                {"AEGP Comp Suite", 9},
                                {"AEGP Layer Suite", 11}};
    for (const auto& pair : used) {
        EXPECT_EQ(host.AcquireCount(pair.name, pair.version), 1) << pair.name << pair.version;
        EXPECT_EQ(host.ReleaseCount(pair.name, pair.version), 1) << pair.name << pair.version;
    }
    EXPECT_EQ(host.CallsNamed("AcquireSuite").size(), 5u);
}

TEST(FirstLayer, RefusedSuiteThrowsAfterReleasingTheRest) {
    fakehost::FakeHost host;
    host.SetItems({{"Main", AEGP_ItemType_COMP, 2}});
    host.RefuseSuite("AEGP Layer Suite", 11);
    AEGP_LayerH layer = nullptr;
    int thrown = 0;
    try {
        GetNewFirstLayerInFirstComp(host.Basic(), &layer);
    } catch (int code) {
        thrown = code;
    }
    EXPECT_EQ(thrown, 516);
    EXPECT_EQ(layer, nullptr);
    EXPECT_EQ(host.AcquireCount("AEGP Comp Suite", 9), 1);
    EXPECT_EQ(host.HeldSuites(), 0);
}

TEST(FirstLayer, RefusesMissingBasicSuiteOrLayerAddress) {
    AEGP_LayerH layer = nullptr;
    int thrown = 0;
    try {
        GetNewFirstLayerInFirstComp(nullptr, &layer);
    } catch (int code) {
        thrown = code;
    }
    EXPECT_EQ(thrown, 516);
    fakehost::FakeHost host;
    EXPECT_EQ(GetNewFirstLayerInFirstComp(host.Basic(), nullptr), A_Err_PARAMETER);
    EXPECT_TRUE(host.CallsNamed("AcquireSuite").empty());
}

}  // namespace
