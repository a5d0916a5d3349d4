#include "core/Hooks.h"

#include <algorithm>

#include "base/Clock.h"

namespace hostsim {

Hooks::Hooks(Journal& journal, const std::atomic<std::uint64_t>& hostCalls,
             std::vector<std::string> failRegister)
    : journal_(journal), hostCalls_(hostCalls), failRegister_(std::move(failRegister)) {}

bool Hooks::Refused(const char* kind) const {
    return std::find(failRegister_.begin(), failRegister_.end(), kind) != failRegister_.end();
}

// any thread
A_Err Hooks::RegisterCommand(AEGP_HookPriority priority, AEGP_Command command,
                             AEGP_CommandHook hook, AEGP_CommandRefcon refcon) {
    if (Refused("command")) return A_Err_GENERIC;
    if (hook == nullptr || (priority != AEGP_HP_BeforeAE && priority != AEGP_HP_AfterAE))
        return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    commandHooks_.push_back({priority, command, hook, refcon});
    return A_Err_NONE;
}

// any thread
A_Err Hooks::RegisterMenu(AEGP_UpdateMenuHook hook, AEGP_UpdateMenuRefcon refcon) {
    if (Refused("menu")) return A_Err_GENERIC;
    if (hook == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    menuHooks_.push_back({hook, refcon});
    return A_Err_NONE;
}

// any thread
A_Err Hooks::RegisterIdle(AEGP_IdleHook hook, AEGP_IdleRefcon refcon) {
    if (Refused("idle")) return A_Err_GENERIC;
    if (hook == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    idleHooks_.push_back({hook, refcon});
    return A_Err_NONE;
}

// main thread
Hooks::IdleRun Hooks::RunIdle(A_long intervalMs) {
    std::vector<IdleHook> hooks;
    {
        std::lock_guard lock(mutex_);
        hooks = idleHooks_;
    }
    IdleRun run{!hooks.empty(), 0};
    for (const auto& entry : hooks) {
        A_long maxSleep = intervalMs;
        const auto callsBefore = hostCalls_.load();
        const auto stamp = MonotonicMicros();
        const A_Err err = entry.hook(globalRefcon_, entry.refcon, &maxSleep);
        if (maxSleep != intervalMs) ++run.sleepChanges;
        // Only idle calls that did something are journaled; most do nothing.
        if (hostCalls_.load() != callsBefore || err != 0 || maxSleep != intervalMs)
            journal_.Record("IdleHook", stamp, true, {{"max_sleep_ms", intervalMs}}, err,
                            {{"max_sleep_ms", maxSleep}});
    }
    return run;
}

// main thread. The host updates its menus before the user picks a command.
void Hooks::RunMenu() {
    std::vector<MenuHook> hooks;
    {
        std::lock_guard lock(mutex_);
        hooks = menuHooks_;
    }
    for (const auto& entry : hooks) {
        const auto callsBefore = hostCalls_.load();
        const auto stamp = MonotonicMicros();
        const A_Err err = entry.hook(globalRefcon_, entry.refcon, 0);
        if (hostCalls_.load() != callsBefore || err != 0)
            journal_.Record("UpdateMenuHook", stamp, true, {{"active_window", 0}}, err);
    }
}

// main thread
void Hooks::CallCommandHooks(AEGP_Command command, AEGP_HookPriority priority, A_Boolean& handled) {
    std::vector<CommandHook> hooks;
    {
        std::lock_guard lock(mutex_);
        hooks = commandHooks_;
    }
    for (const auto& entry : hooks) {
        if (entry.priority != priority ||
            (entry.command != AEGP_Command_ALL && entry.command != command))
            continue;
        const A_Boolean already = handled;
        const auto stamp = MonotonicMicros();
        const A_Err err =
            entry.hook(globalRefcon_, entry.refcon, command, priority, already, &handled);
        journal_.Record(
            "CommandHook", stamp, true,
            {{"command", command}, {"hook_priority", priority}, {"already_handled", already != 0}},
            err, {{"handled", handled != 0}});
    }
}

// main thread
A_Err Hooks::DoCommand(AEGP_Command command, const std::function<void()>& runByHost) {
    constexpr int kMaxNesting = 16;
    if (commandDepth_ >= kMaxNesting) return A_Err_GENERIC;
    ++commandDepth_;
    A_Boolean handled = 0;
    CallCommandHooks(command, AEGP_HP_BeforeAE, handled);
    if (!handled) runByHost();
    CallCommandHooks(command, AEGP_HP_AfterAE, handled);
    --commandDepth_;
    return A_Err_NONE;
}

// any thread
nlohmann::json Hooks::CountsJson() const {
    std::lock_guard lock(mutex_);
    return {{"command", commandHooks_.size()},
            {"menu", menuHooks_.size()},
            {"idle", idleHooks_.size()}};
}

}  // namespace hostsim
