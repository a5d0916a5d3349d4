// The plug-in's fixed string table: seven entries, each a 64-bit index (its position)
// and a 256-byte NUL-padded text. Read-only after load, so any thread may read it.
#pragma once

#include <cstddef>

#include "AE_Types.h"
#include "Util/AEFX_Export.h"

struct TableString {
    A_u_longlong index;
    A_char text[256];
};
static_assert(sizeof(TableString) == 264, "an entry is an 8-byte index and 256 bytes of text");

constexpr std::size_t kStringTableSize = 7;

// The whole table, for callers (and tests) that walk it.
const TableString* StringTable();

// The text of entry index (0 to 6); any other index yields entry 0's empty text.
extern "C" CUEBRIDGE_EXPORT const A_char* GetStringPtr(int index);  // any thread
