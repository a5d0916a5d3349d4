// The simulated host: owns the model (under one lock), the plug-in's hooks, the script
// engine, the journal and the main loop. Exactly one instance per process; the suite
// tables (Suites.h) route every call to it. Threading is stated per function: "main
// thread" is the thread that constructed the Host; the lock is never held while calling
// into the plug-in or the journal, and never together with another lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "AE_Host.h"
#include "Catalog.h"
#include "HostState.h"
#include "Journal.h"
#include "Options.h"
#include "ScriptEngine.h"

namespace hostsim {

class Host final : public ScriptModel {
public:
    static constexpr AEGP_PluginID kPluginId = 7;
    static constexpr A_long kMajorVersion = 13;
    static constexpr A_long kMinorVersion = 28;

    // main thread; becomes the instance the suite tables call.
    Host(Options options, std::vector<Effect> effects, const ProjectSpec& project);
    ~Host() override;
    static Host* Current();  // any thread; null before a host exists

    // main thread. Loads the plug-in and calls its entry point; false (with a message on
    // stderr) when the library or its entry point cannot be found.
    bool LoadPlugin();
    // main thread. Runs until quit, a signal or --exit-after-ms; returns the exit code.
    int Run();
    // async-signal-safe: SIGINT/SIGTERM end the main loop.
    static void OnSignal(int);

    // ---- Bookkeeping for the suite tables ---------------------------------------------
    bool IsMainThread() const { return std::this_thread::get_id() == mainThread_; }  // any
    void RecordViolation(std::string_view call);                                     // any thread
    void CountHostCall() { hostCalls_.fetch_add(1, std::memory_order_relaxed); }     // any
    Journal& GetJournal() { return journal_; }
    // main thread, at start: opens the command-stamp file for appending; false on failure.
    bool OpenCommandStamps(const std::string& path);
    // main thread: one stamp line for a command the plug-in asked for; nothing when off.
    void StampCommand(AEGP_Command command) const;
    const Options& GetOptions() const { return options_; }
    bool IsRefused(const std::string& name, std::int32_t version) const;  // any
    void NoteAcquired(const std::string& name, std::int32_t version);     // any
    bool NoteReleased(const std::string& name, std::int32_t version);     // any; false if not held

    // ---- Host functions (the suites' behaviour). Threads as the tables say. -------------
    A_Err RegisterCommandHook(AEGP_HookPriority priority, AEGP_Command command,
                              AEGP_CommandHook hook, AEGP_CommandRefcon refcon);
    A_Err RegisterUpdateMenuHook(AEGP_UpdateMenuHook hook, AEGP_UpdateMenuRefcon refcon);
    A_Err RegisterIdleHook(AEGP_IdleHook hook, AEGP_IdleRefcon refcon);
    void ShowAlert(std::string text);
    void StartQuietErrors();
    void EndQuietErrors();
    void RequestIdle();  // any thread
    // main thread: runs the script and hands out two new text handles.
    A_Err ExecuteScript(const std::string& script, AEGP_MemHandle* result, AEGP_MemHandle* error,
                        nlohmann::json& out);
    A_Err LockMemHandle(AEGP_MemHandle handle, void** bytes);
    A_Err UnlockMemHandle(AEGP_MemHandle handle);
    A_Err FreeMemHandle(AEGP_MemHandle handle);
    // main thread: command hooks first (before-host), then the host, then after-host hooks.
    A_Err DoCommand(AEGP_Command command, const char* source);
    AEGP_ProjectH ProjectHandle() { return reinterpret_cast<AEGP_ProjectH>(&projectToken_); }
    bool IsProject(AEGP_ProjectH project) const {
        return project == reinterpret_cast<const void*>(&projectToken_);
    }
    // Item walk and selection; item handles are checked, a foreign handle is refused.
    A_Err FirstItem(AEGP_ProjectH project, AEGP_ItemH* item);
    A_Err NextItem(AEGP_ProjectH project, AEGP_ItemH item, AEGP_ItemH* next);
    A_Err ActiveItem(AEGP_ItemH* item);
    A_Err IsItemSelected(AEGP_ItemH item, A_Boolean* selected);
    A_Err SelectItem(AEGP_ItemH item, bool select, bool deselectOthers);
    A_Err ItemType(AEGP_ItemH item, AEGP_ItemType* type);
    A_Err CompFromItem(AEGP_ItemH item, AEGP_CompH* comp);
    A_Err CompNumLayers(AEGP_CompH comp, A_long* count);
    A_Err CompLayerByIndex(AEGP_CompH comp, A_long index, AEGP_LayerH* layer);
    std::optional<std::int32_t> ItemId(const void* handle) const;  // any thread, for the journal
    void InfoDrawText(const char* line1, const char* line2);
    void InfoDrawColor(PF_Pixel color);
    void AppendInfoText(const char* text);

    // ---- Console (main thread) --------------------------------------------------------
    nlohmann::json StateJson() const;
    std::string UserSelect(std::int32_t id);             // empty on success, else the problem
    void UserCommand(AEGP_Command command);              // menus update, then the command runs
    ScriptOutcome RunScript(const std::string& script);  // as AEGP_ExecuteScript does
    void RequestQuit();

    // ---- ScriptModel (main thread, during a script) -----------------------------------
    std::vector<Effect> Effects() override { return effects_; }
    std::vector<ScriptItem> ScriptItems() override;
    std::int32_t ActiveItemId() override;
    bool SetItemSelected(std::int32_t id, bool selected) override;
    std::string Language() override { return options_.language; }
    std::string Version() override { return "24.6.0"; }
    void ExecuteCommand(std::int32_t command) override { DoCommand(command, "script"); }

private:
    struct CommandHookEntry {
        AEGP_HookPriority priority;
        AEGP_Command command;
        AEGP_CommandHook hook;
        AEGP_CommandRefcon refcon;
    };
    struct IdleHookEntry {
        AEGP_IdleHook hook;
        AEGP_IdleRefcon refcon;
    };
    struct MenuHookEntry {
        AEGP_UpdateMenuHook hook;
        AEGP_UpdateMenuRefcon refcon;
    };
    struct MemBlock {
        std::string bytes;
    };

    void RunIdleHooks();
    void RunMenuHooks();
    void CallCommandHooks(AEGP_Command command, AEGP_HookPriority priority, A_Boolean& handled);
    void MainLoop();
    AEGP_MemHandle NewMemHandle(std::string text);
    bool HookRegistrationRefused(const char* kind) const;
    void ReportAtExit() const;

    const Options options_;
    const std::vector<Effect> effects_;
    const std::thread::id mainThread_;
    Journal journal_;
    int stampFd_ = -1;                      // command stamps; opened before the plug-in loads
    std::unique_ptr<ScriptEngine> engine_;  // main thread only
    void* library_ = nullptr;
    AEGP_GlobalRefcon globalRefcon_ = nullptr;  // the plug-in's slot, passed back to hooks
    A_Err entryResult_ = 0;
    int projectToken_ = 0;  // its address is the project handle
    int commandDepth_ = 0;  // main thread: nesting of DoCommand
    std::atomic<std::uint64_t> hostCalls_{0};
    std::atomic<bool> idleRequested_{false};
    std::atomic<bool> quitRequested_{false};

    mutable std::mutex mutex_;  // guards everything below
    HostState state_;
    std::vector<CommandHookEntry> commandHooks_;
    std::vector<MenuHookEntry> menuHooks_;
    std::vector<IdleHookEntry> idleHooks_;
    std::map<void*, std::unique_ptr<MemBlock>> memHandles_;
};

}  // namespace hostsim
