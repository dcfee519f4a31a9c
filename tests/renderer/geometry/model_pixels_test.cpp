// Model files all the way to the screen: meshes placed by their nodes, materials and
// texture orientation seen in real pixels, and ray tests hitting what is drawn.
// (Runs in renderer_geometry_gl_tests, whose environment opens the window.)
#include <gtest/gtest.h>

#include <cstdlib>

#include "ScreenFiles.h"
#include "TestModels.h"
#include "r3d.h"
#include "raymath.h"

using TestModels::Shape;

namespace {

// Looking straight down at the origin from 10 units up; screen up is -Z.
Camera3D TopCamera() {
    Camera3D camera{};
    camera.position = {0.0f, 10.0f, 0.0f};
    camera.target = {0.0f, 0.0f, 0.0f};
    camera.up = {0.0f, 0.0f, -1.0f};
    camera.fovy = 45.0f;
    camera.projection = CAMERA_PERSPECTIVE;
    return camera;
}

// Draws the model once at the origin under a white light from above and returns the frame.
Image RenderFromAbove(R3D_Model model) {
    R3D_Init(GetScreenWidth(), GetScreenHeight());
    R3D_Light sun = R3D_CreateLight(R3D_LIGHT_DIR);
    R3D_SetLightDirection(sun, {0.0f, -1.0f, 0.0f});
    R3D_SetLightColor(sun, WHITE);
    R3D_SetLightSpecular(sun, 0.0f);  // a highlight straight back at the camera would wash colours out
    R3D_SetLightEnergy(sun, 0.6f);
    R3D_SetLightActive(sun, true);
    R3D_InstanceBuffer one = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);  // default slot: origin, white

    Image frame{};
    for (int i = 0; i < 2; i++) {  // the second frame is read, after any first-frame set-up
        BeginDrawing();
        R3D_Begin(TopCamera());
        R3D_DrawModelInstanced(model, one, 1);
        R3D_End();
        if (i == 1) frame = LoadImageFromScreen();
        EndDrawing();
    }
    R3D_UnloadInstanceBuffer(one);
    R3D_DestroyLight(sun);
    return frame;
}

Color Pixel(const Image& image, float fx, float fy) {
    return GetImageColor(image, static_cast<int>(fx * image.width), static_cast<int>(fy * image.height));
}

TEST(ModelPixels, TextureTopRowLandsWhereTheFileMapsIt) {
    // Image: top half red, bottom half blue. The plane's v runs from 0 at z = -4 (screen
    // top) to 1 at z = +4; OBJ's v = 1 is the image's top row, so red belongs at the
    // bottom of the screen and blue at the top.
    std::string dir = TestModels::TempDir("pixels-texture");
    Image image = GenImageColor(8, 8, Color{0, 0, 255, 255});
    ImageDrawRectangle(&image, 0, 0, 8, 4, Color{255, 0, 0, 255});
    ASSERT_TRUE(ExportImage(image, (dir + "/halves.png").c_str()));
    UnloadImage(image);

    Shape plane = TestModels::Terrain(4, 4, 8.0f, 0.0f);
    plane.texturePath = "halves.png";
    std::string path = dir + "/plane.obj";
    ASSERT_EQ(TestModels::Export({plane}, "obj", path), "");
    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_OPTIMIZE);
    ASSERT_EQ(model.meshCount, 1);

    Image frame = RenderFromAbove(model);
    ASSERT_NE(frame.data, nullptr);
    Color top = Pixel(frame, 0.5f, 0.3f);
    Color bottom = Pixel(frame, 0.5f, 0.7f);
    EXPECT_GT(bottom.r, bottom.b + 60) << "bottom " << int(bottom.r) << "," << int(bottom.g) << "," << int(bottom.b);
    EXPECT_GT(top.b, top.r + 60) << "top " << int(top.r) << "," << int(top.g) << "," << int(top.b);
    UnloadImage(frame);
    R3D_UnloadModel(model, true);
}

// Every image format artists hand over, as a file beside the model and stored
// inside it: the texture is decoded and lands the right way up (red top half
// of the image at the bottom of the screen, as above).
class TextureFormats : public testing::TestWithParam<std::tuple<const char*, bool>> {};

TEST_P(TextureFormats, DecodeAndLandWhereTheFileMapsThem) {
    const std::string format = std::get<0>(GetParam());
    const bool embedded = std::get<1>(GetParam());
    std::string dir = TestModels::TempDir("pixels-format");
    std::vector<unsigned char> rgba(16 * 16 * 4);
    for (int i = 0; i < 16 * 16; ++i) {
        const bool top = i < 16 * 8;
        rgba[i * 4 + 0] = top ? 255 : 0, rgba[i * 4 + 1] = 0, rgba[i * 4 + 2] = top ? 0 : 255, rgba[i * 4 + 3] = 255;
    }
    std::string file = dir + "/halves." + (format == "progressive" ? "jpg" : format);
    if (format == "progressive") {
        ASSERT_TRUE(ScreenFiles::WriteImage(dir + "/halves.png", 16, 16, rgba));
        ASSERT_EQ(std::system(("convert '" + dir + "/halves.png' -interlace JPEG '" + file + "'").c_str()), 0);
    } else {
        ASSERT_TRUE(ScreenFiles::WriteImage(file, 16, 16, rgba));
    }

    Shape plane = TestModels::Terrain(4, 4, 8.0f, 0.0f);
    plane.texturePath = embedded ? file : file.substr(dir.size() + 1);
    plane.embedTexture = embedded;
    const std::string path = dir + (embedded ? "/plane.glb" : "/plane.obj");
    ASSERT_EQ(TestModels::Export({plane}, embedded ? "glb2" : "obj", path), "");
    if (embedded) std::remove(file.c_str());  // only the copy inside the model remains
    testing::internal::CaptureStderr();
    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_OPTIMIZE);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(model.meshCount, 1);
    EXPECT_EQ(err.find("could not be read"), std::string::npos) << err;

    Image frame = RenderFromAbove(model);
    ASSERT_NE(frame.data, nullptr);
    const Color top = Pixel(frame, 0.5f, 0.3f), bottom = Pixel(frame, 0.5f, 0.7f);
    EXPECT_GT(bottom.r, bottom.b + 60) << int(bottom.r) << "," << int(bottom.g) << "," << int(bottom.b);
    EXPECT_GT(top.b, top.r + 60) << int(top.r) << "," << int(top.g) << "," << int(top.b);
    UnloadImage(frame);
    R3D_UnloadModel(model, true);
}

INSTANTIATE_TEST_SUITE_P(Images, TextureFormats,
                         testing::Combine(testing::Values("png", "jpg", "progressive", "tga", "bmp"), testing::Bool()),
                         [](const testing::TestParamInfo<TextureFormats::ParamType>& info) {
                             return std::string(std::get<0>(info.param)) + (std::get<1>(info.param) ? "_embedded" : "_file");
                         });

TEST(ModelPixels, MeshesAppearWhereTheirNodesPutThemAndRaysHitThem) {
    Shape left = TestModels::Cube(1.0f);
    left.color = {230, 20, 20, 255};
    left.nodeTransform = MatrixTranslate(-2.0f, 0.0f, 0.0f);
    Shape right = TestModels::Cube(1.0f);
    right.color = {20, 230, 20, 255};
    right.nodeTransform = MatrixTranslate(2.0f, 0.0f, 0.0f);
    std::string path = TestModels::TempDir("pixels-nodes") + "/two.fbx";
    ASSERT_EQ(TestModels::Export({left, right}, "fbxa", path), "");
    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_OPTIMIZE);
    ASSERT_EQ(model.meshCount, 2);

    Image frame = RenderFromAbove(model);
    ASSERT_NE(frame.data, nullptr);
    // x = -2 and +2 at the cubes' tops (y = 1, 9 units from the camera) fall near 30% and 70%.
    Color red = Pixel(frame, 0.3f, 0.5f);
    Color green = Pixel(frame, 0.7f, 0.5f);
    Color middle = Pixel(frame, 0.5f, 0.5f);
    EXPECT_GT(red.r, red.g + 60) << int(red.r) << "," << int(red.g) << "," << int(red.b);
    EXPECT_GT(green.g, green.r + 60) << int(green.r) << "," << int(green.g) << "," << int(green.b);
    EXPECT_LT(std::abs(middle.r - middle.g), 30) << "the gap between the cubes is covered: " << int(middle.r) << ","
                                                 << int(middle.g) << "," << int(middle.b);

    // A ray through those pixels hits the cube seen there, on its top face.
    Camera3D camera = TopCamera();
    Ray throughRed = GetScreenToWorldRay({0.3f * GetScreenWidth(), 0.5f * GetScreenHeight()}, camera);
    RayCollision hit = R3D_RaycastModel(throughRed, model, MatrixIdentity());
    ASSERT_TRUE(hit.hit);
    EXPECT_NEAR(hit.point.y, 1.0f, 1e-3f);
    EXPECT_LT(hit.point.x, -1.0f);
    EXPECT_GT(hit.point.x, -3.0f);
    Ray throughGap = GetScreenToWorldRay({0.5f * GetScreenWidth(), 0.5f * GetScreenHeight()}, camera);
    EXPECT_FALSE(R3D_RaycastModel(throughGap, model, MatrixIdentity()).hit);

    UnloadImage(frame);
    R3D_UnloadModel(model, true);
}

}  // namespace
