// glTF's numbers and words, named once for everything that reads or writes the
// format here: the renderer's check in front of the importer and the tools that
// generate models.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace gltf {

// Accessor component types (OpenGL's type enums).
enum ComponentType : int {
    kByte = 5120,
    kUnsignedByte = 5121,
    kShort = 5122,
    kUnsignedShort = 5123,
    kUnsignedInt = 5125,
    kFloat = 5126,
};

// Bytes per component; 0 for a number that names no component type.
constexpr std::size_t ComponentSize(double type) {
    return type == kByte || type == kUnsignedByte   ? 1
           : type == kShort || type == kUnsignedShort ? 2
           : type == kUnsignedInt || type == kFloat   ? 4
                                                      : 0;
}

// Accessor types: the word in "type" and the components an element holds.
struct AccessorType {
    const char* name;
    std::size_t components;
};
inline constexpr AccessorType kAccessorTypes[] = {{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4},
                                                  {"MAT2", 4},   {"MAT3", 9}, {"MAT4", 16}};
inline constexpr const char* kScalar = "SCALAR";
inline constexpr const char* kVec3 = "VEC3";
inline constexpr const char* kVec4 = "VEC4";
inline constexpr const char* kMat4 = "MAT4";

// Components of an element of the named type; 0 for a word that names none.
inline std::size_t ComponentCount(const char* type) {
    for (const AccessorType& t : kAccessorTypes) {
        if (std::strcmp(t.name, type) == 0) return t.components;
    }
    return 0;
}

// Buffer view targets.
enum Target : int {
    kArrayBuffer = 34962,         // vertex attributes
    kElementArrayBuffer = 34963,  // indices
};

// Primitive modes (a primitive without one is kTriangles).
enum Mode : int {
    kPoints = 0,
    kLines = 1,
    kLineLoop = 2,
    kLineStrip = 3,
    kTriangles = 4,
    kTriangleStrip = 5,
    kTriangleFan = 6,
};

// Animation channel paths and sampler interpolations.
inline constexpr const char* kTranslation = "translation";
inline constexpr const char* kRotation = "rotation";
inline constexpr const char* kScale = "scale";
inline constexpr const char* kWeights = "weights";
inline constexpr const char* kLinear = "LINEAR";
inline constexpr const char* kStep = "STEP";
inline constexpr const char* kCubicSpline = "CUBICSPLINE";

// The binary container: a 12-byte header (magic, version, total length), then chunks
// of an 8-byte header (length, type) and their data, each padded to 4 bytes.
inline constexpr std::uint32_t kGlbMagic = 0x46546C67;      // "glTF"
inline constexpr std::uint32_t kGlbVersion = 2;
inline constexpr std::uint32_t kChunkJson = 0x4E4F534A;     // "JSON"
inline constexpr std::uint32_t kChunkBin = 0x004E4942;      // "BIN\0"
inline constexpr std::size_t kGlbHeaderSize = 12;
inline constexpr std::size_t kChunkHeaderSize = 8;

}  // namespace gltf
