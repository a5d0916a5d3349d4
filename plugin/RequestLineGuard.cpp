#include "RequestLineGuard.h"

#include <strings.h>

#include <cctype>
#include <cstddef>

namespace Cuebridge {

namespace {

// Takes the leading decimal digits off the text; false when there are none.
bool SkipDigits(std::string_view& text) {
    std::size_t n = 0;
    while (n < text.size() && std::isdigit(static_cast<unsigned char>(text[n]))) ++n;
    text.remove_prefix(n);
    return n > 0;
}

// True for a line ending in " HTTP/" and a version ("1.1", "2"), a carriage return allowed.
bool EndsWithHttpVersion(std::string_view line) {
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::size_t marker = line.rfind(" HTTP/");
    if (marker == std::string_view::npos) return false;
    std::string_view version = line.substr(marker + 6);
    if (!SkipDigits(version)) return false;
    if (version.empty()) return true;
    if (version.front() != '.') return false;
    version.remove_prefix(1);
    return SkipDigits(version) && version.empty();
}

}  // namespace

// Recognises a request line by its method or by its ending, whatever the method, and the
// Host header, which every HTTP/1.1 request carries.
bool IsHttpRequest(std::string_view line) {
    if (line.size() >= 5 && strncasecmp(line.data(), "host:", 5) == 0) return true;
    if (EndsWithHttpVersion(line)) return true;
    std::size_t method = 0;
    while (method < line.size() && std::isupper(static_cast<unsigned char>(line[method]))) ++method;
    if (method == 0 || method == line.size() || line[method] != ' ') return false;
    const std::size_t targetEnd = line.find(' ', method + 1);
    if (targetEnd == std::string_view::npos || targetEnd == method + 1) return false;
    return line.substr(targetEnd + 1).starts_with("HTTP/");
}

}  // namespace Cuebridge
