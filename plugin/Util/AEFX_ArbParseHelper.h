// Text-cell parsing for tab-separated rows, and bounded text appending.
// Contract: a cell is at most 256 characters (longer runs are split at 256); the
// destination of a cell needs 257 bytes; nothing is written beyond a stated capacity.
// Any thread: the functions keep no state. The input/output records are not used and
// may be null; text, position and destination pointers belong to the caller.
#pragma once

#include "AEFX_Export.h"
#include "AE_Effect.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    AEFX_ParseError_END_OF_ROW = 0xFEBE00,  // position on a CR or the end of the text
    AEFX_ParseError_APPEND_OVERFLOW = 0xFEBE01,
    AEFX_ParseError_NOT_A_NUMBER = 0xFEBE02,
    AEFX_ParseError_NO_MATCH = 0xFEBE03,
};

// Longest cell, in characters; a cell destination needs one byte more.
#define AEFX_CELL_SIZE 256

// Appends src to dest when the result fits in dest_size characters (dest must hold
// dest_size + 1 bytes); otherwise 0xFEBE01 and nothing changes.
CUEBRIDGE_EXPORT A_Err AEFX_AppendText(const A_char* src, A_u_long dest_size, A_char* dest,
                                       A_u_long* current_length);

// Copies the cell at text[*position] into cell (leading white space and trailing
// spaces removed) and moves *position to the next cell, or onto the row end.
CUEBRIDGE_EXPORT A_Err AEFX_ParseCell(PF_InData* in_data, PF_OutData* out_data, const A_char* text,
                                      A_long* position, A_char* cell);

// Parses one cell as a number with strtod; 0xFEBE02 (value untouched) when the cell
// does not start with a digit, '.' or '-'.
CUEBRIDGE_EXPORT A_Err AEFX_ParseFpLong(PF_InData* in_data, PF_OutData* out_data,
                                        const A_char* text, A_long* position, A_FpLong* value);

// Consumes the next cell when it equals expected; otherwise leaves *position alone.
// Without a match flag a mismatch is reported as 0xFEBE03.
CUEBRIDGE_EXPORT A_Err AEFX_MatchCell(PF_InData* in_data, PF_OutData* out_data,
                                      const A_char* expected, const A_char* text, A_long* position,
                                      A_Boolean* matched);

#ifdef __cplusplus
}
#endif
