#include "Effects.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

#include "Protocol.h"

namespace Cuebridge::Ctl {

namespace {

Effect ParseRecord(std::string_view record) {
    size_t first = record.find('|');
    if (first == std::string_view::npos) {
        return {std::string(record), {}, {}};
    }
    size_t last = record.rfind('|');
    if (last == first) {
        return {std::string(record.substr(0, first)), std::string(record.substr(first + 1)), {}};
    }
    return {std::string(record.substr(0, first)),
            std::string(record.substr(first + 1, last - first - 1)),
            std::string(record.substr(last + 1))};
}

// Counts code points, which is the column width for the names hosts use.
size_t DisplayWidth(std::string_view text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

void AppendPadded(std::string& out, std::string_view text, size_t width) {
    out.append(text);
    out.append(width - DisplayWidth(text), ' ');
}

}  // namespace

std::vector<Effect> ParseEffects(std::string_view list) {
    std::vector<Effect> effects;
    for (std::string_view record : Protocol::SplitEffects(list)) {
        effects.push_back(ParseRecord(record));
    }
    return effects;
}

std::string FormatEffectsTable(const std::vector<Effect>& effects) {
    const std::array<std::string_view, 3> header{"MATCH NAME", "DISPLAY NAME", "CATEGORY"};
    size_t matchWidth = DisplayWidth(header[0]);
    size_t displayWidth = DisplayWidth(header[1]);
    for (const Effect& effect : effects) {
        matchWidth = std::max(matchWidth, DisplayWidth(effect.matchName));
        displayWidth = std::max(displayWidth, DisplayWidth(effect.displayName));
    }
    std::string out;
    auto appendRow = [&](std::string_view match, std::string_view display,
                         std::string_view category) {
        AppendPadded(out, match, matchWidth + 2);
        if (category.empty()) {
            out.append(display);
        } else {
            AppendPadded(out, display, displayWidth + 2);
            out.append(category);
        }
        out.push_back('\n');
    };
    appendRow(header[0], header[1], header[2]);
    for (const Effect& effect : effects) {
        appendRow(effect.matchName, effect.displayName, effect.category);
    }
    return out;
}

std::string FormatEffectsJson(const std::vector<Effect>& effects) {
    nlohmann::json array = nlohmann::json::array();
    for (const Effect& effect : effects) {
        array.push_back({{"matchName", effect.matchName},
                         {"displayName", effect.displayName},
                         {"category", effect.category}});
    }
    return array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace Cuebridge::Ctl
