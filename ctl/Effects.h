#pragma once
// The installed-effects list as the plug-in sends it: records of match name, "|", display
// name, "|", category, each ended by "*|*"; and its readable and JSON renderings.
// Pure functions; any thread.

#include <string>
#include <string_view>
#include <vector>

namespace Cuebridge::Ctl {

struct Effect {
    std::string matchName;
    std::string displayName;
    std::string category;
};

// Splits the list into records. Names are not escaped on the wire, so a record's match name
// runs to its first bar and its category from its last bar; a display name keeps any bars.
// A last record without its terminator is still taken.
std::vector<Effect> ParseEffects(std::string_view list);

// A table with a header line and columns padded to the widest entry (UTF-8 aware).
std::string FormatEffectsTable(const std::vector<Effect>& effects);

// A JSON array of {"matchName", "displayName", "category"}; invalid UTF-8 becomes U+FFFD.
std::string FormatEffectsJson(const std::vector<Effect>& effects);

}  // namespace Cuebridge::Ctl
