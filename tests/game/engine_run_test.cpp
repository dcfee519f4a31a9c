// One run of the real engine with the real game module and level, driven only
// through the X server with xdotool as a player would: hold W, move the mouse,
// press Space, then Escape. It must exit 0, and what the window shows while it
// runs must be a lit level.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "Process.h"
#include "Screenshot.h"

using namespace TestSupport;

namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Share of pixels in a region brighter than `luma`.
double BrightShare(const Screenshot& shot, int x0, int y0, int x1, int y1, int luma) {
    int bright = 0, all = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++all) bright += shot.At(x, y).Luma() > luma;
    return all ? static_cast<double>(bright) / all : 0.0;
}

}  // namespace

TEST(EngineRun, PlayedWithKeysAndMouseShowsALitLevelAndExitsZeroOnEscape) {
    EngineInstall install(VANTOR_ENGINE, VANTOR_GAME_MODULE);
    CopyFile(VANTOR_LEVEL, install.assets + "/base.fbx");

    RunOptions options;
    options.cwd = install.root.Path();
    options.env = {"VANTOR_NO_DIALOG=1"};
    options.timeoutMs = 120000;
    Process engine(install.bin + "/engine", {}, options);

    std::string window = WaitForWindow("Vantor v0.0.0", 30000);
    if (window.empty()) {
        engine.Kill(SIGTERM);
        RunResult r = engine.Wait();
        FAIL() << "the window did not open; exit " << r.exitCode << "\n" << r.err.substr(0, 3000);
    }
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null");
    Sleep(1500);
    Screenshot before = GrabWindow(window);

    Shell("xdotool keydown w");
    Sleep(1200);
    Shell("xdotool mousemove_relative -- 40 0");
    Sleep(300);
    Shell("xdotool key space");
    Sleep(800);
    Screenshot shot = GrabWindow(window);
    Shell("xdotool keyup w");
    Sleep(300);
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool key Escape");
    RunResult r = engine.Wait();

    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.err.substr(r.err.size() > 3000 ? r.err.size() - 3000 : 0);
    EXPECT_EQ(r.out, "0\n") << "one line: the module loaded";

    ASSERT_FALSE(shot.Empty()) << "no screenshot";
    ASSERT_FALSE(before.Empty());
    ASSERT_EQ(before.pixels.size(), shot.pixels.size());
    // Walking and turning changed the view: the keys and the mouse reached the game.
    size_t changed = 0;
    for (size_t i = 0; i < shot.pixels.size(); ++i)
        changed += std::abs(shot.pixels[i].Luma() - before.pixels[i].Luma()) > 24;
    EXPECT_GT(changed, shot.pixels.size() / 40) << "the view did not change while walking and turning";
    int w = shot.width, h = shot.height;
    // The flashlight lights what is in front: a good part of the middle of the
    // frame is clearly lit, and it is not one flat colour.
    // Unlit, the level shows only the renderer's faint ambient light (luma
    // well under 60), and the empty sky is darker still.
    double lit = BrightShare(shot, w / 4, h / 4, 3 * w / 4, 3 * h / 4, 60);
    EXPECT_GT(lit, 0.05) << "middle of the frame mostly dark";
    EXPECT_GT(BrightShare(shot, w / 4, h / 4, 3 * w / 4, 3 * h / 4, 150), 0.005) << "no brightly lit spot";
    EXPECT_LT(BrightShare(shot, 0, 0, w, h, 250), 0.9) << "a blank white frame";
    std::set<int> shades;
    for (int y = h / 4; y < 3 * h / 4; y += 8)
        for (int x = w / 4; x < 3 * w / 4; x += 8) shades.insert(shot.At(x, y).Luma() / 8);
    EXPECT_GE(shades.size(), 6u) << "the lit part shows shading, not one flat colour";
    // Only a failed run keeps what it saw, to be looked at.
    if (HasFailure()) shot.SavePpm(::testing::TempDir() + "/engine_run.ppm");
}

// The shipped level with one vertex coordinate changed to -1e39, which reads as minus
// infinity: the engine refuses that model with a warning naming the file, keeps
// running without the level, and exits 0 on Escape.
TEST(EngineRun, LevelWithAnInfiniteCoordinateIsRefusedAndTheEngineRunsOn) {
    EngineInstall install(VANTOR_ENGINE, VANTOR_GAME_MODULE);
    std::ifstream in(VANTOR_LEVEL, std::ios::binary);
    std::string level((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t vertices = level.find("Vertices:");
    ASSERT_NE(vertices, std::string::npos);
    size_t first = level.find("a: ", vertices);
    ASSERT_NE(first, std::string::npos);
    first += 3;
    size_t end = level.find(',', first);
    level.replace(first, end - first, "-1e39");
    std::ofstream(install.assets + "/base.fbx", std::ios::binary) << level;

    RunOptions options;
    options.cwd = install.root.Path();
    options.env = {"VANTOR_NO_DIALOG=1"};
    options.timeoutMs = 60000;
    Process engine(install.bin + "/engine", {}, options);
    std::string window = WaitForWindow("Vantor v0.0.0", 30000);
    ASSERT_FALSE(window.empty()) << "the window did not open";
    Sleep(1000);
    EXPECT_TRUE(engine.Running()) << "the engine stopped";
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool key Escape");
    RunResult r = engine.Wait();
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 0) << r.err.substr(r.err.size() > 3000 ? r.err.size() - 3000 : 0);
    EXPECT_NE(r.err.find("base.fbx\": a vertex position is not a finite number"), std::string::npos) << r.err;
}
