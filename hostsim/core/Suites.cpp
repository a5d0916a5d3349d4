#include "core/Suites.h"

#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "base/Clock.h"
#include "core/Hooks.h"
#include "core/Journal.h"
#include "core/MemHandles.h"
#include "core/Project.h"
#include "core/SuiteHost.h"

namespace hostsim::Suites {
namespace {

using nlohmann::json;

// One host call as seen from the plug-in: stamps it, checks its thread, counts it, and
// journals it on Finish().
class Call {
public:
    explicit Call(const char* name)
        : name_(name),
          stamp_(MonotonicMicros()),
          host_(SuiteHost::Current()),
          onMain_(host_ != nullptr && host_->IsMainThread()) {
        if (host_ == nullptr) return;
        host_->CountHostCall();
        if (!onMain_ && MainThreadOnly(name_)) host_->RecordViolation(name_);
    }
    SuiteHost* host() const { return host_; }
    bool OffMain() const { return !onMain_; }
    A_Err Finish(json args, A_Err err, json out = nullptr) const {
        if (host_ != nullptr)
            host_->GetJournal().Record(name_, stamp_, onMain_, std::move(args), err,
                                       std::move(out));
        return err;
    }

private:
    const char* name_;
    std::int64_t stamp_;
    SuiteHost* host_;
    bool onMain_;
};

constexpr A_Err kNoHost = A_Err_GENERIC;

json Text(const char* text) { return text ? json(text) : json(nullptr); }
json ItemRef(SuiteHost& host, const void* handle) {
    const auto id = host.GetProject().ItemId(handle);
    if (id) return *id;
    return handle == nullptr ? json(nullptr) : json("foreign");
}

// ---- SPBasicSuite ---------------------------------------------------------------------------

SPErr AcquireSuite(const char* name, int32_t version, const void** suite) {
    Call call("AcquireSuite");
    if (call.host() == nullptr) return kNoHost;
    if (suite == nullptr || name == nullptr)
        return call.Finish({{"name", Text(name)}, {"version", version}}, A_Err_PARAMETER);
    const void* table = call.host()->IsRefused(name, version) ? nullptr : TableFor(name, version);
    *suite = table;
    if (table != nullptr) call.host()->NoteAcquired(name, version);
    return call.Finish({{"name", name}, {"version", version}},
                       table ? A_Err_NONE : A_Err_MISSING_SUITE);
}

SPErr ReleaseSuite(const char* name, int32_t version) {
    Call call("ReleaseSuite");
    if (call.host() == nullptr) return kNoHost;
    if (name == nullptr)
        return call.Finish({{"name", nullptr}, {"version", version}}, A_Err_PARAMETER);
    const bool held = call.host()->NoteReleased(name, version);
    return call.Finish({{"name", name}, {"version", version}}, held ? A_Err_NONE : A_Err_PARAMETER);
}

// ---- Register suite ---------------------------------------------------------------------------

A_Err RegisterCommandHook(AEGP_PluginID id, AEGP_HookPriority priority, AEGP_Command command,
                          AEGP_CommandHook hook, AEGP_CommandRefcon refcon) {
    Call call("AEGP_RegisterCommandHook");
    if (call.host() == nullptr) return kNoHost;
    const A_Err err = call.host()->GetHooks().RegisterCommand(priority, command, hook, refcon);
    return call.Finish({{"plugin_id", id}, {"hook_priority", priority}, {"command", command}}, err);
}

A_Err RegisterUpdateMenuHook(AEGP_PluginID id, AEGP_UpdateMenuHook hook,
                             AEGP_UpdateMenuRefcon refcon) {
    Call call("AEGP_RegisterUpdateMenuHook");
    if (call.host() == nullptr) return kNoHost;
    return call.Finish({{"plugin_id", id}}, call.host()->GetHooks().RegisterMenu(hook, refcon));
}

A_Err RegisterIdleHook(AEGP_PluginID id, AEGP_IdleHook hook, AEGP_IdleRefcon refcon) {
    Call call("AEGP_RegisterIdleHook");
    if (call.host() == nullptr) return kNoHost;
    return call.Finish({{"plugin_id", id}}, call.host()->GetHooks().RegisterIdle(hook, refcon));
}

// ---- Utility suite ----------------------------------------------------------------------------

A_Err ReportInfo(AEGP_PluginID id, const A_char* text) {
    Call call("AEGP_ReportInfo");
    if (call.host() == nullptr) return kNoHost;
    if (text == nullptr)
        return call.Finish({{"plugin_id", id}, {"text", nullptr}}, A_Err_PARAMETER);
    call.host()->ShowAlert(text);
    return call.Finish({{"plugin_id", id}, {"text", text}}, A_Err_NONE);
}

A_Err StartQuietErrors(AEGP_ErrReportState* state) {
    Call call("AEGP_StartQuietErrors");
    if (call.host() == nullptr) return kNoHost;
    if (state == nullptr) return call.Finish(json::object(), A_Err_PARAMETER);
    std::memset(state, 0, sizeof *state);
    call.host()->StartQuietErrors();
    return call.Finish(json::object(), A_Err_NONE);
}

A_Err EndQuietErrors(A_Boolean report, AEGP_ErrReportState* state) {
    Call call("AEGP_EndQuietErrors");
    if (call.host() == nullptr) return kNoHost;
    if (state == nullptr) return call.Finish({{"report_errors", report != 0}}, A_Err_PARAMETER);
    call.host()->EndQuietErrors();
    return call.Finish({{"report_errors", report != 0}}, A_Err_NONE);
}

A_Err CauseIdleRoutinesToBeCalled() {
    Call call("AEGP_CauseIdleRoutinesToBeCalled");
    if (call.host() == nullptr) return kNoHost;
    call.host()->RequestIdle();
    return call.Finish(json::object(), A_Err_NONE);
}

A_Err ExecuteScript(AEGP_PluginID id, const A_char* script, A_Boolean platformEncoding,
                    AEGP_MemHandle* result, AEGP_MemHandle* error) {
    Call call("AEGP_ExecuteScript");
    if (call.host() == nullptr) return kNoHost;
    const json args = {
        {"plugin_id", id}, {"script", Text(script)}, {"platform_encoding", platformEncoding != 0}};
    // The engine belongs to the main thread; running it from another would corrupt it.
    if (call.OffMain()) return call.Finish(args, A_Err_GENERIC);
    if (script == nullptr) return call.Finish(args, A_Err_PARAMETER);
    json out;
    const A_Err err = call.host()->ExecuteScript(script, result, error, out);
    return call.Finish(args, err, std::move(out));
}

// ---- Memory suite ----------------------------------------------------------------------------

A_Err FreeMemHandle(AEGP_MemHandle handle) {
    Call call("AEGP_FreeMemHandle");
    if (call.host() == nullptr) return kNoHost;
    return call.Finish(json::object(), call.host()->GetMemHandles().Free(handle));
}

A_Err LockMemHandle(AEGP_MemHandle handle, void** bytes) {
    Call call("AEGP_LockMemHandle");
    if (call.host() == nullptr) return kNoHost;
    return call.Finish(json::object(), call.host()->GetMemHandles().Lock(handle, bytes));
}

A_Err UnlockMemHandle(AEGP_MemHandle handle) {
    Call call("AEGP_UnlockMemHandle");
    if (call.host() == nullptr) return kNoHost;
    return call.Finish(json::object(), call.host()->GetMemHandles().Unlock(handle));
}

// ---- Command suite ---------------------------------------------------------------------------

A_Err DoCommand(AEGP_Command command) {
    if (SuiteHost* host = SuiteHost::Current(); host != nullptr && host->IsMainThread())
        host->StampCommand(command);
    Call call("AEGP_DoCommand");
    if (call.host() == nullptr) return kNoHost;
    // Commands run hooks of the plug-in, which expect the main thread: refused elsewhere.
    if (call.OffMain()) return call.Finish({{"command", command}}, A_Err_GENERIC);
    return call.Finish({{"command", command}}, call.host()->DoCommand(command, "plugin"));
}

// ---- Project suite ---------------------------------------------------------------------------

A_Err GetNumProjects(A_long* count) {
    Call call("AEGP_GetNumProjects");
    if (call.host() == nullptr) return kNoHost;
    if (count == nullptr) return call.Finish(json::object(), A_Err_PARAMETER);
    *count = 1;
    return call.Finish(json::object(), A_Err_NONE, {{"count", 1}});
}

A_Err GetProjectByIndex(A_long index, AEGP_ProjectH* project) {
    Call call("AEGP_GetProjectByIndex");
    if (call.host() == nullptr) return kNoHost;
    if (project == nullptr) return call.Finish({{"index", index}}, A_Err_PARAMETER);
    *project = index == 0 ? call.host()->GetProject().Handle() : nullptr;
    return call.Finish({{"index", index}}, index == 0 ? A_Err_NONE : A_Err_PARAMETER);
}

// ---- Item suite ----------------------------------------------------------------------------

A_Err GetFirstProjItem(AEGP_ProjectH project, AEGP_ItemH* item) {
    Call call("AEGP_GetFirstProjItem");
    if (call.host() == nullptr) return kNoHost;
    const A_Err err = call.host()->GetProject().FirstItem(project, item);
    return call.Finish(json::object(), err,
                       {{"item", item ? ItemRef(*call.host(), *item) : json(nullptr)}});
}

A_Err GetNextProjItem(AEGP_ProjectH project, AEGP_ItemH item, AEGP_ItemH* next) {
    Call call("AEGP_GetNextProjItem");
    if (call.host() == nullptr) return kNoHost;
    const json args = {{"item", ItemRef(*call.host(), item)}};
    const A_Err err = call.host()->GetProject().NextItem(project, item, next);
    return call.Finish(args, err, {{"item", next ? ItemRef(*call.host(), *next) : json(nullptr)}});
}

A_Err GetActiveItem(AEGP_ItemH* item) {
    Call call("AEGP_GetActiveItem");
    if (call.host() == nullptr) return kNoHost;
    const A_Err err = call.host()->GetProject().ActiveItem(item);
    return call.Finish(json::object(), err,
                       {{"item", item ? ItemRef(*call.host(), *item) : json(nullptr)}});
}

A_Err IsItemSelected(AEGP_ItemH item, A_Boolean* selected) {
    Call call("AEGP_IsItemSelected");
    if (call.host() == nullptr) return kNoHost;
    const json args = {{"item", ItemRef(*call.host(), item)}};
    const A_Err err = call.host()->GetProject().IsItemSelected(item, selected);
    return call.Finish(args, err, {{"selected", selected && *selected != 0}});
}

A_Err SelectItem(AEGP_ItemH item, A_Boolean select, A_Boolean deselectOthers) {
    Call call("AEGP_SelectItem");
    if (call.host() == nullptr) return kNoHost;
    const json args = {{"item", ItemRef(*call.host(), item)},
                       {"select", select != 0},
                       {"deselect_others", deselectOthers != 0}};
    return call.Finish(args, call.host()->SelectItem(item, select != 0, deselectOthers != 0));
}

A_Err GetItemType(AEGP_ItemH item, AEGP_ItemType* type) {
    Call call("AEGP_GetItemType");
    if (call.host() == nullptr) return kNoHost;
    const json args = {{"item", ItemRef(*call.host(), item)}};
    const A_Err err = call.host()->GetProject().ItemType(item, type);
    return call.Finish(args, err, {{"type", type ? json(*type) : json(nullptr)}});
}

// ---- Comp and layer suites -------------------------------------------------------------------

A_Err GetCompFromItem(AEGP_ItemH item, AEGP_CompH* comp) {
    Call call("AEGP_GetCompFromItem");
    if (call.host() == nullptr) return kNoHost;
    return call.Finish({{"item", ItemRef(*call.host(), item)}},
                       call.host()->GetProject().CompFromItem(item, comp));
}

A_Err GetCompNumLayers(AEGP_CompH comp, A_long* count) {
    Call call("AEGP_GetCompNumLayers");
    if (call.host() == nullptr) return kNoHost;
    const A_Err err = call.host()->GetProject().CompNumLayers(comp, count);
    return call.Finish({{"comp", ItemRef(*call.host(), comp)}}, err,
                       {{"count", count ? json(*count) : json(nullptr)}});
}

A_Err GetCompLayerByIndex(AEGP_CompH comp, A_long index, AEGP_LayerH* layer) {
    Call call("AEGP_GetCompLayerByIndex");
    if (call.host() == nullptr) return kNoHost;
    return call.Finish({{"comp", ItemRef(*call.host(), comp)}, {"index", index}},
                       call.host()->GetProject().CompLayerByIndex(comp, index, layer));
}

// ---- Info panel and language ---------------------------------------------------------------

A_Err InfoDrawText(const A_char* line1, const A_char* line2) {
    Call call("PF_InfoDrawText");
    if (call.host() == nullptr) return kNoHost;
    call.host()->InfoDrawText(line1, line2);
    return call.Finish({{"line1", Text(line1)}, {"line2", Text(line2)}}, A_Err_NONE);
}

A_Err InfoDrawColor(PF_Pixel color) {
    Call call("PF_InfoDrawColor");
    if (call.host() == nullptr) return kNoHost;
    call.host()->InfoDrawColor(color);
    return call.Finish(
        {{"alpha", color.alpha}, {"red", color.red}, {"green", color.green}, {"blue", color.blue}},
        A_Err_NONE);
}

A_Err AppendInfoText(const A_char* text) {
    Call call("PF_AppendInfoText");
    if (call.host() == nullptr) return kNoHost;
    call.host()->AppendInfoText(text);
    return call.Finish({{"text", Text(text)}}, A_Err_NONE);
}

A_Err AppGetLanguage(A_char* buffer) {
    Call call("PF_AppGetLanguage");
    if (call.host() == nullptr) return kNoHost;
    if (buffer == nullptr) return call.Finish(json::object(), A_Err_PARAMETER);
    const std::string language = call.host()->Language().substr(0, PF_APP_LANGUAGE_BUFFER_SIZE - 1);
    std::memcpy(buffer, language.c_str(), language.size() + 1);
    return call.Finish(json::object(), A_Err_NONE, {{"language", language}});
}

// ---- The tables --------------------------------------------------------------------------------

SPBasicSuite basicSuite = {AcquireSuite, ReleaseSuite};
AEGP_RegisterSuite5 registerSuite = {RegisterCommandHook, RegisterUpdateMenuHook, RegisterIdleHook};
AEGP_UtilitySuite3 utilitySuite3 = {ReportInfo, StartQuietErrors, EndQuietErrors,
                                    CauseIdleRoutinesToBeCalled};
AEGP_UtilitySuite6 utilitySuite6 = {ReportInfo, StartQuietErrors, EndQuietErrors,
                                    CauseIdleRoutinesToBeCalled, ExecuteScript};
AEGP_MemorySuite1 memorySuite = {FreeMemHandle, LockMemHandle, UnlockMemHandle};
AEGP_CommandSuite1 commandSuite = {DoCommand};
AEGP_ProjSuite5 projSuite = {GetNumProjects, GetProjectByIndex};
AEGP_ItemSuite9 itemSuite = {GetFirstProjItem, GetNextProjItem, GetActiveItem,
                             IsItemSelected,   SelectItem,      GetItemType};
AEGP_CompSuite4 compSuite = {GetCompFromItem};
AEGP_LayerSuite5 layerSuite = {GetCompNumLayers, GetCompLayerByIndex};
PF_AdvAppSuite2 advAppSuite = {InfoDrawText, InfoDrawColor, AppendInfoText};
PF_AppSuite6 appSuite = {AppGetLanguage};

struct Served {
    std::string_view name;
    std::int32_t version;
    const void* table;
};

const Served kServed[] = {
    {kAEGPRegisterSuite, kAEGPRegisterSuiteVersion5, &registerSuite},
    {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion3, &utilitySuite3},
    {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion6, &utilitySuite6},
    {kAEGPMemorySuite, kAEGPMemorySuiteVersion1, &memorySuite},
    {kAEGPCommandSuite, kAEGPCommandSuiteVersion1, &commandSuite},
    {kAEGPProjSuite, kAEGPProjSuiteVersion5, &projSuite},
    {kAEGPProjSuite, kAEGPProjSuiteVersion6, &projSuite},
    {kAEGPItemSuite, kAEGPItemSuiteVersion6, &itemSuite},
    {kAEGPItemSuite, kAEGPItemSuiteVersion8, &itemSuite},
    {kAEGPItemSuite, kAEGPItemSuiteVersion9, &itemSuite},
    {kAEGPCompSuite, kAEGPCompSuiteVersion4, &compSuite},
    {kAEGPLayerSuite, kAEGPLayerSuiteVersion5, &layerSuite},
    {kPFAdvAppSuite, kPFAdvAppSuiteVersion2, &advAppSuite},
    {kPFAppSuite, kPFAppSuiteVersion6, &appSuite},
};

}  // namespace

// The thread rule: which host calls the plug-in may make from any thread. Every other
// call made off the main thread is a thread violation.
constexpr std::string_view kAnyThread[] = {
    "AcquireSuite",
    "ReleaseSuite",
    "AEGP_CauseIdleRoutinesToBeCalled",
    "PF_AppGetLanguage",
};

bool MainThreadOnly(std::string_view call) {
    for (const auto any : kAnyThread)
        if (any == call) return false;
    return true;
}

SPBasicSuite* Basic() { return &basicSuite; }

const void* TableFor(const char* name, std::int32_t version) {
    for (const auto& served : kServed)
        if (served.name == name && served.version == version) return served.table;
    return nullptr;
}

}  // namespace hostsim::Suites
