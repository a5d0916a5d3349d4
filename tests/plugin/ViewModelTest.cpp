// The live view's log, in process without a plug-in: rows at the time the host acted, in
// that order, repeats collapsed, trace lines and controller connections among them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "TempHome.h"
#include "base/Clock.h"
#include "core/Host.h"
#include "view/TraceTap.h"
#include "view/ViewModel.h"

namespace {

using nlohmann::json;

// "kind:what" with "×count" when more than one, oldest first.
std::vector<std::string> Rows(const json& state) {
    std::vector<std::string> rows;
    for (const auto& row : state["log"]) {
        const std::string kind = row["kind"];
        std::string what = kind == "command" ? std::to_string(row["number"].get<int>())
                           : kind == "connection"
                               ? row["port"].dump() + "," + row["messages"].dump()
                           : row.contains("text") ? row["text"].get<std::string>()
                                                  : "";
        const auto count = row["count"].get<std::size_t>();
        rows.insert(rows.begin(),
                    kind + ":" + what + (count > 1 ? "×" + std::to_string(count) : ""));
    }
    return rows;
}

TEST(ViewModelLog, RowsAreAtTheHostsTimeInItsOrderAndRepeatsCollapse) {
    using Act = std::function<void(hostsim::Host&, hostsim::TraceTap&, std::function<void()>)>;
    const auto command = [](hostsim::Host& host, int n, int times = 1) {
        for (int i = 0; i < times; ++i) host.DoCommand(n, "plugin");
    };
    struct Case {
        const char* what;
        bool traces;
        Act act;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"a flood is one row, across builds",
         false,
         [&](auto& host, auto&, auto build) {
             command(host, 2004, 3);
             build();
             command(host, 2004, 2);
             command(host, 2005);
             command(host, 2004);
         },
         {"command:2004×5", "command:2005", "command:2004"}},
        {"a command run by a script comes after the script",
         false,
         [](auto& host, auto&, auto) { host.RunScript("app.executeCommand(2004)"); },
         {"script:app.executeCommand(2004)", "command:2004"}},
        {"an Info panel change at its own time, not the build's",
         false,
         [&](auto& host, auto&, auto) {
             host.InfoDrawText("one", "two");
             command(host, 2004);
         },
         {"info:", "command:2004"}},
        {"trace lines among the host's records, a connection with its messages",
         true,
         [&](auto& host, auto& tap, auto) {
             tap.Feed(
                 "Local port 40100\r\n40 bytes received 131072\r\n2 messages\r\nMessage 20\r\nMes");
             command(host, 2004);
             tap.Feed("sage 20\r\n{\"console\": 1}\n");
             command(host, 2004);
             tap.Feed("Connection closed\r\n");
         },
         {"trace:Local port 40100", "trace:40 bytes received 131072", "connection:40100,2",
          "trace:2 messages", "trace:Message 20", "command:2004", "trace:Message 20",
          "command:2004", "trace:Connection closed"}},
    };
    for (const auto& c : cases) {
        hostsim::Host host({}, {}, hostsim::BuiltInProject());
        hostsim::TraceTap tap;
        hostsim::ViewModel model(host, "/nonexistent/socket.port", c.traces ? &tap : nullptr);
        model.Build(0);
        c.act(host, tap, [&] { model.Build(0); });
        const std::int64_t beforeBuild = hostsim::StampMicros();
        const json state = model.Build(0);
        EXPECT_EQ(Rows(state), c.rows) << c.what;
        for (const auto& row : state["log"])
            EXPECT_LT(row["at"].get<std::int64_t>(), beforeBuild) << c.what << ": " << row;
    }
}

TEST(ViewModelLog, ANewPortFileIsAConnectionAtTheFilesTimeAndCutTextEndsInAnEllipsis) {
    TempHome home;
    const std::string portFile = (home.Path() / "socket.port").string();
    hostsim::Host host({}, {}, hostsim::BuiltInProject());
    hostsim::ViewModel model(host, portFile);
    std::ofstream(portFile) << "40001";
    model.Build(0);
    // The plug-in's next cycle: a new file renamed over the old one.
    std::ofstream(portFile + ".new") << "40002";
    std::filesystem::rename(portFile + ".new", portFile);
    host.RunScript("'" + std::string(300, 'a') + "'");
    const json log = model.Build(0)["log"];
    ASSERT_EQ(Rows({{"log", log}}),
              (std::vector<std::string>{"connection:40001,null",
                                        "script:" + log[0]["text"].get<std::string>()}));
    struct stat file {};
    ASSERT_EQ(stat(portFile.c_str(), &file), 0);
    EXPECT_EQ(log[1]["at"].get<std::int64_t>(),
              file.st_mtim.tv_sec * 1000000 + file.st_mtim.tv_nsec / 1000);
    EXPECT_TRUE(log[0]["text"].get<std::string>().ends_with("a\u2026"));
    EXPECT_TRUE(log[0]["result"].get<std::string>().ends_with("a\u2026"));
}

}  // namespace
