// Image files decoded to pixels. Every format artists hand over for textures
// and sprites reads the same way, from a file or from bytes already in memory
// (a texture embedded in a model file):
//   PNG, JPEG (baseline and progressive), TGA and BMP.
// (Radiance HDR is left out: this decoder's copy can loop forever on a broken
// run-length scanline.)
// The pixels come as a raylib Image of 8-bit RGBA, allocated with raylib's
// allocator: UnloadImage frees it.
//
// A file that cannot be used gives an empty Image (data null) and says why.
// Images wider or taller than kMaxImageSide, or with more than kMaxImagePixels
// pixels, are refused before any pixel is decoded: a header that claims a
// huge picture must not become a gigabyte allocation. So is a BMP or TGA file
// cut short, which the decoder would complete with black pixels.
#pragma once

#include <cstddef>
#include <string>

#include "raylib.h"  // Required for: Image

namespace ImageFiles {

constexpr int kMaxImageSide = 16384;
constexpr long long kMaxImagePixels = 64LL << 20;  // 256 MiB of RGBA
constexpr long long kMaxFileBytes = 512LL << 20;

// `bytes` holds a whole file; on failure `why` (when given) gets the reason.
Image Decode(const void* bytes, std::size_t size, std::string* why = nullptr);
Image Load(const std::string& path, std::string* why = nullptr);

}  // namespace ImageFiles
