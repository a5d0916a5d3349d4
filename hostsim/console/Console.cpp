#include "console/Console.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <nlohmann/json.hpp>
#include <thread>

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

// True while another job of the terminal `tty` holds it in the foreground.
bool InBackground(int tty) {
    const pid_t foreground = tcgetpgrp(tty);
    return foreground >= 0 && foreground != getpgrp();
}

// terminal thread, for the life of the process: copies what is typed into the console's pipe.
// In the background a read fails at once (SIGTTIN is ignored) and is tried again a moment
// later. End of input or a hung-up terminal closes the pipe, which the console reads as its end.
void ForwardTerminal(int tty, int pipe) {
    char buffer[4096];
    for (;;) {
        const auto n = read(tty, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EIO && InBackground(tty)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        if (n <= 0) break;
        for (ssize_t done = 0; done < n;) {
            const auto written = write(pipe, buffer + done, static_cast<std::size_t>(n - done));
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                close(pipe);
                return;
            }
            done += written;
        }
    }
    close(pipe);
}

}  // namespace

// main thread
void ShareTheTerminal() {
    signal(SIGTTOU, SIG_IGN);
    if (isatty(STDIN_FILENO) == 0) return;
    const int tty = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    int ends[2];
    if (tty < 0 || pipe2(ends, O_CLOEXEC) != 0) {
        if (tty >= 0) close(tty);
        return;  // the console reads the terminal itself, as a foreground host may
    }
    signal(SIGTTIN, SIG_IGN);
    dup2(ends[0], STDIN_FILENO);
    close(ends[0]);
    std::thread(ForwardTerminal, tty, ends[1]).detach();
}

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
        answers.push_back(Handle(line));
    }
    return answers;
}

// main thread
std::string Console::Handle(const std::string& line) {
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
    if (verb == "keys") {  // the modifier keys scripts see held from now on
        auto& keys = host_.Environment().keys;
        try {
            keys = ParseKeys(argument);
        } catch (const std::invalid_argument& e) {
            return Problem(std::string("keys: ") + e.what());
        }
        return Dump({{"ok", true},
                     {"keys",
                      {{"shift", keys.shift},
                       {"ctrl", keys.ctrl},
                       {"alt", keys.alt},
                       {"meta", keys.meta},
                       {"keyName", keys.keyName}}}});
    }
    if (verb == "script") {
        const auto outcome = host_.RunScript(argument);
        return Dump(
            {{"ok", outcome.error.empty()}, {"result", outcome.result}, {"error", outcome.error}});
    }
    return Problem("unknown command \"" + verb +
                   "\" (command N, select ID, state, script TEXT, keys LIST, quit)");
}

}  // namespace hostsim
