// The plug-in's hooks as the host keeps them: command hooks (before and after the host's
// own handling), menu-update hooks and idle hooks, with the plug-in's global refcon that
// every hook call passes back. Registration may be refused by the --fail-register switch.
// Hook calls are journaled when they did something (made a host call, failed or, for idle,
// changed the sleep); the lock is never held while a hook runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "AE_Host.h"
#include "core/Journal.h"

namespace hostsim {

class Hooks {
public:
    // hostCalls: the count of host calls so far, to tell a hook call that did something.
    Hooks(Journal& journal, const std::atomic<std::uint64_t>& hostCalls,
          std::vector<std::string> failRegister);

    AEGP_GlobalRefcon* RefconSlot() { return &globalRefcon_; }  // main thread, at load

    // Any thread (the suite table records a violation off the main thread).
    A_Err RegisterCommand(AEGP_HookPriority priority, AEGP_Command command, AEGP_CommandHook hook,
                          AEGP_CommandRefcon refcon);
    A_Err RegisterMenu(AEGP_UpdateMenuHook hook, AEGP_UpdateMenuRefcon refcon);
    A_Err RegisterIdle(AEGP_IdleHook hook, AEGP_IdleRefcon refcon);

    struct IdleRun {
        bool ran = false;      // there were idle hooks to call
        int sleepChanges = 0;  // hooks that changed the maximum sleep they were given
    };
    IdleRun RunIdle(A_long intervalMs);  // main thread
    void RunMenu();                      // main thread
    // main thread: before-host hooks, then runByHost unless a hook handled the command, then
    // after-host hooks. A command run again from inside its own hook is cut off at a depth
    // of 16 with an error.
    A_Err DoCommand(AEGP_Command command, const std::function<void()>& runByHost);

    nlohmann::json CountsJson() const;  // any thread: {command, menu, idle}

private:
    struct CommandHook {
        AEGP_HookPriority priority;
        AEGP_Command command;
        AEGP_CommandHook hook;
        AEGP_CommandRefcon refcon;
    };
    struct IdleHook {
        AEGP_IdleHook hook;
        AEGP_IdleRefcon refcon;
    };
    struct MenuHook {
        AEGP_UpdateMenuHook hook;
        AEGP_UpdateMenuRefcon refcon;
    };

    bool Refused(const char* kind) const;
    void CallCommandHooks(AEGP_Command command, AEGP_HookPriority priority, A_Boolean& handled);

    Journal& journal_;
    const std::atomic<std::uint64_t>& hostCalls_;
    const std::vector<std::string> failRegister_;
    AEGP_GlobalRefcon globalRefcon_ = nullptr;  // the plug-in's slot, passed back to hooks
    int commandDepth_ = 0;                      // main thread: nesting of DoCommand

    mutable std::mutex mutex_;  // guards the three lists
    std::vector<CommandHook> commandHooks_;
    std::vector<MenuHook> menuHooks_;
    std::vector<IdleHook> idleHooks_;
};

}  // namespace hostsim
