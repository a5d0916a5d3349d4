#include "core/MainLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <stop_token>
#include <string>
#include <thread>

#include "base/Clock.h"
#include "scripting/ScriptEngine.h"

namespace hostsim {
namespace {

// The wake pipe: any thread (and the signal handler) writes one byte to end the main
// loop's wait. Written once by the constructor before other threads exist.
int g_wakeRead = -1;
int g_wakeWrite = -1;
volatile std::sig_atomic_t g_signalled = 0;

void Wake() {
    const char byte = 1;
    // A full pipe already holds a pending wake-up; nothing is lost by dropping this one.
    [[maybe_unused]] const auto n = write(g_wakeWrite, &byte, 1);
}

// One read: more wake-ups than the buffer holds leave the pipe readable, and the next
// poll returns at once for them.
void DrainWakePipe() {
    char buffer[256];
    [[maybe_unused]] const auto n = read(g_wakeRead, buffer, sizeof buffer);
}

}  // namespace

MainLoop::MainLoop() {
    if (g_wakeRead >= 0) return;  // one pipe per process
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::cerr << "cuebridge-hostsim: pipe failed: " << std::strerror(errno) << "\n";
        std::exit(2);
    }
    g_wakeRead = fds[0];
    g_wakeWrite = fds[1];
}

void MainLoop::OnSignal(int) {
    g_signalled = 1;
    ScriptEngine::StopAll();
    Wake();
}

void MainLoop::RequestQuit() {
    quitRequested_ = true;
    ScriptEngine::StopAll();
    Wake();
}

void MainLoop::RequestIdle() {
    idleRequested_ = true;
    Wake();
}

bool MainLoop::TakeIdleRequest() { return idleRequested_.exchange(false); }

bool MainLoop::QuitRequested() const { return quitRequested_ || g_signalled; }

bool MainLoop::Post(std::function<void()> task) {
    {
        std::lock_guard lock(postedMutex_);
        if (ended_) return false;
        posted_.push_back(std::move(task));
    }
    Wake();
    return true;
}

// console thread, for the life of the process: hands standard input to the main loop in
// the order it arrives. The main thread cannot read it while it runs a script, so a "quit"
// line is also watched for here: if the host has not ended half a second later (a script
// that never ends), the quit is made at once, which stops the running script.
void MainLoop::ReadConsole(const Input& input) {
    std::string line;
    for (;;) {
        char buffer[4096];
        const auto n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // end of input is not quit
        std::string bytes(buffer, static_cast<std::size_t>(n));
        Post([&input, bytes] {
            for (const auto& answer : input(bytes)) std::cout << answer << std::endl;
        });
        bool quit = false;
        for (const char c : bytes) {
            if (c != '\n') {
                line += c;
                continue;
            }
            const auto first = line.find_first_not_of(" \t\r");
            const auto last = line.find_last_not_of(" \t\r");
            quit = quit ||
                   (first != std::string::npos && line.substr(first, last - first + 1) == "quit");
            line.clear();
        }
        if (quit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            RequestQuit();
            return;
        }
    }
}

// main thread
void MainLoop::Run(const Options& options, const Input& input, const std::function<void()>& idle) {
    std::thread(&MainLoop::ReadConsole, this, std::cref(input)).detach();
    // The deadline is kept by a thread of its own too: the main thread cannot look at the
    // clock while it runs a script, so at the deadline the quit is made from there, which stops
    // the running script as a signal or "quit" does. Joined when the loop ends.
    std::jthread deadline;
    if (options.exitAfterMs > 0) {
        deadline = std::jthread([this, ms = options.exitAfterMs](std::stop_token stop) {
            std::mutex mutex;
            std::condition_variable_any never;
            std::unique_lock lock(mutex);
            never.wait_for(lock, stop, std::chrono::milliseconds(ms), [] { return false; });
            if (!stop.stop_requested()) RequestQuit();
        });
    }
    const auto start = MonotonicMicros();
    const auto interval = options.idleIntervalMs * 1000;
    const auto exitAt = options.exitAfterMs > 0 ? start + options.exitAfterMs * 1000 : 0;
    auto nextIdle = start + interval;
    while (!QuitRequested()) {
        auto now = MonotonicMicros();
        if (exitAt > 0 && now >= exitAt) break;
        auto wakeAt = exitAt > 0 ? std::min(nextIdle, exitAt) : nextIdle;
        const std::int64_t due = nextDue_ ? nextDue_() : 0;
        if (due > 0) wakeAt = std::min(wakeAt, due);
        const int timeoutMs =
            idleRequested_
                ? 0
                : static_cast<int>(std::max<std::int64_t>(0, (wakeAt - now + 999) / 1000));
        pollfd wake{g_wakeRead, POLLIN, 0};
        poll(&wake, 1, timeoutMs);
        if (wake.revents & POLLIN) DrainWakePipe();
        std::vector<std::function<void()>> tasks;
        {
            std::lock_guard lock(postedMutex_);
            tasks.swap(posted_);
        }
        for (const auto& task : tasks) task();
        now = MonotonicMicros();
        if (due > 0 && now >= due && runDue_ && !QuitRequested()) runDue_();
        if (TakeIdleRequest() || now >= nextIdle) {
            idle();
            nextIdle = MonotonicMicros() + interval;
        }
    }
    Close();
}

void MainLoop::Close() {
    // Dropped outside the lock: destroying a task may wake its owner.
    std::vector<std::function<void()>> dropped;
    {
        std::lock_guard lock(postedMutex_);
        ended_ = true;
        dropped.swap(posted_);
    }
}

}  // namespace hostsim
