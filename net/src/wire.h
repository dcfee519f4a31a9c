// Bits and bytes on the wire: a writer, and a reader that never reads past its
// end (a read past it sets `failed` and yields zeros, so a decoder checks once).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace n3d {

class BitWriter {
public:
    void Bits(uint32_t value, int count);  // the low `count` bits, 0-32
    void Bit(bool value) { Bits(value ? 1u : 0u, 1); }
    // An unsigned number in Elias gamma's code (of value + 1): 0 in 1 bit, 1 and 2 in
    // 3, up to 6 in 5, ... 2^k - 1 and on in 2k + 1, 2^32 - 1 in 65. What is coded is
    // mostly the error of a prediction (a unit or two), an id's step or a peer's number.
    void Small(uint32_t value);
    void SmallSigned(int32_t value) { Small((static_cast<uint32_t>(value) << 1) ^ static_cast<uint32_t>(value >> 31)); }
    void Text(const std::string& text);  // up to 255 bytes: a length byte, then the bytes
    void Byte(uint8_t value) { Bits(value, 8); }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    std::vector<uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    int used_ = 8;  // bits of the last byte used
};

class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint32_t Bits(int count);
    bool Bit() { return Bits(1) != 0; }
    uint32_t Small();
    int32_t SmallSigned() {
        const uint32_t v = Small();
        return static_cast<int32_t>((v >> 1) ^ (0u - (v & 1u)));
    }
    std::string Text(size_t most);  // fails past `most` bytes
    uint8_t Byte() { return static_cast<uint8_t>(Bits(8)); }
    bool failed = false;
    // Whether every bit was read up to the last byte's padding.
    bool AtEnd() const { return bit_ + 8 > size_ * 8; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t bit_ = 0;
};

}  // namespace n3d
