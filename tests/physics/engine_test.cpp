// Physics in the real engine: a test game on the sample game's level, in a window,
// read back as pixels and as what the game saw through the entries.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sstream>
#include <string>
#include <vector>

#include "BoxFile.h"
#include "Process.h"
#include "Screenshot.h"

using namespace TestSupport;

namespace {

constexpr float kFloor = -1.0f;

std::string LevelFolder() {
    const std::string level(VANTOR_LEVEL);
    return level.substr(0, level.rfind('/'));
}

struct Install {
    EngineInstall files{VANTOR_ENGINE, VANTOR_PHYSICS_GAME};

    Install() {
        CopyFolder(LevelFolder(), files.assets);  // the level with its maps (and the sounds)
        EXPECT_EQ(TestFiles::WriteBox(files.assets + "/box.obj", 0.5f), "");
    }
    RunOptions Options(const std::string& script, bool slow = false) const {
        RunOptions options;
        options.cwd = files.bin;
        options.env = {"VANTOR_NO_DIALOG=1", "VANTOR_PHYSICS_SCRIPT=" + script};
        if (slow) options.env.push_back("VANTOR_PHYSICS_SLOW=1");
        options.timeoutMs = 60000;
        return options;
    }
};


bool Red(Rgb p) { return p.r > 90 && p.r > p.g + 50 && p.r > p.b + 50; }

struct Drop {
    float landed = -1;
    float before = 0;  // simulated time at the frame before it was seen landed
    std::vector<float> rest;
};

// Runs the drop until the crate has rested a while, checking what the window shows.
Drop RunDrop(const Install& install, bool slow) {
    Drop d;
    Process engine(install.files.bin + "/engine", {}, install.Options("drop", slow));
    const std::string window = WaitForWindow("Vantor v0.0.0");
    EXPECT_FALSE(window.empty()) << engine.Wait().err;
    if (window.empty()) return d;
    EXPECT_TRUE(engine.WaitForStderr("rest ", 40000)) << engine.Stderr();
    const std::size_t seen = engine.Stderr().size();
    EXPECT_TRUE(engine.WaitForStderr("rest ", 20000, seen)) << engine.Stderr();  // a frame drawn after the report
    const Screenshot shot = GrabWindow(window);
    const std::string err = engine.Stderr();
    engine.Kill(SIGTERM);
    EXPECT_EQ(err.find("WARNING: PHYSICS"), std::string::npos) << err;
    EXPECT_EQ(err.find("WARNING: R3D"), std::string::npos) << err;

    const std::vector<float> landed = LastNumbers(err, "landed");
    if (landed.size() == 2) d.landed = landed[0], d.before = landed[1];
    d.rest = LastNumbers(err, "rest");
    auto at = [&](const std::string& label) {
        const std::vector<float> xy = LastNumbers(err, label);
        EXPECT_EQ(xy.size(), 2u) << label << "\n" << err;
        return xy.size() == 2 && !shot.Empty() ? shot.At(static_cast<int>(xy[0]), static_cast<int>(xy[1])) : Rgb{};
    };
    // Drawn where the simulation put it: its face is red, the floor before it is not,
    // and just under its bottom edge the floor shows (it is not sunk in).
    EXPECT_TRUE(Red(at("face"))) << (slow ? "slow" : "fast");
    EXPECT_FALSE(Red(at("floor")));
    EXPECT_FALSE(Red(at("under")));
    const std::vector<float> contacts = LastNumbers(err, "contacts");
    EXPECT_EQ(contacts.size(), 2u);
    if (contacts.size() == 2) {
        EXPECT_GE(contacts[0], 1);  // a contact with the level, reported with the impulse of landing
        EXPECT_GT(contacts[1], 2 * 9.81f * 0.5f);
    }
    const std::vector<float> ray = LastNumbers(err, "ray");
    EXPECT_EQ(ray, (std::vector<float>{1, kFloor + 1, 1})) << "a ray down does not meet the crate's top";
    return d;
}

}  // namespace

// The crate falls 5 m: it lands when free fall says and rests on the floor, at
// the same place whether the engine draws 20 frames a second or as many as it can.
TEST(PhysicsInTheEngine, ACrateDroppedOnTheLevelLandsOnTimeAndRestsOnTheFloorAtAnyFrameRate) {
    Install install;
    const float predicted = std::sqrt(2 * 5.0f / 9.81f);
    const Drop fast = RunDrop(install, false);
    const Drop slow = RunDrop(install, true);
    for (const Drop* d : {&fast, &slow}) {
        // It touched down within the frame it was first seen down in, allowing for the
        // drawn pose's lag of up to a step and the 2 cm the check allows.
        EXPECT_GT(d->landed, predicted - 0.01f);
        EXPECT_LT(d->before, predicted + 1.0f / 60 + 0.01f);
        EXPECT_LT(d->landed, d->before + 8.0f / 60 + 1.0f / 60) << "a frame of more than 8 steps";
        ASSERT_EQ(d->rest.size(), 3u);
        EXPECT_NEAR(d->rest[1], kFloor + 0.5f, 0.01f);
        EXPECT_NEAR(d->rest[0], 14, 0.02f);
        EXPECT_NEAR(d->rest[2], -14, 0.02f);
    }
    EXPECT_NEAR(fast.rest[0], slow.rest[0], 2e-3f);
    EXPECT_NEAR(fast.rest[1], slow.rest[1], 2e-3f);
    EXPECT_NEAR(fast.rest[2], slow.rest[2], 2e-3f);
}

// A character stops at the short wall, climbs the stairs to their landing, pushes a
// crate, and walks through a trigger that reports it once in and once out; a ball
// destroyed while the game reads its contact leaves no body behind.
TEST(PhysicsInTheEngine, ACharacterStopsAtAWallClimbsTheStairsPushesACrateAndCrossesATrigger) {
    Install install;
    Process engine(install.files.bin + "/engine", {}, install.Options("walk"));
    ASSERT_TRUE(engine.WaitForStderr("done", 50000)) << engine.Stderr();
    const std::string err = engine.Stderr();
    engine.Kill(SIGTERM);

    const std::vector<float> wall = LastNumbers(err, "wall");
    ASSERT_EQ(wall.size(), 3u) << err;
    EXPECT_NEAR(wall[0], 8 - 0.3f, 0.03f);
    EXPECT_NEAR(wall[1], kFloor, 0.02f);
    const std::vector<float> stairs = LastNumbers(err, "stairs");
    ASSERT_EQ(stairs.size(), 3u) << err;
    EXPECT_NEAR(stairs[0], kFloor + 1.8f, 0.02f);
    EXPECT_GT(stairs[1], 4.5f);
    EXPECT_EQ(stairs[2], 1);
    const std::vector<float> push = LastNumbers(err, "push");
    ASSERT_EQ(push.size(), 2u) << err;
    EXPECT_GT(push[0], 5 + 2.5f);
    EXPECT_LT(push[1], push[0] - 0.6f);
    const std::vector<float> trigger = LastNumbers(err, "trigger");
    ASSERT_EQ(trigger.size(), 3u) << err;
    EXPECT_EQ(trigger[0], 1);
    EXPECT_EQ(trigger[1], 1);
    EXPECT_GT(trigger[2], 13.5f);
    EXPECT_NE(err.find("\nball 1 0\n"), std::string::npos) << "destroyed while its contact was read: " << err;
}

// Bad input through the entries: each stops the game naming the entry and the id
// or argument, or is clamped, and no transform of the scene ever becomes NaN.
TEST(PhysicsInTheEngine, BadInputStopsTheGameNamingEntryAndIdOrIsClamped) {
    Install install;
    const struct {
        const char* script;
        const char* message;
    } cases[] = {
        {"bad:notmodel", "Model.SetBody: instance 4 is not a Model, so it cannot have a body."},
        {"bad:twice", "Model.SetBody: instance 4 already has a body."},
        {"bad:zero", "Model.SetBody: the body of instance 4 was refused: its scale is (0, 0, 0), and a body is sized by it"},
        {"bad:nanmass", "Model.SetBody: argument 3 (mass) is not a finite number"},
    };
    for (const auto& c : cases) {
        const RunResult r = TestSupport::Run(install.files.bin + "/engine", {}, install.Options(c.script));
        EXPECT_FALSE(r.timedOut) << c.script;
        EXPECT_EQ(r.exitCode, 1) << c.script << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.script << "\n" << r.err;
    }

    Process engine(install.files.bin + "/engine", {}, install.Options("bad:clamp"));
    ASSERT_TRUE(engine.WaitForStderr("clamped ", 40000)) << engine.Stderr();
    const std::string err = engine.Stderr();
    engine.Kill(SIGTERM);
    EXPECT_NE(err.find("refused: Model.ApplyImpulse: argument 1 (vector) is not a finite vector"), std::string::npos) << err;
    EXPECT_NE(err.find("WARNING: PHYSICS: the body of instance 4 left the world's bounds"), std::string::npos) << err;
    const std::vector<float> at = LastNumbers(err, "clamped");
    ASSERT_EQ(at.size(), 3u);
    for (float v : at) EXPECT_TRUE(std::isfinite(v)) << err;
    EXPECT_LT(std::fabs(at[0]), 10000.0f + 200);
}
