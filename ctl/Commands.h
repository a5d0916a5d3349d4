#pragma once
// The client's requests (language, effects, script, command, info, navigate, send): building
// each message, sending it through a Session and turning the reply into output and an exit
// code. Shared by the command line and the repl; called by the thread that owns the Session.

#include <optional>
#include <ostream>
#include <string>

#include "Session.h"

namespace Cuebridge::Ctl {

enum ExitCode : int {
    kExitSuccess = 0,
    kExitRequestFailed =
        1,  // a script error came back, or the reply was not what the request expects
    kExitUsage = 2,
    kExitNotListening = 3,  // no plug-in listening, or it dropped the connection
    kExitTimedOut = 4,
    kExitReplyTooLarge = 5,  // the reply grew past the bound without ending
};

enum class Verb { Language, Effects, Script, Command, Info, Navigate, Send };
enum class EffectsFormat { Table, Raw, Json };

struct Invocation {
    Verb verb = Verb::Language;
    std::string argument;  // script text, command number, Info panel word, step word or raw line
    EffectsFormat effectsFormat = EffectsFormat::Table;
};

// Makes a script fit in one message: CR LF and LF become CR, which ExtendScript also reads as
// a line end. Returns nullopt and a reason when the text holds a zero byte.
std::optional<std::string> ScriptToArgument(std::string script, std::string& problem);

// Sends the request and writes the result to `out` (with one line feed after it), problems to
// `err`. Returns the exit code.
int Execute(Session& session, const Invocation& invocation, std::ostream& out, std::ostream& err);

int ExitCodeFor(Outcome outcome);

}  // namespace Cuebridge::Ctl
