#include "MainLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "Clock.h"
#include "ScriptEngine.h"

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

void DrainWakePipe() {
    char buffer[256];
    while (read(g_wakeRead, buffer, sizeof buffer) > 0) {
    }
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

// main thread
void MainLoop::Run(const Options& options, Console& console, const std::function<void()>& idle) {
    bool stdinOpen = true;
    const auto start = MonotonicMicros();
    const auto interval = options.idleIntervalMs * 1000;
    const auto exitAt = options.exitAfterMs > 0 ? start + options.exitAfterMs * 1000 : 0;
    auto nextIdle = start + interval;
    while (!QuitRequested()) {
        auto now = MonotonicMicros();
        if (exitAt > 0 && now >= exitAt) break;
        const auto wakeAt = exitAt > 0 ? std::min(nextIdle, exitAt) : nextIdle;
        const int timeoutMs =
            idleRequested_
                ? 0
                : static_cast<int>(std::max<std::int64_t>(0, (wakeAt - now + 999) / 1000));
        pollfd fds[2] = {{g_wakeRead, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        poll(fds, stdinOpen ? 2 : 1, timeoutMs);
        if (fds[0].revents & POLLIN) DrainWakePipe();
        if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buffer[4096];
            const auto n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0 && !(n < 0 && errno == EINTR))
                stdinOpen = false;  // end of input is not quit
            if (n > 0)
                for (const auto& answer :
                     console.Feed(std::string_view(buffer, static_cast<std::size_t>(n))))
                    std::cout << answer << std::endl;
        }
        std::vector<std::function<void()>> tasks;
        {
            std::lock_guard lock(postedMutex_);
            tasks.swap(posted_);
        }
        for (const auto& task : tasks) task();
        now = MonotonicMicros();
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
