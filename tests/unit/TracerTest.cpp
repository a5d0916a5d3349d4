#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "TempHome.h"
#include "Tracer.h"

using Cuebridge::Tracer;
namespace fs = std::filesystem;

namespace {

class TracerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Tracer::SetTracing(false);
        Tracer::SetLog(false);
        Tracer::ResetLogFileNameForTesting();
    }
    void TearDown() override { SetUp(); }

    // Runs fn with standard output captured and returns what it printed.
    template <typename Fn>
    static std::string Stdout(Fn fn) {
        ::testing::internal::CaptureStdout();
        fn();
        fflush(stdout);
        return ::testing::internal::GetCapturedStdout();
    }

    static std::string UtcNow() {  // as strftime reads the clock
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H-%M-%S", gmtime_r(&now, &utc));
        return text;
    }

    std::vector<fs::path> LogFiles() const {
        std::vector<fs::path> files;
        std::error_code none;  // no Logs folder: no files
        for (const auto& entry : fs::directory_iterator(home.ServiceFolder() / "Logs", none))
            files.push_back(entry.path());
        return files;
    }

    TempHome home;
};

// The log file, which holds script results, is created for the user alone whatever the umask;
// its name and its line carry the UTC time they were written at, as the clock gives it.
TEST_F(TracerTest, MarkersDecideWhereLinesGo) {
    const mode_t umaskBefore = umask(022);
    const struct {
        bool traceMarker, logMarker;
        bool expectStdout, expectLog;
    } cases[] = {
        {false, false, false, false},
        {true, false, true, false},
        {false, true, true, true},  // logging alone still prints
        {true, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "trace=" << c.traceMarker << " log=" << c.logMarker);
        fs::remove_all(home.Path() / "Library");
        Tracer::ResetLogFileNameForTesting();
        if (c.traceMarker) home.Touch("enabletraces");  // empty files count
        if (c.logMarker) home.Touch("enablelogs");
        if (c.logMarker) fs::create_directories(home.ServiceFolder() / "Logs");

        EXPECT_EQ(Cuebridge::CheckEnableTrace(), c.traceMarker);
        EXPECT_EQ(Cuebridge::CheckEnableLogs(), c.logMarker);
        const std::string before = UtcNow();
        const std::string out = Stdout([] { Tracer::TRACE("Local port %d", 51234); });
        const std::string after = UtcNow();

        EXPECT_EQ(out, c.expectStdout ? "Local port 51234\r\n" : "");
        const auto files = LogFiles();
        ASSERT_EQ(files.size(), c.expectLog ? 1u : 0u);
        if (c.expectLog) {
            const std::string name = files[0].filename().string(), line = ReadFile(files[0]);
            EXPECT_EQ(name.substr(0, 4) + name.substr(23), "CPP-.log") << name;
            EXPECT_EQ(line.substr(19), " | Local port 51234\r\n");
            for (const std::string& stamp : {name.substr(4, 19), line.substr(0, 19)}) {
                EXPECT_GE(stamp, before);
                EXPECT_LE(stamp, after);
            }
            EXPECT_EQ(fs::status(files[0]).permissions(),
                      fs::perms::owner_read | fs::perms::owner_write);
        }
        if (!c.traceMarker && !c.logMarker) {
            EXPECT_FALSE(fs::exists(home.ServiceFolder() / "Logs"));
        }
    }
    umask(umaskBefore);
}

// Only an absolute HOME is a home: an empty or relative one would put the markers, the log
// and the port file under the system's folders or wherever the host was started.
TEST_F(TracerTest, UnsetEmptyOrRelativeHomeMeansNoMarkersAndNoLog) {
    home.Touch("enabletraces");
    home.Touch("enablelogs");
    fs::create_directories(home.ServiceFolder() / "Logs");
    const fs::path startedIn = fs::current_path();
    fs::current_path(home.Path());  // a relative HOME of "." names the test's home
    for (const char* value : {static_cast<const char*>(nullptr), "", ".", "./x/.."}) {
        SCOPED_TRACE(value != nullptr ? value : "unset");
        if (value != nullptr)
            setenv("HOME", value, 1);
        else
            unsetenv("HOME");
        Tracer::ResetLogFileNameForTesting();
        EXPECT_EQ(Cuebridge::ServiceFolder(), "");
        EXPECT_FALSE(Cuebridge::CheckEnableTrace());
        EXPECT_FALSE(Cuebridge::CheckEnableLogs());
        Tracer::SetLog(true);
        EXPECT_EQ(Tracer::GetLogFileName(), "");
        EXPECT_EQ(Stdout([] { Tracer::TRACE("still printed"); }), "still printed\r\n");
        Tracer::SetLog(false);
    }
    fs::current_path(startedIn);
    EXPECT_TRUE(LogFiles().empty());
}

// The log holds script results: it is never written through a link placed at its name.
TEST_F(TracerTest, TheLogFileIsNeverWrittenThroughALink) {
    const fs::path precious = home.Path() / "precious";
    const struct {
        const char* what;
        void (*place)(const fs::path& log, const fs::path& precious);
    } cases[] = {
        {"a symbolic link",
         [](const fs::path& log, const fs::path& target) { fs::create_symlink(target, log); }},
        {"a hard link",
         [](const fs::path& log, const fs::path& target) { fs::create_hard_link(target, log); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(home.ServiceFolder() / "Logs");
        fs::create_directories(home.ServiceFolder() / "Logs");
        std::ofstream(precious) << "precious data";
        Tracer::ResetLogFileNameForTesting();
        Tracer::SetLog(true);
        const fs::path log = Tracer::GetLogFileName();
        c.place(log, precious);
        Stdout([] { Tracer::TRACE("a script's result"); });
        Tracer::SetLog(false);
        EXPECT_EQ(ReadFile(precious), "precious data");
    }
}

TEST_F(TracerTest, LongMessagesAreCutAndLineFeedsKept) {
    Tracer::SetTracing(true);
    const std::string longText(5000, 'x');
    EXPECT_EQ(Stdout([&] { Tracer::TRACE("%s", longText.c_str()); }),
              std::string(4092, 'x') + "\r\n");
    EXPECT_EQ(Stdout([] { Tracer::TRACE("ends in LF\n"); }), "ends in LF\n\r\n");
}

TEST_F(TracerTest, ConcurrentTracesProduceWholeLines) {
    fs::create_directories(home.ServiceFolder() / "Logs");
    Tracer::SetTracing(true);
    Tracer::SetLog(true);
    constexpr int kThreads = 8, kLines = 200;
    const std::string out = Stdout([] {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < kLines; ++i)
                    Tracer::TRACE("thread %d line %d %s", t, i, "abcdefghij");
            });
        }
        for (auto& thread : threads) thread.join();
    });
    const std::regex whole(R"(thread \d+ line \d+ abcdefghij\r)");
    auto checkLines = [&](const std::string& text, bool stamped) {
        std::istringstream lines(text);
        std::string line;
        int count = 0;
        while (std::getline(lines, line)) {
            if (stamped) line = line.substr(line.find(" | ") + 3);
            EXPECT_TRUE(std::regex_match(line, whole)) << line;
            ++count;
        }
        EXPECT_EQ(count, kThreads * kLines);
    };
    checkLines(out, false);
    const auto files = LogFiles();
    ASSERT_EQ(files.size(), 1u);
    checkLines(ReadFile(files[0]), true);
}

}  // namespace
