#include "PluginEntry.h"

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

// The text of a handle the host returned, which is then freed; "" for no handle.
std::string TakeHandleText(const AEGP_SuiteHandler& suites, AEGP_MemHandle handle) {
    if (handle == nullptr) return {};
    void* bytes = nullptr;
    suites.MemorySuite1()->AEGP_LockMemHandle(handle, &bytes);
    std::string text = bytes != nullptr ? static_cast<const char*>(bytes) : "";
    suites.MemorySuite1()->AEGP_FreeMemHandle(handle);
    return text;
}

// Runs one script with errors quieted and queues exactly one result for it. A failure
// before the result is queued still queues a "SCRIPT ERROR: " result, and the flag is
// lowered on every path, so a requester is never left waiting or told of success.
void RunScript(const std::string& script) {
    bool resultQueued = false;
    try {
        Tracer::TRACE("Executing script %d", static_cast<int>(script.size()));
        AEGP_MemHandle resultH = nullptr;
        AEGP_MemHandle errorH = nullptr;
        AEGP_SuiteHandler suites(sP);
        AEGP_UtilitySuite6* util = suites.UtilitySuite6();
        AEGP_ErrReportState state{};
        util->AEGP_StartQuietErrors(&state);
        util->AEGP_ExecuteScript(S_my_id, script.c_str(), 0, &resultH, &errorH);
        util->AEGP_EndQuietErrors(0, &state);

        const std::string errorText = TakeHandleText(suites, errorH);
        Tracer::TRACE("Error string: '%s'", errorText.c_str());
        if (!errorText.empty()) {
            TakeHandleText(suites, resultH);  // released unread
            scriptResultQueue.Push(Protocol::ScriptError(errorText));
        } else {
            std::string resultText = TakeHandleText(suites, resultH);
            Tracer::TRACE("Result string: '%s'", resultText.c_str());
            scriptResultQueue.Push(std::move(resultText));
        }
        resultQueued = true;
    } catch (...) {
        Tracer::TRACE("Error executing script");
        if (!resultQueued) {
            try {
                scriptResultQueue.Push(Protocol::ScriptError("Error executing script"));
            } catch (...) {
                // The requester then collects an empty result; it is still released below.
            }
        }
    }
    LowerScriptExecutingFlag();
}

IdleClock idleClock = nullptr;  // main thread; null: the steady clock

std::chrono::steady_clock::time_point IdleNow() {
    return idleClock != nullptr ? idleClock() : std::chrono::steady_clock::now();
}

// Pops until the queue gives "", running each item by itself, or until the call's time is
// up (the item under way is always finished). False when it stopped for the time.
template <class Run>
bool Drain(ThreadSafeQueue& queue, Run run, std::chrono::steady_clock::time_point deadline) {
    for (std::string item; !(item = queue.Pop()).empty();) {
        run(item);
        if (IdleNow() >= deadline) return false;
    }
    return true;
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
    } catch (const std::system_error&) {
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
    } catch (const std::system_error&) {
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

// main thread
A_Err IdleHook(AEGP_GlobalRefcon, AEGP_IdleRefcon, A_long*) {
    // The queues in their fixed order, within the budget; a call that stops short asks for
    // the next, which goes on where this one stopped.
    const auto deadline = IdleNow() + kIdleBudget;
    const bool finished = Drain(commandQueue, RunMenuCommand, deadline) &&
                          Drain(projectCommandQueue, RunProjectCommand, deadline) &&
                          Drain(infoPanelCommandQueue, RunInfoPanelCommand, deadline) &&
                          Drain(scriptQueue, RunScript, deadline);
    if (!finished && utilSuite != nullptr) utilSuite->AEGP_CauseIdleRoutinesToBeCalled();
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
        Tracer::TRACE("Command hook failed with error %d", err);
        return err;
    } catch (...) {
        Tracer::TRACE("Command hook failed");
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
        Tracer::TRACE("Menu update hook failed with error %d", err);
        return err;
    } catch (...) {
        Tracer::TRACE("Menu update hook failed");
        return A_Err_GENERIC;
    }
}

}  // namespace Cuebridge

// main thread, once at load.
A_Err EntryPointFunc(SPBasicSuite* pica_basicP, A_long, A_long, AEGP_PluginID aegp_plugin_id,
                     AEGP_GlobalRefcon*) {
    using namespace Cuebridge;
    CheckEnableTrace();
    CheckEnableLogs();
    S_my_id = aegp_plugin_id;
    sP = pica_basicP;
    MarlunePlugin::CreateInstance();
    Marlune::CreateInstance();

    // utilSuite is settled before the socket thread starts, since that thread reads it.
    utilSuite = HoldUtilitySuite();

    // HOME is read here, once, on the main thread: the socket thread never reads the
    // environment, which a script in the host may change at any time.
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
    } catch (...) {
        MarkIdleHookMissing();
        Tracer::TRACE("EntryPointFunc failed");
        return A_Err_GENERIC;
    }
}
