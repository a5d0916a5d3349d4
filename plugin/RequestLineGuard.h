// The request-line guard: tells an HTTP request line or Host header from a controller's
// message. A browser or a tool like curl can be made to send requests to a localhost port;
// their lines must never run as commands, so the socket closes a connection that sends one.
// Pure; any thread.
#pragma once

#include <string_view>

namespace Cuebridge {

// True for "METHOD target HTTP/..." (an upper-case method), for any line ending in " HTTP/"
// and a version ("1.1", "2"; a carriage return allowed after it), whatever comes before, and
// for a "Host:" header in any case.
bool IsHttpRequest(std::string_view line);

}  // namespace Cuebridge
