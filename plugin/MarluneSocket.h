// MarluneSocket: the plug-in's TCP server for the controller service. A detached socket
// thread runs endless listen cycles: bind on 127.0.0.1, listen, publish the port file, wait
// for a controller (meanwhile writing the port file again when it could not be written or
// another plug-in withdrew it), serve the connection, withdraw the port file while it still
// names this cycle's port. Received bytes are cut into line-feed separated messages
// (MessageAssembler); each is dispatched and its reply written back.
// Threading: StartListening on the main thread once; everything else on the socket thread.
// The object is owned by whoever creates it and must outlive its thread (a socket that has
// started listening is never destroyed).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "MessageAssembler.h"
#include "PortFile.h"
#include "RetryPause.h"

// Cuts text at every delimiter, like reading lines from a stream: the delimiter is
// dropped, adjacent delimiters give an empty piece, a trailing delimiter gives no
// empty last piece, and an empty text gives no piece. Pure; any thread.
std::vector<std::string> SplitString(std::string text, char delimiter);

namespace Cuebridge {

// Descriptor of the connection being served; -1 while none is open. Written by the socket
// thread; read only by SendSocketMessage, which none of the plug-in's own flows calls
// (everything it writes to a controller is a reply).
extern std::atomic<int> clientSocketConnected;

class MarluneSocket {
public:
    static constexpr std::size_t kReceiveBufferSize = 131072;
    // How often a published port file is looked at while waiting for a controller: one that
    // another plug-in under the same home withdrew is written again within this.
    static constexpr std::chrono::milliseconds kPortFileWatch{250};
    // Receives every field list in place of the dispatcher; for tests and fuzzing.
    using Dispatcher = std::function<std::string(std::vector<std::string>)>;

    MarluneSocket();
    virtual ~MarluneSocket() = default;
    MarluneSocket(const MarluneSocket&) = delete;
    MarluneSocket& operator=(const MarluneSocket&) = delete;

    // The listener's own stricter entry to the dispatcher (not used on the receive path).
    virtual std::string ProcessMessage(std::string message) = 0;

    // main thread, once: stores the port (0: the system chooses) and the home the port file
    // goes under (read once by the caller; empty: no port file), has the port file withdrawn
    // when the process exits normally, and starts the detached socket thread.
    void StartListening(int port, const std::string& home);
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
    std::vector<int> AcceptControllers();
    int BindLoopbackSocket();
    std::vector<int> ListenAndAccept(int listenFd);
    int AwaitController(int listenFd, int port);
    void ServeConnection(int connectionFd);
    bool HandleMessage(int replyFd, std::string_view message);

    int listenPort = 0;
    char receiveBuffer[kReceiveBufferSize];
    MessageAssembler assembler_;
    Dispatcher dispatcher_;
    RetryPause retryPause_;
    PortFile portFile_;
    bool everPublished_ = false;  // socket thread: a port file was written in some cycle
};

}  // namespace Cuebridge
