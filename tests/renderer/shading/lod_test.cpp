// Levels of detail and mirrored instances, read back from a real window of the engine's
// size (1280x800): the frame benchmark's field of spheres looks the same with levels of
// detail on and off, far instances draw coarser levels than near ones (and shadow maps
// their own), a textured sphere simplifies as well as a plain one, and an instance whose
// scale mirrors it is lit in the camera and casts into a shadow map.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ShadingScene.h"
#include "internal.h"  // Required for: R3D_MeshData, the levels' errors and texture coordinates
#include "raymath.h"

using namespace Shading;

namespace {

// The levels (indices) that drew anything in a view's statistics.
std::vector<int> LevelsUsed(const R3D_ViewStats& stats) {
    std::vector<int> levels;
    for (int k = 0; k < R3D_MAX_LOD_LEVELS; ++k) {
        if (stats.levelInstances[k] > 0) levels.push_back(k);
    }
    return levels;
}

class Lod : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OpenWindow(1280, 800); }

    void SetUp() override {
        sphere = LoadObj("sphere", Sphere(20, 25, 0.4f), WHITE, "", R3D_IMPORT_OPTIMIZE);  // 1,000 triangles
        ground = LoadObj("ground", Plane(40.0f));
        groundInstances = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
        Fill(groundInstances, {Instance{}});
        camera.position = {0.0f, 14.0f, 26.0f};
        camera.target = {0.0f, 0.0f, 2.0f};
        camera.up = {0.0f, 1.0f, 0.0f};
        camera.fovy = 60.0f;
        camera.projection = CAMERA_PERSPECTIVE;
        spot = R3D_CreateLight(R3D_LIGHT_SPOT);
        R3D_SetLightPosition(spot, {0.0f, 20.0f, 0.0f});
        R3D_SetLightDirection(spot, {0.0f, -1.0f, 0.0f});
        R3D_SetLightRange(spot, 60.0f);
        R3D_SetLightInnerCutOff(spot, 45.0f);
        R3D_SetLightOuterCutOff(spot, 55.0f);
        R3D_SetLightEnergy(spot, 24.0f);
        R3D_SetLightActive(spot, true);
        R3D_EnableShadow(spot);
    }

    void TearDown() override {
        R3D_DestroyLight(spot);
        R3D_UnloadInstanceBuffer(groundInstances);
        R3D_UnloadModel(sphere, true);
        R3D_UnloadModel(ground, true);
    }

    R3D_Model sphere{}, ground{};
    R3D_InstanceBuffer groundInstances{};
    Camera3D camera{};
    R3D_Light spot = 0;
};

TEST_F(Lod, SphereGetsAChainOfEverCoarserLevels) {
    const int levels = R3D_GetModelLodCount(sphere);
    ASSERT_GE(levels, 4);
    ASSERT_LE(levels, R3D_MAX_LOD_LEVELS);
    EXPECT_EQ(R3D_GetModelLodTriangles(sphere, 0), sphere.triangleCount);
    for (int k = 1; k < levels; ++k) {
        const int finer = R3D_GetModelLodTriangles(sphere, k - 1), coarser = R3D_GetModelLodTriangles(sphere, k);
        EXPECT_GT(coarser, 0) << "level " << k;
        EXPECT_LE(coarser, finer * 3 / 4) << "level " << k << " does not pay";
    }
    EXPECT_EQ(R3D_GetModelLodCount(ground), 1);  // two triangles: nothing to simplify
    EXPECT_TRUE(R3D_IsModelLodEnabled(sphere));   // on by default
}

TEST_F(Lod, TexturedSphereSimplifiesAsWellAsAPlainOne) {
    // Texture coordinates split the seam and give each pole 26 copies, as a UV sphere comes
    // from a modelling tool; its levels must stray no further than the plain sphere's, and
    // no coarse triangle may stretch across the texture.
    ObjMesh mesh = Sphere(20, 25, 0.4f);
    for (int r = 0; r <= 20; ++r) {
        for (int s = 0; s <= 25; ++s) mesh.texcoords.push_back({s / 25.0f, r / 20.0f});
    }
    R3D_Model textured = LoadObj("textured_sphere", mesh, WHITE, "", R3D_IMPORT_OPTIMIZE);
    const R3D_MeshData& plain = r3d::FindModelData(sphere)->meshes.at(0);
    const R3D_MeshData& uv = r3d::FindModelData(textured)->meshes.at(0);
    ASSERT_GT(uv.positions.size(), plain.positions.size());  // the seam and the poles are split
    ASSERT_GE(uv.lods.size(), plain.lods.size() - 1);
    for (size_t k = 1; k < uv.lods.size() && k < plain.lods.size(); ++k) {
        EXPECT_LE(uv.lods[k].indexCount, plain.lods[k].indexCount * 11 / 10) << "level " << k;
        EXPECT_LE(uv.lods[k].error, plain.lods[k].error * 1.15f) << "level " << k;
    }
    // Coarse levels draw copies of vertices: index n past the mesh's own names lodVertices[n - own].
    auto texcoord = [&](uint32_t v) {
        return uv.texcoords[v < uv.texcoords.size() ? v : uv.lodVertices[v - uv.texcoords.size()]];
    };
    float widest = 0.0f;
    for (size_t t = 0; t + 2 < uv.lodIndices.size(); t += 3) {
        const Vector2 a = texcoord(uv.lodIndices[t]), b = texcoord(uv.lodIndices[t + 1]), c = texcoord(uv.lodIndices[t + 2]);
        widest = std::max({widest, std::fabs(a.x - b.x), std::fabs(b.x - c.x), std::fabs(c.x - a.x)});
    }
    EXPECT_LT(widest, 0.5f);
    R3D_UnloadModel(textured, true);
}

TEST_F(Lod, PictureIsTheSameWithLevelsOfDetailOnAndOff) {
    // The frame benchmark's scene: 100 x 100 spheres, most a few pixels wide, under a
    // shadowed spot light.
    constexpr int kCount = 10000;
    R3D_InstanceBuffer spheres = R3D_LoadInstanceBuffer(kCount, R3D_INSTANCE_ALL);
    std::vector<Instance> grid = SphereField(kCount);
    Fill(spheres, grid);
    Fill(groundInstances, {{{0.0f, 0.0f, 0.0f}, {0, 0, 0, 1}, {1.5f, 1.0f, 1.5f}, WHITE}});
    camera.position = {0.0f, 55.0f, 65.0f};
    camera.target = {0.0f, 0.0f, 0.0f};
    R3D_SetLightPosition(spot, {0.0f, 40.0f, 0.0f});
    R3D_SetLightRange(spot, 100.0f);
    R3D_SetLightInnerCutOff(spot, 40.0f);
    R3D_SetLightOuterCutOff(spot, 50.0f);
    R3D_SetLightEnergy(spot, 48.0f);
    auto draw = [&] {
        R3D_DrawModelInstanced(ground, groundInstances, 1);
        R3D_DrawModelInstanced(sphere, spheres, kCount);
    };

    R3D_SetModelLod(sphere, false);
    EXPECT_FALSE(R3D_IsModelLodEnabled(sphere));
    const Frame full = Render(camera, draw);
    const R3D_FrameStats withoutLod = R3D_GetFrameStats();
    EXPECT_EQ(LevelsUsed(withoutLod.camera), std::vector<int>{0});
    EXPECT_EQ(LevelsUsed(withoutLod.shadows), std::vector<int>{0});
    R3D_SetModelLod(sphere, true);

    // Pixels differing by more than 16/255 in a channel from the full-detail frame.
    auto differing = [&](const Frame& f) {
        int n = 0;
        for (size_t i = 0; i < full.pixels.size(); ++i) {
            const Color a = f.pixels[i], b = full.pixels[i];
            if (std::abs(a.r - b.r) > 16 || std::abs(a.g - b.g) > 16 || std::abs(a.b - b.b) > 16) ++n;
        }
        return n;
    };
    int spherePixels = 0;  // tinted: a sphere, not the white ground
    for (const Color& c : full.pixels) spherePixels += std::abs(c.r - c.b) > 8 || std::abs(c.g - c.b) > 8;
    EXPECT_GT(spherePixels, static_cast<int>(full.pixels.size() / 8));
    const int pixels = static_cast<int>(full.pixels.size());

    // Within a pixel (the default): a fraction of the triangles; silhouettes of the
    // smallest spheres flip some edge pixels (twice as many if the coarse levels were
    // not moved to straddle the surface).
    ASSERT_EQ(R3D_GetLodPixelError(), 1.0f);
    const Frame coarse = Render(camera, draw);
    const R3D_FrameStats coarseStats = R3D_GetFrameStats();
    EXPECT_EQ(coarseStats.camera.instances, withoutLod.camera.instances);
    EXPECT_LT(coarseStats.camera.triangles * 8, withoutLod.camera.triangles);
    EXPECT_LT(coarseStats.shadows.triangles * 8, withoutLod.shadows.triangles);
    const int coarseDiffering = differing(coarse);
    EXPECT_LE(coarseDiffering, pixels * 35 / 1000);

    // Within 0.15 pixels: the picture as good as unchanged, still well under the triangles.
    R3D_SetLodPixelError(0.15f);
    const Frame fine = Render(camera, draw);
    const R3D_FrameStats fineStats = R3D_GetFrameStats();
    R3D_SetLodPixelError(1.0f);
    EXPECT_LT(fineStats.camera.triangles * 2, withoutLod.camera.triangles);
    EXPECT_LT(fineStats.shadows.triangles * 3, withoutLod.shadows.triangles * 2);
    const int fineDiffering = differing(fine);
    EXPECT_LE(fineDiffering, pixels / 200);
    std::printf("pixels differing from full detail: %.2f%% within 1 pixel, %.2f%% within 0.15 pixels\n",
                100.0 * coarseDiffering / pixels, 100.0 * fineDiffering / pixels);
    R3D_UnloadInstanceBuffer(spheres);
}

TEST_F(Lod, FarInstancesDrawCoarserLevelsThanNearOnes) {
    R3D_InstanceBuffer one = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    // The levels the camera and the shadow map draw a lone sphere at `at` with (-1: not drawn).
    auto levelsAt = [&](Vector3 at) {
        Fill(one, {{at, {0, 0, 0, 1}, {1, 1, 1}, WHITE}});
        Render(camera, [&] { R3D_DrawModelInstanced(sphere, one, 1); });
        const R3D_FrameStats stats = R3D_GetFrameStats();
        const std::vector<int> camera = LevelsUsed(stats.camera), shadow = LevelsUsed(stats.shadows);
        EXPECT_LE(camera.size(), 1u);
        EXPECT_LE(shadow.size(), 1u);
        return std::make_pair(camera.empty() ? -1 : camera[0], shadow.empty() ? -1 : shadow[0]);
    };
    const Vector3 dir = Vector3Normalize(Vector3Subtract(camera.target, camera.position));
    const auto near = levelsAt(Vector3Add(camera.position, Vector3Scale(dir, 2.0f)));
    const auto middle = levelsAt(Vector3Add(camera.position, Vector3Scale(dir, 12.0f)));
    const auto far = levelsAt(Vector3Add(camera.position, Vector3Scale(dir, 60.0f)));
    const auto farthest = levelsAt(Vector3Add(camera.position, Vector3Scale(dir, 300.0f)));
    EXPECT_EQ(near.first, 0);
    EXPECT_GT(middle.first, near.first);
    EXPECT_GT(far.first, middle.first);
    EXPECT_EQ(farthest.first, R3D_GetModelLodCount(sphere) - 1);

    // The shadow map chooses by its own view: under the light, a sphere 5 below it draws a
    // finer level into the map than one on the ground.
    const auto high = levelsAt({0.0f, 15.0f, 0.0f}), low = levelsAt({0.0f, 0.4f, 0.0f});
    EXPECT_GE(high.second, 0);
    EXPECT_GT(low.second, high.second);
    R3D_UnloadInstanceBuffer(one);
}

TEST_F(Lod, MirroredInstanceIsLitAndCastsItsShadow) {
    // A red square mirrored along X, 3 above the ground, lit from straight above.
    R3D_Model square = LoadObj("square", Plane(1.0f));
    R3D_InstanceBuffer squares = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    Fill(squares, {{{0.0f, 3.0f, 0.0f}, {0, 0, 0, 1}, {-1.0f, 1.0f, 1.0f}, Color{255, 0, 0, 255}}});
    R3D_SetLightActive(spot, false);
    const R3D_Light sun = R3D_CreateLight(R3D_LIGHT_DIR);
    R3D_SetLightDirection(sun, {0.0f, -1.0f, 0.0f});
    R3D_SetLightSpecular(sun, 0.0f);
    R3D_SetLightActive(sun, true);
    R3D_EnableShadow(sun);
    camera.position = {0.0f, 10.0f, 8.0f};
    camera.target = {0.0f, 0.0f, 0.0f};

    const Frame f = Render(camera, [&] {
        R3D_DrawModelInstanced(ground, groundInstances, 1);
        R3D_DrawModelInstanced(square, squares, 1);
    });
    const Vector2 top = ScreenOf({0.0f, 3.0f, 0.0f}, camera);
    EXPECT_GT(f.Mean(top, 2, 0), 180.0);  // its upper face, lit, not culled away
    EXPECT_LT(f.Mean(top, 2, 1), 40.0);
    const double open = f.Luma(ScreenOf({3.0f, 0.0f, 0.5f}, camera));
    const double behind = f.Luma(ScreenOf({0.0f, 0.0f, 0.5f}, camera));
    EXPECT_GT(open, 150.0);
    EXPECT_LT(behind, 0.4 * open);  // it is in the shadow map too

    R3D_DestroyLight(sun);
    R3D_SetLightActive(spot, true);
    R3D_UnloadInstanceBuffer(squares);
    R3D_UnloadModel(square, true);
}

}  // namespace
