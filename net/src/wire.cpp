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
    if (value == 0) {
        Bits(0, 2);
    } else if (value < (1u << 7)) {
        Bits(1, 2);
        Bits(value, 7);
    } else if (value < (1u << 14)) {
        Bits(2, 2);
        Bits(value, 14);
    } else {
        Bits(3, 2);
        Bits(value, 32);
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
    switch (Bits(2)) {
        case 0: return 0;
        case 1: return Bits(7);
        case 2: return Bits(14);
        default: return Bits(32);
    }
}

std::string BitReader::Text(size_t most) {
    const size_t n = Byte();
    if (n > most) failed = true;
    std::string text;
    for (size_t i = 0; i < n && !failed; ++i) text.push_back(static_cast<char>(Byte()));
    return failed ? std::string() : text;
}

}  // namespace n3d
