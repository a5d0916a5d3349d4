#include "Session.h"

#include <cstring>
#include <thread>

#include "PortFile.h"

namespace Cuebridge::Ctl {

namespace {

// How long a missing, stale or half-written port file is given to become good: the plug-in
// rewrites it with a new port shortly after each connection ends.
constexpr std::chrono::milliseconds kConnectGrace{2000};
constexpr std::chrono::milliseconds kConnectRetryPause{10};

}  // namespace

TagSource::TagSource() {
    std::random_device device;
    engine_.seed((static_cast<uint64_t>(device()) << 32) ^ device() ^
                 static_cast<uint64_t>(Clock::now().time_since_epoch().count()));
}

std::string TagSource::Next() {
    static constexpr char kHex[] = "0123456789abcdef";
    uint64_t value = engine_();
    std::string tag(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4) {
        tag[static_cast<size_t>(i)] = kHex[value & 0xF];
    }
    return tag;
}

Session::Session(Target target, std::chrono::milliseconds timeout)
    : target_(std::move(target)), timeout_(timeout) {}

void Session::SetObserver(ByteObserver observer) {
    observer_ = std::move(observer);
    if (connection_) {
        connection_->SetObserver(observer_);
    }
}

std::string Session::DescribeTarget() const {
    if (target_.port) {
        return "no plug-in listening on 127.0.0.1:" + std::to_string(*target_.port);
    }
    PortFileContent content = ReadPortFile(target_.portFilePath);
    switch (content.status) {
        case PortFileStatus::Missing:
            return "no plug-in listening: no port file at " + target_.portFilePath;
        case PortFileStatus::Invalid:
            return "no plug-in listening: the port file " + target_.portFilePath +
                   " does not hold a port number";
        case PortFileStatus::Ok:
            break;
    }
    return "no plug-in listening: nothing accepts connections on port " +
           std::to_string(content.port) + " named by " + target_.portFilePath +
           " (a stale port file: the plug-in is not running, or is still busy with an earlier "
           "connection or script)";
}

RequestResult Session::ConnectUntil(Clock::time_point deadline) {
    while (true) {
        std::optional<int> port = target_.port;
        if (!port) {
            PortFileContent content = ReadPortFile(target_.portFilePath);
            if (content.status == PortFileStatus::Ok) {
                port = content.port;
            }
        }
        if (port) {
            ConnectStatus status = ConnectStatus::Failed;
            int error = 0;
            connection_ = Connection::Open(*port, status, error);
            if (connection_) {
                connection_->SetObserver(observer_);
                return {Outcome::Ok, {}, {}};
            }
            if (status == ConnectStatus::Failed) {
                return {Outcome::Failed,
                        {},
                        "cannot connect to 127.0.0.1:" + std::to_string(*port) + ": " +
                            std::strerror(error)};
            }
        }
        if (Clock::now() + kConnectRetryPause >= deadline) {
            return {Outcome::NotListening, {}, DescribeTarget()};
        }
        std::this_thread::sleep_for(kConnectRetryPause);
    }
}

RequestResult Session::EnsureConnected() {
    if (connection_ && !connection_->PeerHasClosed()) {
        return {Outcome::Ok, {}, {}};
    }
    connection_.reset();
    return ConnectUntil(Clock::now() +
                        std::min(timeout_, std::chrono::milliseconds(kConnectGrace)));
}

RequestResult Session::WaitForListener() {
    connection_.reset();
    RequestResult result = ConnectUntil(Clock::now() + timeout_);
    connection_.reset();
    return result;
}

RequestResult Session::Send(const std::string& line) {
    RequestResult connected = EnsureConnected();
    if (connected.outcome != Outcome::Ok) {
        return connected;
    }
    const std::string endTag = tags_.Next();
    const std::string endMarker = endTag + "|";
    const std::string bytes = line + "\n" + endTag + "|Script|\n";
    ExchangeResult exchange = connection_->Exchange(bytes, endMarker, Clock::now() + timeout_);
    switch (exchange.status) {
        case ExchangeStatus::Complete:
            exchange.received.resize(exchange.received.size() - endMarker.size());
            return {Outcome::Ok, std::move(exchange.received), {}};
        case ExchangeStatus::TimedOut:
            // The connection is now out of step with the replies: never reuse it.
            connection_.reset();
            return {Outcome::TimedOut, std::move(exchange.received),
                    "timed out after " + std::to_string(timeout_.count()) +
                        " ms waiting for the plug-in's reply (a script may still be running)"};
        case ExchangeStatus::Closed:
            connection_.reset();
            return {Outcome::Closed, std::move(exchange.received),
                    "the plug-in closed the connection before answering"};
        case ExchangeStatus::Failed:
            break;
    }
    connection_.reset();
    return {Outcome::Failed, std::move(exchange.received),
            std::string("connection to the plug-in failed: ") + std::strerror(exchange.error)};
}

}  // namespace Cuebridge::Ctl
