// Many deterministic random inputs through the parsing functions: every write must stay
// inside its destination (guard bytes around it) and every position inside the text.
// Texts live in heap blocks of their exact size, so an over-read shows under asan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "AEFX_ArbParseHelper.h"

namespace {

constexpr int kRounds = 20000;
constexpr std::size_t kGuard = 32;
constexpr unsigned char kGuardByte = 0xA5;

// A destination with guard bytes on both sides.
template <std::size_t N>
struct Guarded {
    unsigned char before[kGuard];
    char data[N];
    unsigned char after[kGuard];
    Guarded() {
        std::memset(before, kGuardByte, kGuard);
        std::memset(data, kGuardByte, N);
        std::memset(after, kGuardByte, kGuard);
    }
    bool Intact() const {
        auto untouched = [](const unsigned char* p) {
            return std::all_of(p, p + kGuard, [](unsigned char b) { return b == kGuardByte; });
        };
        return untouched(before) && untouched(after);
    }
};

// Row-like text: mostly separators, blanks and number characters, some bytes > 127,
// occasionally long runs that cross the 256-character cell limit.
std::string RandomText(std::mt19937& rng) {
    static constexpr char kAlphabet[] = "\t\t\r\n \v\f  0123456789.-+eEabcXYZ%\xe9\xff\x80";
    constexpr std::size_t kLetters = sizeof kAlphabet - 1;
    std::uniform_int_distribution<int> lengthOf(0, 700), pick(0, kLetters - 1), longRun(0, 9);
    std::string text;
    const int length = lengthOf(rng);
    while (static_cast<int>(text.size()) < length) {
        if (longRun(rng) == 0) text.append(std::uniform_int_distribution<int>(200, 400)(rng), 'q');
        text.push_back(kAlphabet[pick(rng)]);
    }
    return text;
}

std::unique_ptr<char[]> ExactCopy(const std::string& text) {
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Parses every cell of every row of the text, checking each result.
void WalkAllCells(const char* text, A_long length) {
    A_long position = 0;
    for (int steps = 0; steps <= 2 * length + 2; ++steps) {
        Guarded<AEFX_CELL_SIZE + 1> cell;
        const A_long before = position;
        const A_Err err = AEFX_ParseCell(nullptr, nullptr, text, &position, cell.data);
        ASSERT_TRUE(cell.Intact());
        if (err == AEFX_ParseError_END_OF_ROW) {
            ASSERT_EQ(position, before);
            ASSERT_TRUE(text[position] == '\r' || text[position] == '\0');
            if (text[position] == '\0') return;
            ++position;  // the caller steps over the row end
            continue;
        }
        ASSERT_EQ(err, 0);
        ASSERT_GT(position, before);
        ASSERT_LE(position, length);
        const std::size_t cellLength = strnlen(cell.data, sizeof cell.data);
        ASSERT_LT(cellLength, sizeof cell.data);
        if (cellLength == 0) continue;
        ASSERT_FALSE(IsBlank(cell.data[0]));
        ASSERT_NE(cell.data[cellLength - 1], ' ');
        const std::string_view consumed(text + before, position - before);
        ASSERT_NE(consumed.find(std::string_view(cell.data, cellLength)), std::string_view::npos);
    }
    FAIL() << "the walk did not reach the end of the text";
}

TEST(ParseFuzz, CellWalksStayInsideTextAndCell) {
    std::mt19937 rng(20240604);
    for (int round = 0; round < kRounds; ++round) {
        const std::string text = RandomText(rng);
        SCOPED_TRACE(round);
        const auto copy = ExactCopy(text);
        WalkAllCells(copy.get(), static_cast<A_long>(text.size()));
        if (HasFatalFailure()) return;
    }
}

TEST(ParseFuzz, NumbersAndMatchesKeepTheirPromises) {
    std::mt19937 rng(7);
    constexpr double kSentinel = -12345.0;
    for (int round = 0; round < kRounds; ++round) {
        const std::string text = RandomText(rng);
        SCOPED_TRACE(round);
        const auto copy = ExactCopy(text);
        const A_long length = static_cast<A_long>(text.size());
        const A_long start = std::uniform_int_distribution<A_long>(0, length)(rng);

        A_long numberPos = start;
        double value = kSentinel;
        const A_Err numberErr = AEFX_ParseFpLong(nullptr, nullptr, copy.get(), &numberPos, &value);
        ASSERT_TRUE(numberErr == 0 || numberErr == AEFX_ParseError_END_OF_ROW ||
                    numberErr == AEFX_ParseError_NOT_A_NUMBER);
        ASSERT_LE(numberPos, length);
        if (numberErr != 0) {
            ASSERT_EQ(value, kSentinel);
        }
        if (numberErr == AEFX_ParseError_END_OF_ROW) {
            ASSERT_EQ(numberPos, start);
        }

        // Expect either the real next cell or some other text.
        char realCell[AEFX_CELL_SIZE + 1] = "";
        A_long cellEnd = start;
        AEFX_ParseCell(nullptr, nullptr, copy.get(), &cellEnd, realCell);
        const bool takeRealCell = rng() % 2 == 0;
        const char* expected = takeRealCell ? realCell : "0.5";
        A_long matchPos = start;
        A_Boolean matched = 2;
        const A_Err matchErr =
            AEFX_MatchCell(nullptr, nullptr, expected, copy.get(), &matchPos, &matched);
        ASSERT_TRUE(matchErr == 0 || matchErr == AEFX_ParseError_END_OF_ROW);
        ASSERT_TRUE(matched == 0 || matched == 1);
        ASSERT_EQ(matchPos, matched ? cellEnd : start);
        if (takeRealCell && matchErr == 0) {
            ASSERT_EQ(matched, 1);
        }
    }
}

TEST(ParseFuzz, AppendNeverPassesTheSize) {
    std::mt19937 rng(99);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        const A_u_long size = std::uniform_int_distribution<A_u_long>(0, 64)(rng);
        Guarded<65> dest;
        dest.data[0] = '\0';
        A_u_long length = 0;
        for (int step = 0; step < 12; ++step) {
            const std::string source(std::uniform_int_distribution<int>(0, 20)(rng), 'a' + step);
            const std::string beforeText(dest.data, length);
            const A_Err err = AEFX_AppendText(source.c_str(), size, dest.data, &length);
            ASSERT_TRUE(dest.Intact());
            ASSERT_LE(length, size);
            if (err == 0) {
                ASSERT_EQ(std::string(dest.data), beforeText + source);
            } else {
                ASSERT_EQ(err, AEFX_ParseError_APPEND_OVERFLOW);
                ASSERT_EQ(std::string(dest.data), beforeText);
            }
            // Nothing may land beyond size + 1 bytes of the destination.
            for (std::size_t k = size + 1; k < sizeof dest.data; ++k) {
                ASSERT_EQ(static_cast<unsigned char>(dest.data[k]), kGuardByte) << k;
            }
        }
    }
}

}  // namespace
