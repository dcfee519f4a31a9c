// Animated models as the renderer loads them, without a window: the generated bar's
// clips and joints, its poses (each interpolation, a cross-fade), ray tests against
// the pose, and the corrupt-skin set, each loaded without what is broken.
#include <gtest/gtest.h>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cmath>
#include <string>

#include "TestModels.h"
#include "figure/Figures.h"
#include "internal.h"  // Required for: R3D_ModelData::poseBounds
#include "r3d.h"
#include "raymath.h"

namespace {

R3D_Model LoadBar(const Gltf::Document& document, const std::string& name) {
    const std::string path = TestModels::TempDir("animation") + "/" + name + ".glb";
    EXPECT_EQ(Gltf::WriteGlb(document, path), "");
    return R3D_LoadModelEx(path.c_str(), R3D_IMPORT_DEFAULT);
}

int Clip(R3D_Model model, const char* name) {
    for (int c = 0; c < R3D_GetModelAnimationCount(model); ++c) {
        if (std::string(R3D_GetModelAnimationName(model, c)) == name) return c;
    }
    return -1;
}

// Where the upper joint's +y axis points in a pose: up when straight, -x when bent.
Vector3 UpperAxis(R3D_Model model, R3D_AnimationState state) {
    const Matrix m = R3D_GetJointTransform(model, state, R3D_FindModelJoint(model, "upper"));
    return {m.m4, m.m5, m.m6};
}

R3D_AnimationState At(int clip, float time) { return {clip, time, -1, 0.0f, 1.0f}; }

}  // namespace

TEST(AnimatedModel, TheBarsClipsPoseItsUpperJointAsEachInterpolationDefines) {
    R3D_Model bar = LoadBar(Figures::Bar(), "bar");
    ASSERT_EQ(R3D_GetModelAnimationCount(bar), 3);
    const int bend = Clip(bar, "bend"), step = Clip(bar, "bend_step"), cubic = Clip(bar, "bend_cubic");
    ASSERT_GE(bend, 0);
    ASSERT_GE(step, 0);
    ASSERT_GE(cubic, 0);
    EXPECT_FLOAT_EQ(R3D_GetModelAnimationLength(bar, bend), 1.0f);
    EXPECT_EQ(R3D_FindModelJoint(bar, "no such joint"), -1);

    auto expectAxis = [&](R3D_AnimationState s, float degrees) {
        const Vector3 axis = UpperAxis(bar, s);
        const float r = degrees * DEG2RAD;
        EXPECT_NEAR(axis.x, -std::sin(r), 1e-3f) << "clip " << s.clip << " at " << s.time << " (" << degrees << " degrees)";
        EXPECT_NEAR(axis.y, std::cos(r), 1e-3f) << "clip " << s.clip << " at " << s.time;
    };
    expectAxis(At(-1, 0), 0);
    expectAxis(At(bend, 0), 0);
    expectAxis(At(bend, 0.5f), 45);   // spherical: the angle moves evenly
    expectAxis(At(bend, 1), 90);
    expectAxis(At(bend, 7), 90);      // held after the last key
    expectAxis(At(step, 0.49f), 0);
    expectAxis(At(step, 0.51f), 90);
    expectAxis(At(cubic, 0.5f), 45);  // still at both ends, symmetric: halfway at half time
    EXPECT_LT(std::acos(UpperAxis(bar, At(cubic, 0.1f)).y), 0.1f * 0.5f * PI);  // eases in
    // Halfway through a cross-fade from straight to bent lies the half-bent pose.
    expectAxis(R3D_AnimationState{bend, 1.0f, bend, 0.0f, 0.5f}, 45);
    // Nonsense from a caller is the rest pose or held keys, never NaN.
    expectAxis(R3D_AnimationState{99, NAN, -7, INFINITY, NAN}, 0);
    // The upper joint stays where it joins the lower half.
    const Matrix upper = R3D_GetJointTransform(bar, At(bend, 1), R3D_FindModelJoint(bar, "upper"));
    EXPECT_NEAR(upper.m13, 1.0f, 1e-5f);
    R3D_UnloadModel(bar, true);
}

TEST(AnimatedModel, RaysHitThePoseAndItsBoundsHoldEveryPose) {
    R3D_Model bar = LoadBar(Figures::Bar(), "bar");
    const int bend = Clip(bar, "bend");
    const Matrix place = MatrixTranslate(10, 0, 0);
    // Down through where the bent half lies (x = 9.3 after placing), and across where the
    // straight tip stands.
    const Ray onBent{{9.3f, 5, 0}, {0, -1, 0}};
    const Ray onStraightTip{{10, 1.8f, 5}, {0, 0, -1}};
    const RayCollision bentHit = R3D_RaycastModelPose(onBent, bar, place, At(bend, 1));
    ASSERT_TRUE(bentHit.hit);
    EXPECT_NEAR(bentHit.point.y, 1.1f, 0.02f);
    EXPECT_NEAR(bentHit.normal.y, 1.0f, 1e-3f);
    EXPECT_FALSE(R3D_RaycastModelPose(onStraightTip, bar, place, At(bend, 1)).hit);
    EXPECT_FALSE(R3D_RaycastModelPose(onBent, bar, place, At(bend, 0)).hit);
    const RayCollision straightHit = R3D_RaycastModelPose(onStraightTip, bar, place, At(bend, 0));
    ASSERT_TRUE(straightHit.hit);
    EXPECT_NEAR(straightHit.distance, 4.9f, 1e-3f);
    // At rest the pose test and the BVH test agree.
    const RayCollision rigid = R3D_RaycastModel(onStraightTip, bar, place);
    EXPECT_NEAR(rigid.distance, straightHit.distance, 1e-4f);

    // The rest box is the straight bar; culling uses one that also holds the bent pose
    // (its tip reaches x = -1.1).
    EXPECT_NEAR(bar.aabb.min.x, -0.1f, 1e-4f);
    EXPECT_LE(r3d::FindModelData(bar)->poseBounds.min.x, -1.1f);
    EXPECT_GE(r3d::FindModelData(bar)->poseBounds.max.y, 2.0f);
    R3D_UnloadModel(bar, true);
}

// A corner of the bar's back face (z = -0.1) moved far out along -x, as a fuzzed file had
// it: the sliver it makes is hit at finite places, as the BVH hits it at rest, in every
// pose (its triangles follow the root joint only, so no clip moves them).
TEST(AnimatedModel, ASliverReachingTowardsTheFloatLimitIsHitWhereItLiesInEveryPose) {
    for (const float far : {-1e24f, -3e37f}) {
        SCOPED_TRACE(far);
        Gltf::Document document = Figures::Bar();
        std::vector<float>& positions = document.meshes[0].positions;
        const std::vector<float>& normals = document.meshes[0].normals;
        size_t corner = 0;
        while (corner < positions.size() && !(positions[corner] == -0.1f && positions[corner + 1] == 0.5f &&
                                              positions[corner + 2] == -0.1f && normals[corner + 2] == -1.0f)) {
            corner += 3;
        }
        ASSERT_LT(corner, positions.size());
        positions[corner] = far;
        R3D_Model bar = LoadBar(document, "far_corner");
        ASSERT_EQ(R3D_GetModelAnimationCount(bar), 3);
        const int bend = Clip(bar, "bend"), cubic = Clip(bar, "bend_cubic");
        // A third of the way out the sliver spans y from 1/3 to 2/3.
        for (const float y : {0.2f, 0.4f, 0.55f, 0.6f, 0.8f}) {
            const Ray ray{{far / 3, y, -100}, {0, 0, 1}};
            const RayCollision rigid = R3D_RaycastModel(ray, bar, MatrixIdentity());
            EXPECT_EQ(rigid.hit, y > 0.34f && y < 0.66f) << "y " << y;
            for (const R3D_AnimationState state : {At(-1, 0), At(bend, 0.5f), At(bend, 1), At(cubic, 0.5f),
                                                   R3D_AnimationState{bend, 1.0f, cubic, 0.25f, 0.5f}}) {
                const RayCollision posed = R3D_RaycastModelPose(ray, bar, MatrixIdentity(), state);
                SCOPED_TRACE(testing::Message() << "y " << y << ", clip " << state.clip << " at " << state.time);
                EXPECT_EQ(posed.hit, rigid.hit);
                if (!posed.hit) continue;
                EXPECT_NEAR(posed.distance, 99.9f, 1e-3f);
                EXPECT_NEAR(posed.point.z, -0.1f, 1e-3f);
                EXPECT_NEAR(posed.normal.z, -1.0f, 1e-5f);
                EXPECT_NEAR(Vector3Length(posed.normal), 1.0f, 1e-5f);
            }
        }
        R3D_UnloadModel(bar, true);
    }
}

// Formats other than glTF bring their clips through assimp. Its FBX writer keeps one
// key a channel (so the pose stays straight), but the clips, their lengths and the
// skeleton come through its reader as they would from an artist's file.
TEST(AnimatedModel, FbxClipsAndJointsComeThroughTheImporter) {
    const std::string dir = TestModels::TempDir("animation-fbx");
    ASSERT_EQ(Gltf::WriteGlb(Figures::Bar(), dir + "/bar.glb"), "");
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(dir + "/bar.glb", 0);
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(Assimp::Exporter().Export(scene, "fbxa", dir + "/bar.fbx"), AI_SUCCESS);
    R3D_Model bar = R3D_LoadModelEx((dir + "/bar.fbx").c_str(), R3D_IMPORT_DEFAULT);
    EXPECT_EQ(bar.meshCount, 1);
    ASSERT_EQ(R3D_GetModelAnimationCount(bar), 3);
    EXPECT_NEAR(R3D_GetModelAnimationLength(bar, Clip(bar, "bend")), 1.0f, 1e-3f);
    const int upper = R3D_FindModelJoint(bar, "upper");
    ASSERT_GE(upper, 0);
    EXPECT_NEAR(R3D_GetJointTransform(bar, At(Clip(bar, "bend"), 0.5f), upper).m13, 1.0f, 1e-4f);
    EXPECT_NEAR(bar.aabb.max.y, 2.0f, 1e-4f);  // bound through its bones at rest, as from the glTF
    R3D_UnloadModel(bar, true);
}

TEST(AnimatedModel, TheCorruptSkinSetLoadsWithoutWhatIsBrokenAndWarnsOnce) {
    for (const Figures::Corrupt& corrupt : Figures::CorruptBars()) {
        SCOPED_TRACE(corrupt.name);
        testing::internal::CaptureStderr();
        R3D_Model model = LoadBar(corrupt.document, corrupt.name);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(model.meshCount, 1) << err;
        EXPECT_EQ(R3D_GetModelAnimationCount(model), corrupt.soundClips) << err;
        const bool broken = corrupt.soundClips < 3;
        size_t warnings = 0;
        for (size_t at = err.find("WARNING"); at != std::string::npos; at = err.find("WARNING", at + 1)) ++warnings;
        EXPECT_EQ(warnings, broken ? 1u : 0u) << err;
        if (broken) {
            EXPECT_NE(err.find(corrupt.name + ".glb"), std::string::npos) << err;
        }
        // Whatever survived poses to finite places inside the bar's reach.
        for (int c = -1; c < R3D_GetModelAnimationCount(model); ++c) {
            for (float t : {0.0f, 0.5f, 1.0f}) {
                const RayCollision hit = R3D_RaycastModelPose({{0, 1.9f, 5}, {0, 0, -1}}, model, MatrixIdentity(), At(c, t));
                EXPECT_TRUE(std::isfinite(hit.distance) && std::isfinite(hit.point.y) && std::isfinite(hit.normal.z));
                const Matrix upper = R3D_GetJointTransform(model, At(c, t), R3D_FindModelJoint(model, "upper"));
                EXPECT_TRUE(std::isfinite(upper.m13) && std::isfinite(upper.m0)) << "clip " << c << " at " << t;
            }
        }
        EXPECT_TRUE(std::isfinite(model.aabb.min.x) && std::isfinite(model.aabb.max.y));
        EXPECT_LT(model.aabb.max.y, 2.01f);  // no vertex thrown out by a bad weight
        EXPECT_GT(model.aabb.max.y, 1.99f);  // nor collapsed onto a joint
        R3D_UnloadModel(model, true);
    }
}
