// cuebridge-ctl: talks to a running Cuebridge plug-in from the command line.

#include <editline/readline.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "Commands.h"
#include "PortFile.h"
#include "Protocol.h"
#include "Repl.h"
#include "Verbose.h"

using namespace Cuebridge::Ctl;

namespace {

struct Options {
    int port = 0;
    int timeoutMs = 30000;
    size_t maxReplyMiB = kDefaultMaxReplyMiB;
    bool verbose = false;
    bool effectsRaw = false;
    bool effectsJson = false;
    std::string code;
    std::string scriptFile;
    std::string argument;
};

std::optional<std::string> ReadAll(std::istream& in) {
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The script from CODE, from -f FILE, or from standard input when CODE is "-".
std::optional<std::string> ScriptText(const Options& options) {
    if (!options.scriptFile.empty()) {
        std::ifstream in(options.scriptFile, std::ios::binary);
        if (!in) {
            std::cerr << "cuebridge-ctl: cannot read the script file '" << options.scriptFile
                      << "'\n";
            return std::nullopt;
        }
        return ReadAll(in);
    }
    if (options.code == "-") {
        return ReadAll(std::cin);
    }
    return options.code;
}

LineReader MakeLineReader() {
    if (::isatty(STDIN_FILENO) != 0) {
        return []() -> std::optional<std::string> {
            char* raw = ::readline("cuebridge> ");
            if (raw == nullptr) {
                return std::nullopt;
            }
            std::string line(raw);
            std::free(raw);
            if (!line.empty()) {
                ::add_history(line.c_str());
            }
            return line;
        };
    }
    return []() -> std::optional<std::string> {
        std::string line;
        if (!std::getline(std::cin, line)) {
            return std::nullopt;
        }
        return line;
    };
}

std::optional<Target> ResolveTarget(const Options& options) {
    if (options.port != 0) {
        return Target{options.port, {}};
    }
    std::optional<std::string> path = DefaultPortFilePath();
    if (!path) {
        std::cerr
            << "cuebridge-ctl: HOME is not set, so the port file cannot be found (use --port)\n";
        return std::nullopt;
    }
    return Target{std::nullopt, *path};
}

// Exactly one known sub-command, and nothing the parser did not take.
void CheckSubcommand(CLI::App& app) {
    std::vector<std::string> extras = app.remaining();
    if (app.get_subcommands().empty()) {
        std::string names;
        for (const CLI::App* sub : app.get_subcommands({})) {
            names += (names.empty() ? "" : ", ") + sub->get_name();
        }
        if (!extras.empty() && !extras.front().starts_with("-")) {
            throw CLI::ValidationError("unknown sub-command '" + extras.front() +
                                       "'; the sub-commands are: " + names);
        }
        throw CLI::RequiredError("a sub-command (one of: " + names + ")");
    }
    if (!extras.empty()) {
        throw CLI::ExtrasError(extras);
    }
}

int RunTool(int argc, char** argv) {
    CLI::App app{"Talks to a running Cuebridge plug-in.", "cuebridge-ctl"};
    // Sub-commands are checked below, so that an unknown word can be named as such.
    app.require_subcommand(0, 1);
    app.allow_extras();
    app.fallthrough();
    app.set_version_flag("--version", "cuebridge-ctl " CUEBRIDGE_VERSION);
    Options options;
    app.add_option("--port", options.port,
                   "connect to this port instead of the one in the port file")
        ->check(CLI::Range(1, 65535));
    app.add_option("--timeout-ms", options.timeoutMs,
                   "give up waiting for the plug-in after this long")
        ->check(CLI::Range(1, 24 * 3600 * 1000));
    app.add_option("--max-reply-mib", options.maxReplyMiB,
                   "give up on a reply that grows past this many MiB")
        ->capture_default_str()
        ->check(CLI::Range(size_t{1}, size_t{1} << 20));
    app.add_flag("-v,--verbose", options.verbose, "show the bytes sent and received on stderr");

    auto* wait = app.add_subcommand("wait", "wait until a plug-in is listening");
    app.add_subcommand("language", "print the host's user-interface language");
    auto* effects = app.add_subcommand("effects", "list the installed effects");
    auto* raw = effects->add_flag("--raw", options.effectsRaw, "print the list as received");
    effects->add_flag("--json", options.effectsJson, "print the list as JSON")->excludes(raw);
    auto* script = app.add_subcommand("script", "run ExtendScript and print its result");
    auto* code =
        script->add_option("CODE", options.code, "the script text, or - to read standard input");
    script->add_option("-f,--file", options.scriptFile, "read the script from this file")
        ->excludes(code);
    auto* command = app.add_subcommand("command", "run a host menu command by number");
    command->add_option("N", options.argument, "the menu command number")->required();
    auto* info = app.add_subcommand("info", "an Info panel command");
    info->add_option("WORD", options.argument, "SetInfoText or SetInfoColor")
        ->required()
        ->check(
            CLI::IsMember({Cuebridge::Protocol::kSetInfoText, Cuebridge::Protocol::kSetInfoColor}));
    auto* navigate = app.add_subcommand("navigate", "step the Project panel selection");
    navigate->add_option("WORD", options.argument, "Next or First")
        ->required()
        ->check(
            CLI::IsMember({Cuebridge::Protocol::kSelectNext, Cuebridge::Protocol::kSelectFirst}));
    auto* send = app.add_subcommand("send", "send one raw line and print whatever comes back");
    send->add_option("LINE", options.argument, "the line, e.g. 7|GetAfterEffectLanguage|")
        ->required();
    auto* repl = app.add_subcommand("repl", "an interactive prompt, one request a line");

    try {
        app.parse(argc, argv);
        CheckSubcommand(app);
        if (script->parsed() && options.code.empty() && options.scriptFile.empty()) {
            throw CLI::ValidationError("script", "give CODE, -f FILE or - for standard input");
        }
    } catch (const CLI::ParseError& error) {
        int code = app.exit(error);
        return code == 0 ? kExitSuccess : kExitUsage;
    }

    std::optional<Target> target = ResolveTarget(options);
    if (!target) {
        return kExitNotListening;
    }
    Session session(*target, std::chrono::milliseconds(options.timeoutMs),
                    options.maxReplyMiB << 20);
    session.SetNotice(
        [](const std::string& sentence) { std::cerr << "cuebridge-ctl: " << sentence << "\n"; });
    if (options.verbose) {
        session.SetObserver(VerboseObserver(std::cerr));
    }

    if (wait->parsed()) {
        RequestResult result = session.WaitForListener();
        if (result.outcome != Outcome::Ok) {
            std::cerr << "cuebridge-ctl: " << result.detail << "\n";
        }
        return ExitCodeFor(result.outcome);
    }
    if (repl->parsed()) {
        return RunRepl(session, MakeLineReader(), std::cout, std::cerr);
    }

    Invocation invocation;
    invocation.argument = options.argument;
    if (app.got_subcommand("language")) {
        invocation.verb = Verb::Language;
    } else if (effects->parsed()) {
        invocation.verb = Verb::Effects;
        invocation.effectsFormat =
            options.effectsRaw ? EffectsFormat::Raw
                               : (options.effectsJson ? EffectsFormat::Json : EffectsFormat::Table);
    } else if (script->parsed()) {
        std::optional<std::string> text = ScriptText(options);
        if (!text) {
            return kExitUsage;
        }
        invocation.verb = Verb::Script;
        invocation.argument = std::move(*text);
    } else if (command->parsed()) {
        invocation.verb = Verb::Command;
    } else if (info->parsed()) {
        invocation.verb = Verb::Info;
    } else if (navigate->parsed()) {
        invocation.verb = Verb::Navigate;
    } else if (send->parsed()) {
        invocation.verb = Verb::Send;
    }
    return Execute(session, invocation, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return RunTool(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "cuebridge-ctl: " << error.what() << "\n";
        return kExitRequestFailed;
    }
}
