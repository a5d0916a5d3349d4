#include "MarluneSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/filter.h>
#endif

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <thread>
#include <utility>

#include "Marlune.h"
#include "Protocol.h"
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
std::atomic<unsigned> servedConnections{0};

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

// socket thread: accepts one connection, close-on-exec (at once where the system allows,
// so that no process started meanwhile gets it). Where a send may raise SIGPIPE and the
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
    return fd;
}

bool DirExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
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

// Takes the leading decimal digits off the text; false when there are none.
bool SkipDigits(std::string_view& text) {
    std::size_t n = 0;
    while (n < text.size() && std::isdigit(static_cast<unsigned char>(text[n]))) ++n;
    text.remove_prefix(n);
    return n > 0;
}

// True for a line ending in " HTTP/" and a version ("1.1", "2"), a carriage return allowed.
bool EndsWithHttpVersion(std::string_view line) {
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::size_t marker = line.rfind(" HTTP/");
    if (marker == std::string_view::npos) return false;
    std::string_view version = line.substr(marker + 6);
    if (!SkipDigits(version)) return false;
    if (version.empty()) return true;
    if (version.front() != '.') return false;
    version.remove_prefix(1);
    return SkipDigits(version) && version.empty();
}

// A browser or a tool like curl can be made to send requests to a localhost port;
// their lines must never run as commands. Recognises a request line by its method
// ("METHOD target HTTP/...") or by its ending, whatever the method, and the Host
// header, which every HTTP/1.1 request carries.
bool IsHttpRequest(std::string_view line) {
    if (line.size() >= 5 && strncasecmp(line.data(), "host:", 5) == 0) return true;
    if (EndsWithHttpVersion(line)) return true;
    std::size_t method = 0;
    while (method < line.size() && std::isupper(static_cast<unsigned char>(line[method]))) ++method;
    if (method == 0 || method == line.size() || line[method] != ' ') return false;
    const std::size_t targetEnd = line.find(' ', method + 1);
    if (targetEnd == std::string_view::npos || targetEnd == method + 1) return false;
    return line.substr(targetEnd + 1).starts_with("HTTP/");
}

// Opens a new file of this user's alone (mode 0600) named `prefix` and six letters, never
// through a link and never an existing file; -1 when none can be made. `path` gets its name.
int CreatePrivateFile(const std::string& prefix, std::string& path) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<unsigned> drawn{0};
    std::uint64_t seed =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<std::uint64_t>(getpid()) << 32);
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 6364136223846793005u + 1442695040888963407u + drawn.fetch_add(1);
        path = prefix;
        for (int i = 0; i < 6; ++i) path += kLetters[(seed >> (8 + 5 * i)) % 36];
        const int fd =
            open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

// any thread. The new file is complete before it takes the port file's name, so a
// controller never reads a partly written port either.
bool WritePortFile(const std::string& portFile, int port) {
    std::string temporary;
    const int file = CreatePrivateFile(portFile + ".", temporary);
    if (file == -1) {
        Tracer::TRACE("File open failed: %s", portFile.c_str());
        return false;
    }
    // 0600 whatever the umask took away.
    bool written = fchmod(file, 0600) == 0 && WriteAll(file, std::to_string(port));
    written = close(file) == 0 && written;
    if (written && rename(temporary.c_str(), portFile.c_str()) == 0) return true;
    Tracer::TRACE("File write failed: %s", portFile.c_str());
    unlink(temporary.c_str());
    return false;
}

// ---- MessageAssembler ------------------------------------------------------------------

void MessageAssembler::Reset() {
    tail_.clear();
    tail_.shrink_to_fit();
    dropping_ = false;
}

void MessageAssembler::ClearTail() {
    tail_.clear();
    if (tail_.capacity() > MarluneSocket::kReceiveBufferSize * 8) tail_.shrink_to_fit();
}

bool MessageAssembler::TooLong(std::size_t size) const {
    if (size <= maxMessageSize_) return false;
    Tracer::TRACE("Message longer than %d bytes dropped", static_cast<int>(maxMessageSize_));
    return true;
}

void MessageAssembler::KeepTail(std::string_view bytes) {
    if (bytes.empty() || dropping_) return;
    if (TooLong(tail_.size() + bytes.size())) {
        ClearTail();
        dropping_ = true;
        return;
    }
    tail_.append(bytes);
}

// ---- RetryPause --------------------------------------------------------------------------

std::chrono::milliseconds RetryPause::AfterFailure() {
    if (failures_ < kCountLimit) ++failures_;  // the pause is long capped by then
    if (failures_ == 1) return std::chrono::milliseconds{0};
    std::chrono::milliseconds pause = kFirstPause;
    for (int i = 2; i < failures_ && pause < kLongestPause; ++i) pause *= 2;
    return std::min(pause, kLongestPause);
}

// ---- MarluneSocket -----------------------------------------------------------------

MarluneSocket::MarluneSocket() : listenPort(0) {}

// main thread
void MarluneSocket::StartListening(int port) {
    listenPort = port;
    std::thread(&MarluneSocket::BackgroundThread, this).detach();
}

// socket thread
void MarluneSocket::BackgroundThread(MarluneSocket* socket) {
    Tracer::TRACE("Background thread");
    for (;;) socket->StartListeningOne();
}

// socket thread
void MarluneSocket::StartListeningOne() {
    // HOME is read anew in every cycle; without one the server listens unpublished.
    const std::string home = HomeFolder();
    const std::string folder = home.empty() ? home : Protocol::PortFileFolder(home);
    const std::string portFile = home.empty() ? home : Protocol::PortFilePath(home);
    const std::vector<int> connections = AcceptControllers(folder, portFile);
    if (connections.empty()) {  // every failed step of a cycle ends here
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
    if (!portFile.empty() && std::remove(portFile.c_str()) != 0)
        Tracer::TRACE("File delete failed: %s", portFile.c_str());
}

// socket thread: bind, publish, listen, accept. Returns the accepted connection followed
// by any the system had already let in behind it (empty when the accept failed); the
// listening socket is closed in every case.
std::vector<int> MarluneSocket::AcceptControllers(const std::string& folder,
                                                  const std::string& portFile) {
    const int listenFd = BindLoopbackSocket();
    if (listenFd < 0) return {};
    if (!PublishPort(listenFd, folder, portFile)) {
        closeSocket(listenFd);
        return {};
    }
    if (listen(listenFd, kListenBacklog) == -1) {
        Tracer::TRACE("listen() failed with error %d", errno);
        closeSocket(listenFd);
        return {};
    }
    Tracer::TRACE("Listening...");
    const int connectionFd = AcceptConnection(listenFd);
    if (connectionFd == -1) {
        Tracer::TRACE("accept() failed with error %d", errno);
        closeSocket(listenFd);
        return {};
    }
    std::vector<int> connections{connectionFd};
    // Even the smallest backlog lets the system complete a connection or so before the
    // listener goes. Closing the listener would reset those after their clients had
    // connected and sent; they are taken now and served after the first one instead
    // (a bounded number, so that a flood of connects cannot keep this loop going).
    StopAdmitting(listenFd);
    if (fcntl(listenFd, F_SETFL, fcntl(listenFd, F_GETFL) | O_NONBLOCK) == 0) {
        for (int queued; connections.size() <= kMaxQueuedConnections &&
                         (queued = AcceptConnection(listenFd)) != -1;) {
            // Some systems pass the listener's non-blocking mode on to the connection.
            fcntl(queued, F_SETFL, fcntl(queued, F_GETFL) & ~O_NONBLOCK);
            connections.push_back(queued);
        }
    } else {
        Tracer::TRACE("fcntl() failed with error %d", errno);
    }
    closeSocket(listenFd);  // one connection at a time: later attempts are refused
    if (connections.size() > 1)
        Tracer::TRACE("%d queued connections wait their turn",
                      static_cast<int>(connections.size() - 1));
    return connections;
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

// socket thread: creates the port folder when missing, traces the bound address and
// writes the port file. False only when the bound address cannot be read.
bool MarluneSocket::PublishPort(int listenFd, const std::string& folder,
                                const std::string& portFile) {
    if (folder.empty()) {
        Tracer::TRACE("HOME is not set: no port file is written");
    } else if (!DirExists(folder)) {
        Tracer::TRACE("Folder wasn't found.");
        if (mkdir(folder.c_str(), 0700) == 0) Tracer::TRACE("Folder was created successfully");
    }

    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) == -1) {
        Tracer::TRACE("getsockname() failed with error %d", errno);
        return false;
    }
    const int port = ntohs(address.sin_port);
    Tracer::TRACE("Local port %d", port);
    char addressText[16] = {};
    inet_ntop(AF_INET, &address.sin_addr, addressText, sizeof addressText);
    Tracer::TRACE("Local address '%s'", addressText);

    if (!portFile.empty()) WritePortFile(portFile, port);
    return true;
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
