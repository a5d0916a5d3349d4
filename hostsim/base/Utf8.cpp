#include "base/Utf8.h"

#include <cstdint>
#include <optional>

namespace hostsim {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Decoded {
    char32_t code;
    std::size_t length;
};

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Decodes one sequence at text[at], allowing encoded surrogates (CESU-8 halves) but
// refusing overlong forms and values beyond U+10FFFF.
std::optional<Decoded> DecodeOne(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) return Decoded{lead, 1};
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else
        return std::nullopt;
    if (at + length > text.size()) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[at + i]);
        if (!IsContinuation(c)) return std::nullopt;
        code = (code << 6) | (c & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF) return std::nullopt;
    return Decoded{code, length};
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string ToValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const auto first = DecodeOne(text, at);
        if (!first) {
            AppendUtf8(out, kReplacement);
            ++at;
            continue;
        }
        at += first->length;
        if (IsHighSurrogate(first->code) && at < text.size()) {
            const auto second = DecodeOne(text, at);
            if (second && IsLowSurrogate(second->code)) {
                at += second->length;
                AppendUtf8(out, 0x10000 + ((first->code - 0xD800) << 10) + (second->code - 0xDC00));
                continue;
            }
        }
        const bool lone = IsHighSurrogate(first->code) || IsLowSurrogate(first->code);
        AppendUtf8(out, lone ? kReplacement : first->code);
    }
    return out;
}

}  // namespace hostsim
