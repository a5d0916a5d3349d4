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

// The attributes, each with where it is kept, the panel whose reset restores it, and for an
// enumeration its name and its values' range.
using Field = std::variant<std::string TextDocument::*, double TextDocument::*,
                           bool TextDocument::*, Value TextDocument::*, int TextDocument::*>;
enum class Panel { None, Character, Paragraph };
struct Attribute {
    const char* name;
    Field field;
    Panel panel = Panel::None;
    bool readOnly = false;
    const char* enumeration = nullptr;
    int first = 0, last = 0;
};
constexpr Panel kChar = Panel::Character, kPara = Panel::Paragraph;
// kerning before autoKernType, as leading before autoLeading: a record restores both.
const Attribute kAttributes[] = {
    {"text", &TextDocument::text},
    {"font", &TextDocument::font, kChar},
    {"fontSize", &TextDocument::fontSize, kChar},
    {"fillColor", &TextDocument::fillColor, kChar},
    {"strokeColor", &TextDocument::strokeColor, kChar},
    {"applyFill", &TextDocument::applyFill, kChar},
    {"applyStroke", &TextDocument::applyStroke, kChar},
    {"strokeOverFill", &TextDocument::strokeOverFill, kChar},
    {"strokeWidth", &TextDocument::strokeWidth, kChar},
    {"justification", &TextDocument::justification, kPara},
    {"tracking", &TextDocument::tracking, kChar},
    {"leading", &TextDocument::leading, kChar},
    {"autoLeading", &TextDocument::autoLeading, kChar},
    {"baselineShift", &TextDocument::baselineShift, kChar},
    {"fauxBold", &TextDocument::fauxBold, kChar},
    {"fauxItalic", &TextDocument::fauxItalic, kChar},
    {"boxText", &TextDocument::boxText, Panel::None, true},
    {"boxTextSize", &TextDocument::boxTextSize},
    {"kerning", &TextDocument::kerning, kChar},
    {"autoKernType", &TextDocument::autoKernType, kChar, false, "AutoKernType", 11412, 11414},
    {"baselineDirection", &TextDocument::baselineDirection, kChar, false, "BaselineDirection",
     11612, 11614},
    {"digitSet", &TextDocument::digitSet, kChar, false, "DigitSet", 12012, 12016},
    {"fontBaselineOption", &TextDocument::fontBaselineOption, kChar, false, "FontBaselineOption",
     11212, 11214},
    {"fontCapsOption", &TextDocument::fontCapsOption, kChar, false, "FontCapsOption", 11012, 11015},
    {"lineJoinType", &TextDocument::lineJoinType, kChar, false, "LineJoinType", 11812, 11814},
    {"ligatures", &TextDocument::ligatures, kChar},
    {"noBreak", &TextDocument::noBreak, kChar},
    {"horizontalScale", &TextDocument::horizontalScale, kChar},
    {"verticalScale", &TextDocument::verticalScale, kChar},
    {"tsume", &TextDocument::tsume, kChar},
    {"autoHyphenate", &TextDocument::autoHyphenate, kPara},
    {"everyLineComposer", &TextDocument::everyLineComposer, kPara},
    {"hangingRoman", &TextDocument::hangingRoman, kPara},
    {"composerEngine", &TextDocument::composerEngine, kPara, false, "ComposerEngine", 10412, 10413},
    {"direction", &TextDocument::direction, kPara, false, "ParagraphDirection", 10212, 10213},
    {"leadingType", &TextDocument::leadingType, kPara, false, "LeadingType", 10812, 10813},
    {"startIndent", &TextDocument::startIndent, kPara},
    {"endIndent", &TextDocument::endIndent, kPara},
    {"firstLineIndent", &TextDocument::firstLineIndent, kPara},
    {"spaceBefore", &TextDocument::spaceBefore, kPara},
    {"spaceAfter", &TextDocument::spaceAfter, kPara},
    {"boxAutoFitPolicy", &TextDocument::boxAutoFitPolicy, Panel::None, false, "BoxAutoFitPolicy",
     13412, 13415},
    {"boxFirstBaselineAlignment", &TextDocument::boxFirstBaselineAlignment, Panel::None, false,
     "BoxFirstBaselineAlignment", 13012, 13020},
    {"boxFirstBaselineAlignmentMinimum", &TextDocument::boxFirstBaselineAlignmentMinimum},
    {"boxInsetSpacing", &TextDocument::boxInsetSpacing},
    {"boxVerticalAlignment", &TextDocument::boxVerticalAlignment, Panel::None, false,
     "BoxVerticalAlignment", 12812, 12815},
    {"lineOrientation", &TextDocument::lineOrientation, Panel::None, false, "LineOrientation",
     13212, 13214},
};

// Read from the other attributes; a script cannot set them.
const char* const kDerived[] = {"pointText", "allCaps",        "smallCaps",         "superscript",
                                "subscript", "paragraphCount", "composedLineCount", "boxOverflow"};

const Attribute& Find(const std::string& name) {
    for (const auto& a : kAttributes)
        if (name == a.name) return a;
    throw ModelError("\"" + name + "\" is not an attribute of a TextDocument");
}

[[noreturn]] void NotModelled(const std::string& name) {
    throw ModelError("\"" + name + "\" is not modelled by the simulated host");
}

// The spans of the text that end at a paragraph's break (a carriage return, a line feed, the
// pair as one), and with `lineBreaks` also at a forced line break (U+0003), in UTF-16 units.
std::vector<TextDocument::Span> Spans(const std::string& text, bool lineBreaks) {
    std::vector<TextDocument::Span> out;
    int start = 0, at = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t bytes = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        at += bytes == 4 ? 2 : 1;
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') bytes = 2, ++at;
        if (c == '\r' || c == '\n' || (lineBreaks && c == 0x03)) {
            out.emplace_back(start, at);
            start = at;
        }
        i += bytes;
    }
    out.emplace_back(start, at);
    return out;
}

}  // namespace

json TextDocument::Get(const std::string& attribute) const {
    if (attribute == "pointText") return !boxText;
    if (attribute == "allCaps") return fontCapsOption == 11014;
    if (attribute == "smallCaps") return fontCapsOption == 11013 || fontCapsOption == 11015;
    if (attribute == "superscript") return fontBaselineOption == 11213;
    if (attribute == "subscript") return fontBaselineOption == 11214;
    if (attribute == "paragraphCount") return Paragraphs().size();
    // Point text has no box to overflow; a box's overflow depends on font metrics.
    if (attribute == "boxOverflow") {
        if (boxText) NotModelled(attribute);
        return false;
    }
    if (attribute == "composedLineCount") {
        if (!composedLines) NotModelled(attribute);
        return composedLines->size();
    }
    if ((attribute == "fillColor" && !applyFill) || (attribute == "strokeColor" && !applyStroke))
        throw ModelError("Unable to get \"" + attribute + "\". " +
                         (attribute == "fillColor" ? "applyFill" : "applyStroke") +
                         " is not true.");
    if (attribute == "boxTextSize" && !boxText)
        throw ModelError("Unable to get \"boxTextSize\". The text is not box text.");
    if (attribute == "leading" && autoLeading) return 0.0;
    if (attribute == "kerning" && autoKernType != 11412) return 0.0;
    return std::visit([&](auto field) { return json(this->*field); }, Find(attribute).field);
}

void TextDocument::Set(const std::string& attribute, const json& value) {
    // Read-only; one the model cannot read here says so on a write too.
    for (const char* derived : kDerived) {
        if (attribute != derived) continue;
        Get(attribute);
        Refuse(attribute, "It is read-only.");
    }
    if (Find(attribute).readOnly) Refuse(attribute, "It is read-only.");
    // An older document's engine can be brought forward, never back.
    if (attribute == "composerEngine" && value.is_number() && value.get<double>() == 10412)
        Refuse(attribute, "Only ComposerEngine.UNIVERSAL_TYPE_ENGINE can be set.");
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
    } else if (attribute == "kerning") {
        kerning = std::trunc(Number(attribute, value));  // a whole number of thousandths
        autoKernType = 11412;                            // NO_AUTO_KERN
    } else if (attribute == "tsume") {
        tsume = InRange(attribute, value, 0, 100);
    } else if (attribute == "justification") {
        const double n = Number(attribute, value);
        if (n != std::floor(n) || n < kMultipleJustifications || n > kLastJustification)
            Refuse(attribute, "Value " + FormatNumber(n) + " is not a ParagraphJustification.");
        justification = n == kMultipleJustifications ? kCenterJustify : static_cast<int>(n);
    } else if (a.enumeration != nullptr) {
        const double n = Number(attribute, value);
        if (n != std::floor(n) || n < a.first || n > a.last)
            Refuse(attribute,
                   "Value " + FormatNumber(n) + " is not " +
                       (std::string("AEIOU").find(a.enumeration[0]) == std::string::npos ? "a "
                                                                                         : "an ") +
                       a.enumeration + ".");
        this->*std::get<int TextDocument::*>(a.field) = static_cast<int>(n);
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

namespace {
void ResetPanel(TextDocument& doc, Panel panel) {
    const TextDocument fresh;
    for (const auto& a : kAttributes)
        if (a.panel == panel) std::visit([&](auto field) { doc.*field = fresh.*field; }, a.field);
}
}  // namespace

void TextDocument::ResetCharStyle() { ResetPanel(*this, Panel::Character); }

void TextDocument::ResetParagraphStyle() { ResetPanel(*this, Panel::Paragraph); }

void TextDocument::Compose() {
    if (boxText)
        composedLines.reset();
    else
        composedLines = Spans(text, true);
}

std::vector<TextDocument::Span> TextDocument::Paragraphs() const { return Spans(text, false); }

json TextDocument::IndexesAt(const std::string& method, const json& index) const {
    const bool lines = method == "composedLineCharacterIndexesAt";
    if (lines && !composedLines) NotModelled(method);
    const std::vector<Span> spans = lines ? *composedLines : Paragraphs();
    if (!index.is_number() || !std::isfinite(index.get<double>()))
        ThrowParameter(method, 1, "Value is not a number.");
    const double at = index.get<double>();
    if (at != std::floor(at)) ThrowParameter(method, 1, "Value is not a whole number.");
    if (at < 0 || at > spans.back().second)
        ThrowParameterRange(method, 1, at, 0, spans.back().second);
    Span found = spans.back();
    for (auto it = spans.rbegin(); it != spans.rend(); ++it)
        if (at < it->second) found = *it;
    // Lines composed from a longer text than the document now holds.
    if (found.second > Spans(text, false).back().second)
        ThrowCall(method, "the composed lines no longer fit the text");
    return {{"start", found.first}, {"end", found.second}};
}

json TextDocument::ToJson() const {
    json record = json::object();
    for (const auto& a : kAttributes)
        record[a.name] = std::visit([&](auto field) { return json(this->*field); }, a.field);
    if (composedLines) record["composedLines"] = *composedLines;
    return record;
}

void TextDocument::Apply(const json& record) {
    if (!record.is_object()) throw ModelError("A TextDocument is a record of its attributes");
    for (const auto& [key, value] : record.items())
        if (key != "composedLines") Find(key);
    // boxText first: the box size is checked against it.
    if (record.contains("boxText")) Store("boxText", record["boxText"]);
    // As stored, not as read: a colour is kept while its fill is off.
    const bool fill = record.value("applyFill", applyFill),
               stroke = record.value("applyStroke", applyStroke);
    for (const auto& a : kAttributes)
        if (record.contains(a.name) && !(std::string(a.name) == "boxTextSize" && !boxText))
            Store(a.name, record[a.name]);
    applyFill = fill;
    applyStroke = stroke;
    if (record.contains("leading") && record.value("autoLeading", true)) autoLeading = true;
    if (record.contains("composedLines"))
        composedLines = record["composedLines"].get<std::vector<Span>>();
}

TextDocument TextDocument::FromJson(const json& record, const std::string& method, int parameter) {
    if (!record.is_object()) ThrowParameter(method, parameter, "Value is not a TextDocument.");
    TextDocument doc;
    try {
        doc.Apply(record);
    } catch (const ModelError&) {
        ThrowParameter(method, parameter, "Value is not a TextDocument.");
    } catch (const json::exception&) {
        ThrowParameter(method, parameter, "Value is not a TextDocument.");
    }
    return doc;
}

}  // namespace hostsim::model
