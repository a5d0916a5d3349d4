#include "core/Host.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>

#include "base/Clock.h"
#include "base/Utf8.h"
#include "core/HostScriptModel.h"
#include "core/PluginLoader.h"
#include "core/Suites.h"

namespace hostsim {
namespace {

// The environment as the options and the project file set it: an option wins.
std::unique_ptr<ScriptEnvironment> MakeEnvironment(const Options& options,
                                                   const ProjectSetup& project) {
    const char* home = std::getenv("HOME");
    EnvironmentSetup setup;
    if (!project.environment.is_null()) setup = ParseEnvironmentSetup(project.environment);
    if (!options.confirmAnswer.empty()) setup.dialogs.confirm = options.confirmAnswer == "yes";
    if (options.promptCancel)
        setup.dialogs.prompt = std::optional<std::string>();
    else if (options.promptSet)
        setup.dialogs.prompt = std::optional<std::string>(options.promptAnswer);
    if (options.keysSet) setup.keys = ParseKeys(options.keys);
    return std::make_unique<ScriptEnvironment>(
        ScriptEnvironment::Config{home != nullptr ? home : "", options.settingsFile,
                                  options.language, options.allowCallSystem},
        setup);
}

}  // namespace

Host::Host(Options options, std::vector<Effect> effects, const ProjectSetup& project)
    : options_(std::move(options)),
      effects_(std::move(effects)),
      mainThread_(std::this_thread::get_id()),
      project_(project, effects_),
      hooks_(journal_, hostCalls_, options_.failRegister),
      env_(MakeEnvironment(options_, project)),
      scriptModel_(std::make_unique<HostScriptModel>(*this)),
      engine_(std::make_unique<ScriptEngine>(
          *scriptModel_, static_cast<std::size_t>(options_.scriptMemoryMb) << 20,
          options_.scriptDialect == "modern" ? ScriptDialect::Modern : ScriptDialect::Classic,
          static_cast<std::size_t>(options_.scriptCache))),
      refused_(options_.refusedSuites) {
    project_.SetChangeSink(
        [this](std::vector<model::Change> changes) { RecordModelChanges(std::move(changes)); });
    ConnectEnvironment();
    SetCurrent(this);
}

// main thread: what scripts write goes to the journal (a record a line) and to a view; an
// alert is the host's alert; the other environment calls are journaled.
void Host::ConnectEnvironment() {
    const auto keep = [this](OutputLine line) {
        line.at = Stamp();
        std::lock_guard lock(mutex_);
        records_.output.push_back(std::move(line));
        if (records_.output.size() > kOutputKept) {
            records_.output.pop_front();
            ++records_.outputBefore;
        }
    };
    env_->SetSink({
        .output =
            [this, keep](std::string_view to, const std::string& text) {
                journal_.Record("Script.output", MonotonicMicros(), true,
                                {{"to", to}, {"text", text}}, nullptr);
                keep({std::string(to), text, false, 0});
            },
        .clear =
            [this, keep](std::string_view to) {
                journal_.Record("Script.output", MonotonicMicros(), true,
                                {{"to", to}, {"cleared", true}}, nullptr);
                keep({std::string(to), "", true, 0});
            },
        .alert = [this](const std::string& text) { ShowAlert(text); },
        .journal =
            [this](std::string_view call, nlohmann::json args, nlohmann::json result) {
                journal_.Record("Script." + std::string(call), MonotonicMicros(), true,
                                std::move(args), std::move(result));
            },
    });
    env_->stop = [this] { return engine_->PastItsEnd(); };
}

// main thread
void Host::RunDueTasks(std::int64_t nowMicros) {
    for (const auto& task : env_->TakeDue(nowMicros)) {
        const auto outcome = RunScript(task.text);
        journal_.Record("Script.task", MonotonicMicros(), true,
                        {{"id", task.id}, {"text", task.text}},
                        {{"result", outcome.result}, {"error", outcome.error}});
        if (ScriptEngine::Stopping()) return;
    }
}

// The thread that made the changes, with no lock held: one journal record each.
void Host::RecordModelChanges(std::vector<model::Change> changes) {
    const auto stamp = MonotonicMicros();
    const bool main = IsMainThread();
    bool selection = false;
    for (auto& change : changes) {
        selection = selection || change.detail["change"] == "item selected";
        journal_.Record("HostModel", stamp, main, std::move(change.detail), nullptr);
    }
    Notify(Change::Model);
    if (selection) Notify(Change::Selection);
}

// main thread: what a command of the table does to the active composition; nothing when
// there is none.
void Host::RunCommandAction(model::CommandAction action) {
    project_.With([action](model::Scene& scene) {
        model::Item* item = scene.FindItem(scene.ActiveItemId());
        if (item == nullptr || !item->comp) return;
        switch (action) {
            case model::CommandAction::NextFrame:
                scene.StepFrames(*item->comp, 1);
                break;
            case model::CommandAction::PreviousFrame:
                scene.StepFrames(*item->comp, -1);
                break;
            case model::CommandAction::SelectAllLayers:
                scene.SelectAllLayers(*item->comp, true);
                break;
            case model::CommandAction::DeselectAllLayers:
                scene.SelectAllLayers(*item->comp, false);
                break;
            case model::CommandAction::None:
                break;
        }
    });
}

Host::~Host() {
    // The plug-in's threads may outlive us; they must find no host rather than a dead one.
    SetCurrent(nullptr);
}

// Host is the one implementation of SuiteHost.
Host* Host::Current() { return static_cast<Host*>(SuiteHost::Current()); }

// ---- Loading and running -----------------------------------------------------------------

// main thread
bool Host::LoadPlugin() {
    std::string problem;
    const auto entry = PluginLoader::Load(options_.pluginPath, problem);
    if (entry == nullptr) {
        std::cerr << "cuebridge-hostsim: " << problem << "\n";
        return false;
    }
    CallEntryPoint(entry);
    if (entryResult_ != 0)
        std::cerr << "cuebridge-hostsim: EntryPointFunc returned error " << entryResult_ << "\n";
    return true;
}

// main thread
A_Err Host::CallEntryPoint(AEGP_EntryPointFunc entry) {
    const auto stamp = MonotonicMicros();
    entryResult_ =
        entry(Suites::Basic(), kMajorVersion, kMinorVersion, kPluginId, hooks_.RefconSlot());
    journal_.Record("EntryPointFunc", stamp, true,
                    {{"major_version", kMajorVersion},
                     {"minor_version", kMinorVersion},
                     {"plugin_id", kPluginId}},
                    entryResult_);
    return entryResult_;
}

// main thread
int Host::Run(const MainLoop::Input& input) {
    loop_.SetTimer([this] { return env_->NextDue(); }, [this] { RunDueTasks(MonotonicMicros()); });
    loop_.Run(options_, input, [this] { RunIdleHooks(); });
    ReportAtExit();
    if (journal_.Lost() > 0) return 5;  // what the run did cannot be read back
    std::lock_guard lock(mutex_);
    return options_.strict && records_.ViolationCount() > 0 ? 3 : 0;
}

void Host::OnSignal(int signal) { MainLoop::OnSignal(signal); }
void Host::RequestQuit() { loop_.RequestQuit(); }
void Host::RequestIdle() { loop_.RequestIdle(); }

// main thread
void Host::RunIdleHooks() {
    const auto run = hooks_.RunIdle(static_cast<A_long>(options_.idleIntervalMs));
    if (!run.ran) return;
    {
        std::lock_guard lock(mutex_);
        ++records_.idleCalls;
        records_.idleSleepChanges += run.sleepChanges;
    }
    Notify(Change::Idle);
}

// main thread
bool Host::PumpIdle() {
    if (!loop_.TakeIdleRequest()) return false;
    RunIdleHooks();
    return true;
}

// main thread
void Host::ReportAtExit() const {
    const Records records = RecordsCopy();
    for (const auto& [pair, count] : records.suitesHeld) {
        if (count == 0) continue;
        const bool expected = pair.first == kAEGPUtilitySuite &&
                              pair.second == kAEGPUtilitySuiteVersion6 && count == 1;
        std::cerr << "cuebridge-hostsim: suite still held at exit: \"" << pair.first << "\" "
                  << pair.second << " (" << count
                  << (expected ? "; expected: the plug-in keeps it for its life)" : ")") << "\n";
    }
    if (records.ViolationCount() > 0)
        std::cerr << "cuebridge-hostsim: " << records.ViolationCount() << " thread violation(s)\n";
    if (memHandles_.Outstanding() > 0)
        std::cerr << "cuebridge-hostsim: " << memHandles_.Outstanding()
                  << " memory handle(s) never freed\n";
    if (journal_.Lost() > 0)
        std::cerr << "cuebridge-hostsim: " << journal_.Lost()
                  << " journal record(s) lost: the journal is incomplete\n";
}

Records Host::RecordsCopy() const {
    std::lock_guard lock(mutex_);
    return records_;
}

Records Host::RecentRecords(std::size_t keep, std::size_t commandsSeen, bool merge) const {
    // At most this many new commands are looked at (a first look at a long history).
    constexpr std::size_t kMostScanned = 1 << 20;
    Records copy;
    std::lock_guard lock(mutex_);
    const auto& commands = records_.commandsRun;
    std::size_t from = std::min(commandsSeen, commands.size());
    from = std::max(from, commands.size() > kMostScanned ? commands.size() - kMostScanned : 0);
    for (std::size_t i = from; i < commands.size(); ++i) {
        auto& runs = copy.commandsRun;
        const auto& run = commands[i];
        if (merge && !runs.empty() && runs.back().command == run.command &&
            runs.back().source == run.source) {
            ++runs.back().count;
            runs.back().at = run.at;
        } else {
            runs.push_back(run);
        }
    }
    if (copy.commandsRun.size() > keep)
        copy.commandsRun.erase(copy.commandsRun.begin(),
                               copy.commandsRun.end() - static_cast<std::ptrdiff_t>(keep));
    std::size_t held = 0;
    for (const auto& run : copy.commandsRun) held += run.count;
    copy.commandsBefore = commands.size() - held;
    const auto& scripts = records_.scriptsRun;
    copy.scriptsBefore = scripts.size() > keep ? scripts.size() - keep : 0;
    copy.scriptsRun.assign(scripts.begin() + static_cast<std::ptrdiff_t>(copy.scriptsBefore),
                           scripts.end());
    copy.infoChangedAt = records_.infoChangedAt;
    copy.selectionChangedAt = records_.selectionChangedAt;
    copy.alerts = records_.alerts;
    copy.outputBefore = records_.outputBefore;
    copy.output = records_.output;
    copy.suitesHeld = records_.suitesHeld;
    copy.threadViolations = records_.threadViolations;
    copy.idleCalls = records_.idleCalls;
    copy.idleSleepChanges = records_.idleSleepChanges;
    copy.unmatchedReleases = records_.unmatchedReleases;
    copy.quietErrorsDepth = records_.quietErrorsDepth;
    return copy;
}

// ---- Bookkeeping ---------------------------------------------------------------------------

// any thread
std::int64_t Host::Stamp() const {
    if (beforeStamp_) beforeStamp_();
    return StampMicros();
}

// any thread: the Info panel's and the selection's changes are stamped for a view, as
// the commands and scripts are.
void Host::Notify(Change change) {
    if (change == Change::InfoPanel || change == Change::Selection) {
        const std::int64_t at = Stamp();
        std::lock_guard lock(mutex_);
        (change == Change::InfoPanel ? records_.infoChangedAt : records_.selectionChangedAt) = at;
    }
    listeners_.Notify(change);
}

// any thread
void Host::RecordViolation(std::string_view call) {
    std::lock_guard lock(mutex_);
    ++records_.threadViolations[std::string(call)];
}

// any thread
bool Host::IsRefused(const std::string& name, std::int32_t version) const {
    std::lock_guard lock(mutex_);
    return std::find(refused_.begin(), refused_.end(), std::pair{name, version}) != refused_.end();
}

// any thread
void Host::SetRefused(const std::string& name, std::int32_t version, bool refused) {
    std::lock_guard lock(mutex_);
    std::erase(refused_, std::pair{name, version});
    if (refused) refused_.emplace_back(name, version);
}

// any thread
void Host::NoteAcquired(const std::string& name, std::int32_t version) {
    {
        std::lock_guard lock(mutex_);
        ++records_.suitesHeld[{name, version}];
    }
    Notify(Change::Suites);
}

// any thread
bool Host::NoteReleased(const std::string& name, std::int32_t version) {
    {
        std::lock_guard lock(mutex_);
        const auto it = records_.suitesHeld.find({name, version});
        if (it == records_.suitesHeld.end() || it->second == 0) {
            ++records_.unmatchedReleases;
            return false;
        }
        --it->second;
    }
    Notify(Change::Suites);
    return true;
}

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

// ---- Host functions ------------------------------------------------------------------------

void Host::ShowAlert(std::string text) {
    std::cerr << "cuebridge-hostsim: alert: " << text << "\n";
    {
        std::lock_guard lock(mutex_);
        records_.alerts.push_back(std::move(text));
    }
    Notify(Change::Alert);
}

void Host::StartQuietErrors() {
    std::lock_guard lock(mutex_);
    ++records_.quietErrorsDepth;
}

void Host::EndQuietErrors() {
    std::lock_guard lock(mutex_);
    if (records_.quietErrorsDepth > 0) --records_.quietErrorsDepth;
}

A_Err Host::SelectItem(AEGP_ItemH item, bool select, bool deselectOthers) {
    const A_Err err = project_.SelectItem(item, select, deselectOthers);
    if (err == A_Err_NONE) Notify(Change::Selection);
    return err;
}

void Host::InfoDrawText(const char* line1, const char* line2) {
    info_.DrawText(line1, line2);
    Notify(Change::InfoPanel);
}

void Host::InfoDrawColor(PF_Pixel color) {
    info_.DrawColor(color);
    Notify(Change::InfoPanel);
}

void Host::AppendInfoText(const char* text) {
    info_.Append(text);
    Notify(Change::InfoPanel);
}

// main thread
ScriptOutcome Host::RunScript(const std::string& script) {
    // The first bytes of a text, for a view; "…" ends a text that was cut.
    const auto kept = [](const std::string& text) {
        constexpr std::size_t kKeptStart = 160;
        if (text.size() <= kKeptStart) return ToValidUtf8(text);
        return ToValidUtf8(text.substr(0, kKeptStart)) + "\u2026";
    };
    const auto at = Stamp();
    const auto start = MonotonicMicros();
    ScriptOutcome outcome = options_.scriptErrorSet
                                ? ScriptOutcome{"", options_.scriptError}
                                : engine_->Run(script, options_.scriptTimeoutMs);
    env_->EndScript();  // an unfinished line the script wrote is written as it ends
    {
        std::lock_guard lock(mutex_);
        records_.scriptsRun.push_back({kept(script), kept(outcome.result), kept(outcome.error),
                                       MonotonicMicros() - start, at});
    }
    Notify(Change::Script);
    return outcome;
}

// main thread
A_Err Host::ExecuteScript(const std::string& script, AEGP_MemHandle* result, AEGP_MemHandle* error,
                          nlohmann::json& out) {
    if (result == nullptr || error == nullptr) return A_Err_PARAMETER;
    // The fault switch: the call fails with this code and hands back no text.
    if (const A_Err fault = options_.scriptCallError) return fault;
    auto outcome = RunScript(script);
    out = {{"result", outcome.result}, {"error", outcome.error}};
    *result = memHandles_.New(std::move(outcome.result));
    *error = memHandles_.New(std::move(outcome.error));
    return A_Err_NONE;
}

// main thread
A_Err Host::DoCommand(AEGP_Command command, const char* source) {
    bool ran = false;
    const A_Err err = hooks_.DoCommand(command, [&] {
        const auto at = Stamp();
        std::lock_guard lock(mutex_);
        records_.commandsRun.push_back({command, source, at});
        ran = true;
    });
    if (ran) {
        if (const auto* entry = commands_.Find(command)) RunCommandAction(entry->action);
        Notify(Change::Command);
    }
    return err;
}

// ---- What the user does -----------------------------------------------------------------------

// main thread
void Host::UserCommand(AEGP_Command command) {
    hooks_.RunMenu();
    DoCommand(command, "user");
}

// main thread: the user clicks one item in the Project panel.
std::string Host::UserSelect(std::int32_t id) {
    std::string problem = project_.UserSelect(id);
    if (problem.empty()) Notify(Change::Selection);
    return problem;
}

}  // namespace hostsim
