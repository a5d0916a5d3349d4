#include "Session.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <thread>

#include "PortFile.h"
#include "Protocol.h"

namespace Cuebridge::Ctl {

namespace {

// How long a missing or half-written port file is given to become good: the plug-in rewrites
// it with a new port shortly after each connection ends.
constexpr std::chrono::milliseconds kPortFileGrace{2000};
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

Session::Session(Target target, std::chrono::milliseconds timeout, size_t maxReplyBytes)
    : target_(std::move(target)), timeout_(timeout), maxReplyBytes_(maxReplyBytes) {}

void Session::SetObserver(ByteObserver observer) {
    observer_ = std::move(observer);
    if (connection_) {
        connection_->SetObserver(observer_);
    }
}

namespace {

std::string Milliseconds(Clock::duration duration) {
    return std::to_string(std::chrono::round<std::chrono::milliseconds>(duration).count()) + " ms";
}

// Why nothing could be reached through the port file, given what reading it last gave.
std::string DescribePortFile(const std::string& path, const PortFileContent& content) {
    switch (content.status) {
        case PortFileStatus::Missing: {
            std::string text = "no plug-in listening: no port file at " + path;
            std::optional<std::string> folder = MissingFolderOf(path);
            if (folder && *folder == std::filesystem::path(path).parent_path()) {
                text += " (its folder does not exist either: no plug-in has run under this HOME)";
            } else if (folder) {
                text += " (the folder " + *folder +
                        " does not exist; the plug-in creates only the last folder of that path, "
                        "so it cannot publish its port until the rest is created)";
            }
            return text;
        }
        case PortFileStatus::Invalid:
            return "no plug-in listening: the port file " + path + " does not hold a port number";
        case PortFileStatus::NotRegular:
            return "no plug-in listening: " + path +
                   " is not a regular file, so it is not read as the port file";
        case PortFileStatus::Ok:
            break;
    }
    return {};
}

}  // namespace

RequestResult Session::ConnectUntil(Clock::time_point deadline, std::chrono::milliseconds grace) {
    const Clock::time_point start = Clock::now();
    Clock::time_point unreadableSince = start;
    PortFileContent content{PortFileStatus::Ok, target_.port.value_or(0)};
    ConnectStatus status = ConnectStatus::Refused;
    while (true) {
        if (!target_.port) {
            content = ReadPortFile(target_.portFilePath);
        }
        if (content.status == PortFileStatus::Ok) {
            unreadableSince = Clock::now();
            int error = 0;
            connection_ = Connection::Open(content.port, deadline, status, error);
            if (connection_) {
                connection_->SetObserver(observer_);
                return {Outcome::Ok, {}, {}};
            }
            if (status == ConnectStatus::Failed) {
                return {Outcome::Failed,
                        {},
                        "cannot connect to 127.0.0.1:" + std::to_string(content.port) + ": " +
                            std::strerror(error)};
            }
        }
        const Clock::time_point now = Clock::now();
        const bool graceOver =
            content.status != PortFileStatus::Ok && now - unreadableSince >= grace;
        if (graceOver || now >= deadline) {
            break;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(kConnectRetryPause, deadline - now));
    }
    const std::string waited = Milliseconds(Clock::now() - start);
    if (content.status != PortFileStatus::Ok) {
        return {Outcome::NotListening,
                {},
                DescribePortFile(target_.portFilePath, content) + " (waited " + waited + ")"};
    }
    const std::string where =
        target_.port ? "127.0.0.1:" + std::to_string(content.port)
                     : "port " + std::to_string(content.port) + " named by " + target_.portFilePath;
    const std::string what =
        status == ConnectStatus::TimedOut
            ? "; the connect was still pending (something listens there but does not accept)"
            : "; it refused every attempt (another controller holds the plug-in, or the plug-in "
              "is not running and the port file is stale)";
    return {Outcome::NotListening,
            {},
            "no plug-in accepted a connection: waited " + waited + " for " + where + what};
}

RequestResult Session::EnsureConnected() {
    if (connection_ && !connection_->PeerHasClosed()) {
        return {Outcome::Ok, {}, {}};
    }
    connection_.reset();
    return ConnectUntil(Clock::now() + timeout_, kPortFileGrace);
}

RequestResult Session::WaitForListener() {
    connection_.reset();
    RequestResult result = ConnectUntil(Clock::now() + timeout_, timeout_);
    connection_.reset();
    return result;
}

RequestResult Session::Send(const std::string& line) {
    RequestResult connected = EnsureConnected();
    if (connected.outcome != Outcome::Ok) {
        return connected;
    }
    const std::string endTag = tags_.Next();
    const std::string endMarker = endTag + Protocol::kFieldSeparator;
    const std::string bytes =
        line + Protocol::kMessageEnd + Protocol::FormatRequest(endTag, Protocol::kScript);
    ExchangeResult exchange =
        connection_->Exchange(bytes, endMarker, Clock::now() + timeout_, maxReplyBytes_);
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
        case ExchangeStatus::TooLarge:
            // The rest of the reply is still on its way: the connection cannot be reused.
            connection_.reset();
            return {Outcome::TooLarge,
                    {},
                    "the reply exceeded " + std::to_string(maxReplyBytes_ >> 20) +
                        " MiB without ending; nothing was printed (raise the bound with "
                        "--max-reply-mib if the reply is expected to be that large)"};
        case ExchangeStatus::Failed:
            break;
    }
    connection_.reset();
    return {Outcome::Failed, std::move(exchange.received),
            std::string("connection to the plug-in failed: ") + std::strerror(exchange.error)};
}

}  // namespace Cuebridge::Ctl
