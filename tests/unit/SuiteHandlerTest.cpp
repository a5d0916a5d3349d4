#include <gtest/gtest.h>

#include <set>
#include <string>

#include "AEGP_SuiteHandler.h"
#include "FakeHost.h"

namespace {

// Catches the int a suite failure throws; -1 when nothing was thrown.
template <typename Fn>
int ThrownCode(Fn fn) {
    try {
        fn();
    } catch (int code) {
        return code;
    }
    return -1;
}

struct AccessorCase {
    const char* accessor;
    void* (*call)(const AEGP_SuiteHandler&);
    const char* name;
    int version;
};

#define ACCESSOR(fn) #fn, [](const AEGP_SuiteHandler& h) -> void* { return h.fn(); }

TEST(SuiteHandler, EachAccessorAsksForItsExactSuiteOnceAndReleasesItOnce) {
    const AccessorCase cases[] = {
        {ACCESSOR(AdvAppSuite2), "PF AE Adv App Suite", 2},
        {ACCESSOR(AppSuite6), "PF AE App Suite", 1},
        {ACCESSOR(CommandSuite1), "AEGP Command Suite", 1},
        {ACCESSOR(CompSuite4), "AEGP Comp Suite", 9},
        {ACCESSOR(ItemSuite6), "AEGP Item Suite", 10},
        {ACCESSOR(ItemSuite8), "AEGP Item Suite", 13},
        {ACCESSOR(ItemSuite9), "AEGP Item Suite", 14},
        {ACCESSOR(LayerSuite5), "AEGP Layer Suite", 11},
        {ACCESSOR(MemorySuite1), "AEGP Memory Suite", 1},
        {ACCESSOR(ProjSuite5), "AEGP Proj Suite", 8},
        {ACCESSOR(ProjSuite6), "AEGP Proj Suite", 9},
        {ACCESSOR(RegisterSuite5), "AEGP Register Suite", 6},
        {ACCESSOR(UtilitySuite3), "AEGP Utility Suite", 7},
        {ACCESSOR(UtilitySuite6), "AEGP Utility Suite", 13},
    };
    for (const AccessorCase& c : cases) {
        SCOPED_TRACE(c.accessor);
        fakehost::FakeHost host;
        {
            AEGP_SuiteHandler handler(host.Basic());
            void* first = c.call(handler);
            EXPECT_NE(first, nullptr);
            EXPECT_EQ(c.call(handler), first);
            EXPECT_EQ(host.AcquireCount(c.name, c.version), 1);
            EXPECT_EQ(host.ReleaseCount(c.name, c.version), 0);
            ASSERT_EQ(host.CallsNamed("AcquireSuite").size(), 1u);
        }
        EXPECT_EQ(host.ReleaseCount(c.name, c.version), 1);
        EXPECT_EQ(host.HeldSuites(), 0);
    }
}

TEST(SuiteHandler, ItemSuiteVersionsAreSeparateAcquisitions) {
    fakehost::FakeHost host;
    {
        AEGP_SuiteHandler handler(host.Basic());
        handler.ItemSuite8();
        handler.ItemSuite9();
    }
    EXPECT_EQ(host.AcquireCount("AEGP Item Suite", 13), 1);
    EXPECT_EQ(host.AcquireCount("AEGP Item Suite", 14), 1);
    EXPECT_EQ(host.ReleaseCount("AEGP Item Suite", 13), 1);
    EXPECT_EQ(host.ReleaseCount("AEGP Item Suite", 14), 1);
}

TEST(SuiteHandler, RefusedSuiteThrows516AndEarlierSuitesAreStillReleased) {
    fakehost::FakeHost host;
    host.RefuseSuite("AEGP Command Suite", 1);
    const int code = ThrownCode([&] {
        AEGP_SuiteHandler handler(host.Basic());
        handler.MemorySuite1();
        handler.CommandSuite1();
    });
    EXPECT_EQ(code, 516);
    EXPECT_EQ(host.ReleaseCount("AEGP Memory Suite", 1), 1);
    EXPECT_EQ(host.ReleaseCount("AEGP Command Suite", 1), 0);
    EXPECT_EQ(host.HeldSuites(), 0);
}

TEST(SuiteHandler, RefusedSuiteIsAskedAgainOnTheNextCall) {
    fakehost::FakeHost host;
    host.RefuseSuite("AEGP Comp Suite", 9);
    AEGP_SuiteHandler handler(host.Basic());
    EXPECT_EQ(ThrownCode([&] { handler.CompSuite4(); }), 516);
    EXPECT_EQ(ThrownCode([&] { handler.CompSuite4(); }), 516);
    EXPECT_EQ(host.CallsNamed("AcquireSuite").size(), 2u);
}

TEST(SuiteHandler, NullBasicSuiteThrows516) {
    EXPECT_EQ(ThrownCode([] { AEGP_SuiteHandler handler(nullptr); }), 516);
}

TEST(SuiteHandler, UnusedHandlerReleasesNothing) {
    fakehost::FakeHost host;
    { AEGP_SuiteHandler handler(host.Basic()); }
    EXPECT_TRUE(host.Calls().empty());
}

TEST(SuiteHandler, KnowsEachOfItsPairsOnce) {
    const auto& known = AEGP_SuiteHandler::KnownSuites();
    std::set<std::pair<std::string, int>> unique;
    for (const auto& pair : known) unique.emplace(std::string(pair.name), pair.version);
    EXPECT_EQ(unique.size(), known.size());
    EXPECT_EQ(known.front().name, "AEGP Marker Suite");
    EXPECT_EQ(known.back().name, "SP Suites Suite");
}

TEST(SuiteHandler, ReleasesInKnownOrder) {
    fakehost::FakeHost host;
    {
        AEGP_SuiteHandler handler(host.Basic());
        handler.UtilitySuite6();   // listed late
        handler.CommandSuite1();   // listed earlier
        handler.RegisterSuite5();  // listed earliest of the three
    }
    const auto releases = host.CallsNamed("ReleaseSuite");
    ASSERT_EQ(releases.size(), 3u);
    EXPECT_EQ(releases[0].args[0], "AEGP Register Suite");
    EXPECT_EQ(releases[1].args[0], "AEGP Command Suite");
    EXPECT_EQ(releases[2].args[0], "AEGP Utility Suite");
}

}  // namespace
