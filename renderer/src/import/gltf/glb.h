// The binary glTF container (.glb): split into its JSON and binary chunk, and
// written from them. The one GLB writer for the renderer and the tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gltf {

// A little-endian 32-bit number, as glTF stores them.
std::uint32_t ReadU32(const unsigned char* p);

// A GLB file's parts, pointing into the file's bytes.
struct GlbParts {
    std::uint32_t version = 0;
    const unsigned char* json = nullptr;
    std::size_t jsonLength = 0;
    const unsigned char* bin = nullptr;  // null when the file has no binary chunk (or body, in version 1)
    std::size_t binLength = 0;
};

// Splits a GLB (version 2, or the older version 1 whose body follows its JSON) into
// its parts. "" on success, else what is wrong: a length reaching past the file.
std::string SplitGlb(const unsigned char* file, std::size_t size, GlbParts& out);

// A version 2 GLB of `json` (padded with spaces) and, when `withBin`, a binary chunk of
// [bin, bin + binLength) (padded with zeros).
std::vector<unsigned char> WriteGlb(const std::string& json, const unsigned char* bin, std::size_t binLength, bool withBin);

}  // namespace gltf
