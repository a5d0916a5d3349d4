// The live view's door rules. The view can run menu commands and scripts, so a request is
// served only when its Host header names the loopback at the view's own port (a web page
// that reaches 127.0.0.1 through a rebound DNS name sends its own name there); and a
// request that changes the host must come from the view's own page: an Origin header, when
// present, must be that page's origin, and the body must be JSON, which a page of another
// origin cannot send without a preflight the view never answers. Pure functions, any thread.
#pragma once

#include <string_view>

namespace hostsim {

// "127.0.0.1", "localhost" or "[::1]", with the view's port or none.
bool IsLoopbackHost(std::string_view host, int port);

// origin: the Origin header ("" when absent); host: the Host header, already accepted.
// contentType: the Content-Type header.
bool MayChangeState(std::string_view origin, std::string_view host, std::string_view contentType);

}  // namespace hostsim
