// The script environment around the object model: what a script writes ($.writeln, write),
// the dialogs (alert, confirm, prompt) answered without a user, the keyboard's modifier keys,
// the application's settings, scheduled tasks, the process environment, the host's time
// format, the system command and the files of the host's home (EnvironmentFiles.h). No
// project model here: the host reaches it through its Sink. Main thread (the script engine's
// and the main loop's), except where a function says otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "scripting/EnvironmentFiles.h"

namespace hostsim {

// The modifier keys held (and the one other key) as ScriptUI.environment.keyboardState
// shows them.
struct KeyboardState {
    bool shift = false, ctrl = false, alt = false, meta = false;
    std::string keyName;  // empty: no key other than modifiers
};
// "shift,alt", "none" or ""; a name other than shift, ctrl, alt, meta (or cmd, for meta) and
// key:NAME throws std::invalid_argument naming it. Pure.
KeyboardState ParseKeys(std::string_view list);

// What confirm() and prompt() answer, there being no one to click. Unset: the dialog's
// default button (confirm: Yes, or No when the script asks No as the default; prompt: OK
// with the preset text).
struct DialogAnswers {
    std::optional<bool> confirm;
    std::optional<std::optional<std::string>> prompt;  // set to nullopt: Cancel (null)
};

// The project file's "environment" entry: {"keys": "shift,alt" | ["shift"], "dialogs":
// {"confirm": bool, "prompt": text | null}}. Throws std::invalid_argument naming the problem.
struct EnvironmentSetup {
    std::optional<KeyboardState> keys;
    DialogAnswers dialogs;
};
EnvironmentSetup ParseEnvironmentSetup(const nlohmann::json& entry);

// The time display the host's projects start with: timecode "H:MM:SS:FF" (frames at the
// rate rounded up to a whole number, no drop-frame), from frame 0. Pure; ModelError for a
// text that is no timecode or a rate outside 1 to 999.
std::string TimeToTimecode(double seconds, double fps, const char* method);
double TimecodeToTime(std::string_view text, double fps, const char* method);

class ScriptEnvironment {
public:
    // Where what the environment does shows: the journal, the live view, the alerts.
    struct Sink {
        std::function<void(std::string_view to, const std::string& line)> output;
        std::function<void(std::string_view to)> clear;
        std::function<void(const std::string& text)> alert;
        std::function<void(std::string_view call, nlohmann::json args, nlohmann::json result)>
            journal;
    };
    struct Config {
        std::string home;          // the HOME the host was started with; empty: none
        std::string settingsFile;  // empty: settings are kept in memory only
        std::string language = "en_US";
        bool allowCallSystem = false;
    };
    struct Task {
        std::int64_t id = 0;
        std::string text;
        std::int64_t periodMicros = 0;
        bool repeat = false;
        std::int64_t dueMicros = 0;
    };

    ScriptEnvironment(Config config, const EnvironmentSetup& setup);
    void SetSink(Sink sink) { sink_ = std::move(sink); }
    const Config& GetConfig() const { return config_; }
    HomeFiles& Files() { return files_; }

    // ---- Output: one line at a time; an unfinished line waits for its end or the script's.
    // to: "console" ($.write, $.writeln) or "info" (the Info panel: write, writeLn).
    void Write(std::string_view to, std::string_view text);
    void Clear(std::string_view to);
    void EndScript();  // the unfinished lines are written

    // ---- Dialogs: none blocks; each is journaled.
    void Alert(const std::string& text, const std::string& title);
    bool Confirm(const std::string& text, bool noAsDefault, const std::string& title);
    std::optional<std::string> Prompt(const std::string& text, const std::string& preset,
                                      const std::string& title);
    DialogAnswers dialogs;
    KeyboardState keys;
    // The running script must stop (its time limit, quit, a signal): asked by long calls.
    std::function<bool()> stop;

    // ---- Settings (app.settings): text values by type, section and key.
    bool HaveSetting(double type, const std::string& section, const std::string& key) const;
    std::string GetSetting(double type, const std::string& section, const std::string& key) const;
    void SaveSetting(double type, const std::string& section, const std::string& key,
                     const std::string& value);

    // ---- Scheduled tasks (app.scheduleTask): run by the main loop when due.
    std::int64_t Schedule(const std::string& text, double delayMs, bool repeat,
                          std::int64_t nowMicros);
    void Cancel(std::int64_t id);
    std::int64_t NextDue() const;  // monotonic micros; 0: none
    // The tasks due at nowMicros, in due order; a repeating one is due again a period later.
    std::vector<Task> TakeDue(std::int64_t nowMicros);

    // ---- The process environment as scripts see it ($.getenv, $.setenv).
    std::optional<std::string> GetEnv(const std::string& name) const;
    void SetEnv(const std::string& name, const std::string& value);

    // ---- system.callSystem: refused unless allowed; runs /bin/sh -c cmd in the home, gives
    // its output. stop() is asked every few milliseconds; once it is true the command is
    // killed (the script is past its time limit or the host is ending).
    std::string CallSystem(const std::string& command, const std::function<bool()>& stop);

private:
    void Journal(std::string_view call, nlohmann::json args, nlohmann::json result = nullptr);
    void LoadSettings();
    void StoreSettings() const;

    Config config_;
    Sink sink_;
    HomeFiles files_;
    std::map<std::string, std::string, std::less<>> partial_;  // by stream
    std::map<std::tuple<std::int64_t, std::string, std::string>, std::string> settings_;
    std::vector<Task> tasks_;
    std::int64_t nextTask_ = 1;
    std::map<std::string, std::optional<std::string>> envChanges_;
};

}  // namespace hostsim
