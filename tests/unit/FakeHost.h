// FakeHost: an in-process stand-in for the host, for unit tests. It serves the basic
// suite and every suite declared in hostapi/, records each call with the thread it
// came from, models a small project, the Info panel and menu commands, and runs
// scripts through a callback. One FakeHost exists at a time (the C tables route to it).
// Every method may be called from any thread; hooks are never called under its lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "AE_Host.h"

namespace fakehost {

struct Call {
    std::string name;               // the host function's name, e.g. "AEGP_DoCommand"
    std::vector<std::string> args;  // arguments as text
    bool onMain = false;            // made on the host's main thread
};

struct ScriptOutcome {
    std::string result;
    std::string error;
};

struct Item {
    std::string name;
    AEGP_ItemType type = AEGP_ItemType_FOLDER;
    int numLayers = 0;  // for compositions
};

struct InfoPanel {
    std::string line1, line2;
    std::vector<std::string> appended;
    std::optional<PF_Pixel> color;
};

class FakeHost {
public:
    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    SPBasicSuite* Basic();

    // ---- the host's main thread -------------------------------------------------
    // The constructing thread is the main thread until StartPump or SetMainThread.
    void SetMainThread(std::thread::id id);
    // Starts a thread that acts as the host's main thread: it runs tasks given to
    // RunOnMain and calls the idle hook as soon as an idle call is requested, and
    // otherwise every interval.
    void StartPump(std::chrono::milliseconds interval = std::chrono::milliseconds(20));
    void StopPump();
    // Runs fn on the pump thread and waits for it.
    void RunOnMain(const std::function<void()>& fn);
    // Calls the registered idle hook once on the calling thread (0 when none).
    A_Err CallIdleHook();
    // The user runs a menu command: command hooks first, then the host's own handling.
    A_Err RunCommand(AEGP_Command command);
    // Waits until the pump has made `count` idle calls beyond the current number.
    bool WaitForIdleCalls(int count, std::chrono::milliseconds timeout);

    // ---- fault switches -----------------------------------------------------------
    void RefuseSuite(const std::string& name, int version);      // acquire fails, null table
    void FailRegistration(const std::string& which, A_Err err);  // "command"|"menu"|"idle"
    void SetScriptRunner(std::function<ScriptOutcome(const std::string&)> runner);
    void SetLanguage(std::string language);
    void SetItems(std::vector<Item> items);  // project items in host order
    void SetActiveItem(std::optional<int> index);

    // ---- observations -------------------------------------------------------------
    int AcquireCount(const std::string& name, int version);
    int ReleaseCount(const std::string& name, int version);
    int HeldSuites();  // acquisitions not yet released, all pairs
    std::vector<Call> Calls();
    std::vector<Call> CallsNamed(const std::string& name);
    void ClearCalls();
    // Host calls made off the main thread, other than the idle request, the language
    // query and suite acquire/release.
    std::vector<Call> ThreadViolations();
    std::vector<AEGP_Command> CommandsRun();
    InfoPanel Info();
    std::vector<std::string> Alerts();
    std::vector<int> SelectedItems();  // indexes into the item list
    std::optional<int> ActiveItem();
    int IdleRequests();
    int IdleCalls();
    bool MaxSleepChanged();  // the idle hook changed the host's max-sleep value
    int OpenMemHandles();
    bool HasHook(const std::string& which);  // "command"|"menu"|"idle"

    // ---- used by the C trampolines (any thread) ----------------------------------
    static FakeHost* Current();
    void Record(std::string name, std::vector<std::string> args);
    A_Err Acquire(const char* name, int32_t version, const void** suite);
    A_Err Release(const char* name, int32_t version);
    A_Err Register(const std::string& which, AEGP_CommandHook, AEGP_UpdateMenuHook, AEGP_IdleHook,
                   void* refcon);
    void RequestIdle();
    std::string Language();
    ScriptOutcome RunScript(const std::string& script);
    AEGP_MemHandle NewMemHandle(const std::string& text);
    A_Err LockMemHandle(AEGP_MemHandle handle, void** ptr);
    A_Err FreeMemHandle(AEGP_MemHandle handle);
    void AddCommandRun(AEGP_Command command);
    void SetInfoText(const char* line1, const char* line2);
    void AppendInfoText(const char* text);
    void SetInfoColor(PF_Pixel color);
    void AddAlert(const char* text);
    AEGP_ItemH ItemHandle(int index);  // null for an index outside the project
    int ItemIndex(AEGP_ItemH handle);  // -1 for null or unknown
    AEGP_ItemType ItemTypeOf(int index);
    int ItemCount();
    int NumLayers(int index);
    A_Err SelectItem(AEGP_ItemH handle, bool select, bool deselectOthers);

private:
    bool OnMain();
    void PumpLoop(std::chrono::milliseconds interval);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread::id mainThread_;
    std::vector<Call> calls_;
    std::map<std::pair<std::string, int>, int> acquired_, released_;
    std::vector<std::pair<std::string, int>> refused_;
    std::map<std::string, A_Err> failRegistration_;
    std::function<ScriptOutcome(const std::string&)> scriptRunner_;
    std::string language_ = "en_US";
    std::vector<Item> items_;
    std::deque<int> itemSlots_;  // stable addresses that serve as item handles
    std::vector<bool> selected_;
    std::optional<int> active_;
    InfoPanel info_;
    std::vector<std::string> alerts_;
    std::vector<AEGP_Command> commandsRun_;
    std::map<void*, std::string> memHandles_;
    AEGP_CommandHook commandHook_ = nullptr;
    AEGP_UpdateMenuHook menuHook_ = nullptr;
    AEGP_IdleHook idleHook_ = nullptr;
    void* idleRefcon_ = nullptr;
    int idleRequests_ = 0;
    int idleCalls_ = 0;
    bool maxSleepChanged_ = false;
    bool idleWanted_ = false;
    bool pumpStop_ = false;
    std::deque<std::function<void()>> mainTasks_;
    std::thread pump_;
};

}  // namespace fakehost
