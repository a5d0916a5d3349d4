// The host's Info panel: two lines of text, the appended texts and a colour swatch, as the
// plug-in last drew them. Any thread (its own lock, nothing called under it).
#pragma once

#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "AE_Types.h"

namespace hostsim {

class InfoPanel {
public:
    void DrawText(const char* line1, const char* line2);  // clears the appended texts
    void DrawColor(PF_Pixel color);
    void Append(const char* text);
    nlohmann::json Json() const;  // {line1, line2, appended, color}

private:
    mutable std::mutex mutex_;
    std::string line1_, line2_;
    std::vector<std::string> appended_;
    std::optional<PF_Pixel> color_;
};

}  // namespace hostsim
