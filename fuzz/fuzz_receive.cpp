// Fuzzes the receive path: bytes split into receives in any way, through message
// assembly, field splitting and dispatch, with a fake dispatcher that records what it
// got and replies over a socket pair. What arrives is checked against a small model of
// the wire format: a line feed ends a message and nothing else does (a pause between
// receives never does; an unterminated last piece is a message when the peer closes), a
// message without '|' or with a zero byte is not dispatched (and stops
// nothing after it), the first two bars cut the fields, and an over-long message is
// dropped up to its line feed. The assembler is also run alone with a tiny size bound.
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "MarluneSocket.h"

namespace {

using Fields = std::vector<std::string>;

// One step of a connection: a receive of some bytes, or a pause between receives, which
// must change nothing (the bytes after it continue the message under way).
struct Step {
    bool pause = false;
    std::string bytes;
};

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "receive path: %s\n", what);
    abort();
}

std::vector<Step> ReadSteps(FuzzedDataProvider& input) {
    std::vector<Step> steps;
    while (input.remaining_bytes() > 0) {
        const auto kind = input.ConsumeIntegral<uint8_t>();
        if (kind < 16) {
            steps.push_back({true, {}});
            continue;
        }
        steps.push_back({false, input.ConsumeBytesAsString(kind)});
    }
    return steps;
}

// The model: messages as the wire format defines them, given a size bound.
std::vector<std::string> ModelMessages(const std::vector<Step>& steps, std::size_t bound) {
    std::vector<std::string> messages;
    std::string current;
    bool overLong = false;  // the current message went over the bound: drop to its line feed
    auto end = [&] {
        if (!overLong) messages.push_back(current);
        current.clear();
        overLong = false;
    };
    for (const Step& step : steps) {
        if (step.pause) continue;
        for (char c : step.bytes) {
            if (c == '\n') {
                end();
            } else if (!overLong) {
                current.push_back(c);
                if (current.size() > bound) {
                    overLong = true;
                    current.clear();
                }
            }
        }
    }
    if (!current.empty() && !overLong) messages.push_back(current);  // the peer closes
    return messages;
}

// A message the dispatcher gets: one with a bar and without a zero byte.
bool Dispatched(const std::string& message) {
    return message.find('|') != std::string::npos && message.find('\0') == std::string::npos;
}

Fields ModelFields(const std::string& message) {
    const auto first = message.find('|');
    const auto second = message.find('|', first + 1);
    if (second == std::string::npos) return {message.substr(0, first), message.substr(first + 1)};
    return {message.substr(0, first), message.substr(first + 1, second - first - 1),
            message.substr(second + 1)};
}

// The fake dispatcher's reply: empty for an empty keyword (nothing must be sent).
std::string ReplyFor(const Fields& fields) {
    if (fields[1].empty()) return {};
    std::string reply = fields[0] + "|" + std::to_string(fields.size());
    for (const auto& field : fields) reply += ":" + std::to_string(field.size());
    return reply;
}

// A request line names its protocol; every HTTP/1.1 request carries a Host header.
bool LooksLikeHttp(const std::string& message) {
    return message.find(" HTTP/") != std::string::npos ||
           (message.size() >= 5 && strncasecmp(message.c_str(), "host:", 5) == 0);
}

class RecordingSocket : public Cuebridge::MarluneSocket {
public:
    RecordingSocket() {
        SetDispatcher([this](Fields fields) {
            if (fields.size() < 2 || fields.size() > 3) Fail("field count out of range");
            std::string reply = ReplyFor(fields);
            dispatched.push_back(std::move(fields));
            return reply;
        });
    }
    std::string ProcessMessage(std::string) override { return {}; }
    std::vector<Fields> dispatched;
};

// A socket pair whose far end collects every reply written to the near end.
struct ReplyChannel {
    ReplyChannel() {
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) Fail("socketpair");
        fcntl(fds[1], F_SETFL, O_NONBLOCK);
    }
    std::string Drain() const {
        std::string got;
        static char buffer[65536];  // not on the stack: poisoning its redzones costs more
        for (ssize_t n; (n = read(fds[1], buffer, sizeof buffer)) > 0;)
            got.append(buffer, static_cast<std::size_t>(n));
        return got;
    }
    int fds[2];
};

void CheckSocket(const std::vector<Step>& steps) {
    static const ReplyChannel channel;  // one for the whole run; drained every input
    // Fresh framing state for every connection, built in the same place each time: the
    // object holds the 128 KiB receive buffer, whose allocation (a mapping of its own)
    // and first touch would otherwise cost more than the whole check.
    alignas(RecordingSocket) static unsigned char storage[sizeof(RecordingSocket)];
    static RecordingSocket* socket = nullptr;
    if (socket != nullptr) socket->~RecordingSocket();
    socket = new (storage) RecordingSocket;

    std::string replies;
    bool open = true;
    std::size_t drainedAfter = 0;  // dispatches whose replies have been collected
    for (const Step& step : steps) {
        if (step.pause) continue;  // the socket thread just waits for the next receive
        open = socket->HandleReceived(channel.fds[0], step.bytes);
        if (socket->dispatched.size() != drainedAfter) {  // only a dispatch can reply
            replies += channel.Drain();
            drainedAfter = socket->dispatched.size();
        }
        if (!open) break;
    }
    if (open) open = socket->HandlePendingTail(channel.fds[0]);  // the peer closes
    replies += channel.Drain();

    std::vector<Fields> expected;
    std::string expectedReplies;
    const auto messages = ModelMessages(steps, Cuebridge::MessageAssembler::kMaxMessageSize);
    std::size_t handled = 0;
    for (; handled < messages.size() && expected.size() < socket->dispatched.size(); ++handled) {
        if (!Dispatched(messages[handled])) continue;
        expected.push_back(ModelFields(messages[handled]));
        expectedReplies += ReplyFor(expected.back());
    }
    if (socket->dispatched != expected) Fail("dispatched fields differ from the model");
    if (replies != expectedReplies) Fail("replies differ from what the dispatcher returned");
    if (open) {
        // Every valid message must have been dispatched.
        for (; handled < messages.size(); ++handled)
            if (Dispatched(messages[handled])) Fail("a message was lost");
    } else {
        // Refused: only an HTTP-looking line among the rest may have closed the connection.
        bool http = false;
        for (; handled < messages.size() && !http; ++handled)
            http = messages[handled].find('\0') == std::string::npos &&
                   LooksLikeHttp(messages[handled]);
        if (!http) Fail("connection closed without an HTTP request");
    }
}

void CheckAssembler(const std::vector<Step>& steps, std::size_t bound) {
    Cuebridge::MessageAssembler assembler(bound);
    std::vector<std::string> got;
    auto collect = [&](std::string_view message) {
        got.emplace_back(message);
        return true;
    };
    for (const Step& step : steps)
        if (!step.pause) assembler.Feed(step.bytes, collect);
    assembler.FlushTail(collect);  // the peer closes
    if (got != ModelMessages(steps, bound)) Fail("assembled messages differ from the model");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t bound = 1 + input.ConsumeIntegralInRange<std::size_t>(0, 63);
    const std::vector<Step> steps = ReadSteps(input);
    CheckAssembler(steps, bound);
    CheckSocket(steps);
    return 0;
}
