#include "PortHolders.h"

#include <fstream>
#include <sstream>
#include <string>

namespace Cuebridge::Ctl {

bool TcpTableHoldsPort(std::string_view table, int port) {
    // Each row after the heading: "sl local_address rem_address st ...", the local address
    // as hex digits, a colon and the port as four hex digits.
    bool heading = true;
    while (!table.empty()) {
        const size_t end = table.find('\n');
        std::string_view row = table.substr(0, end);
        table = end == std::string_view::npos ? std::string_view{} : table.substr(end + 1);
        if (heading) {
            heading = false;
            continue;
        }
        std::istringstream fields{std::string(row)};
        std::string slot;
        std::string local;
        if (!(fields >> slot >> local)) {
            continue;
        }
        const size_t colon = local.rfind(':');
        if (colon == std::string::npos || local.size() - colon - 1 != 4) {
            continue;
        }
        int value = 0;
        bool hex = true;
        for (char c : local.substr(colon + 1)) {
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            hex = hex && digit >= 0;
            value = value * 16 + digit;
        }
        if (hex && value == port) {
            return true;
        }
    }
    return false;
}

std::optional<bool> PortIsHeld(int port) {
    bool readAny = false;
    for (const char* path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(path);
        if (!in) {
            continue;
        }
        std::ostringstream table;
        table << in.rdbuf();
        readAny = true;
        if (TcpTableHoldsPort(table.str(), port)) {
            return true;
        }
    }
    if (!readAny) {
        return std::nullopt;
    }
    return false;
}

}  // namespace Cuebridge::Ctl
