#include "console/Console.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "console/StateJson.h"
#include "core/Host.h"

namespace hostsim {
namespace {

using nlohmann::json;

std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string Problem(const std::string& text) { return Dump({{"ok", false}, {"error", text}}); }

bool ParseInt32(std::string_view text, std::int32_t& value) {
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

}  // namespace

// main thread
std::vector<std::string> Console::Feed(std::string_view bytes) {
    pending_.append(bytes);
    std::vector<std::string> answers;
    std::size_t newline;
    while ((newline = pending_.find('\n')) != std::string::npos) {
        std::string line = pending_.substr(0, newline);
        pending_.erase(0, newline + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        answers.push_back(Handle(std::move(line)));
    }
    return answers;
}

// main thread
std::string Console::Handle(std::string line) {
    const auto space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
    if (verb == "state") return Dump({{"ok", true}, {"state", StateJson(host_)}});
    if (verb == "quit") {
        host_.RequestQuit();
        return Dump({{"ok", true}, {"quit", true}});
    }
    if (verb == "command") {
        std::int32_t number = 0;
        if (!ParseInt32(argument, number))
            return Problem("command: expected a command number, got \"" + argument + "\"");
        host_.UserCommand(number);
        return Dump({{"ok", true}, {"command", number}});
    }
    if (verb == "select") {
        std::int32_t id = 0;
        if (!ParseInt32(argument, id))
            return Problem("select: expected an item id, got \"" + argument + "\"");
        const std::string problem = host_.UserSelect(id);
        if (!problem.empty()) return Problem(problem);
        return Dump({{"ok", true}, {"selected", id}});
    }
    if (verb == "script") {
        const auto outcome = host_.RunScript(argument);
        return Dump(
            {{"ok", outcome.error.empty()}, {"result", outcome.result}, {"error", outcome.error}});
    }
    return Problem("unknown command \"" + verb +
                   "\" (command N, select ID, state, script TEXT, quit)");
}

}  // namespace hostsim
