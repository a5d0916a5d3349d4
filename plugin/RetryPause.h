// RetryPause: how long to wait before the next attempt after a failure. The first retry is
// immediate; each further consecutive failure doubles the pause from kFirstPause up to
// kLongestPause, so a lasting fault (no descriptors left, a port file that cannot be written)
// neither spins a core nor floods the trace. A success starts the count afresh.
// Threading: used by one thread at a time; plain value.
#pragma once

#include <chrono>

namespace Cuebridge {

class RetryPause {
public:
    static constexpr std::chrono::milliseconds kFirstPause{4};
    static constexpr std::chrono::milliseconds kLongestPause{1000};

    // Counts one more failure and returns the pause to wait before the next attempt.
    std::chrono::milliseconds AfterFailure();
    void AfterSuccess() { failures_ = 0; }

private:
    static constexpr int kCountLimit = 64;
    int failures_ = 0;  // consecutive, since the last success
};

}  // namespace Cuebridge
