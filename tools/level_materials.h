// The sample level's surfaces, drawn by code at build time: a base colour map and a
// tangent-space normal map for each, written as PNG beside the level. Each map
// repeats seamlessly and is nearly neutral in colour, so that one pair serves
// several meshes, each tinted by its material's colour.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace level {

enum class Kind { kConcrete, kTiles, kPaintedMetal };
constexpr int kKinds = 3;

struct Surface {
    const char* colourFile;  // the PNGs' names; the level names them relative to itself
    const char* normalFile;
    int size;                // texels on a side
    float metresPerRepeat;   // the level's metres one copy of the maps covers
    float shininess;         // Phong exponent, from which the renderer takes a roughness
};

const Surface& SurfaceOf(Kind kind);

// Draws every surface and writes its two maps into `folder`. `meanColour` gets the
// mean of each colour map by kind and channel, which the materials' tints divide by
// to keep the level's colours. False, with a line on standard error, on a failed write.
bool WriteSurfaces(const std::string& folder, std::array<std::array<float, 3>, kKinds>* meanColour);

// The name of every file WriteSurfaces writes.
std::vector<std::string> SurfaceFiles();

}  // namespace level
