// Abuse: whatever reaches the port, the real plug-in in the simulated host keeps the
// host healthy. After each kind of abuse a new connection is served correctly, the
// host's main thread still answers and calls the idle hook, no host call came from the
// wrong thread, every suite taken was given back, and nothing ran that was not asked
// for: no menu command, no Info panel or selection change, no script beyond ours.
#include <functional>
#include <random>

#include "SoakSupport.h"

namespace {

using namespace soak;

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
    std::function<int(Controller&)> act;
};

// A query on the same connection is answered, and nothing else is sent back.
void ExpectOnlyAnswer(Controller& controller, const std::string& tag) {
    EXPECT_EQ(controller.Ask(tag + "|GetAfterEffectLanguage\n", tag + "|en_US"), tag + "|en_US");
    EXPECT_TRUE(controller.Quiet());
}

const std::size_t kGarbageBytes = std::size_t{4} << 20;
const std::size_t kLongLineBytes = std::size_t{8} << 20;

const Abuse kAbuses[] = {
    {"random binary bytes",
     [](Controller& c) {
         c.Send(RandomBytes(kGarbageBytes, 7));
         return 0;
     }},
    {"zero bytes",
     [](Controller& c) {
         c.Send(std::string(std::size_t{1} << 20, '\0'));
         return 0;
     }},
    {"a line of several MiB without a line feed, then a query",
     [](Controller& c) {
         c.Send(std::string(kLongLineBytes, 'A'));
         std::this_thread::sleep_for(100ms);
         c.Send("\n");
         ExpectOnlyAnswer(c, "long");
         return 0;
     }},
    {"an HTTP request",
     [](Controller& c) {
         c.Send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n");
         EXPECT_TRUE(c.ClosedByPeer()) << "the plug-in must hang up on HTTP";
         return 0;
     }},
    {"an HTTP request whose body holds a command",
     [](Controller& c) {
         c.Send(
             "POST /run HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
             "22\r\n\r\n1|ExecuteCommand|2488\n");
         EXPECT_TRUE(c.ClosedByPeer());
         return 0;
     }},
    {"thousands of empty lines, then a query",
     [](Controller& c) {
         c.Send(std::string(10000, '\n'));
         ExpectOnlyAnswer(c, "empty");
         return 0;
     }},
    {"messages of only bars, then a query",
     [](Controller& c) {
         c.Send("|\n||\n|||\n" + std::string(100000, '|') + "\n");
         ExpectOnlyAnswer(c, "bars");
         return 0;
     }},
    {"a disconnect in the middle of a message",
     [](Controller& c) {
         c.Send("5|ExecuteComm");
         c.Close();
         return 0;
     }},
    {"a disconnect while a script is running",
     [](Controller& c) {
         c.Send("9|Script|var t = Date.now(); while (Date.now() - t < 300) {} 'slow'\n");
         std::this_thread::sleep_for(50ms);  // the script has started on the main thread
         c.Close();
         return 1;
     }},
};

TEST(Abuse, EveryKindLeavesTheHostHealthyAndNothingRunsUnasked) {
    HostProcess host = PluginHost();
    ASSERT_TRUE(host.WaitForPort(20s)) << host.Stderr();
    int port = -1;
    long idleCalls = -1;
    int scripts = 1;  // the start-up job's effects script
    ASSERT_NO_FATAL_FAILURE(ExpectServesNewConnection(host, port, "first"));
    ++scripts;
    const nlohmann::json before = host.State();

    std::size_t garbage = 0;
    for (const Abuse& abuse : kAbuses) {
        SCOPED_TRACE(abuse.name);
        const auto start = std::chrono::steady_clock::now();
        {
            Controller controller;
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

    const nlohmann::json after = host.State();
    EXPECT_TRUE(after["commands_run"].empty()) << after["commands_run"].dump();
    EXPECT_EQ(after["info"], before["info"]);
    EXPECT_EQ(after["items"], before["items"]) << "the selection changed";
    EXPECT_EQ(after["active_item"], before["active_item"]);
    auto calls = host.CallCounts();
    EXPECT_EQ(calls["AEGP_ExecuteScript"], scripts);
    EXPECT_EQ(calls["AEGP_DoCommand"], 0);
    EXPECT_EQ(calls["AEGP_SelectItem"], 0);
    EXPECT_EQ(calls["AcquireSuite"], calls["ReleaseSuite"] + 1);
    std::printf("[ figures ] %zu kinds of abuse, %zu bytes of garbage, %d scripts\n",
                std::size(kAbuses), garbage, scripts);
    EXPECT_EQ(host.Quit(), 0) << host.Stderr();
}

}  // namespace
