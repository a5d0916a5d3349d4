// Marlune: the command dispatcher. Turns one message, cut into fields (request tag,
// keyword, argument), into a reply sent at once or into work queued for the host's
// main thread. Keeps the installed-effects list gathered at start-up.
// Threading: ProcessMarluneCommand on the socket thread; SetInstalledAEEffects on
// the start-up job's thread; the stored list is guarded by a lock of its own.
// The singleton is created once by the entry point and never destroyed.
#pragma once

#include <string>
#include <vector>

namespace Cuebridge {

class Marlune {
public:
    // main thread, at entry: creates the instance (once) and empties the stored list.
    static void CreateInstance();
    static Marlune* GetInstance();  // any thread; null before CreateInstance

    // socket thread: fields holds at least the tag and the keyword. Returns the reply:
    // "" (nothing to send) or tag + "|" + result text.
    std::string ProcessMarluneCommand(std::vector<std::string> fields);

    // any thread: replaces / reads the stored installed-effects list.
    void SetInstalledAEEffects(std::string effects);
    std::string GetInstalledAEEffects() const;
};

}  // namespace Cuebridge
