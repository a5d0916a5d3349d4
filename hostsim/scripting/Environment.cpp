#include "scripting/Environment.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "base/Clock.h"
#include "base/Utf8.h"
#include "model/ModelError.h"

extern char** environ;

namespace hostsim {
namespace {

using nlohmann::json;

// Settings of this type when a script gives none (PREFType.PREF_Type_MACHINE_SPECIFIC).
constexpr std::int64_t kDefaultPrefType = 8812;
// "If the value is greater than 1999 bytes, getSetting [saveSetting] ... will throw an error".
constexpr std::size_t kLongestSetting = 1999;
// What callSystem keeps of a command's output.
constexpr std::size_t kMostOutput = std::size_t{16} << 20;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

KeyboardState ParseKeys(std::string_view list) {
    KeyboardState keys;
    std::size_t at = 0;
    while (at <= list.size()) {
        const auto end = std::min(list.find(',', at), list.size());
        std::string name(list.substr(at, end - at));
        at = end + 1;
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        const std::string key = Lower(name);
        if (key.empty() || key == "none") continue;
        if (key == "shift")
            keys.shift = true;
        else if (key == "ctrl" || key == "control")
            keys.ctrl = true;
        else if (key == "alt" || key == "option")
            keys.alt = true;
        else if (key == "meta" || key == "cmd" || key == "command")
            keys.meta = true;
        else if (key.starts_with("key:") && name.size() > 4)
            keys.keyName = name.substr(4);
        else
            throw std::invalid_argument("unknown key \"" + name +
                                        "\" (shift, ctrl, alt, meta, key:NAME or none)");
    }
    return keys;
}

EnvironmentSetup ParseEnvironmentSetup(const json& entry) {
    EnvironmentSetup setup;
    if (!entry.is_object()) throw std::invalid_argument("\"environment\" must be an object");
    for (const auto& [name, value] : entry.items()) {
        if (name == "keys") {
            std::string list;
            if (value.is_string()) {
                list = value.get<std::string>();
            } else if (value.is_array()) {
                for (const auto& key : value) {
                    if (!key.is_string())
                        throw std::invalid_argument("\"environment.keys\": a key is a name");
                    list += key.get<std::string>() + ",";
                }
            } else {
                throw std::invalid_argument("\"environment.keys\" must be a text or a list");
            }
            setup.keys = ParseKeys(list);
        } else if (name == "dialogs") {
            if (!value.is_object())
                throw std::invalid_argument("\"environment.dialogs\" must be an object");
            for (const auto& [dialog, answer] : value.items()) {
                if (dialog == "confirm" && answer.is_boolean())
                    setup.dialogs.confirm = answer.get<bool>();
                else if (dialog == "prompt" && (answer.is_string() || answer.is_null()))
                    setup.dialogs.prompt = answer.is_null()
                                               ? std::optional<std::string>()
                                               : std::optional(answer.get<std::string>());
                else
                    throw std::invalid_argument(
                        "\"environment.dialogs\": \"" + dialog +
                        "\" (confirm: true or false; prompt: a text, or null for Cancel)");
            }
        } else {
            throw std::invalid_argument("\"environment\": unknown entry \"" + name +
                                        "\" (keys, dialogs)");
        }
    }
    return setup;
}

// ---- Time display ----------------------------------------------------------------------------

namespace {

// The whole frames per second of a timecode: 29.97 counts 30.
std::int64_t Timebase(double fps, const char* method) {
    if (!std::isfinite(fps) || fps < 1 || fps > 999)
        model::ThrowParameterRange(method, 2, fps, 1, 999);
    return static_cast<std::int64_t>(std::ceil(fps - 1e-9));
}

}  // namespace

std::string TimeToTimecode(double seconds, double fps, const char* method) {
    const std::int64_t base = Timebase(fps, method);
    if (!std::isfinite(seconds) || std::abs(seconds) > 1e9)
        model::ThrowParameter(method, 1, "Value is not a time.");
    auto frames = static_cast<std::int64_t>(std::floor(std::abs(seconds) * fps + 1e-6));
    const std::int64_t ff = frames % base;
    frames /= base;
    char text[64];
    std::snprintf(text, sizeof text, "%s%lld:%02lld:%02lld:%0*lld", seconds < 0 ? "-" : "",
                  static_cast<long long>(frames / 3600), static_cast<long long>(frames / 60 % 60),
                  static_cast<long long>(frames % 60), base > 99 ? 3 : 2,
                  static_cast<long long>(ff));
    return text;
}

double TimecodeToTime(std::string_view text, double fps, const char* method) {
    const std::int64_t base = Timebase(fps, method);
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    // Fields from the right: frames, seconds, minutes, hours ("0:00:12" is 12 frames).
    std::vector<std::int64_t> fields;
    std::size_t at = 0;
    while (true) {
        const auto end = std::min(text.find_first_of(":;.", at), text.size());
        const std::string_view digits = text.substr(at, end - at);
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string_view::npos || fields.size() == 4)
            model::ThrowParameter(
                method, 1,
                "Value is not a time of the form H:MM:SS:FF (\"" + std::string(text) + "\").");
        fields.push_back(std::stoll(std::string(digits)));
        if (end == text.size()) break;
        at = end + 1;
    }
    std::int64_t frames = 0;
    const std::int64_t scale[] = {1, base, base * 60, base * 3600};
    for (std::size_t i = 0; i < fields.size(); ++i)
        frames += fields[fields.size() - 1 - i] * scale[i];
    return (negative ? -1.0 : 1.0) * static_cast<double>(frames) / fps;
}

// ---- The environment --------------------------------------------------------------------------

ScriptEnvironment::ScriptEnvironment(Config config, const EnvironmentSetup& setup)
    : config_(std::move(config)), files_(config_.home) {
    if (setup.keys) keys = *setup.keys;
    dialogs = setup.dialogs;
    LoadSettings();
}

void ScriptEnvironment::Journal(std::string_view call, json args, json result) {
    if (sink_.journal) sink_.journal(call, std::move(args), std::move(result));
}

void ScriptEnvironment::Write(std::string_view to, std::string_view text) {
    auto it = partial_.find(to);
    if (it == partial_.end()) it = partial_.emplace(std::string(to), "").first;
    std::string& line = it->second;
    for (const char c : text) {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (sink_.output) sink_.output(to, ToValidUtf8(line));
        line.clear();
    }
}

void ScriptEnvironment::Clear(std::string_view to) {
    partial_.erase(std::string(to));
    if (sink_.clear) sink_.clear(to);
}

void ScriptEnvironment::EndScript() {
    for (auto& [to, line] : partial_)
        if (!line.empty() && sink_.output) sink_.output(to, ToValidUtf8(line));
    partial_.clear();
}

void ScriptEnvironment::Alert(const std::string& text, const std::string& title) {
    Journal("alert", {{"text", text}, {"title", title}});
    if (sink_.alert) sink_.alert(text);
}

bool ScriptEnvironment::Confirm(const std::string& text, bool noAsDefault,
                                const std::string& title) {
    const bool answer = dialogs.confirm.value_or(!noAsDefault);
    Journal("confirm", {{"text", text}, {"title", title}, {"noAsDefault", noAsDefault}}, answer);
    return answer;
}

std::optional<std::string> ScriptEnvironment::Prompt(const std::string& text,
                                                     const std::string& preset,
                                                     const std::string& title) {
    std::optional<std::string> answer = dialogs.prompt.value_or(preset);
    Journal("prompt", {{"text", text}, {"title", title}, {"preset", preset}},
            answer ? json(*answer) : json(nullptr));
    return answer;
}

// ---- Settings ---------------------------------------------------------------------------------

namespace {

std::int64_t PrefType(double type) {
    return std::isfinite(type) && type > 0 ? static_cast<std::int64_t>(type) : kDefaultPrefType;
}

}  // namespace

bool ScriptEnvironment::HaveSetting(double type, const std::string& section,
                                    const std::string& key) const {
    return settings_.count({PrefType(type), section, key}) > 0;
}

std::string ScriptEnvironment::GetSetting(double type, const std::string& section,
                                          const std::string& key) const {
    const auto it = settings_.find({PrefType(type), section, key});
    if (it == settings_.end())
        model::ThrowParameter(
            "getSetting", 2, "There is no setting \"" + key + "\" in section \"" + section + "\".");
    return it->second;
}

void ScriptEnvironment::SaveSetting(double type, const std::string& section, const std::string& key,
                                    const std::string& value) {
    if (value.size() > kLongestSetting)
        model::ThrowParameter(
            "saveSetting", 3,
            "The value is longer than " + std::to_string(kLongestSetting) + " bytes.");
    settings_[{PrefType(type), section, key}] = value;
    Journal("saveSetting", {{"section", section}, {"key", key}, {"value", value}});
    StoreSettings();
}

// The settings file: [[type, section, key, value], ...]. A file that cannot be read is said
// on stderr and left alone (the next save writes it anew).
void ScriptEnvironment::LoadSettings() {
    if (config_.settingsFile.empty()) return;
    std::ifstream in(config_.settingsFile);
    if (!in) return;
    const json doc = json::parse(in, nullptr, false);
    bool ok = doc.is_array();
    for (const auto& row : ok ? doc : json::array()) {
        ok = ok && row.is_array() && row.size() == 4 && row[0].is_number_integer() &&
             row[1].is_string() && row[2].is_string() && row[3].is_string();
        if (ok) settings_[{row[0].get<std::int64_t>(), row[1], row[2]}] = row[3];
    }
    if (!ok)
        std::fprintf(stderr, "cuebridge-hostsim: %s: not a settings file; starting without\n",
                     config_.settingsFile.c_str());
}

void ScriptEnvironment::StoreSettings() const {
    if (config_.settingsFile.empty()) return;
    json doc = json::array();
    for (const auto& [where, value] : settings_)
        doc.push_back({std::get<0>(where), std::get<1>(where), std::get<2>(where), value});
    const std::string temporary = config_.settingsFile + ".new";
    std::ofstream out(temporary, std::ios::trunc);
    out << doc.dump(1) << "\n";
    out.close();
    if (!out || std::rename(temporary.c_str(), config_.settingsFile.c_str()) != 0)
        std::fprintf(stderr, "cuebridge-hostsim: %s: the settings cannot be saved\n",
                     config_.settingsFile.c_str());
}

// ---- Scheduled tasks --------------------------------------------------------------------------

std::int64_t ScriptEnvironment::Schedule(const std::string& text, double delayMs, bool repeat,
                                         std::int64_t nowMicros) {
    if (!std::isfinite(delayMs) || delayMs < 0 || delayMs > 1e9)
        model::ThrowParameterRange("scheduleTask", 2, delayMs, 0, 1e9);
    // A repeating task waits a millisecond at least between two runs, so that it cannot hold
    // the main loop.
    const auto period = static_cast<std::int64_t>(delayMs * 1000);
    const std::int64_t id = nextTask_++;
    tasks_.push_back({id, text, repeat ? std::max<std::int64_t>(period, 1000) : period, repeat,
                      nowMicros + period});
    Journal("scheduleTask", {{"id", id}, {"text", text}, {"delay", delayMs}, {"repeat", repeat}});
    return id;
}

void ScriptEnvironment::Cancel(std::int64_t id) {
    const auto removed = std::erase_if(tasks_, [id](const Task& t) { return t.id == id; });
    Journal("cancelTask", {{"id", id}}, removed > 0);
}

std::int64_t ScriptEnvironment::NextDue() const {
    std::int64_t next = 0;
    for (const auto& task : tasks_)
        if (next == 0 || task.dueMicros < next) next = task.dueMicros;
    return next;
}

std::vector<ScriptEnvironment::Task> ScriptEnvironment::TakeDue(std::int64_t nowMicros) {
    std::vector<Task> due, kept;
    for (auto& task : tasks_) {
        if (task.dueMicros > nowMicros) {
            kept.push_back(task);
            continue;
        }
        due.push_back(task);
        if (!task.repeat) continue;
        task.dueMicros = nowMicros + task.periodMicros;
        kept.push_back(task);
    }
    tasks_ = std::move(kept);
    std::stable_sort(due.begin(), due.end(),
                     [](const Task& a, const Task& b) { return a.dueMicros < b.dueMicros; });
    return due;
}

// ---- The process ------------------------------------------------------------------------------

std::optional<std::string> ScriptEnvironment::GetEnv(const std::string& name) const {
    const auto it = envChanges_.find(name);
    if (it != envChanges_.end()) return it->second;
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void ScriptEnvironment::SetEnv(const std::string& name, const std::string& value) {
    envChanges_[name] = value;
}

std::string ScriptEnvironment::CallSystem(const std::string& command,
                                          const std::function<bool()>& stop) {
    if (!config_.allowCallSystem)
        model::ThrowCall("callSystem",
                         "the simulated host runs no system command unless started with "
                         "--allow-call-system");
    if (command.find('\0') != std::string::npos)
        model::ThrowParameter("callSystem", 1, "The command holds a NUL character.");
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) model::ThrowCall("callSystem", "no pipe can be made");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    if (!files_.Home().empty())
        posix_spawn_file_actions_addchdir_np(&actions, files_.Home().c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);  // its own group, so that all of it can be killed
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    // The environment with the script's $.setenv changes.
    std::vector<std::string> variables;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (!envChanges_.count(entry.substr(0, entry.find('=')))) variables.push_back(entry);
    }
    for (const auto& [name, value] : envChanges_)
        if (value) variables.push_back(name + "=" + *value);
    std::vector<char*> envp;
    envp.reserve(variables.size() + 1);
    for (auto& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, "/bin/sh", &actions, &attributes,
                                    const_cast<char* const*>(argv), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        model::ThrowCall("callSystem", "/bin/sh cannot be started");
    }
    std::string output;
    bool stopped = false;
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        const int ready = poll(&p, 1, 10);
        if (stop()) {
            stopped = true;
            break;
        }
        if (ready <= 0) continue;
        char buffer[4096];
        const auto n = read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (output.size() < kMostOutput) output.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    // The command may outlive its output: it is waited for as long as the script may wait.
    int status = 0;
    for (;;) {
        if (stopped) kill(-pid, SIGKILL);
        const pid_t ended = waitpid(pid, &status, stopped ? 0 : WNOHANG);
        if (ended == pid || (ended < 0 && errno != EINTR)) break;
        if (ended == 0) {
            poll(nullptr, 0, 10);
            stopped = stop();
        }
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    Journal("callSystem", {{"command", command}}, {{"exit", code}, {"stopped", stopped}});
    return ToValidUtf8(output);
}

}  // namespace hostsim
