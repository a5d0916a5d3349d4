#include "StampReader.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <stdexcept>

namespace cuebridge_bench {

StampReader::StampReader(std::string path) : path_(std::move(path)) {
    if (mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + path_ + " failed");
    // Non-blocking: opening a FIFO for reading would otherwise wait for the writer.
    fd_ = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        unlink(path_.c_str());
        throw std::runtime_error("cannot open " + path_);
    }
}

StampReader::~StampReader() {
    close(fd_);
    unlink(path_.c_str());
}

std::int64_t StampReader::WaitFor(long command, int timeoutMs) {
    for (;;) {
        for (std::size_t end; (end = buffered_.find('\n')) != std::string::npos;) {
            const std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            const auto space = line.find(' ');
            if (space == std::string::npos) continue;
            long seen = 0;
            std::int64_t stamp = 0;
            const auto [commandEnd, commandErr] =
                std::from_chars(line.data(), line.data() + space, seen);
            const auto [stampEnd, stampErr] =
                std::from_chars(line.data() + space + 1, line.data() + line.size(), stamp);
            if (commandErr != std::errc() || stampErr != std::errc()) continue;
            if (seen == command) return stamp;
        }
        ReadMore(timeoutMs);
    }
}

void StampReader::ReadMore(int timeoutMs) {
    pollfd waiter{fd_, POLLIN, 0};
    int ready;
    do {
        ready = poll(&waiter, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) throw std::runtime_error("no command stamp from the host in time");
    char buffer[4096];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n == 0) throw std::runtime_error("the host closed its command stamps");
    if (n > 0) buffered_.append(buffer, static_cast<std::size_t>(n));
}

}  // namespace cuebridge_bench
