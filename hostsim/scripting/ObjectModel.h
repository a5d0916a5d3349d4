// The object model's script half (ObjectModel.js), built into the program at build time by
// EmbedScript.cmake: the script's UTF-8 text, ending with a NUL; and the member list beside it.
#pragma once

namespace hostsim {

extern const char kObjectModel[];
// The host's member list (members.json, from its public type definitions), as JSON text.
extern const char kMemberList[];
// The script environment's half (Environment.js): a function the object model calls.
extern const char kEnvironmentModel[];

}  // namespace hostsim
