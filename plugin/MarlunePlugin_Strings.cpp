#include "MarlunePlugin_Strings.h"

namespace {

// Aggregate initialisation pads each text with NULs up to its 256 bytes.
constexpr TableString kStrings[kStringTableSize] = {
    {0, ""},
    {1, "Ostrelix"},
    {2, "Cuebridge lets a hardware control surface drive the compositing host."},
    {3, "Ostrelix was here."},
    {4, "https://cuebridge.example/"},
    {5, "chapter %d"},
    {6, "Error acquiring suite."},
};

}  // namespace

const TableString* StringTable() { return kStrings; }

// any thread
const A_char* GetStringPtr(int index) {
    const bool inTable = index >= 0 && static_cast<std::size_t>(index) < kStringTableSize;
    return kStrings[inTable ? index : 0].text;
}
