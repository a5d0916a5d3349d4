// Helpers shared by the abuse and soak tests: the real plug-in in the simulated host,
// the host's health as the tests read it (console state, journal, /proc), and the
// controller's side of a fresh connection. One test thread uses them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "ControllerConnection.h"
#include "HostSimProcess.h"

namespace cuebridge_test {

// Counts scaled down by CUEBRIDGE_SOAK_SCALE (a divisor, default 1); the sanitizer
// presets set it so that the whole run stays short. Never below `minimum`.
inline int Scaled(int count, int minimum = 10) {
    const char* text = std::getenv("CUEBRIDGE_SOAK_SCALE");
    const int divisor = text ? std::max(1, std::atoi(text)) : 1;
    return std::max(minimum, count / divisor);
}

// The real plug-in in the simulated host, with the journal in a folder of its own.
struct PluginHost {
    PluginHost()
        : journalDir(MakeTempDir("cuebridge-journal-")),
          host(HOSTSIM_PATH,
               {"--plugin", CUEBRIDGE_PLUGIN_PATH, "--journal", journalDir + "/journal.jsonl"}) {}
    ~PluginHost() { RemoveTree(journalDir); }

    // How many journal entries name each host call.
    std::map<std::string, int> CallCounts() const {
        std::map<std::string, int> counts;
        std::ifstream file(journalDir + "/journal.jsonl");
        for (std::string line; std::getline(file, line);) {
            const auto entry = nlohmann::json::parse(line, nullptr, false);
            if (entry.is_object()) ++counts[entry.value("call", "")];
        }
        return counts;
    }

    // The journal entries of one host call, in order.
    std::vector<nlohmann::json> Calls(const std::string& call) const {
        std::vector<nlohmann::json> entries;
        std::ifstream file(journalDir + "/journal.jsonl");
        const std::string key = "\"call\":\"" + call + "\"";
        for (std::string line; std::getline(file, line);)
            if (line.find(key) != std::string::npos)
                entries.push_back(nlohmann::json::parse(line, nullptr, false));
        return entries;
    }

    // How many journal entries name the call; cheap enough to poll.
    int CountCalls(const std::string& call) const {
        std::ifstream file(journalDir + "/journal.jsonl");
        const std::string key = "\"call\":\"" + call + "\"";
        int count = 0;
        for (std::string line; std::getline(file, line);)
            count += line.find(key) != std::string::npos;
        return count;
    }

    std::string journalDir;
    HostSimProcess host;
};

inline nlohmann::json State(HostSimProcess& host) {
    const nlohmann::json answer = host.Ask("state", 10s);
    return answer.is_object() ? answer["state"] : nlohmann::json();
}

inline int OpenDescriptors(pid_t pid) {
    int count = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++count;
    return count;
}

inline long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// The next port the plug-in publishes after `previous` (the same number again only
// if the system happened to choose it again, which the second wait accepts).
inline int NextPort(HostSimProcess& host, int previous) {
    if (auto port = host.WaitForPort(3s, previous)) return *port;
    return host.WaitForPort(5s).value_or(-1);
}

// The plug-in's lasting promises: the suites it took it gave back (only the Utility
// suite it keeps for its life is held), no host call came from the wrong thread, and
// the main thread still answers the console and keeps calling the idle hook.
inline void ExpectHostHealthy(HostSimProcess& host, long& lastIdleCalls) {
    const nlohmann::json state = State(host);
    ASSERT_TRUE(state.is_object()) << "the host's main thread does not answer\n" << host.Stderr();
    EXPECT_EQ(state["thread_violations"]["count"], 0) << state["thread_violations"].dump();
    EXPECT_EQ(state["unmatched_releases"], 0);
    ASSERT_EQ(state["suites_held"].size(), 1u) << state["suites_held"].dump();
    EXPECT_EQ(state["suites_held"][0]["name"], "AEGP Utility Suite");
    EXPECT_EQ(state["suites_held"][0]["count"], 1);
    EXPECT_EQ(state["mem_handles_outstanding"], 0);
    const long idleCalls = state["idle_calls"].get<long>();
    EXPECT_GT(idleCalls, lastIdleCalls) << "the idle hook stopped being called";
    lastIdleCalls = idleCalls;
}

// A fresh connection, to the port published after `port` (the last one used, which
// this updates), is served correctly: a query and a script, each answered whole.
inline void ExpectServesNewConnection(HostSimProcess& host, int& port, const std::string& tag) {
    port = NextPort(host, port);
    ASSERT_GT(port, 0) << "no port published after the abuse";
    ControllerConnection controller;
    ASSERT_TRUE(controller.Connect(port));
    ASSERT_TRUE(controller.SendLine(tag + "|GetAfterEffectLanguage"));
    EXPECT_EQ(controller.ReadExactly(tag.size() + 6, 10s), tag + "|en_US");
    ASSERT_TRUE(controller.SendLine(tag + "|Script|6 * 7"));
    EXPECT_EQ(controller.ReadExactly(tag.size() + 3, 20s), tag + "|42");
}

}  // namespace cuebridge_test
