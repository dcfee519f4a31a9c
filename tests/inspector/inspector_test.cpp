// The inspector as a game programmer meets it, in the real engine under Xvfb:
// F1 lays it over the running game and takes it away again, the game's mouse
// look sees nothing while it is shown, a packed game or VANTOR_INSPECT=0 keeps
// it off; a crate clicked in the world is moved through it while the game is
// paused, held there, stepped a frame at a time and then falls onto the floor.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "BoxFile.h"
#include "Process.h"
#include "Screenshot.h"

using namespace TestSupport;

namespace {

struct Install {
    EngineInstall files{VANTOR_ENGINE, VANTOR_INSPECT_GAME};
    Install() { EXPECT_EQ(TestFiles::WriteBox(files.assets + "/box.obj", 0.5f), ""); }
    RunOptions Options(std::vector<std::string> env = {}) const {
        RunOptions options;
        options.cwd = files.bin;
        options.env = std::move(env);
        options.env.push_back("VANTOR_NO_DIALOG=1");
        options.timeoutMs = 90000;
        return options;
    }
};

// The game's latest frame report: number, "DeltaTime", the crate's x, y, z.
struct Frame {
    int number = 0;
    float dt = 0, x = 0, y = 0, z = 0;
};
Frame Latest(const Process& engine) {
    const std::vector<float> n = LastNumbers(engine.Stderr(), "frame");
    if (n.size() < 5) return {};
    return {static_cast<int>(n[0]), n[1], n[2], n[3], n[4]};
}

// Waits until the game has run `count` more frames (whole frames drawn since).
bool WaitFrames(Process& engine, int count) {
    const int until = Latest(engine).number + count + 1;
    for (int guard = 0; guard < 2000; ++guard) {
        if (Latest(engine).number >= until) return true;
        if (!engine.WaitForStderr("\n", 100, engine.Stderr().size())) {
            if (!engine.Running()) return false;
        }
    }
    return false;
}

// Mean difference of the pixels of a rectangle between two pictures, per channel.
double MeanDifference(const Screenshot& a, const Screenshot& b, int x0, int y0, int x1, int y1) {
    double sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const Rgb p = a.At(x, y), q = b.At(x, y);
            sum += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b);
        }
    return sum / (3.0 * (x1 - x0) * (y1 - y0));
}

void Key(const std::string& window, const std::string& key) {
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool key " + key);
}
void Click(const std::string& window, int x, int y, const std::string& modifier = "") {
    if (modifier.empty()) Shell("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    else
        Shell("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) + " keydown " +
              modifier + " click 1 keyup " + modifier);
}

constexpr int kPanelWidth = 440;  // the inspector's column at the window's left

}  // namespace

TEST(Inspector, F1ShowsItOverTheRunningGameKeepsTheMouseFromTheGameAndHidesItAsBefore) {
    Install install;
    Process engine(install.files.bin + "/engine", {}, install.Options());
    const std::string window = WaitForWindow("Vantor inspector test", 30000);
    ASSERT_FALSE(window.empty()) << engine.Wait().err;
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null");
    ASSERT_TRUE(WaitFrames(engine, 10)) << engine.Stderr();
    // The game looks with the captured pointer: movement reaches it.
    Shell("xdotool mousemove_relative -- 40 0");
    ASSERT_TRUE(engine.WaitForStderr("\nlook ", 20000)) << "the game sees the mouse without the inspector";
    ASSERT_TRUE(WaitFrames(engine, 3));
    const Screenshot before = GrabWindow(window);

    Key(window, "F1");
    ASSERT_TRUE(engine.WaitForStderr("inspector shown\n", 20000)) << engine.Stderr();
    const std::size_t shownAt = engine.Stderr().find("inspector shown\n");
    ASSERT_TRUE(WaitFrames(engine, 3));
    const Screenshot shown = GrabWindow(window);
    for (int step = 0; step < 6; ++step)  // over the inspector's list and values
        Shell("xdotool mousemove --window " + window + " " + std::to_string(60 + 40 * step) + " " +
              std::to_string(200 + 30 * step));
    ASSERT_TRUE(WaitFrames(engine, 4));
    EXPECT_EQ(engine.Stderr().find("\nlook ", shownAt), std::string::npos) << "the game turned while the inspector was shown";

    Key(window, "F1");
    ASSERT_TRUE(engine.WaitForStderr("inspector hidden\n", 20000, shownAt)) << engine.Stderr();
    ASSERT_TRUE(WaitFrames(engine, 3));
    const Screenshot after = GrabWindow(window);
    Key(window, "Escape");
    const RunResult r = engine.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.err;

    ASSERT_FALSE(before.Empty() || shown.Empty() || after.Empty());
    EXPECT_GT(MeanDifference(before, shown, 0, 0, kPanelWidth, 800), 20.0) << "the inspector is drawn in its column";
    EXPECT_LT(MeanDifference(before, shown, kPanelWidth + 20, 0, 1280, 800), 1.0) << "the game's frame is still drawn beside it";
    EXPECT_LT(MeanDifference(before, after, 0, 0, 1280, 800), 0.5) << "hidden, the picture is as before";
}

TEST(Inspector, OffInAPackedGameUntilTheGameTurnsItOnAndAlwaysOffWithVantorInspect0) {
    Install install;
    // A packed game's engine carries the game's name.
    ASSERT_EQ(std::system(("ln -s engine " + install.files.bin + "/mygame").c_str()), 0);
    {
        Process game(install.files.bin + "/mygame", {}, install.Options());
        const std::string window = WaitForWindow("Vantor inspector test", 30000);
        ASSERT_FALSE(window.empty()) << game.Wait().err;
        ASSERT_TRUE(WaitFrames(game, 3));
        Key(window, "F1");
        ASSERT_TRUE(WaitFrames(game, 5));
        EXPECT_EQ(game.Stderr().find("inspector shown"), std::string::npos) << "off in a packed game";
        Key(window, "e");
        ASSERT_TRUE(game.WaitForStderr("enabled\n", 20000)) << game.Stderr();
        Key(window, "F1");
        EXPECT_TRUE(game.WaitForStderr("inspector shown\n", 20000)) << "the game's maker turned it on";
        Key(window, "Escape");
        EXPECT_EQ(game.Wait().exitCode, 0);
    }
    Process engine(install.files.bin + "/engine", {}, install.Options({"VANTOR_INSPECT=0"}));
    const std::string window = WaitForWindow("Vantor inspector test", 30000);
    ASSERT_FALSE(window.empty()) << engine.Wait().err;
    ASSERT_TRUE(WaitFrames(engine, 3));
    Key(window, "e");
    ASSERT_TRUE(engine.WaitForStderr("enabled\n", 20000)) << engine.Stderr();
    Key(window, "F1");
    ASSERT_TRUE(WaitFrames(engine, 5));
    EXPECT_EQ(engine.Stderr().find("inspector shown"), std::string::npos) << "VANTOR_INSPECT=0 wins over the game";
    Key(window, "Escape");
    EXPECT_EQ(engine.Wait().exitCode, 0);
}

TEST(Inspector, ACrateClickedInTheWorldIsMovedThroughItHeldWhilePausedSteppedFrameByFrameAndFalls) {
    Install install;
    Process engine(install.files.bin + "/engine", {}, install.Options());
    const std::string window = WaitForWindow("Vantor inspector test", 30000);
    ASSERT_FALSE(window.empty()) << engine.Wait().err;
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null");
    ASSERT_TRUE(WaitFrames(engine, 5)) << engine.Stderr();
    EXPECT_NEAR(Latest(engine).y, 0.5f, 0.05f) << "the crate rests on the floor";
    Key(window, "F1");
    ASSERT_TRUE(engine.WaitForStderr("inspector shown\n", 20000)) << engine.Stderr();

    Click(window, 17, 36);  // "Pause"
    ASSERT_TRUE(WaitFrames(engine, 3));
    ASSERT_EQ(Latest(engine).dt, 0.0f) << "paused: the tick runs with a DeltaTime of 0";
    // The crate, near the middle of the view (not on it: showing the inspector put the
    // pointer there, and GLFW takes a move onto the point it warped to for its own).
    Click(window, 650, 410);
    ASSERT_TRUE(WaitFrames(engine, 2));
    // Its position's y, typed into the field (ctrl+click edits a number as text).
    Click(window, 149, 464, "ctrl");
    ASSERT_TRUE(WaitFrames(engine, 1));
    Shell("xdotool key ctrl+a");
    Shell("xdotool type 4");
    Shell("xdotool key Return");
    ASSERT_TRUE(WaitFrames(engine, 3));
    Frame held = Latest(engine);
    EXPECT_NEAR(held.y, 4.0f, 1e-3f) << "the entries read the transform the inspector wrote\n" << engine.Stderr();
    EXPECT_NEAR(held.x, 0.0f, 1e-3f);
    EXPECT_EQ(held.dt, 0.0f);
    ASSERT_TRUE(WaitFrames(engine, 5));
    EXPECT_NEAR(Latest(engine).y, 4.0f, 1e-3f) << "the body holds while the game is paused";

    // Two steps: a body is drawn where it was between its last two physics steps, so the
    // first step may still show it where it was put.
    const std::size_t stepAt = engine.Stderr().size();
    Click(window, 91, 36);  // "Step"
    ASSERT_TRUE(WaitFrames(engine, 2));
    Click(window, 91, 36);
    ASSERT_TRUE(WaitFrames(engine, 4));
    int moving = 0;
    float lowest = 4.0f;
    for (const std::string& line : Lines(engine.Stderr().substr(stepAt))) {
        int n = 0;
        float dt = 0, x = 0, y = 0, z = 0;
        if (std::sscanf(line.c_str(), "frame %d dt %f crate %f %f %f", &n, &dt, &x, &y, &z) != 5) continue;
        moving += dt > 0;
        lowest = std::min(lowest, y);
    }
    EXPECT_EQ(moving, 2) << "one frame stepped a click\n" << engine.Stderr().substr(stepAt);
    EXPECT_LT(lowest, 4.0f) << "the body fell during those frames";
    EXPECT_GT(lowest, 3.5f);

    Click(window, 17, 36);  // "Pause" off: the body falls from where it was put
    for (int frames = 0; frames < 600 && Latest(engine).y > 0.55f; frames += 10) ASSERT_TRUE(WaitFrames(engine, 10));
    ASSERT_TRUE(WaitFrames(engine, 40));  // landed: settled after its bounce
    EXPECT_NEAR(Latest(engine).y, 0.5f, 0.03f) << "it fell back onto the floor";
    EXPECT_NEAR(Latest(engine).x, 0.0f, 0.05f);
    Key(window, "F1");
    Key(window, "Escape");
    const RunResult r = engine.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.err;
}
