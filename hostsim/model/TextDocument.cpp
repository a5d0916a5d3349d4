#include "TextDocument.h"

#include <cmath>
#include <variant>

#include "ModelError.h"

namespace hostsim::model {
namespace {

using nlohmann::json;

[[noreturn]] void Refuse(const std::string& attribute, const std::string& reason) {
    throw ModelError("Unable to set \"" + attribute + "\". " + reason);
}

double Number(const std::string& attribute, const json& v) {
    if (!v.is_number() || !std::isfinite(v.get<double>()))
        Refuse(attribute, "Value is not a number.");
    return v.get<double>();
}

double InRange(const std::string& attribute, const json& v, double min, double max) {
    const double n = Number(attribute, v);
    if (n < min || n > max) ThrowAttributeRange(attribute, n, min, max);
    return n;
}

Value Numbers(const std::string& attribute, const json& v, std::size_t count, double min,
              double max) {
    if (!v.is_array() || v.size() != count)
        Refuse(attribute, "Array of " + std::to_string(count) + " numbers expected.");
    Value out;
    for (const auto& n : v) out.push_back(InRange(attribute, n, min, max));
    return out;
}

// The attributes, each with where it is kept.
using Field = std::variant<std::string TextDocument::*, double TextDocument::*,
                           bool TextDocument::*, Value TextDocument::*, int TextDocument::*>;
struct Attribute {
    const char* name;
    Field field;
    bool readOnly = false;
};
const Attribute kAttributes[] = {
    {"text", &TextDocument::text},
    {"font", &TextDocument::font},
    {"fontSize", &TextDocument::fontSize},
    {"fillColor", &TextDocument::fillColor},
    {"strokeColor", &TextDocument::strokeColor},
    {"applyFill", &TextDocument::applyFill},
    {"applyStroke", &TextDocument::applyStroke},
    {"strokeOverFill", &TextDocument::strokeOverFill},
    {"strokeWidth", &TextDocument::strokeWidth},
    {"justification", &TextDocument::justification},
    {"tracking", &TextDocument::tracking},
    {"leading", &TextDocument::leading},
    {"autoLeading", &TextDocument::autoLeading},
    {"baselineShift", &TextDocument::baselineShift, true},
    {"fauxBold", &TextDocument::fauxBold, true},
    {"fauxItalic", &TextDocument::fauxItalic, true},
    {"allCaps", &TextDocument::allCaps, true},
    {"smallCaps", &TextDocument::smallCaps, true},
    {"boxText", &TextDocument::boxText, true},
    {"boxTextSize", &TextDocument::boxTextSize},
};

const Attribute& Find(const std::string& name) {
    for (const auto& a : kAttributes)
        if (name == a.name) return a;
    throw ModelError("\"" + name + "\" is not an attribute of a TextDocument");
}

}  // namespace

json TextDocument::Get(const std::string& attribute) const {
    if (attribute == "pointText") return !boxText;
    if ((attribute == "fillColor" && !applyFill) || (attribute == "strokeColor" && !applyStroke))
        throw ModelError("Unable to get \"" + attribute + "\". " +
                         (attribute == "fillColor" ? "applyFill" : "applyStroke") +
                         " is not true.");
    if (attribute == "boxTextSize" && !boxText)
        throw ModelError("Unable to get \"boxTextSize\". The text is not box text.");
    if (attribute == "leading" && autoLeading) return 0.0;
    return std::visit([&](auto field) { return json(this->*field); }, Find(attribute).field);
}

void TextDocument::Set(const std::string& attribute, const json& value) {
    if (Find(attribute).readOnly) Refuse(attribute, "It is read-only.");
    Store(attribute, value);
}

void TextDocument::Store(const std::string& attribute, const json& value) {
    const Attribute& a = Find(attribute);
    if (attribute == "fontSize") {
        fontSize = InRange(attribute, value, 0.1, 1296);
    } else if (attribute == "strokeWidth") {
        strokeWidth = std::max(0.01, InRange(attribute, value, 0, 1000));  // 0: the least
    } else if (attribute == "leading") {
        const double n = Number(attribute, value);
        if (n < 0) Refuse(attribute, "Value " + FormatNumber(n) + " is below 0.");
        leading = std::max(0.01, n);
        autoLeading = false;
    } else if (attribute == "justification") {
        const double n = Number(attribute, value);
        if (n != std::floor(n) || n < kMultipleJustifications || n > kLastJustification)
            Refuse(attribute, "Value " + FormatNumber(n) + " is not a ParagraphJustification.");
        justification = n == kMultipleJustifications ? kCenterJustify : static_cast<int>(n);
    } else if (attribute == "fillColor" || attribute == "strokeColor") {
        const Value color = Numbers(attribute, value, 3, 0, 1);
        (attribute == "fillColor" ? fillColor : strokeColor) = color;
        (attribute == "fillColor" ? applyFill : applyStroke) = true;
    } else if (attribute == "boxTextSize") {
        if (!boxText) Refuse(attribute, "The text is not box text.");
        boxTextSize = Numbers(attribute, value, 2, 1, 50000);
    } else if (const auto* text = std::get_if<std::string TextDocument::*>(&a.field)) {
        if (!value.is_string()) Refuse(attribute, "Value is not a string.");
        this->*(*text) = value.get<std::string>();
    } else if (const auto* flag = std::get_if<bool TextDocument::*>(&a.field)) {
        if (!value.is_boolean()) Refuse(attribute, "Value is not true or false.");
        this->*(*flag) = value.get<bool>();
    } else {
        this->*std::get<double TextDocument::*>(a.field) = Number(attribute, value);
    }
}

void TextDocument::ResetCharStyle() {
    const TextDocument fresh;
    const std::string keep = text;
    const int paragraph = justification;
    const bool box = boxText;
    const Value size = boxTextSize;
    *this = fresh;
    text = keep;
    justification = paragraph;
    boxText = box;
    boxTextSize = size;
}

void TextDocument::ResetParagraphStyle() { justification = kLeftJustify; }

json TextDocument::ToJson() const {
    json record = json::object();
    for (const auto& a : kAttributes)
        record[a.name] = std::visit([&](auto field) { return json(this->*field); }, a.field);
    return record;
}

TextDocument TextDocument::FromJson(const json& record, const std::string& method, int parameter) {
    if (!record.is_object()) ThrowParameter(method, parameter, "Value is not a TextDocument.");
    TextDocument doc;
    try {
        // boxText first: the box size is checked against it.
        if (record.contains("boxText")) doc.Store("boxText", record["boxText"]);
        // As stored, not as read: a colour is kept while its fill is off.
        const bool fill = record.value("applyFill", true),
                   stroke = record.value("applyStroke", false);
        for (const auto& a : kAttributes)
            if (record.contains(a.name) && !(std::string(a.name) == "boxTextSize" && !doc.boxText))
                doc.Store(a.name, record[a.name]);
        doc.applyFill = fill;
        doc.applyStroke = stroke;
        if (record.contains("leading") && record.value("autoLeading", true)) doc.autoLeading = true;
    } catch (const ModelError&) {
        ThrowParameter(method, parameter, "Value is not a TextDocument.");
    } catch (const json::exception&) {
        ThrowParameter(method, parameter, "Value is not a TextDocument.");
    }
    return doc;
}

}  // namespace hostsim::model
