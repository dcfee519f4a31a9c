// The sample level as the walker sees it, its flashlight shadowed, against frames the
// renderer drew before its scene shader was built per set of lights: the picture must
// stay while the shading gets cheaper. VANTOR_WRITE_GOLDEN=1 writes the frames instead.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ShadingScene.h"
#include "raymath.h"

using namespace Shading;

TEST(LevelPicture, TheWalkersViewStaysAsItWas) {
    OpenWindow(1280, 800);
    R3D_Model level = R3D_LoadModelEx(VANTOR_LEVEL, R3D_IMPORT_OPTIMIZE);
    ASSERT_GT(level.meshCount, 0);
    R3D_InstanceBuffer one = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    Fill(one, {Instance{}});
    // The walker's flashlight, as its game sets it up, in its hand at its eye.
    const R3D_Light flashlight = R3D_CreateLight(R3D_LIGHT_SPOT);
    R3D_SetLightRange(flashlight, 32.0f);
    R3D_SetLightSpecular(flashlight, 0.0f);
    R3D_SetLightEnergy(flashlight, 8.0f);
    R3D_SetLightColor(flashlight, Color{255, 255, 221, 255});
    R3D_SetShadowUpdateMode(flashlight, R3D_SHADOW_UPDATE_CONTINUOUS);
    R3D_EnableShadow(flashlight);
    R3D_SetLightActive(flashlight, true);
    Camera3D camera{};
    camera.position = {-2.0f, 0.6f, -5.0f};
    camera.up = {0.0f, 1.0f, 0.0f};
    camera.fovy = 70.0f;
    camera.projection = CAMERA_PERSPECTIVE;

    const bool write = std::getenv("VANTOR_WRITE_GOLDEN") != nullptr;
    for (float yaw : {0.0f, 0.3f}) {
        const Vector3 look = Vector3Normalize({std::sin(yaw), -0.2f, std::cos(yaw)});
        camera.target = Vector3Add(camera.position, look);
        R3D_SetLightPosition(flashlight, camera.position);
        R3D_SetLightDirection(flashlight, look);
        const Frame frame = Render(camera, [&] { R3D_DrawModelInstanced(level, one, 1); });
        const std::string golden = std::string(VANTOR_GOLDEN_DIR) + TextFormat("/level_yaw%.1f.png", yaw);
        if (write) {
            Image image{const_cast<Color*>(frame.pixels.data()), frame.width, frame.height, 1, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8};
            ASSERT_TRUE(ExportImage(image, golden.c_str()));
            continue;
        }
        Image expected = LoadImage(golden.c_str());
        ASSERT_NE(expected.data, nullptr) << golden;
        ImageFormat(&expected, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8);
        ASSERT_EQ(expected.width, frame.width);
        ASSERT_EQ(expected.height, frame.height);
        const auto* want = static_cast<const Color*>(expected.data);
        int differing = 0, lit = 0;
        for (size_t i = 0; i < frame.pixels.size(); ++i) {
            const Color a = frame.pixels[i], b = want[i];
            const int d = std::max(std::abs(a.r - b.r), std::max(std::abs(a.g - b.g), std::abs(a.b - b.b)));
            differing += d > 16 ? 1 : 0;
            lit += (b.r + b.g + b.b) > 3 * 60 ? 1 : 0;
        }
        UnloadImage(expected);
        std::printf("yaw %.1f: %d of %zu pixels differ by more than 16\n", yaw, differing, frame.pixels.size());
        EXPECT_GT(lit, static_cast<int>(frame.pixels.size() / 20)) << "the reference shows the flashlight's pool";
        EXPECT_LE(differing, static_cast<int>(frame.pixels.size() / 200)) << "yaw " << yaw << ": " << differing << " pixels differ";
    }
    R3D_DestroyLight(flashlight);
    R3D_UnloadInstanceBuffer(one);
    R3D_UnloadModel(level, true);
}
