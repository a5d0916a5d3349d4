// A text layer's document through the host's script runner: its character, paragraph and box
// settings with their enumerations and ranges, the resets, paragraphs and composed lines, and
// vertical text layers; every refusal with its wording changes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Catalog.h"
#include "core/Host.h"

namespace {

// Each row on a fresh built-in project: the script's result or error, then what `after` reads.
struct Row {
    std::string script, result, error = "", after = "", afterResult = "";
};

void RunRows(const std::vector<Row>& rows, const hostsim::ProjectSetup& project) {
    const std::string prefix = "var C = app.project.item(2), d = new TextDocument('ab'); ";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        hostsim::Host host({}, hostsim::BuiltInEffects(), project);
        const auto outcome = host.RunScript(prefix + row.script);
        EXPECT_EQ(outcome.result, row.result);
        EXPECT_EQ(outcome.error, row.error.empty() ? "" : "Error: " + row.error + " (line 1)");
        if (!row.after.empty()) {
            EXPECT_EQ(host.RunScript(prefix + row.after).result, row.afterResult);
        }
    }
}

std::string Set(const std::string& attribute, const std::string& reason) {
    return "Unable to set \"" + attribute + "\". " + reason;
}

TEST(TextOptions, SettingsKeepTheirTypesEnumerationsAndRanges) {
    RunRows(
        {
            // Stored on the layer through setValue; caps and baseline options read back as the
            // older flags.
            {"d.fontCapsOption = FontCapsOption.FONT_ALL_SMALL_CAPS; d.fontBaselineOption = "
             "FontBaselineOption.FONT_FAUXED_SUBSCRIPT; d.digitSet = DigitSet.HINDI_DIGITS; "
             "d.spaceAfter = 12; d.hangingRoman = true; d.boxInsetSpacing = 4; d.fauxBold = true; "
             "d.tsume = 0.5; d.direction = ParagraphDirection.DIRECTION_RIGHT_TO_LEFT; "
             "var t = C.layers.addText(d), r = t.sourceText.value; [r.allCaps, r.smallCaps, "
             "r.subscript, r.superscript, r.digitSet === DigitSet.HINDI_DIGITS, r.spaceAfter, "
             "r.hangingRoman, r.boxInsetSpacing, r.fauxBold, r.tsume, r.direction === "
             "ParagraphDirection.DIRECTION_RIGHT_TO_LEFT].join()",
             "false,true,true,false,true,12,true,4,true,0.5,true"},
            // Kerning is manual kerning: 0 under auto kerning; setting it turns that off.
            {"var k = d.kerning; d.kerning = 25.7; [k, d.kerning, d.autoKernType === "
             "AutoKernType.NO_AUTO_KERN].join()",
             "0,25,true"},
            {"d.autoKernType = 5", "", Set("autoKernType", "Value 5 is not an AutoKernType."),
             "d.autoKernType === AutoKernType.METRIC_KERN", "true"},
            {"d.lineJoinType = LineJoinType.LINE_JOIN_ROUND + 0.5", "",
             Set("lineJoinType", "Value 11813.5 is not a LineJoinType.")},
            {"d.composerEngine = ComposerEngine.LATIN_CJK_ENGINE", "",
             Set("composerEngine", "Only ComposerEngine.UNIVERSAL_TYPE_ENGINE can be set.")},
            {"d.tsume = 101", "", Set("tsume", "Value 101 out of range 0 to 100.")},
            {"d.startIndent = 'x'", "", Set("startIndent", "Value is not a number.")},
            {"d.allCaps = true", "", Set("allCaps", "It is read-only.")},
            {"d.paragraphCount = 2", "", Set("paragraphCount", "It is read-only.")},
            // Each reset restores its own panel's settings only.
            {"d.fontSize = 20; d.ligatures = false; d.firstLineIndent = 9; "
             "d.justification = ParagraphJustification.RIGHT_JUSTIFY; d.resetCharStyle(); "
             "var a = [d.fontSize, d.ligatures, d.firstLineIndent]; d.resetParagraphStyle(); "
             "a.concat(d.firstLineIndent, d.justification === "
             "ParagraphJustification.LEFT_JUSTIFY).join()",
             "72,true,9,0,true"},
        },
        hostsim::BuiltInProject());
}

TEST(TextOptions, ParagraphsAndComposedLinesFollowTheText) {
    RunRows(
        {
            // A line feed, a carriage return and the pair each end a paragraph; a forced line
            // break (U+0003) ends a line only. Indexes count UTF-16 units.
            {"var t = new TextDocument('a\\ud83d\\ude00\\rb\\r\\nc\\u0003d\\ne'); "
             "[t.paragraphCount, t.composedLineCount, "
             "t.paragraphCharacterIndexesAt(3).end, t.paragraphCharacterIndexesAt(5).start, "
             "t.paragraphCharacterIndexesAt(12).start, t.composedLineCharacterIndexesAt(9).start]"
             ".join()",
             "4,5,4,4,11,9"},
            {"new TextDocument('ab\\r').paragraphCharacterIndexesAt(3).end", "3"},
            {"d.paragraphCharacterIndexesAt(3)", "",
             "Unable to call \"paragraphCharacterIndexesAt\" because of parameter 1. Value 3 out "
             "of range 0 to 2."},
            // The composed lines are those of the layer when read: a change to the text does
            // not recompose them, and lines past the text are refused.
            {"var t = C.layers.addText('x\\ry\\rz').sourceText.value; t.text = 'x'; "
             "[t.composedLineCount, t.paragraphCount].join()",
             "3,1"},
            {"var t = C.layers.addText('x\\ry').sourceText.value; t.text = 'x'; "
             "t.composedLineCharacterIndexesAt(2)",
             "",
             "Unable to call \"composedLineCharacterIndexesAt\" because the composed lines no "
             "longer fit the text."},
            {"C.layers.addBoxText([100, 50], 'x').sourceText.value.composedLineCount", "",
             "\"composedLineCount\" is not modelled by the simulated host"},
        },
        hostsim::BuiltInProject());
}

TEST(TextOptions, VerticalTextLayersAndTheProjectFile) {
    auto project = hostsim::BuiltInProject();
    project.items[1].comp = nlohmann::json::parse(R"({"layers": [
        {"name": "Caption", "type": "text", "text": "Hi", "box": [300, 80],
         "textDocument": {"lineOrientation": 13214, "composerEngine": 10412, "tracking": 5}}]})");
    RunRows(
        {
            {"var v = C.layers.addVerticalText(d), b = C.layers.addVerticalBoxText([40, 200]), "
             "h = C.layers.addText(v.sourceText.value); [v instanceof TextLayer, "
             "v.sourceText.value.pointText, v.sourceText.value.lineOrientation === "
             "LineOrientation.VERTICAL_RIGHT_TO_LEFT, b.sourceText.value.boxTextSize.join(' '), "
             "b.sourceText.value.lineOrientation === LineOrientation.VERTICAL_RIGHT_TO_LEFT, "
             "h.sourceText.value.lineOrientation === LineOrientation.HORIZONTAL].join()",
             "true,true,true,40 200,true,true"},
            {"C.layers.addVerticalBoxText([0, 5])", "",
             "Unable to call \"addVerticalBoxText\" because of parameter 1. Value 0 out of range "
             "1 to 30000.",
             "C.numLayers", "1"},
            {"var r = C.layer(1).sourceText.value; [r.boxTextSize.join(' '), r.lineOrientation, "
             "r.composerEngine === ComposerEngine.LATIN_CJK_ENGINE, r.tracking].join()",
             "300 80,13214,true,5"},
        },
        project);
    project.items[1].comp["layers"][0]["textDocument"] = {{"tsume", 200}};
    try {
        hostsim::BuildScene(project, hostsim::BuiltInEffects(), "p.json");
        ADD_FAILURE() << "a tsume of 200 was taken";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(),
                     "p.json: items[1].layers[0]: Unable to set \"tsume\". Value 200 "
                     "out of range 0 to 100.");
    }
}

}  // namespace
