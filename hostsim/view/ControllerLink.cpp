#include "view/ControllerLink.h"

#include <sys/stat.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "Protocol.h"

namespace hostsim {
namespace {

constexpr const char* kEstablished = "01";
constexpr const char* kListening = "0A";

// The inodes of this process's sockets, from the "socket:[INODE]" targets in /proc/self/fd.
std::set<std::string> OwnSocketInodes() {
    std::set<std::string> inodes;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code linkError;
        const std::string target = std::filesystem::read_symlink(entry.path(), linkError).string();
        if (!linkError && target.starts_with("socket:[") && target.ends_with("]"))
            inodes.insert(target.substr(8, target.size() - 9));
    }
    return inodes;
}

// The best state of this process's sockets on the local port: connected over listening.
std::string SocketState(int port) {
    const auto inodes = OwnSocketInodes();
    std::string best = "stale";
    for (const char* table : {"/proc/self/net/tcp", "/proc/self/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);  // the header
        while (std::getline(in, line)) {
            // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode ...
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
                timeout >> inode;
            const auto colon = local.rfind(':');
            if (colon == std::string::npos || !inodes.contains(inode)) continue;
            int localPort = 0;
            const auto hex = std::string_view(local).substr(colon + 1);
            std::from_chars(hex.data(), hex.data() + hex.size(), localPort, 16);
            if (localPort != port) continue;
            if (state == kEstablished) return "connected";
            if (state == kListening) best = "listening";
        }
    }
    return best;
}

}  // namespace

std::string ControllerPortFile(const std::string& home) {
    return Cuebridge::Protocol::PortFilePath(home);
}

nlohmann::json ReadControllerLink(const std::string& portFile) {
    std::ifstream in(portFile);
    std::string text;
    std::getline(in, text);
    int port = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (!in.is_open() || ec != std::errc() || ptr != text.data() + text.size() || port < 1 ||
        port > 65535)
        return {{"state", "none"}, {"port", nullptr}};
    struct stat file {};
    const std::int64_t published =
        stat(portFile.c_str(), &file) == 0
            ? static_cast<std::int64_t>(file.st_mtim.tv_sec) * 1000000 + file.st_mtim.tv_nsec / 1000
            : 0;
    return {{"state", SocketState(port)}, {"port", port}, {"published", published}};
}

}  // namespace hostsim
