// MessageAssembler: turns received bytes, in whatever pieces they arrive, into messages (the
// text between line feeds; every other byte, zero included, is part of the message). An
// unterminated tail is kept and joined with the next piece; the owner decides when it counts
// as a message (FlushTail). A message longer than the bound is traced and dropped up to its
// line feed.
// Threading: used by one thread at a time (the socket thread); owns its tail buffer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "Protocol.h"

namespace Cuebridge {

class MessageAssembler {
public:
    static constexpr std::size_t kMaxMessageSize = Protocol::kMaxMessageBytes;

    explicit MessageAssembler(std::size_t maxMessageSize = kMaxMessageSize)
        : maxMessageSize_(maxMessageSize) {}

    // Calls onMessage(std::string_view) for every message completed by the bytes, in
    // order; onMessage returns false to stop (the rest of the bytes is dropped).
    // Returns false when onMessage stopped it.
    template <class OnMessage>
    bool Feed(std::string_view bytes, OnMessage&& onMessage);

    // Hands the kept tail over as a message (nothing when there is none).
    template <class OnMessage>
    bool FlushTail(OnMessage&& onMessage);

    bool HasTail() const { return !tail_.empty(); }
    void Reset();

private:
    // A tail buffer grown past this is given back once emptied.
    static constexpr std::size_t kKeptCapacity = std::size_t{1} << 20;

    // Adds unterminated bytes to the tail, or starts dropping when they make it too long.
    void KeepTail(std::string_view bytes);
    // Empties the tail; gives back the memory of an unusually large one.
    void ClearTail();
    // True when a message of this many bytes is over the bound (traced).
    bool TooLong(std::size_t size) const;

    std::size_t maxMessageSize_;
    std::string tail_;
    bool dropping_ = false;  // inside an over-long message, until its line feed
};

// ---- template definitions ------------------------------------------------------------

template <class OnMessage>
bool MessageAssembler::Feed(std::string_view bytes, OnMessage&& onMessage) {
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
        const std::string_view piece = bytes.substr(start, end - start);
        if (dropping_) {  // the line feed ends the dropped message
            dropping_ = false;
            continue;
        }
        bool go = true;
        if (tail_.empty()) {
            if (!TooLong(piece.size())) go = onMessage(piece);
        } else {
            if (!TooLong(tail_.size() + piece.size())) {
                tail_.append(piece);
                go = onMessage(std::string_view(tail_));
            }
            ClearTail();
        }
        if (!go) return false;
    }
    KeepTail(bytes.substr(start));
    return true;
}

template <class OnMessage>
bool MessageAssembler::FlushTail(OnMessage&& onMessage) {
    if (tail_.empty()) return true;
    const bool go = onMessage(std::string_view(tail_));
    ClearTail();
    return go;
}

}  // namespace Cuebridge
