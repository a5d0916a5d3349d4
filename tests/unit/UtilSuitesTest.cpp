// The utilities that take suites on the caller's behalf: the suite handler, suite
// acquisition for an effect call, the drawbot set (against a small counting basic suite),
// and the walk to the first layer (against the simulated host's project, in process).
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "AEFX_SuiteHelper.h"
#include "AEGP_SuiteHandler.h"
#include "AEGP_Utils.h"
#include "core/Host.h"
#include "core/Suites.h"

namespace {

// A basic suite that serves every pair but the refused ones and logs each call as
// "+name/version" (served), "!name/version" (refused) or "-name/version" (released).
// Reset() starts a test afresh.
struct CountingBasic {
    static inline std::vector<std::string> calls;
    static inline std::set<std::string> refused;
    static inline int table = 0;

    static std::string Key(const char* name, int32_t version) {
        return std::string(name) + "/" + std::to_string(version);
    }
    static SPErr Acquire(const char* name, int32_t version, const void** suite) {
        const bool served = refused.count(Key(name, version)) == 0;
        calls.push_back((served ? "+" : "!") + Key(name, version));
        *suite = served ? &table : nullptr;
        return served ? 0 : 516;
    }
    static SPErr Release(const char* name, int32_t version) {
        calls.push_back("-" + Key(name, version));
        return 0;
    }
    static SPBasicSuite* Reset(std::set<std::string> refuse = {}) {
        static SPBasicSuite basic{Acquire, Release};
        calls.clear();
        refused = std::move(refuse);
        return &basic;
    }
};

template <typename Fn>
int ThrownCode(Fn fn) {
    try {
        fn();
    } catch (int code) {
        return code;
    }
    return -1;
}

#define ACCESSOR(fn) #fn, [](const AEGP_SuiteHandler& h) -> void* { return h.fn(); }

TEST(SuiteHandler, EachAccessorTakesItsExactSuiteOnceAndGivesItBack) {
    const struct {
        const char* accessor;
        void* (*call)(const AEGP_SuiteHandler&);
        const char* pair;
    } cases[] = {
        {ACCESSOR(AdvAppSuite2), "PF AE Adv App Suite/2"},
        {ACCESSOR(AppSuite6), "PF AE App Suite/1"},
        {ACCESSOR(CommandSuite1), "AEGP Command Suite/1"},
        {ACCESSOR(CompSuite4), "AEGP Comp Suite/9"},
        {ACCESSOR(ItemSuite6), "AEGP Item Suite/10"},
        {ACCESSOR(ItemSuite8), "AEGP Item Suite/13"},
        {ACCESSOR(ItemSuite9), "AEGP Item Suite/14"},
        {ACCESSOR(LayerSuite5), "AEGP Layer Suite/11"},
        {ACCESSOR(MemorySuite1), "AEGP Memory Suite/1"},
        {ACCESSOR(ProjSuite5), "AEGP Proj Suite/8"},
        {ACCESSOR(ProjSuite6), "AEGP Proj Suite/9"},
        {ACCESSOR(RegisterSuite5), "AEGP Register Suite/6"},
        {ACCESSOR(UtilitySuite3), "AEGP Utility Suite/7"},
        {ACCESSOR(UtilitySuite6), "AEGP Utility Suite/13"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.accessor);
        SPBasicSuite* basic = CountingBasic::Reset();
        {
            AEGP_SuiteHandler handler(basic);
            void* first = c.call(handler);
            EXPECT_NE(first, nullptr);
            EXPECT_EQ(c.call(handler), first);
        }
        EXPECT_EQ(CountingBasic::calls,
                  (std::vector<std::string>{std::string("+") + c.pair, std::string("-") + c.pair}));
    }
}

TEST(SuiteHandler, RefusedSuiteThrows516AfterReleasingTheOnesTakenBefore) {
    SPBasicSuite* basic = CountingBasic::Reset({"AEGP Command Suite/1"});
    const int code = ThrownCode([&] {
        AEGP_SuiteHandler handler(basic);
        handler.MemorySuite1();
        handler.CommandSuite1();
    });
    EXPECT_EQ(code, 516);
    EXPECT_EQ(CountingBasic::calls,
              (std::vector<std::string>{"+AEGP Memory Suite/1", "!AEGP Command Suite/1",
                                        "-AEGP Memory Suite/1"}));
    EXPECT_EQ(ThrownCode([] { AEGP_SuiteHandler handler(nullptr); }), 516);
}

// ---- suites on behalf of an effect call ------------------------------------------------

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

struct EffectCall {
    explicit EffectCall(SPBasicSuite* basic) {
        utils.ansi.sprintf = CountingSprintf;
        in.pica_basicP = basic;
        in.utils = &utils;
        formatCalls = 0;
    }
    bool ShowsError() const { return (out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0; }
    std::string Message() const { return out.return_msg; }

    PF_UtilCallbacks utils{};
    PF_InData in{};
    PF_OutData out{};
};

TEST(AcquireSuite, HandsOutTheTableSilentlyOrReportsByCodeFlagAndMessage) {
    SPBasicSuite* basic = CountingBasic::Reset();
    EffectCall good(basic);
    const void* suite = nullptr;
    EXPECT_EQ(AEFX_AcquireSuite(&good.in, &good.out, "AEGP Item Suite", 10, nullptr, &suite), 0);
    EXPECT_NE(suite, nullptr);
    EXPECT_FALSE(good.ShowsError());
    EXPECT_EQ(formatCalls, 0);
    EXPECT_EQ(AEFX_ReleaseSuite(&good.in, &good.out, "AEGP Item Suite", 10, nullptr), 0);
    EXPECT_EQ(CountingBasic::calls,
              (std::vector<std::string>{"+AEGP Item Suite/10", "-AEGP Item Suite/10"}));

    CountingBasic::refused = {"AEGP Item Suite/10"};
    const std::string longMessage(400, 'm');
    const struct {
        const char* what;
        bool withBasic;
        const char* message;
        std::string shown;
    } cases[] = {
        {"refused, default message", true, nullptr, "Not able to acquire AEFX Suite."},
        {"refused, own message", true, "no item suite", "no item suite"},
        {"no basic suite", false, nullptr, "Not able to acquire AEFX Suite."},
        {"percent signs shown as written", true, "50% %s %n%d", "50% %s %n%d"},
        {"long message cut to the buffer", true, longMessage.c_str(), std::string(255, 'm')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EffectCall call(c.withBasic ? basic : nullptr);
        const void* stale = &call;  // a stale pointer must not survive a failure
        EXPECT_EQ(AEFX_AcquireSuite(&call.in, &call.out, "AEGP Item Suite", 10, c.message, &stale),
                  516);
        EXPECT_EQ(stale, nullptr);
        EXPECT_TRUE(call.ShowsError());
        EXPECT_EQ(call.Message(), c.shown);
        EXPECT_EQ(formatCalls, 1);
    }
    EffectCall noBasic(nullptr);
    EXPECT_EQ(AEFX_ReleaseSuite(&noBasic.in, &noBasic.out, "AEGP Item Suite", 10, "gone"), 516);
    EXPECT_EQ(noBasic.Message(), "gone");
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

TEST(DrawbotSuites, TakesAllFourInOrderAndStopsAtTheFirstRefusal) {
    const char* pairs[] = {"DRAWBOT Draw Suite/1", "DRAWBOT Supplier Suite/1",
                           "DRAWBOT Surface Suite/2", "DRAWBOT Path Suite/1"};
    for (std::size_t refused = 0; refused <= 4; ++refused) {
        SCOPED_TRACE(refused);
        SPBasicSuite* basic = CountingBasic::Reset(
            refused < 4 ? std::set<std::string>{pairs[refused]} : std::set<std::string>{});
        EffectCall call(basic);
        DRAWBOT_Suites set{};
        EXPECT_EQ(AEFX_AcquireDrawbotSuites(&call.in, &call.out, &set), refused < 4 ? 516 : 0);
        EXPECT_EQ(call.ShowsError(), refused < 4);
        std::vector<std::string> expected;
        for (std::size_t i = 0; i <= std::min<std::size_t>(refused, 3); ++i)
            expected.push_back((i == refused ? "!" : "+") + std::string(pairs[i]));
        EXPECT_EQ(CountingBasic::calls, expected);
        const void* slots[] = {set.drawbot_suiteP, set.supplier_suiteP, set.surface_suiteP,
                               set.path_suiteP};
        for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(slots[i] != nullptr, i < refused) << i;
        if (refused == 4) {
            EXPECT_EQ(AEFX_ReleaseDrawbotSuites(&call.in, &call.out), 0);
            std::set<std::string> released, expected;
            for (const char* pair : pairs) expected.insert(std::string("-") + pair);
            for (const auto& call : CountingBasic::calls) {
                if (call[0] == '-') {
                    EXPECT_TRUE(released.insert(call).second) << call;
                }
            }
            EXPECT_EQ(released, expected);
        }
    }
}

// ---- the walk to the first layer, in the simulated host's project ----------------------

TEST(FirstLayer, WalksToTheFirstCompositionWithLayers) {
    using hostsim::ItemSetup;
    const ItemSetup folder{1, "Folder", AEGP_ItemType_FOLDER, 0, false, {}};
    const ItemSetup clip{2, "Clip", AEGP_ItemType_FOOTAGE, 0, false, {}};
    const struct {
        const char* what;
        std::vector<ItemSetup> items;
        A_Err err;
        int layerOf;  // id of the composition whose first layer is expected, or 0
        std::vector<nlohmann::json> typeQueries;
    } cases[] = {
        {"composition after other items",
         {folder,
          clip,
          {3, "Main", AEGP_ItemType_COMP, 0, false, {"a", "b"}},
          {4, "Second", AEGP_ItemType_COMP, 0, false, {"c"}}},
         0,
         3,
         {1, 2, 3}},
        {"composition without layers",
         {folder, {3, "Empty", AEGP_ItemType_COMP, 0, false, {}}},
         0,
         0,
         {1, 3}},
        // The end of the project is the null item; the host refuses its type, and that
        // refusal is the result.
        {"empty project", {}, A_Err_PARAMETER, 0, {nullptr}},
        {"no composition", {folder, clip}, A_Err_PARAMETER, 0, {1, 2, nullptr}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        hostsim::Host host({}, {}, hostsim::ProjectSetup{c.items, 0});
        host.GetJournal().KeepInMemory();
        AEGP_LayerH untouched = reinterpret_cast<AEGP_LayerH>(&host);
        AEGP_LayerH layer = untouched;
        EXPECT_EQ(GetNewFirstLayerInFirstComp(hostsim::Suites::Basic(), &layer), c.err);
        std::vector<nlohmann::json> typeQueries, layerQueries;
        for (const auto& line : host.GetJournal().Lines()) {
            if (line["call"] == "AEGP_GetItemType") typeQueries.push_back(line["args"]["item"]);
            if (line["call"] == "AEGP_GetCompLayerByIndex")
                layerQueries.push_back(line["args"]["comp"]);
        }
        EXPECT_EQ(typeQueries, c.typeQueries);
        EXPECT_EQ(layerQueries, c.layerOf ? std::vector<nlohmann::json>{c.layerOf}
                                          : std::vector<nlohmann::json>{});
        EXPECT_EQ(layer == untouched, c.layerOf == 0);
        for (const auto& [pair, count] : host.RecordsCopy().suitesHeld)
            EXPECT_EQ(count, 0) << pair.first << " " << pair.second;
    }
    EXPECT_EQ(GetNewFirstLayerInFirstComp(CountingBasic::Reset(), nullptr), A_Err_PARAMETER);
}

// A host whose every answer is scripted: a folder (item 1), then a composition (item 2) with
// one layer. The call numbered `failing` in the walk's order returns error 7 yet fills its
// result as if it had worked, so that only the error code can stop the walk there.
struct ScriptedWalk {
    static inline std::vector<std::string> calls;
    static inline std::size_t failing = 0;
    static inline int items[2] = {};
    static inline int comp = 0, project = 0, layer = 0;

    static A_Err Step(const char* name) {
        calls.push_back(name);
        return calls.size() == failing ? 7 : 0;
    }
    static AEGP_ItemH Item(int index) { return reinterpret_cast<AEGP_ItemH>(&items[index]); }
    static A_Err Project(A_long, AEGP_ProjectH* out) {
        *out = reinterpret_cast<AEGP_ProjectH>(&project);
        return Step("project");
    }
    static A_Err First(AEGP_ProjectH, AEGP_ItemH* out) {
        *out = Item(0);
        return Step("first");
    }
    static A_Err Next(AEGP_ProjectH, AEGP_ItemH, AEGP_ItemH* out) {
        *out = Item(1);
        return Step("next");
    }
    static A_Err Type(AEGP_ItemH item, AEGP_ItemType* out) {
        *out = item == Item(1) ? AEGP_ItemType_COMP : AEGP_ItemType_FOLDER;
        return Step("type");
    }
    static A_Err Comp(AEGP_ItemH, AEGP_CompH* out) {
        *out = reinterpret_cast<AEGP_CompH>(&comp);
        return Step("comp");
    }
    static A_Err NumLayers(AEGP_CompH, A_long* out) {
        *out = 1;
        return Step("layers");
    }
    static A_Err Layer(AEGP_CompH, A_long, AEGP_LayerH* out) {
        *out = reinterpret_cast<AEGP_LayerH>(&layer);
        return Step("layer");
    }
    static SPErr Acquire(const char* name, int32_t, const void** suite) {
        static AEGP_ProjSuite5 projects{nullptr, Project};
        static AEGP_ItemSuite9 itemSuite{First, Next, nullptr, nullptr, nullptr, Type};
        static AEGP_CompSuite4 comps{Comp};
        static AEGP_LayerSuite5 layers{NumLayers, Layer};
        const std::string suiteName = name;
        *suite = suiteName == kAEGPProjSuite   ? static_cast<const void*>(&projects)
                 : suiteName == kAEGPItemSuite ? static_cast<const void*>(&itemSuite)
                 : suiteName == kAEGPCompSuite ? static_cast<const void*>(&comps)
                                               : static_cast<const void*>(&layers);
        return 0;
    }
    static SPErr Release(const char*, int32_t) { return 0; }
};

TEST(FirstLayer, AnErrorAtAnyStepEndsTheWalkWithThatError) {
    const std::vector<std::string> walk = {"project", "first", "type",   "next",
                                           "type",    "comp",  "layers", "layer"};
    SPBasicSuite basic{ScriptedWalk::Acquire, ScriptedWalk::Release};
    for (std::size_t failing = 0; failing <= walk.size(); ++failing) {  // 0: none fails
        SCOPED_TRACE(failing);
        ScriptedWalk::calls.clear();
        ScriptedWalk::failing = failing;
        AEGP_LayerH layer = nullptr;
        EXPECT_EQ(GetNewFirstLayerInFirstComp(&basic, &layer), failing ? 7 : 0);
        const auto asked = failing ? failing : walk.size();
        EXPECT_EQ(ScriptedWalk::calls, std::vector(walk.begin(), walk.begin() + asked));
        EXPECT_EQ(layer != nullptr, failing == 0 || failing == walk.size());
    }
}

}  // namespace
