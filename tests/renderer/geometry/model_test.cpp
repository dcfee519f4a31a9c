// Model import without a window: counts, placement, materials and failures, for
// files written at test time in each format.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "TestModels.h"
#include "internal.h"
#include "r3d.h"
#include "raymath.h"

using TestModels::Shape;

namespace {

// Three meshes with different triangle counts, so each can be recognised after import,
// each under a node that turns and moves it.
std::vector<Shape> ThreeMeshes() {
    Shape terrain = TestModels::Terrain(8, 6, 10.0f, 0.5f);  // 96 triangles
    terrain.color = {200, 40, 30, 255};
    terrain.nodeTransform = MatrixTranslate(0.0f, -2.0f, 0.0f);

    Shape cube = TestModels::Cube(1.0f);  // 12 triangles
    cube.color = {20, 180, 60, 255};
    cube.writeNormals = true;
    cube.nodeTransform = MatrixMultiply(MatrixRotateY(0.6f), MatrixTranslate(4.0f, 1.0f, -3.0f));

    Shape pyramid = TestModels::Pyramid(1.0f, 2.0f);  // 4 triangles
    pyramid.color = {40, 60, 220, 255};
    pyramid.nodeTransform = MatrixMultiply(MatrixRotateX(0.4f), MatrixTranslate(-3.0f, 2.0f, 2.0f));
    return {terrain, cube, pyramid};
}

BoundingBox PlacedBounds(const std::vector<Shape>& meshes) {
    BoundingBox box = {{INFINITY, INFINITY, INFINITY}, {-INFINITY, -INFINITY, -INFINITY}};
    for (const Shape& mesh : meshes) {
        for (Vector3 p : TestModels::PlacedTriangles(mesh)) {
            box.min = Vector3Min(box.min, p);
            box.max = Vector3Max(box.max, p);
        }
    }
    return box;
}

const R3D_MeshData* MeshWithTriangles(const R3D_Model& model, int triangles) {
    for (const R3D_MeshData& mesh : r3d::FindModelData(model)->meshes) {
        if (static_cast<int>(mesh.indices.size() / 3) == triangles) return &mesh;
    }
    return nullptr;
}

void ExpectNear(Vector3 a, Vector3 b, float tolerance, const char* what) {
    EXPECT_NEAR(a.x, b.x, tolerance) << what;
    EXPECT_NEAR(a.y, b.y, tolerance) << what;
    EXPECT_NEAR(a.z, b.z, tolerance) << what;
}

struct FormatCase {
    const char* formatId;
    const char* extension;
};

class ModelFormats : public testing::TestWithParam<FormatCase> {};

TEST_P(ModelFormats, LoadsEveryMeshPlacedByItsNode) {
    std::vector<Shape> meshes = ThreeMeshes();
    std::string path = TestModels::TempDir(GetParam().formatId) + "/three" + GetParam().extension;
    ASSERT_EQ(TestModels::Export(meshes, GetParam().formatId, path), "");

    for (int flags : {R3D_IMPORT_DEFAULT, R3D_IMPORT_OPTIMIZE}) {
        SCOPED_TRACE(flags);
        R3D_Model model = R3D_LoadModelEx(path.c_str(), flags);
        ASSERT_NE(r3d::FindModelData(model), nullptr);
        EXPECT_EQ(model.meshCount, 3);
        EXPECT_EQ(model.triangleCount, 96 + 12 + 4);
        ASSERT_EQ(r3d::FindModelData(model)->meshes.size(), 3u);

        BoundingBox expected = PlacedBounds(meshes);
        ExpectNear(model.aabb.min, expected.min, 1e-3f, "aabb min");
        ExpectNear(model.aabb.max, expected.max, 1e-3f, "aabb max");

        for (const Shape& shape : meshes) {
            const R3D_MeshData* mesh = MeshWithTriangles(model, shape.TriangleCount());
            ASSERT_NE(mesh, nullptr) << "no mesh with " << shape.TriangleCount() << " triangles";
            EXPECT_NE(mesh->bvh, nullptr);
            ASSERT_EQ(mesh->normals.size(), mesh->positions.size());
            ASSERT_EQ(mesh->texcoords.size(), mesh->positions.size());

            // Every imported triangle is one of the placed source triangles, same winding.
            std::vector<Vector3> source = TestModels::PlacedTriangles(shape);
            for (size_t t = 0; t < mesh->indices.size(); t += 3) {
                Vector3 a = mesh->positions[mesh->indices[t]];
                Vector3 b = mesh->positions[mesh->indices[t + 1]];
                Vector3 c = mesh->positions[mesh->indices[t + 2]];
                bool found = false;
                for (size_t s = 0; s < source.size() && !found; s += 3) {
                    for (int r = 0; r < 3 && !found; r++) {
                        found = Vector3Distance(a, source[s + r]) < 1e-3f &&
                                Vector3Distance(b, source[s + (r + 1) % 3]) < 1e-3f &&
                                Vector3Distance(c, source[s + (r + 2) % 3]) < 1e-3f;
                    }
                }
                ASSERT_TRUE(found) << "triangle " << t / 3 << " is not a placed source triangle";

                // Vertex normals (written or generated) lean the same way as the face.
                Vector3 face = Vector3CrossProduct(Vector3Subtract(b, a), Vector3Subtract(c, a));
                Vector3 n = mesh->normals[mesh->indices[t]];
                EXPECT_NEAR(Vector3Length(n), 1.0f, 1e-3f);
                EXPECT_GT(Vector3DotProduct(face, n), 0.0f);
            }

            ASSERT_LT(mesh->material, static_cast<int>(r3d::FindModelData(model)->materials.size()));
            const float* color = r3d::FindModelData(model)->materials[mesh->material].baseColor;
            EXPECT_NEAR(color[0] * 255.0f, shape.color.r, 1);
            EXPECT_NEAR(color[1] * 255.0f, shape.color.g, 1);
            EXPECT_NEAR(color[2] * 255.0f, shape.color.b, 1);
        }
        R3D_UnloadModel(model, true);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ModelFormats,
                         testing::Values(FormatCase{"fbxa", ".fbx"}, FormatCase{"gltf2", ".gltf"},
                                         FormatCase{"glb2", ".glb"}, FormatCase{"obj", ".obj"}),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                             return std::string(info.param.formatId);
                         });

TEST_P(ModelFormats, OptimizeMergesMeshesSharingNodeAndMaterial) {
    Shape a = TestModels::Cube(1.0f);
    Shape b = TestModels::Pyramid(1.0f, 2.0f);
    for (Vector3& p : b.positions) p.x += 3.0f;
    a.nodeTransform = MatrixTranslate(0.0f, 1.0f, 0.0f);
    std::string path = TestModels::TempDir(std::string("merge-") + GetParam().formatId) + "/merge" + GetParam().extension;
    ASSERT_EQ(TestModels::Export({a, b}, GetParam().formatId, path, true), "");

    R3D_Model plain = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_DEFAULT);
    R3D_Model optimised = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_OPTIMIZE);
    EXPECT_EQ(plain.meshCount, 2);
    EXPECT_EQ(optimised.meshCount, 1);
    EXPECT_EQ(plain.triangleCount, 16);
    EXPECT_EQ(optimised.triangleCount, 16);
    ExpectNear(optimised.aabb.min, plain.aabb.min, 1e-5f, "aabb min");
    ExpectNear(optimised.aabb.max, plain.aabb.max, 1e-5f, "aabb max");
    // Same surfaces, so the same answers to ray tests.
    for (float x = -0.9f; x < 4.0f; x += 0.25f) {
        Ray ray{{x, 10.0f, 0.1f}, {0.0f, -1.0f, 0.0f}};
        RayCollision p = R3D_RaycastModel(ray, plain, MatrixIdentity());
        RayCollision o = R3D_RaycastModel(ray, optimised, MatrixIdentity());
        EXPECT_EQ(p.hit, o.hit) << x;
        EXPECT_NEAR(p.distance, o.distance, 1e-4f) << x;
    }
    R3D_UnloadModel(plain, true);
    R3D_UnloadModel(optimised, true);
}

TEST(ModelLoad, MissingFileGivesEmptyModelAndWarning) {
    std::string path = TestModels::TempDir("missing") + "/no-such-model.fbx";
    testing::internal::CaptureStderr();
    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_OPTIMIZE);
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(model.meshCount, 0);
    EXPECT_EQ(model.triangleCount, 0);
    EXPECT_EQ(model.aabb.min.x, 0.0f);
    EXPECT_EQ(model.aabb.max.y, 0.0f);
    EXPECT_NE(err.find(path), std::string::npos) << err;
    // assimp's own reason follows the file name.
    EXPECT_NE(err.find("Unable to open file"), std::string::npos) << err;

    RayCollision hit = R3D_RaycastModel(Ray{{0, 10, 0}, {0, -1, 0}}, model, MatrixIdentity());
    EXPECT_FALSE(hit.hit);
    EXPECT_EQ(hit.distance, R3D_RAY_MISS_DISTANCE);
    R3D_UnloadModel(model, true);
}

TEST(ModelLoad, UnreadableFileGivesEmptyModelAndWarning) {
    std::string path = TestModels::TempDir("garbage") + "/broken.glb";
    std::ofstream(path) << "glTF this is not a binary glTF file at all";
    testing::internal::CaptureStderr();
    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_DEFAULT);
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(model.meshCount, 0);
    EXPECT_NE(err.find(path), std::string::npos) << err;
    EXPECT_GT(err.size(), path.size() + 30) << "the warning should carry assimp's reason: " << err;
    R3D_UnloadModel(model, false);
}

TEST(ModelLoad, NullNameAndZeroModelAreSafe) {
    testing::internal::CaptureStderr();
    R3D_Model model = R3D_LoadModelEx(nullptr, 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(model.meshCount, 0);
    EXPECT_FALSE(err.empty());
    R3D_UnloadModel(model, true);

    R3D_Model zero{};
    EXPECT_FALSE(R3D_RaycastModel(Ray{{0, 0, 0}, {1, 0, 0}}, zero, MatrixIdentity()).hit);
    R3D_UnloadModel(zero, true);
}

TEST(ModelLoad, GeneratedNormalsKeepSharpEdgesAndSmoothGentleBends) {
    Shape cube = TestModels::Cube(1.0f);  // no normals written
    Shape terrain = TestModels::Terrain(40, 40, 10.0f, 0.3f);
    terrain.nodeTransform = MatrixTranslate(0.0f, -5.0f, 0.0f);
    std::string path = TestModels::TempDir("normals") + "/normals.gltf";
    ASSERT_EQ(TestModels::Export({cube, terrain}, "gltf2", path), "");
    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_DEFAULT);
    ASSERT_EQ(model.meshCount, 2);

    const R3D_MeshData* box = MeshWithTriangles(model, 12);
    ASSERT_NE(box, nullptr);
    for (size_t t = 0; t < box->indices.size(); t += 3) {
        Vector3 a = box->positions[box->indices[t]];
        Vector3 face = Vector3Normalize(Vector3CrossProduct(Vector3Subtract(box->positions[box->indices[t + 1]], a),
                                                            Vector3Subtract(box->positions[box->indices[t + 2]], a)));
        for (int k = 0; k < 3; k++) {
            EXPECT_GT(Vector3DotProduct(box->normals[box->indices[t + k]], face), 0.999f) << "a box corner got rounded";
        }
    }
    // On the gentle terrain, shared vertices blend their faces: some normal differs from
    // the face normal of a triangle using it.
    const R3D_MeshData* ground = MeshWithTriangles(model, 3200);
    ASSERT_NE(ground, nullptr);
    float lowest = 1.0f;
    for (size_t t = 0; t < ground->indices.size(); t += 3) {
        Vector3 a = ground->positions[ground->indices[t]];
        Vector3 face = Vector3Normalize(Vector3CrossProduct(Vector3Subtract(ground->positions[ground->indices[t + 1]], a),
                                                            Vector3Subtract(ground->positions[ground->indices[t + 2]], a)));
        lowest = std::min(lowest, Vector3DotProduct(ground->normals[ground->indices[t]], face));
    }
    EXPECT_LT(lowest, 0.9999f);
    EXPECT_GT(lowest, 0.9f);
    R3D_UnloadModel(model, true);
}

TEST(ModelLoad, MirroringNodeKeepsFrontFacesOutward) {
    Shape cube = TestModels::Cube(1.0f);
    cube.nodeTransform = MatrixScale(-1.0f, 1.0f, 1.0f);
    std::string path = TestModels::TempDir("mirror") + "/mirror.gltf";
    ASSERT_EQ(TestModels::Export({cube}, "gltf2", path), "");
    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_DEFAULT);
    ASSERT_EQ(model.meshCount, 1);
    const R3D_MeshData& mesh = r3d::FindModelData(model)->meshes[0];
    for (size_t t = 0; t < mesh.indices.size(); t += 3) {
        Vector3 a = mesh.positions[mesh.indices[t]];
        Vector3 b = mesh.positions[mesh.indices[t + 1]];
        Vector3 c = mesh.positions[mesh.indices[t + 2]];
        Vector3 face = Vector3CrossProduct(Vector3Subtract(b, a), Vector3Subtract(c, a));
        Vector3 centre = Vector3Scale(Vector3Add(Vector3Add(a, b), c), 1.0f / 3.0f);
        EXPECT_GT(Vector3DotProduct(face, centre), 0.0f) << "triangle " << t / 3 << " faces inward";
    }
    R3D_UnloadModel(model, true);
}

}  // namespace

// Factors of the formats without metallic-roughness, as the material model reads them.
TEST(ModelLoad, SpecularGlossinessAndPhongMaterialsMapOntoMetallicRoughness) {
    const std::string dir = TestModels::TempDir("material-factors");
    std::ofstream(dir + "/phong.mtl") << "newmtl shiny\nKd 0.2 0.4 0.6\nKs 1 1 1\nNs 98\nd 0.25\n";
    std::ofstream(dir + "/phong.obj") << "mtllib phong.mtl\nusemtl shiny\nv 0 0 0\nv 1 0 0\nv 0 0 1\nf 1 2 3\n";
    R3D_Model phong = R3D_LoadModelEx((dir + "/phong.obj").c_str(), R3D_IMPORT_DEFAULT);
    ASSERT_EQ(phong.meshCount, 1);
    const R3D_ModelData& phongData = *r3d::FindModelData(phong);
    const r3d::Material& p = phongData.materials[phongData.meshes[0].material];
    EXPECT_NEAR(p.baseColor[2], 0.6f, 1e-4f);
    EXPECT_EQ(p.metallic, 0.0f);
    EXPECT_NEAR(p.roughness, std::pow(2.0f / 100.0f, 0.25f), 1e-4f);  // a lobe as wide as n = 98
    EXPECT_NEAR(p.specular, 2.0f, 1e-4f);
    EXPECT_EQ(p.alphaMode, r3d::AlphaMode::kBlend);
    EXPECT_NEAR(p.baseColor[3], 0.25f, 1e-4f);
    R3D_UnloadModel(phong, true);

    // A black diffuse with a bright specular colour is a metal of that colour.
    std::ofstream(dir + "/sg.gltf")
        << R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],"extensionsUsed":["KHR_materials_pbrSpecularGlossiness"],)"
        << R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"material":0}]}],)"
        << R"("materials":[{"extensions":{"KHR_materials_pbrSpecularGlossiness":{"diffuseFactor":[0,0,0,1],"specularFactor":[0.9,0.6,0.3],"glossinessFactor":0.75}}}],)"
        << R"("buffers":[{"byteLength":36,"uri":"data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAAAAAAIA/"}],)"
        << R"("bufferViews":[{"buffer":0,"byteLength":36}],"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,0,1]}]})";
    R3D_Model sg = R3D_LoadModelEx((dir + "/sg.gltf").c_str(), R3D_IMPORT_DEFAULT);
    ASSERT_EQ(sg.meshCount, 1);
    const R3D_ModelData& sgData = *r3d::FindModelData(sg);
    const r3d::Material& m = sgData.materials[sgData.meshes[0].material];
    EXPECT_NEAR(m.roughness, 0.25f, 1e-4f);
    EXPECT_GT(m.metallic, 0.95f);
    EXPECT_NEAR(m.baseColor[0], 0.9f, 0.05f);
    EXPECT_NEAR(m.baseColor[2], 0.3f, 0.05f);
    R3D_UnloadModel(sg, true);
}
