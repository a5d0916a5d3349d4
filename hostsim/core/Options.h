// The command line of cuebridge-hostsim. ParseOptions returns the options or, for --help,
// a usage error or a bad value, the exit code to end with (0 for --help, 2 otherwise)
// after printing the reason. main thread.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace hostsim {

struct Options {
    std::string pluginPath;  // empty: ../lib/Cuebridge.so beside the program
    std::string projectFile;
    std::string effectsFile;
    std::string commandsFile;               // empty: the built-in command table
    std::string scriptDialect = "classic";  // or "modern"
    std::string language = "en_US";
    std::string journalFile;
    std::string stampCommandsFile;  // empty: no command stamps (benchmarks use them)
    std::string memberReportFile;   // write the object model's member report here and exit
    std::int64_t idleIntervalMs = 30;
    std::int64_t scriptTimeoutMs = 0;   // 0: no limit
    std::int64_t exitAfterMs = 0;       // 0: run until quit or a signal
    std::int64_t scriptMemoryMb = 512;  // what the script engine's heap may hold at most
    std::int64_t scriptCache = 64;      // compiled texts kept for running again; 0: none
    std::int64_t uiPort = -1;           // the live view's port; 0: any free port; -1: no view
    bool strict = false;
    std::vector<std::pair<std::string, std::int32_t>> refusedSuites;
    std::vector<std::string> failRegister;  // "command", "menu", "idle"
    bool scriptErrorSet = false;
    std::string scriptError;
    std::int32_t scriptCallError = 0;  // AEGP_ExecuteScript returns it, with no text; 0: off

    // The script environment: what confirm() and prompt() answer (unset: the project file's
    // answer, else the dialog's default button), the modifier keys held, whether
    // system.callSystem may run commands, and where app.settings are kept.
    std::string confirmAnswer;  // "", "yes" or "no"
    bool promptSet = false, promptCancel = false;
    std::string promptAnswer;
    bool keysSet = false;
    std::string keys;
    bool allowCallSystem = false;
    std::string settingsFile;
};

std::variant<Options, int> ParseOptions(int argc, char** argv);

// The plug-in built beside the program: <dir of the executable>/../lib/Cuebridge.so.
std::string DefaultPluginPath();

}  // namespace hostsim
