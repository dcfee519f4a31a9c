// Physically based materials as the picture shows them: normal maps, emission, metal
// roughness, cut-outs in the camera and in shadows, blending over the scene.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ShadingScene.h"
#include "raymath.h"

using namespace Shading;

namespace {

// A texture of w x h texels, each given by `texel(x, y)`, written to the temporary folder.
template <typename F>
void WriteImage(const std::string& name, int w, int h, F texel) {
    Image image = GenImageColor(w, h, BLANK);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) ImageDrawPixel(&image, x, y, texel(x, y));
    }
    ASSERT_TRUE(ExportImage(image, (TempFolder() + "/" + name).c_str()));
    UnloadImage(image);
}

class Materials : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OpenWindow(); }

    void SetUp() override {
        instances = R3D_LoadInstanceBuffer(4, R3D_INSTANCE_ALL);
        camera = LookingDown(6.0f);
    }
    void TearDown() override {
        for (R3D_Light light : lights) R3D_DestroyLight(light);
        for (R3D_Model model : models) R3D_UnloadModel(model, true);
        R3D_UnloadInstanceBuffer(instances);
    }

    R3D_Model Keep(R3D_Model model) {
        EXPECT_GT(model.meshCount, 0);
        models.push_back(model);
        return model;
    }
    R3D_Light Sun(Vector3 direction, float energy = 1.0f) {
        const R3D_Light sun = R3D_CreateLight(R3D_LIGHT_DIR);
        R3D_SetLightDirection(sun, direction);
        R3D_SetLightEnergy(sun, energy);
        R3D_SetLightActive(sun, true);
        lights.push_back(sun);
        return sun;
    }
    Frame DrawOne(R3D_Model model) {
        Fill(instances, {Instance{}});
        return Render(camera, [&] { R3D_DrawModelInstanced(model, instances, 1); });
    }
    Vector2 At(float x, float y, float z) const { return ScreenOf({x, y, z}, camera); }

    R3D_InstanceBuffer instances{};
    std::vector<R3D_Light> lights;
    std::vector<R3D_Model> models;
    Camera3D camera{};
};

// Brightest minus darkest patch along the row through the plane's middle.
double Contrast(const Frame& f, const Camera3D& camera) {
    double lo = 255.0, hi = 0.0;
    for (float x = -1.5f; x <= 1.5f; x += 0.05f) {
        const double l = f.Luma(ScreenOf({x, 0.0f, 0.0f}, camera), 0);
        lo = std::min(lo, l);
        hi = std::max(hi, l);
    }
    return hi - lo;
}

}  // namespace

TEST_F(Materials, NormalMapRidgesShowUnderASideLightAndVanishWithoutTheMap) {
    // Stripes of texels tilted alternately towards +u and -u, and a map tilted towards the
    // image's top (green up), which lies towards -Z on this plane.
    WriteImage("ridges.png", 64, 64, [](int x, int) { return (x / 8) % 2 ? Color{204, 128, 230, 255} : Color{51, 128, 230, 255}; });
    WriteImage("tilt.png", 8, 8, [](int, int) { return Color{128, 204, 230, 255}; });
    const std::string matte = "\"pbrMetallicRoughness\":{\"metallicFactor\":0,\"roughnessFactor\":1}";
    const R3D_Model ridges = Keep(LoadGltf("ridges", Plane(2.0f), "{" + matte + ",\"normalTexture\":{\"index\":0}}", {"ridges.png"}));
    const R3D_Model ridgesObj = Keep(LoadObj("ridges_obj", Plane(2.0f), WHITE, "", R3D_IMPORT_DEFAULT, "map_Bump ridges.png"));
    const R3D_Model flat = Keep(LoadGltf("flat", Plane(2.0f), "{" + matte + "}"));
    const R3D_Model tilt = Keep(LoadGltf("tilt", Plane(2.0f), "{" + matte + ",\"normalTexture\":{\"index\":0}}", {"tilt.png"}));

    const R3D_Light sun = Sun(Vector3Normalize({-1.0f, -0.5f, 0.0f}));  // low, from +X
    R3D_SetLightSpecular(sun, 0.0f);
    EXPECT_GT(Contrast(DrawOne(ridges), camera), 80.0) << "glTF normal map";
    EXPECT_GT(Contrast(DrawOne(ridgesObj), camera), 80.0) << "OBJ map_Bump holding a normal map";
    EXPECT_LT(Contrast(DrawOne(flat), camera), 8.0);

    // The tilted plane faces a light from -Z (the image's top) and turns from one from +Z.
    R3D_SetLightDirection(sun, Vector3Normalize({0.0f, -0.5f, 1.0f}));
    const double towards = DrawOne(tilt).Luma(At(0, 0, 0));
    R3D_SetLightDirection(sun, Vector3Normalize({0.0f, -0.5f, -1.0f}));
    const double away = DrawOne(tilt).Luma(At(0, 0, 0));
    EXPECT_GT(towards, away + 60.0);
}

TEST_F(Materials, EmissionShowsInTheDarkScaledByItsTexture) {
    WriteImage("glow.png", 16, 16, [](int x, int) { return x < 8 ? BLACK : WHITE; });  // glows on its +X half
    const R3D_Model panel = Keep(LoadGltf("glow", Plane(2.0f),
                                          "{\"pbrMetallicRoughness\":{\"baseColorFactor\":[0,0,0,1]},\"emissiveFactor\":[1,0.5,0],"
                                          "\"emissiveTexture\":{\"index\":0}}",
                                          {"glow.png"}));
    const Frame f = DrawOne(panel);  // no light at all
    const Vector2 lit = At(1.0f, 0.0f, 0.0f), dark = At(-1.0f, 0.0f, 0.0f);
    EXPECT_GT(f.Mean(lit, 3, 0), 180.0);
    EXPECT_NEAR(f.Mean(lit, 3, 1), f.Mean(lit, 3, 0) / 2.0, 25.0);
    EXPECT_LT(f.Mean(lit, 3, 2), 30.0);
    EXPECT_LT(f.Luma(dark, 3), 30.0);
}

TEST_F(Materials, SmoothMetalHasASmallerBrighterHighlightThanRoughMetal) {
    auto metal = [](float roughness) {
        return "{\"pbrMetallicRoughness\":{\"baseColorFactor\":[0.9,0.9,0.9,1],\"metallicFactor\":1,\"roughnessFactor\":" +
               std::to_string(roughness) + "}}";
    };
    const R3D_Model smooth = Keep(LoadGltf("smooth", Sphere(48, 96, 1.0f), metal(0.2f)));
    const R3D_Model rough = Keep(LoadGltf("rough", Sphere(48, 96, 1.0f), metal(0.6f)));
    camera.position = {0.0f, 0.0f, 7.0f};
    camera.up = {0.0f, 1.0f, 0.0f};
    Sun(Vector3Normalize({0.3f, -0.4f, -1.0f}), 0.3f);
    R3D_InstanceBuffer second = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    Instance left, right;
    left.position = {-1.3f, 0.0f, 0.0f};
    right.position = {1.3f, 0.0f, 0.0f};
    Fill(instances, {left});
    Fill(second, {right});
    const Frame f = Render(camera, [&] {
        R3D_DrawModelInstanced(smooth, instances, 1);
        R3D_DrawModelInstanced(rough, second, 1);
    });
    R3D_UnloadInstanceBuffer(second);

    // Over each sphere's disc: the peak, and how many pixels come within 70% of it.
    struct Highlight {
        double peak = 0.0;
        int wide = 0;
    } h[2];
    for (int s = 0; s < 2; ++s) {
        const Vector2 centre = At(s == 0 ? -1.3f : 1.3f, 0.0f, 0.0f);
        const float radius = centre.x - At(s == 0 ? -2.3f : 0.3f, 0.0f, 0.0f).x;
        std::vector<double> luma;
        for (int y = 0; y < f.height; ++y) {
            for (int x = 0; x < f.width; ++x) {
                if (Vector2Distance({static_cast<float>(x), static_cast<float>(y)}, centre) < std::fabs(radius) * 0.95f) {
                    luma.push_back(f.Luma({static_cast<float>(x), static_cast<float>(y)}, 0));
                }
            }
        }
        for (double l : luma) h[s].peak = std::max(h[s].peak, l);
        for (double l : luma) h[s].wide += l > 0.7 * h[s].peak ? 1 : 0;
    }
    EXPECT_GT(h[0].peak, h[1].peak + 20.0);
    EXPECT_LT(h[0].wide * 2, h[1].wide) << "smooth " << h[0].wide << " pixels, rough " << h[1].wide;
}

TEST_F(Materials, AMaskedLeafIsCutOutInThePictureAndInItsShadow) {
    // A round leaf on a square of texels: alpha 0 outside the circle.
    WriteImage("leaf.png", 64, 64, [](int x, int y) {
        const float dx = x - 31.5f, dy = y - 31.5f;
        return dx * dx + dy * dy < 24.0f * 24.0f ? Color{40, 160, 40, 255} : Color{40, 160, 40, 0};
    });
    const R3D_Model leaf = Keep(LoadGltf("leaf", Plane(1.0f),
                                         "{\"pbrMetallicRoughness\":{\"baseColorTexture\":{\"index\":0},\"metallicFactor\":0},"
                                         "\"alphaMode\":\"MASK\",\"alphaCutoff\":0.5,\"doubleSided\":true}",
                                         {"leaf.png"}));
    const R3D_Model ground = Keep(LoadObj("ground", Plane(6.0f)));
    camera.position = {1.0f, 9.0f, 0.0f};
    camera.target = {1.0f, 0.0f, 0.0f};
    const R3D_Light sun = Sun(Vector3Normalize({1.0f, -1.0f, 0.0f}));  // the leaf's shadow falls 2 along +X
    R3D_SetLightSpecular(sun, 0.0f);
    R3D_EnableShadow(sun);
    R3D_InstanceBuffer leafAt = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    Instance raised;
    raised.position = {0.0f, 2.0f, 0.0f};
    Fill(leafAt, {raised});
    Fill(instances, {Instance{}});
    const Frame f = Render(camera, [&] {
        R3D_DrawModelInstanced(ground, instances, 1);
        R3D_DrawModelInstanced(leaf, leafAt, 1);
    });
    R3D_UnloadInstanceBuffer(leafAt);

    const double open = f.Luma(At(2.0f, 0.0f, -2.5f), 3);
    EXPECT_LT(f.Luma(At(2.0f, 0.0f, 0.0f), 3), open * 0.5) << "the leaf's shadow";
    EXPECT_GT(f.Luma(At(2.85f, 0.0f, 0.85f), 2), open * 0.85) << "light through the cut-out corner";
    const Vector2 corner = At(-0.85f, 2.0f, -0.85f);
    EXPECT_NEAR(f.Mean(corner, 2, 1), f.Mean(corner, 2, 0), 20.0) << "the ground, not the leaf, at its corner";
    EXPECT_GT(f.Mean(At(0.0f, 2.0f, 0.0f), 2, 1), f.Mean(At(0.0f, 2.0f, 0.0f), 2, 0) + 40.0) << "the leaf itself";
}

TEST_F(Materials, BlendedPanesTintWhatLiesBehindThemFarthestFirst) {
    // One file: a half-transparent red pane listed before the white box it stands in front of.
    std::FILE* f = std::fopen((TempFolder() + "/glass.mtl").c_str(), "w");
    std::fprintf(f, "newmtl glass\nKd 1 0 0\nd 0.5\nnewmtl white\nKd 1 1 1\n");
    std::fclose(f);
    f = std::fopen((TempFolder() + "/glass.obj").c_str(), "w");
    std::fprintf(f, "mtllib glass.mtl\nvn 0 0 1\n"
                    "v -0.6 -0.6 1.5\nv 0.6 -0.6 1.5\nv 0.6 0.6 1.5\nv -0.6 0.6 1.5\nusemtl glass\nf 1//1 2//1 3//1 4//1\n");
    const ObjMesh box = Box(1.0f);
    for (const Vector3& p : box.positions) std::fprintf(f, "v %f %f %f\n", p.x, p.y, p.z);
    for (const Vector3& n : box.normals) std::fprintf(f, "vn %f %f %f\n", n.x, n.y, n.z);
    std::fprintf(f, "usemtl white\n");
    for (size_t i = 0; i < box.indices.size(); i += 3) {
        std::fprintf(f, "f %u//%u %u//%u %u//%u\n", box.indices[i] + 5, box.indices[i] + 2, box.indices[i + 1] + 5,
                     box.indices[i + 1] + 2, box.indices[i + 2] + 5, box.indices[i + 2] + 2);
    }
    std::fclose(f);
    const R3D_Model scene = Keep(R3D_LoadModelEx((TempFolder() + "/glass.obj").c_str(), R3D_IMPORT_DEFAULT));
    // Two tinted copies of a white half-transparent pane, the nearer one first in the buffer.
    const R3D_Model pane = Keep(LoadObj("pane", Plane(0.6f), WHITE, "", R3D_IMPORT_DEFAULT, "d 0.5"));
    camera.position = {0.0f, 0.0f, 7.0f};
    camera.up = {0.0f, 1.0f, 0.0f};
    const R3D_Light sun = Sun({0.0f, 0.0f, -1.0f});  // from behind the camera, shadowed: the glass casts none
    R3D_SetLightSpecular(sun, 0.0f);
    R3D_EnableShadow(sun);
    R3D_InstanceBuffer panes = R3D_LoadInstanceBuffer(2, R3D_INSTANCE_ALL);
    Instance nearRed, farBlue;
    nearRed.position = {1.8f, 0.0f, 2.0f};  // the two line up as seen from the camera
    farBlue.position = {1.8f * 7.0f / 5.0f, 0.0f, 0.0f};
    nearRed.rotation = farBlue.rotation = QuaternionFromAxisAngle({1.0f, 0.0f, 0.0f}, PI / 2.0f);  // facing +Z
    nearRed.color = {255, 0, 0, 255};
    farBlue.color = {0, 0, 255, 255};
    Fill(panes, {nearRed, farBlue});
    Fill(instances, {Instance{}});
    const Frame frame = Render(camera, [&] {
        R3D_DrawModelInstanced(scene, instances, 1);
        R3D_DrawModelInstanced(pane, panes, 2);
    });
    R3D_UnloadInstanceBuffer(panes);

    const Vector2 behindGlass = At(0.0f, 0.0f, 1.0f), bare = At(0.0f, 0.8f, 1.0f);
    EXPECT_GT(frame.Mean(bare, 2, 1), 180.0) << "the lit box beside the pane";
    EXPECT_GT(frame.Mean(behindGlass, 2, 0), frame.Mean(behindGlass, 2, 1) + 60.0) << "tinted red";
    EXPECT_GT(frame.Mean(behindGlass, 2, 1), 70.0) << "the lit box shows through, unshadowed";
    const Vector2 overlap = At(1.8f, 0.0f, 2.0f);
    EXPECT_GT(frame.Mean(overlap, 2, 0), frame.Mean(overlap, 2, 2) + 30.0) << "the nearer red pane drawn last";
}
