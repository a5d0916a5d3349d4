// A text layer's document through the host's script runner: its character, paragraph and box
// settings with their enumerations and ranges, the resets, paragraphs and composed lines,
// vertical text layers, the text group's options and the project file's text layers.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/Catalog.h"
#include "core/Host.h"

namespace {

// Each script on a fresh host: its result, or its error's message. `refuse(f)` runs f and
// gives the message it throws, so that a row can read on and show that nothing changed.
void RunRows(const std::vector<std::pair<std::string, std::string>>& rows,
             const hostsim::ProjectSetup& project = hostsim::BuiltInProject()) {
    const std::string prefix =
        "var C = app.project.item(2), d = new TextDocument('ab'); function refuse(f) { "
        "try { f(); } catch (e) { return e.message; } return 'taken'; } ";
    for (const auto& [script, expected] : rows) {
        SCOPED_TRACE(script);
        hostsim::Host host({}, hostsim::BuiltInEffects(), project);
        const auto outcome = host.RunScript(prefix + script);
        EXPECT_EQ(outcome.error.empty() ? outcome.result : outcome.error, expected);
    }
}

TEST(TextOptions, SettingsKeepTheirTypesEnumerationsAndRanges) {
    RunRows({
        // Kept on the layer through setValue; caps and baseline options read as the flags.
        {"d.fontCapsOption = FontCapsOption.FONT_ALL_SMALL_CAPS; d.fontBaselineOption = "
         "FontBaselineOption.FONT_FAUXED_SUBSCRIPT; d.digitSet = DigitSet.HINDI_DIGITS; "
         "d.spaceAfter = 12; d.hangingRoman = true; d.boxInsetSpacing = 4; d.fauxBold = true; "
         "d.tsume = 0.5; var r = C.layers.addText(d).sourceText.value; [r.allCaps, r.smallCaps, "
         "r.subscript, r.superscript, r.digitSet, r.spaceAfter, r.hangingRoman, "
         "r.boxInsetSpacing, r.fauxBold, r.tsume].join()",
         "false,true,true,false,12014,12,true,4,true,0.5"},
        // Manual kerning reads 0 under auto kerning; setting it turns that off.
        {"var k = d.kerning; d.kerning = 25.7; [k, d.kerning, d.autoKernType].join()",
         "0,25,11412"},
        {"[refuse(function () { d.autoKernType = 5; }), d.autoKernType].join('|')",
         "Unable to set \"autoKernType\". Value 5 is not an AutoKernType.|11413"},
        {"refuse(function () { d.lineJoinType = 11813.5; })",
         "Unable to set \"lineJoinType\". Value 11813.5 is not a LineJoinType."},
        {"refuse(function () { d.composerEngine = ComposerEngine.LATIN_CJK_ENGINE; })",
         "Unable to set \"composerEngine\". Only ComposerEngine.UNIVERSAL_TYPE_ENGINE can be set."},
        {"refuse(function () { d.tsume = 101; })",
         "Unable to set \"tsume\". Value 101 out of range 0 to 100."},
        {"refuse(function () { d.startIndent = 'x'; })",
         "Unable to set \"startIndent\". Value is not a number."},
        {"refuse(function () { d.allCaps = true; })",
         "Unable to set \"allCaps\". It is read-only."},
        // Each reset restores its own panel's settings only.
        {"d.fontSize = 20; d.ligatures = false; d.firstLineIndent = 9; d.justification = "
         "ParagraphJustification.RIGHT_JUSTIFY; d.resetCharStyle(); var a = [d.fontSize, "
         "d.ligatures, d.firstLineIndent]; d.resetParagraphStyle(); "
         "a.concat(d.firstLineIndent, d.justification).join()",
         "72,true,9,0,7413"},
    });
}

TEST(TextOptions, ParagraphsAndComposedLinesFollowTheText) {
    RunRows({
        // A line feed, a carriage return and the pair each end a paragraph; a forced line break
        // (U+0003) ends a line only. Indexes count UTF-16 units.
        {"var t = new TextDocument('a\\ud83d\\ude00\\rb\\r\\nc\\u0003d\\ne'); [t.paragraphCount, "
         "t.composedLineCount, t.paragraphCharacterIndexesAt(3).end, "
         "t.paragraphCharacterIndexesAt(5).start, t.paragraphCharacterIndexesAt(12).start, "
         "t.composedLineCharacterIndexesAt(9).start].join()",
         "4,5,4,4,11,9"},
        {"new TextDocument('ab\\r').paragraphCharacterIndexesAt(3).end", "3"},
        {"refuse(function () { d.paragraphCharacterIndexesAt(3); })",
         "Unable to call \"paragraphCharacterIndexesAt\" because of parameter 1. Value 3 out of "
         "range 0 to 2."},
        // The lines are the layer's when read: a change to the text does not recompose them,
        // and lines past the text are refused.
        {"var t = C.layers.addText('x\\ry\\rz').sourceText.value; t.text = 'x'; "
         "[t.composedLineCount, t.paragraphCount, refuse(function () { "
         "t.composedLineCharacterIndexesAt(2); })].join()",
         "3,1,Unable to call \"composedLineCharacterIndexesAt\" because the composed lines no "
         "longer fit the text."},
        {"C.layers.addBoxText([100, 50], 'x').sourceText.value.composedLineCount",
         "Error: \"composedLineCount\" is not modelled by the simulated host (line 1)"},
    });
}

TEST(TextOptions, VerticalLayersTextGroupsAndTheProjectFile) {
    auto project = hostsim::BuiltInProject();
    project.items[1].comp = nlohmann::json::parse(R"({"layers": [
        {"name": "Caption", "type": "text", "text": "Hi", "box": [300, 80],
         "textDocument": {"lineOrientation": 13214, "composerEngine": 10412, "tracking": 5}}]})");
    RunRows(
        {
            // A vertical maker's lines run vertically; addText's run across, whatever the
            // document given says.
            {"var v = C.layers.addVerticalText(d), b = C.layers.addVerticalBoxText([40, 200]), "
             "h = C.layers.addText(v.sourceText.value); [v instanceof TextLayer, "
             "v.sourceText.value.pointText, v.sourceText.value.lineOrientation, "
             "b.sourceText.value.boxTextSize.join(' '), b.sourceText.value.lineOrientation, "
             "h.sourceText.value.lineOrientation].join()",
             "true,true,13213,40 200,13213,13212"},
            {"[refuse(function () { C.layers.addVerticalBoxText([0, 5]); }), C.numLayers].join()",
             "Unable to call \"addVerticalBoxText\" because of parameter 1. Value 0 out of range "
             "1 to 30000.,1"},
            {"var g = C.layers.addText('x').text; [g.numProperties, g.pathOption.matchName, "
             "g.pathOption.property('Perpendicular To Path').value, g.moreOption.name, "
             "g.moreOption.groupingAlignment.value.join(' ')].join()",
             "3,ADBE Text Path Options,1,More Options,0 0"},
            {"var r = C.layer(1).sourceText.value; [r.boxTextSize.join(' '), r.lineOrientation, "
             "r.composerEngine, r.tracking].join()",
             "300 80,13214,10412,5"},
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
