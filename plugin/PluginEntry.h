// The plug-in's entry point and the three hooks it registers with the host.
// EntryPointFunc runs once on the host's main thread at load; the hooks run on the
// host's main thread whenever the host calls them. Nothing here is ever torn down.
#pragma once

#include <chrono>

#include "AE_Host.h"
#include "Marlune.h"
#include "MarluneListener.h"
#include "MarlunePlugin.h"

namespace Cuebridge {

extern MarluneListener* listener;   // the socket server; created at entry, never freed
extern AEGP_IdleRefcon idleRefcon;  // handed to the host with the idle hook

// main thread: every host command, before the host handles it (2488, 2489, 2490, 2630).
A_Err CommandHook(AEGP_GlobalRefcon, AEGP_CommandRefcon, AEGP_Command command, AEGP_HookPriority,
                  A_Boolean, A_Boolean*);
// main thread: asks the host for the active item; changes no menu.
A_Err UpdateMenuHook(AEGP_GlobalRefcon, AEGP_UpdateMenuRefcon, AEGP_WindowType);
// main thread: carries out queued work (menu commands, Project panel steps, Info panel
// commands and scripts) in the order it arrived, whichever queue holds it, for at most
// kIdleBudget; what is left is done in the next call, which it then asks the host for.
// Always returns 0; the max-sleep value is left alone.
A_Err IdleHook(AEGP_GlobalRefcon, AEGP_IdleRefcon, A_long* max_sleepPL);

// How long one idle call carries out queued work at most (the item under way is finished):
// then it asks the host for another idle call and returns, so the host's user interface
// never waits longer than this for a burst of controller commands.
inline constexpr std::chrono::milliseconds kIdleBudget{4};
// The clock the idle executor measures its budget with.
using IdleClock = std::chrono::steady_clock::time_point (*)();
// main thread, for tests: measure the budget with `clock` (null: the steady clock).
void SetIdleClockForTesting(IdleClock clock);

// The start-up job: runs the installed-effects script and stores its result.
void RunStartupJob(Marlune* dispatcher, MarlunePlugin* plugin);

}  // namespace Cuebridge

// main thread, once at load. No exception leaves it or the hooks: the host gets an error code.
extern "C" __attribute__((visibility("default"))) A_Err EntryPointFunc(
    SPBasicSuite* pica_basicP, A_long major_versionL, A_long minor_versionL,
    AEGP_PluginID aegp_plugin_id, AEGP_GlobalRefcon* global_refconP);
