#include "image_files.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Files.h"

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
std::uint32_t Be32(const unsigned char* p) { return Be16(p) << 16 | Be16(p + 2); }
std::uint32_t Le16(const unsigned char* p) { return static_cast<std::uint32_t>(p[1] << 8 | p[0]); }
std::uint32_t Le32(const unsigned char* p) { return Le16(p + 2) << 16 | Le16(p); }

enum class Format { Png, Jpeg, Bmp, Tga };

// The format the decoder will take the bytes for: the three with a signature
// by it, anything else is tried as TGA (which has none), as the decoder does.
Format FormatOf(const unsigned char* data, std::size_t size) {
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= 8 && std::equal(png, png + 8, data)) return Format::Png;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) return Format::Jpeg;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return Format::Bmp;
    return Format::Tga;
}

// The size a PNG, BMP or TGA header claims, read here before the decoder sees
// it, so that a hostile one is refused with its numbers and never allocated
// for (BMP sizes are signed: a negative height is a top-down picture).
struct Claim {
    bool known = false;
    long long width = 0, height = 0;
};

Claim ClaimOf(Format format, const unsigned char* data, std::size_t size) {
    Claim c;
    if (format == Format::Png && size >= 24 && std::equal(data + 12, data + 16, "IHDR")) {
        c = {true, Be32(data + 16), Be32(data + 20)};
    } else if (format == Format::Bmp && size >= 26) {
        const std::uint32_t header = Le32(data + 14);
        if (header == 12) c = {true, Le16(data + 18), Le16(data + 20)};
        else if (header == 40 || header == 56 || header == 108 || header == 124)
            c = {true, static_cast<std::int32_t>(Le32(data + 18)), static_cast<std::int32_t>(Le32(data + 22))};
    } else if (format == Format::Tga && size >= 18) {
        const unsigned type = data[2] & ~8u;  // 9, 10, 11: the run-length forms of 1, 2, 3
        const unsigned bits = data[16];
        const bool sane = data[1] <= 1 && (bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32);
        if (type >= 1 && type <= 3 && sane) c = {true, Le16(data + 12), Le16(data + 14)};
    }
    return c;
}

// Whether an uncompressed BMP holds every row its header claims: the decoder
// reads missing rows as black rather than refusing the file.
std::string BmpShortfall(const unsigned char* data, std::size_t size, long long width, long long height) {
    if (size < 30) return "it is cut short inside its header";
    const bool core = Le32(data + 14) == 12;
    const std::uint32_t bits = Le16(data + (core ? 24 : 28));
    const std::uint32_t compression = core ? 0 : Le32(data + 30);
    if (compression != 0 && compression != 3 && compression != 6) return {};  // compressed: the decoder checks
    if (bits == 0 || bits > 32) return {};
    const unsigned long long row = (static_cast<unsigned long long>(width) * bits + 31) / 32 * 4;
    const unsigned long long need = Le32(data + 10) + row * static_cast<unsigned long long>(std::llabs(height));
    if (need <= size) return {};
    return "it is cut short (its pixels end at byte " + std::to_string(need) + ", the file has " + std::to_string(size) + ")";
}

// The same for TGA, whose decoder reads past the end as zeros in both the
// plain and the run-length forms: the packets are walked here.
std::string TgaShortfall(const unsigned char* data, std::size_t size, long long width, long long height) {
    const unsigned char type = data[2];
    const std::size_t pixel = (data[16] + 7u) / 8u;
    if (pixel == 0) return {};  // the decoder refuses it
    std::size_t at = 18 + data[0];
    if (data[1] != 0) at += Le16(data + 5) * ((data[7] + 7u) / 8u);  // the colour map
    const unsigned long long pixels = static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height);
    const std::string cut = "it is cut short (its pixels need more than the file's " + std::to_string(size) + " bytes)";
    if (type < 8) return at + pixels * pixel <= size ? std::string() : cut;
    for (unsigned long long done = 0; done < pixels;) {
        if (at >= size) return cut;
        const unsigned char packet = data[at++];
        const unsigned count = (packet & 0x7Fu) + 1u;
        at += packet & 0x80u ? pixel : pixel * count;  // one pixel repeated, or `count` of them
        done += count;
    }
    return at <= size ? std::string() : cut;
}

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
    const Format format = FormatOf(data, size);
    if (format == Format::Jpeg && !JpegTablesFit(data, size)) return Fail(why, "damaged (a Huffman table larger than JPEG allows)");
    const Claim claim = ClaimOf(format, data, size);
    if (claim.known) {
        const std::string claimed = "its size (" + std::to_string(claim.width) + " x " + std::to_string(claim.height) + ")";
        // A BMP height of INT_MIN must not reach the decoder, which takes its absolute value as an int.
        if (claim.width <= 0 || claim.height == 0) return Fail(why, claimed + " is zero or negative");
        if (claim.width > kMaxImageSide || std::llabs(claim.height) > kMaxImageSide)
            return Fail(why, claimed + " is larger than " + std::to_string(kMaxImageSide) + " pixels on a side");
    }
    if (!stbi_info_from_memory(data, length, &width, &height, &channels)) return Fail(why, Reason(stbi_failure_reason()));
    if (format == Format::Bmp && height < 0) height = -height;  // told as in the header: a top-down picture
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide)
        return Fail(why, "its size (" + std::to_string(width) + " x " + std::to_string(height) + ") is not usable");
    if (static_cast<long long>(width) * height > kMaxImagePixels)
        return Fail(why, "it has more than " + std::to_string(kMaxImagePixels >> 20) + " million pixels");
    if (claim.known && format != Format::Png) {
        const std::string cut = format == Format::Bmp ? BmpShortfall(data, size, width, height) : TgaShortfall(data, size, width, height);
        if (!cut.empty()) return Fail(why, cut);
    }

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
    const base::FileData file = base::ReadFile(path, static_cast<std::size_t>(kMaxFileBytes));
    if (!file) return Fail(why, file.why);
    return Decode(file.bytes.data(), file.bytes.size(), why);
}

}  // namespace ImageFiles
