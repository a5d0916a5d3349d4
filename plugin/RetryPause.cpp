#include "RetryPause.h"

#include <algorithm>

namespace Cuebridge {

std::chrono::milliseconds RetryPause::AfterFailure() {
    if (failures_ < kCountLimit) ++failures_;  // the pause is long capped by then
    if (failures_ == 1) return std::chrono::milliseconds{0};
    std::chrono::milliseconds pause = kFirstPause;
    for (int i = 2; i < failures_ && pause < kLongestPause; ++i) pause *= 2;
    return std::min(pause, kLongestPause);
}

}  // namespace Cuebridge
