// Shadows read back from the window: a box between a shadowed light and a white plane
// darkens the plane behind it, for each kind of light; with shadows off it does not.
// Update modes decide when the map follows a moved caster; biases and softness act.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ShadingScene.h"

using namespace Shading;

namespace {

class Shadows : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OpenWindow(); }

    void SetUp() override {
        plane = LoadObj("plane", Plane(10.0f));
        box = LoadObj("box", Box(1.0f));
        planeInstances = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
        Fill(planeInstances, {Instance{}});
        boxInstances = R3D_LoadInstanceBuffer(2, R3D_INSTANCE_ALL);
        MoveBox({0.0f, 3.0f, 0.0f});  // spans y 2..4 above the middle of the plane
        camera.position = {0.0f, 10.0f, 8.0f};
        camera.target = {0.0f, 0.0f, 0.0f};
        camera.up = {0.0f, 1.0f, 0.0f};
        camera.fovy = 45.0f;
        camera.projection = CAMERA_PERSPECTIVE;
    }

    void TearDown() override {
        R3D_DestroyLight(light);
        R3D_UnloadInstanceBuffer(planeInstances);
        R3D_UnloadInstanceBuffer(boxInstances);
        R3D_UnloadModel(plane, true);
        R3D_UnloadModel(box, true);
    }

    void MoveBox(Vector3 position) { Fill(boxInstances, {{position, {0, 0, 0, 1}, {1, 1, 1}, WHITE}}); }

    // A light of the kind 8 above the plane's middle, shining down, shadows on.
    void MakeLight(R3D_LightType type) {
        light = R3D_CreateLight(type);
        R3D_SetLightPosition(light, {0.0f, 8.0f, 0.0f});
        R3D_SetLightDirection(light, {0.0f, -1.0f, 0.0f});
        R3D_SetLightRange(light, 30.0f);
        R3D_SetLightInnerCutOff(light, 35.0f);
        R3D_SetLightOuterCutOff(light, 45.0f);
        R3D_SetLightSpecular(light, 0.0f);
        // Spot and omni light falls off with the distance (default attenuation 1): 9 is
        // about full light 8 below.
        R3D_SetLightEnergy(light, type == R3D_LIGHT_DIR ? 1.0f : 9.0f);
        R3D_SetLightActive(light, true);
        R3D_EnableShadow(light);
    }

    Frame Draw(int boxes = 1) {
        return Render(camera, [&] {
            R3D_DrawModelInstanced(plane, planeInstances, 1);
            R3D_DrawModelInstanced(box, boxInstances, boxes);
        });
    }

    // On the plane right under the box (in the shadow of every light here), yet not
    // hidden from the camera by the box itself.
    Vector2 Behind() const { return ScreenOf({0.0f, 0.0f, 0.5f}, camera); }
    // Lit by every light here whatever the box does.
    Vector2 Open() const { return ScreenOf({3.0f, 0.0f, 0.5f}, camera); }

    void ExpectShadowed(const Frame& f) const {
        EXPECT_GT(f.Luma(Open()), 150.0);
        EXPECT_LT(f.Luma(Behind()), 0.4 * f.Luma(Open()));
    }
    void ExpectUnshadowed(const Frame& f) const {
        EXPECT_GT(f.Luma(Open()), 150.0);
        EXPECT_GT(f.Luma(Behind()), 0.85 * f.Luma(Open()));
    }

    void CheckKind(R3D_LightType type) {
        MakeLight(type);
        ExpectShadowed(Draw());
        R3D_DisableShadow(light);
        ExpectUnshadowed(Draw());
        R3D_EnableShadow(light);
        ExpectShadowed(Draw());
    }

    R3D_Model plane{}, box{};
    R3D_InstanceBuffer planeInstances{}, boxInstances{};
    Camera3D camera{};
    R3D_Light light = 0;
};

TEST_F(Shadows, DirectionalLightCastsTheBoxShadow) { CheckKind(R3D_LIGHT_DIR); }
TEST_F(Shadows, SpotLightCastsTheBoxShadow) { CheckKind(R3D_LIGHT_SPOT); }
TEST_F(Shadows, OmniLightCastsTheBoxShadow) { CheckKind(R3D_LIGHT_OMNI); }

TEST_F(Shadows, EveryShadowedLightCastsItsOwnShadow) {
    // A box under each of two lights of different kinds, plus an unshadowed light: each
    // shadowed light's map and matrix must go with that light.
    Fill(boxInstances, {{{-3.0f, 3.0f, 0.0f}, {0, 0, 0, 1}, {1, 1, 1}, WHITE},
                        {{3.0f, 3.0f, 0.0f}, {0, 0, 0, 1}, {1, 1, 1}, WHITE}});
    const R3D_Light fill = R3D_CreateLight(R3D_LIGHT_DIR);  // no shadows, lights nothing below
    R3D_SetLightDirection(fill, {0.0f, 1.0f, 0.0f});
    R3D_SetLightActive(fill, true);
    R3D_Light lights[2];
    const float xs[2] = {-3.0f, 3.0f};
    const R3D_LightType kinds[2] = {R3D_LIGHT_OMNI, R3D_LIGHT_SPOT};
    for (int k = 0; k < 2; ++k) {
        lights[k] = R3D_CreateLight(kinds[k]);
        R3D_SetLightPosition(lights[k], {xs[k], 8.0f, 0.0f});
        R3D_SetLightDirection(lights[k], {0.0f, -1.0f, 0.0f});
        R3D_SetLightOuterCutOff(lights[k], 25.0f);
        R3D_SetLightInnerCutOff(lights[k], 20.0f);
        R3D_SetLightRange(lights[k], 12.0f);
        R3D_SetLightEnergy(lights[k], 9.0f);
        R3D_SetLightSpecular(lights[k], 0.0f);
        R3D_SetLightActive(lights[k], true);
        R3D_EnableShadow(lights[k]);
    }
    const Frame f = Draw(2);
    for (int k = 0; k < 2; ++k) {
        const double behind = f.Luma(ScreenOf({xs[k], 0.0f, 0.5f}, camera));
        const double open = f.Luma(ScreenOf({xs[k], 0.0f, 2.5f}, camera));
        EXPECT_GT(open, 150.0) << "light " << k;
        EXPECT_LT(behind, 0.4 * open) << "light " << k;
    }
    R3D_DestroyLight(fill);
    for (R3D_Light l : lights) R3D_DestroyLight(l);
}

TEST_F(Shadows, LitPlaneShowsNoAcneForAnyKind) {
    // With nothing to cast a shadow, the plane must look the same with shadows on as off:
    // any pixel darker with them on is shadow acne.
    for (R3D_LightType type : {R3D_LIGHT_DIR, R3D_LIGHT_SPOT, R3D_LIGHT_OMNI}) {
        MakeLight(type);
        R3D_SetLightEnergy(light, 0.6f * R3D_GetLightEnergy(light));  // below saturation, so acne would show
        MoveBox({50.0f, 3.0f, 0.0f});
        const Frame shadowed = Draw();
        R3D_DisableShadow(light);
        const Frame plain = Draw();
        int acne = 0, lit = 0;
        for (size_t i = 0; i < plain.pixels.size(); ++i) {
            const Color a = shadowed.pixels[i], b = plain.pixels[i];
            if (b.r > 60) ++lit;
            if (b.r - a.r > 10) ++acne;
        }
        EXPECT_GT(lit, static_cast<int>(plain.pixels.size() / 2)) << "light type " << type;
        EXPECT_LE(acne, 0) << "light type " << type;
        R3D_DestroyLight(light);
        light = 0;
        MoveBox({0.0f, 3.0f, 0.0f});
    }
}

TEST_F(Shadows, ManualModeRedrawsOnlyWhenAsked) {
    MakeLight(R3D_LIGHT_SPOT);
    R3D_SetShadowUpdateMode(light, R3D_SHADOW_UPDATE_MANUAL);
    ExpectShadowed(Draw());           // drawn once when shadows were switched on
    MoveBox({50.0f, 3.0f, 0.0f});     // the caster leaves...
    ExpectShadowed(Draw());           // ...but the map still holds it
    ExpectShadowed(Draw());
    R3D_UpdateShadowMap(light);
    ExpectUnshadowed(Draw());         // redrawn without it
    MoveBox({0.0f, 3.0f, 0.0f});
    ExpectUnshadowed(Draw());         // back, yet not in the map
    R3D_UpdateShadowMap(light);
    ExpectShadowed(Draw());
}

TEST_F(Shadows, RestartingTheRendererKeepsLightsAndRedrawsTheirMaps) {
    MakeLight(R3D_LIGHT_SPOT);
    R3D_SetShadowUpdateMode(light, R3D_SHADOW_UPDATE_MANUAL);
    ExpectShadowed(Draw());
    R3D_Close();  // shadow textures go...
    R3D_Init(GetScreenWidth(), GetScreenHeight());
    EXPECT_TRUE(R3D_IsShadowEnabled(light));
    EXPECT_EQ(R3D_GetShadowUpdateMode(light), R3D_SHADOW_UPDATE_MANUAL);
    ExpectShadowed(Draw());  // ...and come back, even in manual mode
}

TEST_F(Shadows, IntervalModeWaitsForItsFrequency) {
    MakeLight(R3D_LIGHT_OMNI);
    R3D_SetShadowUpdateMode(light, R3D_SHADOW_UPDATE_INTERVAL);
    R3D_SetShadowUpdateFrequency(light, 3600 * 1000);
    ExpectShadowed(Draw());
    MoveBox({50.0f, 3.0f, 0.0f});
    ExpectShadowed(Draw());           // an hour has not passed
    R3D_SetShadowUpdateFrequency(light, 0);
    ExpectUnshadowed(Draw());         // due at once
}

TEST_F(Shadows, ContinuousModeFollowsEveryFrame) {
    MakeLight(R3D_LIGHT_DIR);
    R3D_SetShadowUpdateMode(light, R3D_SHADOW_UPDATE_CONTINUOUS);
    ExpectShadowed(Draw());
    MoveBox({50.0f, 3.0f, 0.0f});
    ExpectUnshadowed(Draw());
    MoveBox({0.0f, 3.0f, 0.0f});
    ExpectShadowed(Draw());
}

TEST_F(Shadows, ContinuousModeFollowsTheLight) {
    MakeLight(R3D_LIGHT_DIR);
    ExpectShadowed(Draw());
    const Vector2 aside = ScreenOf({3.0f, 0.0f, 0.5f}, camera);
    EXPECT_GT(Draw().Luma(aside), 150.0);
    // Slanted sun: the box's shadow moves 2 to 4 units along +X.
    R3D_SetLightDirection(light, {1.0f, -1.0f, 0.0f});
    const Frame f = Draw();
    EXPECT_LT(f.Luma(aside), 60.0);
    EXPECT_GT(f.Luma(Behind()), 100.0);

    // A spot light moved sideways throws the shadow the other way.
    R3D_DestroyLight(light);
    MakeLight(R3D_LIGHT_SPOT);
    ExpectShadowed(Draw());
    R3D_SetLightPosition(light, {-4.0f, 8.0f, 0.0f});
    R3D_SetLightDirection(light, {0.4f, -1.0f, 0.0f});
    const Frame g = Draw();
    EXPECT_GT(g.Luma(Behind()), 100.0);
    EXPECT_LT(g.Luma(ScreenOf({2.5f, 0.0f, 0.5f}, camera)), 60.0);
}

TEST_F(Shadows, InstancesCastAndReceive) {
    // A second box above the first: its shadow falls on the first box's top face.
    MakeLight(R3D_LIGHT_DIR);
    Fill(boxInstances, {{{0.0f, 3.0f, 0.0f}, {0, 0, 0, 1}, {1, 1, 1}, WHITE},
                        {{0.0f, 7.0f, 0.0f}, {0, 0, 0, 1}, {0.5f, 0.5f, 0.5f}, WHITE}});
    const Vector2 top = ScreenOf({0.6f, 4.0f, 0.6f}, camera);      // outside the small box's shadow
    const Vector2 shaded = ScreenOf({0.0f, 4.0f, 0.35f}, camera);  // inside it
    Frame f = Draw(2);
    EXPECT_GT(f.Luma(top), 150.0);
    EXPECT_LT(f.Luma(shaded), 0.4 * f.Luma(top));
    f = Draw(1);  // without the small box
    EXPECT_GT(f.Luma(shaded), 150.0);
}

TEST_F(Shadows, DepthBiasMovesTheTestTowardsTheLight) {
    MakeLight(R3D_LIGHT_DIR);
    ExpectShadowed(Draw());
    // Thousands of texels of bias lift every receiver past the box: no shadow left.
    R3D_SetShadowDepthBias(light, 5000.0f);
    EXPECT_EQ(R3D_GetShadowDepthBias(light), 5000.0f);
    ExpectUnshadowed(Draw());
}

TEST_F(Shadows, SlopeBiasGrowsWithTheLightsSlant) {
    // Thousands of texels of slope bias lift a receiver lit at a slant past the box, but
    // leave one lit head-on where it is.
    MakeLight(R3D_LIGHT_DIR);
    R3D_SetShadowSlopeBias(light, 5000.0f);
    EXPECT_EQ(R3D_GetShadowSlopeBias(light), 5000.0f);
    ExpectShadowed(Draw());
    R3D_SetLightDirection(light, {1.0f, -1.0f, 0.0f});
    const Vector2 aside = ScreenOf({3.0f, 0.0f, 0.5f}, camera);  // in the slanted shadow
    EXPECT_GT(Draw().Luma(aside), 100.0);
    R3D_SetShadowSlopeBias(light, 1.0f);
    EXPECT_LT(Draw().Luma(aside), 60.0);
}

TEST_F(Shadows, SoftnessWidensThePenumbra) {
    MakeLight(R3D_LIGHT_SPOT);
    // Count the pixels part-way between shadow and light along a line across the edge.
    auto penumbra = [&](const Frame& f) {
        const double dark = f.Luma(Behind()), bright = f.Luma(Open());
        int between = 0;
        for (float x = 0.0f; x <= 3.0f; x += 0.01f) {
            const double l = f.Luma(ScreenOf({x, 0.0f, 0.5f}, camera), 0);
            if (l > dark + 0.15 * (bright - dark) && l < bright - 0.15 * (bright - dark)) ++between;
        }
        return between;
    };
    R3D_SetShadowSoftness(light, 0.0f);
    const int hard = penumbra(Draw());
    R3D_SetShadowSoftness(light, 8.0f);
    const int soft = penumbra(Draw());
    EXPECT_GT(soft, hard + 5);
}

}  // namespace
