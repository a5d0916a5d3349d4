#pragma once
// --verbose: prints each batch of bytes sent (">> ") or received ("<< ") as one line, with
// control bytes shown as the escapes \n \r \t \\ \xNN. The observer writes to the given
// stream from the thread that drives the Session.

#include <ostream>
#include <string>
#include <string_view>

#include "Connection.h"

namespace Cuebridge::Ctl {

// Escapes control bytes and backslashes; other bytes (UTF-8 included) pass unchanged.
std::string EscapeBytes(std::string_view bytes);

ByteObserver VerboseObserver(std::ostream& stream);

}  // namespace Cuebridge::Ctl
