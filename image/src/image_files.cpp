#include "image_files.h"

#include <cstdint>
#include <cstdio>
#include <vector>

// Only the formats asked for, reading from memory (the file is read here, so
// paths with any characters work alike on every system). The decoder's
// external names stay inside this file: raylib carries a copy of its own.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#define STBI_MAX_DIMENSIONS ImageFiles::kMaxImageSide
// Pixels in raylib's allocation, so that UnloadImage frees what comes back.
#define STBI_MALLOC(size) MemAlloc(static_cast<unsigned int>(size))
#define STBI_REALLOC(block, size) MemRealloc(block, static_cast<unsigned int>(size))
#define STBI_FREE(block) MemFree(block)
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include "stb_image.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace ImageFiles {
namespace {

Image Fail(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return Image{};
}

// The decoder's terse reasons, in words a user can act on.
std::string Reason(const char* decoder) {
    std::string text = decoder ? decoder : "unknown error";
    // Some reasons quote bytes of the file (a PNG chunk's name): a broken
    // file must not put control characters or line breaks into the warning.
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    if (text == "unknown image type") return "not a PNG, JPEG, TGA or BMP image";
    if (text == "too large") return "larger than " + std::to_string(kMaxImageSide) + " pixels on a side";
    if (text == "outofmem") return "out of memory";
    return "damaged or unsupported (" + text + ")";
}

std::uint32_t Be16(const unsigned char* p) { return static_cast<std::uint32_t>(p[0] << 8 | p[1]); }

// Whether every Huffman table of a JPEG file is one the format allows. The
// decoder's copy writes each table's code lengths and symbols into arrays of
// 257 and 256 entries without checking that the table's 16 counts add up to at
// most 256 (the fuzzer found the overflow), so tables are checked here first,
// in every marker segment, between the scans of a progressive file too.
bool JpegTablesFit(const unsigned char* data, std::size_t size) {
    std::size_t at = 2;  // past the start-of-image marker
    while (at + 1 < size) {
        if (data[at] != 0xFF) {  // entropy-coded data of a scan: on to the next marker
            ++at;
            continue;
        }
        const unsigned char marker = data[at + 1];
        // Stuffed zeros, fill bytes, restart markers and the start of image carry no length.
        if (marker == 0x00 || marker == 0xFF || (marker >= 0xD0 && marker <= 0xD8) || marker == 0x01) {
            ++at;
            continue;
        }
        if (marker == 0xD9) return true;  // end of image
        if (at + 4 > size) return true;  // cut short: the decoder reports that
        const std::size_t length = Be16(data + at + 2);
        // A table cut short is read on with zeros by the decoder, past its
        // arrays as well; any other segment cut short the decoder refuses.
        if (length < 2 || at + 2 + length > size) return marker != 0xC4;
        if (marker == 0xC4) {
            std::size_t p = at + 4;
            const std::size_t end = at + 2 + length;
            while (p < end) {
                if (end - p < 17) return false;
                std::size_t symbols = 0;
                for (int i = 1; i <= 16; ++i) symbols += data[p + i];
                if (symbols > 256 || end - p - 17 < symbols) return false;
                p += 17 + symbols;
            }
        }
        at += 2 + length;
    }
    return true;
}

}  // namespace

Image Decode(const void* bytes, std::size_t size, std::string* why) {
    if (bytes == nullptr || size == 0) return Fail(why, "the file is empty");
    if (size > static_cast<std::size_t>(kMaxFileBytes) || size > 0x7fffffffu)
        return Fail(why, "the file is larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB");
    const auto* data = static_cast<const stbi_uc*>(bytes);
    const int length = static_cast<int>(size);
    int width = 0, height = 0, channels = 0;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8 && !JpegTablesFit(data, size))
        return Fail(why, "damaged (a Huffman table larger than JPEG allows)");
    if (!stbi_info_from_memory(data, length, &width, &height, &channels)) return Fail(why, Reason(stbi_failure_reason()));
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide)
        return Fail(why, "its size (" + std::to_string(width) + " x " + std::to_string(height) + ") is not usable");
    if (static_cast<long long>(width) * height > kMaxImagePixels)
        return Fail(why, "it has more than " + std::to_string(kMaxImagePixels >> 20) + " million pixels");

    stbi_uc* pixels = stbi_load_from_memory(data, length, &width, &height, &channels, 4);
    if (pixels == nullptr) return Fail(why, Reason(stbi_failure_reason()));
    Image image{};
    image.data = pixels;
    image.width = width;
    image.height = height;
    image.mipmaps = 1;
    image.format = PIXELFORMAT_UNCOMPRESSED_R8G8B8A8;
    return image;
}

Image Load(const std::string& path, std::string* why) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return Fail(why, "the file could not be opened");
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        if (bytes.size() + n > static_cast<std::size_t>(kMaxFileBytes)) {
            std::fclose(file);
            return Fail(why, "the file is larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB");
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return Fail(why, "the file could not be read");
    return Decode(bytes.data(), bytes.size(), why);
}

}  // namespace ImageFiles
