#pragma once
// Whether any socket on this machine holds a TCP port: a listener, a connection (a plug-in
// serving another controller holds its port through that connection alone) or one closing.
// Pure functions over /proc; any thread.

#include <optional>
#include <string_view>

namespace Cuebridge::Ctl {

// True when a table in the format of /proc/net/tcp or /proc/net/tcp6 lists a socket, in any
// state, whose local port is `port`.
bool TcpTableHoldsPort(std::string_view table, int port);

// Whether a socket of this machine holds `port`, from /proc/net/tcp and /proc/net/tcp6;
// nullopt where neither table can be read (another system), so the caller cannot tell.
std::optional<bool> PortIsHeld(int port);

}  // namespace Cuebridge::Ctl
