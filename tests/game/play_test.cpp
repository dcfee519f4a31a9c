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
    CopyFolder(VANTOR_ASSETS, install.assets);  // the level and the sounds

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
    EXPECT_NEAR(walk[60].pos.z, 2.0f - 0.3f, 1e-4f) << "its side stops the body";

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

TEST(SampleGame, WalkingOffTheEdgeFallsAndRespawnsAtTheStartFacingForward) {
    // The ground ends at z = -30; turn a little, then walk backwards off it.
    std::vector<State> s = Play("dt 0.0333333; frames 160; place 1 -2 0.6 -28; mouse 5 30 40; hold S 6 160");
    ASSERT_EQ(s.size(), 161u);
    int off = 0, back = 0;
    for (int t = 7; t <= 160 && !back; ++t) {
        if (Near(s[t].pos, {-2, 1.5f, -5}, 1e-5f)) {
            back = t;
            break;
        }
        EXPECT_LE(s[t].pos.y, s[t - 1].pos.y + 1e-5f) << "rose at tick " << t;
        if (!off && s[t].pos.y < kRest - 1e-3f) off = t;
    }
    ASSERT_GT(off, 0) << "never fell";
    EXPECT_LT(s[off].pos.z, -30.0f + 0.2f);
    ASSERT_GT(back, off) << "never came back; last " << s[160].pos;
    EXPECT_LT(s[back - 1].pos.y, kFloor - 15.0f) << "fell well below the level first";
    EXPECT_LT(s[back - 1].pos.z, s[off].pos.z - 1.0f) << "kept its speed in the air";
    EXPECT_TRUE(Near(s[back].look, {0, 0, 1}, 1e-5f)) << "faces the start direction: " << s[back].look;
    // Standing still: it drops straight down onto the ground at the start, and S (still held) walks
    // it backwards from there.
    for (int t = back; t <= back + 5; ++t) {
        EXPECT_FLOAT_EQ(s[t].pos.x, -2.0f) << t;
        EXPECT_FLOAT_EQ(s[t].pos.z, -5.0f) << t;
    }
    EXPECT_LT(s[back + 5].pos.y, 1.5f);
    EXPECT_NEAR(s[160].pos.y, kRest, 1e-4f);
    EXPECT_LT(s[160].pos.z, -5.0f);
}

TEST(SampleGame, ATwoSecondFrameDuringAFallLandsOnTheFloor) {
    // Falling from the start, a frame of 2 s moves the eye well under the floor's top.
    std::vector<State> s = Play("frames 40; longframe 20 2");
    ASSERT_EQ(s.size(), 41u);
    EXPECT_GT(s[19].pos.y, kRest + 0.3f) << "still falling before the long frame";
    for (int t = 20; t <= 40; ++t) EXPECT_NEAR(s[t].pos.y, kRest, 1e-4f) << "on the floor, tick " << t;
    EXPECT_FLOAT_EQ(s[40].pos.x, -2.0f);
    EXPECT_FLOAT_EQ(s[40].pos.z, -5.0f);
}

TEST(SampleGame, WalkingIntoAPillarStopsAtTheBodyRadiusWhateverTheFrameTime) {
    // The pillar at (-2, 18) spans z 17.6..18.4; walk at it head-on, with one frame of a second.
    std::vector<State> s = Play("dt 0.0333333; frames 80; place 1 -2 0.6 15; hold W 2 80; longframe 20 1");
    ASSERT_EQ(s.size(), 81u);
    for (int t = 1; t <= 80; ++t) {
        EXPECT_LE(s[t].pos.z, 17.3f + 1e-4f) << "inside the body radius at tick " << t;
        EXPECT_FLOAT_EQ(s[t].pos.x, -2.0f);
    }
    EXPECT_GT(s[19].pos.z, 15.4f) << "walked up to it";
    EXPECT_NEAR(s[21].pos.z, 17.3f, 1e-4f) << "the long frame ends at the radius";
    EXPECT_NEAR(s[80].pos.z, 17.3f, 1e-4f);
    EXPECT_NEAR(s[80].pos.y, kRest, 1e-4f);
}

TEST(SampleGame, WalkingIntoAWallAtFortyFiveDegreesSlidesAlongIt) {
    // The short wall spans x 8..8.5, z -10..-4. Turn 45 degrees to the left (toward +X) and walk.
    std::vector<State> s = Play("dt 0.0333333; frames 60; place 1 6 0.6 -9.5; mouse 5 -78.539816 0; hold W 6 60");
    ASSERT_EQ(s.size(), 61u);
    EXPECT_NEAR(s[6].look.x, std::sqrt(0.5f), 1e-4f);
    EXPECT_NEAR(s[6].look.z, std::sqrt(0.5f), 1e-4f);
    for (int t = 1; t <= 60; ++t) EXPECT_LE(s[t].pos.x, 7.7f + 1e-4f) << "inside the body radius at tick " << t;
    // Against it from about tick 30 on: x stays, z keeps the part of the speed along the wall.
    for (int t = 40; t <= 60; ++t) {
        EXPECT_NEAR(s[t].pos.x, 7.7f, 1e-4f) << t;
        EXPECT_NEAR(s[t].pos.z - s[t - 1].pos.z, 3.0f * std::sqrt(0.5f) / 30, 1e-4f) << t;
    }
    EXPECT_LT(s[60].pos.z, -4.3f) << "still beside the wall";
}

TEST(SampleGame, LookingPastStraightDownStopsADegreeShortAndWStillWalksForward) {
    std::vector<State> s = Play("frames 110; mouse 55 0 1000; mouse 100 0 -3000; hold W 60 90");
    ASSERT_EQ(s.size(), 111u);
    float limit = std::sin(89.0f * 3.14159265f / 180.0f);
    EXPECT_NEAR(s[60].look.y, -limit, 1e-5f) << "looking down";
    V moved = s[90].pos - s[60].pos;
    EXPECT_GT(moved.z, 1.4f) << "walks forward, not backwards: " << moved;
    EXPECT_NEAR(Horizontal(moved), 1.5f, 1e-3f);
    EXPECT_NEAR(s[100].look.y, limit, 1e-5f) << "looking up";
    EXPECT_GT(s[100].look.z, 0.0f) << "still facing forward";
}

TEST(SampleGame, TheRampIsClimbedSmoothly) {
    // The ramp spans x 4..7 and rises along +Z from z = 0 to 1.2 at z = 8, then a block to z = 11.
    std::vector<State> s = Play("dt 0.0333333; frames 110; place 1 5.5 0.6 -2; hold W 2 110");
    ASSERT_EQ(s.size(), 111u);
    for (int t = 2; t <= 110; ++t) {
        EXPECT_GE(s[t].pos.y, s[t - 1].pos.y - 1e-4f) << "never steps down, tick " << t;
        EXPECT_LE(s[t].pos.y - s[t - 1].pos.y, 0.03f) << "no jump up, tick " << t;
        float z = s[t].pos.z;
        if (z > 0.5f && z < 7.5f) {
            EXPECT_NEAR(s[t].pos.y, kRest + 1.2f * z / 8, 0.02f) << "on the slope at z " << z;
        }
    }
    EXPECT_GT(s[110].pos.z, 8.5f);
    EXPECT_NEAR(s[110].pos.y, kRest + 1.2f, 1e-3f);
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
