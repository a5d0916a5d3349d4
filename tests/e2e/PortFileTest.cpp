// The port file's life seen from outside, with simulated hosts as child processes: it belongs
// to the host that wrote it, so several hosts under one home never remove or overwrite each
// other's, a host waiting for a controller publishes again when another withdrew the file,
// and a host that exits normally leaves none behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "HostProcess.h"
#include "Loopback.h"
#include "TempHome.h"
#include "Wait.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A simulated host with the plug-in under the given HOME, shared with the others.
using Host = hostsim::HostProcess;
Host UnderHome(const fs::path& home) {
    return Host(HOSTSIM_PATH, {"--plugin", CUEBRIDGE_PLUGIN_PATH}, false,
                {{"HOME", home.string()}});
}

// The port the host's plug-in listens on (0 while none).
int ListeningPort(const Host& host) {
    const auto sockets = ListeningSockets(std::to_string(host.Pid()));
    return sockets.empty() ? 0 : sockets.begin()->second;
}

// SIGTERM, the host's normal way out, then its exit code (-1 when it did not end in time).
int Stop(Host& host) {
    host.Signal(SIGTERM);
    return host.WaitExit();
}

// The port the file names: 0 when there is none.
int NamedPort(const fs::path& portFile) {
    const std::string text = ReadFile(portFile);
    return text.empty() ? 0 : std::stoi(text);
}

// Waits until the file names a port other than notPort that the host listens on.
int WaitForOwnPortFile(const fs::path& portFile, const Host& host, int notPort = 0) {
    int port = 0;
    const bool named = testkit::WaitFor("a port file naming the host's port", [&] {
        port = NamedPort(portFile);
        return port != 0 && port != notPort && port == ListeningPort(host);
    });
    return named ? port : 0;
}

TEST(PortFileLife, HostsUnderOneHomeLeaveEachOthersPortFileAlone) {
    TempHome home;
    fs::create_directories(home.ServiceFolder() / "PluginData");
    const fs::path portFile = home.ServiceFolder() / "PluginData/AfterEffects/socket.port";
    Host a = UnderHome(home.Path());
    const int portA = WaitForOwnPortFile(portFile, a);
    Host b = UnderHome(home.Path());
    const int portB = WaitForOwnPortFile(portFile, b);
    ASSERT_GT(portB, 0);

    // A's session ends: A listens again, and B's file is neither removed nor overwritten.
    ASSERT_NO_FATAL_FAILURE(ExpectReply(portA, "1|GetAfterEffectLanguage\n", "1|en_US"));
    ASSERT_TRUE(testkit::WaitFor("host A to listen again", [&] {
        return ListeningPort(a) != 0 && ListeningPort(a) != portA;
    }));
    std::this_thread::sleep_for(2 * 250ms);  // two looks at the port file by A
    EXPECT_EQ(NamedPort(portFile), portB) << "B's port file after A's session";

    // B exits: its file goes, and A, waiting for a controller, publishes its own again.
    EXPECT_EQ(Stop(b), 0);
    const int portA2 = WaitForOwnPortFile(portFile, a, portB);
    ASSERT_GT(portA2, 0) << "A's port file after B's exit";
    ASSERT_NO_FATAL_FAILURE(ExpectReply(portA2, "1|GetAfterEffectLanguage\n", "1|en_US"));

    // C takes the file; A exits and leaves C's file alone; C exits and leaves no file.
    Host c = UnderHome(home.Path());
    const int portC = WaitForOwnPortFile(portFile, c);
    ASSERT_GT(portC, 0);
    EXPECT_EQ(Stop(a), 0);
    EXPECT_EQ(NamedPort(portFile), portC) << "C's port file after A's exit";
    EXPECT_EQ(Stop(c), 0);
    EXPECT_FALSE(fs::exists(portFile)) << "a port file after the last host's normal exit";
}

}  // namespace
