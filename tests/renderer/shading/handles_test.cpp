// Handles kept after their object is gone: a destroyed light's handle and copies of an
// unloaded model and instance buffer are refused with a warning naming the call, and
// never reach the object that took their place, in a real window with real draws.
#include <gtest/gtest.h>

#include <string>

#include "ShadingScene.h"
#include "base/Log.h"
#include "raymath.h"

using namespace Shading;

namespace {

class StaleHandles : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OpenWindow(); }

    void SetUp() override {
        sun = R3D_CreateLight(R3D_LIGHT_DIR);
        R3D_SetLightActive(sun, true);
        R3D_SetLightSpecular(sun, 0.0f);
    }
    void TearDown() override { R3D_DestroyLight(sun); }

    static Vector2 Centre(const Camera3D& camera) { return ScreenOf({0.0f, 0.5f, 0.0f}, camera); }
    static bool IsSky(const Frame& f, Vector2 at) {
        const Color c = f.At(static_cast<int>(at.x), static_cast<int>(at.y)), sky = f.At(0, 0);
        return c.r == sky.r && c.g == sky.g && c.b == sky.b;
    }

    R3D_Light sun = 0;
};

TEST_F(StaleHandles, ACopyOfAnUnloadedModelIsRefusedByEveryCall) {
    R3D_Model first = LoadObj("stale_first", Box(0.5f), RED);
    ASSERT_EQ(first.meshCount, 1);
    const R3D_Model stale = first;
    R3D_UnloadModel(first, true);
    // Its slot is free again: the next model may take it, under another handle.
    R3D_Model second = LoadObj("stale_second", Box(0.5f), GREEN);
    ASSERT_EQ(second.meshCount, 1);
    EXPECT_NE(second.id, stale.id);
    R3D_InstanceBuffer one = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    const Camera3D camera = LookingDown(6.0f);
    const Ray down = {{0.0f, 5.0f, 0.0f}, {0.0f, -1.0f, 0.0f}};

    base::WarningCapture warnings;
    const Frame staleFrame = Render(camera, [&] { R3D_DrawModelInstanced(stale, one, 1); });
    EXPECT_EQ(R3D_GetFrameStats().camera.drawCalls, 0);
    EXPECT_TRUE(IsSky(staleFrame, Centre(camera)));
    EXPECT_FALSE(R3D_RaycastModel(down, stale, MatrixIdentity()).hit);
    EXPECT_FALSE(R3D_RaycastModelPose(down, stale, MatrixIdentity(), {-1, 0.0f, -1, 0.0f, 1.0f}).hit);
    EXPECT_EQ(R3D_GetModelTriangles(stale, nullptr, 0), 0);
    EXPECT_EQ(R3D_GetModelLodCount(stale), 0);
    EXPECT_EQ(R3D_GetModelAnimationCount(stale), 0);
    EXPECT_EQ(R3D_FindModelJoint(stale, "root"), -1);
    R3D_SetModelLod(stale, false);
    R3D_UnloadModel(stale, true);  // a second unload: refused, the second model stays
    const std::string handle = std::to_string(stale.id);
    for (const char* call : {"R3D_DrawModelInstanced", "R3D_RaycastModel", "R3D_RaycastModelPose", "R3D_GetModelTriangles",
                             "R3D_GetModelLodCount", "R3D_GetModelAnimationCount", "R3D_FindModelJoint", "R3D_SetModelLod",
                             "R3D_UnloadModel"}) {
        EXPECT_TRUE(warnings.Saw(std::string("R3D: ") + call + ": model " + handle + " was released"))
            << call << "\n" << warnings.Joined();
    }

    // The model in the freed slot is untouched by all of that.
    const size_t before = warnings.Lines().size();
    EXPECT_TRUE(R3D_IsModelLodEnabled(second));
    EXPECT_TRUE(R3D_RaycastModel(down, second, MatrixIdentity()).hit);
    const Frame secondFrame = Render(camera, [&] { R3D_DrawModelInstanced(second, one, 1); });
    EXPECT_GT(R3D_GetFrameStats().camera.drawCalls, 0);
    EXPECT_FALSE(IsSky(secondFrame, Centre(camera)));
    EXPECT_EQ(warnings.Lines().size(), before) << warnings.Joined();

    R3D_UnloadInstanceBuffer(one);
    R3D_UnloadModel(second, true);
}

TEST_F(StaleHandles, AModelOrBufferUnloadedWhileQueuedIsNotDrawn) {
    R3D_Model box = LoadObj("stale_queued", Box(0.5f));
    R3D_InstanceBuffer one = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    const Camera3D camera = LookingDown(6.0f);
    const Frame frame = Render(camera, [&] {
        R3D_DrawModelInstanced(box, one, 1);
        R3D_UnloadModel(box, true);  // the queued draw must not outlive the model's meshes
    });
    EXPECT_EQ(R3D_GetFrameStats().camera.drawCalls, 0);
    EXPECT_TRUE(IsSky(frame, Centre(camera)));

    box = LoadObj("stale_queued", Box(0.5f));
    Render(camera, [&] {
        R3D_DrawModelInstanced(box, one, 1);
        R3D_UnloadInstanceBuffer(one);
    });
    EXPECT_EQ(R3D_GetFrameStats().camera.drawCalls, 0);
    R3D_UnloadModel(box, true);
}

TEST_F(StaleHandles, ACopyOfAnUnloadedInstanceBufferIsRefused) {
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(4, R3D_INSTANCE_ALL);
    const R3D_InstanceBuffer stale = buffer;
    R3D_UnloadInstanceBuffer(buffer);
    R3D_InstanceBuffer next = R3D_LoadInstanceBuffer(4, R3D_INSTANCE_ALL);

    base::WarningCapture warnings;
    EXPECT_EQ(R3D_MapInstances(stale, R3D_INSTANCE_POSITION), nullptr);
    R3D_UnmapInstances(stale, R3D_INSTANCE_ALL);
    R3D_UnloadInstanceBuffer(stale);
    const std::string handle = std::to_string(stale.id);
    for (const char* call : {"R3D_MapInstances", "R3D_UnmapInstances", "R3D_UnloadInstanceBuffer"}) {
        EXPECT_TRUE(warnings.Saw(std::string("R3D: ") + call + ": instance buffer " + handle + " was released"))
            << call << "\n" << warnings.Joined();
    }
    EXPECT_NE(R3D_MapInstances(next, R3D_INSTANCE_POSITION), nullptr);
    R3D_UnloadInstanceBuffer(next);
}

TEST_F(StaleHandles, ADestroyedLightsHandleIsRefusedAndLightsNothing) {
    R3D_Model plane = LoadObj("stale_plane", Plane(4.0f));
    R3D_InstanceBuffer one = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    const Camera3D camera = LookingDown(6.0f);
    const Vector2 middle = ScreenOf({0.0f, 0.0f, 0.0f}, camera);
    R3D_SetLightActive(sun, false);
    const double dark = Render(camera, [&] { R3D_DrawModelInstanced(plane, one, 1); }).Luma(middle);

    const R3D_Light lamp = R3D_CreateLight(R3D_LIGHT_DIR);
    R3D_DestroyLight(lamp);
    const R3D_Light next = R3D_CreateLight(R3D_LIGHT_DIR);  // may take the destroyed light's slot
    ASSERT_GT(next, 0);
    EXPECT_NE(next, lamp);

    base::WarningCapture warnings;
    R3D_SetLightActive(lamp, true);
    R3D_ToggleLight(lamp);
    R3D_SetLightEnergy(lamp, 5.0f);
    R3D_EnableShadow(lamp);
    EXPECT_FALSE(R3D_IsLightActive(lamp));
    R3D_DestroyLight(lamp);
    const std::string handle = std::to_string(lamp);
    for (const char* call : {"R3D_SetLightActive", "R3D_ToggleLight", "R3D_SetLightEnergy", "R3D_EnableShadow",
                             "R3D_IsLightActive", "R3D_DestroyLight"}) {
        EXPECT_TRUE(warnings.Saw(std::string("R3D: ") + call + ": light " + handle + " was released"))
            << call << "\n" << warnings.Joined();
    }
    // None of it reached the light in the freed slot: still off, energy 1, no shadow; the
    // plane stays as dark as with no light at all.
    EXPECT_FALSE(R3D_IsLightActive(next));
    EXPECT_EQ(R3D_GetLightEnergy(next), 1.0f);
    EXPECT_FALSE(R3D_IsShadowEnabled(next));
    EXPECT_NEAR(Render(camera, [&] { R3D_DrawModelInstanced(plane, one, 1); }).Luma(middle), dark, 1.0);
    // Switched on, the new light does light it.
    R3D_SetLightActive(next, true);
    EXPECT_GT(Render(camera, [&] { R3D_DrawModelInstanced(plane, one, 1); }).Luma(middle), dark + 20.0);

    R3D_DestroyLight(next);
    R3D_UnloadInstanceBuffer(one);
    R3D_UnloadModel(plane, true);
}

}  // namespace
