#include "core/Options.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>

#include "scripting/Environment.h"

namespace hostsim {
namespace {

// "AEGP Item Suite:14" -> ("AEGP Item Suite", 14); the name may itself hold colons.
bool ParseSuitePair(const std::string& text, std::pair<std::string, std::int32_t>& pair) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
    try {
        std::size_t used = 0;
        const long version = std::stol(text.substr(colon + 1), &used);
        if (used != text.size() - colon - 1 || version < INT32_MIN || version > INT32_MAX)
            return false;
        pair = {text.substr(0, colon), static_cast<std::int32_t>(version)};
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

// The plug-in built beside this program (../lib/Cuebridge.so in the build tree) or, when
// there is none, the installed one (../lib/<arch>/cuebridge/Cuebridge.so under the prefix).
std::string DefaultPluginPath() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "Cuebridge.so";
    const auto built = self.parent_path().parent_path() / "lib" / "Cuebridge.so";
    const auto installed = (self.parent_path() / CUEBRIDGE_INSTALLED_PLUGIN).lexically_normal();
    return (std::filesystem::exists(built, ec) || !std::filesystem::exists(installed, ec)
                ? built
                : installed)
        .string();
}

std::variant<Options, int> ParseOptions(int argc, char** argv) {
    Options options;
    std::vector<std::string> refused;
    CLI::App app{"cuebridge-hostsim: a simulated host that loads the Cuebridge plug-in"};
    app.set_version_flag("--version", "cuebridge-hostsim " CUEBRIDGE_VERSION);
    app.add_option("--plugin", options.pluginPath,
                   "plug-in to load (default: ../lib/Cuebridge.so beside this program, else "
                   "the installed " CUEBRIDGE_INSTALLED_PLUGIN ")");
    app.add_option("--project", options.projectFile,
                   "project file (JSON); default: the built-in demo project");
    app.add_option("--effects", options.effectsFile,
                   "installed-effects file (JSON); default: the built-in list");
    app.add_option("--commands", options.commandsFile,
                   "menu command table (JSON: number, name, action); default: the built-in one");
    app.add_option("--script-dialect", options.scriptDialect,
                   "the scripts' language: classic (the host's: no JSON, Object.keys, "
                   "Array.prototype.map, Date.now and other later additions) or modern (all the "
                   "engine has)")
        ->capture_default_str()
        ->check(CLI::IsMember({"classic", "modern"}));
    app.add_option("--language", options.language,
                   "user-interface language reported to the plug-in")
        ->capture_default_str();
    app.add_option("--journal", options.journalFile,
                   "write one JSON line per host call to this file");
    app.add_option("--stamp-commands", options.stampCommandsFile,
                   "write \"<command> <CLOCK_MONOTONIC ns>\" to this file (or FIFO) as "
                   "AEGP_DoCommand is entered");
    app.add_option("--member-report", options.memberReportFile,
                   "write what the object model models of each member of the host's list "
                   "(JSON, for tools/object-model/table.mjs) to this file, and exit");
    app.add_option("--idle-interval-ms", options.idleIntervalMs, "idle hook period in milliseconds")
        ->capture_default_str()
        ->check(CLI::Range(std::int64_t{1}, std::int64_t{3600000}));
    app.add_option("--script-timeout-ms", options.scriptTimeoutMs,
                   "stop scripts running longer than this (0: no limit)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--script-memory-mb", options.scriptMemoryMb,
                   "the most the script engine may hold, in MiB; a script that needs more ends "
                   "with an out-of-memory error")
        ->capture_default_str()
        ->check(CLI::Range(std::int64_t{4}, std::int64_t{1} << 20));
    app.add_option("--script-cache", options.scriptCache,
                   "how many compiled script texts to keep for running again (0: compile every "
                   "run)")
        ->capture_default_str()
        ->check(CLI::Range(std::int64_t{0}, std::int64_t{4096}));
    app.add_option("--exit-after-ms", options.exitAfterMs,
                   "end the run after this time (0: run until quit)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--ui", options.uiPort,
                   "serve a live view of the host on 127.0.0.1:PORT (0: any free port); the URL "
                   "is printed on stderr")
        ->check(CLI::Range(std::int64_t{0}, std::int64_t{65535}));
    app.add_flag("--strict", options.strict, "exit with code 3 if any thread violation happened");
    app.add_option("--refuse-suite", refused, "refuse this suite, as NAME:VERSION (repeatable)");
    app.add_option("--fail-register", options.failRegister,
                   "refuse this hook registration (repeatable)")
        ->check(CLI::IsMember({"command", "menu", "idle"}));
    auto* scriptError = app.add_option("--script-error", options.scriptError,
                                       "every script fails with this error text");
    app.add_option("--script-call-error", options.scriptCallError,
                   "AEGP_ExecuteScript fails with this error code and no text (0: off)");
    app.add_option("--confirm", options.confirmAnswer,
                   "what scripts' confirm() answers (default: its default button, Yes unless "
                   "the script asks No as the default)")
        ->check(CLI::IsMember({"yes", "no"}));
    auto* prompt = app.add_option("--prompt", options.promptAnswer,
                                  "what scripts' prompt() answers (default: its preset text)");
    app.add_flag("--prompt-cancel", options.promptCancel,
                 "scripts' prompt() answers null, as when Cancel is clicked");
    auto* keys = app.add_option("--keys", options.keys,
                                "modifier keys held, as ScriptUI.environment.keyboardState shows "
                                "them: shift,ctrl,alt,meta (or none)");
    app.add_flag("--allow-call-system", options.allowCallSystem,
                 "let scripts run shell commands with system.callSystem (as the user running "
                 "the host: only for scripts you trust)");
    app.add_option("--settings", options.settingsFile,
                   "keep app.settings in this file (read at start, written at each save); "
                   "default: in memory for the host's life");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    for (const auto& text : refused) {
        std::pair<std::string, std::int32_t> pair;
        if (!ParseSuitePair(text, pair)) {
            std::cerr << "cuebridge-hostsim: --refuse-suite " << text
                      << ": expected NAME:VERSION\n";
            return 2;
        }
        options.refusedSuites.push_back(pair);
    }
    options.scriptErrorSet = scriptError->count() > 0;
    options.promptSet = prompt->count() > 0;
    options.keysSet = keys->count() > 0;
    try {
        if (options.keysSet) ParseKeys(options.keys);
    } catch (const std::invalid_argument& e) {
        std::cerr << "cuebridge-hostsim: --keys: " << e.what() << "\n";
        return 2;
    }
    if (options.pluginPath.empty()) options.pluginPath = DefaultPluginPath();
    return options;
}

}  // namespace hostsim
