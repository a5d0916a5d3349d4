// The object model's script half (ObjectModel.js), built into the program at build time by
// EmbedScript.cmake: the script's UTF-8 text, ending with a NUL.
#pragma once

namespace hostsim {

extern const char kObjectModel[];

}  // namespace hostsim
