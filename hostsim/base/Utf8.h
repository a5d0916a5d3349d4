// Text clean-up for what the script engine returns: the engine encodes characters beyond
// the Basic Multilingual Plane as surrogate pairs (CESU-8). ToValidUtf8 joins such pairs
// into proper 4-byte UTF-8 and replaces lone surrogates and invalid bytes by U+FFFD.
// Pure function, any thread.
#pragma once
#include <string>
#include <string_view>

namespace hostsim {
std::string ToValidUtf8(std::string_view text);
}
