// The host's console: one command a line on standard input, one JSON line answer each.
// Commands: "command N", "select ID", "state", "script TEXT", "keys LIST" (the modifier keys
// scripts see held: "shift,alt", "none"), "quit". Feed() takes raw
// bytes, keeps an unfinished line for later, and returns the answers. main thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hostsim {

class Host;

// Keeps the host from being stopped by its terminal. When standard input is a terminal, it
// becomes a pipe fed from the terminal only while the host is the terminal's foreground job: a
// host started in the background of an interactive shell (`cuebridge-hostsim &`) reads nothing
// (instead of being stopped at its first read) and reads its console once brought to the
// foreground (`fg`). Writes to the terminal from the background go through. Nothing else
// changes when standard input is not a terminal. main thread, once, before the console is read.
void ShareTheTerminal();

class Console {
public:
    explicit Console(Host& host) : host_(host) {}
    std::vector<std::string> Feed(std::string_view bytes);
    std::string Handle(const std::string& line);

private:
    Host& host_;
    std::string pending_;
};

}  // namespace hostsim
