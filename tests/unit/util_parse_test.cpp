// Exact results of cell parsing, bounded appending and rectangles (the cell fuzz target
// checks their invariants over any text).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "AEFX_ArbParseHelper.h"
#include "MarlunePlugin_Strings.h"
#include "Smart_Utils.h"

namespace {

constexpr char kUntouched = '#';

struct CellResult {
    A_Err err;
    std::string cell;  // "" when untouched
    A_long position;
};

CellResult ParseAt(const std::string& text, A_long position) {
    char cell[AEFX_CELL_SIZE + 1];
    std::memset(cell, kUntouched, sizeof cell);
    const A_Err err = AEFX_ParseCell(nullptr, nullptr, text.c_str(), &position, cell);
    return {err, cell[0] == kUntouched ? std::string() : std::string(cell), position};
}

struct CellCase {
    const char* what;
    std::string text;
    A_long start;
    A_Err err;
    std::string cell;
    A_long position;
};

TEST(ParseCell, CutsOneCellAndPlacesThePosition) {
    const std::string longRun(300, 'x');
    const std::string full(256, 'y');
    const std::vector<CellCase> cases = {
        {"blanks around a number", "  42.5 \tabc", 0, 0, "42.5", 8},
        {"cell ended by CR", "abc\r\nxyz", 0, 0, "abc", 3},
        {"row starting with TAB", "\tabc", 0, 0, "", 1},
        {"leading LF, VT, FF and spaces skipped", "\n\v\f x y  \tz", 0, 0, "x y", 10},
        {"only spaces are trimmed at the end", "ab\v \tz", 0, 0, "ab\v", 5},
        {"second cell of a row", "a\tbc\td", 2, 0, "bc", 5},
        {"300 characters: first 256", longRun, 0, 0, std::string(256, 'x'), 256},
        {"300 characters: the remaining 44", longRun, 256, 0, std::string(44, 'x'), 300},
        {"256 characters then TAB: the TAB starts the next cell", full + "\tz", 0, 0, full, 256},
        {"the TAB after a full cell gives an empty cell", full + "\tz", 256, 0, "", 257},
        // At a row's end the position stays (the fuzz target checks the cell is untouched).
        {"row end: the text's end", "abc", 3, AEFX_ParseError_END_OF_ROW, "", 3},
        {"row end: CR", "abc\r\nxyz", 3, AEFX_ParseError_END_OF_ROW, "", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CellResult r = ParseAt(c.text, c.start);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.cell, c.cell);
        EXPECT_EQ(r.position, c.position);
    }
}

TEST(ParseCell, RefusesMissingPointersAndNegativePositions) {
    char cell[AEFX_CELL_SIZE + 1];
    A_long position = 0;
    A_Boolean matched = 2;  // a cell "a" that a match would consume, and a flag it would write
    EXPECT_EQ(AEFX_MatchCell(nullptr, nullptr, nullptr, "a", &position, &matched), A_Err_PARAMETER);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(matched, 2);
    EXPECT_EQ(AEFX_ParseCell(nullptr, nullptr, nullptr, &position, cell), A_Err_PARAMETER);
    EXPECT_EQ(AEFX_ParseCell(nullptr, nullptr, "a", nullptr, cell), A_Err_PARAMETER);
    EXPECT_EQ(AEFX_ParseCell(nullptr, nullptr, "a", &position, nullptr), A_Err_PARAMETER);
    position = -1;
    EXPECT_EQ(AEFX_ParseCell(nullptr, nullptr, "a", &position, cell), A_Err_PARAMETER);
    EXPECT_EQ(position, -1);
}

TEST(ParseFpLong, ConvertsLikeStrtodOrRefuses) {
    constexpr double kSentinel = 777.0;
    struct Case {
        const char* text;
        A_Err err;
        double value;
        A_long position;
    };
    const std::vector<Case> cases = {
        {"-3.25", 0, -3.25, 5},
        {"0.5", 0, 0.5, 3},  // both ends of the digits start a number
        {"9", 0, 9.0, 1},
        {".5e2\tx", 0, 50.0, 5},
        {"12abc", 0, 12.0, 5},
        {"  7  \t", 0, 7.0, 6},
        {"-", 0, 0.0, 1},
        {"1e999", 0, HUGE_VAL, 5},
        {"+1", AEFX_ParseError_NOT_A_NUMBER, kSentinel, 2},
        {"\tx", AEFX_ParseError_NOT_A_NUMBER, kSentinel, 1},
        {"abc", AEFX_ParseError_NOT_A_NUMBER, kSentinel, 3},
        {"\r", AEFX_ParseError_END_OF_ROW, kSentinel, 0},
        {"", AEFX_ParseError_END_OF_ROW, kSentinel, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        A_long position = 0;
        double value = kSentinel;
        EXPECT_EQ(AEFX_ParseFpLong(nullptr, nullptr, c.text, &position, &value), c.err);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(position, c.position);
    }
}

TEST(MatchCell, ConsumesOnlyAMatchingCell) {
    struct Case {
        const char* what;
        const char* text;
        const char* expected;
        bool withFlag;
        A_Err err;
        bool matched;
        A_long position;
    };
    const std::vector<Case> cases = {
        {"match with flag", "abc\tdef", "abc", true, 0, true, 4},
        {"match after trimming", "  abc  \tdef", "abc", true, 0, true, 8},
        {"mismatch with flag", "abc\tdef", "abd", true, 0, false, 0},
        {"mismatch without flag", "abc\tdef", "abd", false, AEFX_ParseError_NO_MATCH, false, 0},
        {"prefix is no match", "abcd", "abc", true, 0, false, 0},
        {"row end with flag", "\rabc", "abc", true, AEFX_ParseError_END_OF_ROW, false, 0},
        {"text end without flag", "", "", false, AEFX_ParseError_END_OF_ROW, false, 0},
        {"empty cell matches empty text", "\tx", "", false, 0, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        A_long position = 0;
        A_Boolean flag = 2;  // neither true nor false: shows whether it was written
        const A_Err err = AEFX_MatchCell(nullptr, nullptr, c.expected, c.text, &position,
                                         c.withFlag ? &flag : nullptr);
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(position, c.position);
        if (c.withFlag) {
            EXPECT_EQ(flag, c.matched ? 1 : 0);
        }
    }
}

TEST(AppendText, AppendsAtTheGivenLengthWithinTheSizeOrNotAtAll) {
    struct Case {
        const char* what;
        const char* source;
        A_u_long size, length;
        A_Err err;
        const char* result;  // the destination after the call, which starts as "hello"
        A_u_long lengthAfter;
    };
    const Case cases[] = {
        {"fits exactly", "de", 7, 5, 0, "hellode", 7},
        {"one byte over", "def", 7, 5, AEFX_ParseError_APPEND_OVERFLOW, "hello", 5},
        {"written at the given length", "y", 15, 2, 0, "hey", 3},
        // Near 2^32 the sum wraps to a small number in 32 bits: still refused.
        {"length that would wrap", "abc", 0xFFFFFFFFu, 0xFFFFFFFEu, AEFX_ParseError_APPEND_OVERFLOW,
         "hello", 0xFFFFFFFEu},
        {"length already past the size", "", 5, 9, AEFX_ParseError_APPEND_OVERFLOW, "hello", 9},
    };
    for (const auto& c : cases) {
        char dest[16] = "hello";
        A_u_long length = c.length;
        EXPECT_EQ(AEFX_AppendText(c.source, c.size, dest, &length), c.err) << c.what;
        EXPECT_STREQ(dest, c.result) << c.what;
        EXPECT_EQ(length, c.lengthAfter) << c.what;
    }
}

PF_LRect Rect(A_long l, A_long t, A_long r, A_long b) { return PF_LRect{l, t, r, b}; }

bool SameRect(const PF_LRect& a, const PF_LRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(Rect, EmptinessTreatsRightAndBottomAsOutside) {
    struct Case {
        PF_LRect r;
        bool empty;
    };
    const std::vector<Case> cases = {
        {Rect(0, 0, 1, 1), false},  {Rect(5, 0, 5, 10), true},     {Rect(0, 5, 10, 5), true},
        {Rect(10, 0, 0, 10), true}, {Rect(-5, -5, -1, -1), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsEmptyRect(&c.r), c.empty)
            << c.r.left << "," << c.r.top << "," << c.r.right << "," << c.r.bottom;
    }
}

TEST(Rect, UnionCoversBothUnlessOneIsEmpty) {
    struct Case {
        const char* what;
        PF_LRect src, dest, expected;
    };
    const std::vector<Case> cases = {
        {"overlap", Rect(5, 5, 20, 20), Rect(0, 0, 10, 10), Rect(0, 0, 20, 20)},
        {"src inside", Rect(2, 2, 3, 3), Rect(0, 0, 10, 10), Rect(0, 0, 10, 10)},
        {"empty src ignored", Rect(50, 50, 50, 60), Rect(0, 0, 10, 10), Rect(0, 0, 10, 10)},
        {"empty dest takes src", Rect(1, 2, 3, 4), Rect(9, 9, 0, 0), Rect(1, 2, 3, 4)},
        {"empty dest takes an empty src", Rect(7, 7, 7, 1), Rect(0, 0, 0, 0), Rect(7, 7, 7, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PF_LRect dest = c.dest;
        UnionLRect(&c.src, &dest);
        EXPECT_TRUE(SameRect(dest, c.expected));
    }
}

TEST(Rect, EdgePixelsIncludeRightAndBottom) {
    PF_LRect r = Rect(0, 0, 10, 10);
    struct Case {
        int x, y;
        bool edge;
    };
    const std::vector<Case> cases = {
        {10, 5, true},  {5, 10, true},  {0, 7, true},   {3, 0, true},   {5, 5, false},
        {11, 5, false}, {-1, 0, false}, {10, 10, true}, {11, 0, false}, {0, 11, false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsEdgePixel(&r, c.x, c.y), c.edge) << c.x << "," << c.y;
}

TEST(Rect, NullRectanglesAreHarmless) {
    PF_LRect r = Rect(0, 0, 1, 1);
    EXPECT_TRUE(IsEmptyRect(nullptr));
    EXPECT_FALSE(IsEdgePixel(nullptr, 0, 0));
    UnionLRect(nullptr, &r);
    UnionLRect(&r, nullptr);
    EXPECT_TRUE(SameRect(r, Rect(0, 0, 1, 1)));
}

TEST(StringTable, IndexOutsideTheTableGivesTheEmptyText) {
    EXPECT_STREQ(GetStringPtr(kStringTableSize - 1), "Error acquiring suite.");  // the last
    for (int index : {-1, 7, 1000}) EXPECT_EQ(GetStringPtr(index), StringTable()[0].text) << index;
}

}  // namespace
