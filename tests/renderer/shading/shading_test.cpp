// Lighting on a white plane seen from above, read back from the window: spot cones,
// switching, colour, range and attenuation, omni and directional lights, ambient,
// specular, many lights at once, and 2D drawing on top of the scene.
#include <gtest/gtest.h>

#include <vector>

#include "ShadingScene.h"

using namespace Shading;

namespace {

class Lighting : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OpenWindow(); }

    void SetUp() override {
        plane = LoadObj("plane", Plane(10.0f));
        ASSERT_EQ(plane.meshCount, 1);
        planeInstances = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
        Fill(planeInstances, {Instance{}});
        camera = LookingDown(12.0f);
    }

    void TearDown() override {
        for (R3D_Light light : lights) R3D_DestroyLight(light);
        R3D_UnloadInstanceBuffer(planeInstances);
        R3D_UnloadModel(plane, true);
    }

    R3D_Light NewLight(R3D_LightType type) {
        const R3D_Light light = R3D_CreateLight(type);
        lights.push_back(light);
        return light;
    }

    R3D_Light SpotDown(Vector3 position, float inner, float outer, float range) {
        const R3D_Light spot = NewLight(R3D_LIGHT_SPOT);
        R3D_SetLightPosition(spot, position);
        R3D_SetLightDirection(spot, {0.0f, -1.0f, 0.0f});
        R3D_SetLightInnerCutOff(spot, inner);
        R3D_SetLightOuterCutOff(spot, outer);
        R3D_SetLightRange(spot, range);
        R3D_SetLightEnergy(spot, 4.0f);  // default attenuation 1: 4 / sqrt(1 + 5^2) on the plane
        R3D_SetLightActive(spot, true);
        return spot;
    }

    Frame Draw() {
        return Render(camera, [&] { R3D_DrawModelInstanced(plane, planeInstances, 1); });
    }

    Vector2 At(float x, float z) const { return ScreenOf({x, 0.0f, z}, camera); }

    R3D_Model plane{};
    R3D_InstanceBuffer planeInstances{};
    Camera3D camera{};
    std::vector<R3D_Light> lights;
};

TEST_F(Lighting, UnlitSceneIsDimButNotBlack) {
    const Frame f = Draw();
    const double centre = f.Luma(At(0, 0));
    EXPECT_GT(centre, 8.0);
    EXPECT_LT(centre, 60.0);
}

TEST_F(Lighting, SpotIsBrightInsideItsConeAndDarkOutside) {
    SpotDown({0.0f, 5.0f, 0.0f}, 15.0f, 20.0f, 20.0f);  // cone reaches 1.34 (full) to 1.82 (none) on the plane
    const Frame f = Draw();
    const double inside = f.Luma(At(0, 0));
    const double edge = f.Luma(At(1.6f, 0));
    const double outside = f.Luma(At(3.5f, 0));
    EXPECT_GT(inside, 170.0);
    EXPECT_LT(outside, 50.0);
    // A soft rim between the cut-offs, not a hard step.
    EXPECT_GT(edge, outside + 15.0);
    EXPECT_LT(edge, inside - 15.0);
    EXPECT_LT(f.Luma(At(0, 3.5f)), 50.0);
    EXPECT_LT(f.Luma(At(-2.5f, -2.5f)), 50.0);
}

TEST_F(Lighting, SwitchingTheSpotOffDarkensThePlane) {
    const R3D_Light spot = SpotDown({0.0f, 5.0f, 0.0f}, 15.0f, 20.0f, 20.0f);
    const double on = Draw().Luma(At(0, 0));
    R3D_SetLightActive(spot, false);
    const double off = Draw().Luma(At(0, 0));
    R3D_ToggleLight(spot);
    const double again = Draw().Luma(At(0, 0));
    EXPECT_GT(on, 170.0);
    EXPECT_LT(off, 50.0);
    EXPECT_NEAR(again, on, 3.0);
}

TEST_F(Lighting, LightColourTintsWhatItLights) {
    const R3D_Light spot = SpotDown({0.0f, 5.0f, 0.0f}, 15.0f, 20.0f, 20.0f);
    R3D_SetLightColor(spot, Color{255, 0, 0, 255});
    Frame f = Draw();
    EXPECT_GT(f.Mean(At(0, 0), 2, 0), 170.0);
    EXPECT_LT(f.Mean(At(0, 0), 2, 1), 50.0);
    EXPECT_LT(f.Mean(At(0, 0), 2, 2), 50.0);
    R3D_SetLightColor(spot, Color{0, 0, 255, 255});
    f = Draw();
    EXPECT_LT(f.Mean(At(0, 0), 2, 0), 50.0);
    EXPECT_GT(f.Mean(At(0, 0), 2, 2), 170.0);
}

TEST_F(Lighting, NothingBeyondTheRangeAndMoreAttenuationIsDarker) {
    const R3D_Light spot = SpotDown({0.0f, 5.0f, 0.0f}, 15.0f, 20.0f, 4.0f);  // plane 5 away
    EXPECT_LT(Draw().Luma(At(0, 0)), 50.0);
    R3D_SetLightRange(spot, 10.0f);
    R3D_SetLightEnergy(spot, 3.0f);  // stay below saturation to compare
    R3D_SetLightAttenuation(spot, 1.0f);
    const double gentle = Draw().Luma(At(0, 0));
    R3D_SetLightAttenuation(spot, 2.0f);
    const double steep = Draw().Luma(At(0, 0));
    EXPECT_GT(gentle, steep + 20.0);
    EXPECT_GT(steep, 30.0);
}

TEST_F(Lighting, EnergyScalesTheLight) {
    const R3D_Light spot = SpotDown({0.0f, 5.0f, 0.0f}, 15.0f, 20.0f, 20.0f);
    R3D_SetLightEnergy(spot, 1.0f);
    const double weak = Draw().Luma(At(0, 0));
    R3D_SetLightEnergy(spot, 2.0f);
    const double strong = Draw().Luma(At(0, 0));
    EXPECT_GT(strong, weak + 30.0);
}

TEST_F(Lighting, OmniLightsAroundItselfWithinItsRange) {
    const R3D_Light omni = NewLight(R3D_LIGHT_OMNI);
    R3D_SetLightPosition(omni, {-2.0f, 2.0f, 0.0f});
    R3D_SetLightRange(omni, 4.0f);
    R3D_SetLightEnergy(omni, 8.0f);
    R3D_SetLightActive(omni, true);
    const Frame f = Draw();
    EXPECT_GT(f.Luma(At(-2.0f, 0.0f)), 150.0);
    EXPECT_GT(f.Luma(At(-2.0f, 1.5f)), 60.0);  // omni: lit beside it too, unlike a spot
    EXPECT_LT(f.Luma(At(3.0f, 0.0f)), 50.0);   // 5.4 away, past the range
}

TEST_F(Lighting, DirectionalLightsEverythingFacingIt) {
    const R3D_Light sun = NewLight(R3D_LIGHT_DIR);
    R3D_SetLightDirection(sun, {0.0f, -1.0f, 0.0f});
    R3D_SetLightActive(sun, true);
    Frame f = Draw();
    EXPECT_GT(f.Luma(At(0, 0)), 200.0);
    EXPECT_GT(f.Luma(At(-4.0f, -3.0f)), 200.0);
    EXPECT_GT(f.Luma(At(4.0f, 3.0f)), 200.0);
    R3D_SetLightDirection(sun, {0.0f, 1.0f, 0.0f});  // from below: the plane faces away
    f = Draw();
    EXPECT_LT(f.Luma(At(0, 0)), 50.0);
}

TEST_F(Lighting, SpecularAddsAHighlightTowardsTheViewer) {
    // A smooth surface with a strong specular colour: a dielectric's highlight is faint.
    R3D_UnloadModel(plane, true);
    plane = LoadObj("shiny", Plane(10.0f), WHITE, "", R3D_IMPORT_DEFAULT, "Ks 1 1 1\nNs 400");
    const R3D_Light sun = NewLight(R3D_LIGHT_DIR);
    R3D_SetLightDirection(sun, {0.0f, -1.0f, 0.0f});
    R3D_SetLightEnergy(sun, 0.3f);
    R3D_SetLightActive(sun, true);
    R3D_SetLightSpecular(sun, 0.0f);
    const double matte = Draw().Luma(At(0, 0));
    R3D_SetLightSpecular(sun, 1.0f);
    const double shiny = Draw().Luma(At(0, 0));
    EXPECT_GT(shiny, matte + 40.0);
}

TEST_F(Lighting, TwentyLightsAtOnceEachLightItsOwnPatch) {
    for (float x : {-4.0f, -2.0f, 0.0f, 2.0f, 4.0f}) {
        for (float z : {-3.0f, -1.0f, 1.0f, 3.0f}) {
            const R3D_Light omni = NewLight(R3D_LIGHT_OMNI);
            R3D_SetLightPosition(omni, {x, 0.5f, z});
            R3D_SetLightRange(omni, 1.0f);
            R3D_SetLightEnergy(omni, 4.0f);
            R3D_SetLightActive(omni, true);
        }
    }
    const Frame f = Draw();
    for (float x : {-4.0f, -2.0f, 0.0f, 2.0f, 4.0f}) {
        for (float z : {-3.0f, -1.0f, 1.0f, 3.0f}) {
            EXPECT_GT(f.Luma(At(x, z)), 150.0) << "light at " << x << ", " << z;
        }
    }
    for (float x : {-3.0f, -1.0f, 1.0f, 3.0f}) {
        EXPECT_LT(f.Luma(At(x, 0.0f)), 50.0) << "between lights at " << x;
    }
}

TEST_F(Lighting, LightsOutOfViewLeaveTheirPlacesToVisibleOnes) {
    // 40 lights far away behind the camera are created first; the 8 in view still shine,
    // although more than 32 lights are on.
    for (int i = 0; i < 40; ++i) {
        const R3D_Light far = NewLight(R3D_LIGHT_OMNI);
        R3D_SetLightPosition(far, {static_cast<float>(i), 200.0f, 0.0f});
        R3D_SetLightRange(far, 5.0f);
        R3D_SetLightActive(far, true);
    }
    for (float x : {-3.0f, -1.0f, 1.0f, 3.0f}) {
        for (float z : {-2.0f, 2.0f}) {
            const R3D_Light omni = NewLight(R3D_LIGHT_OMNI);
            R3D_SetLightPosition(omni, {x, 0.5f, z});
            R3D_SetLightRange(omni, 1.0f);
            R3D_SetLightEnergy(omni, 4.0f);
            R3D_SetLightActive(omni, true);
        }
    }
    const Frame f = Draw();
    for (float x : {-3.0f, -1.0f, 1.0f, 3.0f}) {
        for (float z : {-2.0f, 2.0f}) EXPECT_GT(f.Luma(At(x, z)), 150.0) << "light at " << x << ", " << z;
    }
}

TEST_F(Lighting, RaylibTwoDimensionalDrawingStaysOnTop) {
    SpotDown({0.0f, 5.0f, 0.0f}, 15.0f, 20.0f, 20.0f);
    const Vector2 c = At(0, 0);
    const Frame f = Render(
        camera, [&] { R3D_DrawModelInstanced(plane, planeInstances, 1); },
        [&] { DrawRectangle(static_cast<int>(c.x) - 10, static_cast<int>(c.y) - 10, 20, 20, Color{255, 0, 255, 255}); });
    EXPECT_GT(f.Mean(c, 2, 0), 240.0);
    EXPECT_LT(f.Mean(c, 2, 1), 15.0);
    EXPECT_GT(f.Mean(c, 2, 2), 240.0);
    EXPECT_GT(f.Luma(At(0.0f, 1.0f)), 150.0);  // the scene around it is still there
}

TEST_F(Lighting, LightFarAboveWhiteKeepsTheSurfacesColourAndExposureScalesIt) {
    Fill(planeInstances, {{{0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, Color{200, 100, 50, 255}}});
    const R3D_Light sun = NewLight(R3D_LIGHT_DIR);
    R3D_SetLightDirection(sun, {0.0f, -1.0f, 0.0f});
    R3D_SetLightSpecular(sun, 0.0f);
    R3D_SetLightEnergy(sun, 10.0f);  // ten times white: clipped per channel it would be flat white
    R3D_SetLightActive(sun, true);
    Frame f = Draw();
    EXPECT_GT(f.Mean(At(0, 0), 2, 0), 240.0);
    EXPECT_NEAR(f.Mean(At(0, 0), 2, 1), 127.0, 12.0);  // half the red, as the surface is
    EXPECT_NEAR(f.Mean(At(0, 0), 2, 2), 64.0, 12.0);

    // An exposure of 1/20 brings it down to half of white, below the curve's shoulder,
    // where it is what the light gives: 10 / 20 * (200, 100, 50) plus a little ambient.
    EXPECT_EQ(R3D_GetExposure(), 1.0f);
    R3D_SetExposure(0.05f);
    f = Draw();
    R3D_SetExposure(1.0f);
    EXPECT_NEAR(f.Mean(At(0, 0), 2, 0), 100.0, 6.0);
    EXPECT_NEAR(f.Mean(At(0, 0), 2, 1), 50.0, 6.0);
}

}  // namespace
