// One connection of the live view as cpp-httplib reads and writes it, with the request
// head bounded while it is read: past the request line's or the headers' limit the
// connection is answered (414 or 431) and fails every later read and write, so the server
// never holds more of a head than the limits, whatever a peer sends. Reads are buffered as
// the library's own socket stream does; each wait honours the server's timeouts. Used by
// one server thread at a time.
#pragma once

#include <httplib.h>

#include <cstddef>
#include <string>

namespace hostsim {

struct HeadLimits {
    std::size_t requestLineBytes;  // the first line, its line end included
    std::size_t headerLines;       // lines after the request line, the empty last one excluded
    std::size_t headerBytes;       // those lines' bytes, line ends included
};

class BoundedStream final : public httplib::Stream {
public:
    BoundedStream(int socket, HeadLimits limits, int readTimeoutMs, int writeTimeoutMs);

    // Before each request of the connection: its head is counted from here.
    void BeginRequest();
    // True once the connection was answered for passing a limit.
    bool Refused() const { return refused_; }
    // Waits until a request's first bytes are there (true), the peer closes, the timeout
    // passes or keepWaiting() turns false (checked every 50 ms).
    template <class Predicate>
    bool WaitForRequest(int timeoutMs, Predicate keepWaiting) {
        for (int waited = 0; waited < timeoutMs && keepWaiting(); waited += kSliceMs)
            if (WaitReadable(kSliceMs)) return true;
        return false;
    }

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return socket_; }

private:
    static constexpr int kSliceMs = 50;

    bool WaitReadable(int timeoutMs) const;  // buffered bytes, or the socket readable
    // Counts the bytes handed to the library while the head lasts; false past a limit.
    bool CountHead(const char* bytes, std::size_t size);
    void Refuse(int status, const char* reason, const std::string& why);

    const int socket_;
    const HeadLimits limits_;
    const int readTimeoutMs_, writeTimeoutMs_;
    char buffer_[4096];
    std::size_t begin_ = 0, end_ = 0;  // the unread part of buffer_
    bool inHead_ = true, refused_ = false;
    std::size_t line_ = 0, lineBytes_ = 0, headerBytes_ = 0;
    char last_ = 0;  // the head's byte before the current one
};

}  // namespace hostsim
