#include "MessageAssembler.h"

#include "Tracer.h"

namespace Cuebridge {

void MessageAssembler::Reset() {
    tail_.clear();
    tail_.shrink_to_fit();
    dropping_ = false;
}

void MessageAssembler::ClearTail() {
    tail_.clear();
    if (tail_.capacity() > kKeptCapacity) tail_.shrink_to_fit();
}

bool MessageAssembler::TooLong(std::size_t size) const {
    if (size <= maxMessageSize_) return false;
    Tracer::TRACE("Message longer than %d bytes dropped", static_cast<int>(maxMessageSize_));
    return true;
}

void MessageAssembler::KeepTail(std::string_view bytes) {
    if (bytes.empty() || dropping_) return;
    if (TooLong(tail_.size() + bytes.size())) {
        ClearTail();
        dropping_ = true;
        return;
    }
    tail_.append(bytes);
}

}  // namespace Cuebridge
