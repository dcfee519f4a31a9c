// Runs of the real engine and level driven only through the X server with
// xdotool, as a player would. The real game module: hold W, move the mouse,
// press Space, then Escape; it must exit 0, show a lit level and keep the
// terminal quiet. The scripted game module with the host's own mouse
// movement: mouse look through the captured pointer.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <thread>

#include "Process.h"
#include "Screenshot.h"

using namespace TestSupport;

namespace {

// Share of pixels in a region brighter than `luma`.
double BrightShare(const Screenshot& shot, int x0, int y0, int x1, int y1, int luma) {
    int bright = 0, all = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++all) bright += shot.At(x, y).Luma() > luma;
    return all ? static_cast<double>(bright) / all : 0.0;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Quiet by default: no INFO lines, and no sound library chatter when there is no sound card.
void ExpectQuietStderr(const std::string& err) {
    EXPECT_EQ(err.find("INFO"), std::string::npos) << err.substr(0, 2000);
    EXPECT_EQ(err.find("ALSA"), std::string::npos) << err.substr(0, 2000);
    EXPECT_LE(Count(err, "no audio device, continuing without sound"), 1u);
    EXPECT_EQ(Count(err, "AUDIO"), Count(err, "no audio device")) << "the sound library spoke again: " << err.substr(0, 2000);
}

// The engine with the scripted game reading the host's own mouse movement;
// `play` drives it through xdotool while it runs (`window` is the game's X
// window, `wait` waits while reading what the engine writes). Ends with
// Escape and returns the yaw and pitch the player faces at the end, from its
// look vector, and everything it wrote on stderr.
struct Look {
    float yaw = NAN, pitch = NAN;
    std::string err;
};
Look PlayMouse(const std::function<void(const std::string& window, const std::function<void(int)>& wait)>& play,
               const std::vector<std::string>& env = {}) {
    EngineInstall install(VANTOR_ENGINE, VANTOR_SCRIPTED_GAME);
    CopyFolder(VANTOR_ASSETS, install.assets);  // the level and the sounds
    RunOptions options;
    options.cwd = install.root.Path();
    options.env = {"VANTOR_NO_DIALOG=1", "VANTOR_PLAY_SCRIPT=realmouse; frames 1000000"};
    options.env.insert(options.env.end(), env.begin(), env.end());
    options.timeoutMs = 120000;
    Process engine(install.bin + "/engine", {}, options);
    // The engine writes a line every frame: keep reading while waiting.
    auto wait = [&engine](int ms) { engine.WaitForStderr("\n(never written)", ms); };

    Look look;
    std::string window = WaitForWindow("Vantor v0.0.0", 30000);
    if (window.empty()) {
        engine.Kill(SIGTERM);
        ADD_FAILURE() << "the window did not open\n" << engine.Wait().err.substr(0, 3000);
        return look;
    }
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null");
    EXPECT_TRUE(engine.WaitForStderr("state 10 ", 30000)) << "the game is not running";
    wait(500);
    play(window, wait);
    wait(800);
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool key Escape");
    RunResult r = engine.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.err.substr(r.err.size() > 3000 ? r.err.size() - 3000 : 0);

    float x = 0, y = 0, z = 0;
    for (const std::string& line : Lines(r.err)) {
        std::istringstream in(line);
        std::string word;
        int tick;
        if (in >> word >> tick && word == "state") {
            in >> word >> x >> y >> z;  // pos
            in >> word >> x >> y >> z;  // look
        }
    }
    look.yaw = std::atan2(x, z);  // turning right lowers the yaw
    look.pitch = std::asin(-y);   // looking down raises the pitch
    look.err = r.err;
    return look;
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

TEST(EngineRun, MouseLookThroughTheCapturedPointerLosesNoMovement) {
    // Twenty small moves, a frame or so apart, turn as far as one move of their total.
    Look small = PlayMouse(
        [](const std::string&, const std::function<void(int)>& wait) {
            for (int i = 0; i < 20; ++i) {
                Shell("xdotool mousemove_relative -- 3 0");
                wait(40);
            }
        },
        {"VANTOR_LOG=info"});
    Look big = PlayMouse([](const std::string&, const std::function<void(int)>&) {
        Shell("xdotool mousemove_relative -- 60 0");
    });
    EXPECT_NEAR(big.yaw, -0.6f, 0.03f) << "60 px to the right, 100 px per radian";
    EXPECT_NEAR(small.yaw, big.yaw, 0.05f * std::fabs(big.yaw));
    EXPECT_NEAR(small.pitch, 0.0f, 1e-4f);
    EXPECT_NEAR(big.pitch, 0.0f, 1e-4f);
    // A flick further than the window is wide is not cut short at its edge.
    Look flick = PlayMouse([](const std::string&, const std::function<void(int)>&) {
        Shell("xdotool mousemove_relative -- -1500 0");
    });
    EXPECT_NEAR(flick.yaw, 15.0f - 4 * 3.14159265f, 0.1f) << "1500 px to the left: 15 radians";

    ExpectQuietStderr(big.err);
    EXPECT_NE(small.err.find("INFO"), std::string::npos) << "VANTOR_LOG=info shows raylib's INFO lines";
}

TEST(EngineRun, MovingTheMouseWhileAnotherWindowHasFocusTurnsNothing) {
    std::string display = Shell("command -v display");
    ASSERT_FALSE(display.empty()) << "ImageMagick's display is needed for a second window";
    // A small window of its own below the game's (which is centred, 800 high, on a 1024 high screen).
    RunOptions options;
    options.timeoutMs = 120000;
    Process other(display, {"-title", "vantor-other", "-geometry", "200x100+1050+920", "xc:gray"}, options);
    std::string otherWindow = WaitForWindow("vantor-other", 30000);
    ASSERT_FALSE(otherWindow.empty()) << "the second window did not open";

    Look look = PlayMouse([&otherWindow](const std::string&, const std::function<void(int)>& wait) {
        Shell("xdotool windowfocus --sync " + otherWindow + " 2>/dev/null");
        wait(500);
        // Into the game's window from outside, around in it, and out again.
        Shell("xdotool mousemove 1100 1000");
        wait(200);
        Shell("xdotool mousemove 300 300");
        wait(200);
        for (int i = 0; i < 10; ++i) {
            Shell("xdotool mousemove_relative -- 25 12");
            wait(40);
        }
        Shell("xdotool mousemove 1100 1000");
        wait(500);
        // Focus comes back with the pointer outside the game's window: the
        // system puts it back in the middle, which is no movement either.
        Shell("xdotool windowfocus --sync $(xdotool search --onlyvisible --name '^Vantor v0.0.0$' | head -n1)");
        wait(800);
        Shell("xdotool mousemove_relative -- 30 0");
    });
    other.Kill(SIGTERM);
    other.Wait();
    EXPECT_NEAR(look.yaw, -0.3f, 0.015f) << "only the move made with the game focused turns it";
    EXPECT_NEAR(look.pitch, 0.0f, 1e-4f);
    ExpectQuietStderr(look.err);
}

TEST(EngineRun, PlayedWithKeysAndMouseShowsALitLevelAndExitsZeroOnEscape) {
    EngineInstall install(VANTOR_ENGINE, VANTOR_GAME_MODULE);
    CopyFolder(VANTOR_ASSETS, install.assets);  // the level and the sounds

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
    ExpectQuietStderr(r.err);

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
    CopyFolder(VANTOR_ASSETS, install.assets);  // the sounds
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
