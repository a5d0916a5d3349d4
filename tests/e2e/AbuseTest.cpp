// Abuse: whatever reaches the port, the real plug-in in the simulated host keeps the
// host healthy. After each kind of abuse a new connection is served correctly, the
// host's main thread still answers and calls the idle hook, no host call came from the
// wrong thread, every suite taken was given back, and nothing ran that was not asked
// for: no menu command, no Info panel or selection change, no script beyond ours.
#include <functional>
#include <random>

#include "SoakSupport.h"

namespace {

using namespace cuebridge_test;

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// One kind of abuse on a fresh connection. It may check what it sees on the
// connection; it returns the number of scripts it asked the host to run.
struct Abuse {
    const char* name;
    std::function<int(ControllerConnection&)> act;
};

// A query on the same connection is answered, and nothing else is sent back.
void ExpectOnlyAnswer(ControllerConnection& controller, const std::string& tag) {
    ASSERT_TRUE(controller.SendLine(tag + "|GetAfterEffectLanguage"));
    EXPECT_EQ(controller.ReadExactly(tag.size() + 6, 20s), tag + "|en_US");
    EXPECT_EQ(controller.ReadReply(100ms, 50ms), std::nullopt);
}

const std::size_t kGarbageBytes = std::size_t{4} << 20;
const std::size_t kLongLineBytes = std::size_t{8} << 20;

const Abuse kAbuses[] = {
    {"random binary bytes",
     [](ControllerConnection& c) {
         c.SendBytes(RandomBytes(kGarbageBytes, 7));
         return 0;
     }},
    {"zero bytes",
     [](ControllerConnection& c) {
         c.SendBytes(std::string(std::size_t{1} << 20, '\0'));
         return 0;
     }},
    {"a line of several MiB without a line feed, then a query",
     [](ControllerConnection& c) {
         c.SendBytes(std::string(kLongLineBytes, 'A'));
         std::this_thread::sleep_for(100ms);
         c.SendBytes("\n");
         ExpectOnlyAnswer(c, "long");
         return 0;
     }},
    {"an HTTP request",
     [](ControllerConnection& c) {
         c.SendBytes("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n");
         EXPECT_TRUE(c.PeerClosed()) << "the plug-in must hang up on HTTP";
         return 0;
     }},
    {"an HTTP request whose body holds a command",
     [](ControllerConnection& c) {
         c.SendBytes(
             "POST /run HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
             "22\r\n\r\n1|ExecuteCommand|2488\n");
         EXPECT_TRUE(c.PeerClosed());
         return 0;
     }},
    {"thousands of empty lines, then a query",
     [](ControllerConnection& c) {
         c.SendBytes(std::string(10000, '\n'));
         ExpectOnlyAnswer(c, "empty");
         return 0;
     }},
    {"messages of only bars, then a query",
     [](ControllerConnection& c) {
         c.SendBytes("|\n||\n|||\n" + std::string(100000, '|') + "\n");
         ExpectOnlyAnswer(c, "bars");
         return 0;
     }},
    {"a disconnect in the middle of a message",
     [](ControllerConnection& c) {
         c.SendBytes("5|ExecuteComm");
         c.Close();
         return 0;
     }},
    {"a reset in the middle of a message",
     [](ControllerConnection& c) {
         c.SendBytes("6|InfoPanelComm");
         c.Abort();
         return 0;
     }},
    {"a disconnect while a script is running",
     [](ControllerConnection& c) {
         c.SendLine("9|Script|var t = Date.now(); while (Date.now() - t < 300) {} 'slow'");
         std::this_thread::sleep_for(50ms);  // the script has started on the main thread
         c.Close();
         return 1;
     }},
};

TEST(Abuse, EveryKindLeavesTheHostHealthyAndNothingRunsUnasked) {
    PluginHost plugin;
    HostSimProcess& host = plugin.host;
    ASSERT_TRUE(host.WaitForPort(20s)) << host.Stderr();
    int port = -1;
    long idleCalls = -1;
    int scripts = 1;  // the start-up job's effects script
    ASSERT_NO_FATAL_FAILURE(ExpectServesNewConnection(host, port, "first"));
    ++scripts;
    const nlohmann::json before = State(host);

    std::size_t garbage = 0;
    for (const Abuse& abuse : kAbuses) {
        SCOPED_TRACE(abuse.name);
        const auto start = std::chrono::steady_clock::now();
        {
            ControllerConnection controller;
            port = NextPort(host, port);
            ASSERT_TRUE(controller.Connect(port));
            scripts += abuse.act(controller);
        }
        ASSERT_NO_FATAL_FAILURE(ExpectServesNewConnection(host, port, "after"));
        ++scripts;
        ASSERT_NO_FATAL_FAILURE(ExpectHostHealthy(host, idleCalls));
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        std::printf("[ figures ] %s: %lld ms\n", abuse.name, static_cast<long long>(took.count()));
    }
    garbage = kGarbageBytes + (std::size_t{1} << 20) + kLongLineBytes + 10000 + 100009;

    const nlohmann::json after = State(host);
    EXPECT_TRUE(after["commands_run"].empty()) << after["commands_run"].dump();
    EXPECT_EQ(after["info"], before["info"]);
    EXPECT_EQ(after["items"], before["items"]) << "the selection changed";
    EXPECT_EQ(after["active_item"], before["active_item"]);
    auto calls = plugin.CallCounts();
    EXPECT_EQ(calls["AEGP_ExecuteScript"], scripts);
    EXPECT_EQ(calls["AEGP_DoCommand"], 0);
    EXPECT_EQ(calls["AEGP_SelectItem"], 0);
    EXPECT_EQ(calls["AcquireSuite"], calls["ReleaseSuite"] + 1);
    std::printf("[ figures ] %zu kinds of abuse, %zu bytes of garbage, %d scripts\n",
                std::size(kAbuses), garbage, scripts);
    EXPECT_EQ(host.Quit(), 0) << host.Stderr();
}

}  // namespace
