// ConnectTo: one connect to 127.0.0.1:port for tests, given up after timeoutMs (-1: as long
// as the system tries); the descriptor, or -1 when the connect fails. Any thread.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

inline int ConnectTo(int port, int timeoutMs = -1) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int error = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
        pollfd writable{fd, POLLOUT, 0};
        socklen_t length = sizeof error;
        if (poll(&writable, 1, timeoutMs) != 1 ||
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = ETIMEDOUT;
    }
    if (error == 0 && fcntl(fd, F_SETFL, 0) == 0) return fd;  // blocking again
    close(fd);
    return -1;
}
