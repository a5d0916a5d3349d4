#include "Settings.h"

#include <algorithm>
#include <cmath>

#include "ModelError.h"

namespace hostsim::model {
namespace {

using nlohmann::json;

[[noreturn]] void Refuse(std::string_view name, const std::string& problem) {
    throw ModelError("Unable to set \"" + std::string(name) + "\". " + problem);
}

double InRange(const SettingRule& rule, const json& v, bool whole) {
    if (!v.is_number() || !std::isfinite(v.get<double>()))
        Refuse(rule.name, "Value is not a number.");
    const double n = v.get<double>();
    if (whole && n != std::floor(n)) Refuse(rule.name, "Value is not a whole number.");
    if (n < rule.min || n > rule.max)
        ThrowAttributeRange(std::string(rule.name), n, rule.min, rule.max);
    return n;
}

json Numbers(const SettingRule& rule, const json& v, std::size_t count, bool whole) {
    if (!v.is_array() || v.size() != count)
        Refuse(rule.name, "Value is not an array of " + std::to_string(count) + " numbers.");
    json out = json::array();
    for (const auto& n : v) out.push_back(InRange(rule, n, whole));
    return out;
}

}  // namespace

Settings::Settings(std::span<const SettingRule> rules) : rules_(rules) {
    for (const auto& rule : rules_) values_[std::string(rule.name)] = rule.initial;
}

const SettingRule* Settings::Find(std::string_view name) const {
    for (const auto& rule : rules_)
        if (rule.name == name) return &rule;
    return nullptr;
}

const json& Settings::Get(std::string_view name) const {
    if (!Has(name)) throw ModelError("no such setting: " + std::string(name));
    return values_.at(std::string(name));
}

json Settings::Checked(std::string_view name, const json& v) const {
    const SettingRule* rule = Find(name);
    if (rule == nullptr) throw ModelError("no such setting: " + std::string(name));
    switch (rule->kind) {
        case SettingKind::Flag:
            if (v.is_boolean()) return v;
            if (v.is_number()) return v.get<double>() != 0;
            Refuse(name, "Value is not a boolean.");
        case SettingKind::Number:
            return InRange(*rule, v, false);
        case SettingKind::Integer:
            return InRange(*rule, v, true);
        case SettingKind::Choice:
            if (!v.is_number() || std::find(rule->choices.begin(), rule->choices.end(),
                                            v.get<double>()) == rule->choices.end())
                Refuse(name, "Value " + (v.is_number() ? FormatNumber(v.get<double>()) : v.dump()) +
                                 " is not one of the allowed values.");
            return v;
        case SettingKind::Text: {
            if (!v.is_string()) Refuse(name, "Value is not a string.");
            const auto& text = v.get_ref<const std::string&>();
            if (rule->max > 0 && static_cast<double>(text.size()) > rule->max)
                Refuse(name, "The text is longer than " + FormatNumber(rule->max) + " bytes.");
            if (!rule->texts.empty() &&
                std::find(rule->texts.begin(), rule->texts.end(), text) == rule->texts.end())
                Refuse(name, "\"" + text + "\" is not one of the allowed values.");
            return v;
        }
        case SettingKind::Color: {
            const SettingRule unit{rule->name, rule->kind, {}, 0, 1};
            return Numbers(unit, v, 3, false);
        }
        case SettingKind::IntPair:
            return Numbers(*rule, v, 2, true);
    }
    return v;
}

void Settings::Set(std::string_view name, const json& v) {
    values_[std::string(name)] = Checked(name, v);
}

}  // namespace hostsim::model
