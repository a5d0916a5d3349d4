// What the suite tables (Suites.cpp) reach of the host: the calls the plug-in's suites route
// to, and nothing else. Host implements it; the tables know only this interface. Threads as
// Host.h says for each function.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "AE_Host.h"

namespace hostsim {

class Hooks;
class Journal;
class MemHandles;
class Project;

class SuiteHost {
public:
    // any thread: the host the tables route to; null before one exists and after it ends.
    static SuiteHost* Current();

    // ---- Bookkeeping (any thread) ------------------------------------------------------
    virtual bool IsMainThread() const = 0;
    virtual void RecordViolation(std::string_view call) = 0;
    virtual void CountHostCall() = 0;
    virtual bool IsRefused(const std::string& name, std::int32_t version) const = 0;
    virtual void NoteAcquired(const std::string& name, std::int32_t version) = 0;
    virtual bool NoteReleased(const std::string& name, std::int32_t version) = 0;
    virtual void StampCommand(AEGP_Command command) const = 0;  // main thread

    // ---- The parts the tables call into ------------------------------------------------
    virtual Project& GetProject() = 0;
    virtual Hooks& GetHooks() = 0;
    virtual MemHandles& GetMemHandles() = 0;
    virtual Journal& GetJournal() = 0;
    virtual const std::string& Language() const = 0;

    // ---- Host functions (threads as the tables say) ------------------------------------
    virtual void RequestIdle() = 0;
    virtual void ShowAlert(std::string text) = 0;
    virtual void StartQuietErrors() = 0;
    virtual void EndQuietErrors() = 0;
    virtual A_Err SelectItem(AEGP_ItemH item, bool select, bool deselectOthers) = 0;
    virtual void InfoDrawText(const char* line1, const char* line2) = 0;
    virtual void InfoDrawColor(PF_Pixel color) = 0;
    virtual void AppendInfoText(const char* text) = 0;
    virtual A_Err ExecuteScript(const std::string& script, AEGP_MemHandle* result,
                                AEGP_MemHandle* error, nlohmann::json& out) = 0;
    virtual A_Err DoCommand(AEGP_Command command, const char* source) = 0;

protected:
    SuiteHost() = default;
    ~SuiteHost() = default;
    // main thread: the implementation registers itself as it starts and unregisters as it
    // ends (the plug-in's threads may outlive it; they must find no host, not a dead one).
    static void SetCurrent(SuiteHost* host);
};

}  // namespace hostsim
