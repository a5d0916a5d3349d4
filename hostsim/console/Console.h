// The host's console: one command a line on standard input, one JSON line answer each.
// Commands: "command N", "select ID", "state", "script TEXT", "quit". Feed() takes raw
// bytes, keeps an unfinished line for later, and returns the answers. main thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hostsim {

class Host;

class Console {
public:
    explicit Console(Host& host) : host_(host) {}
    std::vector<std::string> Feed(std::string_view bytes);
    std::string Handle(std::string line);

private:
    Host& host_;
    std::string pending_;
};

}  // namespace hostsim
