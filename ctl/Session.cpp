#include "Session.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <thread>

#include "PortFile.h"
#include "PortHolders.h"
#include "Protocol.h"

namespace Cuebridge::Ctl {

namespace {

// How long a missing or half-written port file is given to become good: the plug-in rewrites
// it with a new port shortly after each connection ends.
constexpr std::chrono::milliseconds kPortFileGrace{2000};
constexpr std::chrono::milliseconds kConnectRetryPause{10};
// A refused port that nothing holds is looked at again after this pause before it is reported:
// the plug-in removes its file a moment after the connection it served ends.
constexpr std::chrono::milliseconds kStaleConfirmPause{50};
// How long a refused connect is retried silently before the user is told why it waits.
constexpr std::chrono::milliseconds kWaitingNoticeAfter{1000};

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

void Session::SetNotice(Notice notice) { notice_ = std::move(notice); }

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
            if (!folder) {
                text +=
                    " (its folder is there: a plug-in ran under this HOME, but none has "
                    "published its port now)";
            } else if (*folder == std::filesystem::path(path).parent_path()) {
                text +=
                    " yet: no plug-in has published its port under this HOME (the plug-in "
                    "makes the file's folder when it starts, and that is not there yet)";
            } else {
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

// "12 s", "5 min", "3 h" or "2 days": how long ago a file was written, for a person.
std::string Age(std::chrono::seconds age) {
    const long long s = std::max<long long>(age.count(), 0);
    if (s < 120) return std::to_string(s) + " s";
    if (s < 2LL * 3600) return std::to_string(s / 60) + " min";
    if (s < 2LL * 86400) return std::to_string(s / 3600) + " h";
    return std::to_string(s / 86400) + " days";
}

// True when the port file still names `port` and nothing on the machine holds that port
// a short moment later (so a plug-in between two listening cycles is not taken for gone).
bool StaysUnheld(const std::string& path, int port) {
    std::this_thread::sleep_for(kStaleConfirmPause);
    const PortFileContent again = ReadPortFile(path);
    return again.status == PortFileStatus::Ok && again.port == port &&
           PortIsHeld(port) == std::optional<bool>(false);
}

}  // namespace

RequestResult Session::ConnectUntil(Clock::time_point deadline, std::chrono::milliseconds grace) {
    const Clock::time_point start = Clock::now();
    Clock::time_point unreadableSince = start;
    PortFileContent content{PortFileStatus::Ok, target_.port.value_or(0)};
    ConnectStatus status = ConnectStatus::Refused;
    bool noticeGiven = false;
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
            // Refused: a plug-in serving another controller still holds its port through that
            // connection; when no socket holds it, the plug-in that wrote the file is gone or
            // still carrying out an earlier controller's request (it listens again after).
            // Where the system's socket tables cannot be read, the port counts as held.
            if (!target_.port && status == ConnectStatus::Refused &&
                PortIsHeld(content.port) == std::optional<bool>(false) &&
                StaysUnheld(target_.portFilePath, content.port)) {
                const std::optional<std::chrono::seconds> age = PortFileAge(target_.portFilePath);
                return {Outcome::NotListening,
                        {},
                        "no plug-in listening: nothing on this machine listens on port " +
                            std::to_string(content.port) + ", named by the port file " +
                            target_.portFilePath + (age ? " (written " + Age(*age) + " ago)" : "") +
                            ": the plug-in that wrote it is not running, or is still busy with "
                            "an earlier request (it listens again once that is done)"};
            }
            if (!noticeGiven && notice_ && status == ConnectStatus::Refused &&
                Clock::now() - start >= kWaitingNoticeAfter) {
                noticeGiven = true;
                notice_("waiting for another controller to let go of the plug-in (port " +
                        std::to_string(content.port) + " refuses connections but is held)");
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
            : "; it refused every attempt (another controller holds the plug-in, or nothing "
              "listens there: the plug-in is not running or still busy with an earlier request)";
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
