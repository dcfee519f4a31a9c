// Font and image fuzzer: mutates a TrueType font, PNG, JPEG (baseline and
// progressive), TGA and BMP images and Radiance HDR files (run-length and
// plain rows), and loads each mutant in a child process: a font through the
// screen layer, then measured and laid out in Latin, Greek and Cyrillic at
// three sizes; an image through the screen layer and as linear floats; a
// Radiance file as floats. A crash, a sanitizer report, a hang, a load that is
// refused without exactly one warning naming the file (or says anything
// else), or floats that disagree with the image or are not finite, is a
// finding: the mutant is kept (--keep) and the run fails.
//
//   screen_fuzz [--seed N] [--files N | --seconds N] [--keep DIR] [--verbose]
//   screen_fuzz --replay FILE      load one file in this process
//
// The bounded seeded run is a test; a long run is `--seconds 3600`.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "Fuzz.h"
#include "Process.h"
#include "ScreenFiles.h"
#include "image_files.h"
#include "s2d.h"

namespace fs = std::filesystem;

namespace {

bool IsFont(const std::string& path) { return fs::path(path).extension() == ".ttf"; }
bool IsRadiance(const std::string& path) { return fs::path(path).extension() == ".hdr"; }

// The float decoding of `path`: true when loaded. What is wrong with it goes
// to stderr, where any line is a finding. `width` x `height` is what the 8-bit
// decoding gave (0 x 0 when refused), for a file that is not Radiance.
bool CheckFloats(const std::string& path, int width, int height) {
    std::string why;
    const ImageFiles::HdrImage image = ImageFiles::LoadFloat(path, &why);
    if (!image) {
        if (why.empty()) std::fprintf(stderr, "floats refused without a reason\n");
        // More pixels than floats may have is the one reason for the two to differ.
        if (width > 0 && why.find("the most for a float image") == std::string::npos)
            std::fprintf(stderr, "floats refused (%s) where 8-bit pixels loaded\n", why.c_str());
        return false;
    }
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3)
        std::fprintf(stderr, "floats of %d x %d in %zu values\n", image.width, image.height, image.rgb.size());
    if (!IsRadiance(path) && (image.width != width || image.height != height))
        std::fprintf(stderr, "floats of %d x %d, 8-bit pixels of %d x %d\n", image.width, image.height, width, height);
    const float most = IsRadiance(path) ? 255.0f * 0x1p119f : 1.0f;  // the largest RGBE and sRGB give
    for (float v : image.rgb)
        if (!(v >= 0.0f && v <= most)) {
            std::fprintf(stderr, "a float of %g\n", static_cast<double>(v));
            break;
        }
    return true;
}

// 0: loaded, 4: refused.
int CheckFile(const std::string& path, unsigned = 0) {
    if (IsRadiance(path)) return CheckFloats(path, 0, 0) ? 0 : 4;
    if (IsFont(path)) {
        const S2D_Font font = S2D_LoadFont(path.c_str());
        const std::string text = "Grüße, Ωμέγα, Привет! 0123456789 The quick brown fox\n\tjumps ÆØÅ œ € ‰ ﬁ";
        for (float size : {12.0f, 40.0f, 200.0f}) {
            S2D_MeasureText(font, text.data(), text.size(), size, 1);
            S2D_DrawText(font, text.data(), text.size(), {10, 10}, size, 0, WHITE);
        }
        S2D_EndFrame();
        return font.id != 0 ? 0 : 4;
    }
    const S2D_Image image = S2D_LoadImage(path.c_str());
    if (image.id != 0 && (S2D_GetImageWidth(image) <= 0 || S2D_GetImageHeight(image) <= 0)) return 3;
    if (image.id != 0) CheckFloats(path, S2D_GetImageWidth(image), S2D_GetImageHeight(image));
    else CheckFloats(path, 0, 0);
    return image.id != 0 ? 0 : 4;
}

using Seed = TestSupport::FileFuzz::Seed;

// RGBA as a Radiance HDR file: red and green as mantissas, blue repeated over
// spans of six pixels and the exponent over spans of eight, so that the
// run-length rows (`runLength`, top down) hold runs and literal spans alike;
// plain rows (bottom up) otherwise.
void WriteRadiance(const std::string& path, int w, int h, const std::vector<unsigned char>& rgba, bool runLength) {
    const std::string head = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=1.0\n\n" + std::string(runLength ? "-Y " : "+Y ") +
                             std::to_string(h) + " +X " + std::to_string(w) + "\n";
    TestSupport::Bytes file(head.begin(), head.end());
    std::vector<unsigned char> row(static_cast<std::size_t>(w) * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = &rgba[static_cast<std::size_t>(y * w + x) * 4];
            unsigned char* q = &row[static_cast<std::size_t>(x) * 4];
            q[0] = p[0], q[1] = p[1], q[2] = rgba[static_cast<std::size_t>(y * w + x / 6 * 6) * 4 + 2];
            q[3] = static_cast<unsigned char>(126 + (x / 8 + y) % 5);
        }
        if (!runLength) {
            file.insert(file.end(), row.begin(), row.end());
            continue;
        }
        file.insert(file.end(), {2, 2, static_cast<unsigned char>(w >> 8), static_cast<unsigned char>(w)});
        for (int c = 0; c < 4; ++c) {
            auto at = [&](int x) { return row[static_cast<std::size_t>(x) * 4 + static_cast<std::size_t>(c)]; };
            for (int x = 0; x < w;) {
                int run = 1;
                while (x + run < w && run < 127 && at(x + run) == at(x)) ++run;
                if (run >= 3) {
                    file.insert(file.end(), {static_cast<unsigned char>(128 + run), at(x)});
                    x += run;
                    continue;
                }
                const int start = x;  // a literal span up to the next run of three, 128 at most
                while (x < w && x - start < 128 && !(x + 2 < w && at(x) == at(x + 1) && at(x) == at(x + 2))) ++x;
                file.push_back(static_cast<unsigned char>(x - start));
                for (int i = start; i < x; ++i) file.push_back(at(i));
            }
        }
    }
    TestSupport::WriteBytes(path, file);
}

std::vector<Seed> MakeSeeds(const std::string& dir) {
    std::vector<Seed> seeds;
    // Noise over a gradient: every kind of block and filter comes up.
    const int w = 48, h = 40;
    std::vector<unsigned char> rgba(static_cast<std::size_t>(w) * h * 4);
    std::mt19937 noise(7);
    for (std::size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = static_cast<unsigned char>((i % 4 == 3) ? 128 + (i / 4) % 128 : (i * 3) % 256 ^ (noise() % 32));
    for (const char* extension : {"png", "jpg", "tga", "bmp"}) {
        seeds.push_back({extension, dir + "/seed." + extension});
        ScreenFiles::WriteImage(seeds.back().path, w, h, rgba);
    }
    // A progressive JPEG, converted by ImageMagick.
    const std::string convert = "convert '" + dir + "/seed.png' ";
    if (std::system((convert + "-interlace JPEG '" + dir + "/progressive.jpg' 2>/dev/null").c_str()) == 0)
        seeds.push_back({"progressive jpg", dir + "/progressive.jpg"});
    seeds.push_back({"hdr", dir + "/seed.hdr"});
    WriteRadiance(seeds.back().path, w, h, rgba, true);
    seeds.push_back({"plain hdr", dir + "/plain.hdr"});
    WriteRadiance(seeds.back().path, 7, 5, rgba, false);
    seeds.push_back({"ttf", dir + "/seed.ttf"});
    fs::copy_file(ScreenFiles::kFont, seeds.back().path);
    return seeds;
}

// What the child said besides the warning it should say: empty when right.
std::string WrongWords(const std::string& said, const std::string& path, bool refused) {
    const std::string warning = std::string("WARNING: S2D: could not load ") + (IsFont(path) ? "font" : "image") + " \"" +
                                path + "\": ";
    int warnings = 0;
    if (IsRadiance(path)) refused = false;  // read only as floats, which warn of nothing
    for (const std::string& line : TestSupport::Lines(said)) {
        if (line.rfind(warning, 0) == 0) ++warnings;
        else return "said: " + line;
    }
    if (warnings != (refused ? 1 : 0)) return std::to_string(warnings) + " warnings for a " + (refused ? "refused" : "loaded") + " file";
    return std::string();
}

}  // namespace

int main(int argc, char** argv) {
    const TestSupport::FuzzOptions o = TestSupport::ParseFuzzOptions(argc, argv, "screen_fuzz");
    if (!o.replay.empty()) return CheckFile(o.replay) == 0 ? 0 : 1;

    TestSupport::TempDir work;
    // A font's table directory lies in its first few hundred bytes.
    TestSupport::FileFuzz fuzz{"screen_fuzz", MakeSeeds(work.Path()), 400, CheckFile, WrongWords};
    return TestSupport::RunFileFuzz(o, work.Path(), fuzz);
}
