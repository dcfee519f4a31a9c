// Particle emitters in the real engine: a test game (modules/particles_game.cpp) streams
// and bursts particles, counted as the engine steps them; a green stream on the screen
// where its parent puts it, following the parent when it moves and turns, gone with
// "ClearScene"; bad values refused naming the entry and the argument.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Process.h"
#include "Screenshot.h"

using namespace TestSupport;

namespace {

struct Install {
    EngineInstall files{VANTOR_ENGINE, VANTOR_PARTICLES_GAME};

    RunOptions Options(const std::string& script) const {
        RunOptions options;
        options.cwd = files.bin;
        options.env = {"VANTOR_NO_DIALOG=1", "VANTOR_PARTICLES_SCRIPT=" + script};
        options.timeoutMs = 60000;
        return options;
    }
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The frame after the one that wrote the last "tick" line so far: the state reported
// with that line is on the screen.
std::string NextTick(const std::string& err) {
    return "tick " + std::to_string(static_cast<int>(LastNumbers(err, "tick")[0]) + 2) + "\n";
}

bool Green(Rgb p) { return p.g > 150 && p.r < 80 && p.b < 80; }
bool Dark(Rgb p) { return p.Luma() < 60; }

// The pixel at the place the game reported last under `label`.
Rgb At(const Screenshot& shot, const std::string& err, const std::string& label) {
    const std::vector<float> xy = LastNumbers(err, label);
    EXPECT_EQ(xy.size(), 2u) << label << "\n" << err;
    return xy.size() == 2 ? shot.At(static_cast<int>(xy[0]), static_cast<int>(xy[1])) : Rgb{};
}

std::string Describe(Rgb p) {
    return std::to_string(p.r) + " " + std::to_string(p.g) + " " + std::to_string(p.b);
}

}  // namespace

// A burst lives exactly its lifetime, counted with the very time steps the engine took;
// a stream of 200 a second living 0.5 s holds about 100.
TEST(Particles, ABurstDiesAfterItsLifetimeAndAStreamHoldsRateTimesLifetime) {
    Install install;
    Process engine(install.files.bin + "/engine", {}, install.Options("count"));
    ASSERT_TRUE(engine.WaitForStderr("counted\n", 60000)) << engine.Stderr();
    engine.Kill(SIGTERM);
    const std::string err = engine.Wait().err;
    EXPECT_FALSE(Contains(err, "WARNING: R3D")) << err;

    int bursts = 0, alive = 0, gone = 0;
    std::vector<int> stream;
    for (const std::string& line : Lines(err)) {
        int count = 0, n = 0;
        char since[32] = {};
        if (std::sscanf(line.c_str(), "burst %d %31s%n", &count, since, &n) == 2) {
            ++bursts;
            const float t = std::strtof(since, nullptr);
            EXPECT_EQ(count, t < 0.3f ? 100 : 0) << line;  // the engine ages them by the same sums
            (t < 0.3f ? alive : gone) += 1;
        } else if (std::sscanf(line.c_str(), "stream %d", &count) == 1) {
            stream.push_back(count);
        }
    }
    EXPECT_GT(alive, 1) << "the burst was seen alive (at init and after a frame)";
    EXPECT_GT(gone, 0) << "and gone";
    ASSERT_EQ(stream.size(), 20u) << err;
    for (int count : stream) {
        EXPECT_GE(count, 95);
        EXPECT_LE(count, 105);
    }

    // Bad values stop at the entry, which names itself and the argument.
    for (const char* refusal : {
             "refused Particles.SetRate: argument 1 (per second) -1",
             "refused Particles.SetLifetime: argument 2 (longest) nan is not a finite number",
             "refused Particles.SetSizes: argument 1 (size at birth) -0.1",
             "refused Particles.SetVelocity: argument 2 (spread) 200",
             "refused Particles.SetGravity: argument 1 (gravity) is not a finite vector",
             "refused Particles.Burst: argument 1 (count) -5 is not 0 or more",
             "refused Particles.SetBlend: argument 1 (blend) \"Glow\" is not \"Alpha\" or \"Additive\"",
             "refused Instance.New: argument 1 (most particles alive) 0 is not 1 or more",
             "refused Particles.GetCount: instance 1 is the scene's Root, not a Particles",
         }) {
        EXPECT_TRUE(Contains(err, std::string(refusal))) << refusal << "\n" << err;
    }
    // A destroyed emitter is no emitter.
    EXPECT_TRUE(Contains(err, "is no instance (never made, or destroyed), not a Particles")) << err;
    EXPECT_FALSE(Contains(err, "accepted\n")) << err;
}

// Green particles streaming along their emitter's x, from 1 m along their parent's x:
// where the parent is, on the side the parent's turn points them to; gone with the scene.
TEST(Particles, TheStreamShowsWhereItsParentPutsItFollowsItAndGoesWithTheScene) {
    Install install;
    Process engine(install.files.bin + "/engine", {}, install.Options("pixels"));
    const std::string window = WaitForWindow("Vantor v0.0.0");
    ASSERT_FALSE(window.empty()) << engine.Wait().err;

    ASSERT_TRUE(engine.WaitForStderr("shown 1\n", 30000)) << engine.Stderr();
    ASSERT_TRUE(engine.WaitForStderr(NextTick(engine.Stderr()), 30000)) << engine.Stderr();
    const Screenshot first = GrabWindow(window);
    std::string err = engine.Stderr();
    EXPECT_TRUE(Green(At(first, err, "one emitter"))) << Describe(At(first, err, "one emitter"));
    EXPECT_TRUE(Green(At(first, err, "one plus"))) << "downstream: " << Describe(At(first, err, "one plus"));
    EXPECT_TRUE(Dark(At(first, err, "one minus"))) << "upstream: " << Describe(At(first, err, "one minus"));

    // Held until seen: a tap shorter than a frame can fall between two polls.
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool keydown --clearmodifiers m");
    const bool moved = engine.WaitForStderr("shown 2\n", 30000);
    Shell("xdotool keyup m");
    ASSERT_TRUE(moved) << engine.Stderr();
    ASSERT_TRUE(engine.WaitForStderr(NextTick(engine.Stderr()), 30000)) << engine.Stderr();
    const Screenshot second = GrabWindow(window);
    err = engine.Stderr();
    EXPECT_TRUE(Green(At(second, err, "two emitter"))) << Describe(At(second, err, "two emitter"));
    EXPECT_TRUE(Green(At(second, err, "two minus"))) << "turned round: " << Describe(At(second, err, "two minus"));
    EXPECT_TRUE(Dark(At(second, err, "two plus"))) << Describe(At(second, err, "two plus"));
    EXPECT_TRUE(Dark(At(second, err, "old emitter"))) << "left behind: " << Describe(At(second, err, "old emitter"));
    EXPECT_TRUE(Dark(At(second, err, "old plus"))) << Describe(At(second, err, "old plus"));

    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool keydown --clearmodifiers c");
    const bool clearedScene = engine.WaitForStderr("cleared\n", 30000);
    Shell("xdotool keyup c");
    ASSERT_TRUE(clearedScene) << engine.Stderr();
    ASSERT_TRUE(engine.WaitForStderr(NextTick(engine.Stderr()), 30000)) << engine.Stderr();
    const Screenshot third = GrabWindow(window);
    engine.Kill(SIGTERM);
    err = engine.Wait().err;
    EXPECT_TRUE(Dark(At(third, err, "two emitter"))) << Describe(At(third, err, "two emitter"));
    EXPECT_TRUE(Dark(At(third, err, "two minus"))) << Describe(At(third, err, "two minus"));
    EXPECT_TRUE(Contains(err, "refused Particles.GetCount: instance ")) << err;
    EXPECT_FALSE(Contains(err, "WARNING: R3D")) << err;
}
