// Ray tests against loaded models: known answers on a placed cube, misses, rays from
// inside, and agreement with raylib's brute-force GetRayCollisionMesh.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "TestModels.h"
#include "internal.h"
#include "r3d.h"
#include "raymath.h"

using TestModels::Shape;

namespace {

void ExpectVectorNear(Vector3 actual, Vector3 expected, float tolerance, const char* what) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

R3D_Model LoadExported(const std::vector<Shape>& meshes, const std::string& name, const char* format,
                       const char* extension) {
    std::string path = TestModels::TempDir(name) + "/" + name + extension;
    std::string error = TestModels::Export(meshes, format, path);
    EXPECT_EQ(error, "");
    return R3D_LoadModelEx(path.c_str(), R3D_IMPORT_OPTIMIZE);
}

// raylib's answer for the same model: the nearest hit of GetRayCollisionMesh over the
// model's meshes, each as raylib sees it (one vertex triple per triangle).
class RaylibModel {
public:
    explicit RaylibModel(const R3D_Model& model) {
        for (const R3D_MeshData& source : r3d::FindModelData(model)->meshes) {
            std::vector<float> vertices;
            for (uint32_t i : source.indices) {
                vertices.push_back(source.positions[i].x);
                vertices.push_back(source.positions[i].y);
                vertices.push_back(source.positions[i].z);
            }
            vertexData_.push_back(std::move(vertices));
        }
        for (std::vector<float>& vertices : vertexData_) {
            Mesh mesh{};
            mesh.vertexCount = static_cast<int>(vertices.size() / 3);
            mesh.triangleCount = mesh.vertexCount / 3;
            mesh.vertices = vertices.data();
            meshes_.push_back(mesh);
        }
    }

    RayCollision Raycast(Ray ray, Matrix transform) const {
        RayCollision best{};
        for (const Mesh& mesh : meshes_) {
            RayCollision hit = GetRayCollisionMesh(ray, mesh, transform);
            if (hit.hit && (!best.hit || hit.distance < best.distance)) best = hit;
        }
        return best;
    }

private:
    std::vector<std::vector<float>> vertexData_;
    std::vector<Mesh> meshes_;
};

class CubeRaycast : public testing::Test {
protected:
    void SetUp() override {
        model_ = LoadExported({TestModels::Cube(1.0f)}, "cube", "glb2", ".glb");
        ASSERT_EQ(model_.meshCount, 1);
        rotation_ = MatrixRotateY(30.0f * DEG2RAD);
        transform_ = MatrixMultiply(rotation_, MatrixTranslate(10.0f, 2.0f, -3.0f));
        centre_ = {10.0f, 2.0f, -3.0f};
        side_ = Vector3Transform({1.0f, 0.0f, 0.0f}, rotation_);  // the turned +X face's normal
    }
    void TearDown() override { R3D_UnloadModel(model_, true); }

    R3D_Model model_{};
    Matrix rotation_{}, transform_{};
    Vector3 centre_{}, side_{};
};

TEST_F(CubeRaycast, HitsTopFaceFromAbove) {
    RayCollision hit = R3D_RaycastModel(Ray{{10.0f, 12.0f, -3.0f}, {0.0f, -1.0f, 0.0f}}, model_, transform_);
    ASSERT_TRUE(hit.hit);
    EXPECT_NEAR(hit.distance, 9.0f, 1e-4f);
    ExpectVectorNear(hit.point, {10.0f, 3.0f, -3.0f}, 1e-4f, "point");
    ExpectVectorNear(hit.normal, {0.0f, 1.0f, 0.0f}, 1e-5f, "normal");
}

TEST_F(CubeRaycast, HitsTurnedSideFace) {
    // Aimed at a point off the face's centre, from 5 units out along the turned normal.
    Vector3 tangent = Vector3Transform({0.0f, 0.0f, 1.0f}, rotation_);
    Vector3 target = Vector3Add(Vector3Add(centre_, side_), Vector3Add(Vector3Scale(tangent, 0.5f), {0, 0.3f, 0}));
    Ray ray{Vector3Add(target, Vector3Scale(side_, 5.0f)), Vector3Negate(side_)};
    RayCollision hit = R3D_RaycastModel(ray, model_, transform_);
    ASSERT_TRUE(hit.hit);
    EXPECT_NEAR(hit.distance, 5.0f, 1e-4f);
    ExpectVectorNear(hit.point, target, 1e-4f, "point");
    ExpectVectorNear(hit.normal, side_, 1e-5f, "normal");
}

TEST_F(CubeRaycast, LongDirectionScalesDistanceLikeRaylib) {
    // The hit point is position + direction * distance, as raylib reports it.
    Ray ray{{10.0f, 12.0f, -3.0f}, {0.0f, -4.0f, 0.0f}};
    RayCollision hit = R3D_RaycastModel(ray, model_, transform_);
    ASSERT_TRUE(hit.hit);
    EXPECT_NEAR(hit.distance, 9.0f / 4.0f, 1e-5f);
    ExpectVectorNear(hit.point, {10.0f, 3.0f, -3.0f}, 1e-4f, "point");
    RayCollision expected = RaylibModel(model_).Raycast(ray, transform_);
    ASSERT_TRUE(expected.hit);
    EXPECT_NEAR(hit.distance, expected.distance, 1e-5f);
}

TEST_F(CubeRaycast, MissesReportHugeDistance) {
    Ray away{{10.0f, 12.0f, -3.0f}, {0.0f, 1.0f, 0.0f}};
    Ray beside{{12.0f, 12.0f, -3.0f}, {0.0f, -1.0f, 0.0f}};  // the turned cube reaches x < 11.37
    Ray behind{{10.0f, -12.0f, -3.0f}, {0.0f, -1.0f, 0.0f}};
    for (Ray ray : {away, beside, behind}) {
        RayCollision hit = R3D_RaycastModel(ray, model_, transform_);
        EXPECT_FALSE(hit.hit);
        EXPECT_EQ(hit.distance, R3D_RAY_MISS_DISTANCE);
        EXPECT_GT(hit.distance, 1e30f);
    }
    // The same "beside" ray hits once the cube is moved under it.
    EXPECT_TRUE(R3D_RaycastModel(beside, model_, MatrixTranslate(12.0f, 0.0f, -3.0f)).hit);
}

TEST_F(CubeRaycast, RayFromInsideHitsTheWallAhead) {
    Ray ray{centre_, side_};
    RayCollision hit = R3D_RaycastModel(ray, model_, transform_);
    ASSERT_TRUE(hit.hit);
    EXPECT_NEAR(hit.distance, 1.0f, 1e-4f);
    ExpectVectorNear(hit.point, Vector3Add(centre_, side_), 1e-4f, "point");
    // The face's own normal (outward), as raylib reports it.
    ExpectVectorNear(hit.normal, side_, 1e-5f, "normal");
    RayCollision expected = RaylibModel(model_).Raycast(ray, transform_);
    ASSERT_TRUE(expected.hit);
    ExpectVectorNear(hit.normal, expected.normal, 1e-4f, "raylib normal");
}

TEST_F(CubeRaycast, DegenerateInputsMiss) {
    EXPECT_FALSE(R3D_RaycastModel(Ray{{10, 12, -3}, {0, 0, 0}}, model_, transform_).hit);
    EXPECT_FALSE(R3D_RaycastModel(Ray{{10, 12, -3}, {0, NAN, 0}}, model_, transform_).hit);
    EXPECT_FALSE(R3D_RaycastModel(Ray{{10, INFINITY, -3}, {0, -1, 0}}, model_, transform_).hit);
    RayCollision flat = R3D_RaycastModel(Ray{{0, 12, 0}, {0, -1, 0}}, model_, MatrixScale(1.0f, 0.0f, 1.0f));
    EXPECT_FALSE(flat.hit);
    EXPECT_EQ(flat.distance, R3D_RAY_MISS_DISTANCE);
}

// Random rays aimed near a loaded model must give raylib's answers.
void CompareWithRaylib(const R3D_Model& model, Matrix transform, unsigned seed, int minimumHitPercent) {
    RaylibModel reference(model);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_real_distribution<float> length(0.25f, 3.0f);

    BoundingBox box = model.aabb;
    Vector3 centre = Vector3Transform(Vector3Scale(Vector3Add(box.min, box.max), 0.5f), transform);
    float radius = Vector3Distance(box.min, box.max);

    const int rays = 1500;
    int hits = 0, hitMismatches = 0, answerMismatches = 0;
    for (int i = 0; i < rays; i++) {
        Vector3 origin = Vector3Add(centre, {unit(rng) * radius, unit(rng) * radius, unit(rng) * radius});
        Vector3 target = {box.min.x + (box.max.x - box.min.x) * (unit(rng) + 1) / 2,
                          box.min.y + (box.max.y - box.min.y) * (unit(rng) + 1) / 2,
                          box.min.z + (box.max.z - box.min.z) * (unit(rng) + 1) / 2};
        target = Vector3Transform(target, transform);
        Vector3 direction = Vector3Scale(Vector3Normalize(Vector3Subtract(target, origin)), length(rng));
        if (i % 10 == 0) direction = {unit(rng), unit(rng), unit(rng)};  // some in any direction
        Ray ray{origin, direction};

        RayCollision ours = R3D_RaycastModel(ray, model, transform);
        RayCollision theirs = reference.Raycast(ray, transform);
        if (ours.hit != theirs.hit) {
            hitMismatches++;
            continue;
        }
        if (!ours.hit) {
            EXPECT_EQ(ours.distance, R3D_RAY_MISS_DISTANCE);
            continue;
        }
        hits++;
        float scale = std::max(1.0f, theirs.distance);
        bool same = std::fabs(ours.distance - theirs.distance) < 1e-3f * scale &&
                    Vector3Distance(ours.point, theirs.point) < 1e-3f * scale * Vector3Length(direction) &&
                    Vector3DotProduct(ours.normal, theirs.normal) > 0.9999f;
        if (!same) answerMismatches++;
    }
    // Rays that graze an edge may fall either way with different rounding: allow a handful.
    EXPECT_GE(hits * 100, rays * minimumHitPercent) << "too few rays hit for the comparison to mean much";
    EXPECT_LE(hitMismatches, rays / 200);
    EXPECT_LE(answerMismatches, rays / 200);
}

TEST(RaycastAgreement, MatchesRaylibOnRandomRays) {
    // 24,000 triangles: enough for the load to build the terrain's levels of detail on a
    // second thread while it builds the BVH these rays go through.
    Shape terrain = TestModels::Terrain(150, 80, 20.0f, 2.0f);
    Shape cube = TestModels::Cube(1.5f);
    cube.nodeTransform = MatrixTranslate(2.0f, 3.0f, -1.0f);
    R3D_Model model = LoadExported({terrain, cube}, "agreement", "fbxa", ".fbx");
    ASSERT_EQ(model.meshCount, 2);
    ASSERT_EQ(model.triangleCount, 24012);
    EXPECT_GE(R3D_GetModelLodCount(model), 4);

    struct Placement {
        const char* name;
        Matrix transform;
    };
    Matrix turned = MatrixMultiply(MatrixRotateXYZ({0.3f, 1.1f, -0.4f}), MatrixTranslate(5.0f, -2.0f, 7.0f));
    Placement placements[] = {
        {"identity", MatrixIdentity()},
        {"turned and moved", turned},
        {"scaled unevenly", MatrixMultiply(MatrixScale(2.0f, 0.5f, 1.5f), turned)},
        {"mirrored", MatrixMultiply(MatrixScale(-1.0f, 1.0f, 1.0f), turned)},
    };
    unsigned seed = 1;
    for (const Placement& p : placements) {
        SCOPED_TRACE(p.name);
        CompareWithRaylib(model, p.transform, seed++, 50);
    }
    R3D_UnloadModel(model, true);
}

TEST(RaycastAgreement, TrianglesSharingOneCentreStillFound) {
    // Many triangles around one point defeat centroid binning: the build must still
    // split them, and every one of them must stay reachable.
    Shape fan;
    for (int i = 0; i < 400; i++) {
        float a = i * 0.0157f;
        Vector3 u = {cosf(a), 0.0f, sinf(a)};
        Vector3 v = {0.0f, 1.0f, 0.0f};
        unsigned int base = static_cast<unsigned int>(fan.positions.size());
        fan.positions.push_back(Vector3Add(Vector3Scale(u, -(1.0f + i * 0.01f)), Vector3Scale(v, -1.0f)));
        fan.positions.push_back(Vector3Add(Vector3Scale(u, 1.0f + i * 0.01f), Vector3Scale(v, -1.0f)));
        fan.positions.push_back(Vector3Scale(v, 2.0f));
        for (unsigned int k = 0; k < 3; k++) fan.indices.push_back(base + k);
    }
    R3D_Model model = LoadExported({fan}, "fan", "gltf2", ".gltf");
    ASSERT_EQ(model.triangleCount, 400);
    CompareWithRaylib(model, MatrixTranslate(1.0f, 0.0f, 0.0f), 99, 30);  // thin: many rays pass by
    R3D_UnloadModel(model, true);
}

}  // namespace
