// Host context: the three values through which the plug-in reaches the host after
// start-up. Written once by EntryPointFunc on the host's main thread (sP and S_my_id
// before any other thread starts), read-only afterwards from any thread.
#pragma once

#include "AE_Host.h"

namespace Cuebridge {

extern const SPBasicSuite* sP;         // the host's basic suite; null before entry
extern AEGP_PluginID S_my_id;          // this plug-in's id; 0 before entry
extern AEGP_UtilitySuite6* utilSuite;  // Utility suite 13, held for the process's life

}  // namespace Cuebridge
