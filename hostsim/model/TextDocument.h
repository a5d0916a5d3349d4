// A text layer's source text as the host's TextDocument holds it: the text and the character
// and paragraph settings a script reads and writes, with the host's ranges and rules (a fill
// colour reads only while the fill is applied, and setting it applies the fill). Crosses to
// the script as a record of its attributes. Plain value; any thread.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "Property.h"

namespace hostsim::model {

// ParagraphJustification values as the host numbers them.
inline constexpr int kLeftJustify = 7413, kCenterJustify = 7415, kMultipleJustifications = 7412,
                     kLastJustification = 7419;

struct TextDocument {
    std::string text;
    std::string font = "ArialMT";
    double fontSize = 72;
    Value fillColor{1, 1, 1}, strokeColor{0, 0, 0};
    bool applyFill = true, applyStroke = false, strokeOverFill = false;
    double strokeWidth = 1;
    int justification = kLeftJustify;
    double tracking = 0, leading = 0, baselineShift = 0;
    bool autoLeading = true, fauxBold = false, fauxItalic = false, allCaps = false,
         smallCaps = false;
    bool boxText = false;
    Value boxTextSize{0, 0};

    // The attribute as a script reads it; throws with the host's rule (a fill colour
    // without a fill, a box size of point text).
    nlohmann::json Get(const std::string& attribute) const;
    // Checks the value for the attribute, then sets it; throws "Unable to set ..." and
    // changes nothing when refused.
    void Set(const std::string& attribute, const nlohmann::json& value);
    void ResetCharStyle();       // font, size, colours, stroke, tracking, leading, styles
    void ResetParagraphStyle();  // justification

    // Every attribute, as the script half keeps it.
    nlohmann::json ToJson() const;
    // A record ToJson made (the script may have changed it): checked attribute by attribute;
    // throws the parameter error of `method` for anything else.
    static TextDocument FromJson(const nlohmann::json& record, const std::string& method,
                                 int parameter);

private:
    void Store(const std::string& attribute, const nlohmann::json& value);  // Set, read-only too
};

}  // namespace hostsim::model
