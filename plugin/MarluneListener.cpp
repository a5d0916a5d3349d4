#include "MarluneListener.h"

#include <utility>
#include <vector>

#include "Marlune.h"
#include "Protocol.h"
#include "Tracer.h"

namespace Cuebridge {

// socket thread
std::string MarluneListener::ProcessMessage(std::string message) {
    std::vector<std::string> fields = SplitString(std::move(message), Protocol::kFieldSeparator);
    if (fields.size() < 3) {
        Tracer::TRACE("Invalid message");
        return {};
    }
    return Marlune::GetInstance()->ProcessMarluneCommand(std::move(fields));
}

}  // namespace Cuebridge
