#include "PortFile.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace Cuebridge::Ctl {

std::string PortFilePath(const std::string& home) {
    return home +
           "/Library/Application "
           "Support/Ostrel/OstrelPluginService/PluginData/AfterEffects/socket.port";
}

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
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {PortFileStatus::Missing, 0};
    }
    std::ostringstream content;
    content << in.rdbuf();
    std::optional<int> port = ParsePort(content.str());
    if (!port) {
        return {PortFileStatus::Invalid, 0};
    }
    return {PortFileStatus::Ok, *port};
}

}  // namespace Cuebridge::Ctl
