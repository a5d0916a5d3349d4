// The live view's HTTP server: cpp-httplib's server with each connection read through a
// BoundedStream, so that a request's head is bounded while it is read (the library's own
// connection loop reads a whole head, however long, before any handler can look at it).
// Keeps the library's keep-alive rules (at most keep_alive_max_count requests, each awaited
// for keep_alive_timeout) and ends a waiting connection soon after stop().
#pragma once

#include <httplib.h>

#include "view/BoundedStream.h"

namespace hostsim {

class BoundedServer final : public httplib::Server {
public:
    explicit BoundedServer(HeadLimits limits) : limits_(limits) {}

private:
    // server threads: serves one connection, then closes it.
    bool process_and_close_socket(socket_t socket) override;

    const HeadLimits limits_;
};

}  // namespace hostsim
