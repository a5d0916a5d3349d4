// The live view of the simulated host: an HTTP server on 127.0.0.1 that serves the page
// (built into the program), pushes the view's state to each open page as server-sent
// events, and carries out the page's actions (select an item, run a menu command, run a
// script) through the console's own code on the host's main thread.
//
// The host's path pays little: its change notification only sets a bit and, when the bit
// is the first of a round, wakes the view's worker thread. The worker builds the state
// (ViewModel) only while a page is open, at most once per kMinGap (bursts of changes are
// coalesced into one update), also every quarter second (idle rate, controller connection,
// thread violations), and publishes it only when it differs from the last. Each open page is
// served on its own server thread, which sends the latest state whenever a new one is
// published; a slow page skips the states it missed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/ChangeListeners.h"
#include "view/ViewModel.h"

namespace httplib {
struct Request;
struct Response;
class DataSink;
}  // namespace httplib

namespace hostsim {

class BoundedServer;
class Host;
class TraceTap;

class WebView {
public:
    static constexpr std::chrono::milliseconds kMinGap{40};

    // portFile: where the plug-in publishes its port (see ControllerLink.h); tap: the
    // plug-in's trace lines, or null.
    WebView(Host& host, std::string portFile, const TraceTap* tap = nullptr);
    ~WebView();  // stops it
    WebView(const WebView&) = delete;
    WebView& operator=(const WebView&) = delete;

    // main thread: listens on 127.0.0.1:port (0: a free port) and starts serving. The port
    // listened on, or -1 (with the reason in `problem`).
    int Start(int port, std::string& problem);
    // main thread, after the host's main loop has ended: ends every open page's stream and
    // the server. Safe to call twice.
    void Stop();

private:
    void OnChange(Change change);                 // any thread: the host's change listener
    void Work();                                  // the worker thread
    void Publish(std::string state, bool force);  // worker thread
    void Kick();                                  // any thread: a build soon, published
    // server threads
    bool Admit(const httplib::Request& request, httplib::Response& response) const;
    void StreamEvents(httplib::Response& response);
    void RunConsoleLine(const std::string& line, httplib::Response& response);

    Host& host_;
    ViewModel model_;  // worker thread only
    int port_ = -1;
    std::unique_ptr<BoundedServer> server_;
    std::thread serverThread_, worker_;
    std::uint64_t subscription_ = 0;
    bool started_ = false;

    std::atomic<unsigned> pending_{0};  // Change bits since the last build, and kForce
    std::atomic<int> pages_{0};         // open event streams

    std::mutex wakeMutex_;  // guards stopping_; the worker sleeps on wake_
    std::condition_variable wake_;
    bool stopping_ = false;

    std::mutex stateMutex_;  // guards state_, version_ and closed_
    std::condition_variable published_;
    std::string state_;
    std::uint64_t version_ = 0;
    bool closed_ = false;
};

}  // namespace hostsim
