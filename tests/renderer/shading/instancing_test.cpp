// Instanced drawing read back from the window: positions, colours (times the material
// colour), rotations and scales of instances; a changed mapped value moves the drawn
// instance at the next frame; count 0 draws nothing and counts are clamped.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "ShadingScene.h"
#include "raymath.h"

using namespace Shading;

namespace {

constexpr Color kRed = {255, 0, 0, 255};
constexpr Color kGreen = {0, 255, 0, 255};
constexpr Color kBlue = {0, 0, 255, 255};

class Instancing : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OpenWindow(); }

    void SetUp() override {
        box = LoadObj("box", Box(0.5f));
        ASSERT_EQ(box.meshCount, 1);
        camera = LookingDown(12.0f);
        sun = R3D_CreateLight(R3D_LIGHT_DIR);
        R3D_SetLightDirection(sun, {0.0f, -1.0f, 0.0f});
        R3D_SetLightActive(sun, true);
        R3D_SetLightSpecular(sun, 0.0f);
    }

    void TearDown() override {
        R3D_DestroyLight(sun);
        R3D_UnloadModel(box, true);
    }

    Frame Draw(R3D_Model model, R3D_InstanceBuffer buffer, int count) {
        return Render(camera, [&] { R3D_DrawModelInstanced(model, buffer, count); });
    }

    // Screen point of the box's top face above (x, z), with the box's top at `top`.
    Vector2 Top(float x, float z, float top = 0.5f) const { return ScreenOf({x, top, z}, camera); }

    static bool Looks(const Frame& f, Vector2 at, Color want) {
        for (int ch = 0; ch < 3; ++ch) {
            const unsigned char w = ch == 0 ? want.r : ch == 1 ? want.g : want.b;
            const double got = f.Mean(at, 1, ch);
            if (w > 128 ? got < 200.0 : got > 60.0) return false;
        }
        return true;
    }

    static bool IsSky(const Frame& f, Vector2 at) {
        const Color c = f.At(static_cast<int>(at.x), static_cast<int>(at.y));
        return c.r == f.At(0, 0).r && c.g == f.At(0, 0).g && c.b == f.At(0, 0).b;
    }

    R3D_Model box{};
    Camera3D camera{};
    R3D_Light sun = 0;
};

TEST_F(Instancing, InstancesAppearAtTheirPositionsInTheirColours) {
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(3, R3D_INSTANCE_ALL);
    Fill(buffer, {{{-3.0f, 0.0f, 0.0f}, {0, 0, 0, 1}, {1, 1, 1}, kRed},
                  {{0.0f, 0.0f, 0.0f}, {0, 0, 0, 1}, {1, 1, 1}, kGreen},
                  {{3.0f, 0.0f, -2.0f}, {0, 0, 0, 1}, {1, 1, 1}, kBlue}});
    const Frame f = Draw(box, buffer, 3);
    EXPECT_TRUE(Looks(f, Top(-3.0f, 0.0f), kRed));
    EXPECT_TRUE(Looks(f, Top(0.0f, 0.0f), kGreen));
    EXPECT_TRUE(Looks(f, Top(3.0f, -2.0f), kBlue));
    EXPECT_TRUE(IsSky(f, Top(0.0f, 3.0f)));
    EXPECT_TRUE(IsSky(f, Top(-3.0f, 2.0f)));
    R3D_UnloadInstanceBuffer(buffer);
}

TEST_F(Instancing, InstanceColourMultipliesTheMaterialColour) {
    R3D_Model yellow = LoadObj("yellow_box", Box(0.5f), Color{255, 255, 0, 255});
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    Fill(buffer, {{{0.0f, 0.0f, 0.0f}, {0, 0, 0, 1}, {1, 1, 1}, Color{0, 255, 255, 255}}});
    const Frame f = Draw(yellow, buffer, 1);
    EXPECT_TRUE(Looks(f, Top(0.0f, 0.0f), kGreen));  // yellow x cyan
    R3D_UnloadInstanceBuffer(buffer);
    R3D_UnloadModel(yellow, true);
}

TEST_F(Instancing, BaseColourTextureTimesMaterialTimesInstanceColour) {
    // Left half red, right half white, so the test does not depend on which way v runs.
    Image image = GenImageColor(8, 8, WHITE);
    ImageDrawRectangle(&image, 0, 0, 4, 8, kRed);
    ASSERT_TRUE(ExportImage(image, (TempFolder() + "/halves.png").c_str()));
    UnloadImage(image);
    R3D_Model textured = LoadObj("textured_plane", Plane(2.0f), WHITE, "halves.png");
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    Fill(buffer, {Instance{}});
    Frame f = Draw(textured, buffer, 1);
    EXPECT_TRUE(Looks(f, Top(-1.0f, 0.0f, 0.0f), kRed));
    EXPECT_TRUE(Looks(f, Top(1.0f, 0.0f, 0.0f), WHITE));
    // A blue instance: red times blue is black, white times blue is blue.
    Fill(buffer, {{{0.0f, 0.0f, 0.0f}, {0, 0, 0, 1}, {1, 1, 1}, kBlue}});
    f = Draw(textured, buffer, 1);
    EXPECT_TRUE(Looks(f, Top(-1.0f, 0.0f, 0.0f), BLACK));
    EXPECT_TRUE(Looks(f, Top(1.0f, 0.0f, 0.0f), kBlue));
    R3D_UnloadInstanceBuffer(buffer);
    R3D_UnloadModel(textured, true);
}

TEST_F(Instancing, RotationAndScaleTurnAndStretchTheInstance) {
    // A bar 3 long in X; turned a quarter about Y it lies along Z instead.
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    const Vector3 bar = {3.0f, 0.5f, 0.5f};
    Fill(buffer, {{{0.0f, 0.0f, 0.0f}, {0, 0, 0, 1}, bar, kRed}});
    Frame f = Draw(box, buffer, 1);
    EXPECT_TRUE(Looks(f, Top(1.2f, 0.0f, 0.25f), kRed));
    EXPECT_TRUE(IsSky(f, Top(0.0f, 1.2f, 0.25f)));

    Fill(buffer, {{{0.0f, 0.0f, 0.0f}, QuaternionFromAxisAngle({0, 1, 0}, PI / 2), bar, kRed}});
    f = Draw(box, buffer, 1);
    EXPECT_TRUE(Looks(f, Top(0.0f, 1.2f, 0.25f), kRed));
    EXPECT_TRUE(Looks(f, Top(0.0f, -1.2f, 0.25f), kRed));
    EXPECT_TRUE(IsSky(f, Top(1.2f, 0.0f, 0.25f)));

    // Turned about X by 90 degrees the bar still lies along X; about Z it stands up.
    Fill(buffer, {{{0.0f, 0.0f, 0.0f}, QuaternionFromAxisAngle({0, 0, 1}, PI / 2), bar, kRed}});
    f = Draw(box, buffer, 1);
    EXPECT_TRUE(Looks(f, Top(0.0f, 0.0f, 1.5f), kRed));
    EXPECT_TRUE(IsSky(f, Top(1.2f, 0.0f, 0.25f)));
    R3D_UnloadInstanceBuffer(buffer);
}

TEST_F(Instancing, ChangingAMappedValueMovesTheInstanceInTheNextFrame) {
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(2, R3D_INSTANCE_ALL);
    Fill(buffer, {{{-2.0f, 0.0f, 0.0f}, {0, 0, 0, 1}, {1, 1, 1}, kRed}, {{0.0f, 0.0f, 3.0f}, {0, 0, 0, 1}, {1, 1, 1}, kBlue}});
    Frame f = Draw(box, buffer, 2);
    EXPECT_TRUE(Looks(f, Top(-2.0f, 0.0f), kRed));
    EXPECT_TRUE(IsSky(f, Top(2.0f, 0.0f)));

    auto* positions = static_cast<Vector3*>(R3D_MapInstances(buffer, R3D_INSTANCE_POSITION));
    ASSERT_NE(positions, nullptr);
    positions[0] = {2.0f, 0.0f, 0.0f};
    R3D_UnmapInstances(buffer, R3D_INSTANCE_POSITION);
    auto* colors = static_cast<Color*>(R3D_MapInstances(buffer, R3D_INSTANCE_COLOR));
    colors[1] = kGreen;
    R3D_UnmapInstances(buffer, R3D_INSTANCE_COLOR);

    f = Draw(box, buffer, 2);
    EXPECT_TRUE(Looks(f, Top(2.0f, 0.0f), kRed));
    EXPECT_TRUE(IsSky(f, Top(-2.0f, 0.0f)));
    EXPECT_TRUE(Looks(f, Top(0.0f, 3.0f), kGreen));
    R3D_UnloadInstanceBuffer(buffer);
}

TEST_F(Instancing, CountZeroDrawsNothingAndCountsAreClampedToCapacity) {
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(2, R3D_INSTANCE_ALL);
    Fill(buffer, {{{-2.0f, 0.0f, 0.0f}, {0, 0, 0, 1}, {1, 1, 1}, kRed}, {{2.0f, 0.0f, 0.0f}, {0, 0, 0, 1}, {1, 1, 1}, kBlue}});
    const Frame empty = Render(camera, [] {});
    const Frame zero = Draw(box, buffer, 0);
    EXPECT_EQ(std::memcmp(empty.pixels.data(), zero.pixels.data(), empty.pixels.size() * sizeof(Color)), 0);
    const Frame negative = Draw(box, buffer, -5);
    EXPECT_EQ(std::memcmp(empty.pixels.data(), negative.pixels.data(), empty.pixels.size() * sizeof(Color)), 0);

    const Frame one = Draw(box, buffer, 1);
    EXPECT_TRUE(Looks(one, Top(-2.0f, 0.0f), kRed));
    EXPECT_TRUE(IsSky(one, Top(2.0f, 0.0f)));

    const Frame many = Draw(box, buffer, 1000);
    EXPECT_TRUE(Looks(many, Top(-2.0f, 0.0f), kRed));
    EXPECT_TRUE(Looks(many, Top(2.0f, 0.0f), kBlue));
    R3D_UnloadInstanceBuffer(buffer);
}

TEST_F(Instancing, AGridOfAHundredInstancesInOneDraw) {
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(100, R3D_INSTANCE_ALL);
    std::vector<Instance> grid;
    for (int i = 0; i < 100; ++i) {
        const float x = -4.5f + (i % 10), z = -3.6f + 0.8f * (i / 10);
        grid.push_back({{x, 0.0f, z}, {0, 0, 0, 1}, {0.4f, 0.4f, 0.4f}, (i % 2) ? kRed : kBlue});
    }
    Fill(buffer, grid);
    const Frame f = Draw(box, buffer, 100);
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(Looks(f, Top(grid[i].position.x, grid[i].position.z, 0.2f), grid[i].color)) << "instance " << i;
    }
    EXPECT_TRUE(IsSky(f, Top(-4.0f, -3.2f, 0.0f)));
    R3D_UnloadInstanceBuffer(buffer);
}

TEST_F(Instancing, InstancesOutOfViewAreLeftOutAndTheRestDrawnAsTheyAre) {
    // Every other instance far outside the view: the visible ones keep their own values.
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(200, R3D_INSTANCE_ALL);
    std::vector<Instance> all;
    for (int i = 0; i < 200; ++i) {
        if (i % 2 == 0) {
            all.push_back({{100.0f + i, 0.0f, 0.0f}, {0, 0, 0, 1}, {1, 1, 1}, kGreen});
        } else {
            const int k = i / 2;  // 0..99 in a 10 x 10 grid
            all.push_back({{-4.5f + (k % 10), 0.0f, -3.6f + 0.8f * (k / 10)}, {0, 0, 0, 1}, {0.4f, 0.4f, 0.4f},
                           (k % 3) ? kRed : kBlue});
        }
    }
    Fill(buffer, all);
    const Frame f = Draw(box, buffer, 200);
    for (int i = 1; i < 200; i += 2) {
        EXPECT_TRUE(Looks(f, Top(all[i].position.x, all[i].position.z, 0.2f), all[i].color)) << "instance " << i;
    }
    R3D_UnloadInstanceBuffer(buffer);
}

TEST_F(Instancing, AnInstanceWhoseOriginIsOutOfViewStillShowsItsGeometry) {
    // The mesh lies 6 to the side of its own origin; turned half round about Y and placed
    // 8 to the right (out of view), its box shows 2 to the right.
    ObjMesh offset = Box(0.5f);
    for (Vector3& p : offset.positions) p.x += 6.0f;
    R3D_Model shifted = LoadObj("shifted_box", offset);
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    Fill(buffer, {{{8.0f, 0.0f, 0.0f}, QuaternionFromAxisAngle({0, 1, 0}, PI), {1, 1, 1}, kRed}});
    const Frame f = Draw(shifted, buffer, 1);
    EXPECT_TRUE(Looks(f, Top(2.0f, 0.0f), kRed));
    R3D_UnloadInstanceBuffer(buffer);
    R3D_UnloadModel(shifted, true);
}

TEST_F(Instancing, DrawsOutsideASceneAreIgnored) {
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    Fill(buffer, {{{0.0f, 0.0f, 0.0f}, {0, 0, 0, 1}, {1, 1, 1}, kRed}});
    R3D_DrawModelInstanced(box, buffer, 1);  // no R3D_Begin: must not draw in the next scene
    const Frame f = Render(camera, [] {});
    EXPECT_TRUE(IsSky(f, Top(0.0f, 0.0f)));
    R3D_UnloadInstanceBuffer(buffer);
}

}  // namespace
