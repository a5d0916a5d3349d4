// The client's Session against a peer that writes every reply in pieces of a few bytes:
// where a reply ends is known only by the end marker, whatever bytes the reply holds and
// however it is split, and a large request and a large reply cross without deadlock.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "Session.h"

using namespace Cuebridge::Ctl;
using namespace std::chrono_literals;

namespace {

// Serves one connection on 127.0.0.1: answers "tag|Script|text" with "tag|text" (an empty
// text with "tag|"), written `piece` bytes at a time; a reply may be replaced by `big`.
class SplitEchoPeer {
public:
    SplitEchoPeer(std::size_t piece, std::string big = {}) : piece_(piece), big_(std::move(big)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        listen(listener_, 1);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~SplitEchoPeer() {
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
    }
    int Port() const { return port_; }

private:
    void Serve() {
        const int fd = accept(listener_, nullptr, nullptr);
        std::string pending;
        char buffer[65536];
        for (ssize_t n; fd >= 0 && (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
            pending.append(buffer, static_cast<std::size_t>(n));
            for (auto end = pending.find('\n'); end != std::string::npos;
                 end = pending.find('\n')) {
                const std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                const auto bar = line.find('|');
                const std::string text = line.substr(line.find('|', bar + 1) + 1);
                std::string reply = line.substr(0, bar + 1);
                reply += big_.empty() || text.empty() ? text : big_;
                for (std::size_t at = 0; at < reply.size(); at += piece_)
                    send(fd, reply.data() + at, std::min(piece_, reply.size() - at), MSG_NOSIGNAL);
            }
        }
        if (fd >= 0) close(fd);
    }

    std::size_t piece_;
    std::string big_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

TEST(Session, ReplyEndsWhereTheEndMarkerEndsWhateverItsBytesAndPieces) {
    const std::string results[] = {
        "plain",
        "",
        "a|b|c",
        "|",
        "*|*",
        "x*|*y*|*",
        "line one\rline two",
        "Flou et netteté — 日本語 ✓",
        "ends with a bar|",
        "0123456789abcdef|",
    };
    SplitEchoPeer peer(3);
    Session session(Target{peer.Port(), {}}, 10s);
    for (const std::string& result : results) {
        const RequestResult reply = session.Send("t1|Script|" + result);
        ASSERT_EQ(reply.outcome, Outcome::Ok) << reply.detail;
        EXPECT_EQ(reply.reply, "t1|" + result);
    }
}

TEST(Session, OneMebibyteEachWayWithoutDeadlock) {
    std::string big;
    for (std::size_t i = 0; big.size() < (1u << 20); ++i)
        big += "row " + std::to_string(i) + "|é*|*\n";
    big.resize(1u << 20);
    SplitEchoPeer peer(4096, big);
    Session session(Target{peer.Port(), {}}, 20s);
    // The first reply comes back while the large request is still being written.
    const RequestResult reply = session.Send("a|Script|y\nb|Script|" + std::string(1u << 20, 'x'));
    ASSERT_EQ(reply.outcome, Outcome::Ok) << reply.detail;
    ASSERT_EQ(reply.reply.size(), 2 * big.size() + 4);
    EXPECT_TRUE(reply.reply == "a|" + big + "b|" + big);
}

}  // namespace
