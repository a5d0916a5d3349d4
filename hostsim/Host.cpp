#include "Host.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>

#include "Clock.h"
#include "Console.h"
#include "Suites.h"

namespace hostsim {
namespace {

std::atomic<Host*> g_current{nullptr};
// The wake pipe: any thread (and the signal handler) writes one byte to end the main
// loop's wait. Written once by the constructor before other threads exist.
int g_wakeRead = -1;
int g_wakeWrite = -1;
volatile std::sig_atomic_t g_signalled = 0;

void Wake() {
    const char byte = 1;
    // A full pipe already holds a pending wake-up; nothing is lost by dropping this one.
    [[maybe_unused]] const auto n = write(g_wakeWrite, &byte, 1);
}

void DrainWakePipe() {
    char buffer[256];
    while (read(g_wakeRead, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace

Host::Host(Options options, std::vector<Effect> effects, const ProjectSpec& project)
    : options_(std::move(options)),
      effects_(std::move(effects)),
      mainThread_(std::this_thread::get_id()),
      state_(project) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::cerr << "cuebridge-hostsim: pipe failed: " << std::strerror(errno) << "\n";
        std::exit(2);
    }
    g_wakeRead = fds[0];
    g_wakeWrite = fds[1];
    engine_ = std::make_unique<ScriptEngine>(*this);
    g_current = this;
}

Host::~Host() {
    // The plug-in's threads may outlive us; they must find no host rather than a dead one.
    g_current = nullptr;
}

Host* Host::Current() { return g_current.load(); }

// main thread. A FIFO with a waiting reader (a benchmark) opens at once.
bool Host::OpenCommandStamps(const std::string& path) {
    stampFd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    return stampFd_ >= 0;
}

// main thread. One write per line, stamped first, so the stamp marks the moment the
// command reached the host; nanoseconds, since command latency is a few microseconds.
void Host::StampCommand(AEGP_Command command) const {
    if (stampFd_ < 0) return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[48];
    const int length =
        std::snprintf(line, sizeof line, "%d %lld\n", static_cast<int>(command),
                      static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    [[maybe_unused]] const auto written = write(stampFd_, line, static_cast<std::size_t>(length));
}

void Host::OnSignal(int) {
    g_signalled = 1;
    Wake();
}

// ---- Loading ---------------------------------------------------------------------------

// main thread
bool Host::LoadPlugin() {
    library_ = dlopen(options_.pluginPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        std::cerr << "cuebridge-hostsim: cannot load plug-in " << options_.pluginPath << ": "
                  << dlerror() << "\n";
        return false;
    }
    auto entry = reinterpret_cast<AEGP_EntryPointFunc>(dlsym(library_, "EntryPointFunc"));
    if (entry == nullptr) {
        std::cerr << "cuebridge-hostsim: plug-in " << options_.pluginPath
                  << " has no EntryPointFunc\n";
        return false;
    }
    const auto stamp = MonotonicMicros();
    entryResult_ = entry(Suites::Basic(), kMajorVersion, kMinorVersion, kPluginId, &globalRefcon_);
    journal_.Record("EntryPointFunc", stamp, true,
                    {{"major_version", kMajorVersion},
                     {"minor_version", kMinorVersion},
                     {"plugin_id", kPluginId}},
                    entryResult_);
    if (entryResult_ != 0)
        std::cerr << "cuebridge-hostsim: EntryPointFunc returned error " << entryResult_ << "\n";
    return true;
}

// ---- Main loop -------------------------------------------------------------------------

// main thread
int Host::Run() {
    MainLoop();
    ReportAtExit();
    std::lock_guard lock(mutex_);
    return options_.strict && state_.ViolationCount() > 0 ? 3 : 0;
}

// main thread
void Host::MainLoop() {
    Console console(*this);
    bool stdinOpen = true;
    const auto start = MonotonicMicros();
    const auto interval = options_.idleIntervalMs * 1000;
    auto nextIdle = start + interval;
    while (!quitRequested_ && !g_signalled) {
        auto now = MonotonicMicros();
        if (options_.exitAfterMs > 0 && now >= start + options_.exitAfterMs * 1000) break;
        auto wakeAt = nextIdle;
        if (options_.exitAfterMs > 0)
            wakeAt = std::min(wakeAt, start + options_.exitAfterMs * 1000);
        const int timeoutMs =
            idleRequested_
                ? 0
                : static_cast<int>(std::max<std::int64_t>(0, (wakeAt - now + 999) / 1000));
        pollfd fds[2] = {{g_wakeRead, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        poll(fds, stdinOpen ? 2 : 1, timeoutMs);
        if (fds[0].revents & POLLIN) DrainWakePipe();
        if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buffer[4096];
            const auto n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0 && !(n < 0 && errno == EINTR))
                stdinOpen = false;  // end of input is not quit
            if (n > 0)
                for (const auto& answer :
                     console.Feed(std::string_view(buffer, static_cast<std::size_t>(n))))
                    std::cout << answer << std::endl;
        }
        now = MonotonicMicros();
        if (idleRequested_.exchange(false) || now >= nextIdle) {
            RunIdleHooks();
            nextIdle = MonotonicMicros() + interval;
        }
    }
}

// main thread
void Host::RunIdleHooks() {
    std::vector<IdleHookEntry> hooks;
    {
        std::lock_guard lock(mutex_);
        hooks = idleHooks_;
        if (!hooks.empty()) ++state_.idleCalls;
    }
    for (const auto& entry : hooks) {
        const A_long given = static_cast<A_long>(options_.idleIntervalMs);
        A_long maxSleep = given;
        const auto callsBefore = hostCalls_.load();
        const auto stamp = MonotonicMicros();
        const A_Err err = entry.hook(globalRefcon_, entry.refcon, &maxSleep);
        if (maxSleep != given) {
            std::lock_guard lock(mutex_);
            ++state_.idleSleepChanges;
        }
        // Only idle calls that did something are journaled; most do nothing.
        if (hostCalls_.load() != callsBefore || err != 0 || maxSleep != given)
            journal_.Record("IdleHook", stamp, true, {{"max_sleep_ms", given}}, err,
                            {{"max_sleep_ms", maxSleep}});
    }
}

// main thread. The host updates its menus before the user picks a command.
void Host::RunMenuHooks() {
    std::vector<MenuHookEntry> hooks;
    {
        std::lock_guard lock(mutex_);
        hooks = menuHooks_;
    }
    for (const auto& entry : hooks) {
        const auto callsBefore = hostCalls_.load();
        const auto stamp = MonotonicMicros();
        const A_Err err = entry.hook(globalRefcon_, entry.refcon, 0);
        if (hostCalls_.load() != callsBefore || err != 0)
            journal_.Record("UpdateMenuHook", stamp, true, {{"active_window", 0}}, err);
    }
}

// main thread
void Host::ReportAtExit() const {
    std::lock_guard lock(mutex_);
    for (const auto& [pair, count] : state_.suitesHeld) {
        if (count == 0) continue;
        const bool expected = pair.first == kAEGPUtilitySuite &&
                              pair.second == kAEGPUtilitySuiteVersion6 && count == 1;
        std::cerr << "cuebridge-hostsim: suite still held at exit: \"" << pair.first << "\" "
                  << pair.second << " (" << count
                  << (expected ? "; expected: the plug-in keeps it for its life)" : ")") << "\n";
    }
    if (state_.ViolationCount() > 0)
        std::cerr << "cuebridge-hostsim: " << state_.ViolationCount() << " thread violation(s)\n";
    if (!memHandles_.empty())
        std::cerr << "cuebridge-hostsim: " << memHandles_.size()
                  << " memory handle(s) never freed\n";
}

// any thread
void Host::RequestQuit() {
    quitRequested_ = true;
    Wake();
}

// any thread
void Host::RequestIdle() {
    idleRequested_ = true;
    Wake();
}

// ---- Bookkeeping -------------------------------------------------------------------------

// any thread
void Host::RecordViolation(std::string_view call) {
    std::lock_guard lock(mutex_);
    ++state_.threadViolations[std::string(call)];
}

// any thread
bool Host::IsRefused(const std::string& name, std::int32_t version) const {
    return std::find(options_.refusedSuites.begin(), options_.refusedSuites.end(),
                     std::pair{name, version}) != options_.refusedSuites.end();
}

// any thread
void Host::NoteAcquired(const std::string& name, std::int32_t version) {
    std::lock_guard lock(mutex_);
    ++state_.suitesHeld[{name, version}];
}

// any thread
bool Host::NoteReleased(const std::string& name, std::int32_t version) {
    std::lock_guard lock(mutex_);
    const auto it = state_.suitesHeld.find({name, version});
    if (it == state_.suitesHeld.end() || it->second == 0) {
        ++state_.unmatchedReleases;
        return false;
    }
    --it->second;
    return true;
}

// ---- Register suite ----------------------------------------------------------------------

bool Host::HookRegistrationRefused(const char* kind) const {
    return std::find(options_.failRegister.begin(), options_.failRegister.end(), kind) !=
           options_.failRegister.end();
}

// main thread (checked by the table)
A_Err Host::RegisterCommandHook(AEGP_HookPriority priority, AEGP_Command command,
                                AEGP_CommandHook hook, AEGP_CommandRefcon refcon) {
    if (HookRegistrationRefused("command")) return A_Err_GENERIC;
    if (hook == nullptr || (priority != AEGP_HP_BeforeAE && priority != AEGP_HP_AfterAE))
        return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    commandHooks_.push_back({priority, command, hook, refcon});
    return A_Err_NONE;
}

A_Err Host::RegisterUpdateMenuHook(AEGP_UpdateMenuHook hook, AEGP_UpdateMenuRefcon refcon) {
    if (HookRegistrationRefused("menu")) return A_Err_GENERIC;
    if (hook == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    menuHooks_.push_back({hook, refcon});
    return A_Err_NONE;
}

A_Err Host::RegisterIdleHook(AEGP_IdleHook hook, AEGP_IdleRefcon refcon) {
    if (HookRegistrationRefused("idle")) return A_Err_GENERIC;
    if (hook == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    idleHooks_.push_back({hook, refcon});
    return A_Err_NONE;
}

// ---- Utility and memory suites -------------------------------------------------------------

void Host::ShowAlert(std::string text) {
    std::cerr << "cuebridge-hostsim: alert: " << text << "\n";
    std::lock_guard lock(mutex_);
    state_.alerts.push_back(std::move(text));
}

void Host::StartQuietErrors() {
    std::lock_guard lock(mutex_);
    ++state_.quietErrorsDepth;
}

void Host::EndQuietErrors() {
    std::lock_guard lock(mutex_);
    if (state_.quietErrorsDepth > 0) --state_.quietErrorsDepth;
}

// main thread
ScriptOutcome Host::RunScript(const std::string& script) {
    if (options_.scriptErrorSet) return {"", options_.scriptError};
    return engine_->Run(script, options_.scriptTimeoutMs);
}

// main thread
A_Err Host::ExecuteScript(const std::string& script, AEGP_MemHandle* result, AEGP_MemHandle* error,
                          nlohmann::json& out) {
    if (result == nullptr || error == nullptr) return A_Err_PARAMETER;
    auto outcome = RunScript(script);
    out = {{"result", outcome.result}, {"error", outcome.error}};
    *result = NewMemHandle(std::move(outcome.result));
    *error = NewMemHandle(std::move(outcome.error));
    return A_Err_NONE;
}

AEGP_MemHandle Host::NewMemHandle(std::string text) {
    auto block = std::make_unique<MemBlock>(MemBlock{std::move(text)});
    void* key = block.get();
    std::lock_guard lock(mutex_);
    memHandles_.emplace(key, std::move(block));
    return reinterpret_cast<AEGP_MemHandle>(key);
}

A_Err Host::LockMemHandle(AEGP_MemHandle handle, void** bytes) {
    std::lock_guard lock(mutex_);
    const auto it = memHandles_.find(reinterpret_cast<void*>(handle));
    if (it == memHandles_.end() || bytes == nullptr) {
        ++state_.badMemHandles;
        return A_Err_PARAMETER;
    }
    *bytes = it->second->bytes.data();  // NUL-terminated by std::string
    return A_Err_NONE;
}

A_Err Host::UnlockMemHandle(AEGP_MemHandle handle) {
    std::lock_guard lock(mutex_);
    if (memHandles_.count(reinterpret_cast<void*>(handle)) == 0) {
        ++state_.badMemHandles;
        return A_Err_PARAMETER;
    }
    return A_Err_NONE;
}

A_Err Host::FreeMemHandle(AEGP_MemHandle handle) {
    std::lock_guard lock(mutex_);
    if (memHandles_.erase(reinterpret_cast<void*>(handle)) == 0) {
        ++state_.badMemHandles;
        return A_Err_PARAMETER;
    }
    return A_Err_NONE;
}

// ---- Commands ------------------------------------------------------------------------------

// main thread
void Host::CallCommandHooks(AEGP_Command command, AEGP_HookPriority priority, A_Boolean& handled) {
    std::vector<CommandHookEntry> hooks;
    {
        std::lock_guard lock(mutex_);
        hooks = commandHooks_;
    }
    for (const auto& entry : hooks) {
        if (entry.priority != priority ||
            (entry.command != AEGP_Command_ALL && entry.command != command))
            continue;
        const A_Boolean already = handled;
        const auto stamp = MonotonicMicros();
        const A_Err err =
            entry.hook(globalRefcon_, entry.refcon, command, priority, already, &handled);
        journal_.Record(
            "CommandHook", stamp, true,
            {{"command", command}, {"hook_priority", priority}, {"already_handled", already != 0}},
            err, {{"handled", handled != 0}});
    }
}

// main thread
A_Err Host::DoCommand(AEGP_Command command, const char* source) {
    constexpr int kMaxNesting =
        16;  // a hook that runs its own command again must not recurse forever
    if (commandDepth_ >= kMaxNesting) return A_Err_GENERIC;
    ++commandDepth_;
    A_Boolean handled = 0;
    CallCommandHooks(command, AEGP_HP_BeforeAE, handled);
    if (!handled) {
        std::lock_guard lock(mutex_);
        state_.commandsRun.push_back({command, source});
    }
    CallCommandHooks(command, AEGP_HP_AfterAE, handled);
    --commandDepth_;
    return A_Err_NONE;
}

// ---- Project -------------------------------------------------------------------------------

namespace {
template <typename Handle>
Handle ToHandle(const void* p) {
    return reinterpret_cast<Handle>(const_cast<void*>(p));
}
}  // namespace

std::optional<std::int32_t> Host::ItemId(const void* handle) const {
    std::lock_guard lock(mutex_);
    const Item* item = state_.FindItem(handle);
    if (item == nullptr) return std::nullopt;
    return item->id;
}

A_Err Host::FirstItem(AEGP_ProjectH project, AEGP_ItemH* item) {
    if (item == nullptr) return A_Err_PARAMETER;
    *item = nullptr;
    if (!IsProject(project)) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    if (!state_.Items().empty()) *item = ToHandle<AEGP_ItemH>(state_.Items().front().get());
    return A_Err_NONE;
}

A_Err Host::NextItem(AEGP_ProjectH project, AEGP_ItemH item, AEGP_ItemH* next) {
    if (next == nullptr) return A_Err_PARAMETER;
    *next = nullptr;
    if (!IsProject(project)) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    const Item* current = state_.FindItem(item);
    if (current == nullptr) return A_Err_PARAMETER;
    *next = ToHandle<AEGP_ItemH>(state_.NextItem(*current));
    return A_Err_NONE;
}

A_Err Host::ActiveItem(AEGP_ItemH* item) {
    if (item == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    *item = ToHandle<AEGP_ItemH>(state_.ActiveItem());
    return A_Err_NONE;
}

A_Err Host::IsItemSelected(AEGP_ItemH handle, A_Boolean* selected) {
    if (selected == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    const Item* item = state_.FindItem(handle);
    if (item == nullptr) return A_Err_PARAMETER;
    *selected = item->selected ? 1 : 0;
    return A_Err_NONE;
}

A_Err Host::SelectItem(AEGP_ItemH handle, bool select, bool deselectOthers) {
    std::lock_guard lock(mutex_);
    Item* item = state_.FindItem(handle);
    if (item == nullptr) return A_Err_PARAMETER;  // a null or foreign item changes nothing
    state_.SelectItem(*item, select, deselectOthers);
    return A_Err_NONE;
}

A_Err Host::ItemType(AEGP_ItemH handle, AEGP_ItemType* type) {
    if (type == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    const Item* item = state_.FindItem(handle);
    if (item == nullptr) {
        *type = AEGP_ItemType_NONE;
        return A_Err_PARAMETER;
    }
    *type = item->type;
    return A_Err_NONE;
}

// A composition's handle is its item's address (the two handle kinds never mix here).
A_Err Host::CompFromItem(AEGP_ItemH handle, AEGP_CompH* comp) {
    if (comp == nullptr) return A_Err_PARAMETER;
    *comp = nullptr;
    std::lock_guard lock(mutex_);
    const Item* item = state_.FindItem(handle);
    if (item == nullptr || item->type != AEGP_ItemType_COMP) return A_Err_PARAMETER;
    *comp = ToHandle<AEGP_CompH>(item);
    return A_Err_NONE;
}

A_Err Host::CompNumLayers(AEGP_CompH comp, A_long* count) {
    if (count == nullptr) return A_Err_PARAMETER;
    std::lock_guard lock(mutex_);
    const Item* item = state_.FindItem(comp);
    if (item == nullptr || item->type != AEGP_ItemType_COMP) return A_Err_PARAMETER;
    *count = static_cast<A_long>(item->layers.size());
    return A_Err_NONE;
}

A_Err Host::CompLayerByIndex(AEGP_CompH comp, A_long index, AEGP_LayerH* layer) {
    if (layer == nullptr) return A_Err_PARAMETER;
    *layer = nullptr;
    std::lock_guard lock(mutex_);
    const Item* item = state_.FindItem(comp);
    if (item == nullptr || item->type != AEGP_ItemType_COMP) return A_Err_PARAMETER;
    if (index < 0 || static_cast<std::size_t>(index) >= item->layers.size()) return A_Err_PARAMETER;
    *layer = ToHandle<AEGP_LayerH>(item->layers[static_cast<std::size_t>(index)].get());
    return A_Err_NONE;
}

// ---- Info panel ----------------------------------------------------------------------------

void Host::InfoDrawText(const char* line1, const char* line2) {
    std::lock_guard lock(mutex_);
    state_.info.line1 = line1 ? line1 : "";
    state_.info.line2 = line2 ? line2 : "";
    state_.info.appended.clear();
}

void Host::InfoDrawColor(PF_Pixel color) {
    std::lock_guard lock(mutex_);
    state_.info.color = color;
}

void Host::AppendInfoText(const char* text) {
    std::lock_guard lock(mutex_);
    state_.info.appended.emplace_back(text ? text : "");
}

// ---- Console and scripts -------------------------------------------------------------------

// main thread
nlohmann::json Host::StateJson() const {
    std::lock_guard lock(mutex_);
    nlohmann::json info = {{"line1", state_.info.line1},
                           {"line2", state_.info.line2},
                           {"appended", state_.info.appended},
                           {"color", nullptr}};
    if (state_.info.color) {
        const auto& c = *state_.info.color;
        info["color"] = {{"alpha", c.alpha}, {"red", c.red}, {"green", c.green}, {"blue", c.blue}};
    }
    auto commands = nlohmann::json::array();
    for (const auto& run : state_.commandsRun)
        commands.push_back({{"command", run.command}, {"source", run.source}});
    const Item* active = state_.ActiveItem();
    return {{"language", options_.language},
            {"info", std::move(info)},
            {"items", state_.ItemsJson()},
            {"active_item", active ? nlohmann::json(active->id) : nlohmann::json(nullptr)},
            {"commands_run", std::move(commands)},
            {"alerts", state_.alerts},
            {"suites_held", state_.SuitesHeldJson()},
            {"thread_violations",
             {{"count", state_.ViolationCount()}, {"calls", state_.threadViolations}}},
            {"idle_calls", state_.idleCalls},
            {"idle_sleep_changes", state_.idleSleepChanges},
            {"hooks",
             {{"command", commandHooks_.size()},
              {"menu", menuHooks_.size()},
              {"idle", idleHooks_.size()}}},
            {"entry_point_result", entryResult_},
            {"effects", effects_.size()},
            {"mem_handles_outstanding", memHandles_.size()},
            {"bad_mem_handles", state_.badMemHandles},
            {"unmatched_releases", state_.unmatchedReleases},
            {"quiet_errors_depth", state_.quietErrorsDepth}};
}

// main thread
void Host::UserCommand(AEGP_Command command) {
    RunMenuHooks();
    DoCommand(command, "user");
}

// main thread: the user clicks one item in the Project panel.
std::string Host::UserSelect(std::int32_t id) {
    std::lock_guard lock(mutex_);
    Item* item = state_.FindItemById(id);
    if (item == nullptr) return "no item with id " + std::to_string(id);
    state_.SelectItem(*item, true, true);
    return {};
}

namespace {
// The names the host's scripting gives item types; a solid is a footage item there.
const char* ScriptTypeName(AEGP_ItemType type) {
    switch (type) {
        case AEGP_ItemType_FOLDER:
            return "Folder";
        case AEGP_ItemType_COMP:
            return "Composition";
        case AEGP_ItemType_FOOTAGE:
        case AEGP_ItemType_SOLID:
            return "Footage";
        default:
            return "";
    }
}
}  // namespace

std::vector<ScriptItem> Host::ScriptItems() {
    std::lock_guard lock(mutex_);
    std::vector<ScriptItem> items;
    for (const auto& item : state_.Items())
        items.push_back({item->id, item->name, ScriptTypeName(item->type), item->selected});
    return items;
}

std::int32_t Host::ActiveItemId() {
    std::lock_guard lock(mutex_);
    const Item* item = state_.ActiveItem();
    return item ? item->id : 0;
}

// A script selecting an item adds it to the selection; deselecting removes it.
bool Host::SetItemSelected(std::int32_t id, bool selected) {
    std::lock_guard lock(mutex_);
    Item* item = state_.FindItemById(id);
    if (item == nullptr) return false;
    state_.SelectItem(*item, selected, false);
    return true;
}

}  // namespace hostsim
