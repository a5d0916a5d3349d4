// Plain values the host stores and checks but that change nothing else in the model (a
// composition's motion blur switch, the project's colour depth, a marker's label): each is
// named by a rule that gives its kind, its range or allowed values and its starting value. A
// refused value changes nothing and says why in the host's wording. Plain state; main thread
// or under the Scene's owner's lock.
#pragma once

#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hostsim::model {

enum class SettingKind {
    Flag,     // true or false (a number counts by whether it is 0)
    Number,   // a finite number within [min..max]
    Integer,  // a whole number within [min..max]
    Choice,   // one of `choices` (an enumeration's values)
    Text,     // a string of at most `max` bytes (0: any length); one of `texts` when given
    Color,    // [r, g, b], each within [0..1]
    IntPair,  // [x, y], whole numbers within [min..max]
};

struct SettingRule {
    std::string_view name;
    SettingKind kind;
    nlohmann::json initial;
    double min = 0, max = 0;
    std::vector<double> choices = {};
    std::vector<std::string_view> texts = {};
};

class Settings {
public:
    explicit Settings(std::span<const SettingRule> rules);

    bool Has(std::string_view name) const { return Find(name) != nullptr; }
    // The stored value; throws ModelError for a name without a rule.
    const nlohmann::json& Get(std::string_view name) const;
    // v as the rule stores it (a flag given as a number becomes a boolean), or the host's
    // "Unable to set" error.
    nlohmann::json Checked(std::string_view name, const nlohmann::json& v) const;
    void Set(std::string_view name, const nlohmann::json& v);
    const nlohmann::json& Values() const { return values_; }

private:
    const SettingRule* Find(std::string_view name) const;

    std::span<const SettingRule> rules_;
    nlohmann::json values_ = nlohmann::json::object();
};

}  // namespace hostsim::model
