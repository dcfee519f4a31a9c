// Textures named the way other machines' tools name them, found where they
// really are, seen in the picture read back from the window.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "ShadingScene.h"

using namespace Shading;

namespace {

void WriteTexture(const std::string& path, Color color) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    Image image = GenImageColor(4, 4, color);
    ASSERT_TRUE(ExportImage(image, path.c_str())) << path;
    UnloadImage(image);
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
    return n;
}

}  // namespace

TEST(Textures, BackslashesWrongCaseAndAnotherDisksPathAreFoundAndAMissingOneLeavesTheColour) {
    OpenWindow();
    const std::string dir = TempFolder() + "/made-elsewhere";
    WriteTexture(dir + "/sub/red.png", {255, 0, 0, 255});          // named ".\sub\red.png"
    WriteTexture(dir + "/Green.png", {0, 255, 0, 255});          // named "GREEN.PNG"
    WriteTexture(dir + "/maps/deep/blue.png", {0, 0, 255, 255});  // named "D:\projects\art\blue.png"

    // Four quads in a row, seen from above, each with a material of its own;
    // the textured ones are white without their texture, the last is yellow.
    FILE* f = std::fopen((dir + "/quads.mtl").c_str(), "w");
    std::fprintf(f,
                 "newmtl a\nKd 1 1 1\nmap_Kd .\\sub\\red.png\n"
                 "newmtl b\nKd 1 1 1\nmap_Kd GREEN.PNG\n"
                 "newmtl c\nKd 1 1 1\nmap_Kd D:\\projects\\art\\blue.png\n"
                 "newmtl d\nKd 1 1 0\nmap_Kd nowhere\\missing.png\n");
    std::fclose(f);
    f = std::fopen((dir + "/quads.obj").c_str(), "w");
    std::fprintf(f, "mtllib quads.mtl\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 1 0\n");
    const char* materials = "abcd";
    for (int q = 0; q < 4; q++) {
        const float x0 = -3.8f + 2.0f * q, x1 = x0 + 1.6f;
        std::fprintf(f, "v %f 0 0.8\nv %f 0 0.8\nv %f 0 -0.8\nv %f 0 -0.8\n", x0, x1, x1, x0);
        std::fprintf(f, "usemtl %c\nf %d/1/1 %d/2/1 %d/3/1 %d/4/1\n", materials[q], 4 * q + 1, 4 * q + 2, 4 * q + 3,
                     4 * q + 4);
    }
    std::fclose(f);

    testing::internal::CaptureStderr();
    R3D_Model model = R3D_LoadModelEx((dir + "/quads.obj").c_str(), R3D_IMPORT_DEFAULT);
    const std::string warnings = testing::internal::GetCapturedStderr();
    ASSERT_GT(model.meshCount, 0);
    EXPECT_EQ(Count(warnings, "WARNING"), 1) << warnings;
    EXPECT_EQ(Count(warnings, "texture \"nowhere\\missing.png\" not found"), 1) << warnings;
    EXPECT_NE(warnings.find("quads.obj"), std::string::npos) << "the warning names the model: " << warnings;

    R3D_InstanceBuffer instances = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    Fill(instances, {Instance{}});
    R3D_Light sun = R3D_CreateLight(R3D_LIGHT_DIR);
    R3D_SetLightDirection(sun, {0.0f, -1.0f, 0.0f});
    R3D_SetLightSpecular(sun, 0.0f);
    R3D_SetLightEnergy(sun, 1.5f);
    R3D_SetLightActive(sun, true);
    const Camera3D camera = LookingDown(10.0f);
    const Frame frame = Render(camera, [&] { R3D_DrawModelInstanced(model, instances, 1); });
    R3D_DestroyLight(sun);
    R3D_UnloadInstanceBuffer(instances);
    R3D_UnloadModel(model, true);

    struct Expect {
        const char* what;
        int strong[2];  // channels well lit
        int weak;       // channel that stays dark
    } expect[] = {{"red", {0, 0}, 2}, {"green", {1, 1}, 0}, {"blue", {2, 2}, 0}, {"yellow colour", {0, 1}, 2}};
    for (int q = 0; q < 4; q++) {
        SCOPED_TRACE(expect[q].what);
        const Vector2 at = ScreenOf({-3.0f + 2.0f * q, 0.0f, 0.0f}, camera);
        for (int channel : expect[q].strong) EXPECT_GT(frame.Mean(at, 3, channel), 90.0);
        EXPECT_LT(frame.Mean(at, 3, expect[q].weak), 40.0);
    }
}
