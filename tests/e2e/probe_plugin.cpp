// A tiny plug-in that exercises the simulated host on purpose, command by command, so the
// host's own behaviour can be tested apart from the real plug-in. Its hooks run on the
// host's main thread; the commands below start helper threads only where a test needs
// a call from another thread.
//   9001  PF_InfoDrawText from another thread (a thread violation)
//   9002  the calls every thread may make, from another thread (no violation)
//   9003  runs the script "6*7" through AEGP_ExecuteScript; shows result and error texts
//   9004  claims the command (the host must not run it)
//   9005  from another thread, asks for an idle call; the next idle call appends "woken"
//   9006  walks the project and selects the second item; selecting a null item is refused
//   9007  changes the idle hook's maximum sleep once
//   9008  acquires a suite the host does not serve and reports the code as an alert
// PROBE_ENTRY_RESULT=N makes EntryPointFunc return N.
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "AE_Host.h"

namespace {

const SPBasicSuite* basic = nullptr;
AEGP_PluginID pluginId = 0;
AEGP_UtilitySuite6* util = nullptr;  // held for the plug-in's life
std::atomic<bool> wokenPending{false};
bool changeSleepOnce = false;

template <typename Suite>
Suite* Acquire(const char* name, int version) {
    const void* table = nullptr;
    if (basic->AcquireSuite(name, version, &table) != 0) return nullptr;
    return static_cast<Suite*>(const_cast<void*>(table));
}

std::string ReadHandle(AEGP_MemorySuite1* mem, AEGP_MemHandle handle) {
    if (handle == nullptr) return "(null)";
    void* bytes = nullptr;
    mem->AEGP_LockMemHandle(handle, &bytes);
    std::string text = bytes ? static_cast<const char*>(bytes) : "";
    mem->AEGP_UnlockMemHandle(handle);
    mem->AEGP_FreeMemHandle(handle);
    return text;
}

void RunScriptToInfo() {
    auto* mem = Acquire<AEGP_MemorySuite1>(kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
    auto* adv = Acquire<PF_AdvAppSuite2>(kPFAdvAppSuite, kPFAdvAppSuiteVersion2);
    AEGP_MemHandle result = nullptr, error = nullptr;
    AEGP_ErrReportState state{};
    util->AEGP_StartQuietErrors(&state);
    util->AEGP_ExecuteScript(pluginId, "6*7", 0, &result, &error);
    util->AEGP_EndQuietErrors(0, &state);
    const std::string resultText = ReadHandle(mem, result);
    const std::string errorText = ReadHandle(mem, error);
    adv->PF_InfoDrawText(resultText.c_str(), errorText.c_str());
    basic->ReleaseSuite(kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
    basic->ReleaseSuite(kPFAdvAppSuite, kPFAdvAppSuiteVersion2);
}

void SelectSecondItem() {
    auto* proj = Acquire<AEGP_ProjSuite6>(kAEGPProjSuite, kAEGPProjSuiteVersion6);
    auto* items = Acquire<AEGP_ItemSuite9>(kAEGPItemSuite, kAEGPItemSuiteVersion9);
    AEGP_ProjectH project = nullptr;
    AEGP_ItemH first = nullptr, second = nullptr;
    proj->AEGP_GetProjectByIndex(0, &project);
    items->AEGP_GetFirstProjItem(project, &first);
    items->AEGP_GetNextProjItem(project, first, &second);
    items->AEGP_SelectItem(second, 1, 1);
    const A_Err nullErr = items->AEGP_SelectItem(nullptr, 1, 1);
    if (nullErr == 0) util->AEGP_ReportInfo(pluginId, "probe: null item accepted");
    basic->ReleaseSuite(kAEGPProjSuite, kAEGPProjSuiteVersion6);
    basic->ReleaseSuite(kAEGPItemSuite, kAEGPItemSuiteVersion9);
}

void FromOtherThread(void (*work)()) { std::thread(work).join(); }

A_Err CommandHook(AEGP_GlobalRefcon, AEGP_CommandRefcon, AEGP_Command command, AEGP_HookPriority,
                  A_Boolean, A_Boolean* handled) {
    switch (command) {
        case 9001:
            FromOtherThread([] {
                auto* adv = Acquire<PF_AdvAppSuite2>(kPFAdvAppSuite, kPFAdvAppSuiteVersion2);
                adv->PF_InfoDrawText("from", "another thread");
                basic->ReleaseSuite(kPFAdvAppSuite, kPFAdvAppSuiteVersion2);
            });
            break;
        case 9002:
            FromOtherThread([] {
                auto* app = Acquire<PF_AppSuite6>(kPFAppSuite, kPFAppSuiteVersion6);
                char language[PF_APP_LANGUAGE_BUFFER_SIZE] = {};
                app->PF_AppGetLanguage(language);
                util->AEGP_CauseIdleRoutinesToBeCalled();
                basic->ReleaseSuite(kPFAppSuite, kPFAppSuiteVersion6);
            });
            break;
        case 9003:
            RunScriptToInfo();
            break;
        case 9004:
            *handled = 1;
            break;
        case 9005:
            wokenPending = true;
            FromOtherThread([] { util->AEGP_CauseIdleRoutinesToBeCalled(); });
            break;
        case 9006:
            SelectSecondItem();
            break;
        case 9007:
            changeSleepOnce = true;
            break;
        case 9008: {
            const void* table = reinterpret_cast<const void*>(1);
            const A_Err err = basic->AcquireSuite("AEGP Marker Suite", 1, &table);
            const std::string text =
                "probe: marker " + std::to_string(err) + (table ? " table" : " null");
            util->AEGP_ReportInfo(pluginId, text.c_str());
            break;
        }
        default:
            break;
    }
    return 0;
}

A_Err UpdateMenuHook(AEGP_GlobalRefcon, AEGP_UpdateMenuRefcon, AEGP_WindowType) { return 0; }

A_Err IdleHook(AEGP_GlobalRefcon, AEGP_IdleRefcon, A_long* maxSleep) {
    if (wokenPending.exchange(false)) {
        auto* adv = Acquire<PF_AdvAppSuite2>(kPFAdvAppSuite, kPFAdvAppSuiteVersion2);
        adv->PF_AppendInfoText("woken");
        basic->ReleaseSuite(kPFAdvAppSuite, kPFAdvAppSuiteVersion2);
    }
    if (changeSleepOnce) {
        changeSleepOnce = false;
        *maxSleep += 5;
    }
    return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) A_Err EntryPointFunc(SPBasicSuite* pica, A_long,
                                                                       A_long, AEGP_PluginID id,
                                                                       AEGP_GlobalRefcon*) {
    basic = pica;
    pluginId = id;
    util = Acquire<AEGP_UtilitySuite6>(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion6);
    auto* reg = Acquire<AEGP_RegisterSuite5>(kAEGPRegisterSuite, kAEGPRegisterSuiteVersion5);
    if (util == nullptr || reg == nullptr) return A_Err_MISSING_SUITE;
    A_Err err =
        reg->AEGP_RegisterCommandHook(id, AEGP_HP_BeforeAE, AEGP_Command_ALL, CommandHook, nullptr);
    if (err == 0) err = reg->AEGP_RegisterUpdateMenuHook(id, UpdateMenuHook, nullptr);
    if (err == 0) err = reg->AEGP_RegisterIdleHook(id, IdleHook, nullptr);
    if (err != 0) util->AEGP_ReportInfo(id, "probe: registration failed");
    basic->ReleaseSuite(kAEGPRegisterSuite, kAEGPRegisterSuiteVersion5);
    if (const char* forced = std::getenv("PROBE_ENTRY_RESULT")) return std::atoi(forced);
    return err;
}
