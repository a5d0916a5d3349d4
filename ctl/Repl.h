#pragma once
// The interactive prompt: one request a line, with the sub-commands' words, over one
// connection that is re-established if the plug-in drops it. Runs on the calling thread.

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "Commands.h"

namespace Cuebridge::Ctl {

// Returns the next line without its line feed, or nullopt at the end of input.
using LineReader = std::function<std::optional<std::string>()>;

enum class ReplAction { Request, Quit, Help, Nothing, Invalid };

struct ReplLine {
    ReplAction action = ReplAction::Nothing;
    Invocation invocation;
    std::string problem;  // for Invalid
};

// Parses one repl line: language | effects [--raw|--json] | script CODE | script -f FILE |
// command N | info WORD | navigate WORD | send LINE | help | quit | exit.
ReplLine ParseReplLine(const std::string& line);

// Runs until end of input or quit; returns the exit code of the last request (0 if none),
// or 3 if no plug-in could be reached at the start.
int RunRepl(Session& session, const LineReader& readLine, std::ostream& out, std::ostream& err);

}  // namespace Cuebridge::Ctl
