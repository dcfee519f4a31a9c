// Font and image fuzzer: mutates a TrueType font and PNG, JPEG (baseline and
// progressive), TGA and BMP images, and loads each mutant in a child
// process through the screen layer: a font is then measured and laid out in
// Latin, Greek and Cyrillic at three sizes, an image decoded whole. A crash, a
// sanitizer report, a hang, or a load that is refused without exactly one
// warning naming the file (or says anything else) is a finding: the mutant is
// kept (--keep) and the run fails.
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
#include "s2d.h"

namespace fs = std::filesystem;

namespace {

bool IsFont(const std::string& path) { return fs::path(path).extension() == ".ttf"; }

// 0: loaded, 4: refused.
int CheckFile(const std::string& path, unsigned = 0) {
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
    return image.id != 0 ? 0 : 4;
}

using Seed = TestSupport::FileFuzz::Seed;

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
    seeds.push_back({"ttf", dir + "/seed.ttf"});
    fs::copy_file(ScreenFiles::kFont, seeds.back().path);
    return seeds;
}

// What the child said besides the warning it should say: empty when right.
std::string WrongWords(const std::string& said, const std::string& path, bool refused) {
    const std::string warning = std::string("WARNING: S2D: could not load ") + (IsFont(path) ? "font" : "image") + " \"" +
                                path + "\": ";
    int warnings = 0;
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
