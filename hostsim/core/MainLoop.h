// The host's main loop: waits on a wake pipe and the console's standard input, calls the
// idle hooks every interval or at once when asked, runs the tasks other threads post, and ends on
// quit, SIGINT/SIGTERM or after --exit-after-ms. Requests (quit, idle) may come from any thread and
// from the signal handler; the loop itself runs on the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/Options.h"

namespace hostsim {

class MainLoop {
public:
    // main thread: takes bytes of standard input as they arrive and returns the answer
    // lines to write to standard output (the console's Feed).
    using Input = std::function<std::vector<std::string>(std::string_view bytes)>;

    MainLoop();  // main thread, before other threads exist: makes the wake pipe
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    // main thread. idle: calls the idle hooks once.
    void Run(const Options& options, const Input& input, const std::function<void()>& idle);

    // main thread, before Run: nextDue() gives when timed work is due next (monotonic
    // micros, 0: none) and runDue() does it; the loop wakes for it and calls it at its turn.
    void SetTimer(std::function<std::int64_t()> nextDue, std::function<void()> runDue) {
        nextDue_ = std::move(nextDue);
        runDue_ = std::move(runDue);
    }
    void RequestQuit();          // any thread
    void RequestIdle();          // any thread
    bool TakeIdleRequest();      // any thread: true once per request
    bool QuitRequested() const;  // any thread: quit asked for or a signal caught
    // any thread: queues the task for the main thread; false (the task dropped) once Run
    // has ended.
    bool Post(std::function<void()> task);
    // any thread: refuses further tasks and drops the queued ones unrun (their owners learn it
    // from what the tasks held). Run ends this way; a host that never runs its loop calls it.
    void Close();
    static void OnSignal(int);  // async-signal-safe

private:
    void ReadConsole(const Input& input);  // console thread

    std::function<std::int64_t()> nextDue_;  // main thread
    std::function<void()> runDue_;
    std::atomic<bool> idleRequested_{false};
    std::atomic<bool> quitRequested_{false};
    std::mutex postedMutex_;  // guards posted_ and ended_
    std::vector<std::function<void()>> posted_;
    bool ended_ = false;
};

}  // namespace hostsim
