#include "FakeHost.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace fakehost {
namespace {

std::atomic<FakeHost*> current{nullptr};

FakeHost& H() { return *FakeHost::Current(); }

std::string Str(const char* text) { return text == nullptr ? "(null)" : text; }

std::string PixelText(PF_Pixel p) {
    return std::to_string(p.alpha) + "," + std::to_string(p.red) + "," + std::to_string(p.green) +
           "," + std::to_string(p.blue);
}

// A project handle that stands for the one open project.
struct _AEGP_Project* projectToken = nullptr;
AEGP_ProjectH ProjectHandle() { return &projectToken; }

// ---- basic suite -----------------------------------------------------------------
SPErr BasicAcquire(const char* name, int32_t version, const void** suite) {
    return H().Acquire(name, version, suite);
}
SPErr BasicRelease(const char* name, int32_t version) { return H().Release(name, version); }
SPBasicSuite basicSuite{BasicAcquire, BasicRelease};

// ---- register suite ----------------------------------------------------------------
A_Err RegisterCommandHook(AEGP_PluginID id, AEGP_HookPriority priority, AEGP_Command command,
                          AEGP_CommandHook hook, AEGP_CommandRefcon refcon) {
    H().Record("AEGP_RegisterCommandHook",
               {std::to_string(id), std::to_string(priority), std::to_string(command)});
    return H().Register("command", hook, nullptr, nullptr, refcon);
}
A_Err RegisterUpdateMenuHook(AEGP_PluginID id, AEGP_UpdateMenuHook hook,
                             AEGP_UpdateMenuRefcon refcon) {
    H().Record("AEGP_RegisterUpdateMenuHook", {std::to_string(id)});
    return H().Register("menu", nullptr, hook, nullptr, refcon);
}
A_Err RegisterIdleHook(AEGP_PluginID id, AEGP_IdleHook hook, AEGP_IdleRefcon refcon) {
    H().Record("AEGP_RegisterIdleHook", {std::to_string(id)});
    return H().Register("idle", nullptr, nullptr, hook, refcon);
}
AEGP_RegisterSuite5 registerSuite{RegisterCommandHook, RegisterUpdateMenuHook, RegisterIdleHook};

// ---- utility suites ------------------------------------------------------------------
A_Err ReportInfo(AEGP_PluginID id, const A_char* text) {
    H().Record("AEGP_ReportInfo", {std::to_string(id), Str(text)});
    H().AddAlert(text);
    return A_Err_NONE;
}
A_Err StartQuietErrors(AEGP_ErrReportState* state) {
    H().Record("AEGP_StartQuietErrors", {});
    return state == nullptr ? A_Err_PARAMETER : A_Err_NONE;
}
A_Err EndQuietErrors(A_Boolean report, AEGP_ErrReportState* state) {
    H().Record("AEGP_EndQuietErrors", {std::to_string(report)});
    return state == nullptr ? A_Err_PARAMETER : A_Err_NONE;
}
A_Err CauseIdleRoutinesToBeCalled() {
    H().Record("AEGP_CauseIdleRoutinesToBeCalled", {});
    H().RequestIdle();
    return A_Err_NONE;
}
A_Err ExecuteScript(AEGP_PluginID id, const A_char* script, A_Boolean platformEncoding,
                    AEGP_MemHandle* result, AEGP_MemHandle* error) {
    H().Record("AEGP_ExecuteScript",
               {std::to_string(id), Str(script), std::to_string(platformEncoding)});
    if (script == nullptr || result == nullptr || error == nullptr) return A_Err_PARAMETER;
    const ScriptOutcome outcome = H().RunScript(script);
    *result = H().NewMemHandle(outcome.result);
    *error = H().NewMemHandle(outcome.error);
    return A_Err_NONE;
}
AEGP_UtilitySuite3 utilitySuite3{ReportInfo, StartQuietErrors, EndQuietErrors,
                                 CauseIdleRoutinesToBeCalled};
AEGP_UtilitySuite6 utilitySuite6{ReportInfo, StartQuietErrors, EndQuietErrors,
                                 CauseIdleRoutinesToBeCalled, ExecuteScript};

// ---- memory suite ----------------------------------------------------------------------
A_Err FreeMemHandle(AEGP_MemHandle handle) {
    H().Record("AEGP_FreeMemHandle", {});
    return H().FreeMemHandle(handle);
}
A_Err LockMemHandle(AEGP_MemHandle handle, void** ptr) {
    H().Record("AEGP_LockMemHandle", {});
    return H().LockMemHandle(handle, ptr);
}
A_Err UnlockMemHandle(AEGP_MemHandle) {
    H().Record("AEGP_UnlockMemHandle", {});
    return A_Err_NONE;
}
AEGP_MemorySuite1 memorySuite{FreeMemHandle, LockMemHandle, UnlockMemHandle};

// ---- command suite ---------------------------------------------------------------------
A_Err DoCommand(AEGP_Command command) {
    H().Record("AEGP_DoCommand", {std::to_string(command)});
    return H().RunCommand(command);
}
AEGP_CommandSuite1 commandSuite{DoCommand};

// ---- project, item, comp and layer suites --------------------------------------------------
A_Err GetNumProjects(A_long* count) {
    H().Record("AEGP_GetNumProjects", {});
    if (count == nullptr) return A_Err_PARAMETER;
    *count = 1;
    return A_Err_NONE;
}
A_Err GetProjectByIndex(A_long index, AEGP_ProjectH* project) {
    H().Record("AEGP_GetProjectByIndex", {std::to_string(index)});
    if (project == nullptr || index != 0) return A_Err_PARAMETER;
    *project = ProjectHandle();
    return A_Err_NONE;
}
AEGP_ProjSuite5 projSuite{GetNumProjects, GetProjectByIndex};

std::string ItemText(AEGP_ItemH item) { return std::to_string(H().ItemIndex(item)); }

A_Err GetFirstProjItem(AEGP_ProjectH project, AEGP_ItemH* item) {
    H().Record("AEGP_GetFirstProjItem", {});
    if (project != ProjectHandle() || item == nullptr) return A_Err_PARAMETER;
    *item = H().ItemHandle(0);
    return A_Err_NONE;
}
A_Err GetNextProjItem(AEGP_ProjectH project, AEGP_ItemH item, AEGP_ItemH* next) {
    H().Record("AEGP_GetNextProjItem", {ItemText(item)});
    if (project != ProjectHandle() || next == nullptr) return A_Err_PARAMETER;
    const int index = H().ItemIndex(item);
    if (index < 0) return A_Err_PARAMETER;
    *next = H().ItemHandle(index + 1);
    return A_Err_NONE;
}
A_Err GetActiveItem(AEGP_ItemH* item) {
    H().Record("AEGP_GetActiveItem", {});
    if (item == nullptr) return A_Err_PARAMETER;
    const std::optional<int> active = H().ActiveItem();
    *item = active ? H().ItemHandle(*active) : nullptr;
    return A_Err_NONE;
}
A_Err IsItemSelected(AEGP_ItemH item, A_Boolean* selected) {
    H().Record("AEGP_IsItemSelected", {ItemText(item)});
    const int index = H().ItemIndex(item);
    if (index < 0 || selected == nullptr) return A_Err_PARAMETER;
    const auto all = H().SelectedItems();
    *selected = std::find(all.begin(), all.end(), index) != all.end();
    return A_Err_NONE;
}
A_Err SelectItem(AEGP_ItemH item, A_Boolean select, A_Boolean deselectOthers) {
    H().Record("AEGP_SelectItem",
               {ItemText(item), std::to_string(select), std::to_string(deselectOthers)});
    return H().SelectItem(item, select != 0, deselectOthers != 0);
}
A_Err GetItemType(AEGP_ItemH item, AEGP_ItemType* type) {
    H().Record("AEGP_GetItemType", {ItemText(item)});
    const int index = H().ItemIndex(item);
    if (index < 0 || type == nullptr) return A_Err_PARAMETER;
    *type = H().ItemTypeOf(index);
    return A_Err_NONE;
}
AEGP_ItemSuite9 itemSuite{GetFirstProjItem, GetNextProjItem, GetActiveItem,
                          IsItemSelected,   SelectItem,      GetItemType};

// A composition handle is the item handle of the composition seen through another type.
A_Err GetCompFromItem(AEGP_ItemH item, AEGP_CompH* comp) {
    H().Record("AEGP_GetCompFromItem", {ItemText(item)});
    const int index = H().ItemIndex(item);
    if (index < 0 || comp == nullptr || H().ItemTypeOf(index) != AEGP_ItemType_COMP)
        return A_Err_PARAMETER;
    *comp = reinterpret_cast<AEGP_CompH>(item);
    return A_Err_NONE;
}
AEGP_CompSuite4 compSuite{GetCompFromItem};

A_Err GetCompNumLayers(AEGP_CompH comp, A_long* count) {
    const int index = H().ItemIndex(reinterpret_cast<AEGP_ItemH>(comp));
    H().Record("AEGP_GetCompNumLayers", {std::to_string(index)});
    if (index < 0 || count == nullptr) return A_Err_PARAMETER;
    *count = H().NumLayers(index);
    return A_Err_NONE;
}
// Layer handles are made from the composition's item handle and the layer index; tests
// only compare them, never follow them.
A_Err GetCompLayerByIndex(AEGP_CompH comp, A_long layerIndex, AEGP_LayerH* layer) {
    const int index = H().ItemIndex(reinterpret_cast<AEGP_ItemH>(comp));
    H().Record("AEGP_GetCompLayerByIndex", {std::to_string(index), std::to_string(layerIndex)});
    if (index < 0 || layer == nullptr || layerIndex < 0 || layerIndex >= H().NumLayers(index))
        return A_Err_PARAMETER;
    *layer = reinterpret_cast<AEGP_LayerH>(reinterpret_cast<char*>(comp) + 1 + layerIndex);
    return A_Err_NONE;
}
AEGP_LayerSuite5 layerSuite{GetCompNumLayers, GetCompLayerByIndex};

// ---- Info panel and language -------------------------------------------------------------
A_Err InfoDrawText(const A_char* line1, const A_char* line2) {
    H().Record("PF_InfoDrawText", {Str(line1), Str(line2)});
    H().SetInfoText(line1, line2);
    return A_Err_NONE;
}
A_Err InfoDrawColor(PF_Pixel color) {
    H().Record("PF_InfoDrawColor", {PixelText(color)});
    H().SetInfoColor(color);
    return A_Err_NONE;
}
A_Err AppendInfoText(const A_char* text) {
    H().Record("PF_AppendInfoText", {Str(text)});
    H().AppendInfoText(text);
    return A_Err_NONE;
}
PF_AdvAppSuite2 advAppSuite{InfoDrawText, InfoDrawColor, AppendInfoText};

A_Err AppGetLanguage(A_char* buffer) {
    H().Record("PF_AppGetLanguage", {});
    if (buffer == nullptr) return A_Err_PARAMETER;
    const std::string language = H().Language();
    const size_t n = std::min(language.size(), size_t{PF_APP_LANGUAGE_BUFFER_SIZE - 1});
    std::memcpy(buffer, language.data(), n);
    buffer[n] = '\0';
    return A_Err_NONE;
}
PF_AppSuite6 appSuite{AppGetLanguage};

// Opaque drawbot tables: the utilities only hand the pointers on.
char drawbotTables[4];

struct Served {
    const char* name;
    int version;
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
    {kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1, &drawbotTables[0]},
    {kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1, &drawbotTables[1]},
    {kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version2, &drawbotTables[2]},
    {kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1, &drawbotTables[3]},
};

}  // namespace

FakeHost::FakeHost() : mainThread_(std::this_thread::get_id()) {
    FakeHost* expected = nullptr;
    if (!current.compare_exchange_strong(expected, this)) std::abort();  // one at a time
}

FakeHost::~FakeHost() {
    StopPump();
    current.store(nullptr);
}

FakeHost* FakeHost::Current() { return current.load(); }
SPBasicSuite* FakeHost::Basic() { return &basicSuite; }

bool FakeHost::OnMain() { return std::this_thread::get_id() == mainThread_; }

void FakeHost::SetMainThread(std::thread::id id) {
    std::lock_guard<std::mutex> lock(mutex_);
    mainThread_ = id;
}

void FakeHost::Record(std::string name, std::vector<std::string> args) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({std::move(name), std::move(args), OnMain()});
}

// ---- main thread -----------------------------------------------------------------------------
void FakeHost::StartPump(std::chrono::milliseconds interval) {
    std::unique_lock<std::mutex> lock(mutex_);
    pumpStop_ = false;
    pump_ = std::thread([this, interval] { PumpLoop(interval); });
    wake_.wait(lock, [this] { return mainThread_ == pump_.get_id(); });
}

void FakeHost::StopPump() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!pump_.joinable()) return;
        pumpStop_ = true;
    }
    wake_.notify_all();
    pump_.join();
}

void FakeHost::PumpLoop(std::chrono::milliseconds interval) {
    std::unique_lock<std::mutex> lock(mutex_);
    mainThread_ = std::this_thread::get_id();
    wake_.notify_all();
    while (!pumpStop_) {
        wake_.wait_for(lock, interval,
                       [this] { return pumpStop_ || idleWanted_ || !mainTasks_.empty(); });
        if (pumpStop_) break;
        while (!mainTasks_.empty()) {
            auto task = std::move(mainTasks_.front());
            mainTasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
        idleWanted_ = false;
        lock.unlock();
        CallIdleHook();
        lock.lock();
    }
}

void FakeHost::RunOnMain(const std::function<void()>& fn) {
    std::mutex doneMutex;
    std::condition_variable doneCv;
    bool done = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        mainTasks_.push_back([&] {
            fn();
            std::lock_guard<std::mutex> doneLock(doneMutex);
            done = true;
            doneCv.notify_all();
        });
    }
    wake_.notify_all();
    std::unique_lock<std::mutex> doneLock(doneMutex);
    doneCv.wait(doneLock, [&] { return done; });
}

A_Err FakeHost::CallIdleHook() {
    AEGP_IdleHook hook;
    void* refcon;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = idleHook_;
        refcon = idleRefcon_;
    }
    if (hook == nullptr) return A_Err_NONE;
    A_long maxSleep = 1234;
    const A_Err err = hook(nullptr, static_cast<AEGP_IdleRefcon>(refcon), &maxSleep);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++idleCalls_;
        if (maxSleep != 1234) maxSleepChanged_ = true;
    }
    wake_.notify_all();
    return err;
}

bool FakeHost::WaitForIdleCalls(int count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    const int target = idleCalls_ + count;
    return wake_.wait_for(lock, timeout, [&] { return idleCalls_ >= target; });
}

A_Err FakeHost::RunCommand(AEGP_Command command) {
    AEGP_CommandHook hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = commandHook_;
    }
    A_Boolean handled = 0;
    A_Err err = A_Err_NONE;
    if (hook != nullptr) err = hook(nullptr, nullptr, command, AEGP_HP_BeforeAE, 0, &handled);
    if (!handled) AddCommandRun(command);
    return err;
}

// ---- fault switches and model setup -------------------------------------------------------
void FakeHost::RefuseSuite(const std::string& name, int version) {
    std::lock_guard<std::mutex> lock(mutex_);
    refused_.emplace_back(name, version);
}
void FakeHost::FailRegistration(const std::string& which, A_Err err) {
    std::lock_guard<std::mutex> lock(mutex_);
    failRegistration_[which] = err;
}
void FakeHost::SetScriptRunner(std::function<ScriptOutcome(const std::string&)> runner) {
    std::lock_guard<std::mutex> lock(mutex_);
    scriptRunner_ = std::move(runner);
}
void FakeHost::SetLanguage(std::string language) {
    std::lock_guard<std::mutex> lock(mutex_);
    language_ = std::move(language);
}
void FakeHost::SetItems(std::vector<Item> items) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_ = std::move(items);
    itemSlots_.clear();
    for (size_t i = 0; i < items_.size(); ++i) itemSlots_.push_back(static_cast<int>(i));
    selected_.assign(items_.size(), false);
    active_.reset();
}
void FakeHost::SetActiveItem(std::optional<int> index) {
    std::lock_guard<std::mutex> lock(mutex_);
    active_ = index;
}

// ---- observations ------------------------------------------------------------------------------
int FakeHost::AcquireCount(const std::string& name, int version) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = acquired_.find({name, version});
    return it == acquired_.end() ? 0 : it->second;
}
int FakeHost::ReleaseCount(const std::string& name, int version) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = released_.find({name, version});
    return it == released_.end() ? 0 : it->second;
}
int FakeHost::HeldSuites() {
    std::lock_guard<std::mutex> lock(mutex_);
    int held = 0;
    for (const auto& [pair, count] : acquired_) held += count;
    for (const auto& [pair, count] : released_) held -= count;
    return held;
}
std::vector<Call> FakeHost::Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}
std::vector<Call> FakeHost::CallsNamed(const std::string& name) {
    std::vector<Call> named;
    for (auto& call : Calls())
        if (call.name == name) named.push_back(std::move(call));
    return named;
}
void FakeHost::ClearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}
std::vector<Call> FakeHost::ThreadViolations() {
    std::vector<Call> violations;
    for (auto& call : Calls()) {
        const bool allowed = call.name == "AEGP_CauseIdleRoutinesToBeCalled" ||
                             call.name == "PF_AppGetLanguage" || call.name == "AcquireSuite" ||
                             call.name == "ReleaseSuite";
        if (!call.onMain && !allowed) violations.push_back(std::move(call));
    }
    return violations;
}
std::vector<AEGP_Command> FakeHost::CommandsRun() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commandsRun_;
}
InfoPanel FakeHost::Info() {
    std::lock_guard<std::mutex> lock(mutex_);
    return info_;
}
std::vector<std::string> FakeHost::Alerts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return alerts_;
}
std::vector<int> FakeHost::SelectedItems() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<int> selected;
    for (size_t i = 0; i < selected_.size(); ++i)
        if (selected_[i]) selected.push_back(static_cast<int>(i));
    return selected;
}
std::optional<int> FakeHost::ActiveItem() {
    std::lock_guard<std::mutex> lock(mutex_);
    return active_;
}
int FakeHost::IdleRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return idleRequests_;
}
int FakeHost::IdleCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return idleCalls_;
}
bool FakeHost::MaxSleepChanged() {
    std::lock_guard<std::mutex> lock(mutex_);
    return maxSleepChanged_;
}
int FakeHost::OpenMemHandles() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(memHandles_.size());
}
bool FakeHost::HasHook(const std::string& which) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (which == "command") return commandHook_ != nullptr;
    if (which == "menu") return menuHook_ != nullptr;
    return idleHook_ != nullptr;
}

// ---- used by the trampolines
// ---------------------------------------------------------------------
A_Err FakeHost::Acquire(const char* name, int32_t version, const void** suite) {
    Record("AcquireSuite", {Str(name), std::to_string(version)});
    if (name == nullptr || suite == nullptr) return A_Err_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    *suite = nullptr;
    const std::pair<std::string, int> pair{name, version};
    if (std::find(refused_.begin(), refused_.end(), pair) != refused_.end())
        return A_Err_MISSING_SUITE;
    for (const Served& served : kServed) {
        if (pair.first == served.name && pair.second == served.version) {
            *suite = served.table;
            ++acquired_[pair];
            return A_Err_NONE;
        }
    }
    return A_Err_MISSING_SUITE;
}

A_Err FakeHost::Release(const char* name, int32_t version) {
    Record("ReleaseSuite", {Str(name), std::to_string(version)});
    if (name == nullptr) return A_Err_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    ++released_[{name, version}];
    return A_Err_NONE;
}

A_Err FakeHost::Register(const std::string& which, AEGP_CommandHook command,
                         AEGP_UpdateMenuHook menu, AEGP_IdleHook idle, void* refcon) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto fail = failRegistration_.find(which);
    if (fail != failRegistration_.end()) return fail->second;
    if (command != nullptr) commandHook_ = command;
    if (menu != nullptr) menuHook_ = menu;
    if (idle != nullptr) {
        idleHook_ = idle;
        idleRefcon_ = refcon;
    }
    return A_Err_NONE;
}

void FakeHost::RequestIdle() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++idleRequests_;
        idleWanted_ = true;
    }
    wake_.notify_all();
}

std::string FakeHost::Language() {
    std::lock_guard<std::mutex> lock(mutex_);
    return language_;
}

ScriptOutcome FakeHost::RunScript(const std::string& script) {
    std::function<ScriptOutcome(const std::string&)> runner;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        runner = scriptRunner_;
    }
    return runner ? runner(script) : ScriptOutcome{};
}

AEGP_MemHandle FakeHost::NewMemHandle(const std::string& text) {
    auto* block = new char[text.size() + 1];
    std::memcpy(block, text.c_str(), text.size() + 1);
    std::lock_guard<std::mutex> lock(mutex_);
    memHandles_[block] = text;
    return reinterpret_cast<AEGP_MemHandle>(block);
}

A_Err FakeHost::LockMemHandle(AEGP_MemHandle handle, void** ptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ptr == nullptr || memHandles_.count(handle) == 0) return A_Err_PARAMETER;
    *ptr = handle;
    return A_Err_NONE;
}

A_Err FakeHost::FreeMemHandle(AEGP_MemHandle handle) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (memHandles_.erase(handle) == 0) return A_Err_PARAMETER;
    }
    delete[] reinterpret_cast<char*>(handle);
    return A_Err_NONE;
}

void FakeHost::AddCommandRun(AEGP_Command command) {
    std::lock_guard<std::mutex> lock(mutex_);
    commandsRun_.push_back(command);
}
void FakeHost::SetInfoText(const char* line1, const char* line2) {
    std::lock_guard<std::mutex> lock(mutex_);
    info_.line1 = Str(line1);
    info_.line2 = Str(line2);
    info_.appended.clear();
}
void FakeHost::AppendInfoText(const char* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    info_.appended.push_back(Str(text));
}
void FakeHost::SetInfoColor(PF_Pixel color) {
    std::lock_guard<std::mutex> lock(mutex_);
    info_.color = color;
}
void FakeHost::AddAlert(const char* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    alerts_.push_back(Str(text));
}

AEGP_ItemH FakeHost::ItemHandle(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<int>(itemSlots_.size())) return nullptr;
    return reinterpret_cast<AEGP_ItemH>(&itemSlots_[index]);
}
int FakeHost::ItemIndex(AEGP_ItemH handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < itemSlots_.size(); ++i)
        if (reinterpret_cast<AEGP_ItemH>(&itemSlots_[i]) == handle) return static_cast<int>(i);
    return -1;
}
AEGP_ItemType FakeHost::ItemTypeOf(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.at(index).type;
}
int FakeHost::ItemCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(items_.size());
}
int FakeHost::NumLayers(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.at(index).numLayers;
}
A_Err FakeHost::SelectItem(AEGP_ItemH handle, bool select, bool deselectOthers) {
    const int index = ItemIndex(handle);
    if (index < 0) return A_Err_PARAMETER;  // a null item changes nothing
    std::lock_guard<std::mutex> lock(mutex_);
    if (deselectOthers) selected_.assign(selected_.size(), false);
    selected_[index] = select;
    if (select) active_ = index;
    return A_Err_NONE;
}

}  // namespace fakehost
