// Helpers shared by the abuse and soak runs: the real plug-in in the simulated host, the
// host's health as the console and /proc show it, and a controller's raw connection (the
// client's Connection) for bytes no Session would send. One test thread uses them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "Connection.h"
#include "HostProcess.h"

namespace soak {

using namespace std::chrono_literals;
using Cuebridge::Ctl::Clock;
using Cuebridge::Ctl::ExchangeStatus;
using hostsim::HostProcess;

// Counts scaled down by CUEBRIDGE_SOAK_SCALE (a divisor, default 1); the sanitizer
// presets set it so that the whole run stays short. Never below `minimum`.
inline int Scaled(int count, int minimum = 10) {
    const char* text = std::getenv("CUEBRIDGE_SOAK_SCALE");
    return std::max(minimum, count / (text ? std::max(1, std::atoi(text)) : 1));
}

inline HostProcess PluginHost() {
    return HostProcess(HOSTSIM_PATH, {"--plugin", CUEBRIDGE_PLUGIN_PATH}, true);
}

// One controller connection on 127.0.0.1.
class Controller {
public:
    bool Connect(int port) {
        Cuebridge::Ctl::ConnectStatus status;
        int error = 0;
        for (int i = 0; i < 500 && !connection_; ++i) {
            connection_ = Cuebridge::Ctl::Connection::Open(port, status, error);
            if (!connection_) std::this_thread::sleep_for(10ms);
        }
        return connection_.has_value();
    }
    void Send(const std::string& bytes) { connection_->Exchange(bytes, "", Clock::now() + 60s); }
    // Sends the bytes and reads until the reply is `expected`; what came, on a mismatch.
    std::string Ask(const std::string& bytes, const std::string& expected) {
        return connection_->Exchange(bytes, expected, Clock::now() + 20s).received;
    }
    // Nothing more arrives within a short while.
    bool Quiet() {
        const auto result = connection_->Exchange("", "\x01", Clock::now() + 200ms);
        return result.status == ExchangeStatus::TimedOut && result.received.empty();
    }
    bool ClosedByPeer() {
        return connection_->Exchange("", "\x01", Clock::now() + 5s).status ==
               ExchangeStatus::Closed;
    }
    void Close() { connection_.reset(); }

private:
    std::optional<Cuebridge::Ctl::Connection> connection_;
};

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

// The next port the plug-in publishes after `previous` (the same number again only if
// the system happened to choose it again, which the second wait accepts).
inline int NextPort(HostProcess& host, int previous) {
    if (auto port = host.WaitForPort(3s, previous)) return *port;
    return host.WaitForPort(5s).value_or(-1);
}

// The plug-in's lasting promises: only the Utility suite it keeps for its life is held,
// no host call came from the wrong thread, no handle is left, and the main thread still
// answers the console and keeps calling the idle hook.
inline void ExpectHostHealthy(HostProcess& host, long& lastIdleCalls) {
    const nlohmann::json state = host.State(10s);
    ASSERT_FALSE(state.empty()) << "the host's main thread does not answer\n" << host.Stderr();
    EXPECT_EQ(state["thread_violations"]["count"], 0) << state["thread_violations"].dump();
    EXPECT_EQ(state["unmatched_releases"], 0);
    EXPECT_EQ(state["suites_held"],
              nlohmann::json::parse(R"([{"name":"AEGP Utility Suite","version":13,"count":1}])"));
    EXPECT_EQ(state["mem_handles_outstanding"], 0);
    const long idleCalls = state["idle_calls"].get<long>();
    EXPECT_GT(idleCalls, lastIdleCalls) << "the idle hook stopped being called";
    lastIdleCalls = idleCalls;
}

// A fresh connection, to the port published after `port` (which this updates), is
// served: a query and a script, each answered whole.
inline void ExpectServesNewConnection(HostProcess& host, int& port, const std::string& tag) {
    port = NextPort(host, port);
    ASSERT_GT(port, 0) << "no port published";
    Controller controller;
    ASSERT_TRUE(controller.Connect(port));
    EXPECT_EQ(controller.Ask(tag + "|GetAfterEffectLanguage\n", tag + "|en_US"), tag + "|en_US");
    EXPECT_EQ(controller.Ask(tag + "|Script|6 * 7\n", tag + "|42"), tag + "|42");
}

}  // namespace soak
