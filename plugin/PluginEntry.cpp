#include "PluginEntry.h"

#include <array>
#include <atomic>
#include <chrono>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "AEGP_SuiteHandler.h"
#include "HostContext.h"
#include "Protocol.h"
#include "ThreadSafeQueue.h"
#include "Tracer.h"

namespace Cuebridge {

MarluneListener* listener = nullptr;
AEGP_IdleRefcon idleRefcon = nullptr;

namespace {

constexpr const char* kRegistrationAlert = "Marlune : Could not register command hook.";
constexpr PF_Pixel kIdleInfoColor{1, 150, 100, 50};
constexpr PF_Pixel kHookInfoColor{1, 100, 100, 100};
int idleRefconTarget = 0;  // only its address is used, as the opaque idle refcon

// ---- idle executor (main thread) ------------------------------------------------------

// Traces without letting a failure of the trace itself (no memory left) go further.
void TraceQuietly(const char* line) noexcept {
    try {
        Tracer::TRACE("%s", line);
    } catch (...) {
    }
}
void TraceQuietly(const char* what, int err) noexcept {
    try {
        Tracer::TRACE("%s failed with error %d", what, err);
    } catch (...) {
    }
}

// The text as a base-10 number (blanks, a sign, digits; the rest ignored). False when
// there is no number or it does not fit a command number: a larger one is never cut
// down to some other command.
bool ParseCommandNumber(const std::string& text, AEGP_Command& command) {
    try {
        const long long number = std::stoll(text);
        if (number < std::numeric_limits<AEGP_Command>::min() ||
            number > std::numeric_limits<AEGP_Command>::max())
            return false;
        command = static_cast<AEGP_Command>(number);
        return true;
    } catch (const std::logic_error&) {  // invalid_argument, out_of_range
        return false;
    }
}

void RunMenuCommand(const std::string& text) {
    AEGP_Command command = 0;
    if (!ParseCommandNumber(text, command)) {
        Tracer::TRACE("Invalid command: '%s'", text.c_str());
        return;
    }
    try {
        Tracer::TRACE("Executing command %d", command);
        AEGP_SuiteHandler suites(sP);
        suites.CommandSuite1()->AEGP_DoCommand(command);
    } catch (...) {
        Tracer::TRACE("Error executing command %d", command);
    }
}

void RunProjectCommand(const std::string& text) {
    try {
        Tracer::TRACE("Executing project command '%s'", text.c_str());
        MarlunePlugin* plugin = MarlunePlugin::GetInstance();
        if (text == Protocol::kSelectNext) {
            plugin->SelectNextProjectItem();
        } else if (text == Protocol::kSelectFirst) {
            plugin->SelectFirstProjectItem();
        }
    } catch (...) {
        Tracer::TRACE("Error executing project command '%s'", text.c_str());
    }
}

void RunInfoPanelCommand(const std::string& text) {
    try {
        Tracer::TRACE("Executing info panel command '%s'", text.c_str());
        MarlunePlugin* plugin = MarlunePlugin::GetInstance();
        if (text == Protocol::kSetInfoText) {
            plugin->SetInfoText("Lorem ipsum", "dolor sit amet");
            plugin->AppendInfoText("Some third text");
        } else if (text == Protocol::kSetInfoColor) {
            plugin->SetInfoColor(kIdleInfoColor);
        }
    } catch (...) {
        Tracer::TRACE("Error info panel command '%s'", text.c_str());
    }
}

// A text handle the host handed back from a script: read (locked, copied, unlocked) and
// freed when it goes, whatever happens in between.
class HostText {
public:
    explicit HostText(AEGP_MemorySuite1* memory) : memory_(memory) {}
    ~HostText() {
        if (handle_ != nullptr) memory_->AEGP_FreeMemHandle(handle_);
    }
    HostText(const HostText&) = delete;
    HostText& operator=(const HostText&) = delete;

    AEGP_MemHandle* Slot() { return &handle_; }
    // The text up to its first zero byte; "" for no handle. False when the host would not
    // lock the handle.
    bool Read(std::string& text) const {
        text.clear();
        if (handle_ == nullptr) return true;
        void* bytes = nullptr;
        if (memory_->AEGP_LockMemHandle(handle_, &bytes) != A_Err_NONE) return false;
        struct Unlock {
            const HostText& text;
            ~Unlock() { text.memory_->AEGP_UnlockMemHandle(text.handle_); }
        } unlock{*this};
        if (bytes != nullptr) text = static_cast<const char*>(bytes);
        return true;
    }

private:
    AEGP_MemorySuite1* memory_;
    AEGP_MemHandle handle_ = nullptr;
};

// What the requester of a script is told: the script's result, or "SCRIPT ERROR: " and
// why it failed: the host's error text, else the host's error code. Both suites are taken
// before the script runs: without the memory suite the handles the host hands back could
// be neither read nor freed.
std::string ScriptReply(const std::string& script) {
    AEGP_SuiteHandler suites(sP);
    AEGP_UtilitySuite6* util = suites.UtilitySuite6();
    HostText result(suites.MemorySuite1());
    HostText error(suites.MemorySuite1());
    AEGP_ErrReportState state{};
    util->AEGP_StartQuietErrors(&state);
    const A_Err err =
        util->AEGP_ExecuteScript(S_my_id, script.c_str(), 0, result.Slot(), error.Slot());
    util->AEGP_EndQuietErrors(0, &state);

    std::string text;
    if (!error.Read(text)) return Protocol::ScriptError("the host's error text could not be read");
    Tracer::TRACE("Error string: '%s'", text.c_str());
    if (!text.empty()) return Protocol::ScriptError(text);
    if (err != A_Err_NONE)
        return Protocol::ScriptError("the host's script call failed with error " +
                                     std::to_string(err));
    if (!result.Read(text))
        return Protocol::ScriptError("the host's result text could not be read");
    Tracer::TRACE("Result string: '%s'", text.c_str());
    return text;
}

// The reply for one script, also when the plug-in itself fails on the way.
std::string ScriptOutcome(const std::string& script) {
    try {
        Tracer::TRACE("Executing script %d", static_cast<int>(script.size()));
        return ScriptReply(script);
    } catch (int err) {
        TraceQuietly("Executing the script", err);
        const std::string why = "a host suite it needs is missing (error " + std::to_string(err);
        return Protocol::ScriptError("the plug-in could not run the script: " + why + ")");
    } catch (...) {
        TraceQuietly("Error executing script");
        return Protocol::ScriptError("the plug-in could not run the script");
    }
}

// Runs one script with errors quieted and queues exactly one result for it; the flag is
// lowered on every path, so a requester is never left waiting.
void RunScript(const std::string& script) {
    try {
        scriptResultQueue.Push(ScriptOutcome(script));
    } catch (...) {
        TraceQuietly("Error executing script: its result could not be queued");
    }
    LowerScriptExecutingFlag();
}

IdleClock idleClock = nullptr;  // main thread; null: the steady clock

std::chrono::steady_clock::time_point IdleNow() {
    return idleClock != nullptr ? idleClock() : std::chrono::steady_clock::now();
}

// A queue of work for the main thread and how its items are carried out.
struct Work {
    ThreadSafeQueue& queue;
    void (*run)(const std::string&);
};
using WorkQueues = std::array<Work, 4>;

// The queue whose next item arrived first; null when all are empty.
const Work* OldestOf(const WorkQueues& queues) {
    const Work* oldest = nullptr;
    std::uint64_t oldestArrival = 0;
    for (const Work& work : queues) {
        const auto arrival = work.queue.OldestArrival();
        if (arrival && (oldest == nullptr || *arrival < oldestArrival)) {
            oldest = &work;
            oldestArrival = *arrival;
        }
    }
    return oldest;
}

// The queue holding the work to carry out next. Once something is found it looks again:
// work that a thread queued before the item found may have reached a queue after that
// queue was looked at, and is then seen.
const Work* NextWork(const WorkQueues& queues) {
    return OldestOf(queues) != nullptr ? OldestOf(queues) : nullptr;
}

// Carries out one item; whatever fails stays with that item. An empty text is no work.
void RunItem(const Work& work, const std::string& text) {
    if (text.empty()) return;
    try {
        work.run(text);
    } catch (...) {
        TraceQuietly("Error carrying out queued work");
    }
}

// ---- command 2630 ---------------------------------------------------------------------

// Raised while the test script of command 2630 runs or waits for its idle call: one at a
// time, so a burst of the command cannot pile up waiting threads and scripts.
std::atomic<bool> testScriptUnderWay{false};

// main thread. The script waits for the idle hook, which runs on this very thread: the
// request goes to a short-lived thread of its own.
void StartTestScript(MarlunePlugin* plugin) {
    if (testScriptUnderWay.exchange(true)) {
        Tracer::TRACE("Test script already under way: command 2630 not queued again");
        return;
    }
    try {
        std::thread([plugin] {
            std::string result;
            std::string error;
            plugin->TestScriptExecute(result, error);
            testScriptUnderWay.store(false);  // test script thread
        }).detach();
    } catch (...) {
        testScriptUnderWay.store(false);
        Tracer::TRACE("Could not start the test script");
    }
}

// ---- entry (main thread) ------------------------------------------------------------

// Keeps one reference of the Utility suite for the life of the process, so that the
// table utilSuite points to never goes away. Null when the host has none.
AEGP_UtilitySuite6* HoldUtilitySuite() {
    const void* table = nullptr;
    if (sP == nullptr ||
        sP->AcquireSuite(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion6, &table) != 0 ||
        table == nullptr) {
        return nullptr;
    }
    return static_cast<AEGP_UtilitySuite6*>(const_cast<void*>(table));
}

A_Err RegisterHooks(const AEGP_SuiteHandler& suites) {
    AEGP_RegisterSuite5* registry = suites.RegisterSuite5();
    A_Err err = registry->AEGP_RegisterCommandHook(S_my_id, AEGP_HP_BeforeAE, AEGP_Command_ALL,
                                                   CommandHook, nullptr);
    if (err == 0) err = registry->AEGP_RegisterUpdateMenuHook(S_my_id, UpdateMenuHook, nullptr);
    idleRefcon = reinterpret_cast<AEGP_IdleRefcon>(&idleRefconTarget);
    if (err == 0) err = registry->AEGP_RegisterIdleHook(S_my_id, IdleHook, idleRefcon);
    if (err != 0) MarkIdleHookMissing();
    return err;
}

void ShowRegistrationAlert(const AEGP_SuiteHandler& suites) {
    try {
        suites.UtilitySuite3()->AEGP_ReportInfo(S_my_id, kRegistrationAlert);
    } catch (...) {
        Tracer::TRACE("Could not show the alert: '%s'", kRegistrationAlert);
    }
}

void StartStartupJob() {
    try {
        std::thread(RunStartupJob, Marlune::GetInstance(), MarlunePlugin::GetInstance()).detach();
    } catch (...) {
        Tracer::TRACE("Could not start the start-up job");
    }
}

// Registers the hooks and, when all three are in place, starts the start-up job
// (without an idle hook its script would never run and the job would wait forever).
A_Err RegisterAndStart() {
    AEGP_SuiteHandler suites(sP);
    const A_Err err = RegisterHooks(suites);
    if (err == 0) {
        StartStartupJob();
    } else {
        ShowRegistrationAlert(suites);
    }
    return err;
}

}  // namespace

// start-up job thread
void RunStartupJob(Marlune* dispatcher, MarlunePlugin* plugin) {
    std::string result;
    std::string error;
    plugin->ExecuteScript(InstalledEffectsScript(), result, error);
    dispatcher->SetInstalledAEEffects(std::move(result));
}

// main thread
void SetIdleClockForTesting(IdleClock clock) { idleClock = clock; }

// main thread: menu commands, Project panel steps, Info panel commands and scripts, in the
// order they arrived, within the budget; a call that stops short asks for the next, which
// goes on where this one stopped. Nothing that fails here reaches the host.
A_Err IdleHook(AEGP_GlobalRefcon, AEGP_IdleRefcon, A_long*) {
    try {
        const WorkQueues queues{{{commandQueue, RunMenuCommand},
                                 {projectCommandQueue, RunProjectCommand},
                                 {infoPanelCommandQueue, RunInfoPanelCommand},
                                 {scriptQueue, RunScript}}};
        const auto deadline = IdleNow() + kIdleBudget;
        for (const Work* work = NextWork(queues); work != nullptr; work = NextWork(queues)) {
            RunItem(*work, work->queue.Pop());
            if (IdleNow() >= deadline) {
                if (OldestOf(queues) != nullptr && utilSuite != nullptr)
                    utilSuite->AEGP_CauseIdleRoutinesToBeCalled();
                break;
            }
        }
    } catch (...) {
        TraceQuietly("Idle call failed");
    }
    return 0;
}

// main thread. The handled flag is left alone, so the host still runs its command.
A_Err CommandHook(AEGP_GlobalRefcon, AEGP_CommandRefcon, AEGP_Command command, AEGP_HookPriority,
                  A_Boolean, A_Boolean*) {
    try {
        MarlunePlugin* plugin = MarlunePlugin::GetInstance();
        switch (command) {
            case Protocol::kCommandTestScript:
                StartTestScript(plugin);
                return 0;
            case Protocol::kCommandInfoPanelDemo:
                plugin->SetInfoText("line 1", "line 2");
                plugin->AppendInfoText("line 3");
                plugin->SetInfoColor(kHookInfoColor);
                return 0;
            case Protocol::kCommandSelectFirstItem:
                plugin->SelectFirstProjectItem();
                return 0;
            case Protocol::kCommandSelectNextItem:
                plugin->SelectNextProjectItem();
                return 0;
            default:
                return 0;
        }
    } catch (int err) {
        TraceQuietly("Command hook", err);
        return err;
    } catch (...) {
        TraceQuietly("Command hook failed");
        return A_Err_GENERIC;
    }
}

// main thread
A_Err UpdateMenuHook(AEGP_GlobalRefcon, AEGP_UpdateMenuRefcon, AEGP_WindowType) {
    try {
        AEGP_SuiteHandler suites(sP);
        AEGP_ItemH active = nullptr;
        return suites.ItemSuite6()->AEGP_GetActiveItem(&active);
    } catch (int err) {
        TraceQuietly("Menu update hook", err);
        return err;
    } catch (...) {
        TraceQuietly("Menu update hook failed");
        return A_Err_GENERIC;
    }
}

namespace {

// main thread, once at load.
A_Err Enter(SPBasicSuite* pica_basicP, AEGP_PluginID aegp_plugin_id) {
    mainThread = std::this_thread::get_id();
    // HOME is read at entry only, on the main thread: the markers, the log file's name, the
    // test script's path and the port file's folder. No other thread reads the environment,
    // which a script in the host may change at any time.
    CheckEnableTrace();
    CheckEnableLogs();
    Tracer::GetLogFileName();
    FixTestScriptPath();
    S_my_id = aegp_plugin_id;
    sP = pica_basicP;
    MarlunePlugin::CreateInstance();
    Marlune::CreateInstance();

    // utilSuite is settled before the socket thread starts, since that thread reads it.
    utilSuite = HoldUtilitySuite();

    try {
        listener = new MarluneListener();
        listener->StartListening(0, HomeFolder());
    } catch (...) {
        Tracer::TRACE("Could not start the socket thread");
    }

    if (utilSuite == nullptr) {
        MarkIdleHookMissing();
        Tracer::TRACE("EntryPointFunc: missing suite, error %d", kMissingSuiteError);
        return kMissingSuiteError;
    }
    try {
        return RegisterAndStart();
    } catch (int err) {
        MarkIdleHookMissing();  // the registry was out of reach: no hook is in place
        Tracer::TRACE("EntryPointFunc: missing suite, error %d", err);
        return err;
    }
}

}  // namespace

}  // namespace Cuebridge

// main thread, once at load. Nothing that fails inside reaches the host: it gets an error
// code, and without the hooks in place no work is taken on.
A_Err EntryPointFunc(SPBasicSuite* pica_basicP, A_long, A_long, AEGP_PluginID aegp_plugin_id,
                     AEGP_GlobalRefcon*) {
    try {
        return Cuebridge::Enter(pica_basicP, aegp_plugin_id);
    } catch (...) {
        Cuebridge::idleHookMissing.store(true);
        try {
            Cuebridge::MarkIdleHookMissing();
        } catch (...) {
        }
        Cuebridge::TraceQuietly("EntryPointFunc failed");
        return A_Err_GENERIC;
    }
}
