// The environment in the real engine: the module (environment_module.cpp) steps
// through its scenes on each N, and each picture is read back from the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <string>

#include "BoxFile.h"
#include "Process.h"
#include "Screenshot.h"
#include "raylib.h"

using namespace TestSupport;

namespace {

const char* kTitle = "Vantor v0.0.0";

struct Game {
    EngineInstall install{VANTOR_ENGINE, VANTOR_ENVIRONMENT_GAME};
    std::unique_ptr<Process> engine;
    std::string window;

    Game() {
        EXPECT_EQ(TestFiles::WriteBox(install.assets + "/box.obj", 0.5f), "");
        // A panorama: -Z (its centre column) red, +X (three quarters across) green, the rest grey.
        Image sky = GenImageColor(256, 128, Color{90, 90, 90, 255});
        ImageDrawRectangle(&sky, 96, 0, 64, 128, Color{220, 30, 30, 255});
        ImageDrawRectangle(&sky, 160, 0, 64, 128, Color{30, 220, 30, 255});
        EXPECT_TRUE(ExportImage(sky, (install.assets + "/sky.png").c_str()));
        UnloadImage(sky);
        // A Radiance panorama of one linear colour, (25, 77, 153) / 256 in every texel.
        std::string hdr = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 32 +X 64\n";
        for (int i = 0; i < 64 * 32; ++i) hdr += std::string{char(25), char(77), char(153), char(128)};
        std::FILE* file = std::fopen((install.assets + "/sky.hdr").c_str(), "wb");
        EXPECT_NE(file, nullptr);
        if (file != nullptr) {
            std::fwrite(hdr.data(), 1, hdr.size(), file);
            std::fclose(file);
        }
        RunOptions options;
        options.cwd = install.bin;
        options.env = {"VANTOR_NO_DIALOG=1"};
        engine = std::make_unique<Process>(install.bin + "/engine", std::vector<std::string>{}, options);
        window = WaitForWindow(kTitle);
    }
    ~Game() { engine->Kill(SIGTERM); }

    // The picture of a stage once it has been drawn a few times.
    Screenshot Stage(int stage) {
        const std::string settled = "stage " + std::to_string(stage) + " frame 3\n";
        if (stage > 0) {
            Shell("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool keydown n");
            const bool entered = engine->WaitForStderr("stage " + std::to_string(stage) + " frame 1\n", 20000);
            Shell("xdotool keyup n");
            EXPECT_TRUE(entered) << "stage " << stage << " never started";
        }
        EXPECT_TRUE(engine->WaitForStderr(settled, 20000)) << "stage " << stage;
        // A frame the game has ticked past can still be on its way to the X server,
        // behind the grab (a stage's first picture was once grabbed showing the stage
        // before it): the picture is the stage's once two grabs two frames apart agree.
        Screenshot last = GrabWindow(window);
        for (int frame = 5; frame <= 41; frame += 2) {
            const std::string later = "stage " + std::to_string(stage) + " frame " + std::to_string(frame) + "\n";
            EXPECT_TRUE(engine->WaitForStderr(later, 20000)) << "stage " << stage;
            Screenshot now = GrabWindow(window);
            const bool same = now.pixels.size() == last.pixels.size() &&
                              std::equal(now.pixels.begin(), now.pixels.end(), last.pixels.begin(),
                                         [](Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; });
            if (same) return now;
            last = std::move(now);
        }
        ADD_FAILURE() << "stage " << stage << " still changed 40 frames in";
        return last;
    }
};

std::string Show(Rgb p) {
    char text[48];
    std::snprintf(text, sizeof text, "%d %d %d", p.r, p.g, p.b);
    return text;
}
int Brightness(Rgb p) { return p.r + p.g + p.b; }
bool Near(Rgb p, int r, int g, int b, int tolerance) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance;
}

}  // namespace

TEST(Environment, SkyFogOcclusionBloomSkyLightAndPanoramaShowAsSet) {
    Game game;
    ASSERT_FALSE(game.window.empty());

    // The procedural sky, looking level with a 90 degree view: the horizon row is the
    // horizon colour, the top row (45 degrees up) within 1% of the zenith, the bottom the ground.
    Screenshot sky = game.Stage(0);
    ASSERT_EQ(sky.width, 1280);
    EXPECT_TRUE(Near(sky.At(640, 400), 40, 200, 40, 6)) << Show(sky.At(640, 400));
    EXPECT_TRUE(Near(sky.At(640, 2), 200, 40, 40, 6)) << Show(sky.At(640, 2));
    EXPECT_TRUE(Near(sky.At(640, 797), 40, 40, 200, 6)) << Show(sky.At(640, 797));
    EXPECT_GT(sky.At(640, 300).r, sky.At(640, 390).r) << "the sky reddens upwards";

    // Fog: each box gives way to the fog colour by 1 - exp(-0.03 d) of the way, d the
    // distance to the middle of its front face, and the sky turns to the fog colour.
    Screenshot clear = game.Stage(1);
    Screenshot foggy = game.Stage(2);
    struct Probe {
        int x, y;
        float distance;
    };
    // 60 degree view: 692.8 px per unit at 1 m; eye at y = 1, level with the boxes' centres.
    const float perMetre = 400.0f / std::tan(30.0f * DEG2RAD);
    const Probe boxes[] = {{640 + int(-2.0f / 4.5f * perMetre), 400, std::hypot(2.0f, 4.5f)},
                           {640 + int(1.5f / 18.0f * perMetre), 400, std::hypot(1.5f, 18.0f)},
                           {640 + int(-12.0f / 72.0f * perMetre), 400, std::hypot(12.0f, 72.0f)}};
    float previous = -1.0f;
    for (const Probe& box : boxes) {
        const Rgb before = clear.At(box.x, box.y), after = foggy.At(box.x, box.y);
        ASSERT_GT(Brightness(before), 150) << "no box at " << box.x << ": " << Show(before);
        const float share = 1.0f - std::exp(-0.03f * box.distance);
        const int want = static_cast<int>(std::lround(before.g + (150 - before.g) * share));
        EXPECT_NEAR(after.g, want, 6) << "box at " << box.distance << " m: clear " << Show(before) << ", fogged " << Show(after);
        const float towardsFog = std::abs(after.g - 150) / std::max(1.0f, float(std::abs(before.g - 150)));
        if (previous >= 0.0f) {
            EXPECT_LT(towardsFog, previous) << "farther boxes are nearer the fog colour";
        }
        previous = towardsFog;
    }
    EXPECT_TRUE(Near(foggy.At(640, 100), 150, 150, 150, 3)) << "the sky in fog: " << Show(foggy.At(640, 100));

    // Ambient occlusion: the floor at the box's foot darkens; the open floor does not.
    Screenshot open = game.Stage(3);
    Screenshot occluded = game.Stage(4);
    // The box's foot on the floor lies in this band of the picture (its inner corner).
    int cornerOff = 0, cornerOn = 0, probes = 0;
    for (int y = 430; y <= 560; y += 10) {
        for (int x = 500; x <= 780; x += 10) {
            cornerOff += Brightness(open.At(x, y)), cornerOn += Brightness(occluded.At(x, y));
            ++probes;
        }
    }
    EXPECT_LT(cornerOn, cornerOff - probes * 6) << "occlusion darkens around the box's foot";
    EXPECT_NEAR(Brightness(occluded.At(100, 750)), Brightness(open.At(100, 750)), 6) << "the open floor stays";

    // Bloom: beside the box lit far above white, the glow; beside the dim one, nothing.
    Screenshot flat = game.Stage(5);
    Screenshot glow = game.Stage(6);
    // 0.6 m boxes 5.7 m away: about 73 px across, centred at x = 640 -/+ 182.
    const int brightX = 640 - 182, dimX = 640 + 182, outside = 55;
    EXPECT_GT(Brightness(flat.At(brightX, 400)), 600) << "the lit box is near white: " << Show(flat.At(brightX, 400));
    EXPECT_GT(Brightness(glow.At(brightX + outside, 400)), Brightness(flat.At(brightX + outside, 400)) + 15)
        << "glow beside the bright box: " << Show(flat.At(brightX + outside, 400)) << " -> " << Show(glow.At(brightX + outside, 400));
    EXPECT_NEAR(Brightness(glow.At(dimX + outside, 400)), Brightness(flat.At(dimX + outside, 400)), 4) << "none beside the dim one";

    // Sky light: a white floor under a green sky turns green.
    Screenshot unlit = game.Stage(7);
    Screenshot skyLit = game.Stage(8);
    const Rgb before = unlit.At(640, 600), after = skyLit.At(640, 600);
    EXPECT_GT(after.g, before.g + 60) << Show(before) << " -> " << Show(after);
    EXPECT_GT(after.g, 2 * after.r) << Show(after);

    // The panorama: its centre straight ahead, its green quarter after a quarter turn right.
    Screenshot ahead = game.Stage(9);
    EXPECT_TRUE(Near(ahead.At(640, 400), 220, 30, 30, 12)) << Show(ahead.At(640, 400));
    Screenshot right = game.Stage(10);
    EXPECT_TRUE(Near(right.At(640, 400), 30, 220, 30, 12)) << Show(right.At(640, 400));

    // A Radiance panorama is linear light: at exposure 1 these values come out as they are.
    Screenshot radiance = game.Stage(11);
    EXPECT_TRUE(Near(radiance.At(640, 400), 25, 77, 152, 4)) << Show(radiance.At(640, 400));
}
