// Animated models in the real engine: the generated two-joint bar drawn by a test
// game in a window and read back as pixels. Two instances of one model in two
// poses in one frame, the bent pose's shadow, a cross-fade held halfway, ray tests
// against the pose drawn, a joint's place, and a clip the model lacks.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "BoxFile.h"
#include "Process.h"
#include "Screenshot.h"
#include "figure/Figures.h"

using namespace TestSupport;

namespace {

struct Install {
    EngineInstall files{VANTOR_ENGINE, VANTOR_ANIMATION_GAME};

    Install() {
        EXPECT_EQ(Gltf::WriteGlb(Figures::Bar(), files.assets + "/bar.glb"), "");
        EXPECT_EQ(TestFiles::WriteBox(files.assets + "/floor.obj", 0.5f), "");
    }
    RunOptions Options(const std::string& script) const {
        RunOptions options;
        options.cwd = files.bin;
        options.env = {"VANTOR_NO_DIALOG=1", "VANTOR_ANIMATION_SCRIPT=" + script};
        options.timeoutMs = 60000;
        return options;
    }
};


bool Red(Rgb p) { return p.r > p.g + 40 && p.r > p.b + 40; }

}  // namespace

TEST(AnimatedModels, EachInstanceIsDrawnShadowedAndHitInItsOwnPose) {
    Install install;
    Process engine(install.files.bin + "/engine", {}, install.Options("scene"));
    const std::string window = WaitForWindow("Vantor v0.0.0");
    ASSERT_FALSE(window.empty()) << engine.Wait().err;
    ASSERT_TRUE(engine.WaitForStderr("joint ", 30000)) << engine.Stderr();
    const std::string before = engine.Stderr();
    // A frame drawn after the report: the held poses are on the screen.
    const std::string next = "tick " + std::to_string(static_cast<int>(LastNumbers(before, "tick")[0]) + 2) + "\n";
    ASSERT_TRUE(engine.WaitForStderr(next, 30000)) << engine.Stderr();
    const Screenshot shot = GrabWindow(window);
    if (const char* keep = std::getenv("VANTOR_KEEP_SCREENSHOT")) shot.SavePpm(keep);
    const std::string err = engine.Stderr();
    engine.Kill(SIGTERM);
    EXPECT_EQ(err.find("WARNING: R3D"), std::string::npos) << err;

    auto at = [&](const std::string& label) {
        const std::vector<float> xy = LastNumbers(err, label);
        EXPECT_EQ(xy.size(), 2u) << label << "\n" << err;
        return xy.size() == 2 ? shot.At(static_cast<int>(xy[0]), static_cast<int>(xy[1])) : Rgb{};
    };
    // Bar 0 is bent, bar 1 straight: two poses of one model in one instanced draw.
    EXPECT_TRUE(Red(at("bent 0")));
    EXPECT_FALSE(Red(at("straight 0")));
    EXPECT_TRUE(Red(at("straight 1")));
    EXPECT_FALSE(Red(at("bent 1")));
    // The bent bar's lower half stands as it did: only the vertices near the joint move
    // with it (a level of detail that dropped them would draw a slab from foot to tip).
    EXPECT_TRUE(Red(at("lower 0")));
    EXPECT_FALSE(Red(at("beside 0")));
    // The light casts the bent half onto the floor; beside the straight bar the floor is lit there.
    const int shaded = at("shadow bent 0").Luma(), lit = at("shadow bent 1").Luma();
    EXPECT_GT(lit, 60);
    EXPECT_LT(shaded, lit / 2) << "no bent shadow";

    // Bar 2 fades from bent towards the start of "bend_step" (straight before 0.5 s),
    // held at the fraction f the game saw go by: its upper half stands between.
    const std::vector<float> held = LastNumbers(err, "held");
    ASSERT_EQ(held.size(), 2u) << err;
    EXPECT_GT(held[0], 0.45f);
    EXPECT_LT(held[0], 0.7f);
    const float target = held[1] >= 0.5f ? 90.0f : 0.0f;
    const float degrees = 90.0f + (target - 90.0f) * held[0];
    const int nearest = static_cast<int>(std::lround(degrees / 5.0f)) * 5;
    EXPECT_TRUE(Red(at("fan 2 " + std::to_string(nearest)))) << degrees << " degrees";
    if (degrees > 30 && degrees < 60) {
        EXPECT_FALSE(Red(at("straight 2")));
        EXPECT_FALSE(Red(at("bent 2")));
    }

    // Rays see the pose drawn: down onto the bent half's top, past where the straight
    // tip would stand; the straight bar is hit there.
    const std::vector<float> ray = LastNumbers(err, "ray bent");
    ASSERT_EQ(ray.size(), 4u) << err;  // hit, y, then "straight" hit, "other" hit
    EXPECT_EQ(ray[0], 1);
    EXPECT_NEAR(ray[1], 1.1f, 0.02f);
    EXPECT_EQ(ray[2], 0);
    EXPECT_EQ(ray[3], 1);
    const std::vector<float> joint = LastNumbers(err, "joint");
    ASSERT_EQ(joint.size(), 3u);
    EXPECT_NEAR(joint[0], 2.5f, 1e-3f);
    EXPECT_NEAR(joint[1], 1.0f, 1e-3f);
    EXPECT_NE(err.find("clips 3 "), std::string::npos) << err;
    EXPECT_NE(err.find("length 1.000 playing bend"), std::string::npos) << err;
}

TEST(AnimatedModels, AClipTheModelLacksStopsTheGameNamingEntryModelAndClip) {
    Install install;
    RunResult r = TestSupport::Run(install.files.bin + "/engine", {}, install.Options("badclip"));
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("Model.PlayAnimation: model \"bar\" has no animation clip named \"fly\"."), std::string::npos) << r.err;
}
