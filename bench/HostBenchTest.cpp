// End-to-end checks of the benchmark's host measurements with small sample counts:
// replies are the expected ones, command stamps arrive and precede nothing impossible,
// and a pipelined burst is counted by the host in full.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "HostBench.h"

namespace cuebridge_bench {
namespace {

HostSetup HostWith(int effects) { return {HOSTSIM_PATH, CUEBRIDGE_PLUGIN_PATH, effects}; }

TEST(HostBench, InteractiveFiguresComeFromRealReplies) {
    const Interactive result = MeasureInteractive(HostWith(25), 20, 5);
    EXPECT_EQ(result.queryReply, "q|en_US");
    EXPECT_EQ(result.scriptReply, "s|2");
    EXPECT_EQ(result.query.size(), 20u);
    EXPECT_EQ(result.script.size(), 20u);
    EXPECT_EQ(result.command.size(), 20u);
    EXPECT_EQ(result.effects.size(), 5u);
    // "e|" and 25 records, each with its two bars and the "*|*" terminator.
    EXPECT_GT(result.effectsReplyBytes, 2u + 25u * 7u);
    // A command is stamped by the host after it was sent, never before.
    EXPECT_GT(*std::min_element(result.command.begin(), result.command.end()), 0.0);
}

TEST(HostBench, ThroughputCountsEveryCommand) {
    const auto rates =
        MeasureThroughput(HostWith(3), 2000, 2);  // throws unless the host ran all 4000
    ASSERT_EQ(rates.size(), 2u);
    for (double rate : rates) EXPECT_GT(rate, 0.0);
}

TEST(HostBench, EffectsFileHoldsTheAskedNumber) {
    const std::string path = ::testing::TempDir() + "bench-effects.json";
    WriteEffectsFile(path, 1000);
    std::ifstream in(path);
    const auto doc = nlohmann::json::parse(in);
    ASSERT_EQ(doc.size(), 1000u);
    EXPECT_EQ(doc[999]["matchName"], "CBX Effect Match 1000");
    std::remove(path.c_str());
}

}  // namespace
}  // namespace cuebridge_bench
