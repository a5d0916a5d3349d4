// Soak: the real plug-in in the simulated host over many connections, commands and
// scripts on loopback. Every command runs exactly once and in order, every script
// gives its own result, and the host's descriptors and resident memory are the same
// at the end as after a warm-up; the suites taken are given back and no host call
// comes from the wrong thread. CUEBRIDGE_SOAK_SCALE divides the counts (sanitizers).
#include <sstream>

#include "SoakSupport.h"

namespace {

using namespace soak;

// Growth of the resident set allowed between warm-up and end: allocator slack, not
// a leak (a leak of a few hundred bytes per command or script would exceed it).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr long kRssSlackKiB = 64 * 1024;  // sanitizer quarantines and shadow memory
#else
constexpr long kRssSlackKiB = 4 * 1024;
#endif

class SoakTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host().WaitForPort(20s)) << host().Stderr();
        ASSERT_NO_FATAL_FAILURE(ExpectServesNewConnection(host(), port_, "warm"));
        Rebaseline();
    }

    // Takes the host's descriptors and resident memory as they are now, listening. The
    // host's answer to "state" lists every command it ran and building it moves the
    // resident set: the baseline is taken after one, the end measure before one.
    void Rebaseline() {
        NextPort(host(), port_);
        ASSERT_NO_FATAL_FAILURE(ExpectHostHealthy(host(), idleCalls_));
        descriptors_ = OpenDescriptors(host().Pid());
        residentKiB_ = ResidentKiB(host().Pid());
    }

    // The end of every soak: still serving, nothing accumulated, every suite given back.
    void ExpectServingAndFlat() {
        ASSERT_NO_FATAL_FAILURE(ExpectServesNewConnection(host(), port_, "end"));
        ExpectFlat();
    }
    void ExpectFlat() {
        NextPort(host(), port_);
        const int descriptors = OpenDescriptors(host().Pid());
        const long resident = ResidentKiB(host().Pid());
        ASSERT_NO_FATAL_FAILURE(ExpectHostHealthy(host(), idleCalls_));
        EXPECT_EQ(descriptors, descriptors_);
        EXPECT_LE(resident - residentKiB_, kRssSlackKiB)
            << "resident " << residentKiB_ << " KiB -> " << resident;
        const auto calls = host_.CallCounts();
        const int acquired = calls.count("AcquireSuite") ? calls.at("AcquireSuite") : 0;
        const int released = calls.count("ReleaseSuite") ? calls.at("ReleaseSuite") : 0;
        EXPECT_EQ(acquired, released + 1)
            << "only the Utility suite is kept for the plug-in's life";
        std::printf(
            "[ figures ] descriptors %d -> %d, resident %ld KiB -> %ld KiB, suites %d acquired / "
            "%d released\n",
            descriptors_, descriptors, residentKiB_, resident, acquired, released);
    }

    HostProcess& host() { return host_; }
    // Connects to the port published after the last connection used.
    bool Connect(Controller& controller) {
        port_ = NextPort(host(), port_);
        return port_ > 0 && controller.Connect(port_);
    }

    HostProcess host_ = PluginHost();
    int port_ = -1;  // of the last connection used
    long idleCalls_ = -1;
    int descriptors_ = 0;
    long residentKiB_ = 0;
};

TEST_F(SoakTest, ConnectDisconnectCycles) {
    const int cycles = Scaled(1000);
    for (int i = 0; i < cycles; ++i) {
        Controller controller;
        ASSERT_TRUE(Connect(controller)) << "cycle " << i;
        if (i % 100 == 0) {  // now and then a question before hanging up
            const std::string tag = "c" + std::to_string(i);
            EXPECT_EQ(controller.Ask(tag + "|GetAfterEffectLanguage\n", tag + "|en_US"),
                      tag + "|en_US");
        }
        controller.Close();
    }
    std::printf("[ figures ] %d connect/disconnect cycles\n", cycles);
    ExpectServingAndFlat();
}

// Two rounds of the same pipeline: the first lifts the queues and the allocators to
// their working size, the second must not grow the host any further.
TEST_F(SoakTest, PipelinedMenuCommandsRunOnceInOrder) {
    const int commands = Scaled(20000, 100);
    constexpr int kFirst = 10000;  // clear of the numbers the plug-in acts on itself
    auto runRound = [&](int round) {
        std::string pipeline;
        for (int i = 0; i < commands; ++i)
            pipeline += std::to_string(i) + "|ExecuteCommand|" +
                        std::to_string(kFirst + round * commands + i) + "\n";
        Controller controller;
        ASSERT_TRUE(Connect(controller));
        controller.Send(pipeline);
        // Waits on the journal, not the console: a state listing thousands of commands
        // would itself grow the host's memory before it is measured.
        const int total = (round + 1) * commands;
        const auto until = std::chrono::steady_clock::now() + 300s;
        while (static_cast<int>(host().Calls("AEGP_DoCommand").size()) < total &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(200ms);
        std::this_thread::sleep_for(300ms);  // a command run twice would show up now
        EXPECT_TRUE(controller.Quiet()) << "menu commands are not answered";
    };
    ASSERT_NO_FATAL_FAILURE(runRound(0));
    ASSERT_NO_FATAL_FAILURE(Rebaseline());
    ASSERT_NO_FATAL_FAILURE(runRound(1));
    ExpectServingAndFlat();

    const std::vector<nlohmann::json> run = host().Calls("AEGP_DoCommand");
    ASSERT_EQ(static_cast<int>(run.size()), 2 * commands);
    int outOfPlace = 0;
    for (int i = 0; i < 2 * commands; ++i)
        if (run[i]["args"]["command"] != kFirst + i || run[i]["thread"] != "main") ++outOfPlace;
    EXPECT_EQ(outOfPlace, 0) << "commands lost, repeated, out of order or off the main thread";
    EXPECT_EQ(host().State()["commands_run"].size(), static_cast<std::size_t>(2 * commands));
    std::printf("[ figures ] 2 x %d pipelined menu commands, each run once in order\n", commands);
}

TEST_F(SoakTest, ScriptsInARowGiveTheirResults) {
    const int scripts = Scaled(1000);
    {
        Controller controller;
        ASSERT_TRUE(Connect(controller));
        int wrong = 0;
        for (int i = 0; i < scripts; ++i) {
            const std::string tag = std::to_string(i);
            const std::string expected = tag + "|" + std::to_string(i * 3 + 1) + "-s";
            const std::string reply =
                controller.Ask(tag + "|Script|var n = " + tag + "; (n * 3 + 1) + '-s'\n", expected);
            if (reply != expected) {
                ++wrong;
                ADD_FAILURE() << "script " << i << ": " << reply;
                if (reply.empty()) break;  // the connection is gone: no point going on
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_TRUE(controller.Quiet()) << "nothing beyond the replies";
    }
    // The start-up job's effects script, the warm-up script, and ours.
    EXPECT_EQ(host().Calls("AEGP_ExecuteScript").size(), static_cast<std::size_t>(scripts + 2));
    std::printf("[ figures ] %d scripts in a row with checked results\n", scripts);
    ExpectServingAndFlat();
}

}  // namespace
