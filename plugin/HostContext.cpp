#include "HostContext.h"

namespace Cuebridge {

const SPBasicSuite* sP = nullptr;
AEGP_PluginID S_my_id = 0;
AEGP_UtilitySuite6* utilSuite = nullptr;
std::thread::id mainThread;

}  // namespace Cuebridge
