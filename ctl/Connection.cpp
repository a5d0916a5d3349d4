#include "Connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

std::optional<Connection> Connection::Open(int port, ConnectStatus& status, int& error) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        status = ConnectStatus::Failed;
        error = errno;
        return std::nullopt;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // A loopback connect completes (or is refused) at once, so it is made blocking.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        status = error == ECONNREFUSED ? ConnectStatus::Refused : ConnectStatus::Failed;
        ::close(fd);
        return std::nullopt;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    status = ConnectStatus::Connected;
    error = 0;
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

bool Connection::ReadSome(ExchangeResult& result) {
    std::array<char, 65536> buffer{};
    ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
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
    result.received.append(chunk);
    return true;
}

ExchangeResult Connection::Exchange(std::string_view request, std::string_view suffix,
                                    Clock::time_point deadline) {
    ExchangeResult result;
    std::string_view pending = request;
    while (!result.received.ends_with(suffix) || !pending.empty()) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
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
        if ((watch.revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !ReadSome(result)) {
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
