#include "Connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace Cuebridge::Ctl {

Connection::Connection(Connection&& other) noexcept
    : fd_(other.fd_), observer_(std::move(other.observer_)) {
    other.fd_ = -1;
}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.fd_;
        observer_ = std::move(other.observer_);
        other.fd_ = -1;
    }
    return *this;
}

Connection::~Connection() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

namespace {

// Milliseconds left until `deadline`, rounded up; 0 or less once it has passed.
long long MillisecondsLeft(Clock::time_point deadline) {
    return std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
}

// Waits for a non-blocking connect to finish; its errno (0 on success), or ETIMEDOUT.
int FinishConnect(int fd, Clock::time_point deadline) {
    while (true) {
        // Polled at least once, so that an answer already in is seen even at the deadline.
        long long left = std::max<long long>(MillisecondsLeft(deadline), 0);
        pollfd watch{fd, POLLOUT, 0};
        int ready = ::poll(&watch, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready < 0 && errno != EINTR) {
            return errno;
        }
        if (ready == 0 && left == 0) {
            return ETIMEDOUT;
        }
        if (ready > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                return errno;
            }
            return error;
        }
    }
}

}  // namespace

std::optional<Connection> Connection::Open(int port, Clock::time_point deadline,
                                           ConnectStatus& status, int& error) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        status = ConnectStatus::Failed;
        error = errno;
        return std::nullopt;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    error = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno == EINPROGRESS ? FinishConnect(fd, deadline) : errno;
    }
    if (error != 0) {
        status = error == ECONNREFUSED ? ConnectStatus::Refused
                 : error == ETIMEDOUT  ? ConnectStatus::TimedOut
                                       : ConnectStatus::Failed;
        ::close(fd);
        return std::nullopt;
    }
    status = ConnectStatus::Connected;
    return Connection(fd);
}

bool Connection::WriteSome(std::string_view& pending, ExchangeResult& result) {
    ssize_t written = ::send(fd_, pending.data(), pending.size(), MSG_NOSIGNAL);
    if (written < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return true;
        }
        result.status =
            errno == EPIPE || errno == ECONNRESET ? ExchangeStatus::Closed : ExchangeStatus::Failed;
        result.error = errno;
        return false;
    }
    if (observer_) {
        observer_('>', pending.substr(0, static_cast<size_t>(written)));
    }
    pending.remove_prefix(static_cast<size_t>(written));
    return true;
}

bool Connection::ReadSome(ExchangeResult& result, size_t maxReceived) {
    std::array<char, 65536> buffer{};
    // One byte past the bound is enough to know it was crossed.
    size_t room = std::min(buffer.size(), maxReceived - result.received.size() + 1);
    ssize_t n = ::recv(fd_, buffer.data(), room, 0);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return true;
        }
        result.status = errno == ECONNRESET ? ExchangeStatus::Closed : ExchangeStatus::Failed;
        result.error = errno;
        return false;
    }
    if (n == 0) {
        result.status = ExchangeStatus::Closed;
        return false;
    }
    std::string_view chunk(buffer.data(), static_cast<size_t>(n));
    if (observer_) {
        observer_('<', chunk);
    }
    if (result.received.size() + chunk.size() > maxReceived) {
        result.status = ExchangeStatus::TooLarge;
        return false;
    }
    result.received.append(chunk);
    return true;
}

ExchangeResult Connection::Exchange(std::string_view request, std::string_view suffix,
                                    Clock::time_point deadline, size_t maxReceived) {
    ExchangeResult result;
    std::string_view pending = request;
    while (!result.received.ends_with(suffix) || !pending.empty()) {
        long long left = MillisecondsLeft(deadline);
        if (left <= 0) {
            result.status = ExchangeStatus::TimedOut;
            return result;
        }
        pollfd watch{fd_, static_cast<short>(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0};
        int ready = ::poll(&watch, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready < 0 && errno != EINTR) {
            result.status = ExchangeStatus::Failed;
            result.error = errno;
            return result;
        }
        if (ready <= 0) {
            continue;
        }
        if ((watch.revents & POLLOUT) != 0 && !WriteSome(pending, result)) {
            return result;
        }
        if ((watch.revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !ReadSome(result, maxReceived)) {
            return result;
        }
    }
    result.status = ExchangeStatus::Complete;
    return result;
}

bool Connection::PeerHasClosed() const {
    pollfd watch{fd_, POLLIN, 0};
    if (::poll(&watch, 1, 0) <= 0) {
        return false;
    }
    char byte = 0;
    ssize_t n = ::recv(fd_, &byte, 1, MSG_PEEK);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

}  // namespace Cuebridge::Ctl
