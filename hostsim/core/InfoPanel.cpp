#include "core/InfoPanel.h"

namespace hostsim {

void InfoPanel::DrawText(const char* line1, const char* line2) {
    std::lock_guard lock(mutex_);
    line1_ = line1 ? line1 : "";
    line2_ = line2 ? line2 : "";
    appended_.clear();
}

void InfoPanel::DrawColor(PF_Pixel color) {
    std::lock_guard lock(mutex_);
    color_ = color;
}

void InfoPanel::Append(const char* text) {
    std::lock_guard lock(mutex_);
    appended_.emplace_back(text ? text : "");
}

nlohmann::json InfoPanel::Json() const {
    std::lock_guard lock(mutex_);
    nlohmann::json info = {
        {"line1", line1_}, {"line2", line2_}, {"appended", appended_}, {"color", nullptr}};
    if (color_) {
        const auto& c = *color_;
        info["color"] = {{"alpha", c.alpha}, {"red", c.red}, {"green", c.green}, {"blue", c.blue}};
    }
    return info;
}

}  // namespace hostsim
