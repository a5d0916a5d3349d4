#include "AEFX_ArbParseHelper.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kTab = '\t';
constexpr char kCarriageReturn = '\r';

bool IsRowEnd(char c) { return c == kCarriageReturn || c == '\0'; }

// isspace is only defined for unsigned char values (and EOF); plain char may be signed.
bool IsWhiteSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool CanStartNumber(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '-'; }

// Pointers the parsers cannot work without, and a position that indexes the text.
bool ValidCursor(const A_char* text, const A_long* position) {
    return text != nullptr && position != nullptr && *position >= 0;
}

// Copies the raw characters of the cell at text[*position] into raw (at most
// AEFX_CELL_SIZE of them plus a NUL) and leaves *position where the next call starts.
void ReadRawCell(const A_char* text, A_long* position, char* raw) {
    A_long pos = *position;
    int length = 0;
    while (length < AEFX_CELL_SIZE) {
        const char c = text[pos];
        if (IsRowEnd(c)) break;  // stays on the row end: the next call reports it
        ++pos;
        if (c == kTab) break;  // a TAB belongs to the cell it ends
        raw[length++] = c;
    }
    raw[length] = '\0';
    *position = pos;
}

void TrimTrailingSpaces(char* cell) {
    std::size_t length = std::strlen(cell);
    while (length > 0 && cell[length - 1] == ' ') cell[--length] = '\0';
}

}  // namespace

extern "C" {

// any thread
A_Err AEFX_AppendText(const A_char* src, A_u_long dest_size, A_char* dest,
                      A_u_long* current_length) {
    if (src == nullptr || dest == nullptr || current_length == nullptr) return A_Err_PARAMETER;
    const std::size_t added = std::strlen(src);
    const A_u_long current = *current_length;
    // Refuse before any arithmetic can wrap: the sum must stay within dest_size.
    if (current > dest_size || added > dest_size - current) return AEFX_ParseError_APPEND_OVERFLOW;
    std::memmove(dest + current, src, added);  // src may lie inside dest
    dest[current + added] = '\0';
    *current_length = current + static_cast<A_u_long>(added);
    return A_Err_NONE;
}

// any thread
A_Err AEFX_ParseCell(PF_InData* /*in_data*/, PF_OutData* /*out_data*/, const A_char* text,
                     A_long* position, A_char* cell) {
    if (!ValidCursor(text, position) || cell == nullptr) return A_Err_PARAMETER;
    if (IsRowEnd(text[*position])) return AEFX_ParseError_END_OF_ROW;

    char raw[AEFX_CELL_SIZE + 1];
    ReadRawCell(text, position, raw);
    const char* start = raw;
    while (IsWhiteSpace(*start)) ++start;
    std::memcpy(cell, start, std::strlen(start) + 1);
    TrimTrailingSpaces(cell);
    return A_Err_NONE;
}

// any thread
A_Err AEFX_ParseFpLong(PF_InData* in_data, PF_OutData* out_data, const A_char* text,
                       A_long* position, A_FpLong* value) {
    if (value == nullptr) return A_Err_PARAMETER;
    char cell[AEFX_CELL_SIZE + 1];
    const A_Err err = AEFX_ParseCell(in_data, out_data, text, position, cell);
    if (err != A_Err_NONE) return err;
    if (!CanStartNumber(cell[0])) return AEFX_ParseError_NOT_A_NUMBER;
    errno = 0;  // range errors are accepted: strtod's clamped result stands
    *value = std::strtod(cell, nullptr);
    return A_Err_NONE;
}

// any thread
A_Err AEFX_MatchCell(PF_InData* in_data, PF_OutData* out_data, const A_char* expected,
                     const A_char* text, A_long* position, A_Boolean* matched) {
    if (expected == nullptr || !ValidCursor(text, position)) return A_Err_PARAMETER;
    const A_long start = *position;
    bool isMatch = false;
    A_Err err = A_Err_NONE;
    if (text[start] == kCarriageReturn) {
        err = AEFX_ParseError_END_OF_ROW;
    } else {
        char cell[AEFX_CELL_SIZE + 1];
        err = AEFX_ParseCell(in_data, out_data, text, position, cell);
        if (err == A_Err_NONE) {
            isMatch = std::strcmp(cell, expected) == 0;
            if (!isMatch) *position = start;  // a cell that does not match stays in place
        }
    }
    if (err == A_Err_NONE && !isMatch && matched == nullptr) err = AEFX_ParseError_NO_MATCH;
    if (matched != nullptr) *matched = isMatch ? 1 : 0;
    return err;
}

}  // extern "C"
