// The host actions and hooks of the plug-in, called directly on this thread (the host's main
// thread) without the entry point: the Project panel steps against the simulated host's
// project in process, and the C entry points when allocations fail.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "HostContext.h"
#include "MarlunePlugin.h"
#include "PluginEntry.h"
#include "ThreadSafeQueue.h"
#include "Wait.h"
#include "core/Host.h"
#include "core/Suites.h"

namespace {

// Allocations on this thread fail while it is raised, as they would with no memory left.
thread_local bool failAllocations = false;

}  // namespace

// The replacement allocates with malloc, so its deletes free with free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (failAllocations) throw std::bad_alloc();
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#pragma GCC diagnostic pop

namespace {

using hostsim::ItemSetup;
using nlohmann::json;

// "Next" past the last item or with no active item, and "First" with no item after the first,
// select nothing and hand the host no null item; the others select as the host shows.
TEST(ProjectSteps, SelectWhatFollowsOrNothingAndNeverPassANullItem) {
    const ItemSetup one{1, "One", AEGP_ItemType_FOLDER, 0, false, {}};
    const ItemSetup two{2, "Two", AEGP_ItemType_FOLDER, 0, false, {}};
    const ItemSetup three{3, "Three", AEGP_ItemType_FOLDER, 0, false, {}};
    const struct {
        const char* what;
        std::vector<ItemSetup> items;
        std::int32_t active;
        bool first;                 // "First", else "Next"
        std::int32_t active_after;  // 0: none
    } cases[] = {
        {"First in a three-item project", {one, two, three}, 3, true, 2},
        {"First in a one-item project", {one}, 0, true, 0},
        {"First in an empty project", {}, 0, true, 0},
        {"Next from the first", {one, two, three}, 1, false, 2},
        {"Next from the last", {one, two, three}, 3, false, 3},
        {"Next with no active item", {one, two, three}, 0, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        hostsim::Host host({}, {}, hostsim::ProjectSetup{c.items, c.active});
        host.GetJournal().KeepInMemory();
        Cuebridge::sP = hostsim::Suites::Basic();
        Cuebridge::MarlunePlugin plugin;
        if (c.first) {
            plugin.SelectFirstProjectItem();
        } else {
            plugin.SelectNextProjectItem();
        }
        for (const auto& line : host.GetJournal().Lines()) {
            EXPECT_EQ(line["result"], 0) << line.dump();
            EXPECT_NE(line["args"].value("item", json(0)), nullptr) << line.dump();
        }
        EXPECT_EQ(host.GetProject().ActiveItemId(), c.active_after);
        Cuebridge::sP = nullptr;
    }
}

// With no memory left, the entry point and the idle hook return to the host instead of
// letting the failure unwind into it; a script requested meanwhile stops waiting for an idle
// call that will never come.
TEST(CEntryPoints, NoExceptionLeavesThemWhenAllocationsFail) {
    Cuebridge::commandQueue.Push("not a number");
    A_Err idle = -1;
    A_Err entry = 0;
    bool idleThrew = false;
    bool entryThrew = false;
    failAllocations = true;  // nothing that allocates until it is lowered, not even a check
    try {
        idle = Cuebridge::IdleHook(nullptr, nullptr, nullptr);
    } catch (...) {
        idleThrew = true;
    }
    failAllocations = false;
    std::string script;
    std::atomic<bool> answered{false};
    std::thread requester([&] {
        std::string error;
        Cuebridge::MarlunePlugin().ExecuteScript("1", script, error);
        answered = true;
    });
    ASSERT_TRUE(testkit::WaitFor("the script on its queue",
                                 [] { return !Cuebridge::scriptQueue.Empty(); }));
    failAllocations = true;
    try {
        entry = EntryPointFunc(nullptr, 0, 0, 1, nullptr);
    } catch (...) {
        entryThrew = true;
    }
    failAllocations = false;
    if (testkit::WaitFor("the requester's answer", [&] { return answered.load(); }))
        requester.join();
    else
        requester.detach();
    EXPECT_EQ(script, Cuebridge::NoIdleHookError());
    EXPECT_FALSE(idleThrew);
    EXPECT_FALSE(entryThrew);
    EXPECT_EQ(idle, 0);
    EXPECT_NE(entry, 0);
}

}  // namespace
