// Host context: the values through which the plug-in reaches the host after start-up.
// Written once by EntryPointFunc on the host's main thread before it starts any other
// thread, read-only afterwards from any thread.
#pragma once

#include <thread>

#include "AE_Host.h"

namespace Cuebridge {

extern const SPBasicSuite* sP;         // the host's basic suite; null before entry
extern AEGP_PluginID S_my_id;          // this plug-in's id; 0 before entry
extern AEGP_UtilitySuite6* utilSuite;  // Utility suite 13, held for the process's life
extern std::thread::id mainThread;     // the host's main thread; no thread before entry

}  // namespace Cuebridge
