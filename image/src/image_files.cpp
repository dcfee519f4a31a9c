#include "image_files.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
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

HdrImage FailFloat(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return HdrImage{};
}

// The decoder's terse reasons, in words a user can act on.
std::string Reason(const char* decoder, bool floats = false) {
    std::string text = decoder ? decoder : "unknown error";
    // Some reasons quote bytes of the file (a PNG chunk's name): a broken
    // file must not put control characters or line breaks into the warning.
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    if (text == "unknown image type") return floats ? "not a Radiance HDR, PNG, JPEG, TGA or BMP image" : "not a PNG, JPEG, TGA or BMP image";
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

// A file of any size the decoders take, or why not.
std::string SizeProblem(const void* bytes, std::size_t size) {
    if (bytes == nullptr || size == 0) return "the file is empty";
    if (size > static_cast<std::size_t>(kMaxFileBytes) || size > 0x7fffffffu)
        return "the file is larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
    return {};
}

// PNG, JPEG, TGA or BMP to 8-bit RGBA, refusing more than `maxPixels` before
// any pixel is decoded. `floats`: the caller takes Radiance HDR as well, which
// the refusal of an unknown file says.
Image DecodeRgba(const stbi_uc* data, std::size_t size, long long maxPixels, bool floats, std::string* why) {
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
    if (!stbi_info_from_memory(data, length, &width, &height, &channels)) return Fail(why, Reason(stbi_failure_reason(), floats));
    if (format == Format::Bmp && height < 0) height = -height;  // told as in the header: a top-down picture
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide)
        return Fail(why, "its size (" + std::to_string(width) + " x " + std::to_string(height) + ") is not usable");
    if (static_cast<long long>(width) * height > maxPixels)
        return Fail(why, "it has more than " + std::to_string(maxPixels >> 20) + " million pixels" +
                             (floats ? " (the most for a float image)" : ""));
    if (claim.known && format != Format::Png) {
        const std::string cut = format == Format::Bmp ? BmpShortfall(data, size, width, height) : TgaShortfall(data, size, width, height);
        if (!cut.empty()) return Fail(why, cut);
    }

    stbi_uc* pixels = stbi_load_from_memory(data, length, &width, &height, &channels, 4);
    if (pixels == nullptr) return Fail(why, Reason(stbi_failure_reason(), floats));
    Image image{};
    image.data = pixels;
    image.width = width;
    image.height = height;
    image.mipmaps = 1;
    image.format = PIXELFORMAT_UNCOMPRESSED_R8G8B8A8;
    return image;
}

// -- Radiance HDR --------------------------------------------------------------
// Read here, not by the decoder's copy, which loops forever on a run of zero
// length. Every step below either consumes bytes or fills pixels, and each
// count is checked against the end of the file and of the row before use, so
// a broken file is refused in time proportional to its size.

bool IsRadiance(const unsigned char* data, std::size_t size) { return size >= 2 && data[0] == '#' && data[1] == '?'; }

// The line at `at` without its newline, moving past it; false when no newline follows.
bool NextLine(const unsigned char* data, std::size_t size, std::size_t& at, std::string_view& line) {
    if (at >= size) return false;
    const void* newline = std::memchr(data + at, '\n', size - at);
    if (newline == nullptr) return false;
    const std::size_t end = static_cast<std::size_t>(static_cast<const unsigned char*>(newline) - data);
    line = std::string_view(reinterpret_cast<const char*>(data + at), end - at);
    at = end + 1;
    return true;
}

// A piece of the file quoted in a reason: short, printable, on one line.
std::string Quote(std::string_view text) {
    std::string quoted(text.substr(0, 40));
    for (char& c : quoted)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    return "\"" + quoted + (text.size() > 40 ? "...\"" : "\"");
}

// The words of a header line, five at most: enough to tell a line of four
// from a longer one, without a list as long as a hostile line.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size() && words.size() < 5) {
        if (line[at] == ' ' || line[at] == '\t' || line[at] == '\r') {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r') ++end;
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

// Digits to a number that stops growing past any size worth telling (-1: not digits).
long long Count(std::string_view word) {
    if (word.empty()) return -1;
    long long n = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return -1;
        n = std::min(n * 10 + (c - '0'), 1LL << 40);
    }
    return n;
}

// RLE rows exist only for these widths; other widths always have plain rows.
bool RunLengthWidth(long long width) { return width >= 8 && width <= 0x7FFF; }

// One row into `rgbe` (4 bytes a pixel): plain pixels, or a run-length row (2, 2,
// its width in two bytes, then the red, green, blue and exponent bytes of the
// whole row one channel after another, each in runs and literal spans).
// Empty when read, or why not.
std::string ReadRow(const unsigned char* data, std::size_t size, std::size_t& at, long long width, long long row,
                    unsigned char* rgbe) {
    const std::string where = " in row " + std::to_string(row + 1);
    const std::string cut = "it is cut short (" + where.substr(1) + ")";
    const std::size_t left = size - at;
    const auto bytes = static_cast<std::size_t>(width) * 4;
    if (!RunLengthWidth(width) || left < 4 || data[at] != 2 || data[at + 1] != 2 || (data[at + 2] & 0x80) != 0) {
        if (left < bytes) return cut;
        std::memcpy(rgbe, data + at, bytes);
        at += bytes;
        return {};
    }
    const long long told = static_cast<long long>(Be16(data + at + 2));
    if (told != width)
        return "damaged (a run-length row " + std::to_string(told) + " pixels wide" + where + " of an image " +
               std::to_string(width) + " wide)";
    at += 4;
    for (int channel = 0; channel < 4; ++channel) {
        for (long long x = 0; x < width;) {
            if (at >= size) return cut;
            unsigned count = data[at++];
            const bool run = count > 128;  // one byte repeated count - 128 times; else count bytes as they are
            if (run) count -= 128;
            if (count == 0) return "damaged (a span of zero length" + where + ")";
            if (x + count > width) return "damaged (a span past the width of " + std::to_string(width) + " pixels" + where + ")";
            if (size - at < (run ? 1u : count)) return cut;
            for (unsigned i = 0; i < count; ++i) rgbe[(x + i) * 4 + channel] = data[run ? at : at + i];
            at += run ? 1 : count;
            x += count;
        }
    }
    return {};
}

HdrImage DecodeRadiance(const unsigned char* data, std::size_t size, std::string* why) {
    std::size_t at = 0;
    std::string_view line;
    NextLine(data, size, at, line);  // "#?RADIANCE", or another program's name
    for (;;) {
        if (!NextLine(data, size, at, line)) return FailFloat(why, "damaged (its header has no end)");
        if (line.empty() || line == "\r") break;
        if (line.substr(0, 7) != "FORMAT=") continue;  // exposure, gamma, comments: the pixels are taken as written
        const std::vector<std::string_view> value = Words(line.substr(7));
        if (value.size() == 1 && value[0] == "32-bit_rle_rgbe") continue;
        if (value.size() == 1 && value[0] == "32-bit_rle_xyze") return FailFloat(why, "unsupported (XYZE colours, not RGB)");
        return FailFloat(why, "unsupported (its pixel format " + Quote(line.substr(7)) + ")");
    }
    if (!NextLine(data, size, at, line)) return FailFloat(why, "damaged (no size line after its header)");
    const std::vector<std::string_view> words = Words(line);
    const bool axes = words.size() == 4 && (words[0] == "-Y" || words[0] == "+Y") && words[2] == "+X";
    const long long height = words.size() == 4 ? Count(words[1]) : -1;
    const long long width = words.size() == 4 ? Count(words[3]) : -1;
    if (width < 0 || height < 0) return FailFloat(why, "damaged (its size line " + Quote(line) + " is not one)");
    if (!axes)
        return FailFloat(why, "unsupported (its rows run " + Quote(line) +
                                  "; only rows of pixels left to right, top down or bottom up, are read)");
    const std::string claimed = "its size (" + std::to_string(width) + " x " + std::to_string(height) + ")";
    if (width == 0 || height == 0) return FailFloat(why, claimed + " is zero");
    if (width > kMaxImageSide || height > kMaxImageSide)
        return FailFloat(why, claimed + " is larger than " + std::to_string(kMaxImageSide) + " pixels on a side");
    if (width * height > kMaxFloatImagePixels)
        return FailFloat(why, "it has more than " + std::to_string(kMaxFloatImagePixels >> 20) +
                                  " million pixels (the most for a float image)");
    // The fewest bytes its rows can take (runs of 127 in every channel), so a
    // small file that claims a big picture is refused before the allocation.
    const long long leastRow = RunLengthWidth(width) ? 4 + 4 * 2 * ((width + 126) / 127) : width * 4;
    if (static_cast<long long>(size - at) < leastRow * height)
        return FailFloat(why, "it is cut short (its " + std::to_string(height) + " rows take at least " +
                                  std::to_string(leastRow * height) + " bytes, " + std::to_string(size - at) + " follow its header)");

    HdrImage image;
    std::vector<unsigned char> rgbe;
    try {
        image.rgb.resize(static_cast<std::size_t>(width * height) * 3);
        rgbe.resize(static_cast<std::size_t>(width) * 4);
    } catch (const std::bad_alloc&) {
        return FailFloat(why, "out of memory");
    }
    const bool bottomUp = words[0] == "+Y";
    for (long long row = 0; row < height; ++row) {
        const std::string problem = ReadRow(data, size, at, width, row, rgbe.data());
        if (!problem.empty()) return FailFloat(why, problem);
        float* out = image.rgb.data() + static_cast<std::size_t>((bottomUp ? height - 1 - row : row) * width) * 3;
        for (long long x = 0; x < width; ++x, out += 3) {
            const unsigned char* p = &rgbe[static_cast<std::size_t>(x) * 4];
            // A shared exponent: each byte is the mantissa of 2^(e - 128) / 256, and e = 0 is black.
            const float scale = p[3] == 0 ? 0.0f : std::ldexp(1.0f, p[3] - 136);
            out[0] = p[0] * scale, out[1] = p[1] * scale, out[2] = p[2] * scale;
        }
    }
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    return image;
}

// 8-bit sRGB to linear light, as the sRGB curve defines it.
const float* SrgbToLinear() {
    static const auto table = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            t[static_cast<std::size_t>(i)] = static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        return t;
    }();
    return table.data();
}

}  // namespace

Image Decode(const void* bytes, std::size_t size, std::string* why) {
    const std::string problem = SizeProblem(bytes, size);
    if (!problem.empty()) return Fail(why, problem);
    const auto* data = static_cast<const stbi_uc*>(bytes);
    if (IsRadiance(data, size)) return Fail(why, "a Radiance HDR image, which is read only as floats (for a sky)");
    return DecodeRgba(data, size, kMaxImagePixels, false, why);
}

Image Load(const std::string& path, std::string* why) {
    const base::FileData file = base::ReadFile(path, static_cast<std::size_t>(kMaxFileBytes));
    if (!file) return Fail(why, file.why);
    return Decode(file.bytes.data(), file.bytes.size(), why);
}

HdrImage DecodeFloat(const void* bytes, std::size_t size, std::string* why) {
    const std::string problem = SizeProblem(bytes, size);
    if (!problem.empty()) return FailFloat(why, problem);
    const auto* data = static_cast<const stbi_uc*>(bytes);
    if (IsRadiance(data, size)) return DecodeRadiance(data, size, why);

    Image rgba = DecodeRgba(data, size, kMaxFloatImagePixels, true, why);
    if (rgba.data == nullptr) return HdrImage{};
    HdrImage image;
    const std::size_t pixels = static_cast<std::size_t>(rgba.width) * static_cast<std::size_t>(rgba.height);
    try {
        image.rgb.resize(pixels * 3);
    } catch (const std::bad_alloc&) {
        UnloadImage(rgba);
        return FailFloat(why, "out of memory");
    }
    const float* linear = SrgbToLinear();
    const auto* in = static_cast<const unsigned char*>(rgba.data);
    for (std::size_t i = 0; i < pixels * 3; ++i) image.rgb[i] = linear[in[i / 3 * 4 + i % 3]];  // alpha left out
    image.width = rgba.width;
    image.height = rgba.height;
    UnloadImage(rgba);
    return image;
}

HdrImage LoadFloat(const std::string& path, std::string* why) {
    const base::FileData file = base::ReadFile(path, static_cast<std::size_t>(kMaxFileBytes));
    if (!file) return FailFloat(why, file.why);
    return DecodeFloat(file.bytes.data(), file.bytes.size(), why);
}

}  // namespace ImageFiles
