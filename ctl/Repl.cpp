#include "Repl.h"

#include <fstream>
#include <sstream>

namespace Cuebridge::Ctl {

namespace {

constexpr const char* kReplHelp =
    "language                      the host's user-interface language\n"
    "effects [--raw|--json]        the installed effects\n"
    "script CODE | script -f FILE  run ExtendScript and print its result\n"
    "command N                     run host menu command N\n"
    "info SetInfoText|SetInfoColor an Info panel command\n"
    "navigate Next|First           step the Project panel selection\n"
    "send LINE                     send one raw line, print what comes back\n"
    "help, quit\n";

// Splits "word rest" at the first space; the rest keeps its inner spacing.
std::pair<std::string, std::string> SplitFirstWord(const std::string& line) {
    size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) {
        return {};
    }
    size_t end = line.find(' ', start);
    if (end == std::string::npos) {
        return {line.substr(start), {}};
    }
    return {line.substr(start, end - start), line.substr(end + 1)};
}

std::string Trim(const std::string& text) {
    size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) {
        return {};
    }
    return text.substr(start, text.find_last_not_of(' ') - start + 1);
}

ReplLine Invalid(std::string problem) { return {ReplAction::Invalid, {}, std::move(problem)}; }

ReplLine Request(Verb verb, std::string argument, EffectsFormat format = EffectsFormat::Table) {
    return {ReplAction::Request, {verb, std::move(argument), format}, {}};
}

ReplLine ParseScript(const std::string& rest) {
    auto [first, path] = SplitFirstWord(rest);
    if (first != "-f") {
        return rest.empty() ? Invalid("script needs code: script CODE or script -f FILE")
                            : Request(Verb::Script, rest);
    }
    std::ifstream in(Trim(path), std::ios::binary);
    if (!in) {
        return Invalid("cannot read the script file '" + Trim(path) + "'");
    }
    std::ostringstream content;
    content << in.rdbuf();
    return Request(Verb::Script, content.str());
}

ReplLine ParseEffects(const std::string& rest) {
    const std::string option = Trim(rest);
    if (option.empty()) {
        return Request(Verb::Effects, {}, EffectsFormat::Table);
    }
    if (option == "--raw") {
        return Request(Verb::Effects, {}, EffectsFormat::Raw);
    }
    if (option == "--json") {
        return Request(Verb::Effects, {}, EffectsFormat::Json);
    }
    return Invalid("effects takes --raw or --json, not '" + option + "'");
}

}  // namespace

ReplLine ParseReplLine(const std::string& line) {
    auto [word, rest] = SplitFirstWord(line);
    if (word.empty()) {
        return {};
    }
    if (word == "quit" || word == "exit") {
        return {ReplAction::Quit, {}, {}};
    }
    if (word == "help") {
        return {ReplAction::Help, {}, {}};
    }
    if (word == "language") {
        return Request(Verb::Language, {});
    }
    if (word == "effects") {
        return ParseEffects(rest);
    }
    if (word == "script") {
        return ParseScript(rest);
    }
    if (word == "send") {
        return Request(Verb::Send, rest);
    }
    if (word == "command") {
        return Request(Verb::Command, Trim(rest));
    }
    if (word == "info") {
        return Request(Verb::Info, Trim(rest));
    }
    if (word == "navigate") {
        return Request(Verb::Navigate, Trim(rest));
    }
    return Invalid("unknown request '" + word + "' (try help)");
}

int RunRepl(Session& session, const LineReader& readLine, std::ostream& out, std::ostream& err) {
    RequestResult connected = session.EnsureConnected();
    if (connected.outcome != Outcome::Ok) {
        err << "cuebridge-ctl: " << connected.detail << "\n";
        return ExitCodeFor(connected.outcome);
    }
    int lastCode = kExitSuccess;
    while (std::optional<std::string> line = readLine()) {
        ReplLine parsed = ParseReplLine(*line);
        switch (parsed.action) {
            case ReplAction::Quit:
                return lastCode;
            case ReplAction::Help:
                out << kReplHelp;
                break;
            case ReplAction::Nothing:
                break;
            case ReplAction::Invalid:
                err << "cuebridge-ctl: " << parsed.problem << "\n";
                lastCode = kExitUsage;
                break;
            case ReplAction::Request:
                lastCode = Execute(session, parsed.invocation, out, err);
                break;
        }
        out.flush();
    }
    return lastCode;
}

}  // namespace Cuebridge::Ctl
