// The listen cycle under a lasting fault: the retry pause grows and resets, and with
// no file descriptors left the socket thread retries rarely and serves again as soon
// as descriptors are free. The fault is made in a forked child, so the lowered
// descriptor limit never touches the test process.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "MarluneSocket.h"
#include "PluginTestSupport.h"
#include "TempHome.h"
#include "Tracer.h"

namespace {

using namespace std::chrono_literals;
using Cuebridge::RetryPause;
using std::chrono::milliseconds;

TEST(RetryPause, FirstRetryImmediateThenDoublingToOneSecond) {
    RetryPause pause;
    const milliseconds expected[] = {0ms,   4ms,   8ms,   16ms,   32ms,   64ms,
                                     128ms, 256ms, 512ms, 1000ms, 1000ms, 1000ms};
    for (const auto want : expected) EXPECT_EQ(pause.AfterFailure(), want);
    for (int i = 0; i < 1000; ++i) pause.AfterFailure();
    EXPECT_EQ(pause.AfterFailure(), 1000ms) << "stays capped however long the fault lasts";
}

TEST(RetryPause, SuccessStartsAfresh) {
    RetryPause pause;
    for (int i = 0; i < 5; ++i) pause.AfterFailure();
    pause.AfterSuccess();
    EXPECT_EQ(pause.AfterFailure(), 0ms);
    EXPECT_EQ(pause.AfterFailure(), 4ms);
}

// Echoes every field list as "<a^b^c>"; needs no host.
class EchoSocket : public Cuebridge::MarluneSocket {
public:
    EchoSocket() {
        SetDispatcher([](std::vector<std::string> fields) {
            std::string reply = "<";
            for (std::size_t i = 0; i < fields.size(); ++i) reply += (i ? "^" : "") + fields[i];
            return reply + ">";
        });
    }
    std::string ProcessMessage(std::string) override { return {}; }
};

int CountFailureTraces(const std::filesystem::path& traces) {
    std::istringstream lines(testsupport::ReadFile(traces));
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        if (line.find("failed with error") != std::string::npos) ++count;
    return count;
}

// Child body: takes every descriptor below a lowered limit, starts the socket thread
// with tracing into `traces`, frees the descriptors when the parent writes to `release`
// and exits when the parent closes it. Never returns.
[[noreturn]] void RunServerWithoutDescriptors(const std::filesystem::path& traces, int release) {
    const int traceFd = open(traces.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (traceFd < 0 || dup2(traceFd, STDOUT_FILENO) < 0) _exit(10);
    close(traceFd);
    setvbuf(stdout, nullptr, _IOLBF, 0);  // the parent reads the traces as they come
    Cuebridge::Tracer::SetTracing(true);

    // The sanitizers check an object's type through a pipe the first time they meet it,
    // so the socket and its thread are met while descriptors are left; the thread waits
    // on standard output (its first trace) until every descriptor is taken.
    Cuebridge::MarluneSocket* socket = new EchoSocket;  // lives until _exit, like the listener
    if (socket->HasPendingTail()) _exit(13);
    flockfile(stdout);
    socket->StartListening(0);
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

class ListenBackoffTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (toChild_ >= 0) close(toChild_);
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
    }
    void StartChild() {
        std::filesystem::create_directories(home_.ServiceFolder() / "PluginData/AfterEffects");
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        child_ = fork();
        ASSERT_GE(child_, 0);
        if (child_ == 0) {
            close(pipeFds[1]);
            RunServerWithoutDescriptors(traces_, pipeFds[0]);
        }
        close(pipeFds[0]);
        toChild_ = pipeFds[1];
    }

    TempHome home_;
    std::filesystem::path traces_ = home_.Path() / "traces.txt";
    pid_t child_ = -1;
    int toChild_ = -1;
};

TEST_F(ListenBackoffTest, NoDescriptorsLeftRetriesRarelyAndServesOnceTheyAreFree) {
    StartChild();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return CountFailureTraces(traces_) > 0; }))
        << "the lowered limit must make the listen cycle fail";
    std::this_thread::sleep_for(2s);
    const int failures = CountFailureTraces(traces_);
    // Immediate retry, then 4 ms doubling to 1 s: about a dozen cycles in two seconds.
    // Retrying at once would fail thousands of times in the same window.
    std::printf("[ figures ] %d failed listen cycles in 2 s without descriptors\n", failures);
    EXPECT_GE(failures, 5);
    EXPECT_LE(failures, 20);

    ASSERT_EQ(write(toChild_, "x", 1), 1);  // the fault goes away
    const auto portFile = home_.ServiceFolder() / "PluginData/AfterEffects/socket.port";
    const std::string port = testsupport::WaitForFile(portFile, 5000ms);
    ASSERT_FALSE(port.empty()) << "the server must listen again once descriptors are free";
    testsupport::Client client(std::stoi(port));
    ASSERT_TRUE(client.Connected());
    client.Send("7|Menu|2\n");
    EXPECT_EQ(client.Read(10), "<7^Menu^2>");
}

}  // namespace
