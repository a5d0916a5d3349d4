#include "MarluneSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/filter.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <thread>
#include <utility>

#include "ConnectionCount.h"
#include "Marlune.h"
#include "Protocol.h"
#include "RequestLineGuard.h"
#include "Tracer.h"

std::vector<std::string> SplitString(std::string text, char delimiter) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(delimiter, start)) != std::string::npos;
         start = end + 1) {
        pieces.emplace_back(text, start, end - start);
    }
    if (start < text.size()) pieces.emplace_back(text, start);
    return pieces;
}

namespace Cuebridge {

std::atomic<int> clientSocketConnected{-1};

namespace {

constexpr std::size_t kMaxReceive = MarluneSocket::kReceiveBufferSize - 1;
// The smallest queue: while a connection is served nothing listens, and a client that
// finds no listener is refused rather than queued and thrown away.
constexpr int kListenBacklog = 0;
constexpr std::size_t kMaxQueuedConnections = 16;  // taken in behind the accepted one

// socket thread. Stops the listener taking new connections while the ones already under
// way complete, so that none can slip into its queue between the last accept and the
// close (closing would reset it after its client had connected and sent). On Linux a
// filter drops every segment that opens a connection (the SYN flag, byte 13 of the TCP
// header): such a client sends its SYN again and is then refused by the closed port.
// Where no such filter exists the last accept and the close still leave a narrow window.
void StopAdmitting(int listenFd) {
#if defined(__linux__) && defined(SO_ATTACH_FILTER)
    constexpr std::uint32_t kSynFlag = 0x02;
    sock_filter dropOpenings[] = {
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 13),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kSynFlag, 0, 1), BPF_STMT(BPF_RET | BPF_K, 0),  // drop
        BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFF),  // keep whole
    };
    sock_fprog program{static_cast<unsigned short>(std::size(dropOpenings)), dropOpenings};
    if (setsockopt(listenFd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == -1)
        Tracer::TRACE("setsockopt() failed with error %d", errno);
#else
    (void)listenFd;
#endif
}

void closeSocket(int fd) { close(fd); }

// A socket of the plug-in must not outlive it in a process the host starts (a script may
// run a system command): such a child would hold the listener or the connection open.
[[maybe_unused]] void SetCloseOnExec(int fd) {
    const int flags = fcntl(fd, F_GETFD);
    if (flags == -1 || fcntl(fd, F_SETFD, flags | FD_CLOEXEC) == -1)
        Tracer::TRACE("fcntl() failed with error %d", errno);
}

// socket thread: a listening socket, close-on-exec from the start where the system allows.
int OpenSocket(int family, int type, int protocol) {
#if defined(SOCK_CLOEXEC)
    return socket(family, type | SOCK_CLOEXEC, protocol);
#else
    const int fd = socket(family, type, protocol);
    if (fd != -1) SetCloseOnExec(fd);
    return fd;
#endif
}

// socket thread: accepts one connection, blocking and close-on-exec (at once where the system
// allows, so that no process started meanwhile gets it). Where a send may raise SIGPIPE and the
// send flag cannot stop it, the connection is told not to. Each reply is one send and must
// leave at once: with Nagle's algorithm a reply that follows another unacknowledged one
// waits for the controller's delayed acknowledgement (about 40 ms on Linux).
int AcceptConnection(int listenFd) {
#if defined(__linux__) && defined(_GNU_SOURCE)
    const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
#else
    const int fd = accept(listenFd, nullptr, nullptr);
    if (fd != -1) SetCloseOnExec(fd);
#endif
#if defined(SO_NOSIGPIPE)
    const int on = 1;
    if (fd != -1 && setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on) == -1)
        Tracer::TRACE("setsockopt() failed with error %d", errno);
#endif
    const int noDelay = 1;
    if (fd != -1 && setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay) == -1)
        Tracer::TRACE("setsockopt() failed with error %d", errno);
#if !defined(__linux__)
    // The listener does not block; some systems pass that mode on to the connection.
    if (fd != -1) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
#endif
    return fd;
}

bool Tracing() { return Tracer::GetTracing() || Tracer::GetLog(); }

// A peer that has gone must cost a failed send, never a SIGPIPE that would end the host
// process: the send flag where there is one, else the socket option set at accept.
#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

// Writes the whole text, continuing partial sends.
void Send(int fd, std::string_view text) {
    if (text.empty()) return;
    Tracer::TRACE("Sending %d bytes", static_cast<int>(text.size()));
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, kSendFlags);
        if (n < 0) {
            if (errno == EINTR) continue;
            Tracer::TRACE("send() failed with error %d", errno);
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

// socket thread: the port the listener is bound to (traced with its address); -1 when it
// cannot be read.
int LocalPort(int listenFd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) == -1) {
        Tracer::TRACE("getsockname() failed with error %d", errno);
        return -1;
    }
    const int port = ntohs(address.sin_port);
    Tracer::TRACE("Local port %d", port);
    char addressText[16] = {};
    inet_ntop(AF_INET, &address.sin_addr, addressText, sizeof addressText);
    Tracer::TRACE("Local address '%s'", addressText);
    return port;
}

// An accept that found no connection after all (the client gave up in between): the wait
// goes on.
bool NothingToAccept(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == ECONNABORTED || error == EINTR;
}

}  // namespace

// ---- MarluneSocket -----------------------------------------------------------------

MarluneSocket::MarluneSocket() : listenPort(0) {}

// main thread
void MarluneSocket::StartListening(int port, const std::string& home) {
    listenPort = port;
    portFile_.SetHome(home);
    if (portFile_.Configured()) {
        portFile_.WithdrawAtExit();
    } else {
        Tracer::TRACE("HOME is not set: no port file is written");
    }
    std::thread(&MarluneSocket::BackgroundThread, this).detach();
}

// socket thread
void MarluneSocket::BackgroundThread(MarluneSocket* socket) {
    Tracer::TRACE("Background thread");
    for (;;) socket->StartListeningOne();
}

// socket thread
void MarluneSocket::StartListeningOne() {
    const std::vector<int> connections = AcceptControllers();
    if (connections.empty()) {  // every failed step of a cycle ends here
        portFile_.Withdraw();   // it would name a port nobody listens on
        std::this_thread::sleep_for(retryPause_.AfterFailure());
        return;
    }
    retryPause_.AfterSuccess();

    for (const int connectionFd : connections) {  // one at a time, in arrival order
        servedConnections.fetch_add(1);
        clientSocketConnected.store(connectionFd);
        ServeConnection(connectionFd);
        clientSocketConnected.store(-1);
        closeSocket(connectionFd);
    }
    portFile_.Withdraw();  // only while it still names this cycle's port
}

// socket thread: bind, listen, publish, accept. Returns the accepted connection followed by
// any the system had already let in behind it (empty when a step failed). The listening
// socket is closed here, and only here, whatever happened.
std::vector<int> MarluneSocket::AcceptControllers() {
    const int listenFd = BindLoopbackSocket();
    if (listenFd < 0) return {};
    std::vector<int> connections = ListenAndAccept(listenFd);
    closeSocket(listenFd);  // one connection at a time: later attempts are refused
    if (connections.size() > 1)
        Tracer::TRACE("%d queued connections wait their turn",
                      static_cast<int>(connections.size() - 1));
    return connections;
}

// socket thread: the port file is written only once the socket listens, so a controller
// that reads it at once is never refused.
std::vector<int> MarluneSocket::ListenAndAccept(int listenFd) {
    const int port = LocalPort(listenFd);
    if (port < 0) return {};
    if (listen(listenFd, kListenBacklog) == -1) {
        Tracer::TRACE("listen() failed with error %d", errno);
        return {};
    }
    // Not blocking: the wait below looks at the port file now and then, and the connections
    // already let in are taken without waiting for more.
    if (fcntl(listenFd, F_SETFL, fcntl(listenFd, F_GETFL) | O_NONBLOCK) == -1) {
        Tracer::TRACE("fcntl() failed with error %d", errno);
        return {};
    }
    Tracer::TRACE("Listening...");
    const int connectionFd = AwaitController(listenFd, port);
    if (connectionFd == -1) return {};
    std::vector<int> connections{connectionFd};
    // Even the smallest backlog lets the system complete a connection or so before the
    // listener goes. Closing the listener would reset those after their clients had
    // connected and sent; they are taken now and served after the first one instead
    // (a bounded number, so that a flood of connects cannot keep this loop going).
    StopAdmitting(listenFd);
    for (int queued; connections.size() <= kMaxQueuedConnections &&
                     (queued = AcceptConnection(listenFd)) != -1;)
        connections.push_back(queued);
    return connections;
}

// socket thread: publishes the port and waits for a controller. In the plug-in's first
// publication the port file is written whatever is there (a file then found is left from an
// earlier run); later only when no other plug-in under the same home has published since.
// While waiting, a port file that could not be written (its folder not there yet, a file in
// the way, a full disk) is tried again after a growing pause, and one that is gone (the other
// plug-in withdrew it) is written again. The accepted descriptor, or -1 (traced).
int MarluneSocket::AwaitController(int listenFd, int port) {
    enum class PortFileState { Written, Failed, Held };
    RetryPause publishPause;
    std::chrono::milliseconds pause = kPortFileWatch;
    const auto publish = [&] {
        if (portFile_.Publish(port)) {
            everPublished_ = true;
            publishPause.AfterSuccess();
            pause = kPortFileWatch;
            return PortFileState::Written;
        }
        pause = publishPause.AfterFailure();
        return PortFileState::Failed;
    };
    PortFileState state = PortFileState::Held;
    if (everPublished_ && portFile_.NamesAnother()) {
        Tracer::TRACE("Port file names another plug-in's port: published once it is gone");
    } else {
        state = publish();
    }
    for (;;) {
        pollfd ready{listenFd, POLLIN, 0};
        const int timeout = portFile_.Configured() ? static_cast<int>(pause.count()) : -1;
        const int events = poll(&ready, 1, timeout);
        if (events > 0) {
            const int connectionFd = AcceptConnection(listenFd);
            if (connectionFd != -1) return connectionFd;
            if (NothingToAccept(errno)) continue;
            Tracer::TRACE("accept() failed with error %d", errno);
            return -1;
        }
        if (events < 0) {
            if (errno == EINTR) continue;
            Tracer::TRACE("poll() failed with error %d", errno);
            return -1;
        }
        if (state == PortFileState::Failed) {
            state = publish();
        } else if (portFile_.Gone()) {
            Tracer::TRACE("Port file gone: written again");
            state = publish();
        }
    }
}

// socket thread. Binds to the loopback address only: the controller runs on this
// machine, and nobody on the network may reach a server that runs scripts in the host.
int MarluneSocket::BindLoopbackSocket() {
    char portText[16];
    snprintf(portText, sizeof portText, "%d", listenPort);
    Tracer::TRACE("Opening port %s (%d)", portText, listenPort);

    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* addresses = nullptr;
    if (getaddrinfo("127.0.0.1", portText, &hints, &addresses) != 0) {
        Tracer::TRACE("getaddrinfo() failed with error %d", errno);
        return -1;
    }
    const int fd = OpenSocket(addresses->ai_family, addresses->ai_socktype, addresses->ai_protocol);
    if (fd == -1) {
        Tracer::TRACE("socket() failed with error %d", errno);
        freeaddrinfo(addresses);
        return -1;
    }
    const int bound = bind(fd, addresses->ai_addr, addresses->ai_addrlen);
    const int bindErrno = errno;
    freeaddrinfo(addresses);
    if (bound == -1) {
        Tracer::TRACE("bind() failed with error %d", bindErrno);
        closeSocket(fd);
        return -1;
    }
    return fd;
}

// socket thread: receives until the peer closes, a receive fails or an HTTP request
// is refused. A message ends only at its line feed, however long the pauses inside it;
// an unterminated last piece is a message once the peer half-closes or closes.
void MarluneSocket::ServeConnection(int connectionFd) {
    assembler_.Reset();
    for (;;) {
        const ssize_t n = recv(connectionFd, receiveBuffer, kMaxReceive, 0);
        if (n == 0) {
            Tracer::TRACE("Connection closed");
            HandlePendingTail(connectionFd);  // a peer that half-closed still gets its reply
            break;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            Tracer::TRACE("recv() failed with error %d", errno);
            break;
        }
        if (!HandleReceived(connectionFd, std::string_view(receiveBuffer, n))) break;
    }
    assembler_.Reset();
}

// socket thread
bool MarluneSocket::HandleReceived(int replyFd, std::string_view bytes) {
    Tracer::TRACE("%d bytes received %d", static_cast<int>(bytes.size()),
                  static_cast<int>(kReceiveBufferSize));
    if (Tracing())
        Tracer::TRACE("%d messages",
                      static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n')));
    const bool keepOpen = assembler_.Feed(
        bytes, [&](std::string_view message) { return HandleMessage(replyFd, message); });
    if (keepOpen) Tracer::TRACE("All messages processed");
    return keepOpen;
}

// socket thread
bool MarluneSocket::HandlePendingTail(int replyFd) {
    return assembler_.FlushTail(
        [&](std::string_view message) { return HandleMessage(replyFd, message); });
}

// socket thread: dispatches one message and writes its reply before the next one.
bool MarluneSocket::HandleMessage(int replyFd, std::string_view message) {
    Tracer::TRACE("Message %d", static_cast<int>(message.size()));
    if (message.find('\0') != std::string_view::npos) {  // not text: nothing of it is used
        Tracer::TRACE("Invalid message");
        return true;
    }
    if (IsHttpRequest(message)) {
        Tracer::TRACE("HTTP request refused, closing the connection");
        return false;
    }
    const std::string reply = ProcessSocketMessage(std::string(message));
    if (replyFd >= 0) Send(replyFd, reply);
    return true;
}

// socket thread. The third field runs to the end of the message, bars included; it
// takes the message's own buffer so that a large script is not copied again.
std::string MarluneSocket::ProcessSocketMessage(std::string message) {
    const std::size_t first = message.find(Protocol::kFieldSeparator);
    if (first == std::string::npos) {
        Tracer::TRACE("Invalid message");
        return {};
    }
    std::vector<std::string> fields;
    fields.reserve(3);
    fields.emplace_back(message, 0, first);
    const std::size_t second = message.find(Protocol::kFieldSeparator, first + 1);
    if (second == std::string::npos) {
        fields.emplace_back(message, first + 1);
    } else {
        fields.emplace_back(message, first + 1, second - first - 1);
        message.erase(0, second + 1);
        fields.push_back(std::move(message));
    }
    if (dispatcher_) return dispatcher_(std::move(fields));
    return Marlune::GetInstance()->ProcessMarluneCommand(std::move(fields));
}

// socket thread
void MarluneSocket::SendSocketMessage(std::string text) {
    const int fd = clientSocketConnected.load();
    if (fd < 0) return;  // no connection: there is nobody to write to
    Send(fd, text);
}

}  // namespace Cuebridge
