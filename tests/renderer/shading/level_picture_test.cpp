// The sample level as the walker sees it, its flashlight shadowed, against reference
// frames (golden/): the picture must stay while the shading gets cheaper, and changes
// only when the level's look is changed on purpose. VANTOR_WRITE_GOLDEN=1 writes the
// frames instead.
// And the level's generated materials as they show: concrete on the ground, grout
// between the tiles of the steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "ShadingScene.h"
#include "raymath.h"

using namespace Shading;

namespace {

// The walker's eye where it comes to rest, and its flashlight, as its game sets it up,
// in its hand at its eye.
struct Walker {
    R3D_Light flashlight = R3D_CreateLight(R3D_LIGHT_SPOT);
    Camera3D camera{};
    R3D_InstanceBuffer one = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);

    Walker() {
        Fill(one, {Instance{}});
        R3D_SetLightRange(flashlight, 32.0f);
        R3D_SetLightSpecular(flashlight, 0.0f);
        R3D_SetLightEnergy(flashlight, 8.0f);
        R3D_SetLightColor(flashlight, Color{255, 255, 221, 255});
        R3D_SetShadowUpdateMode(flashlight, R3D_SHADOW_UPDATE_CONTINUOUS);
        R3D_EnableShadow(flashlight);
        R3D_SetLightActive(flashlight, true);
        camera.position = {-2.0f, 0.6f, -5.0f};
        camera.up = {0.0f, 1.0f, 0.0f};
        camera.fovy = 70.0f;
        camera.projection = CAMERA_PERSPECTIVE;
    }
    ~Walker() {
        R3D_DestroyLight(flashlight);
        R3D_UnloadInstanceBuffer(one);
    }
    Frame Look(R3D_Model level, float yaw) {
        const Vector3 look = Vector3Normalize({std::sin(yaw), -0.2f, std::cos(yaw)});
        camera.target = Vector3Add(camera.position, look);
        R3D_SetLightPosition(flashlight, camera.position);
        R3D_SetLightDirection(flashlight, look);
        return Render(camera, [&] { R3D_DrawModelInstanced(level, one, 1); });
    }
};

}  // namespace

TEST(LevelPicture, TheWalkersViewStaysAsItWas) {
    OpenWindow(1280, 800);
    R3D_Model level = R3D_LoadModelEx(VANTOR_LEVEL, R3D_IMPORT_OPTIMIZE);
    ASSERT_GT(level.meshCount, 0);
    Walker walker;

    const bool write = std::getenv("VANTOR_WRITE_GOLDEN") != nullptr;
    for (float yaw : {0.0f, 0.3f}) {
        const Frame frame = walker.Look(level, yaw);
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
    R3D_UnloadModel(level, true);
}

namespace {

double Luma(Color c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; }

// How much the pixels of a rectangle differ from the mean of their 5x5 neighbourhood, on
// average (squared luma): the grain of a surface, not the slow fall of a light across it.
double Grain(const Frame& frame, int x0, int y0, int x1, int y1) {
    double sum = 0.0;
    int count = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const double d = Luma(frame.At(x, y)) - frame.Luma({static_cast<float>(x), static_cast<float>(y)}, 2);
            sum += d * d;
            ++count;
        }
    }
    return sum / count;
}

// Along the middle of the lowest step's riser (z = 0, from y = -1 to -0.7, x from -4 to
// 0), how many of the grout lines between its tiles, 0.3 m apart from x = 0, show darker
// than the middles of the tiles on either side.
int DarkGroutLines(const Frame& frame, const Camera3D& camera, int* lines) {
    *lines = 0;
    int dark = 0;
    auto at = [&](float x) { return ScreenOf({x, -0.85f, 0.0f}, camera); };
    for (int k = 1; k <= 12; ++k, ++*lines) {
        const Vector2 grout = at(-0.3f * k);
        double darkest = 255.0;
        for (int dx = -2; dx <= 2; ++dx) {
            darkest = std::min(darkest, frame.Luma({grout.x + dx, grout.y}, 0));
        }
        const double tiles = std::min(frame.Luma(at(-0.3f * k + 0.15f), 1), frame.Luma(at(-0.3f * k - 0.15f), 1));
        dark += darkest < 0.75 * tiles ? 1 : 0;
    }
    return dark;
}

// A copy of the level beside the test's files, where the names of its maps that end in
// `ending` are changed so that they are not found (a warning each; the materials keep
// their colours). How many names it changed.
int CopyWithoutMaps(const std::string& to, const std::string& ending) {
    std::ifstream in(VANTOR_LEVEL, std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int renamed = 0;
    for (size_t at = file.find("\"base_"); at != std::string::npos; at = file.find("\"base_", at + 1)) {
        const size_t end = file.find('"', at + 1);
        if (file.compare(end - ending.size(), ending.size(), ending) != 0) continue;
        file.replace(at + 1, 4, "gone");
        ++renamed;
    }
    std::ofstream(to, std::ios::binary) << file;
    return renamed;
}

}  // namespace

// The walker's view of the level, of the level without its normal maps and without any
// of its maps: the colour maps give the ground's concrete its grain and the steps' tiles
// their grout, the normal maps shade the tiles' rounded edges and the concrete's pits.
TEST(LevelPicture, TheGroundShowsConcreteAndTheStepsTheirGrout) {
    OpenWindow(1280, 800);
    const std::string bare = TempFolder() + "/bare_level.fbx", flat = TempFolder() + "/flat_level.fbx";
    ASSERT_GE(CopyWithoutMaps(bare, ".png"), 6) << "the level names its maps";
    ASSERT_GE(CopyWithoutMaps(flat, "_normal.png"), 3);

    Walker walker;
    auto look = [&](const char* file) {
        R3D_Model level = R3D_LoadModelEx(file, R3D_IMPORT_OPTIMIZE);
        EXPECT_GT(level.meshCount, 0) << file;
        Frame frame = walker.Look(level, 0.0f);
        R3D_UnloadModel(level, true);
        return frame;
    };
    const Frame full = look(VANTOR_LEVEL), none = look(bare.c_str());

    // The ground in the middle of the flashlight's pool, short of the steps.
    const Vector2 pool = ScreenOf({-2.0f, -1.0f, -1.8f}, walker.camera);
    const int px = static_cast<int>(pool.x), py = static_cast<int>(pool.y);
    ASSERT_GT(full.Luma(pool, 4), 100.0) << "the pool is lit";
    const double grain = Grain(full, px - 80, py - 30, px + 80, py + 30), bareGrain = Grain(none, px - 80, py - 30, px + 80, py + 30);
    int lines = 0;
    const int dark = DarkGroutLines(full, walker.camera, &lines), bareDark = DarkGroutLines(none, walker.camera, &lines);
    std::printf("grain of the ground %.2f with its maps, %.2f without; grout lines seen %d and %d of %d\n", grain,
                bareGrain, dark, bareDark, lines);
    EXPECT_GT(grain, 4.0 * bareGrain + 2.0) << "the concrete shows its speckles and blotches";
    EXPECT_GE(dark, lines - 1) << "grout between the tiles";
    EXPECT_LE(bareDark, 1) << "without its maps the riser is one colour";
    if (HasFailure()) {
        Image image{const_cast<Color*>(full.pixels.data()), full.width, full.height, 1, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8};
        ExportImage(image, (::testing::TempDir() + "/level_materials.png").c_str());
    }

    // Close to the back wall's tiles (its face at z = 22, rows from the ground's top,
    // columns from x = 0, 0.3 m apart) in a light from the upper right: the rounded edges
    // the normal map gives each tile are lit on the right and on top, and shaded on the
    // left and at the bottom. Without the normal maps, both sides alike.
    R3D_SetLightActive(walker.flashlight, false);
    const R3D_Light sun = R3D_CreateLight(R3D_LIGHT_DIR);
    R3D_SetLightDirection(sun, {0.6f, -0.6f, 1.0f});  // the picture's right is -x
    R3D_SetLightSpecular(sun, 0.0f);
    R3D_SetLightActive(sun, true);
    walker.camera.position = {-0.9f, 0.2f, 20.8f};
    walker.camera.target = {-0.9f, 0.2f, 22.0f};
    int litAsLit[2] = {}, tiles = 0;
    for (int normals : {1, 0}) {
        R3D_Model level = R3D_LoadModelEx(normals ? VANTOR_LEVEL : flat.c_str(), R3D_IMPORT_OPTIMIZE);
        const Frame frame = Render(walker.camera, [&] { R3D_DrawModelInstanced(level, walker.one, 1); });
        R3D_UnloadModel(level, true);
        // Along the middle half of a line from a to b, 9 mm inside a tile's edge: on the bevel.
        auto edge = [&](Vector3 a, Vector3 b) {
            double sum = 0.0;
            for (int i = 0; i < 16; ++i) sum += frame.Luma(ScreenOf(Vector3Lerp(a, b, 0.25f + i / 30.0f), walker.camera), 0);
            return sum / 16;
        };
        tiles = 0;
        for (float x0 = -1.5f; x0 < -0.35f; x0 += 0.3f) {
            for (float y0 = -0.4f; y0 < 0.65f; y0 += 0.3f, ++tiles) {
                const float in = 0.009f, x1 = x0 + 0.3f, y1 = y0 + 0.3f, z = 21.999f;
                const double right = edge({x0 + in, y0, z}, {x0 + in, y1, z}), left = edge({x1 - in, y0, z}, {x1 - in, y1, z});
                const double top = edge({x0, y1 - in, z}, {x1, y1 - in, z}), bottom = edge({x0, y0 + in, z}, {x1, y0 + in, z});
                litAsLit[normals] += right > left + 4.0 && top > bottom + 4.0 ? 1 : 0;
            }
        }
    }
    R3D_DestroyLight(sun);
    std::printf("tiles lit on their right and top edges: %d of %d, %d without the normal maps\n", litAsLit[1], tiles, litAsLit[0]);
    EXPECT_GE(litAsLit[1], tiles - 1) << "the normal map's edges face the way the texture runs";
    EXPECT_EQ(litAsLit[0], 0);
}
