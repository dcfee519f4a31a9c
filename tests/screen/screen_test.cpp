// Drawing over the scene in the real engine: a test game draws text, shapes,
// a sprite and a label through the entries every frame, and the window's
// pixels are read back; broken font and image files are loaded and drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "BoxFile.h"
#include "Process.h"
#include "Screenshot.h"
#include "ScreenFiles.h"

using namespace TestSupport;

namespace {

const char* kTitle = "Vantor v0.0.0";

struct Install {
    EngineInstall files{VANTOR_ENGINE, VANTOR_SCREEN_GAME};

    RunOptions Options(const std::string& script) const {
        RunOptions options;
        options.cwd = files.bin;
        options.env = {"VANTOR_NO_DIALOG=1", "VANTOR_SCREEN_SCRIPT=" + script};
        options.timeoutMs = 60000;
        return options;
    }
};

std::string Describe(const Screenshot& shot, int x, int y) {
    const Rgb p = shot.At(x, y);
    char text[64];
    std::snprintf(text, sizeof text, "(%d,%d) = %d %d %d", x, y, p.r, p.g, p.b);
    return text;
}

bool Near(Rgb p, int r, int g, int b, int tolerance = 40) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance;
}

// The numbers after `label` on its line of the engine's stderr.
std::vector<float> Numbers(const std::string& err, const std::string& label) {
    std::vector<float> out;
    const std::size_t at = err.find(label + " ");
    if (at == std::string::npos) return out;
    std::istringstream line(err.substr(at + label.size(), err.find('\n', at) - at - label.size()));
    for (std::string word; line >> word;) {
        char* end = nullptr;
        const float v = std::strtof(word.c_str(), &end);
        if (end && *end == '\0') out.push_back(v);
    }
    return out;
}

// Bright pixels (text drawn white) within a region: their bounding box.
struct Ink {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1, count = 0;
};
Ink InkIn(const Screenshot& shot, int x0, int y0, int x1, int y1, int luma = 128) {
    Ink ink;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (shot.At(x, y).Luma() >= luma) {
                ink.x0 = std::min(ink.x0, x), ink.y0 = std::min(ink.y0, y);
                ink.x1 = std::max(ink.x1, x), ink.y1 = std::max(ink.y1, y);
                ++ink.count;
            }
    return ink;
}

// How many pixels of two equal-sized cells differ clearly in brightness.
int CellDifference(const Screenshot& shot, int ax, int bx, int y, int w, int h) {
    int differ = 0;
    for (int dy = 0; dy < h; ++dy)
        for (int dx = 0; dx < w; ++dx)
            differ += std::abs(shot.At(ax + dx, y + dy).Luma() - shot.At(bx + dx, y + dy).Luma()) > 96;
    return differ;
}

}  // namespace

TEST(ScreenDrawing, TextShapesSpritesAndLabelsLandWhereAsked) {
    Install install;
    std::string error = TestFiles::WriteBox(install.files.assets + "/box.obj", 0.5f);
    ASSERT_EQ(error, "");
    ScreenFiles::WriteSprite(install.files.assets + "/sprite.png");
    CopyFile(ScreenFiles::kBoldFont, install.files.assets + "/bold.ttf");

    Process engine(install.files.bin + "/engine", {}, install.Options("scene"));
    const std::string window = WaitForWindow(kTitle);
    ASSERT_FALSE(window.empty()) << engine.Wait().err;
    ASSERT_TRUE(engine.WaitForStderr("tick 10\n", 30000)) << engine.Stderr();
    const Screenshot shot = GrabWindow(window);
    if (const char* keep = std::getenv("VANTOR_KEEP_SCREENSHOT")) shot.SavePpm(keep);
    const std::string err = engine.Stderr();
    engine.Kill(SIGTERM);
    ASSERT_EQ(shot.width, 1280);
    ASSERT_EQ(shot.height, 800);
    EXPECT_EQ(err.find("WARNING: S2D"), std::string::npos) << err;
    EXPECT_EQ(err.find("WARNING: R3D"), std::string::npos) << err;

    // "Hello" at (40, 60), size 40: the ink lies in the measured box and fills its width.
    const std::vector<float> hello = Numbers(err, "measure hello");
    ASSERT_EQ(hello.size(), 3u) << err;
    EXPECT_GT(hello[0], 60);
    EXPECT_GT(hello[1], 40);
    EXPECT_EQ(static_cast<int>(std::ceil(hello[0])), static_cast<int>(hello[2]));
    const Ink ink = InkIn(shot, 30, 50, 300, 115);
    EXPECT_GE(ink.x0, 40);
    EXPECT_LE(ink.x0, 46);
    EXPECT_LE(ink.x1, 40 + hello[0] + 1);
    EXPECT_GE(ink.x1, 40 + hello[0] - 6);
    EXPECT_GE(ink.y0, 60);
    EXPECT_LE(ink.y1, 60 + hello[1]);
    EXPECT_GT(ink.y1 - ink.y0, 25) << "a 40-pixel capital is about 29 pixels tall";

    // Accented Latin, Greek and Cyrillic draw their own glyphs, unlike the
    // replacement glyph (cell 6); a byte that is not UTF-8 (cell 7) and a
    // character the font lacks (cell 8) draw the replacement glyph.
    constexpr int kCellY = 196, kCellW = 60, kCellH = 64;
    const int replacement = 40 + 80 * 6;
    ASSERT_GT(InkIn(shot, replacement, kCellY, replacement + kCellW, kCellY + kCellH).count, 200);
    for (int cell = 0; cell < 6; ++cell) {
        const int x = 40 + 80 * cell;
        EXPECT_GT(InkIn(shot, x, kCellY, x + kCellW, kCellY + kCellH).count, 60) << "cell " << cell << " is empty";
        EXPECT_GT(CellDifference(shot, x, replacement, kCellY, kCellW, kCellH), 150)
            << "cell " << cell << " looks like the replacement glyph";
    }
    EXPECT_LT(CellDifference(shot, 40 + 80 * 7, replacement, kCellY, kCellW, kCellH), 10);
    EXPECT_LT(CellDifference(shot, 40 + 80 * 8, replacement, kCellY, kCellW, kCellH), 10);
    // The loaded font draws the same line with glyphs of its own.
    EXPECT_GT(InkIn(shot, 40, 120, 500, 165).count, 800);

    // A 200-pixel "I" is sharp: across its stem, each edge goes from dark to
    // white within two pixels.
    const int row = 160;
    int grey = 0, white = 0;
    for (int x = 990; x < 1100; ++x) {
        const int luma = shot.At(x, row).Luma();
        grey += luma > 40 && luma < 215;
        white += luma >= 215;
    }
    EXPECT_GT(white, 15) << "the stem is missing at row " << row;
    EXPECT_LE(grey, 4) << "blurred edges";

    // Shapes: red, then half-transparent blue over it, a green circle, a line.
    EXPECT_TRUE(Near(shot.At(720, 510), 255, 0, 0)) << Describe(shot, 720, 510);
    EXPECT_TRUE(Near(shot.At(780, 550), 127, 0, 128)) << "blended " << Describe(shot, 780, 550);
    EXPECT_TRUE(Near(shot.At(840, 570), 0, 0, 128, 60)) << "blue over the scene " << Describe(shot, 840, 570);
    EXPECT_TRUE(Near(shot.At(1000, 600), 0, 255, 0)) << Describe(shot, 1000, 600);
    EXPECT_TRUE(Near(shot.At(1000, 600 + 36), 0, 255, 0)) << Describe(shot, 1000, 636);
    EXPECT_FALSE(Near(shot.At(1000, 600 + 44), 0, 255, 0)) << Describe(shot, 1000, 644);
    EXPECT_FALSE(Near(shot.At(1000 + 30, 600 + 30), 0, 255, 0)) << "outside the disc " << Describe(shot, 1030, 630);
    EXPECT_TRUE(Near(shot.At(800, 701), 255, 255, 0)) << Describe(shot, 800, 701);
    EXPECT_FALSE(Near(shot.At(800, 706), 255, 255, 0)) << Describe(shot, 800, 706);
    // The rounded rectangle's corner is cut, its middle edges are not.
    EXPECT_TRUE(Near(shot.At(140, 502), 0, 255, 255)) << Describe(shot, 140, 502);
    EXPECT_FALSE(Near(shot.At(42, 502), 0, 255, 255)) << Describe(shot, 42, 502);

    // The sprite turned a quarter clockwise: its white half (tinted orange) on
    // top, its blue half (tinted to black) below, 32 pixels wide, on grey.
    EXPECT_TRUE(Near(shot.At(1150, 430), 255, 128, 0)) << Describe(shot, 1150, 430);
    EXPECT_TRUE(Near(shot.At(1150, 470), 0, 0, 0)) << Describe(shot, 1150, 470);
    EXPECT_TRUE(Near(shot.At(1150 - 24, 440), 128, 128, 128)) << Describe(shot, 1126, 440);
    EXPECT_TRUE(Near(shot.At(1150, 450 - 40), 128, 128, 128)) << Describe(shot, 1150, 410);

    // The box's front face centre is where the window tests find it (449, 400),
    // red there; its label's text lies over the point above it, in yellow.
    const std::vector<float> label = Numbers(err, "label");
    ASSERT_GE(label.size(), 2u) << err;
    const std::vector<float> centre = Numbers(err, "centre");
    ASSERT_GE(centre.size(), 6u) << err;
    EXPECT_NEAR(centre[0], 449, 2);
    EXPECT_NEAR(centre[1], 400, 2);
    const Rgb boxPixel = shot.At(static_cast<int>(centre[0]) - 30, static_cast<int>(centre[1]) + 30);
    EXPECT_TRUE(boxPixel.r > 80 && boxPixel.r > 2 * boxPixel.g) << Describe(shot, static_cast<int>(centre[0]) - 30, 430);
    EXPECT_NEAR(label[0], centre[0], 2);
    EXPECT_LT(label[1], 336) << "above the box's top edge";
    int yellow = 0;
    for (int y = static_cast<int>(label[1]) - 10; y < label[1] + 14; ++y)
        for (int x = static_cast<int>(label[0]) - 35; x < label[0] + 35; ++x) yellow += Near(shot.At(x, y), 255, 255, 0, 60);
    EXPECT_GT(yellow, 40) << "the label is not over the box";
    EXPECT_EQ(centre[2], 1) << "in front";
    EXPECT_EQ(centre[3], 0) << "behind";
    EXPECT_EQ(centre[4], 1280);
    EXPECT_EQ(centre[5], 800);

    // The frame-rate counter lies over what tick drew (its green digits on the
    // white band); the later of two rectangles lies over the earlier.
    int counter = 0;
    for (int y = 10; y < 30; ++y)
        for (int x = 10; x < 120; ++x) counter += shot.At(x, y).g > 120 && shot.At(x, y).r < 100;
    EXPECT_GT(counter, 20) << "the counter is hidden";
    EXPECT_TRUE(Near(shot.At(330, 730), 255, 0, 255)) << Describe(shot, 330, 730);
}

TEST(ScreenDrawing, BrokenFontsAndImagesWarnOnceAndDrawNothingOrTheDefault) {
    Install install;
    const std::vector<std::string> files = ScreenFiles::WriteBrokenSet(install.files.assets);
    std::ofstream(install.files.assets + "/files.txt") << [&] {
        std::string list;
        for (const std::string& f : files) list += f + "\n";
        return list;
    }();
    RunResult r = TestSupport::Run(install.files.bin + "/engine", {}, install.Options("files"));
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("files done"), std::string::npos) << r.err;
    for (const std::string& file : files) {
        std::size_t warnings = 0;
        for (const std::string& line : Lines(r.err))
            warnings += line.find("WARNING: S2D: could not load") == 0 && line.find("\"" + file + "\"") != std::string::npos;
        EXPECT_EQ(warnings, 1u) << file << "\n" << r.err;
        if (file.find(".ttf") == std::string::npos) {
            EXPECT_NE(r.err.find(file + " 0 0\n"), std::string::npos) << file;
        }
    }
    // A 1e9-pixel "W" is measured at the largest size, 2048 pixels.
    const std::vector<float> vast = Numbers(r.err, "vast");
    ASSERT_EQ(vast.size(), 2u) << r.err;
    EXPECT_GT(vast[0], 1000);
    EXPECT_LT(vast[0], 4096);
}

TEST(ScreenDrawing, ASizeThatIsNotANumberStopsTheGameNamingTheEntry) {
    Install install;
    RunResult r = TestSupport::Run(install.files.bin + "/engine", {}, install.Options("nan"));
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("DrawTextEx: argument 3 (size) is not a finite number"), std::string::npos) << r.err;
}

// In reload mode a rewritten image or font file is read again and drawn from
// the next frame on; a broken one keeps what was there.
TEST(ScreenDrawing, RewrittenImagesAndFontsAreReloadedAndBrokenOnesKeepTheOld) {
    Install install;
    auto image = [](int side, unsigned char r, unsigned char g) {
        std::vector<unsigned char> rgba(static_cast<std::size_t>(side) * side * 4);
        for (std::size_t i = 0; i < rgba.size(); i += 4) rgba[i] = r, rgba[i + 1] = g, rgba[i + 2] = 0, rgba[i + 3] = 255;
        return rgba;
    };
    const std::string pic = install.files.assets + "/pic.png", font = install.files.assets + "/f.ttf";
    ASSERT_TRUE(ScreenFiles::WriteImage(pic, 8, 8, image(8, 255, 0)));
    CopyFile(ScreenFiles::kFont, font);
    RunOptions options = install.Options("reload");
    options.env.push_back("VANTOR_RELOAD=1");
    TempDir tmp;
    options.env.push_back("TMPDIR=" + tmp.Path());
    Process engine(install.files.bin + "/engine", {}, options);
    const std::string window = WaitForWindow(kTitle);
    ASSERT_FALSE(window.empty()) << engine.Wait().err;
    // A line written in one tick, then one in the next: by then the frame of
    // the first is on the screen.
    auto shown = [&engine](const std::string& text, std::size_t from) {
        if (!engine.WaitForStderr(text, 30000, from)) return false;
        return engine.WaitForStderr(text, 30000, engine.Stderr().rfind(text) + 1);
    };
    ASSERT_TRUE(shown("pic 8 font", 0)) << engine.Stderr();
    const float regular = Numbers(engine.Stderr(), "font").at(0);
    EXPECT_TRUE(Near(GrabWindow(window).At(150, 150), 255, 0, 0));

    // Written beside and renamed over, as editors and exporters do.
    auto replace = [](const std::string& path, const std::vector<unsigned char>& bytes) {
        ScreenFiles::WriteBytes(path + ".new", bytes);
        std::rename((path + ".new").c_str(), path.c_str());
    };
    std::size_t mark = engine.Stderr().size();
    ASSERT_TRUE(ScreenFiles::WriteImage(pic + ".png", 16, 16, image(16, 0, 255)));
    std::rename((pic + ".png").c_str(), pic.c_str());
    replace(font, ScreenFiles::ReadBytes(ScreenFiles::kBoldFont));
    ASSERT_TRUE(engine.WaitForStderr("image \"pic.png\" reloaded\n", 15000, mark)) << engine.Stderr().substr(mark);
    ASSERT_TRUE(engine.WaitForStderr("font \"f.ttf\" reloaded\n", 15000, mark)) << engine.Stderr().substr(mark);
    mark = engine.Stderr().size();
    ASSERT_TRUE(shown("pic 16 font", mark)) << engine.Stderr().substr(mark);
    const std::vector<float> bold = Numbers(engine.Stderr().substr(mark), "font");
    ASSERT_FALSE(bold.empty());
    EXPECT_GT(bold[0], regular + 4) << "the bold font is wider";
    EXPECT_TRUE(Near(GrabWindow(window).At(150, 150), 0, 255, 0)) << Describe(GrabWindow(window), 150, 150);

    mark = engine.Stderr().size();
    replace(pic, {1, 2, 3});
    ASSERT_TRUE(engine.WaitForStderr("image \"pic.png\" not reloaded: the old one stays", 15000, mark))
        << engine.Stderr().substr(mark);
    ASSERT_TRUE(shown("pic 16 font", engine.Stderr().size()));
    EXPECT_TRUE(Near(GrabWindow(window).At(150, 150), 0, 255, 0));
    engine.Kill(SIGTERM);
}
