// The simulated host: owns its parts (project, Info panel, memory handles, hooks, main
// loop, script engine, journal) and the records of what the plug-in did, and tells
// subscribers of every change. Exactly one instance per process; the suite tables
// (Suites.h) route every call to it through SuiteHost. "main thread" is the thread that constructed
// the Host. Each part has its own lock; no lock is held while calling into the plug-in, the journal
// or a subscriber, and no thread ever holds two.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "AE_Host.h"
#include "core/Catalog.h"
#include "core/ChangeListeners.h"
#include "core/Hooks.h"
#include "core/InfoPanel.h"
#include "core/Journal.h"
#include "core/MainLoop.h"
#include "core/MemHandles.h"
#include "core/Options.h"
#include "core/Project.h"
#include "core/Records.h"
#include "core/SuiteHost.h"
#include "scripting/Environment.h"
#include "scripting/ScriptEngine.h"

namespace hostsim {

class Host final : public SuiteHost {
public:
    static constexpr AEGP_PluginID kPluginId = 7;
    static constexpr A_long kMajorVersion = 13;
    static constexpr A_long kMinorVersion = 28;

    // main thread; becomes the instance the suite tables call.
    Host(Options options, std::vector<Effect> effects, const ProjectSetup& project);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    static Host* Current();  // any thread; null before a host exists and after it ends

    // ---- Loading and running (main thread) ---------------------------------------------
    // Loads the plug-in and calls its entry point; false (with a message on stderr) when
    // the library or its entry point cannot be found.
    bool LoadPlugin();
    // Calls a plug-in's entry point with the host's suites (a test may pass one linked in).
    A_Err CallEntryPoint(AEGP_EntryPointFunc entry);
    // Runs until quit, a signal or --exit-after-ms, handing standard input to `input` (the
    // console); returns the exit code.
    int Run(const MainLoop::Input& input);
    static void OnSignal(int);    // async-signal-safe: SIGINT/SIGTERM end the main loop
    void RequestQuit();           // any thread
    void RequestIdle() override;  // any thread
    // any thread: runs the task on the main thread at the main loop's next turn; false (the
    // task dropped) once the loop has ended.
    bool Post(std::function<void()> task) { return loop_.Post(std::move(task)); }
    void ClosePosting() { loop_.Close(); }  // any thread: see MainLoop::Close
    // main thread: calls the idle hooks once.
    void RunIdleHooks();
    // main thread, for a test driving the host in process: calls the idle hooks if an idle
    // call was requested since the last pump; true when it did.
    bool PumpIdle();

    // ---- The parts ---------------------------------------------------------------------
    Project& GetProject() override { return project_; }
    const Project& GetProject() const { return project_; }
    const InfoPanel& GetInfoPanel() const { return info_; }
    MemHandles& GetMemHandles() override { return memHandles_; }
    const MemHandles& GetMemHandles() const { return memHandles_; }
    Hooks& GetHooks() override { return hooks_; }
    const Hooks& GetHooks() const { return hooks_; }
    Journal& GetJournal() override { return journal_; }
    const Options& GetOptions() const { return options_; }
    const std::string& Language() const override { return options_.language; }
    const std::vector<Effect>& InstalledEffects() const { return effects_; }
    // The menu command table; set at start-up (main thread) before the plug-in loads.
    const model::CommandTable& Commands() const { return commands_; }
    void SetCommands(model::CommandTable commands) { commands_ = std::move(commands); }
    A_Err EntryResult() const { return entryResult_; }
    Records RecordsCopy() const;  // any thread
    // any thread: a copy for a view that follows the logs without copying them whole: the
    // commands from the `commandsSeen`-th on (the latest `keep`), with `merge` each row of
    // identical ones as one run with its count, and the latest `keep` scripts.
    Records RecentRecords(std::size_t keep, std::size_t commandsSeen = 0, bool merge = false) const;
    // main thread, before the plug-in loads: called before each record is stamped (the
    // trace tap's Drain, so that output written before is stamped first).
    void SetBeforeStamp(std::function<void()> drain) { beforeStamp_ = std::move(drain); }

    // ---- Subscribers (any thread) --------------------------------------------------------
    std::uint64_t Subscribe(ChangeListeners::Listener listener, unsigned changes = kAllChanges) {
        return listeners_.Subscribe(std::move(listener), changes);
    }
    void Unsubscribe(std::uint64_t id) { listeners_.Unsubscribe(id); }
    void Notify(Change change);

    // ---- Bookkeeping for the suite tables (any thread) ----------------------------------
    bool IsMainThread() const override { return std::this_thread::get_id() == mainThread_; }
    void RecordViolation(std::string_view call) override;
    void CountHostCall() override { hostCalls_.fetch_add(1, std::memory_order_relaxed); }
    bool IsRefused(const std::string& name, std::int32_t version) const override;
    // Fault switch: from now on the pair is refused (or served again). Starts as --refuse-suite.
    void SetRefused(const std::string& name, std::int32_t version, bool refused);
    void NoteAcquired(const std::string& name, std::int32_t version) override;
    bool NoteReleased(const std::string& name, std::int32_t version) override;  // false if not held
    // main thread, at start: opens the command-stamp file for appending; false on failure.
    bool OpenCommandStamps(const std::string& path);
    // main thread: one stamp line for a command the plug-in asked for; nothing when off.
    void StampCommand(AEGP_Command command) const override;

    // ---- Host functions that change what a view shows (threads as the tables say) -------
    void ShowAlert(std::string text) override;
    void StartQuietErrors() override;
    void EndQuietErrors() override;
    A_Err SelectItem(AEGP_ItemH item, bool select, bool deselectOthers) override;
    void InfoDrawText(const char* line1, const char* line2) override;
    void InfoDrawColor(PF_Pixel color) override;
    void AppendInfoText(const char* text) override;
    // main thread: runs the script and hands out two new text handles.
    A_Err ExecuteScript(const std::string& script, AEGP_MemHandle* result, AEGP_MemHandle* error,
                        nlohmann::json& out) override;
    // main thread: command hooks first (before-host), then the host, then after-host hooks.
    A_Err DoCommand(AEGP_Command command, const char* source) override;

    // ---- What the user does: the console and the live view (main thread) ---------------
    std::string UserSelect(std::int32_t id);             // empty on success, else the problem
    void UserCommand(AEGP_Command command);              // menus update, then the command runs
    ScriptOutcome RunScript(const std::string& script);  // as AEGP_ExecuteScript does
    // What the object model says of every member of the host's list (--member-report).
    MemberReport ReportMembers() { return engine_->ReportMembers(); }

    // ---- The script environment (main thread) --------------------------------------------
    static constexpr std::size_t kOutputKept = 2000;  // lines a view can still take
    ScriptEnvironment& Environment() { return *env_; }
    // Runs the scheduled tasks due at nowMicros (monotonic), each as a script; a task's
    // error is journaled. The main loop calls it when the next one is due.
    void RunDueTasks(std::int64_t nowMicros);

private:
    void ReportAtExit() const;
    void RecordModelChanges(std::vector<model::Change> changes);
    void RunCommandAction(model::CommandAction action);
    std::int64_t Stamp() const;  // any thread
    void ConnectEnvironment();   // main thread, at construction: the environment's sink

    const Options options_;
    const std::vector<Effect> effects_;
    const std::thread::id mainThread_;
    model::CommandTable commands_ = model::CommandTable::BuiltIn();
    Journal journal_;
    int stampFd_ = -1;  // command stamps; opened before the plug-in loads
    A_Err entryResult_ = 0;
    std::atomic<std::uint64_t> hostCalls_{0};
    std::function<void()> beforeStamp_;  // set once, before any other thread runs

    ChangeListeners listeners_;
    Project project_;
    InfoPanel info_;
    MemHandles memHandles_;
    Hooks hooks_;
    MainLoop loop_;
    std::unique_ptr<ScriptEnvironment> env_;  // main thread only
    std::unique_ptr<ScriptModel> scriptModel_;
    std::unique_ptr<ScriptEngine> engine_;  // main thread only

    mutable std::mutex mutex_;  // guards records_ and refused_
    Records records_;
    std::vector<std::pair<std::string, std::int32_t>> refused_;
};

}  // namespace hostsim
