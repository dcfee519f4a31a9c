// The scene and the API in the real engine binary, in a real window (under
// Xvfb), with game modules made for each case and model files written by
// assimp: what is drawn is read back as pixels, input comes from xdotool.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <csignal>
#include <string>
#include <thread>

#include "BoxFile.h"
#include "Messages.h"
#include "Process.h"
#include "raymath.h"
#include "Screenshot.h"

using namespace TestSupport;

namespace {

const std::string kEngine = VANTOR_ENGINE;
const std::string kModules = VANTOR_ENGINE_TEST_MODULES_DIR;
const char* kTitle = "Vantor v0.0.0";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The engine, one scene module and a box model in a folder of their own.
struct Install : EngineInstall {
    explicit Install(const std::string& scene) : EngineInstall(kEngine, kModules + "/" + scene + "/game.dll") {
        std::string error = TestFiles::WriteBox(assets + "/box.obj", 0.5f);
        EXPECT_EQ(error, "");
    }

    RunOptions Options() const {
        RunOptions options;
        options.cwd = bin;
        options.env = {"VANTOR_NO_DIALOG=1"};
        return options;
    }
};

struct Dominant {
    TestSupport::Rgb p;
    bool Red() const { return p.r > 80 && p.r > 2 * p.g && p.r > 2 * p.b; }
    bool Green() const { return p.g > 80 && p.g > 2 * p.r && p.g > 2 * p.b; }
    bool Background() const { return p.r < 60 && p.g < 60 && p.b < 60; }
};

std::string Describe(const Screenshot& shot, int x, int y) {
    Rgb p = shot.At(x, y);
    char text[64];
    std::snprintf(text, sizeof text, "(%d,%d) = %d %d %d", x, y, p.r, p.g, p.b);
    return text;
}

// What the engine wrote, once it is stopped: for failure messages.
std::string Stderr(Process& engine) {
    engine.Kill(SIGTERM);
    return engine.Wait().err;
}

}  // namespace

// Camera at z = -10 looking along +Z, fovy 70: at distance d, 400 px of screen
// half-height span d * tan(35 deg). World +X is on the left (right is -X). The
// box (size 1, scaled 2) at x = 3 shows its front face at z = -1 (d = 9, 63.5 px
// per unit): centred at x = 640 - 3 * 63.5 = 449, 127 px square. Scaled 3 it
// would reach out to x = 338 and up to y = 299.
TEST(EngineWindow, AMovedScaledColouredModelShowsWhereItShould) {
    Install install("pixels");
    Process engine(install.bin + "/engine", {}, install.Options());
    std::string window = WaitForWindow(kTitle);
    ASSERT_FALSE(window.empty()) << Stderr(engine);
    ASSERT_TRUE(engine.WaitForStderr("tick 10\n", 20000));

    Screenshot before = GrabWindow(window);
    ASSERT_EQ(before.width, 1280);
    ASSERT_EQ(before.height, 800);
    // (points off the centre: the sun's highlight sits near it)
    EXPECT_TRUE(Dominant{before.At(414, 430)}.Red()) << Describe(before, 414, 430);
    EXPECT_TRUE(Dominant{before.At(449 - 50, 400 + 50)}.Red()) << "scaled to 2: " << Describe(before, 399, 450);
    EXPECT_TRUE(Dominant{before.At(449 - 90, 400)}.Background()) << "but not 3: " << Describe(before, 359, 400);
    EXPECT_TRUE(Dominant{before.At(449, 400 - 90)}.Background()) << Describe(before, 449, 310);
    EXPECT_TRUE(Dominant{before.At(830, 400)}.Background()) << Describe(before, 830, 400);

    // A real key press: the module moves the box to x = -3 and turns it green.
    // Held until seen: a tap shorter than a frame can go down and up between
    // two polls, and "IsKeyPressed" never sees it (slow frames, as under
    // the sanitizers, made that happen).
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool keydown --clearmodifiers m");
    const bool moved = engine.WaitForStderr("after move 3\n", 10000);
    Shell("xdotool keyup m");
    ASSERT_TRUE(moved);
    Screenshot after = GrabWindow(window);
    ASSERT_FALSE(after.Empty());
    EXPECT_TRUE(Dominant{after.At(870, 430)}.Green()) << Describe(after, 870, 430);
    EXPECT_TRUE(Dominant{after.At(449, 400)}.Background()) << Describe(after, 449, 400);
    engine.Kill(SIGTERM);
}

TEST(EngineWindow, AFifthInstanceInABufferOfFourStopsAtTheNextFrame) {
    Install install("capacity");
    RunResult r = TestSupport::Run(install.bin + "/engine", {}, install.Options());
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "mapped 5\n")) << "mapping the fifth succeeded: " << r.err;
    std::string message = FormatFatal(Fatal::UpdateBufferFull, "box", 5, 4);
    EXPECT_TRUE(Contains(r.err, "womp womp: " + message + "\n")) << r.err;
    EXPECT_TRUE(Contains(r.err, "\nCapacity: 5/4\n")) << r.err;
    EXPECT_FALSE(Contains(r.err, "tick 1\n")) << "the first frame's update stops before its tick";
    EXPECT_EQ(r.out, "0\n");
}

namespace {

struct RayReport {
    int values = 0, hit = -1;
    float distance = 0, point[3] = {}, normal[3] = {};
};

RayReport Parse(const std::string& err, const std::string& label) {
    RayReport ray;
    for (const std::string& line : Lines(err)) {
        if (line.rfind(label + " ", 0) != 0) continue;
        std::sscanf(line.c_str() + label.size(), " values=%d hit=%d distance=%f point=%f,%f,%f normal=%f,%f,%f",
                    &ray.values, &ray.hit, &ray.distance, &ray.point[0], &ray.point[1], &ray.point[2], &ray.normal[0],
                    &ray.normal[1], &ray.normal[2]);
    }
    return ray;
}

}  // namespace

TEST(EngineWindow, RaycastSingleFindsTheLoadedModelUnderItsMovedTransform) {
    Install install("raycast");
    Process engine(install.bin + "/engine", {}, install.Options());
    ASSERT_TRUE(engine.WaitForStderr("tick 2\n", 20000));
    engine.Kill(SIGTERM);
    RunResult r = engine.Wait();
    ASSERT_TRUE(Contains(r.err, "raycast done")) << r.err;

    RayReport above = Parse(r.err, "above");  // straight down onto the box moved to x = 5
    EXPECT_EQ(above.values, 4);
    EXPECT_EQ(above.hit, 1);
    EXPECT_NEAR(above.distance, 9.5f, 1e-3);
    EXPECT_NEAR(above.point[0], 5, 1e-3);
    EXPECT_NEAR(above.point[1], 0.5f, 1e-3);  // the unscaled top face: scale 3 is not applied
    EXPECT_NEAR(above.normal[1], 1, 1e-3);

    RayReport origin = Parse(r.err, "origin");  // where the box stood before the move
    EXPECT_EQ(origin.values, 4);
    EXPECT_EQ(origin.hit, 0);

    RayReport edge = Parse(r.err, "edge");  // inside the scaled box only
    EXPECT_EQ(edge.values, 4);
    EXPECT_EQ(edge.hit, 0);

    // Turned 0.5 rad about Z: the same ray against the box's triangles placed by
    // the transform built as the engine defines it (Euler angles, then translation).
    RayReport side = Parse(r.err, "side");
    Matrix transform = MatrixMultiply(MatrixRotateXYZ(QuaternionToEuler(QuaternionFromEuler(0, 0, 0.5f))),
                                      MatrixTranslate(5, 0, 0));
    std::vector<Vector3> corners = TestFiles::BoxTriangles(0.5f);
    RayCollision want = {};
    want.distance = 1e30f;
    for (std::size_t i = 0; i < corners.size(); i += 3) {
        RayCollision c = GetRayCollisionTriangle({{0, 0.2f, 0}, {1, 0, 0}}, Vector3Transform(corners[i], transform),
                                                 Vector3Transform(corners[i + 1], transform),
                                                 Vector3Transform(corners[i + 2], transform));
        if (c.hit && c.distance < want.distance) want = c;
    }
    ASSERT_TRUE(want.hit);
    EXPECT_EQ(side.hit, 1);
    EXPECT_NEAR(side.distance, want.distance, 1e-3);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(side.point[k], (&want.point.x)[k], 1e-3) << k;
        EXPECT_NEAR(std::abs(side.normal[k]), std::abs((&want.normal.x)[k]), 1e-3) << k;
    }
    EXPECT_GT(std::abs(side.normal[0]), 0.3f) << "a tilted face";
    EXPECT_GT(std::abs(side.normal[1]), 0.3f) << "a tilted face";
}

TEST(EngineWindow, MouseKeysAndCursorAsRaylibReportsThem) {
    Install install("input");
    Process engine(install.bin + "/engine", {}, install.Options());
    std::string window = WaitForWindow(kTitle);
    ASSERT_FALSE(window.empty()) << Stderr(engine);
    // "SetMousePosition" with [100.9, 50.7, 7] from init: truncated, third element ignored
    ASSERT_TRUE(engine.WaitForStderr("mouse 100 50 100.0 50.0 size=2\n", 15000));
    ASSERT_TRUE(engine.WaitForStderr("hidden 1\n", 5000));
    ASSERT_TRUE(engine.WaitForStderr("shown 0\n", 5000));
    ASSERT_TRUE(engine.WaitForStderr("wheel size=2 delta size=2\n", 5000));

    // real pointer movement and keys from the X server
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool mousemove --window " + window + " 300 200");
    EXPECT_TRUE(engine.WaitForStderr("mouse 300 200 300.0 200.0 size=2\n", 10000));
    Shell("xdotool keydown w");
    EXPECT_TRUE(engine.WaitForStderr("key W down\n", 10000));
    Shell("xdotool keyup w");
    EXPECT_TRUE(engine.WaitForStderr("key W released\n", 10000));
    Shell("xdotool mousedown 1");
    EXPECT_TRUE(engine.WaitForStderr("button left down\n", 10000));
    Shell("xdotool mouseup 1");
    engine.Kill(SIGTERM);
    RunResult r = engine.Wait();
    EXPECT_TRUE(Contains(r.err, "delta ")) << r.err;
}
