#pragma once
// One TCP connection to the plug-in on the loopback address. The owner (one thread at a
// time) writes a batch of messages and reads the stream until it ends with a known text;
// reading and writing are interleaved with poll, so a large reply never blocks a large request.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace Cuebridge::Ctl {

using Clock = std::chrono::steady_clock;

enum class ConnectStatus { Connected, Refused, TimedOut, Failed };

enum class ExchangeStatus { Complete, TimedOut, Closed, TooLarge, Failed };

struct ExchangeResult {
    ExchangeStatus status = ExchangeStatus::Failed;
    std::string received;  // every byte read, including the final suffix when Complete
    int error = 0;         // errno when Failed
};

// Called with '>' for bytes written and '<' for bytes read, as they go.
using ByteObserver = std::function<void(char direction, std::string_view bytes)>;

class Connection {
public:
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Connection(Connection&& other) noexcept;
    Connection& operator=(Connection&& other) noexcept;
    ~Connection();

    // Connects to 127.0.0.1:port, waiting no later than `deadline` (a listener whose queue is
    // full leaves the connect pending). On failure `error` receives errno.
    static std::optional<Connection> Open(int port, Clock::time_point deadline,
                                          ConnectStatus& status, int& error);

    // Writes `request` whole, reading meanwhile, until the bytes read end with `suffix`,
    // the peer closes, more than `maxReceived` bytes have arrived, or `deadline` passes.
    ExchangeResult Exchange(std::string_view request, std::string_view suffix,
                            Clock::time_point deadline, size_t maxReceived);

    // True when the peer has closed its side (checked without blocking; unread data counts as
    // open).
    bool PeerHasClosed() const;

    void SetObserver(ByteObserver observer) { observer_ = std::move(observer); }

private:
    explicit Connection(int fd) : fd_(fd) {}
    bool WriteSome(std::string_view& pending, ExchangeResult& result);
    bool ReadSome(ExchangeResult& result, size_t maxReceived);

    int fd_ = -1;
    ByteObserver observer_;
};

}  // namespace Cuebridge::Ctl
