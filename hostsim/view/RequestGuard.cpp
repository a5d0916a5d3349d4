#include "view/RequestGuard.h"

#include <array>
#include <charconv>
#include <string>

namespace hostsim {

bool IsLoopbackHost(std::string_view host, int port) {
    static constexpr std::array<std::string_view, 3> kNames = {"127.0.0.1", "localhost", "[::1]"};
    for (const auto name : kNames) {
        if (!host.starts_with(name)) continue;
        const auto rest = host.substr(name.size());
        if (rest.empty()) return true;
        if (rest.front() != ':') continue;
        int value = -1;
        const auto digits = rest.substr(1);
        const auto* end = digits.data() + digits.size();
        const auto [ptr, ec] = std::from_chars(digits.data(), end, value);
        return ec == std::errc() && ptr == end && value == port;
    }
    return false;
}

bool MayChangeState(std::string_view origin, std::string_view host, std::string_view contentType) {
    // "application/json", possibly followed by parameters such as "; charset=utf-8".
    constexpr std::string_view kJson = "application/json";
    const bool json = contentType.starts_with(kJson) &&
                      (contentType.size() == kJson.size() || contentType[kJson.size()] == ';');
    if (!json) return false;
    return origin.empty() || origin == "http://" + std::string(host);
}

}  // namespace hostsim
