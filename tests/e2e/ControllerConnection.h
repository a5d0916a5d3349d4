// ControllerConnection: the controller's side of one plug-in connection on 127.0.0.1.
// Replies carry no terminator, so a reply is read as the bytes that arrive until the
// connection stays quiet for a short while. One thread at a time; closes on destruction.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace cuebridge_test {

using namespace std::chrono_literals;

class ControllerConnection {
public:
    ControllerConnection() = default;
    ~ControllerConnection();
    ControllerConnection(const ControllerConnection&) = delete;
    ControllerConnection& operator=(const ControllerConnection&) = delete;

    // Retries refused connections until the timeout (the port file is written just
    // before the plug-in listens).
    bool Connect(int port, std::chrono::milliseconds timeout = 5s);
    bool SendLine(const std::string& line);    // appends the line feed
    bool SendBytes(const std::string& bytes);  // as they are, no line feed added
    // The bytes of one reply: waits up to `timeout` for the first byte, then reads until
    // nothing more arrives for `quiet`. nullopt when nothing came or the peer closed.
    std::optional<std::string> ReadReply(std::chrono::milliseconds timeout = 20s,
                                         std::chrono::milliseconds quiet = 100ms);
    // Exactly n bytes (fewer only on timeout or when the peer closes): for replies of a
    // known length, without waiting for the line to go quiet.
    std::string ReadExactly(std::size_t n, std::chrono::milliseconds timeout = 20s);
    // True when the peer ends the connection within the timeout (bytes before the end
    // are discarded).
    bool PeerClosed(std::chrono::milliseconds timeout = 5s);
    // Ends the connection with a reset instead of an orderly close.
    void Abort();
    // Everything received until the received bytes end with `suffix` (included); nullopt
    // when the peer closed or the timeout passed first. For a sentinel reply whose tag is
    // unique, this knows exactly where the replies before it end.
    std::optional<std::string> ReadUntil(const std::string& suffix,
                                         std::chrono::milliseconds timeout = 20s);
    // The request and its reply in one step.
    std::optional<std::string> Request(const std::string& line,
                                       std::chrono::milliseconds timeout = 20s);
    void Close();

private:
    int fd_ = -1;
};

}  // namespace cuebridge_test
