// UTF-8 read one character at a time, never past the end. Anything that is
// not well-formed (a stray continuation byte, a sequence cut short, an overlong
// form, a surrogate, a value past U+10FFFF) reads as U+FFFD, one for each
// maximal bad subpart, as Unicode recommends.
#pragma once

#include <cstddef>
#include <cstdint>

namespace s2d {

constexpr std::uint32_t kReplacement = 0xFFFD;

// The character at text[at], and `at` moved past it; at < size is required.
inline std::uint32_t NextCodepoint(const unsigned char* text, std::size_t size, std::size_t& at) {
    const unsigned char lead = text[at++];
    if (lead < 0x80) return lead;
    int extra;
    std::uint32_t cp;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, cp = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, cp = lead & 0x0Fu;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, cp = lead & 0x07u;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return kReplacement;
    }
    for (int i = 0; i < extra; ++i) {
        if (at >= size) return kReplacement;
        const unsigned char next = text[at];
        const unsigned char lo = i == 0 ? low : 0x80, hi = i == 0 ? high : 0xBF;
        if (next < lo || next > hi) return kReplacement;  // the bad byte starts the next character
        cp = (cp << 6) | (next & 0x3Fu);
        ++at;
    }
    return cp;
}

}  // namespace s2d
