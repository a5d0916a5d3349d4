// Waits in tests. Each one has a deadline of a few seconds and, when the deadline passes
// first, adds a test failure that names what it waited for: a fault that stops something
// from happening fails the test in seconds instead of holding it to the suite's timeout.
// Called on the test's own thread.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

namespace testkit {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

// How many times a wait may last its plain deadline: a host under a wrapper such as
// memcheck (CUEBRIDGE_HOST_WRAPPER) runs some twenty times slower, a sanitizer build a few.
inline int Patience() {
    if (std::getenv("CUEBRIDGE_HOST_WRAPPER") != nullptr) return 20;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return 4;
#else
    return 1;
#endif
}

// Set by the first wait of a test process that timed out. The test has failed then, and
// what it goes on to wait for would mostly time out as well: later waits are cut short.
inline bool& TimedOut() {
    static bool timedOut = false;
    return timedOut;
}

// The deadline of one wait: a few seconds on a plain build, a fifth of a second once a
// wait has timed out.
inline Millis Deadline(Millis plain = 5s) {
    return TimedOut() ? std::min<Millis>(plain, 200ms) : plain * Patience();
}

// Polls done() until it holds (true) or the deadline passes (false, and a failure that
// says how long it waited for `what`).
inline bool WaitFor(const std::string& what, const std::function<bool()>& done, Millis plain = 5s,
                    Millis every = 10ms) {
    const Millis limit = Deadline(plain);
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) {
            TimedOut() = true;
            ADD_FAILURE() << "waited " << limit.count() << " ms for " << what;
            return false;
        }
        std::this_thread::sleep_for(every);
    }
    return true;
}

// For work of a size that has no fixed time: polls count() until it reaches `target`
// (true); false once it has not grown for the deadline, with a failure unless `what` is
// empty (a shortfall the caller judges itself).
inline bool WaitForCount(const std::string& what, const std::function<std::size_t()>& count,
                         std::size_t target, Millis plain = 5s, Millis every = 50ms) {
    const Millis limit = Deadline(plain);
    std::size_t seen = count();
    auto lastGrowth = std::chrono::steady_clock::now();
    while (seen < target) {
        if (std::chrono::steady_clock::now() - lastGrowth >= limit) {
            if (what.empty()) return false;
            TimedOut() = true;
            ADD_FAILURE() << "waited for " << what << ": " << seen << " of " << target
                          << ", none more in " << limit.count() << " ms";
            return false;
        }
        std::this_thread::sleep_for(every);
        const std::size_t now = count();
        if (now > seen) lastGrowth = std::chrono::steady_clock::now();
        seen = now;
    }
    return true;
}

}  // namespace testkit
