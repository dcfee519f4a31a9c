// Draws split by the screen rectangles their local lights may reach: the rectangles hold
// every pixel a light can touch, and a split frame is the frame drawn whole.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "ShadingScene.h"
#include "raymath.h"
#include "draw/screen_rects.h"

using namespace Shading;

TEST(ScreenSplit, ALightsRectangleHoldsEveryPixelItCanLight) {
    std::mt19937 rng(19);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f), fraction(0.0f, 1.0f);
    auto randomVector = [&](float scale) { return Vector3{unit(rng) * scale, unit(rng) * scale, unit(rng) * scale}; };
    const r3d::ScreenRect viewport{0, 0, 1280, 800};
    for (int c = 0; c < 400; ++c) {
        const Vector3 eye = randomVector(10.0f);
        const Vector3 look = Vector3Normalize(randomVector(1.0f));
        const bool ortho = c % 5 == 4;
        const Matrix proj = ortho ? MatrixOrtho(-8.0, 8.0, -5.0, 5.0, 0.01, 1000.0)
                                  : MatrixPerspective((30.0f + 70.0f * fraction(rng)) * DEG2RAD, 1.6, 0.01, 1000.0);
        const Matrix viewProj = MatrixMultiply(MatrixLookAt(eye, Vector3Add(eye, look), {0.0f, 1.0f, 0.0f}), proj);
        r3d::LightData light;
        light.type = c % 3 == 0 ? R3D_LIGHT_OMNI : R3D_LIGHT_SPOT;
        // Every other one a flashlight: at the eye, along the view.
        light.position = c % 2 == 0 ? eye : Vector3Add(eye, randomVector(12.0f));
        light.direction = c % 2 == 0 ? look : randomVector(1.0f);
        light.range = 1.0f + 30.0f * fraction(rng);
        light.outerCutOff = 5.0f + 85.0f * fraction(rng);
        light.innerCutOff = light.outerCutOff * 1.2f * fraction(rng);
        const r3d::ScreenRect rect = r3d::LightScreenRect(light, viewProj, viewport);
        const float cone = std::max(light.innerCutOff, light.outerCutOff) * DEG2RAD;
        for (int k = 0; k < 300; ++k) {
            const Vector3 d = Vector3Normalize(randomVector(1.0f));
            if (light.type == R3D_LIGHT_SPOT && Vector3Angle(d, light.direction) >= cone) continue;
            const Vector3 p = Vector3Add(light.position, Vector3Scale(d, light.range * fraction(rng)));
            const Vector4 clip = {viewProj.m0 * p.x + viewProj.m4 * p.y + viewProj.m8 * p.z + viewProj.m12,
                                  viewProj.m1 * p.x + viewProj.m5 * p.y + viewProj.m9 * p.z + viewProj.m13,
                                  viewProj.m2 * p.x + viewProj.m6 * p.y + viewProj.m10 * p.z + viewProj.m14,
                                  viewProj.m3 * p.x + viewProj.m7 * p.y + viewProj.m11 * p.z + viewProj.m15};
            if (clip.w <= 0.0f || std::fabs(clip.x) > clip.w || std::fabs(clip.y) > clip.w || std::fabs(clip.z) > clip.w) continue;
            const int x = static_cast<int>((clip.x / clip.w * 0.5f + 0.5f) * 1280.0f);
            const int y = static_cast<int>((clip.y / clip.w * 0.5f + 0.5f) * 800.0f);
            ASSERT_TRUE(x >= rect.x0 && x < rect.x1 && y >= rect.y0 && y < rect.y1)
                << "case " << c << ": pixel " << x << "," << y << " lit outside " << rect.x0 << "," << rect.y0 << " - "
                << rect.x1 << "," << rect.y1;
        }
    }
    // A light that reaches "everywhere" is not lost to overflow.
    r3d::LightData everywhere;
    everywhere.type = R3D_LIGHT_OMNI;
    const Matrix view = MatrixMultiply(MatrixLookAt({0, 0, 0}, {0, 0, -1}, {0, 1, 0}), MatrixPerspective(70.0 * DEG2RAD, 1.6, 0.01, 1000.0));
    for (float range : {1e30f, 3.4e38f, INFINITY}) {
        everywhere.range = range;
        EXPECT_EQ(r3d::LightScreenRect(everywhere, view, viewport).Area(), viewport.Area()) << range;
    }
    // The walker's flashlight (30 degrees, in a 70 degree view) leaves more than half the
    // screen out: its rectangle is not much more than the square around the cone's circle
    // (42.5% of the screen).
    r3d::LightData flashlight;
    flashlight.type = R3D_LIGHT_SPOT;
    flashlight.direction = {0.0f, 0.0f, -1.0f};
    flashlight.range = 32.0f;
    const long long area = r3d::LightScreenRect(flashlight, view, viewport).Area();
    EXPECT_GT(area, viewport.Area() * 4 / 10);
    EXPECT_LT(area, viewport.Area() * 48 / 100);
}

// A shadowed spot and a small omni light over boxes and a see-through pane that crosses
// their rectangles' edges, with a dim sun everywhere; the same frame drawn under a
// full-window scissor, which keeps the renderer from splitting anything.
TEST(ScreenSplit, TheSplitFrameIsTheFrameDrawnWhole) {
    OpenWindow();
    R3D_Model ground = LoadObj("split_ground", Plane(10.0f));
    R3D_Model box = LoadObj("split_box", Box(0.5f), Color{200, 180, 160, 255});
    R3D_Model pane = LoadGltf("split_pane", Plane(1.5f), R"({"pbrMetallicRoughness": {"baseColorFactor": [0.2, 0.4, 1.0, 0.5]}, "alphaMode": "BLEND", "doubleSided": true})");
    R3D_InstanceBuffer one = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    Fill(one, {Instance{}});
    R3D_InstanceBuffer boxes = R3D_LoadInstanceBuffer(9, R3D_INSTANCE_ALL);
    std::vector<Instance> grid;
    for (int i = 0; i < 9; ++i) grid.push_back({{-3.0f + 3.0f * (i % 3), 0.5f, -3.0f + 3.0f * (i / 3)}});
    Fill(boxes, grid);
    R3D_InstanceBuffer panes = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    Fill(panes, {Instance{{-1.0f, 1.5f, -1.0f}}});
    const R3D_Light spot = R3D_CreateLight(R3D_LIGHT_SPOT), omni = R3D_CreateLight(R3D_LIGHT_OMNI), sun = R3D_CreateLight(R3D_LIGHT_DIR);
    R3D_SetLightDirection(spot, {0.1f, -1.0f, 0.0f});
    R3D_SetLightOuterCutOff(spot, 20.0f);
    R3D_SetLightInnerCutOff(spot, 15.0f);
    R3D_SetLightEnergy(spot, 3.0f);
    R3D_EnableShadow(spot);
    R3D_SetLightPosition(omni, {3.0f, 1.0f, 3.0f});
    R3D_SetLightRange(omni, 2.5f);
    R3D_SetLightColor(omni, RED);
    R3D_SetLightDirection(sun, {0.3f, -1.0f, 0.2f});
    R3D_SetLightEnergy(sun, 0.2f);
    for (R3D_Light l : {spot, omni, sun}) R3D_SetLightActive(l, true);
    auto draw = [&] {
        R3D_DrawModelInstanced(ground, one, 1);
        R3D_DrawModelInstanced(box, boxes, 9);
        R3D_DrawModelInstanced(pane, panes, 1);
    };
    const Camera3D camera = LookingDown(12.0f);
    // The spot's map is first drawn from elsewhere: the scissored frame must redraw all of
    // it, not only the window's share.
    R3D_SetLightPosition(spot, {0.5f, 4.0f, 0.7f});
    Render(camera, draw);
    R3D_SetLightPosition(spot, {-2.0f, 6.0f, -1.5f});
    const Frame whole = Render(camera, [&] {
        BeginScissorMode(0, 0, GetRenderWidth(), GetRenderHeight());
        draw();
    });
    EndScissorMode();
    const int wholeDraws = R3D_GetFrameStats().camera.drawCalls;
    const Frame split = Render(camera, draw);
    const int splitDraws = R3D_GetFrameStats().camera.drawCalls;
    EXPECT_GT(splitDraws, wholeDraws) << "the frame was not split";
    // Both local lights show: the spot's pool beside the pane, the omni light's red glow.
    const double unlit = split.Luma(ScreenOf({0.0f, 0.0f, 4.5f}, camera));
    EXPECT_GT(split.Luma(ScreenOf({-2.8f, 0.0f, -1.5f}, camera)), unlit + 30.0);
    EXPECT_GT(split.Mean(ScreenOf({3.0f, 0.0f, 2.0f}, camera), 2, 0), split.Mean(ScreenOf({0.0f, 0.0f, 4.5f}, camera), 2, 0) + 30.0);
    int differing = 0;
    for (size_t i = 0; i < split.pixels.size(); ++i) {
        const Color a = split.pixels[i], b = whole.pixels[i];
        differing += std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)}) > 1 ? 1 : 0;
    }
    EXPECT_EQ(differing, 0);
    for (R3D_Light l : {spot, omni, sun}) R3D_DestroyLight(l);
    for (R3D_InstanceBuffer b : {one, boxes, panes}) R3D_UnloadInstanceBuffer(b);
    for (R3D_Model m : {ground, box, pane}) R3D_UnloadModel(m, true);
}
