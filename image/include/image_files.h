// Image files decoded to pixels. Every format artists hand over for textures
// and sprites reads the same way, from a file or from bytes already in memory
// (a texture embedded in a model file):
//   PNG, JPEG (baseline and progressive), TGA and BMP.
// The pixels come as a raylib Image of 8-bit RGBA, allocated with raylib's
// allocator: UnloadImage frees it.
//
// A sky panorama reads as linear floats instead (DecodeFloat, LoadFloat), from
// a Radiance HDR file (.hdr) or from any of the formats above, whose sRGB
// values are turned into linear light (alpha is dropped). Radiance HDR is read
// by this layer's own decoder, not the one behind the other formats (whose copy
// loops forever on a broken run-length row): the header, the size line
// ("-Y h +X w", or "+Y" for rows bottom up) and every row, plain or run-length,
// are checked against the end of the file and the width as they are read, so
// a broken or cut-short file is refused, quickly and with a reason. Only RGBE
// pixels are read (not XYZE), as written (an EXPOSURE line changes nothing).
//
// A file that cannot be used gives an empty Image (data null) or HdrImage (no
// pixels) and says why. Images wider or taller than kMaxImageSide, or with more
// than kMaxImagePixels pixels (kMaxFloatImagePixels for floats, which take three
// times the memory), are refused before any pixel is decoded: a header that
// claims a huge picture must not become a gigabyte allocation. So is a BMP,
// TGA or Radiance file cut short, which would otherwise be completed with
// black pixels or read past its end.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "raylib.h"  // Required for: Image

namespace ImageFiles {

constexpr int kMaxImageSide = 16384;
constexpr long long kMaxImagePixels = 64LL << 20;  // 256 MiB of RGBA
constexpr long long kMaxFloatImagePixels = 16LL << 20;  // 192 MiB of RGB floats (8192 x 2048 fits)
constexpr long long kMaxFileBytes = 512LL << 20;

// `bytes` holds a whole file; on failure `why` (when given) gets the reason.
Image Decode(const void* bytes, std::size_t size, std::string* why = nullptr);
Image Load(const std::string& path, std::string* why = nullptr);

// Linear RGB, three floats a pixel, rows top down: ready for a texture of
// PIXELFORMAT_UNCOMPRESSED_R32G32B32.
struct HdrImage {
    int width = 0, height = 0;
    std::vector<float> rgb;
    explicit operator bool() const { return !rgb.empty(); }
};

HdrImage DecodeFloat(const void* bytes, std::size_t size, std::string* why = nullptr);
HdrImage LoadFloat(const std::string& path, std::string* why = nullptr);

}  // namespace ImageFiles
