#include "view/BoundedServer.h"

#include <sys/socket.h>
#include <unistd.h>

namespace hostsim {

// server threads
bool BoundedServer::process_and_close_socket(socket_t socket) {
    const auto ms = [](time_t sec, time_t usec) {
        return static_cast<int>(sec * 1000 + usec / 1000);
    };
    BoundedStream stream(socket, limits_, ms(read_timeout_sec_, read_timeout_usec_),
                         ms(write_timeout_sec_, write_timeout_usec_));
    bool served = false;
    for (std::size_t left = keep_alive_max_count_; left > 0; --left) {
        const bool arrived = stream.WaitForRequest(ms(keep_alive_timeout_sec_, 0),
                                                   [this] { return svr_sock_ != INVALID_SOCKET; });
        if (!arrived) break;
        stream.BeginRequest();
        bool closed = false;
        served = process_request(stream, left == 1, closed, nullptr);
        if (!served || closed || stream.Refused()) break;
    }
    shutdown(socket, SHUT_RDWR);
    close(socket);
    return served;
}

}  // namespace hostsim
