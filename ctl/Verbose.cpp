#include "Verbose.h"

#include <cstdio>

namespace Cuebridge::Ctl {

std::string EscapeBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", byte);
                    out += hex;
                } else {
                    out.push_back(c);
                }
        }
    }
    return out;
}

ByteObserver VerboseObserver(std::ostream& stream) {
    return [&stream](char direction, std::string_view bytes) {
        stream << (direction == '>' ? ">> " : "<< ") << EscapeBytes(bytes) << "\n";
        stream.flush();
    };
}

}  // namespace Cuebridge::Ctl
