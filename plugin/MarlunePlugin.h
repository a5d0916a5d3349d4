// MarlunePlugin: how the plug-in acts on the host. Queueing operations put a text on
// a global queue and ask the host for an idle call; direct operations call host
// suites at once; ExecuteScript hands a script to the main thread and waits for its
// result. Each operation names the thread that may call it. The singleton is created
// once by the entry point and never destroyed.
#pragma once

#include <atomic>
#include <string>

#include "AE_Host.h"

namespace Cuebridge {

// Raised by a script requester before it queues its script; lowered by the idle
// executor once that script's result is on scriptResultQueue.
extern std::atomic<bool> IsScriptExecuting;

// Raised by the entry point when the idle hook could not be registered: queued work
// and scripts could then never be carried out, so they are refused instead of queued.
extern std::atomic<bool> idleHookMissing;
// main thread: raises idleHookMissing and drops the work already queued.
void MarkIdleHookMissing();

// any thread: the reply text of a script refused because the idle hook is missing.
const std::string& NoIdleHookError();

// The script run at start-up; its result lists every installed effect as
// matchName|displayName|category*|* records. Any thread.
const std::string& InstalledEffectsScript();

// main thread (idle executor): lowers IsScriptExecuting and wakes the waiting requester.
void LowerScriptExecutingFlag();

// any thread: the whole content of a file; "" for a null path or an unreadable file.
std::string ReadScriptFromAFile(const char* path);

// Where command 2630 reads its test script: "TestFileScript.jsx" in the controller
// service's folder as HOME named it at entry; "" when HOME was not set. FixTestScriptPath:
// main thread, at entry; TestScriptPath: any thread after it.
void FixTestScriptPath();
const std::string& TestScriptPath();

class MarlunePlugin {
public:
    static void CreateInstance();         // main thread, at entry (once)
    static MarlunePlugin* GetInstance();  // any thread; null before CreateInstance

    // socket thread (any thread but the main one): queue the text unchanged and ask
    // for an idle call; failures stay inside. Nothing is queued without an idle hook.
    void ExecuteCommand(std::string command);
    void ExecuteInfoPanelCommands(std::string command);
    void ExecuteProjectCommands(std::string command);

    // main thread: Info panel and Project panel; host result codes are ignored, a
    // missing suite throws int 516.
    void SetInfoText(std::string line1, std::string line2);
    void AppendInfoText(std::string text);
    void SetInfoColor(PF_Pixel color);
    void SelectFirstProjectItem();
    void SelectNextProjectItem();

    // any thread: the host's user-interface language; "" when it cannot be read.
    std::string GetAfterEffectsLanguage();

    // Any thread except the main one (it waits for the idle hook; on the main thread it is
    // refused at once with a script error). One request at a time: a second caller waits
    // for the first to finish. Fills result: the script's result, or "SCRIPT ERROR: " and
    // the host's error text, the host's error code or the plug-in's own failure (a missing
    // idle hook gives NoIdleHookError() at once); error is left alone. Always returns 0.
    A_Err ExecuteScript(std::string script, std::string& result, std::string& error);
    // any thread: every waiting result, joined in order, up to the first empty one.
    std::string GetScriptResults();
    // Any thread except the main one: runs the test script file through ExecuteScript.
    A_Err TestScriptExecute(std::string& result, std::string& error);
};

}  // namespace Cuebridge
