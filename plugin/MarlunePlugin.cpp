#include "MarlunePlugin.h"

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>

#include "AEGP_SuiteHandler.h"
#include "ConnectionCount.h"
#include "HostContext.h"
#include "Protocol.h"
#include "ThreadSafeQueue.h"
#include "Tracer.h"

namespace Cuebridge {

std::atomic<bool> IsScriptExecuting{false};
std::atomic<bool> idleHookMissing{false};

// Built once and never destroyed: the socket thread may still read them while the host
// process exits and runs the library's static destructors.
const std::string& NoIdleHookError() {
    static const std::string* const text = new std::string(
        Protocol::ScriptError("the plug-in cannot run scripts: its idle hook is not registered"));
    return *text;
}

const std::string& InstalledEffectsScript() {
    static const std::string* const text = new std::string(
        std::string(
            "function getEffects(){var effects = '';var effectsList = app.effects;"
            "for (var i = 0; i < effectsList.length; i++){"
            "\t"
            "var effect = effectsList[i];"
            "\t"
            "effects += effect.matchName + '|' + effect.displayName + '|' + effect.category + "
            "'") +
        Protocol::kEffectRecordEnd + "';}return effects;}getEffects();");
    return *text;
}

namespace {

MarlunePlugin* _instance = nullptr;

// One mutex and one condition variable carry the one-request-at-a-time rule (the wake-up
// after a script ran is the IsScriptExecuting flag's own). The request "slot" is a flag under the
// mutex, not a mutex held for the whole request, so the queue locks taken during a request never
// nest inside another lock. Never destroyed: detached threads may use it until the
// process ends.
struct ScriptSync {
    std::mutex mutex;
    std::condition_variable wake;
    bool requestActive = false;  // guarded by mutex
};
ScriptSync& Sync() {
    static ScriptSync* const sync = new ScriptSync();
    return *sync;
}

class ScriptRequestSlot {
public:
    // any thread: waits until no other request is outstanding, then takes the slot.
    ScriptRequestSlot() {
        ScriptSync& sync = Sync();
        std::unique_lock<std::mutex> lock(sync.mutex);
        sync.wake.wait(lock, [&sync] { return !sync.requestActive; });
        sync.requestActive = true;
    }
    // any thread: gives the slot to the next requester.
    ~ScriptRequestSlot() {
        ScriptSync& sync = Sync();
        {
            std::lock_guard<std::mutex> lock(sync.mutex);
            sync.requestActive = false;
        }
        sync.wake.notify_all();
    }
    ScriptRequestSlot(const ScriptRequestSlot&) = delete;
    ScriptRequestSlot& operator=(const ScriptRequestSlot&) = delete;
};

// Requesting thread: waits on the flag itself, so a lowering cannot be missed. False
// when the idle hook turned out to be missing (the script was queued while the entry
// point was still registering the hooks): MarkIdleHookMissing lowers the flag for it.
// Called once the flag is raised: a MarkIdleHookMissing before that is seen here.
bool WaitForScriptFlagLowered() {
    if (!idleHookMissing.load()) IsScriptExecuting.wait(true);
    return !idleHookMissing.load();
}

// any thread: work for the host is refused because no idle hook will carry it out;
// traced once per controller connection, however many messages bring such work.
void TraceDroppedWork() {
    static std::atomic<unsigned> tracedFor{~0u};
    const unsigned connection = servedConnections.load();
    if (tracedFor.exchange(connection) != connection)
        Tracer::TRACE("Idle hook not registered: work for the host is dropped on this connection");
}

// any thread: utilSuite is set at entry before any other thread starts; when the host
// had no Utility suite the work stays queued until the host's own next idle call.
void RequestIdleCall() {
    if (AEGP_UtilitySuite6* util = utilSuite) util->AEGP_CauseIdleRoutinesToBeCalled();
}

// socket thread
void QueueForIdle(ThreadSafeQueue& queue, std::string text) {
    if (idleHookMissing.load()) {
        TraceDroppedWork();
        return;
    }
    try {
        queue.Push(std::move(text));
        RequestIdleCall();
    } catch (...) {
        // The controller gets no reply for queued work, so there is nobody to tell.
    }
}

}  // namespace

// main thread (entry point): from now on work for the host is refused. What the socket
// thread queued before the registration failed could never run either, so it goes too.
void MarkIdleHookMissing() {
    idleHookMissing.store(true);
    LowerScriptExecutingFlag();  // a requester already waiting gives up
    int dropped = 0;
    for (ThreadSafeQueue* queue :
         {&commandQueue, &projectCommandQueue, &infoPanelCommandQueue, &scriptQueue}) {
        for (; !queue->Empty(); ++dropped) queue->Pop();
    }
    if (dropped > 0) Tracer::TRACE("Idle hook not registered: %d queued items dropped", dropped);
}

// main thread. The executor lowers the flag after queuing the result; the waiting
// requester wakes on the flag's own change.
void LowerScriptExecutingFlag() {
    IsScriptExecuting.store(false);
    IsScriptExecuting.notify_all();
}

std::string ReadScriptFromAFile(const char* path) {
    if (path == nullptr) return {};
    std::ifstream file(path);
    if (!file.is_open()) return {};
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

namespace {
std::string testScriptPath;  // written once at entry, before the threads that read it start
}  // namespace

// main thread, at entry
void FixTestScriptPath() {
    const std::string folder = ServiceFolder();
    testScriptPath = folder.empty() ? folder : folder + "TestFileScript.jsx";
}

// any thread, after entry
const std::string& TestScriptPath() { return testScriptPath; }

// main thread
void MarlunePlugin::CreateInstance() {
    if (_instance == nullptr) _instance = new MarlunePlugin();
}

MarlunePlugin* MarlunePlugin::GetInstance() { return _instance; }

// socket thread
void MarlunePlugin::ExecuteCommand(std::string command) {
    QueueForIdle(commandQueue, std::move(command));
}

// socket thread
void MarlunePlugin::ExecuteInfoPanelCommands(std::string command) {
    QueueForIdle(infoPanelCommandQueue, std::move(command));
}

// socket thread
void MarlunePlugin::ExecuteProjectCommands(std::string command) {
    QueueForIdle(projectCommandQueue, std::move(command));
}

// main thread
void MarlunePlugin::SetInfoText(std::string line1, std::string line2) {
    AEGP_SuiteHandler suites(sP);
    suites.AdvAppSuite2()->PF_InfoDrawText(line1.c_str(), line2.c_str());
}

// main thread
void MarlunePlugin::AppendInfoText(std::string text) {
    AEGP_SuiteHandler suites(sP);
    suites.AdvAppSuite2()->PF_AppendInfoText(text.c_str());
}

// main thread
void MarlunePlugin::SetInfoColor(PF_Pixel color) {
    AEGP_SuiteHandler suites(sP);
    suites.AdvAppSuite2()->PF_InfoDrawColor(color);
}

// main thread: selects the item after the project's first one in the host's order (not the
// first item itself), deselecting the rest. A step the host fails, or that leaves no item
// (a project of fewer than two items), ends it there: the host is never handed a null item.
void MarlunePlugin::SelectFirstProjectItem() {
    AEGP_SuiteHandler suites(sP);
    AEGP_ProjectH project = nullptr;
    AEGP_ItemH first = nullptr;
    AEGP_ItemH next = nullptr;
    if (suites.ProjSuite6()->AEGP_GetProjectByIndex(0, &project) != A_Err_NONE ||
        project == nullptr ||
        suites.ItemSuite9()->AEGP_GetFirstProjItem(project, &first) != A_Err_NONE ||
        first == nullptr ||
        suites.ItemSuite9()->AEGP_GetNextProjItem(project, first, &next) != A_Err_NONE ||
        next == nullptr) {
        Tracer::TRACE("No item after the project's first one: nothing selected");
        return;
    }
    suites.ItemSuite9()->AEGP_SelectItem(next, 1, 1);
}

// main thread: selects the item after the active one; no wrap-around after the last. With
// no active item or none after it, it stops there as SelectFirstProjectItem does.
void MarlunePlugin::SelectNextProjectItem() {
    AEGP_SuiteHandler suites(sP);
    AEGP_ProjectH project = nullptr;
    AEGP_ItemH active = nullptr;
    AEGP_ItemH next = nullptr;
    if (suites.ProjSuite6()->AEGP_GetProjectByIndex(0, &project) != A_Err_NONE ||
        project == nullptr || suites.ItemSuite9()->AEGP_GetActiveItem(&active) != A_Err_NONE ||
        active == nullptr ||
        suites.ItemSuite9()->AEGP_GetNextProjItem(project, active, &next) != A_Err_NONE ||
        next == nullptr) {
        Tracer::TRACE("No item after the active one: nothing selected");
        return;
    }
    suites.ItemSuite9()->AEGP_SelectItem(next, 1, 1);
}

// socket thread. A missing suite must not end the socket thread: it gives "".
std::string MarlunePlugin::GetAfterEffectsLanguage() {
    try {
        AEGP_SuiteHandler suites(sP);
        char language[PF_APP_LANGUAGE_BUFFER_SIZE] = {};
        suites.AppSuite6()->PF_AppGetLanguage(language);
        language[PF_APP_LANGUAGE_BUFFER_SIZE - 1] = '\0';
        return language;
    } catch (...) {
        Tracer::TRACE("Error reading the host language");
        return {};
    }
}

// Any thread except the main one. The flag is raised before the script is queued, so
// an executor that runs it at once cannot lower the flag before it was raised; the
// request slot keeps a second requester (socket thread, start-up job, command 2630)
// from sharing the one flag and result queue with this one.
A_Err MarlunePlugin::ExecuteScript(std::string script, std::string& result, std::string& error) {
    (void)error;  // script errors come back inside result
    if (std::this_thread::get_id() == mainThread) {
        Tracer::TRACE("Script refused: requested on the host's main thread");
        result = Protocol::ScriptError(
            "a script cannot be requested on the host's main thread, where it would wait for "
            "itself");
        return 0;
    }
    if (script.empty()) {
        result.clear();  // an empty text reads as an empty queue and would never run
        return 0;
    }
    if (idleHookMissing.load()) {
        TraceDroppedWork();
        result = NoIdleHookError();
        return 0;
    }
    try {
        ScriptRequestSlot slot;
        IsScriptExecuting.store(true);
        try {
            scriptQueue.Push(std::move(script));
        } catch (...) {
            IsScriptExecuting.store(false);
            throw;
        }
        RequestIdleCall();
        result = WaitForScriptFlagLowered() ? GetScriptResults() : NoIdleHookError();
    } catch (...) {
        try {
            result = Protocol::ScriptError("the plug-in could not hand the script to the host");
        } catch (...) {
            // No memory left even for that: the caller answers with what result held.
        }
    }
    return 0;
}

// any thread
std::string MarlunePlugin::GetScriptResults() {
    std::string results = scriptResultQueue.Pop();
    if (results.empty()) return results;
    for (std::string next; !(next = scriptResultQueue.Pop()).empty();) results += next;
    return results;
}

// Any thread except the main one.
A_Err MarlunePlugin::TestScriptExecute(std::string& result, std::string& error) {
    try {
        const std::string path = TestScriptPath();
        return ExecuteScript(ReadScriptFromAFile(path.empty() ? nullptr : path.c_str()), result,
                             error);
    } catch (...) {
        return 0;
    }
}

}  // namespace Cuebridge
