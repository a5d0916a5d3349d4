// ConnectTo: one connect to 127.0.0.1:port for tests, given up after timeoutMs (-1: as long
// as the system tries); the descriptor, or -1 when the connect fails. ReadFrom: up to n
// bytes, until the peer closes or nothing comes for 5 s. ExpectReply: one exchange on a
// connection of its own, then closed (a gtest check). ListeningSockets: the TCP sockets
// a process listens on, as (address as /proc shows it, 0100007F the loopback; port). Any
// thread.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

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

inline std::string ReadFrom(int fd, std::size_t n = std::string::npos) {
    std::string got;
    char buffer[4096];
    pollfd readable{fd, POLLIN, 0};
    for (ssize_t r; got.size() < n && poll(&readable, 1, 5000) > 0 &&
                    (r = recv(fd, buffer, std::min(sizeof buffer, n - got.size()), 0)) > 0;)
        got.append(buffer, static_cast<std::size_t>(r));
    return got;
}

inline void ExpectReply(int port, const std::string& request, const std::string& reply) {
    const int fd = ConnectTo(port, 2000);
    ASSERT_GE(fd, 0) << "port " << port << " refused";
    ASSERT_EQ(send(fd, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
    EXPECT_EQ(ReadFrom(fd, reply.size()), reply);
    close(fd);
}

inline std::set<std::pair<std::string, int>> ListeningSockets(const std::string& pid = "self") {
    std::set<std::string> inodes;
    std::error_code gone;  // descriptors come and go while the folder is read
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + pid + "/fd", gone)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), gone).string();
        if (target.starts_with("socket:[")) inodes.insert(target.substr(8, target.size() - 9));
    }
    std::set<std::pair<std::string, int>> sockets;
    std::ifstream table("/proc/" + pid + "/net/tcp");
    std::string line, slot, local, remote, state, skip, inode;
    for (std::getline(table, line); std::getline(table, line);) {
        std::istringstream(line) >> slot >> local >> remote >> state >> skip >> skip >> skip >>
            skip >> skip >> inode;
        if (state == "0A" && inodes.count(inode))
            sockets.emplace(local.substr(0, 8), std::stoi(local.substr(9), nullptr, 16));
    }
    return sockets;
}
