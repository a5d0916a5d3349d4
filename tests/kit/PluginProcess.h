// The end-to-end fixtures: the simulated host with the real plug-in as a child process
// (PluginProcess), and a raw controller connection to it for bytes no Session would send
// (Controller). Every wait has a deadline of a few seconds (Wait.h) and a failure that says
// what it waited for. Users define HOSTSIM_PATH and CUEBRIDGE_PLUGIN_PATH and link the
// client and hostsim_process. One object per test thread.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "HostProcess.h"
#include "Session.h"
#include "Wait.h"

namespace testkit {

namespace ctl = Cuebridge::Ctl;

inline constexpr std::size_t kUnbounded = std::size_t{1} << 40;  // what a read may gather

class Controller {
public:
    // Connects to the port published after `notPort` (the same one again only if the system
    // chose it again); the port used, or -1 with a failure.
    int Connect(const hostsim::HostProcess& host, int notPort = -1) {
        ctl::ConnectStatus status;
        int error = 0;
        const Millis limit = Deadline();
        const auto until = ctl::Clock::now() + limit;
        for (auto port = host.WaitForPort(limit / 2, notPort); ctl::Clock::now() < until;
             port = host.WaitForPort(100ms)) {
            if (port) connection_ = ctl::Connection::Open(*port, until, status, error);
            if (connection_) return *port;
            std::this_thread::sleep_for(10ms);
        }
        TimeOut(limit, "a connection to a port published after " + std::to_string(notPort));
        return -1;
    }
    // Connects to a port known already (the live view's, a stand-in peer's); false with a
    // failure.
    bool Open(int port) {
        ctl::ConnectStatus status;
        int error = 0;
        connection_ = ctl::Connection::Open(port, ctl::Clock::now() + Deadline(), status, error);
        EXPECT_TRUE(connection_) << "no connection to port " << port << " (errno " << error << ")";
        return connection_.has_value();
    }
    void Send(const std::string& bytes) {
        Exchange(bytes, "", "the sending of " + std::to_string(bytes.size()) + " bytes");
    }
    // Sends the bytes and reads until the reply is `expected`; what came, on a mismatch.
    std::string Ask(const std::string& bytes, const std::string& expected) {
        return Exchange(bytes, expected, "the reply '" + expected + "' to " + bytes.substr(0, 60));
    }
    bool Quiet() {  // nothing more arrives within a short while
        const auto result =
            connection_->Exchange("", "\x01", ctl::Clock::now() + 200ms, kUnbounded);
        return result.status == ctl::ExchangeStatus::TimedOut && result.received.empty();
    }
    void Close() { connection_.reset(); }

private:
    std::string Exchange(const std::string& bytes, const std::string& suffix,
                         const std::string& what) {
        const Millis limit = Deadline();
        auto result = connection_->Exchange(bytes, suffix, ctl::Clock::now() + limit, kUnbounded);
        if (result.status == ctl::ExchangeStatus::TimedOut) TimeOut(limit, what);
        return std::move(result.received);
    }

    std::optional<ctl::Connection> connection_;
};

// One simulated host with the plug-in, an effects file and a call journal, and the
// controller's session with it.
class PluginProcess {
public:
    // Three effects, one with a bar in its display name: records are copied unescaped.
    static constexpr const char* kEffectsJson = R"([
  {"matchName": "ADBE Glo2", "displayName": "Glow", "category": "Stylize"},
  {"matchName": "Test Bar", "displayName": "A|B", "category": "Über"}])";

    explicit PluginProcess(std::vector<std::string> extra = {})
        : host_(HOSTSIM_PATH, Args(std::move(extra)), true) {}
    ~PluginProcess() {
        if (::testing::Test::HasFailure()) std::cerr << "host's stderr:\n" << host_.Stderr();
        hostsim::RemoveTree(files_);
    }

    hostsim::HostProcess& Host() { return host_; }

    // The port once the plug-in has published one; -1 with a failure after the deadline.
    int Port() {
        const Millis limit = Deadline();
        const auto port = host_.WaitForPort(limit);
        if (!port) TimeOut(limit, "the port file " + host_.PortFilePath());
        return port.value_or(-1);
    }

    // Sends the lines and returns the replies to them (the session's end marker follows
    // them, so every reply before it has arrived).
    std::string Talk(const std::vector<std::string>& lines) {
        std::string joined;
        for (const auto& line : lines) joined += (joined.empty() ? "" : "\n") + line;
        if (!session_ || TimedOut()) {  // after a timeout, with the shorter deadline
            Port();
            session_.emplace(ctl::Target{std::nullopt, host_.PortFilePath()}, Deadline());
        }
        const auto result = session_->Send(joined);
        if (result.outcome == ctl::Outcome::TimedOut) TimedOut() = true;
        EXPECT_EQ(result.outcome, ctl::Outcome::Ok)
            << result.detail << " (the replies to " << lines.size() << " lines, the first "
            << lines.front().substr(0, 60) << ")";
        return result.reply;
    }

    // As Talk, and waits for the queued work too: a script's reply means an idle call ran,
    // but that call may have passed the other queues before the work arrived; the work
    // asked for an idle call of its own, which the host makes at the end of its next main
    // loop turn, so the second console answer after the reply comes after it.
    std::string Settle(std::vector<std::string> lines) {
        lines.push_back("#settle|Script|'settled'");
        std::string replies = Talk(lines);
        EXPECT_TRUE(replies.ends_with("#settle|settled")) << replies;
        host_.State();
        host_.State();
        return replies.substr(0, replies.size() - std::min(replies.size(), 15ul));
    }

    // Bytes as they are, on a connection of their own (the session's is closed first: the
    // plug-in serves one at a time), which is then closed.
    void SendAndLeave(const std::string& bytes, std::chrono::milliseconds linger = 0ms) {
        session_.reset();
        Controller controller;
        ASSERT_GT(controller.Connect(host_), 0);
        controller.Send(bytes);
        std::this_thread::sleep_for(linger);
    }

private:
    std::vector<std::string> Args(std::vector<std::string> extra) const {
        std::ofstream(files_ + "/effects.json") << kEffectsJson;
        extra.insert(extra.begin(),
                     {"--plugin", CUEBRIDGE_PLUGIN_PATH, "--effects", files_ + "/effects.json"});
        return extra;
    }

    const std::string files_ = hostsim::MakeTempDir("cuebridge-e2e-");
    hostsim::HostProcess host_;
    std::optional<ctl::Session> session_;
};

}  // namespace testkit
