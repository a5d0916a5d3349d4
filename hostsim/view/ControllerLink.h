// The controller connection as the view shows it. The host takes no part in it (the
// plug-in owns the socket), so it is read from two places the plug-in leaves: the port file
// it publishes under HOME, and this process's own TCP sockets (/proc/self/fd matched
// against /proc/self/net/tcp and tcp6): a listening socket on that port means "listening",
// an established one whose local port is that port means "connected". A port file that no
// socket of this process backs (left by a killed host) shows as "stale". Any thread.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace hostsim {

// The port file under the given home folder.
std::string ControllerPortFile(const std::string& home);

// {"state": "listening" | "connected" | "stale" | "none", "port": N or null, and with a
// port "published": the file's modification time in microseconds since the epoch}
nlohmann::json ReadControllerLink(const std::string& portFile);

}  // namespace hostsim
