// Model files a hostile or careless user could hand the engine: coordinates at the
// ends of the float range, coordinates that read as infinity, and glTF/GLB files whose
// offsets and counts point outside their buffers. Each gives a model that is drawn and
// hit where it should be, or the empty model with a warning naming the file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>

#include "Process.h"
#include "TestModels.h"
#include "internal.h"
#include "r3d.h"
#include "raymath.h"

using TestModels::Shape;

namespace {

struct FormatCase {
    const char* formatId;
    const char* extension;
};

const FormatCase kFormats[] = {{"fbxa", ".fbx"}, {"gltf2", ".gltf"}, {"glb2", ".glb"}, {"obj", ".obj"}};

std::string FormatName(const testing::TestParamInfo<FormatCase>& info) { return info.param.formatId; }

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// One mesh holding a cube of half size `half` centred at each of the given points, so
// that the BVH has to split between them.
Shape CubesAt(float half, std::initializer_list<Vector3> centres) {
    Shape shape;
    for (Vector3 c : centres) {
        Shape cube = TestModels::Cube(half);
        unsigned int base = static_cast<unsigned int>(shape.positions.size());
        for (Vector3 p : cube.positions) shape.positions.push_back(Vector3Add(p, c));
        for (unsigned int i : cube.indices) shape.indices.push_back(base + i);
    }
    return shape;
}

// The empty model came back, and stderr named the file and said why.
void ExpectRefused(const std::string& path, const std::string& reason) {
    testing::internal::CaptureStderr();
    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_DEFAULT);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(model.meshCount, 0);
    EXPECT_EQ(model.triangleCount, 0);
    EXPECT_NE(err.find("\"" + path + "\""), std::string::npos) << err;
    EXPECT_NE(err.find(reason), std::string::npos) << err;
    EXPECT_FALSE(R3D_RaycastModel(Ray{{0, 10, 0}, {0, -1, 0}}, model, MatrixIdentity()).hit);
    R3D_UnloadModel(model, true);
}

class HostileCoordinates : public testing::TestWithParam<FormatCase> {
protected:
    TestSupport::TempDir dir;
    std::string Path(const std::string& name) { return dir / (name + GetParam().extension); }

    // Writes `shape` with each coordinate of a stand-in size swapped for its real value
    // (sign kept). assimp's FBX writer prints fixed-point numbers, so it can neither
    // print 3e38 nor keep 1e-39: there the swap is made in the file's text.
    std::string Write(Shape shape, const std::string& name, const std::vector<std::pair<float, const char*>>& values) {
        std::string path = Path(name);
        bool fbx = std::string(GetParam().formatId) == "fbxa";
        if (!fbx) {
            for (Vector3& p : shape.positions) {
                for (float* c : {&p.x, &p.y, &p.z}) {
                    for (const auto& [standIn, real] : values) {
                        if (fabsf(*c) == standIn) *c = copysignf(strtof(real, nullptr), *c);
                    }
                }
            }
        }
        std::string error = TestModels::Export({shape}, GetParam().formatId, path);
        if (!error.empty()) return error;
        if (fbx) {
            std::string text = ReadText(path);
            for (const auto& [standIn, real] : values) {
                std::string printed = TextFormat("%f", standIn);
                for (size_t at = text.find(printed); at != std::string::npos; at = text.find(printed, at)) {
                    text.replace(at, printed.size(), real);
                }
            }
            WriteText(path, text);
        }
        return path;
    }
};

// Two cubes at x = -3e38 and 3e38 (their centroids' extent overflows a float), and two
// faces at x = 0 and x = 1e-39 (an extent too small to divide by): the BVH still
// splits, and rays hit the faces they point at.
TEST_P(HostileCoordinates, HugeAndTinyExtentsLoadAndAreHitWhereTheyAre) {
    std::string far = Write(CubesAt(0.1f, {{-3, 0, 0}, {3, 0, 0}}), "far", {{3.1f, "3.1e38"}, {2.9f, "2.9e38"}, {0.1f, "1e37"}});
    R3D_Model model = R3D_LoadModelEx(far.c_str(), R3D_IMPORT_DEFAULT);
    ASSERT_EQ(model.meshCount, 1) << far;
    EXPECT_EQ(model.triangleCount, 24);
    EXPECT_FLOAT_EQ(model.aabb.min.x, -3.1e38f);
    EXPECT_FLOAT_EQ(model.aabb.max.x, 3.1e38f);
    for (float x : {-3e38f, 3e38f}) {
        RayCollision hit = R3D_RaycastModel(Ray{{x, 1e38f, 0}, {0, -1, 0}}, model, MatrixIdentity());
        ASSERT_TRUE(hit.hit) << x;
        EXPECT_FLOAT_EQ(hit.distance, 9e37f);
        EXPECT_FLOAT_EQ(hit.point.x, x);
        EXPECT_NEAR(hit.normal.y, 1.0f, 1e-5f);
    }
    EXPECT_FALSE(R3D_RaycastModel(Ray{{0, 1e38f, 0}, {0, -1, 0}}, model, MatrixIdentity()).hit) << "between the cubes";
    R3D_UnloadModel(model, true);

    // Two unit squares facing -X, one at x = 0 and one a denormal further on.
    Shape faces;
    for (float x : {0.0f, 0.5f}) {
        unsigned int base = static_cast<unsigned int>(faces.positions.size());
        for (Vector3 p : {Vector3{x, 0, 0}, Vector3{x, 0, 1}, Vector3{x, 1, 1}, Vector3{x, 1, 0}}) faces.positions.push_back(p);
        for (unsigned int i : {0u, 1u, 2u, 0u, 2u, 3u}) faces.indices.push_back(base + i);
    }
    std::string tiny = Write(faces, "tiny", {{0.5f, "1e-39"}});
    model = R3D_LoadModelEx(tiny.c_str(), R3D_IMPORT_DEFAULT);
    ASSERT_EQ(model.meshCount, 1) << tiny;
    EXPECT_EQ(model.triangleCount, 4);
    EXPECT_LT(model.aabb.max.x, 1e-30f);
    for (float y : {0.25f, 0.5f, 0.75f}) {
        RayCollision hit = R3D_RaycastModel(Ray{{-2, y, 0.4f}, {1, 0, 0}}, model, MatrixIdentity());
        ASSERT_TRUE(hit.hit) << y;
        EXPECT_NEAR(hit.distance, 2.0f, 1e-6f);
        hit = R3D_RaycastModel(Ray{{2, y, 0.4f}, {-1, 0, 0}}, model, MatrixIdentity());
        ASSERT_TRUE(hit.hit) << y;
        EXPECT_NEAR(hit.distance, 2.0f, 1e-6f);
    }
    R3D_UnloadModel(model, true);
}

// A coordinate of 1e39 reads as infinity, and a node scale of 1e30 on a vertex at 1e10
// overflows to it: either way the model is refused, not built around infinity.
TEST_P(HostileCoordinates, InfiniteCoordinatesRefuseTheModel) {
    Shape cube = TestModels::Cube(1.0f);
    cube.positions[0].x = 1e10f;
    cube.nodeTransform = MatrixScale(1e30f, 1.0f, 1.0f);
    std::string scaled = Path("scaled");
    ASSERT_EQ(TestModels::Export({TestModels::Pyramid(1, 1), cube}, GetParam().formatId, scaled), "");
    ExpectRefused(scaled, "a vertex position is not a finite number");

    if (std::string(GetParam().formatId) == "glb2") return;  // binary: no number to write as text
    // The text formats: one vertex coordinate written as -1e39.
    std::string text = Path("text");
    Shape marked = TestModels::Cube(1.0f);
    marked.positions[0].x = -1.25f;
    marked.nodeTransform = MatrixTranslate(0, 2, 0);  // so that glTF writes a matrix
    ASSERT_EQ(TestModels::Export({marked}, GetParam().formatId, text), "");
    std::string content = ReadText(text);
    if (std::string(GetParam().formatId) == "gltf2") {
        // glTF keeps positions in its .bin: put the infinity into the node's matrix instead.
        content = std::regex_replace(content, std::regex("\"matrix\"\\s*:\\s*\\[\\s*1\\.0"), "\"matrix\": [-1e39",
                                     std::regex_constants::format_first_only);
    } else {
        size_t at = content.find("-1.25");
        ASSERT_NE(at, std::string::npos);
        content.replace(at, 5, "-1e39");
    }
    WriteText(text, content);
    ExpectRefused(text, "a vertex position is not a finite number");
}

INSTANTIATE_TEST_SUITE_P(Formats, HostileCoordinates, testing::ValuesIn(kFormats), FormatName);

// A colour of "nan" (found by the fuzzer; its conversion to a byte was undefined) reads as 0.
TEST(HostileMaterial, NanColourChannelsReadAsZero) {
    TestSupport::TempDir dir;
    WriteText(dir / "nan.mtl", "newmtl m\nKd nan 0.5 nan\n");
    WriteText(dir / "nan.obj", "mtllib nan.mtl\nusemtl m\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    R3D_Model model = R3D_LoadModelEx((dir / "nan.obj").c_str(), R3D_IMPORT_DEFAULT);
    ASSERT_EQ(model.meshCount, 1);
    const float* color = r3d::FindModelData(model)->materials[r3d::FindModelData(model)->meshes[0].material].baseColor;
    EXPECT_EQ(color[0], 0.0f);
    EXPECT_EQ(color[1], 0.5f);
    EXPECT_EQ(color[2], 0.0f);
    R3D_UnloadModel(model, true);
}

// --- glTF and GLB whose numbers point outside their buffers --------------------------

// The JSON of a glTF, or of a GLB (rewritten with its chunk lengths fixed).
std::string GltfJson(const std::string& file, bool glb) {
    if (!glb) return file;
    uint32_t length;
    memcpy(&length, &file[12], 4);
    return file.substr(20, length);
}

std::string WithGltfJson(const std::string& file, bool glb, std::string json) {
    if (!glb) return json;
    uint32_t oldLength;
    memcpy(&oldLength, &file[12], 4);
    std::string rest = file.substr(20 + oldLength);  // the BIN chunk, untouched
    while (json.size() % 4 != 0) json += ' ';
    uint32_t jsonLength = static_cast<uint32_t>(json.size());
    uint32_t total = static_cast<uint32_t>(20 + json.size() + rest.size());
    std::string out = file.substr(0, 20);
    memcpy(&out[8], &total, 4);
    memcpy(&out[12], &jsonLength, 4);
    return out + json + rest;
}

struct GltfEdit {
    const char* name;
    const char* after;    // the edit applies after the first occurrence of this text
    const char* pattern;  // regular expression, first match replaced
    std::string with;
    const char* reason;   // what the warning says
};

const GltfEdit kEdits[] = {
    {"ViewOffsetWraps", "\"bufferViews\"", "\"byteOffset\"\\s*:\\s*0", "\"byteOffset\": 18446744073709551615",
     "bufferView 0 reaches past the end of its buffer"},
    {"ViewLengthPastBuffer", "\"bufferViews\"", "\"byteLength\"\\s*:\\s*", "\"byteLength\": 1000",
     "bufferView 0 reaches past the end of its buffer"},
    {"AccessorCountPastView", "\"accessors\"", "\"count\"\\s*:\\s*8", "\"count\": 4294967295",
     "accessor 0 reaches past the end of its bufferView"},
    {"AccessorOffsetPastView", "\"accessors\"", "\"byteOffset\"\\s*:\\s*0", "\"byteOffset\": 90",
     "accessor 0 reaches past the end of its bufferView"},
    {"BufferLongerThanItsData", "\"buffers\"", "\"byteLength\"\\s*:\\s*", "\"byteLength\": 1",
     "buffer 0 declares"},
    {"MissingView", "\"accessors\"", "\"bufferView\"\\s*:\\s*0", "\"bufferView\": 7", "refers to a missing bufferView"},
    {"NodeItsOwnChild", "\"nodes\"", "\"children\"\\s*:\\s*\\[", "\"children\": [0,", "its own child"},
    {"NestedTooDeeply", "\"asset\"", "\\{", "{\"extras\": " + std::string(200, '[') + std::string(200, ']') + ",",
     "nested too deeply"},
};

class HostileGltf : public testing::TestWithParam<bool> {};  // false: .gltf with .bin, true: .glb

TEST_P(HostileGltf, OutOfRangeNumbersAreRefusedBeforeTheImporterReadsThem) {
    bool glb = GetParam();
    TestSupport::TempDir dir;
    std::string source = dir / (glb ? "cube.glb" : "cube.gltf");
    ASSERT_EQ(TestModels::Export({TestModels::Cube(1.0f)}, glb ? "glb2" : "gltf2", source), "");
    std::string file = ReadText(source);
    std::string json = GltfJson(file, glb);
    ASSERT_TRUE(std::regex_search(json, std::regex("\"count\"\\s*:\\s*8"))) << "the exporter wrote another cube: fix the edits";

    for (const GltfEdit& edit : kEdits) {
        SCOPED_TRACE(edit.name);
        size_t at = json.find(edit.after);
        ASSERT_NE(at, std::string::npos);
        std::string tail = std::regex_replace(json.substr(at), std::regex(edit.pattern), edit.with,
                                              std::regex_constants::format_first_only);
        ASSERT_NE(tail, json.substr(at)) << "the edit found nothing to change";
        // Beside the original, so that the .gltf still finds its .bin.
        std::string path = dir / (std::string(edit.name) + (glb ? ".glb" : ".gltf"));
        WriteText(path, WithGltfJson(file, glb, json.substr(0, at) + tail));
        ExpectRefused(path, edit.reason);
    }
    // The untouched file still loads.
    R3D_Model model = R3D_LoadModelEx(source.c_str(), R3D_IMPORT_DEFAULT);
    EXPECT_EQ(model.triangleCount, 12);
    R3D_UnloadModel(model, true);
}

INSTANTIATE_TEST_SUITE_P(Containers, HostileGltf, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "glb" : "gltf"; });

}  // namespace
