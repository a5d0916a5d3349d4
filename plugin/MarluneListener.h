// MarluneListener: the socket server the entry point starts. Adds the stricter message
// entry ProcessMessage: split at every '|', at least three fields, then dispatched.
// Threading: ProcessMessage on the socket thread. Created once, never destroyed.
#pragma once

#include <string>

#include "MarluneSocket.h"

namespace Cuebridge {

class MarluneListener : public MarluneSocket {
public:
    MarluneListener() = default;
    // socket thread: "" and the trace "Invalid message" for fewer than three fields.
    std::string ProcessMessage(std::string message) override;
};

}  // namespace Cuebridge
