// Tests of the benchmark's own machinery where a fault would skew a figure unseen: the
// statistics, exact-length reads of unterminated replies, and
// the command-stamp reader.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "StampReader.h"
#include "Stats.h"
#include "Wire.h"

namespace cuebridge_bench {
namespace {

std::vector<double> OneToN(int n) {
    std::vector<double> values;
    for (int i = n; i >= 1; --i) values.push_back(i);  // unsorted on purpose
    return values;
}

TEST(Summary, NearestRankPercentiles) {
    struct Case {
        std::vector<double> samples;
        double p50, p99, max;
    };
    const std::vector<Case> cases = {
        {OneToN(100), 50, 99, 100}, {OneToN(1000), 500, 990, 1000}, {{7}, 7, 7, 7},
        {{3, 1}, 1, 3, 3},          {OneToN(10), 5, 10, 10},
    };
    for (const auto& c : cases) {
        const Summary s = Summarize(c.samples);
        EXPECT_EQ(s.count, c.samples.size());
        EXPECT_DOUBLE_EQ(s.p50, c.p50) << c.samples.size() << " samples";
        EXPECT_DOUBLE_EQ(s.p99, c.p99) << c.samples.size() << " samples";
        EXPECT_DOUBLE_EQ(s.max, c.max) << c.samples.size() << " samples";
    }
    const Summary empty = Summarize({});
    EXPECT_EQ(empty.count, 0u);
    EXPECT_EQ(empty.max, 0);
}

// A reply without a terminator, written in pieces, is read as exactly its length.
TEST(Wire, ReadsExactLengthsAcrossPiecesAndSeesTheEnd) {
    LoopbackListener listener;
    std::thread server([&listener] {
        Wire peer = listener.Accept();
        peer.SendAll("q|en");
        std::this_thread::sleep_for(20ms);
        peer.SendAll("_USs|2");
        std::this_thread::sleep_for(20ms);
        peer.SendAll("tail");
    });
    Wire client;
    ASSERT_TRUE(client.Connect(listener.Port()));
    EXPECT_EQ(client.ReadExactly(7), "q|en_US");
    EXPECT_EQ(client.ReadExactly(3), "s|2");
    EXPECT_EQ(client.ReadQuiet(5s, 100ms), "tail");
    server.join();
    EXPECT_EQ(client.ReadExactly(1), "");  // the peer closed
    EXPECT_EQ(client.ReadQuiet(100ms, 10ms), "");
}

std::string FifoPath(const char* name) {
    return ::testing::TempDir() + name + std::to_string(getpid());
}

// Stamps arrive in arbitrary pieces, with other commands' stamps in between.
TEST(StampReader, FindsTheStampOfTheAskedCommand) {
    StampReader reader(FifoPath("stamps-a"));
    std::thread host([] {
        const int fd = open(FifoPath("stamps-a").c_str(), O_WRONLY);
        const std::string pieces[] = {"10 100\n11 2", "00\n", "garbage\n12 3", "00\n12 301\n"};
        for (const auto& piece : pieces) {
            [[maybe_unused]] auto n = write(fd, piece.data(), piece.size());
            std::this_thread::sleep_for(5ms);
        }
        close(fd);
    });
    EXPECT_EQ(reader.WaitFor(11), 200);  // 10's stamp is skipped
    EXPECT_EQ(reader.WaitFor(12), 300);
    EXPECT_EQ(reader.WaitFor(12), 301);
    EXPECT_THROW(reader.WaitFor(13), std::runtime_error);  // the writer closed
    host.join();
}

}  // namespace
}  // namespace cuebridge_bench
