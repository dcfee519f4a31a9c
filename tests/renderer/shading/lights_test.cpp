// Light records through the C API: defaults, every getter returning what its setter
// stored, switching, shadow settings, and handles of destroyed lights.
#include <gtest/gtest.h>

#include "r3d.h"

namespace {

TEST(Lights, NewLightIsInactiveWithDocumentedDefaults) {
    const R3D_Light light = R3D_CreateLight(R3D_LIGHT_SPOT);
    ASSERT_GT(light, 0);
    EXPECT_FALSE(R3D_IsLightActive(light));
    EXPECT_EQ(R3D_GetLightType(light), R3D_LIGHT_SPOT);
    const Color c = R3D_GetLightColor(light);
    EXPECT_EQ(ColorToInt(c), ColorToInt(WHITE));
    EXPECT_FLOAT_EQ(R3D_GetLightEnergy(light), 1.0f);
    EXPECT_FLOAT_EQ(R3D_GetLightAttenuation(light), 1.0f);
    EXPECT_GT(R3D_GetLightRange(light), 0.0f);
    EXPECT_LT(R3D_GetLightInnerCutOff(light), R3D_GetLightOuterCutOff(light));
    EXPECT_EQ(R3D_GetShadowUpdateMode(light), R3D_SHADOW_UPDATE_CONTINUOUS);
    const Vector3 p = R3D_GetLightPosition(light);
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_EQ(p.z, 0.0f);
    const Vector3 d = R3D_GetLightDirection(light);
    EXPECT_EQ(d.y, -1.0f);
    EXPECT_FALSE(R3D_IsShadowEnabled(light));
    R3D_DestroyLight(light);
}

TEST(Lights, EachKindReportsItsType) {
    for (R3D_LightType type : {R3D_LIGHT_DIR, R3D_LIGHT_SPOT, R3D_LIGHT_OMNI}) {
        const R3D_Light light = R3D_CreateLight(type);
        EXPECT_EQ(R3D_GetLightType(light), type);
        R3D_DestroyLight(light);
    }
}

TEST(Lights, GettersReturnWhatSettersStored) {
    const R3D_Light light = R3D_CreateLight(R3D_LIGHT_OMNI);
    R3D_SetLightColor(light, Color{255, 128, 0, 255});
    R3D_SetLightPosition(light, Vector3{1.0f, 2.0f, 3.0f});
    R3D_SetLightDirection(light, Vector3{0.0f, 0.0f, -2.0f});  // not normalised on the way in
    R3D_SetLightEnergy(light, 8.0f);
    R3D_SetLightSpecular(light, 0.0f);
    R3D_SetLightRange(light, 32.0f);
    R3D_SetLightAttenuation(light, 1.5f);
    R3D_SetLightInnerCutOff(light, 12.5f);
    R3D_SetLightOuterCutOff(light, 17.25f);

    const Color c = R3D_GetLightColor(light);
    EXPECT_EQ(c.r, 255);
    EXPECT_EQ(c.g, 128);
    EXPECT_EQ(c.b, 0);
    EXPECT_EQ(c.a, 255);
    const Vector3 p = R3D_GetLightPosition(light);
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.z, 3.0f);
    EXPECT_EQ(R3D_GetLightDirection(light).z, -2.0f);
    EXPECT_EQ(R3D_GetLightEnergy(light), 8.0f);
    EXPECT_EQ(R3D_GetLightSpecular(light), 0.0f);
    EXPECT_EQ(R3D_GetLightRange(light), 32.0f);
    EXPECT_EQ(R3D_GetLightAttenuation(light), 1.5f);
    EXPECT_EQ(R3D_GetLightInnerCutOff(light), 12.5f);
    EXPECT_EQ(R3D_GetLightOuterCutOff(light), 17.25f);
    R3D_DestroyLight(light);
}

TEST(Lights, SwitchingOnOffAndToggling) {
    const R3D_Light light = R3D_CreateLight(R3D_LIGHT_DIR);
    R3D_SetLightActive(light, true);
    EXPECT_TRUE(R3D_IsLightActive(light));
    R3D_SetLightActive(light, false);
    R3D_ToggleLight(light);
    EXPECT_TRUE(R3D_IsLightActive(light));
    R3D_ToggleLight(light);
    EXPECT_FALSE(R3D_IsLightActive(light));
    R3D_DestroyLight(light);
}

TEST(Lights, ShadowSettingsRoundTrip) {
    const R3D_Light light = R3D_CreateLight(R3D_LIGHT_SPOT);
    R3D_EnableShadow(light);
    EXPECT_TRUE(R3D_IsShadowEnabled(light));
    for (R3D_ShadowUpdateMode mode :
         {R3D_SHADOW_UPDATE_MANUAL, R3D_SHADOW_UPDATE_INTERVAL, R3D_SHADOW_UPDATE_CONTINUOUS}) {
        R3D_SetShadowUpdateMode(light, mode);
        EXPECT_EQ(R3D_GetShadowUpdateMode(light), mode);
    }
    R3D_SetShadowUpdateFrequency(light, 250);
    EXPECT_EQ(R3D_GetShadowUpdateFrequency(light), 250);
    R3D_SetShadowSoftness(light, 2.5f);
    EXPECT_EQ(R3D_GetShadowSoftness(light), 2.5f);
    R3D_SetShadowDepthBias(light, 0.0002f);
    EXPECT_EQ(R3D_GetShadowDepthBias(light), 0.0002f);
    R3D_SetShadowSlopeBias(light, 0.002f);
    EXPECT_EQ(R3D_GetShadowSlopeBias(light), 0.002f);
    R3D_DisableShadow(light);
    EXPECT_FALSE(R3D_IsShadowEnabled(light));
    R3D_DestroyLight(light);
}

TEST(Lights, UnknownModeIsRefusedAndKeepsTheOldOne) {
    const R3D_Light light = R3D_CreateLight(R3D_LIGHT_SPOT);
    R3D_SetShadowUpdateMode(light, R3D_SHADOW_UPDATE_INTERVAL);
    R3D_SetShadowUpdateMode(light, static_cast<R3D_ShadowUpdateMode>(7));
    EXPECT_EQ(R3D_GetShadowUpdateMode(light), R3D_SHADOW_UPDATE_INTERVAL);
    R3D_DestroyLight(light);
}

TEST(Lights, HandlesAreNeverReusedAndDeadOnesAreHarmless) {
    const R3D_Light first = R3D_CreateLight(R3D_LIGHT_OMNI);
    R3D_SetLightActive(first, true);
    R3D_DestroyLight(first);
    const R3D_Light second = R3D_CreateLight(R3D_LIGHT_OMNI);
    EXPECT_NE(second, first);
    EXPECT_FALSE(R3D_IsLightActive(second));
    // The dead handle changes nothing and reads as switched off.
    R3D_SetLightEnergy(first, 5.0f);
    R3D_ToggleLight(first);
    EXPECT_FALSE(R3D_IsLightActive(first));
    EXPECT_EQ(R3D_GetLightEnergy(second), 1.0f);
    EXPECT_FALSE(R3D_IsLightActive(0));
    EXPECT_FALSE(R3D_IsLightActive(-3));
    R3D_DestroyLight(second);
    R3D_DestroyLight(second);  // twice: a warning, nothing else
}

TEST(Lights, UnknownTypeMakesNoLight) {
    EXPECT_EQ(R3D_CreateLight(static_cast<R3D_LightType>(9)), 0);
}

}  // namespace
