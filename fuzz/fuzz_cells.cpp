// Fuzzes the text-cell functions over arbitrary text. The text and every destination
// live in heap blocks of exactly their stated size, so that the address sanitizer sees
// any read or write past them. Walks the text row by row and cell by cell and checks,
// for every cell: the codes, the position (always forward, never past the end), the
// cell's shape (at most 256 characters, no TAB or CR, no leading white space, no
// trailing space), that the number and match parsers move exactly as the cell parser
// does, leave their outputs alone on failure, and that appending keeps its bound.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "AEFX_ArbParseHelper.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "cells: %s\n", what);
    abort();
}

void Check(bool ok, const char* what) {
    if (!ok) Fail(what);
}

void CheckCellShape(const char* cell) {
    const std::size_t length = strnlen(cell, AEFX_CELL_SIZE + 1);
    Check(length <= AEFX_CELL_SIZE, "cell longer than 256 characters");
    Check(std::strpbrk(cell, "\t\r") == nullptr, "cell holds a separator");
    if (length == 0) return;
    Check(!std::isspace(static_cast<unsigned char>(cell[0])), "leading white space kept");
    Check(cell[length - 1] != ' ', "trailing space kept");
}

// The number and match parsers at `position` must agree with the cell parser.
void CheckNumberAndMatch(const char* text, A_long position, const char* cell, A_long after) {
    A_long numberPosition = position;
    const A_FpLong untouched = -12345.25;
    A_FpLong value = untouched;
    const A_Err numberErr = AEFX_ParseFpLong(nullptr, nullptr, text, &numberPosition, &value);
    Check(numberPosition == after, "number parser moved differently");
    const bool numeric = (cell[0] >= '0' && cell[0] <= '9') || cell[0] == '.' || cell[0] == '-';
    const A_Err expected = numeric ? A_Err{A_Err_NONE} : A_Err{AEFX_ParseError_NOT_A_NUMBER};
    Check(numberErr == expected, "number code");
    if (!numeric) Check(value == untouched, "value written on a failed number");

    A_long matchPosition = position;
    A_Boolean matched = 7;
    Check(AEFX_MatchCell(nullptr, nullptr, cell, text, &matchPosition, &matched) == A_Err_NONE &&
              matched == 1 && matchPosition == after,
          "a cell does not match itself");

    const std::string other = std::string(cell) + "#";
    matchPosition = position;
    Check(AEFX_MatchCell(nullptr, nullptr, other.c_str(), text, &matchPosition, &matched) ==
                  A_Err_NONE &&
              matched == 0 && matchPosition == position,
          "a mismatch moved or matched");
    Check(AEFX_MatchCell(nullptr, nullptr, other.c_str(), text, &matchPosition, nullptr) ==
                  AEFX_ParseError_NO_MATCH &&
              matchPosition == position,
          "a mismatch without a flag");
}

// Appends a cell to a destination of exactly size + 1 bytes.
void CheckAppend(const char* cell, A_u_long size, char* dest, A_u_long* length) {
    const std::string before(dest, *length);
    const A_u_long oldLength = *length;
    const A_Err err = AEFX_AppendText(cell, size, dest, length);
    if (err == AEFX_ParseError_APPEND_OVERFLOW) {
        Check(oldLength + std::strlen(cell) > size, "refused an append that fits");
        Check(*length == oldLength && before == std::string(dest, oldLength), "refusal changed");
        return;
    }
    Check(err == A_Err_NONE, "append code");
    Check(*length == oldLength + std::strlen(cell) && *length <= size, "append length");
    Check(std::strlen(dest) == *length, "append terminator");
}

// Walks every row and cell of the text.
void WalkText(const char* text, std::size_t textLength, A_u_long appendSize) {
    auto cell = std::make_unique<char[]>(AEFX_CELL_SIZE + 1);
    auto dest = std::make_unique<char[]>(appendSize + 1);
    dest[0] = '\0';
    A_u_long appended = 0;

    A_long position = 0;
    while (static_cast<std::size_t>(position) < textLength) {
        const A_long before = position;
        const A_Err err = AEFX_ParseCell(nullptr, nullptr, text, &position, cell.get());
        if (err == AEFX_ParseError_END_OF_ROW) {
            Check(position == before && text[position] == '\r', "end of row elsewhere than a CR");
            Check(AEFX_MatchCell(nullptr, nullptr, "", text, &position, nullptr) ==
                          AEFX_ParseError_END_OF_ROW &&
                      position == before,
                  "match at a row end");
            ++position;  // the caller steps over the row end
            continue;
        }
        Check(err == A_Err_NONE, "cell code");
        Check(position > before && static_cast<std::size_t>(position) <= textLength,
              "position not moved forward within the text");
        Check(position - before <= AEFX_CELL_SIZE + 1, "cell consumed too much");
        CheckCellShape(cell.get());
        CheckNumberAndMatch(text, before, cell.get(), position);
        CheckAppend(cell.get(), appendSize, dest.get(), &appended);
    }
    A_long end = static_cast<A_long>(textLength);
    Check(AEFX_ParseCell(nullptr, nullptr, text, &end, cell.get()) == AEFX_ParseError_END_OF_ROW,
          "no end at the terminating NUL");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const auto appendSize = input.ConsumeIntegralInRange<A_u_long>(0, 512);
    const std::string body = input.ConsumeRemainingBytesAsString();
    const std::size_t textLength = strnlen(body.c_str(), body.size());
    auto text = std::make_unique<char[]>(textLength + 1);  // exactly the text and its NUL
    std::memcpy(text.get(), body.c_str(), textLength + 1);
    WalkText(text.get(), textLength, appendSize);
    return 0;
}
