#include "ConnectionCount.h"

namespace Cuebridge {

std::atomic<unsigned> servedConnections{0};

}  // namespace Cuebridge
