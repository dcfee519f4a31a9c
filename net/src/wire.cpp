#include "wire.h"

namespace n3d {

void BitWriter::Bits(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        if (used_ == 8) {
            bytes_.push_back(0);
            used_ = 0;
        }
        if ((value >> i) & 1u) bytes_.back() = static_cast<uint8_t>(bytes_.back() | (0x80u >> used_));
        ++used_;
    }
}

void BitWriter::Small(uint32_t value) {
    // value + 1 in n bits is written as n - 1 zeros, then its n bits (its top bit a one).
    const uint64_t v = uint64_t{value} + 1;
    int n = 0;
    while ((v >> n) > 1) ++n;
    Bits(0, n);
    if (n >= 32) {
        Bits(static_cast<uint32_t>(v >> 32), 1);
        Bits(static_cast<uint32_t>(v), 32);
    } else {
        Bits(static_cast<uint32_t>(v), n + 1);
    }
}

void BitWriter::Text(const std::string& text) {
    const size_t n = text.size() < 255 ? text.size() : 255;
    Byte(static_cast<uint8_t>(n));
    for (size_t i = 0; i < n; ++i) Byte(static_cast<uint8_t>(text[i]));
}

uint32_t BitReader::Bits(int count) {
    if (failed || bit_ + static_cast<size_t>(count) > size_ * 8) {
        failed = true;
        return 0;
    }
    uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++bit_) value = (value << 1) | ((data_[bit_ >> 3] >> (7 - (bit_ & 7))) & 1u);
    return value;
}

uint32_t BitReader::Small() {
    int n = 0;
    while (!failed && !Bit()) {
        if (++n > 32) {  // no value codes longer
            failed = true;
            return 0;
        }
    }
    if (failed) return 0;
    uint64_t v = 1;
    for (int i = 0; i < n; ++i) v = (v << 1) | Bits(1);
    if (v - 1 > UINT32_MAX) failed = true;  // 32 zeros start only 2^32 itself
    return failed ? 0 : static_cast<uint32_t>(v - 1);
}

std::string BitReader::Text(size_t most) {
    const size_t n = Byte();
    if (n > most) failed = true;
    std::string text;
    for (size_t i = 0; i < n && !failed; ++i) text.push_back(static_cast<char>(Byte()));
    return failed ? std::string() : text;
}

}  // namespace n3d
