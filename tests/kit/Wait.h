// Waits in tests: each has a deadline of a few seconds and, when it passes, a failure that
// names what was awaited, so a fault fails a test in seconds, not at the suite's timeout.
// Deadlines stretch for slow runs: a host under a wrapper such as memcheck
// (CUEBRIDGE_HOST_WRAPPER) twenty times, a sanitizer build four. Once a wait of a test
// process has timed out the test has failed and later waits would mostly time out too:
// they are cut to 200 ms. Called on the test's own thread.
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

inline bool& TimedOut() {
    static bool timedOut = false;
    return timedOut;
}

inline Millis Deadline(Millis plain = 5s) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const int patience = std::getenv("CUEBRIDGE_HOST_WRAPPER") ? 20 : 4;
#else
    const int patience = std::getenv("CUEBRIDGE_HOST_WRAPPER") ? 20 : 1;
#endif
    return TimedOut() ? std::min<Millis>(plain, 200ms) : plain * patience;
}

// The failure of a wait that lasted `limit`.
inline void TimeOut(Millis limit, const std::string& what) {
    TimedOut() = true;
    ADD_FAILURE() << "waited " << limit.count() << " ms for " << what;
}

// Polls done() until it holds (true) or the deadline passes (false, with a failure).
inline bool WaitFor(const std::string& what, const std::function<bool()>& done, Millis plain = 5s) {
    const Millis limit = Deadline(plain);
    for (const auto until = std::chrono::steady_clock::now() + limit; !done();
         std::this_thread::sleep_for(10ms)) {
        if (std::chrono::steady_clock::now() < until) continue;
        TimeOut(limit, what);
        return false;
    }
    return true;
}

}  // namespace testkit
