#include "PortFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "Protocol.h"

namespace Cuebridge::Ctl {

std::string PortFilePath(const std::string& home) { return Protocol::PortFilePath(home); }

std::optional<std::string> DefaultPortFilePath() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        return std::nullopt;
    }
    return PortFilePath(home);
}

namespace {

std::optional<int> ParsePort(std::string text) {
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

}  // namespace

PortFileContent ReadPortFile(const std::string& path) {
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {
            errno == ENOENT || errno == ENOTDIR ? PortFileStatus::Missing : PortFileStatus::Invalid,
            0};
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return {PortFileStatus::NotRegular, 0};
    }
    // A port is at most five digits and a line feed; anything longer is not a port file.
    std::array<char, 8> buffer{};
    size_t size = 0;
    while (size < buffer.size()) {
        ssize_t n = ::read(fd, buffer.data() + size, buffer.size() - size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        size += static_cast<size_t>(n);
    }
    ::close(fd);
    std::optional<int> port = ParsePort(std::string(buffer.data(), size));
    if (!port) {
        return {PortFileStatus::Invalid, 0};
    }
    return {PortFileStatus::Ok, *port};
}

std::optional<std::string> MissingFolderOf(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    std::optional<std::string> missing;
    for (fs::path folder = fs::path(path).parent_path();
         !folder.empty() && folder != folder.root_path(); folder = folder.parent_path()) {
        if (fs::is_directory(folder, error)) {
            break;
        }
        missing = folder.string();
    }
    return missing;
}

}  // namespace Cuebridge::Ctl
