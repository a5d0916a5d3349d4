#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Commands.h"
#include "Effects.h"
#include "Verbose.h"

using namespace Cuebridge::Ctl;

TEST(Effects, ParsesRecordsBackToBack) {
    struct Case {
        std::string list;
        std::vector<std::vector<std::string>> expected;
    };
    const Case cases[] = {
        {"", {}},
        {"ADBE Blur|Blur|Blur & Sharpen*|*", {{"ADBE Blur", "Blur", "Blur & Sharpen"}}},
        // A display name with a bar keeps it: the match name ends at the first bar, the category
        // starts at the last.
        {"m|Left|Right|cat*|*", {{"m", "Left|Right", "cat"}}},
        {"m||*|*", {{"m", "", ""}}},
        {"a|b|c*|*tail|x|y", {{"a", "b", "c"}, {"tail", "x", "y"}}},
    };
    for (const Case& c : cases) {
        std::vector<Effect> effects = ParseEffects(c.list);
        ASSERT_EQ(effects.size(), c.expected.size()) << c.list;
        for (size_t i = 0; i < effects.size(); ++i) {
            EXPECT_EQ(effects[i].matchName, c.expected[i][0]) << c.list;
            EXPECT_EQ(effects[i].displayName, c.expected[i][1]) << c.list;
            EXPECT_EQ(effects[i].category, c.expected[i][2]) << c.list;
        }
    }
}

TEST(Effects, TableAlignsColumnsByCharactersNotBytes) {
    std::string table =
        FormatEffectsTable({{"ADBE Été", "Été", "Flou"}, {"ADBE Glow Long", "Glow", "Stylize"}});
    EXPECT_EQ(table,
              "MATCH NAME      DISPLAY NAME  CATEGORY\n"
              "ADBE Été        Été           Flou\n"
              "ADBE Glow Long  Glow          Stylize\n");
}

TEST(Effects, JsonKeepsUtf8AndReplacesInvalidBytes) {
    std::string text = FormatEffectsJson({{"m|x", "Été", std::string("bad\xFF")}});
    nlohmann::json parsed = nlohmann::json::parse(text);
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0]["matchName"], "m|x");
    EXPECT_EQ(parsed[0]["displayName"], "Été");
    EXPECT_EQ(parsed[0]["category"], "bad\xEF\xBF\xBD");
}

TEST(ScriptArgument, LineEndsBecomeCarriageReturnsAndAZeroByteIsRefused) {
    const struct {
        std::string script;
        std::string argument;
    } cases[] = {
        {"var a = 1;\nvar b = 2;\n", "var a = 1;\rvar b = 2;\r"},
        {"a\r\nb", "a\rb"},
        {"\r\n\r\n", "\r\r"},
    };
    for (const auto& c : cases) {
        std::string problem;
        std::optional<std::string> argument = ScriptToArgument(c.script, problem);
        ASSERT_TRUE(argument.has_value()) << problem;
        EXPECT_EQ(*argument, c.argument);
        EXPECT_EQ(argument->find('\n'), std::string::npos);
    }
    std::string problem;
    EXPECT_FALSE(ScriptToArgument(std::string("a\0b", 3), problem).has_value());
    EXPECT_NE(problem.find("zero byte"), std::string::npos);
}

TEST(Verbose, EscapesControlBytesOnly) {
    EXPECT_EQ(EscapeBytes(std::string("a|b\n\r\t\\\x01\x7F\0é", 12)),
              "a|b\\n\\r\\t\\\\\\x01\\x7F\\x00é");
}
