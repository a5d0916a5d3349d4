#include "ViewReader.h"

#include <sys/socket.h>
#include <unistd.h>

#include <regex>
#include <stdexcept>
#include <string>

namespace cuebridge_bench {

ViewReader::ViewReader(const hostsim::HostProcess& host) {
    const std::regex url(R"(live view at http://127\.0\.0\.1:(\d+)/)");
    std::smatch match;
    for (int i = 0; i < 400; ++i) {
        const std::string text = host.Stderr();
        if (std::regex_search(text, match, url)) break;
        std::this_thread::sleep_for(25ms);
    }
    if (match.empty()) throw std::runtime_error("the host printed no view URL");
    const std::string port = match[1];
    if (!wire_.Connect(std::stoi(port)) ||
        !wire_.SendAll("GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n\r\n"))
        throw std::runtime_error("cannot open the view's event stream");
    reader_ = std::thread([this] { Read(); });
    // The stream starts with the current state: the page is open once it has come.
    for (int i = 0; i < 400 && events_ == 0; ++i) std::this_thread::sleep_for(5ms);
    if (events_ == 0) throw std::runtime_error("the view sent no state");
}

void ViewReader::Close() {
    if (!reader_.joinable()) return;
    shutdown(wire_.Fd(), SHUT_RDWR);
    reader_.join();
}

// reader thread: counts the "data: " lines, also when one is split between two reads.
void ViewReader::Read() {
    static constexpr std::string_view kMark = "\ndata: ";
    std::string carry;
    char buffer[65536];
    for (;;) {
        const auto n = read(wire_.Fd(), buffer, sizeof buffer);
        if (n <= 0) return;
        carry.append(buffer, static_cast<std::size_t>(n));
        std::size_t count = 0, at = 0;
        while ((at = carry.find(kMark, at)) != std::string::npos) {
            ++count;
            at += kMark.size();
        }
        events_ += count;
        carry.erase(0, carry.size() > kMark.size() ? carry.size() - kMark.size() + 1 : 0);
    }
}

}  // namespace cuebridge_bench
