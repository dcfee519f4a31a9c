#include "glb.h"

#include "constants.h"

namespace gltf {

std::uint32_t ReadU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string SplitGlb(const unsigned char* file, std::size_t size, GlbParts& out) {
    out = GlbParts{};
    const std::uint64_t first = kGlbHeaderSize + kChunkHeaderSize;  // version 1's header is as long
    if (size < first) return "the GLB header is cut short";
    out.version = ReadU32(file + 4);
    const std::uint64_t total = ReadU32(file + 8);
    if (total > size) return "the GLB header declares more bytes than the file holds";
    const std::uint64_t jsonLength = ReadU32(file + 12);
    if (first + jsonLength > total) return "the GLB's JSON reaches past its end";
    out.json = file + first;
    out.jsonLength = static_cast<std::size_t>(jsonLength);
    const std::uint64_t next = first + jsonLength;
    if (out.version == 1) {  // the rest of the file is the body
        out.bin = file + next;
        out.binLength = static_cast<std::size_t>(total - next);
    } else if (out.version == 2 && next + kChunkHeaderSize <= total) {
        const std::uint64_t binLength = ReadU32(file + next);
        if (next + kChunkHeaderSize + binLength > total) return "the GLB's binary chunk reaches past its end";
        out.bin = file + next + kChunkHeaderSize;
        out.binLength = static_cast<std::size_t>(binLength);
    }
    return std::string();
}

std::vector<unsigned char> WriteGlb(const std::string& json, const unsigned char* bin, std::size_t binLength, bool withBin) {
    const std::size_t jsonPadded = (json.size() + 3) / 4 * 4;
    const std::size_t binPadded = (binLength + 3) / 4 * 4;
    const std::size_t total = kGlbHeaderSize + kChunkHeaderSize + jsonPadded + (withBin ? kChunkHeaderSize + binPadded : 0);
    std::vector<unsigned char> out;
    out.reserve(total);
    auto u32 = [&out](std::uint64_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    u32(kGlbMagic);
    u32(kGlbVersion);
    u32(total);
    u32(jsonPadded);
    u32(kChunkJson);
    out.insert(out.end(), json.begin(), json.end());
    out.resize(out.size() + (jsonPadded - json.size()), ' ');
    if (withBin) {
        u32(binPadded);
        u32(kChunkBin);
        if (binLength > 0) out.insert(out.end(), bin, bin + binLength);
        out.resize(out.size() + (binPadded - binLength), 0);
    }
    return out;
}

}  // namespace gltf
