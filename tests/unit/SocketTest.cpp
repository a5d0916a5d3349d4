// The socket server with an echoing dispatcher: it refuses HTTP, writes its port file
// through no link and gives up on a refused write, publishes its port once it can and under
// the home it was given at start, and with no descriptors left it retries rarely and serves
// again once they are free. (Framing is checked by
// replaying the receive fuzz target's corpus against its model; loopback, one connection
// at a time, the private folder and the half-close by the plug-in's test in the host.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "Loopback.h"
#include "MarluneSocket.h"
#include "TempHome.h"
#include "Tracer.h"
#include "Wait.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Echoes every field list as "<a^b^c>".
class EchoSocket : public Cuebridge::MarluneSocket {
public:
    EchoSocket() {
        SetDispatcher([this](std::vector<std::string> fields) {
            ++dispatched;
            std::string reply = "<";
            for (std::size_t i = 0; i < fields.size(); ++i) reply += (i ? "^" : "") + fields[i];
            return reply + ">";
        });
    }
    std::string ProcessMessage(std::string) override { return {}; }
    std::atomic<int> dispatched{0};
};

// Request lines by their method or by their ending, and the Host header, close the
// connection before anything after them runs; look-alikes are ordinary messages.
TEST(HttpRefusal, RequestLinesAndHostHeadersCloseTheConnection) {
    const struct {
        std::string bytes;
        bool keptOpen;
        int dispatched;
    } cases[] = {
        {"1|a|b\nPOST /run HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n2|ExecuteCommand|2004\n", false, 1},
        {"hOsT: localhost\n1|a|b\n", false, 0},
        {"GET /1|ExecuteCommand|2004 HTTP/1.0\n", false, 0},            // no Host line follows
        {"1|ExecuteCommand|2004 / HTTP/1.1\r\nHost: x\r\n", false, 0},  // curl -X
        {"get / HTTP/2\n", false, 0},
        {"1|Script|x HTTP/1.1\n", false, 0},
        {"1|Script|'HTTP/1.1'\n", true, 1},
        {"1|Script|x HTTP/\n", true, 1},
        {"1|Script|x HTTP/1.1;\n", true, 1},
    };
    for (const auto& c : cases) {
        EchoSocket socket;
        EXPECT_EQ(socket.HandleReceived(-1, c.bytes), c.keptOpen) << c.bytes;
        EXPECT_EQ(socket.dispatched, c.dispatched) << c.bytes;
    }
}

// ---- the port file ---------------------------------------------------------------------------

// Whatever lies at the port file's name, the port ends up in a file of this user's alone, and
// nothing behind a link is ever written.
TEST(PortFile, ReplacesWhateverIsThereWithAPrivateFileAndWritesThroughNoLink) {
    const struct {
        const char* what;
        std::function<void(const fs::path& portFile, const fs::path& precious)> place;
    } cases[] = {
        {"nothing", [](const fs::path&, const fs::path&) {}},
        {"a symbolic link to a file",
         [](const fs::path& portFile, const fs::path& precious) {
             fs::create_symlink(precious, portFile);
         }},
        {"a symbolic link to nothing",
         [](const fs::path& portFile, const fs::path& precious) {
             fs::create_symlink(precious.string() + ".new", portFile);
         }},
        {"a hard link", [](const fs::path& portFile,
                           const fs::path& precious) { fs::create_hard_link(precious, portFile); }},
        {"another user's file open to all",
         [](const fs::path& portFile, const fs::path&) {
             std::ofstream(portFile) << "65535";
             chmod(portFile.c_str(), 0666);
             if (geteuid() == 0) {
                 EXPECT_EQ(chown(portFile.c_str(), 65534, 65534), 0);
             }
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempHome home;
        const fs::path folder = home.Path() / "port";
        fs::create_directories(folder);
        const fs::path portFile = folder / "socket.port";
        const fs::path precious = home.Path() / "precious";
        std::ofstream(precious) << "precious data";
        c.place(portFile, precious);

        EXPECT_TRUE(Cuebridge::WritePortFile(portFile.string(), 45303));
        struct stat info {};
        ASSERT_EQ(lstat(portFile.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, 0600u);
        EXPECT_EQ(info.st_uid, geteuid());
        EXPECT_EQ(info.st_nlink, 1u);
        EXPECT_EQ(ReadFile(portFile), "45303");
        EXPECT_EQ(ReadFile(precious), "precious data");
        EXPECT_FALSE(fs::exists(precious.string() + ".new"));
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename());
        EXPECT_EQ(names, std::vector<std::string>{"socket.port"}) << "nothing else is left";
    }
}

// A write the system refuses (here: past the file-size limit, as on a full disk) fails the
// publication at once and leaves nothing behind; it is not retried in a loop. In a child, so
// that the limit never touches the test process and a write that loops cannot hang the test.
TEST(PortFile, ARefusedWriteFailsAtOnceAndLeavesNothing) {
    TempHome home;
    const fs::path portFile = home.Path() / "socket.port";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG
        const rlimit limit{2, 2};  // the first write is cut short, the next refused
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
        _exit(Cuebridge::WritePortFile(portFile.string(), 45303) ? 0 : 1);
    }
    int status = -1;
    const bool ended = testkit::WaitFor("the writer to give up",
                                        [&] { return waitpid(child, &status, WNOHANG) == child; });
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    ASSERT_TRUE(ended);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "status " << status;
    EXPECT_TRUE(fs::is_empty(home.Path())) << "a port file or a temporary one was left";
}

// ---- no descriptors left ------------------------------------------------------------------

int CountFailureTraces(const fs::path& traces) {
    std::istringstream lines(ReadFile(traces));
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        count += line.find("failed with error") != std::string::npos;
    return count;
}

// Child body: takes every descriptor below a lowered limit, starts the socket thread
// with tracing into `traces`, frees the descriptors when the parent writes to `release`
// and exits when the parent closes it. The limit never touches the test process.
[[noreturn]] void RunServerWithoutDescriptors(const fs::path& traces, int release) {
    const int traceFd = open(traces.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (traceFd < 0 || dup2(traceFd, STDOUT_FILENO) < 0) _exit(10);
    close(traceFd);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    Cuebridge::Tracer::SetTracing(true);
    // The sanitizers inspect a type through a pipe the first time they meet it, so the
    // socket and its thread are met while descriptors are left; the thread waits on
    // standard output (its first trace) until every descriptor is taken.
    Cuebridge::MarluneSocket* socket = new EchoSocket;  // lives until _exit
    if (socket->HasPendingTail()) _exit(13);
    flockfile(stdout);
    socket->StartListening(0, Cuebridge::HomeFolder());
    std::this_thread::sleep_for(100ms);
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = 64;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(11);
    std::vector<int> fillers;
    fillers.reserve(64);
    for (int fd; (fd = dup(STDERR_FILENO)) >= 0;) fillers.push_back(fd);
    funlockfile(stdout);
    char signal;
    if (read(release, &signal, 1) != 1) _exit(12);
    for (int fd : fillers) close(fd);
    while (read(release, &signal, 1) > 0) {
    }
    _exit(0);
}

TEST(ListenBackoff, NoDescriptorsLeftRetriesRarelyAndServesOnceTheyAreFree) {
    TempHome home;
    const fs::path portFolder = home.ServiceFolder() / "PluginData/AfterEffects";
    fs::create_directories(portFolder);
    const fs::path traces = home.Path() / "traces.txt";
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[1]);
        RunServerWithoutDescriptors(traces, pipeFds[0]);
    }
    close(pipeFds[0]);
    std::unique_ptr<void, std::function<void(void*)>> reaper(&home, [&](void*) {
        close(pipeFds[1]);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    });

    ASSERT_TRUE(testkit::WaitFor("a failed listen cycle under the lowered limit",
                                 [&] { return CountFailureTraces(traces) > 0; }));
    std::this_thread::sleep_for(2s);
    // Immediate retry, then 4 ms doubling to 1 s: about a dozen cycles in two seconds.
    // Retrying at once would fail thousands of times in the same window.
    const int failures = CountFailureTraces(traces);
    std::printf("[ figures ] %d failed listen cycles in 2 s without descriptors\n", failures);
    EXPECT_GE(failures, 5);
    EXPECT_LE(failures, 20);

    ASSERT_EQ(write(pipeFds[1], "x", 1), 1);  // the fault goes away
    std::string port;
    ASSERT_TRUE(testkit::WaitFor("a port file once descriptors are free", [&] {
        return !(port = ReadFile(portFolder / "socket.port")).empty();
    }));
    int fd = -1;
    ASSERT_TRUE(testkit::WaitFor("a connection to port " + port,
                                 [&] { return (fd = ConnectTo(std::stoi(port))) >= 0; }));
    ASSERT_EQ(send(fd, "7|Menu|2\n", 9, 0), 9);
    EXPECT_EQ(ReadFrom(fd, 10), "<7^Menu^2>");
    close(fd);
}

// ---- the port file's life -------------------------------------------------------------------
// (after the tests that fork: these leave socket threads running in the test process, and a
// child forked from a process with threads may not start threads of its own under tsan)

// A socket thread of its own, in the test process for good (it never ends), publishing under
// `home`.
EchoSocket* StartEchoSocket(const std::string& home) {
    auto* socket = new EchoSocket;
    socket->StartListening(0, home);
    return socket;
}

// The port the file names once it exists as a file and differs from notPort; 0 on timeout.
int WaitForPortFile(const fs::path& portFile, int notPort = 0) {
    int port = 0;
    testkit::WaitFor("a port file at " + portFile.string(), [&] {
        const std::string text = fs::is_regular_file(portFile) ? ReadFile(portFile) : "";
        port = text.empty() ? 0 : std::stoi(text);
        return port != 0 && port != notPort;
    });
    return port;
}

// A port file that cannot be written at first is written as soon as the way is clear, while
// the socket waits for a controller (before, it listened unpublished for the host's life).
TEST(PortFileLife, PublishedAsSoonAsItCanBeWritten) {
    const struct {
        const char* what;
        std::function<void(const fs::path&folder)> block, clear;
    } cases[] = {
        {"the service's data folder appears late", [](const fs::path&) {},
         [](const fs::path& folder) { fs::create_directories(folder.parent_path()); }},
        {"a file stands where the folder goes",
         [](const fs::path& folder) {
             fs::create_directories(folder.parent_path());
             std::ofstream(folder) << "x";
         },
         [](const fs::path& folder) { fs::remove(folder); }},
        {"a folder stands where the file goes",
         [](const fs::path& folder) { fs::create_directories(folder / "socket.port"); },
         [](const fs::path& folder) { fs::remove(folder / "socket.port"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempHome home;
        const fs::path folder = home.ServiceFolder() / "PluginData/AfterEffects";
        fs::create_directories(home.ServiceFolder());
        c.block(folder);
        StartEchoSocket(home.Path());
        std::this_thread::sleep_for(300ms);
        EXPECT_FALSE(fs::is_regular_file(folder / "socket.port"));
        c.clear(folder);
        const int port = WaitForPortFile(folder / "socket.port");
        ASSERT_GT(port, 0);
        ExpectReply(port, "7|Menu|2\n", "<7^Menu^2>");
    }
}

// HOME is taken once, when the socket starts: a later change (a script in the host may set
// the environment) moves nothing, and the socket thread never reads the environment.
TEST(PortFileLife, StaysUnderTheHomeGivenAtStart) {
    TempHome first;
    const fs::path portFile = Cuebridge::Protocol::PortFilePath(first.Path().string());
    fs::create_directories(fs::path(portFile).parent_path());
    StartEchoSocket(Cuebridge::HomeFolder());
    const int port = WaitForPortFile(portFile);
    ASSERT_GT(port, 0);
    TempHome second;  // HOME now names another folder, with a port file folder of its own
    const fs::path elsewhere = Cuebridge::Protocol::PortFilePath(second.Path().string());
    fs::create_directories(fs::path(elsewhere).parent_path());
    ExpectReply(port, "7|Menu|2\n", "<7^Menu^2>");
    EXPECT_GT(WaitForPortFile(portFile, port), 0) << "the next cycle's port file";
    EXPECT_FALSE(fs::exists(elsewhere));
}

// A controller that reads the port file the moment it appears is never refused: the file is
// written only once the socket listens.
TEST(PortFileLife, AFreshPortFileIsNeverRefused) {
    TempHome home;
    const fs::path portFile = Cuebridge::Protocol::PortFilePath(home.Path().string());
    fs::create_directories(fs::path(portFile).parent_path());
    StartEchoSocket(home.Path());
    int refused = 0;
    for (int cycle = 0, port = 0; cycle < 200; ++cycle) {
        std::string text;
        for (const auto until = std::chrono::steady_clock::now() + 5s;
             std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(50us)) {
            text = ReadFile(portFile);  // read as often as a controller could
            if (!text.empty() && std::stoi(text) != port) break;
        }
        ASSERT_FALSE(text.empty() || std::stoi(text) == port)
            << "no new port file, cycle " << cycle;
        port = std::stoi(text);
        int fd = ConnectTo(port, 2000);
        refused += fd < 0;
        if (fd < 0)  // it listens a moment later: connect then, to end this cycle
            testkit::WaitFor("port " + text + " to accept",
                             [&] { return (fd = ConnectTo(port, 200)) >= 0; });
        if (fd >= 0) close(fd);
    }
    std::printf("[ figures ] %d of 200 fresh ports refused\n", refused);
    EXPECT_EQ(refused, 0) << "of 200 ports connected to as soon as they were published";
}

}  // namespace
