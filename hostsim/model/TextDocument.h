// A text layer's source text as the host's TextDocument holds it: the text and the character
// and paragraph settings a script reads and writes, with the host's ranges and rules (a fill
// colour reads only while the fill is applied, and setting it applies the fill). One style for
// the whole text: the character settings are the first character's, the paragraph settings
// every paragraph's. Crosses to the script as a record of its attributes. Plain value; any
// thread.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Property.h"

namespace hostsim::model {

// ParagraphJustification values as the host numbers them.
inline constexpr int kLeftJustify = 7413, kCenterJustify = 7415, kMultipleJustifications = 7412,
                     kLastJustification = 7419;
// LineOrientation values.
inline constexpr int kHorizontal = 13212, kVerticalRightToLeft = 13213;

struct TextDocument {
    std::string text;
    std::string font = "ArialMT";
    double fontSize = 72;
    Value fillColor{1, 1, 1}, strokeColor{0, 0, 0};
    bool applyFill = true, applyStroke = false, strokeOverFill = false;
    double strokeWidth = 1;
    int justification = kLeftJustify;
    double tracking = 0, leading = 0, baselineShift = 0;
    bool autoLeading = true, fauxBold = false, fauxItalic = false;
    bool boxText = false;
    Value boxTextSize{0, 0};

    // Character settings (enumerations as the host numbers them).
    int autoKernType = 11413;        // METRIC_KERN
    int baselineDirection = 11612;   // BASELINE_WITH_STREAM
    int digitSet = 12012;            // DEFAULT_DIGITS
    int fontBaselineOption = 11212;  // FONT_NORMAL_BASELINE
    int fontCapsOption = 11012;      // FONT_NORMAL_CAPS
    int lineJoinType = 11812;        // LINE_JOIN_MITER
    double kerning = 0;              // whole; read only without auto kerning
    bool ligatures = true, noBreak = false;
    double horizontalScale = 1, verticalScale = 1, tsume = 0;  // normalised: 1 is 100 %
    // Paragraph settings.
    bool autoHyphenate = true, everyLineComposer = false, hangingRoman = false;
    int composerEngine = 10413;  // UNIVERSAL_TYPE_ENGINE
    int direction = 10212;       // DIRECTION_LEFT_TO_RIGHT
    int leadingType = 10812;     // ROMAN_LEADING_TYPE
    double startIndent = 0, endIndent = 0, firstLineIndent = 0, spaceBefore = 0, spaceAfter = 0;
    // The box's settings and the layer's line orientation.
    int boxAutoFitPolicy = 13412;           // NONE
    int boxFirstBaselineAlignment = 13013;  // ASCENT
    int boxVerticalAlignment = 12812;       // TOP
    double boxFirstBaselineAlignmentMinimum = 0, boxInsetSpacing = 0;
    int lineOrientation = kHorizontal;

    // A text span in the script's string indexes (UTF-16 units): [start, end), the end past
    // the line's or paragraph's break.
    using Span = std::pair<int, int>;
    // The composed lines as they were when the document was last composed (a later change to
    // the text does not recompose it, as in the host); none for box text, whose lines depend
    // on font metrics the model does not have.
    std::optional<std::vector<Span>> composedLines;
    // Composes the text: point text breaks only where a line or paragraph ends.
    void Compose();
    // The paragraphs of the current text, at least one (the last may be empty).
    std::vector<Span> Paragraphs() const;
    // {start, end} of the paragraph, or of the composed line, at a character index; throws
    // the parameter error of `method` for an index outside the text.
    nlohmann::json IndexesAt(const std::string& method, const nlohmann::json& index) const;

    // The attribute as a script reads it; throws with the host's rule (a fill colour
    // without a fill, a box size of point text).
    nlohmann::json Get(const std::string& attribute) const;
    // Checks the value for the attribute, then sets it; throws "Unable to set ..." and
    // changes nothing when refused.
    void Set(const std::string& attribute, const nlohmann::json& value);
    void ResetCharStyle();       // the character settings
    void ResetParagraphStyle();  // the paragraph settings

    // Every attribute, as the script half keeps it.
    nlohmann::json ToJson() const;
    // A record ToJson made (the script may have changed it): checked attribute by attribute;
    // throws the parameter error of `method` for anything else.
    static TextDocument FromJson(const nlohmann::json& record, const std::string& method,
                                 int parameter);
    // Stores each attribute of the record as it is kept (a read-only one too, and a composer
    // engine the script could not set, as a project file describes a document): throws the
    // attribute's "Unable to set" error, or names an attribute the document lacks.
    void Apply(const nlohmann::json& record);

private:
    void Store(const std::string& attribute, const nlohmann::json& value);  // Set, read-only too
};

}  // namespace hostsim::model
