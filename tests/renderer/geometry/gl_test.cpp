// What model import and instance buffers put on the GPU, read back from a real GL
// context in a window (run under Xvfb).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "GlDriver.h"
#include "GlReadback.h"
#include "TestModels.h"
#include "internal.h"
#include "r3d.h"
#include "raymath.h"

using TestModels::Shape;

namespace {

GlReadback::Gl gl;

class WindowEnvironment : public testing::Environment {
public:
    void SetUp() override {
        SetTraceLogLevel(LOG_WARNING);
        SetConfigFlags(FLAG_WINDOW_HIDDEN);
        InitWindow(320, 240, "renderer geometry");
        ASSERT_TRUE(IsWindowReady()) << "no window: run under xvfb-run";
        Platform::PinGlDriver();
        ASSERT_TRUE(gl.Load()) << "GL entry points missing";
    }
    void TearDown() override {
        if (IsWindowReady()) CloseWindow();
    }
};

testing::Environment* const window = testing::AddGlobalTestEnvironment(new WindowEnvironment());

// The renderer's records behind a loaded model and a loaded instance buffer.
const R3D_ModelData& Data(const R3D_Model& model) { return *r3d::FindModelData(model); }
const unsigned int* Vbo(const R3D_InstanceBuffer& buffer) { return r3d::FindInstanceData(buffer)->vbo; }

// A vertex array as the GPU holds it: followed by the copies levels of detail draw.
template <typename T>
std::vector<T> WithLevels(std::vector<T> values, const std::vector<uint32_t>& copies) {
    const size_t own = values.size();
    for (uint32_t v : copies) values.push_back(values[v < own ? v : 0]);
    return values;
}

template <typename T>
bool SameBytes(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

void ExpectAttribute(unsigned int location, unsigned int vbo, int components) {
    int enabled = 0, binding = 0, size = 0;
    gl.GetVertexAttribiv(location, GlReadback::kAttribEnabled, &enabled);
    gl.GetVertexAttribiv(location, GlReadback::kAttribBufferBinding, &binding);
    gl.GetVertexAttribiv(location, GlReadback::kAttribSize, &size);
    EXPECT_TRUE(enabled) << "location " << location;
    EXPECT_EQ(static_cast<unsigned int>(binding), vbo) << "location " << location;
    EXPECT_EQ(size, components) << "location " << location;
}

TEST(ModelGpu, MeshBuffersHoldTheCpuCopiesAtTheSharedLocations) {
    Shape terrain = TestModels::Terrain(30, 20, 8.0f, 1.0f);
    Shape cube = TestModels::Cube(0.5f);
    cube.nodeTransform = MatrixTranslate(0.0f, 2.0f, 0.0f);
    std::string path = TestModels::TempDir("gpu") + "/gpu.glb";
    ASSERT_EQ(TestModels::Export({terrain, cube}, "glb2", path), "");
    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_OPTIMIZE);
    ASSERT_EQ(model.meshCount, 2);

    std::vector<unsigned int> objects;
    for (const R3D_MeshData& mesh : Data(model).meshes) {
        ASSERT_NE(mesh.vao, 0u);
        ASSERT_NE(mesh.vboPositions, 0u);
        ASSERT_NE(mesh.vboTexcoords, 0u);
        ASSERT_NE(mesh.vboNormals, 0u);
        ASSERT_NE(mesh.ebo, 0u);
        // The CPU copies, then the copies of the vertices each coarser level of detail
        // draws (placed where the level put them), and every level's indices after the full mesh's.
        std::vector<Vector3> positions = mesh.positions;
        positions.insert(positions.end(), mesh.lodPositions.begin(), mesh.lodPositions.end());
        EXPECT_TRUE(SameBytes(gl.Read<Vector3>(mesh.vboPositions), positions));
        EXPECT_TRUE(SameBytes(gl.Read<Vector2>(mesh.vboTexcoords), WithLevels(mesh.texcoords, mesh.lodVertices)));
        EXPECT_TRUE(SameBytes(gl.Read<Vector3>(mesh.vboNormals), WithLevels(mesh.normals, mesh.lodVertices)));
        std::vector<uint32_t> indices = mesh.indices;
        indices.insert(indices.end(), mesh.lodIndices.begin(), mesh.lodIndices.end());
        EXPECT_TRUE(SameBytes(gl.Read<uint32_t>(mesh.ebo), indices));

        rlEnableVertexArray(mesh.vao);
        ExpectAttribute(r3d::kAttribPosition, mesh.vboPositions, 3);
        ExpectAttribute(r3d::kAttribTexcoord, mesh.vboTexcoords, 2);
        ExpectAttribute(r3d::kAttribNormal, mesh.vboNormals, 3);
        int ebo = 0;
        gl.GetIntegerv(GlReadback::kElementArrayBufferBinding, &ebo);
        EXPECT_EQ(static_cast<unsigned int>(ebo), mesh.ebo);
        rlDisableVertexArray();
        objects.insert(objects.end(), {mesh.vboPositions, mesh.vboTexcoords, mesh.vboNormals, mesh.ebo});
    }
    unsigned int vao = Data(model).meshes[0].vao;
    EXPECT_GT(Data(model).meshes[0].lods.size(), 1u);    // the terrain has levels of detail...
    EXPECT_EQ(Data(model).meshes[1].lods.size(), 1u);    // ...a 12-triangle cube has none

    R3D_UnloadModel(model, true);
    EXPECT_FALSE(gl.IsVertexArray(vao));
    for (unsigned int id : objects) EXPECT_FALSE(gl.IsBuffer(id)) << "buffer " << id << " outlived its model";
}

// A 4x4 image whose top row is red and the rest blue, written as PNG.
std::string WriteTexture(const std::string& dir) {
    Image image = GenImageColor(4, 4, Color{0, 0, 255, 255});
    for (int x = 0; x < 4; x++) ImageDrawPixel(&image, x, 0, Color{255, 0, 0, 255});
    std::string path = dir + "/stripe.png";
    EXPECT_TRUE(ExportImage(image, path.c_str()));
    UnloadImage(image);
    return path;
}

void ExpectStripeTexture(unsigned int id) {
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(gl.IsTexture(id));
    auto* pixels = static_cast<Color*>(rlReadTexturePixels(id, 4, 4, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8));
    ASSERT_NE(pixels, nullptr);
    // Row 0 of the texture is the image's top row, as raylib loads every image.
    EXPECT_EQ(pixels[0].r, 255);
    EXPECT_EQ(pixels[0].b, 0);
    EXPECT_EQ(pixels[3 * 4].r, 0);
    EXPECT_EQ(pixels[3 * 4].b, 255);
    MemFree(pixels);
}

TEST(ModelGpu, ExternalBaseColourTextureIsLoadedBesideTheModel) {
    std::string dir = TestModels::TempDir("texture");
    WriteTexture(dir);
    Shape plane = TestModels::Terrain(2, 2, 2.0f, 0.0f);
    plane.texturePath = "stripe.png";  // relative to the model file, as artists' tools write it
    plane.color = {255, 200, 100, 255};
    std::string path = dir + "/textured.obj";
    ASSERT_EQ(TestModels::Export({plane}, "obj", path), "");

    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_DEFAULT);
    ASSERT_EQ(model.meshCount, 1);
    const R3D_MeshData& mesh = Data(model).meshes[0];
    const r3d::Material& material = Data(model).materials[mesh.material];
    EXPECT_NEAR(material.baseColor[1] * 255.0f, 200.0f, 0.5f);
    ExpectStripeTexture(material.baseTexture);

    // Texture coordinates turn to raylib's convention (v = 0 on the image's top row):
    // the corner the file maps to v = 1 (its top) gets v = 0.
    for (size_t i = 0; i < mesh.positions.size(); i++) {
        for (size_t s = 0; s < plane.positions.size(); s++) {
            if (Vector3Distance(mesh.positions[i], plane.positions[s]) > 1e-4f) continue;
            EXPECT_NEAR(mesh.texcoords[i].x, plane.texcoords[s].x, 1e-5f);
            EXPECT_NEAR(mesh.texcoords[i].y, 1.0f - plane.texcoords[s].y, 1e-5f);
        }
    }
    unsigned int texture = material.baseTexture;
    R3D_UnloadModel(model, true);
    EXPECT_FALSE(gl.IsTexture(texture));
}

TEST(ModelGpu, EmbeddedTextureOfBinaryGltfIsLoaded) {
    std::string dir = TestModels::TempDir("embedded");
    Shape plane = TestModels::Terrain(2, 2, 2.0f, 0.0f);
    plane.texturePath = WriteTexture(dir);
    plane.embedTexture = true;
    std::string path = dir + "/embedded.glb";
    ASSERT_EQ(TestModels::Export({plane}, "glb2", path), "");
    std::remove(plane.texturePath.c_str());  // only the copy inside the file remains

    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_DEFAULT);
    ASSERT_EQ(model.meshCount, 1);
    ExpectStripeTexture(Data(model).materials[Data(model).meshes[0].material].baseTexture);
    R3D_UnloadModel(model, true);
}

TEST(ModelGpu, KeepingMaterialsLeavesTexturesAlive) {
    std::string dir = TestModels::TempDir("keep");
    WriteTexture(dir);
    Shape plane = TestModels::Terrain(2, 2, 2.0f, 0.0f);
    plane.texturePath = "stripe.png";
    std::string path = dir + "/keep.obj";
    ASSERT_EQ(TestModels::Export({plane}, "obj", path), "");
    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_DEFAULT);
    ASSERT_EQ(model.meshCount, 1);
    unsigned int texture = Data(model).materials[Data(model).meshes[0].material].baseTexture;
    ASSERT_NE(texture, 0u);
    R3D_UnloadModel(model, false);
    EXPECT_TRUE(gl.IsTexture(texture));
    rlUnloadTexture(texture);
}

TEST(ModelGpu, MissingTextureWarnsAndLeavesMaterialUntextured) {
    Shape plane = TestModels::Terrain(2, 2, 2.0f, 0.0f);
    plane.texturePath = "not-there.png";
    std::string path = TestModels::TempDir("notexture") + "/plain.obj";
    ASSERT_EQ(TestModels::Export({plane}, "obj", path), "");
    testing::internal::CaptureStderr();
    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_DEFAULT);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(model.meshCount, 1);
    EXPECT_EQ(Data(model).materials[Data(model).meshes[0].material].baseTexture, 0u);
    EXPECT_NE(err.find("not-there.png"), std::string::npos) << err;
    R3D_UnloadModel(model, true);
}

// ---------------------------------------------------------------------------------
// Instance buffers
// ---------------------------------------------------------------------------------

struct Filled {
    std::vector<Vector3> positions, scales;
    std::vector<Vector4> rotations;
    std::vector<Color> colors;
};

Filled Fill(R3D_InstanceBuffer buffer, float seed) {
    Filled f;
    auto* p = static_cast<Vector3*>(R3D_MapInstances(buffer, R3D_INSTANCE_POSITION));
    auto* r = static_cast<Vector4*>(R3D_MapInstances(buffer, R3D_INSTANCE_ROTATION));
    auto* s = static_cast<Vector3*>(R3D_MapInstances(buffer, R3D_INSTANCE_SCALE));
    auto* c = static_cast<Color*>(R3D_MapInstances(buffer, R3D_INSTANCE_COLOR));
    for (int i = 0; i < buffer.capacity; i++) {
        float x = seed + i;
        if (p) p[i] = {x, -x, x * 0.5f};
        if (r) r[i] = QuaternionFromEuler(x * 0.01f, x * 0.02f, 0.3f);
        if (s) s[i] = {1.0f + i % 3, 2.0f, 0.5f};
        if (c) c[i] = {static_cast<unsigned char>(i), static_cast<unsigned char>(seed), 7, 255};
    }
    if (p) f.positions.assign(p, p + buffer.capacity);
    if (r) f.rotations.assign(r, r + buffer.capacity);
    if (s) f.scales.assign(s, s + buffer.capacity);
    if (c) f.colors.assign(c, c + buffer.capacity);
    return f;
}

TEST(InstanceBuffer, StartsAsWhiteUntransformedInstancesOnTheGpu) {
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(300, R3D_INSTANCE_ALL);
    ASSERT_EQ(buffer.capacity, 300);
    ASSERT_EQ(buffer.flags, R3D_INSTANCE_ALL);
    for (unsigned int vbo : r3d::FindInstanceData(buffer)->vbo) ASSERT_NE(vbo, 0u);

    std::vector<Vector3> positions = gl.Read<Vector3>(Vbo(buffer)[0]);
    std::vector<Vector4> rotations = gl.Read<Vector4>(Vbo(buffer)[1]);
    std::vector<Vector3> scales = gl.Read<Vector3>(Vbo(buffer)[2]);
    std::vector<Color> colors = gl.Read<Color>(Vbo(buffer)[3]);
    ASSERT_EQ(positions.size(), 300u);
    ASSERT_EQ(rotations.size(), 300u);
    ASSERT_EQ(scales.size(), 300u);
    ASSERT_EQ(colors.size(), 300u);
    for (int i = 0; i < 300; i++) {
        EXPECT_EQ(positions[i].x, 0.0f);
        EXPECT_EQ(rotations[i].w, 1.0f);
        EXPECT_EQ(rotations[i].x, 0.0f);
        EXPECT_EQ(scales[i].y, 1.0f);
        EXPECT_EQ(colors[i].r, 255);
        EXPECT_EQ(colors[i].a, 255);
    }
    R3D_UnloadInstanceBuffer(buffer);
}

TEST(InstanceBuffer, UnmapUploadsWhatWasWritten) {
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(1000, R3D_INSTANCE_ALL);
    Filled written = Fill(buffer, 3.0f);
    R3D_UnmapInstances(buffer, R3D_INSTANCE_ALL);
    EXPECT_TRUE(SameBytes(gl.Read<Vector3>(Vbo(buffer)[0]), written.positions));
    EXPECT_TRUE(SameBytes(gl.Read<Vector4>(Vbo(buffer)[1]), written.rotations));
    EXPECT_TRUE(SameBytes(gl.Read<Vector3>(Vbo(buffer)[2]), written.scales));
    EXPECT_TRUE(SameBytes(gl.Read<Color>(Vbo(buffer)[3]), written.colors));

    // Mapping again hands back the same values; a change counts only once unmapped.
    auto* p = static_cast<Vector3*>(R3D_MapInstances(buffer, R3D_INSTANCE_POSITION));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[10].x, written.positions[10].x);
    p[10] = {100.0f, 200.0f, 300.0f};
    EXPECT_EQ(gl.Read<Vector3>(Vbo(buffer)[0])[10].x, written.positions[10].x);
    R3D_UnmapInstances(buffer, R3D_INSTANCE_POSITION);
    EXPECT_EQ(gl.Read<Vector3>(Vbo(buffer)[0])[10].y, 200.0f);
    R3D_UnloadInstanceBuffer(buffer);
}

TEST(InstanceBuffer, UnmapUploadsOnlyTheNamedAttributes) {
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(64, R3D_INSTANCE_ALL);
    Filled written = Fill(buffer, 9.0f);
    R3D_UnmapInstances(buffer, R3D_INSTANCE_POSITION | R3D_INSTANCE_COLOR);
    EXPECT_TRUE(SameBytes(gl.Read<Vector3>(Vbo(buffer)[0]), written.positions));
    EXPECT_TRUE(SameBytes(gl.Read<Color>(Vbo(buffer)[3]), written.colors));
    EXPECT_EQ(gl.Read<Vector4>(Vbo(buffer)[1])[5].w, 1.0f);  // rotation not yet uploaded
    EXPECT_EQ(gl.Read<Vector3>(Vbo(buffer)[2])[5].x, 1.0f);  // scale not yet uploaded
    R3D_UnmapInstances(buffer, R3D_INSTANCE_ROTATION | R3D_INSTANCE_SCALE);
    EXPECT_TRUE(SameBytes(gl.Read<Vector4>(Vbo(buffer)[1]), written.rotations));
    EXPECT_TRUE(SameBytes(gl.Read<Vector3>(Vbo(buffer)[2]), written.scales));
    R3D_UnloadInstanceBuffer(buffer);
}

TEST(InstanceBuffer, AbsentAttributesAndEmptyBuffersAreSafe) {
    R3D_InstanceBuffer some = R3D_LoadInstanceBuffer(16, R3D_INSTANCE_POSITION | R3D_INSTANCE_COLOR);
    EXPECT_NE(R3D_MapInstances(some, R3D_INSTANCE_POSITION), nullptr);
    EXPECT_EQ(R3D_MapInstances(some, R3D_INSTANCE_ROTATION), nullptr);
    EXPECT_EQ(R3D_MapInstances(some, R3D_INSTANCE_POSITION | R3D_INSTANCE_COLOR), nullptr);  // one at a time
    EXPECT_EQ(Vbo(some)[1], 0u);
    R3D_UnmapInstances(some, R3D_INSTANCE_ALL);
    unsigned int vbo = Vbo(some)[0];
    R3D_UnloadInstanceBuffer(some);
    EXPECT_FALSE(gl.IsBuffer(vbo));

    R3D_InstanceBuffer empty = R3D_LoadInstanceBuffer(0, R3D_INSTANCE_ALL);
    EXPECT_EQ(empty.capacity, 0);
    EXPECT_EQ(R3D_MapInstances(empty, R3D_INSTANCE_POSITION), nullptr);
    R3D_UnmapInstances(empty, R3D_INSTANCE_ALL);
    R3D_UnloadInstanceBuffer(empty);

    R3D_InstanceBuffer negative = R3D_LoadInstanceBuffer(-5, R3D_INSTANCE_ALL);
    EXPECT_EQ(negative.capacity, 0);
    R3D_UnloadInstanceBuffer(negative);
    R3D_UnloadInstanceBuffer(R3D_InstanceBuffer{});
}

}  // namespace

namespace {

TEST(InstanceBuffer, OnceDrawnUnmapUploadsOnlyTheInstancesInUse) {
    R3D_Init(320, 240);
    std::string path = TestModels::TempDir("in-use") + "/cube.obj";
    ASSERT_EQ(TestModels::Export({TestModels::Cube(0.5f)}, "obj", path), "");
    R3D_Model cube = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_DEFAULT);
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(1000, R3D_INSTANCE_ALL);
    Camera3D camera{{0.0f, 5.0f, 5.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, 45.0f, CAMERA_PERSPECTIVE};
    auto drawFirst = [&](int count) {
        BeginDrawing();
        R3D_Begin(camera);
        R3D_DrawModelInstanced(cube, buffer, count);
        R3D_End();
        EndDrawing();
    };
    auto* p = static_cast<Vector3*>(R3D_MapInstances(buffer, R3D_INSTANCE_POSITION));
    ASSERT_NE(p, nullptr);
    drawFirst(10);  // ten in use from now on

    // All in view, all alike: drawn straight from the buffer's own GPU arrays.
    for (int i = 0; i < 1000; i++) p[i] = {0.001f * i, 0.0f, 0.0f};
    R3D_UnmapInstances(buffer, R3D_INSTANCE_POSITION);
    std::vector<Vector3> gpu = gl.Read<Vector3>(Vbo(buffer)[0]);
    EXPECT_EQ(gpu[9].x, p[9].x);  // in use: uploaded
    EXPECT_EQ(gpu[10].x, 0.0f);   // beyond: left alone
    EXPECT_EQ(gpu[999].x, 0.0f);

    // A draw of more instances brings the rest up before they are drawn.
    drawFirst(20);
    gpu = gl.Read<Vector3>(Vbo(buffer)[0]);
    EXPECT_EQ(gpu[19].x, p[19].x);
    EXPECT_EQ(gpu[20].x, 0.0f);
    R3D_UnloadInstanceBuffer(buffer);
    R3D_UnloadModel(cube, true);
}

}  // namespace
