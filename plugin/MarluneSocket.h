// MarluneSocket: the plug-in's TCP server for the controller service. A detached
// socket thread runs endless listen cycles (bind on 127.0.0.1, publish the port file,
// accept one connection, serve it, delete the port file); received bytes are cut into
// line-feed separated messages, each is dispatched and its reply written back.
// Threading: StartListening on the main thread once; everything else on the socket
// thread. The object is owned by whoever creates it and must outlive its thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Protocol.h"

// Cuts text at every delimiter, like reading lines from a stream: the delimiter is
// dropped, adjacent delimiters give an empty piece, a trailing delimiter gives no
// empty last piece, and an empty text gives no piece. Pure; any thread.
std::vector<std::string> SplitString(std::string text, char delimiter);

namespace Cuebridge {

// Descriptor of the connection being served; -1 while none is open.
// Written by the socket thread, read by SendSocketMessage.
extern std::atomic<int> clientSocketConnected;
// How many connections the socket thread has begun to serve; tells one connection from
// the next. Written by the socket thread, read by any thread.
extern std::atomic<unsigned> servedConnections;

// Publishes the port in the port file at that path: a new private file in the same folder
// renamed over it, so that nothing at that name (a link, another user's file) is written
// through and the result is this user's file with mode 0600 holding the decimal port.
// False when it could not be written (traced). Any thread.
bool WritePortFile(const std::string& portFile, int port);

// MessageAssembler: turns received bytes, in whatever pieces they arrive, into
// messages (the text between line feeds; every other byte, zero included, is part of
// the message). An unterminated tail is kept and joined with the next piece; the owner
// decides when it counts as a message (FlushTail). A message longer than the bound is
// traced and dropped up to its line feed.
// Used by one thread at a time; owns its tail buffer.
class MessageAssembler {
public:
    static constexpr std::size_t kMaxMessageSize = Protocol::kMaxMessageBytes;

    explicit MessageAssembler(std::size_t maxMessageSize = kMaxMessageSize)
        : maxMessageSize_(maxMessageSize) {}

    // Calls onMessage(std::string_view) for every message completed by the bytes, in
    // order; onMessage returns false to stop (the rest of the bytes is dropped).
    // Returns false when onMessage stopped it.
    template <class OnMessage>
    bool Feed(std::string_view bytes, OnMessage&& onMessage);

    // Hands the kept tail over as a message (nothing when there is none).
    template <class OnMessage>
    bool FlushTail(OnMessage&& onMessage);

    bool HasTail() const { return !tail_.empty(); }
    void Reset();

private:
    // Adds unterminated bytes to the tail, or starts dropping when they make it too long.
    void KeepTail(std::string_view bytes);
    // Empties the tail; gives back the memory of an unusually large one.
    void ClearTail();
    // True when a message of this many bytes is over the bound (traced).
    bool TooLong(std::size_t size) const;

    std::size_t maxMessageSize_;
    std::string tail_;
    bool dropping_ = false;  // inside an over-long message, until its line feed
};

// RetryPause: how long the listen cycle waits before its next attempt after a failure.
// The first retry is immediate; each further consecutive failure doubles the pause from
// kFirstPause up to kLongestPause, so a lasting fault (no descriptors left, say) neither
// spins a core nor floods the trace. A success starts the count afresh.
// Used by one thread at a time; plain value.
class RetryPause {
public:
    static constexpr std::chrono::milliseconds kFirstPause{4};
    static constexpr std::chrono::milliseconds kLongestPause{1000};

    // Counts one more failure and returns the pause to wait before the next attempt.
    std::chrono::milliseconds AfterFailure();
    void AfterSuccess() { failures_ = 0; }

private:
    static constexpr int kCountLimit = 64;
    int failures_ = 0;  // consecutive, since the last success
};

class MarluneSocket {
public:
    static constexpr std::size_t kReceiveBufferSize = 131072;
    // Receives every field list in place of the dispatcher; for tests and fuzzing.
    using Dispatcher = std::function<std::string(std::vector<std::string>)>;

    MarluneSocket();
    virtual ~MarluneSocket() = default;
    MarluneSocket(const MarluneSocket&) = delete;
    MarluneSocket& operator=(const MarluneSocket&) = delete;

    // The listener's own stricter entry to the dispatcher (not used on the receive path).
    virtual std::string ProcessMessage(std::string message) = 0;

    // main thread, once: stores the port (0: the system chooses) and starts the
    // detached socket thread.
    void StartListening(int port);
    // socket thread body: listen cycles without end.
    static void BackgroundThread(MarluneSocket* socket);
    // socket thread: one listen cycle; returns when its connections end, or after the
    // retry pause when a step before the accepted connection fails.
    void StartListeningOne();

    // socket thread: splits one message into two or three fields and dispatches it;
    // "" for a message without '|'.
    std::string ProcessSocketMessage(std::string message);
    // socket thread: writes text to the current connection; nothing when none is open.
    void SendSocketMessage(std::string text);

    // Before the socket thread starts: send field lists to `dispatcher` instead of the
    // command dispatcher.
    void SetDispatcher(Dispatcher dispatcher) { dispatcher_ = std::move(dispatcher); }

    // socket thread: the receive path without a socket. Feeds bytes through framing
    // and dispatch, writing replies to `replyFd` (-1: replies are dropped). Returns
    // false when the connection must be closed (an HTTP request was refused).
    bool HandleReceived(int replyFd, std::string_view bytes);
    // socket thread: handles the kept tail as a message; same result as above.
    bool HandlePendingTail(int replyFd);
    bool HasPendingTail() const { return assembler_.HasTail(); }

private:
    // Steps of one cycle; every failure ends in AcceptControllers returning nothing.
    int BindLoopbackSocket();
    bool PublishPort(int listenFd, const std::string& folder, const std::string& portFile);
    std::vector<int> AcceptControllers(const std::string& folder, const std::string& portFile);
    void ServeConnection(int connectionFd);
    bool HandleMessage(int replyFd, std::string_view message);

    int listenPort = 0;
    char receiveBuffer[kReceiveBufferSize];
    MessageAssembler assembler_;
    Dispatcher dispatcher_;
    RetryPause retryPause_;
};

// ---- template definitions ------------------------------------------------------------

template <class OnMessage>
bool MessageAssembler::Feed(std::string_view bytes, OnMessage&& onMessage) {
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
        const std::string_view piece = bytes.substr(start, end - start);
        if (dropping_) {  // the line feed ends the dropped message
            dropping_ = false;
            continue;
        }
        bool go = true;
        if (tail_.empty()) {
            if (!TooLong(piece.size())) go = onMessage(piece);
        } else {
            if (!TooLong(tail_.size() + piece.size())) {
                tail_.append(piece);
                go = onMessage(std::string_view(tail_));
            }
            ClearTail();
        }
        if (!go) return false;
    }
    KeepTail(bytes.substr(start));
    return true;
}

template <class OnMessage>
bool MessageAssembler::FlushTail(OnMessage&& onMessage) {
    if (tail_.empty()) return true;
    const bool go = onMessage(std::string_view(tail_));
    ClearTail();
    return go;
}

}  // namespace Cuebridge
