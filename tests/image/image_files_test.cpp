// Image files decoded to pixels: small images written byte by byte here decode
// to exactly their pixels; headers that claim hostile sizes and files cut short
// are refused with a reason, never decoded into a giant allocation or padded
// out with black. Radiance HDR files written here byte by byte, plain and
// run-length, decode to their floats; broken ones are refused at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "image_files.h"

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// A giant allocation must fail here rather than succeed on an overcommitting
// system: it then shows as "out of memory" instead of the reason expected.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:max_allocation_size_mb=1024"; }
#else
[[maybe_unused]] static const bool kAddressSpaceLimited = [] {
    const rlimit limit{rlim_t(2) << 30, rlim_t(2) << 30};
    return setrlimit(RLIMIT_AS, &limit) == 0;
}();
#endif

namespace {

struct Rgba {
    unsigned char r, g, b, a;
};

// 3 x 2: an odd width, so BMP rows carry padding; translucent pixels for the
// formats that keep alpha.
const int kW = 3, kH = 2;
const Rgba kPixels[kH][kW] = {
    {{255, 0, 0, 255}, {0, 255, 0, 128}, {0, 0, 255, 0}},
    {{10, 20, 30, 255}, {200, 100, 50, 64}, {1, 2, 3, 255}},
};

void Put16(Bytes& b, unsigned v, bool big = false) {
    if (big) b.insert(b.end(), {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)});
    else b.insert(b.end(), {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)});
}
void Put32(Bytes& b, std::uint32_t v, bool big = false) {
    if (big) Put16(b, v >> 16, true), Put16(b, v & 0xFFFF, true);
    else Put16(b, v & 0xFFFF), Put16(b, v >> 16);
}

std::uint32_t Crc(const unsigned char* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
}

void Chunk(Bytes& png, const char* type, const Bytes& data) {
    Put32(png, static_cast<std::uint32_t>(data.size()), true);
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    Put32(png, Crc(png.data() + start, png.size() - start), true);
}

// A PNG of 8-bit RGBA claiming `w` x `h`; the pixels (the test image) only when
// they match, in one stored (uncompressed) deflate block.
Bytes Png(std::uint32_t w, std::uint32_t h, bool withPixels = true) {
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    Put32(header, w, true), Put32(header, h, true);
    header.insert(header.end(), {8, 6, 0, 0, 0});
    Chunk(png, "IHDR", header);
    if (withPixels) {
        Bytes raw;
        for (const auto& row : kPixels) {
            raw.push_back(0);  // no filter
            for (const Rgba& p : row) raw.insert(raw.end(), {p.r, p.g, p.b, p.a});
        }
        Bytes z = {0x78, 0x01, 0x01};
        Put16(z, static_cast<unsigned>(raw.size())), Put16(z, static_cast<unsigned>(~raw.size() & 0xFFFF));
        z.insert(z.end(), raw.begin(), raw.end());
        std::uint32_t a = 1, b = 0;
        for (unsigned char c : raw) a = (a + c) % 65521, b = (b + a) % 65521;
        Put32(z, b << 16 | a, true);
        Chunk(png, "IDAT", z);
    }
    Chunk(png, "IEND", {});
    return png;
}

// A BMP with a 40-byte header: 24-bit rows bottom-up, or 32-bit BGRA rows
// top-down (a negative height). The pixels only when the size is the test image's.
Bytes Bmp(std::int32_t w, std::int32_t h, int bits) {
    const bool ours = w == kW && (h == kH || h == -kH);
    const std::uint32_t row = (static_cast<std::uint32_t>(ours ? w : 0) * bits + 31) / 32 * 4;
    Bytes bmp = {'B', 'M'};
    Put32(bmp, 54 + row * kH), Put32(bmp, 0), Put32(bmp, 54);
    Put32(bmp, 40), Put32(bmp, static_cast<std::uint32_t>(w)), Put32(bmp, static_cast<std::uint32_t>(h));
    Put16(bmp, 1), Put16(bmp, static_cast<unsigned>(bits)), Put32(bmp, 0);
    Put32(bmp, row * kH), Put32(bmp, 2835), Put32(bmp, 2835), Put32(bmp, 0), Put32(bmp, 0);
    if (!ours) return bmp;
    for (int y = 0; y < kH; ++y) {
        const Rgba* line = kPixels[h > 0 ? kH - 1 - y : y];
        const std::size_t start = bmp.size();
        for (int x = 0; x < kW; ++x) {
            bmp.insert(bmp.end(), {line[x].b, line[x].g, line[x].r});
            if (bits == 32) bmp.push_back(line[x].a);
        }
        bmp.resize(start + row, 0);
    }
    return bmp;
}

// A 32-bit TGA with its origin top left. Run-length packed, each row is its
// first pixel as a run of one, then the other two as one raw packet. The
// pixels only when the size is the test image's.
Bytes Tga(unsigned w, unsigned h, bool rle) {
    Bytes tga = {0, 0, static_cast<unsigned char>(rle ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(tga, w), Put16(tga, h);
    tga.insert(tga.end(), {32, 8 | 0x20});
    if (w != kW || h != kH) return tga;
    for (const auto& row : kPixels) {
        if (rle) tga.push_back(0x80);
        for (int x = 0; x < kW; ++x) {
            if (rle && x == 1) tga.push_back(0x01);
            tga.insert(tga.end(), {row[x].b, row[x].g, row[x].r, row[x].a});
        }
    }
    return tga;
}

struct Decoded {
    Image image{};
    std::string why;
    explicit Decoded(const Bytes& bytes) { image = ImageFiles::Decode(bytes.data(), bytes.size(), &why); }
    explicit Decoded(const std::string& path) { image = ImageFiles::Load(path, &why); }
    ~Decoded() { UnloadImage(image); }
    Decoded(const Decoded&) = delete;
    Decoded& operator=(const Decoded&) = delete;
};

// Each pixel against the test image; `alpha` false for formats without it.
void ExpectTestPixels(const Image& image, bool alpha, const std::string& what) {
    ASSERT_NE(image.data, nullptr) << what;
    ASSERT_EQ(image.width, kW) << what;
    ASSERT_EQ(image.height, kH) << what;
    ASSERT_EQ(image.format, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8) << what;
    const auto* got = static_cast<const unsigned char*>(image.data);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const Rgba& want = kPixels[y][x];
            const unsigned char* p = got + (y * kW + x) * 4;
            EXPECT_EQ(p[0], want.r) << what << " at " << x << "," << y;
            EXPECT_EQ(p[1], want.g) << what << " at " << x << "," << y;
            EXPECT_EQ(p[2], want.b) << what << " at " << x << "," << y;
            EXPECT_EQ(p[3], alpha ? want.a : 255) << what << " at " << x << "," << y;
        }
}

class Folder {
public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "vantor_image_XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~Folder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file;
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(ImageFiles, SmallImagesDecodeToTheirExactPixelsFromBytesAndFromFiles) {
    const struct {
        const char* what;
        Bytes bytes;
        bool alpha;
    } cases[] = {
        {"PNG", Png(kW, kH), true},
        {"BMP 24-bit bottom-up", Bmp(kW, kH, 24), false},
        {"BMP 32-bit top-down", Bmp(kW, -kH, 32), true},
        {"TGA", Tga(kW, kH, false), true},
        {"TGA run-length", Tga(kW, kH, true), true},
    };
    Folder folder;
    ASSERT_FALSE(folder.Path().empty());
    for (const auto& c : cases) {
        Decoded memory(c.bytes);
        EXPECT_EQ(memory.why, "") << c.what;
        ExpectTestPixels(memory.image, c.alpha, c.what);
        Decoded file(folder.Write("image", c.bytes));
        ExpectTestPixels(file.image, c.alpha, std::string(c.what) + " from a file");
    }
}

TEST(ImageFiles, HeadersClaimingHugeZeroOrNegativeSizesAreRefusedWithTheirNumbers) {
    const struct {
        const char* what;
        Bytes bytes;
        const char* why;
    } cases[] = {
        {"PNG 100000 square", Png(100000, 100000, false), "(100000 x 100000) is larger than 16384 pixels on a side"},
        {"PNG 2^31 wide", Png(0x80000000u, 1, false), "(2147483648 x 1) is larger than 16384"},
        {"PNG 2^32-1 tall", Png(1, 0xFFFFFFFFu, false), "(1 x 4294967295) is larger than 16384"},
        {"PNG zero wide", Png(0, 8, false), "(0 x 8) is zero or negative"},
        {"PNG 16384 square", Png(16384, 16384, false), "more than 64 million pixels"},
        {"BMP negative width", Bmp(-8, 8, 24), "(-8 x 8) is zero or negative"},
        {"BMP zero height", Bmp(8, 0, 24), "(8 x 0) is zero or negative"},
        {"BMP height INT_MIN", Bmp(8, INT32_MIN, 24), "(8 x -2147483648) is larger than 16384"},
        {"BMP 100000 wide", Bmp(100000, 1, 32), "(100000 x 1) is larger than 16384"},
        {"TGA zero wide", Tga(0, 8, false), "(0 x 8) is zero or negative"},
        {"TGA 65535 square", Tga(65535, 65535, true), "(65535 x 65535) is larger than 16384"},
    };
    for (const auto& c : cases) {
        Decoded d(c.bytes);
        EXPECT_EQ(d.image.data, nullptr) << c.what;
        EXPECT_TRUE(Has(d.why, c.why)) << c.what << ": " << d.why;
    }
}

TEST(ImageFiles, FilesCutShortAreRefusedRatherThanPaddedWithBlack) {
    const struct {
        const char* what;
        Bytes bytes;
        std::size_t trailer;  // bytes after the last byte of pixel data
    } cases[] = {
        {"PNG", Png(kW, kH), 4 + 4 + 12},  // the deflate checksum, IDAT's CRC, IEND
        {"BMP", Bmp(kW, kH, 24), 0},
        {"BMP top-down", Bmp(kW, -kH, 32), 0},
        {"TGA", Tga(kW, kH, false), 0},
        {"TGA run-length", Tga(kW, kH, true), 0},
    };
    for (const auto& c : cases) {
        // Cut inside the header, half way, and without the last byte of the pixels.
        for (std::size_t keep : {std::size_t(12), c.bytes.size() / 2, c.bytes.size() - c.trailer - 1}) {
            const Bytes cut(c.bytes.begin(), c.bytes.begin() + static_cast<long>(keep));
            Decoded d(cut);
            EXPECT_EQ(d.image.data, nullptr) << c.what << " cut to " << keep << " bytes";
            EXPECT_FALSE(d.why.empty()) << c.what << " cut to " << keep << " bytes";
        }
    }
    // The TGA and BMP decoder would read the missing pixels as black: the reason says what happened.
    Bytes bmp = Bmp(kW, kH, 24);
    bmp.pop_back();
    EXPECT_TRUE(Has(Decoded(bmp).why, "cut short")) << Decoded(bmp).why;
    Bytes tga = Tga(kW, kH, true);
    tga.pop_back();
    EXPECT_TRUE(Has(Decoded(tga).why, "cut short")) << Decoded(tga).why;
}

TEST(ImageFiles, FilesThatCannotBeReadSayWhy) {
    Folder folder;
    ASSERT_FALSE(folder.Path().empty());
    EXPECT_EQ(Decoded(folder.Path() + "/missing.png").why, "the file does not exist");
    EXPECT_EQ(Decoded(folder.Path()).why, "it is a folder, not a file");
    EXPECT_EQ(Decoded(folder.Write("empty.png", {})).why, "the file is empty");
    EXPECT_EQ(Decoded(std::string()).why, "no file name given");
    // Past the limit, refused by its size without being read (sparse: it takes no disk).
    const std::string vast = folder.Write("vast.png", Png(kW, kH));
    fs::resize_file(vast, static_cast<std::uintmax_t>(ImageFiles::kMaxFileBytes) + 1);
    EXPECT_EQ(Decoded(vast).why, "the file is larger than 512 MiB");
}

namespace {

// A Radiance HDR file: its header, the size line and the rows as given.
Bytes Radiance(const std::string& sizeLine, const Bytes& rows, const std::string& format = "32-bit_rle_rgbe") {
    const std::string head = "#?RADIANCE\n# made by hand\nFORMAT=" + format + "\nEXPOSURE=2.0\n\n" + sizeLine + "\n";
    Bytes file(head.begin(), head.end());
    file.insert(file.end(), rows.begin(), rows.end());
    return file;
}

// 3 x 2 plain RGBE pixels, and the floats they stand for: mantissa * 2^(e - 136).
const Bytes kPlainRows = {128, 64, 32, 129, 0, 0, 0, 0, 255, 0, 1, 136,
                          128, 128, 128, 128, 1, 2, 3, 0, 16, 32, 48, 130};
const float kPlainFloats[2][3][3] = {
    {{1.0f, 0.5f, 0.25f}, {0, 0, 0}, {255.0f, 0, 1.0f}},
    {{0.5f, 0.5f, 0.5f}, {0, 0, 0}, {0.25f, 0.5f, 0.75f}},
};

// 8 x 2: a run-length row, then a plain one. In the first, red is one run of
// 8, green a literal span of 8, blue a run of 3 then a literal span of 5, the
// exponent a run of 8: pixel x is (1, x / 8, max(x - 2, 0) / 128).
Bytes RunLengthRows(const Bytes& red = {136, 128}, unsigned width = 8) {
    Bytes rows = {2, 2, static_cast<unsigned char>(width >> 8), static_cast<unsigned char>(width)};
    rows.insert(rows.end(), red.begin(), red.end());
    rows.insert(rows.end(), {8, 0, 16, 32, 48, 64, 80, 96, 112});
    rows.insert(rows.end(), {131, 0, 5, 1, 2, 3, 4, 5});
    rows.insert(rows.end(), {136, 129});
    for (int x = 0; x < 8; ++x) rows.insert(rows.end(), {128, 0, 0, 130});  // 2, 0, 0
    return rows;
}

struct DecodedFloat {
    ImageFiles::HdrImage image;
    std::string why;
    explicit DecodedFloat(const Bytes& bytes) { image = ImageFiles::DecodeFloat(bytes.data(), bytes.size(), &why); }
    float At(int x, int y, int c) const { return image.rgb[static_cast<std::size_t>((y * image.width + x) * 3 + c)]; }
};

double SrgbToLinear(unsigned char v) {
    const double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

}  // namespace

TEST(ImageFilesFloat, RadianceFilesDecodeToTheirFloatsFromPlainAndRunLengthRows) {
    for (const char* rows : {"-Y 2 +X 3", "+Y 2 +X 3"}) {
        const DecodedFloat d(Radiance(rows, kPlainRows));
        ASSERT_TRUE(d.image) << rows << ": " << d.why;
        ASSERT_EQ(d.image.width, 3);
        ASSERT_EQ(d.image.height, 2);
        ASSERT_EQ(d.image.rgb.size(), 18u);
        const bool flipped = rows[0] == '+';
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(d.At(x, flipped ? 1 - y : y, c), kPlainFloats[y][x][c]) << rows << " at " << x << "," << y;
    }

    const DecodedFloat d(Radiance("-Y 2 +X 8", RunLengthRows()));
    ASSERT_TRUE(d.image) << d.why;
    ASSERT_EQ(d.image.width, 8);
    ASSERT_EQ(d.image.height, 2);
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(d.At(x, 0, 0), 1.0f) << x;
        EXPECT_EQ(d.At(x, 0, 1), x / 8.0f) << x;
        EXPECT_EQ(d.At(x, 0, 2), std::max(x - 2, 0) / 128.0f) << x;
        EXPECT_EQ(d.At(x, 1, 0), 2.0f) << x;
        EXPECT_EQ(d.At(x, 1, 1), 0.0f) << x;
    }

    // From a file too; the 8-bit decoding says where such a file belongs.
    Folder folder;
    ASSERT_FALSE(folder.Path().empty());
    std::string why;
    const ImageFiles::HdrImage loaded = ImageFiles::LoadFloat(folder.Write("sky.hdr", Radiance("-Y 2 +X 8", RunLengthRows())), &why);
    EXPECT_EQ(loaded.rgb, d.image.rgb) << why;
    EXPECT_TRUE(Has(Decoded(Radiance("-Y 2 +X 3", kPlainRows)).why, "Radiance HDR"));
}

// Each of these would send the decoder behind the other formats into an
// endless loop or past the end of the file; here each is refused at once.
TEST(ImageFilesFloat, BrokenOrCutShortRadianceFilesAreRefusedWithTheirReason) {
    const Bytes good = Radiance("-Y 2 +X 8", RunLengthRows());
    const struct {
        const char* what;
        Bytes bytes;
        const char* why;
    } cases[] = {
        {"a literal span of zero", Radiance("-Y 2 +X 8", RunLengthRows({0, 136, 128})), "a span of zero length in row 1"},
        {"a run past the width", Radiance("-Y 2 +X 8", RunLengthRows({137, 128})), "a span past the width of 8 pixels in row 1"},
        {"a literal span past the width", Radiance("-Y 2 +X 8", RunLengthRows({130, 1, 7, 1, 2, 3, 4, 5, 6, 7})),
         "a span past the width of 8 pixels in row 1"},
        {"a row of another width", Radiance("-Y 2 +X 8", RunLengthRows({136, 128}, 9)), "a run-length row 9 pixels wide in row 1"},
        {"XYZE", Radiance("-Y 2 +X 8", RunLengthRows(), "32-bit_rle_xyze"), "XYZE"},
        {"columns", Radiance("+X 8 -Y 2", RunLengthRows()), "unsupported (its rows run \"+X 8 -Y 2\""},
        {"no size line", Radiance("-Y two +X 8", RunLengthRows()), "its size line \"-Y two +X 8\" is not one"},
        {"no end of header", Bytes(good.begin(), good.begin() + 30), "its header has no end"},
    };
    for (const auto& c : cases) {
        const DecodedFloat d(c.bytes);
        EXPECT_FALSE(d.image) << c.what;
        EXPECT_TRUE(Has(d.why, c.why)) << c.what << ": " << d.why;
    }
    // Cut anywhere after the size line: every row and every span checks the end.
    const std::size_t rows = good.size() - RunLengthRows().size();
    for (std::size_t keep = rows; keep < good.size(); ++keep) {
        const DecodedFloat d(Bytes(good.begin(), good.begin() + static_cast<long>(keep)));
        EXPECT_FALSE(d.image) << "cut to " << keep;
        EXPECT_TRUE(Has(d.why, "cut short")) << "cut to " << keep << ": " << d.why;
    }
}

TEST(ImageFilesFloat, HugeSizesAreRefusedBeforeAnyAllocation) {
    const struct {
        const char* what;
        Bytes bytes;
        const char* why;
    } cases[] = {
        {"Radiance 100000 square", Radiance("-Y 100000 +X 100000", {}), "(100000 x 100000) is larger than 16384 pixels on a side"},
        {"Radiance past 2^64", Radiance("-Y 99999999999999999999999 +X 1", {}), "is larger than 16384"},
        {"Radiance zero", Radiance("-Y 0 +X 5", {}), "(5 x 0) is zero"},
        {"Radiance 16384 square", Radiance("-Y 16384 +X 16384", {}), "more than 16 million pixels"},
        // At the limit, but a few bytes of rows cannot hold it: refused by the fewest bytes it could take.
        {"Radiance 4096 square", Radiance("-Y 4096 +X 4096", RunLengthRows()), "its 4096 rows take at least 1097728 bytes"},
        {"PNG 8192 x 4096", Png(8192, 4096, false), "more than 16 million pixels (the most for a float image)"},
    };
    for (const auto& c : cases) {
        const DecodedFloat d(c.bytes);
        EXPECT_FALSE(d.image) << c.what;
        EXPECT_TRUE(Has(d.why, c.why)) << c.what << ": " << d.why;
    }
    EXPECT_EQ(DecodedFloat(Bytes{'G', 'I', 'F', '8'}).why.find("not a Radiance HDR, PNG"), 0u);
}

TEST(ImageFilesFloat, OtherFormatsDecodeToLinearLight) {
    const DecodedFloat png(Png(kW, kH));
    ASSERT_TRUE(png.image) << png.why;
    ASSERT_EQ(png.image.width, kW);
    ASSERT_EQ(png.image.height, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const Rgba& p = kPixels[y][x];
            EXPECT_NEAR(png.At(x, y, 0), SrgbToLinear(p.r), 1e-6) << x << "," << y;
            EXPECT_NEAR(png.At(x, y, 1), SrgbToLinear(p.g), 1e-6) << x << "," << y;
            EXPECT_NEAR(png.At(x, y, 2), SrgbToLinear(p.b), 1e-6) << x << "," << y;
        }
    EXPECT_NEAR(png.At(1, 1, 0), 0.5776, 1e-4);  // 200
    // A 1 x 1 TGA of sRGB grey 128, which is about a fifth of white's light.
    const DecodedFloat grey(Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 0x28, 128, 128, 128, 255});
    ASSERT_TRUE(grey.image) << grey.why;
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(grey.At(0, 0, c), 0.2159, 1e-3);
}
