// The sample game against the real host: the real engine binary in a real
// window (the suite runs under Xvfb), the real level, and a game module built
// from the game's own sources plus a thin layer that scripts the keys, the
// mouse and the frame time and reports the player after every frame (see
// modules/scripted_game.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "Process.h"

using namespace TestSupport;

namespace {

constexpr float kFloor = -1.0f;     // top of the level's ground
constexpr float kEye = 1.6f;        // the walker stays this far above the ground
constexpr float kRest = kFloor + kEye;

struct V {
    float x = 0, y = 0, z = 0;
};
V operator-(V a, V b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float Dot(V a, V b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float Length(V a) { return std::sqrt(Dot(a, a)); }
float Horizontal(V a) { return std::sqrt(a.x * a.x + a.z * a.z); }
std::ostream& operator<<(std::ostream& out, V v) { return out << "(" << v.x << ", " << v.y << ", " << v.z << ")"; }

struct State {
    int tick = 0;
    V pos, look, cam, camlook, light, lightdir;
    float dt = 0;
};

// Plays the script and returns the player's state after each frame, by tick
// number (element 0 unused).
std::vector<State> Play(const std::string& script) {
    EngineInstall install(VANTOR_ENGINE, VANTOR_SCRIPTED_GAME);
    CopyFile(VANTOR_LEVEL, install.assets + "/base.fbx");

    RunOptions options;
    options.cwd = install.root.Path();
    options.env = {"VANTOR_NO_DIALOG=1", "VANTOR_PLAY_SCRIPT=" + script};
    options.timeoutMs = 240000;
    RunResult r = Run(install.bin + "/engine", {}, options);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.err.substr(r.err.size() > 3000 ? r.err.size() - 3000 : 0);
    EXPECT_NE(r.err.find("script done"), std::string::npos);

    std::vector<State> states(1);
    for (const std::string& line : Lines(r.err)) {
        std::istringstream in(line);
        std::string word;
        State s;
        if (!(in >> word) || word != "state") continue;
        in >> s.tick;
        for (V* v : {&s.pos, &s.look, &s.cam, &s.camlook, &s.light, &s.lightdir}) in >> word >> v->x >> v->y >> v->z;
        in >> word >> s.dt;
        EXPECT_EQ(s.tick, static_cast<int>(states.size()));
        states.push_back(s);
    }
    return states;
}

bool Near(V a, V b, float tolerance = 1e-4f) { return Length(a - b) <= tolerance; }

}  // namespace

TEST(SampleGame, FallsFromItsStartAndComesToRestEyeHeightAboveTheGround) {
    std::vector<State> s = Play("frames 80");
    ASSERT_EQ(s.size(), 81u);
    EXPECT_LT(s[5].pos.y, s[1].pos.y);
    for (int t = 2; t <= 12; ++t) EXPECT_LT(s[t].pos.y, s[t - 1].pos.y) << "still falling at tick " << t;
    for (int t = 1; t <= 80; ++t) {
        EXPECT_GE(s[t].pos.y, kRest - 1e-4f) << "never ends a frame below eye height, tick " << t;
        EXPECT_FLOAT_EQ(s[t].pos.x, -2.0f);
        EXPECT_FLOAT_EQ(s[t].pos.z, -5.0f);
    }
    for (int t = 50; t <= 80; ++t) EXPECT_NEAR(s[t].pos.y, kRest, 1e-4f) << "at rest, tick " << t;
}

TEST(SampleGame, WWalksThreeUnitsPerSecondAlongTheLookDirection) {
    std::vector<State> s = Play("frames 110; hold W 60 110");
    ASSERT_EQ(s.size(), 111u);
    V moved = s[100].pos - s[70].pos;  // 30 frames of 1/60 s
    EXPECT_NEAR(Length(moved), 1.5f, 1e-3f);
    EXPECT_NEAR(Dot(moved, s[70].look) / Length(moved), 1.0f, 1e-4f);
    EXPECT_NEAR(moved.y, 0.0f, 1e-5f);
    EXPECT_NEAR(s[60].pos.z, s[59].pos.z, 1e-6f) << "the key's speed applies from the next frame";
}

TEST(SampleGame, LookingDownWalksAtFullSpeedWithoutSinking) {
    std::vector<State> s = Play("frames 110; mouse 55 0 60; hold W 60 110");
    ASSERT_EQ(s.size(), 111u);
    EXPECT_NEAR(s[70].look.y, -std::sin(0.6f), 1e-4f);
    V moved = s[100].pos - s[70].pos;
    EXPECT_NEAR(Horizontal(moved), 1.5f, 1e-3f);
    EXPECT_NEAR(moved.y, 0.0f, 1e-5f);
    for (int t = 60; t <= 110; ++t) EXPECT_NEAR(s[t].pos.y, kRest, 1e-4f);
}

TEST(SampleGame, WAndSTogetherStandStillAndADStrafe) {
    std::vector<State> s = Play("frames 160; hold W 60 90; hold S 60 90; hold D 100 125; hold A 130 160");
    ASSERT_EQ(s.size(), 161u);
    EXPECT_TRUE(Near(s[92].pos, s[59].pos, 1e-6f)) << s[92].pos << " vs " << s[59].pos;

    V right = s[110].pos - s[105].pos;  // D: along the right vector, across the look
    EXPECT_NEAR(Length(right), 5 * 3.0f / 60, 1e-4f);
    EXPECT_NEAR(Dot(right, s[105].look), 0.0f, 1e-5f);
    EXPECT_LT(right.x, 0.0f) << "looking along +Z, right is -X";

    V left = s[150].pos - s[145].pos;
    EXPECT_NEAR(Length(left), 5 * 3.0f / 60, 1e-4f);
    EXPECT_GT(left.x, 0.0f);
}

TEST(SampleGame, SpaceOnTheGroundHopsAndLandsAgain) {
    std::vector<State> s = Play("frames 120; hold Space 60 60");
    ASSERT_EQ(s.size(), 121u);
    EXPECT_NEAR(s[60].pos.y, kRest, 1e-4f);
    EXPECT_GT(s[61].pos.y, kRest + 0.02f) << "up from the next frame";
    float top = kRest;
    int landed = 0;
    for (int t = 61; t <= 120; ++t) {
        top = std::max(top, s[t].pos.y);
        if (!landed && std::fabs(s[t].pos.y - kRest) < 1e-4f) landed = t;
    }
    EXPECT_NEAR(top - kRest, 2.0f * 2.0f / (2 * 9.8f), 0.03f) << "a hop of v^2/2g";
    EXPECT_GT(landed, 75);
    EXPECT_LT(landed, 95);
    for (int t = landed; t <= 120; ++t) EXPECT_NEAR(s[t].pos.y, kRest, 1e-4f) << "stays down, tick " << t;
}

TEST(SampleGame, AHundredPixelsOfMouseTurnOneRadian) {
    std::vector<State> s = Play("frames 70; mouse 62 100 0; mouse 66 0 100");
    ASSERT_EQ(s.size(), 71u);
    V before = s[61].look, turned = s[62].look, down = s[66].look;
    EXPECT_NEAR(std::acos(std::clamp(Dot(before, turned), -1.0f, 1.0f)), 1.0f, 1e-4f);
    EXPECT_LT(turned.x, 0.0f) << "moving right turns toward the right vector (-X)";
    EXPECT_NEAR(turned.y, 0.0f, 1e-5f);
    EXPECT_NEAR(down.y, -std::sin(1.0f), 1e-4f) << "moving down looks down";
}

TEST(SampleGame, CameraAndFlashlightFollowThePreviousFramesTransform) {
    std::vector<State> s = Play("frames 100; hold W 40 100; mouse 50 30 10; mouse 70 -20 0");
    ASSERT_EQ(s.size(), 101u);
    for (int t = 2; t <= 100; ++t) {
        SCOPED_TRACE(t);
        EXPECT_TRUE(Near(s[t].cam, s[t - 1].pos, 1e-5f)) << s[t].cam << " vs " << s[t - 1].pos;
        EXPECT_TRUE(Near(s[t].camlook, s[t - 1].look, 1e-5f));
        EXPECT_TRUE(Near(s[t].light, s[t - 1].pos, 1e-5f));
        EXPECT_TRUE(Near(s[t].lightdir, s[t - 1].look, 1e-4f)) << s[t].lightdir << " vs " << s[t - 1].look;
    }
    EXPECT_FALSE(Near(s[80].cam, s[80].pos, 1e-3f)) << "one frame behind while walking";
}

TEST(SampleGame, WalkingUpTheStepsLiftsThePlayerOneStepAtATime) {
    // The steps rise 0.3 every 0.7 along +Z from z = 0 in front of the start.
    std::vector<State> s = Play("dt 0.0333333; frames 78; place 1 -2 0.6 -1; hold W 2 78");
    ASSERT_EQ(s.size(), 79u);
    std::vector<float> levels;
    for (int t = 1; t <= 78; ++t) {
        float y = s[t].pos.y;
        if (t > 1) {
            EXPECT_GE(y, s[t - 1].pos.y - 1e-4f) << "never steps down, tick " << t;
        }
        if (levels.empty() || std::fabs(y - levels.back()) > 1e-3f) levels.push_back(y);
    }
    ASSERT_EQ(levels.size(), 7u);
    for (size_t k = 0; k < levels.size(); ++k) EXPECT_NEAR(levels[k], kRest + 0.3f * k, 1e-3f) << "step " << k;
}

TEST(SampleGame, TheRaisedPlatformTakesAJump) {
    // x -12..-8, z 2..8, its top 1.7 above the ground: more than eye height.
    std::vector<State> walk = Play("dt 0.0333333; frames 60; place 1 -10 0.6 -1; hold W 2 60");
    ASSERT_EQ(walk.size(), 61u);
    for (int t = 1; t <= 60; ++t) EXPECT_NEAR(walk[t].pos.y, kRest, 1e-4f) << "walking alone does not get on top";

    std::vector<State> jump = Play("dt 0.0333333; frames 60; place 1 -10 0.6 -1; hold W 2 60; hold Space 2 60");
    ASSERT_EQ(jump.size(), 61u);
    float onTop = kFloor + 1.7f + kEye;
    int standing = 0;
    for (int t = 1; t <= 60 && !standing; ++t)
        if (std::fabs(jump[t].pos.y - onTop) < 1e-4f) standing = t;
    EXPECT_GT(standing, 0) << "jumping gets on top";
    if (standing) {
        EXPECT_GT(jump[standing].pos.z, 2.0f) << "on the platform, which starts at z = 2";
    }
}

TEST(SampleGame, WalkingOffTheEdgeFallsAndNothingRises) {
    // The ground ends at z = -30; walk backwards off it.
    std::vector<State> s = Play("dt 0.0333333; frames 90; place 1 -2 0.6 -28; hold S 2 90");
    ASSERT_EQ(s.size(), 91u);
    int off = 0;
    for (int t = 2; t <= 90; ++t) {
        EXPECT_LE(s[t].pos.y, s[t - 1].pos.y + 1e-5f) << "rose at tick " << t;
        if (!off && s[t].pos.y < kRest - 1e-3f) off = t;
    }
    ASSERT_GT(off, 0) << "never fell";
    EXPECT_LT(s[off].pos.z, -30.0f + 0.2f);
    EXPECT_LT(s[90].pos.y, kFloor - 5.0f) << "still falling, well below the level";
    EXPECT_LT(s[90].pos.z, s[off].pos.z - 1.0f) << "keeps its speed in the air";
}

TEST(SampleGame, WithTheHostsOwnFrameTimesItStillLandsOnTheGround) {
    // The first frames under a software renderer can take a good part of a second.
    std::vector<State> s = Play("realtime; frames 60");
    ASSERT_EQ(s.size(), 61u);
    float longest = 0;
    for (int t = 2; t <= 60; ++t) {
        EXPECT_GT(s[t].dt, 0.0f) << "the host's own frame time, tick " << t;
        longest = std::max(longest, s[t].dt);
    }
    EXPECT_NEAR(s[60].pos.y, kRest, 1e-4f) << "longest frame " << longest << " s";
}
