// Names are optional in glTF and need not differ: skins and clips reach their nodes
// by index. The generated bar with its nodes unnamed, or all named alike, as a GLB and
// as a .gltf with its buffer beside it, loads its clips and poses as the named bar does.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "Process.h"
#include "figure/Figures.h"
#include "r3d.h"
#include "raymath.h"

namespace {

R3D_AnimationState At(int clip, float time) { return {clip, time, -1, 0.0f, 1.0f}; }

// The GLB at `glb` split into a .gltf whose buffer is a file beside it.
void GlbToGltf(const std::string& glb, const std::string& gltf, const std::string& binName) {
    std::ifstream in(glb, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    uint32_t jsonLength = 0;
    memcpy(&jsonLength, &file[12], 4);
    std::string json = file.substr(20, jsonLength);
    const size_t buffers = json.find("\"buffers\":[{");
    ASSERT_NE(buffers, std::string::npos);
    json.insert(buffers + strlen("\"buffers\":[{"), "\"uri\":\"" + binName + "\",");
    std::ofstream(gltf, std::ios::binary) << json;
    std::ofstream(gltf.substr(0, gltf.find_last_of('/') + 1) + binName, std::ios::binary) << file.substr(20 + jsonLength + 8);
}

}  // namespace

TEST(AnimatedModel, ClipsReachUnnamedAndSameNamedNodesByIndex) {
    TestSupport::TempDir dir;
    ASSERT_EQ(Gltf::WriteGlb(Figures::Bar(), dir / "named.glb"), "");
    R3D_Model named = R3D_LoadModelEx((dir / "named.glb").c_str(), R3D_IMPORT_DEFAULT);
    ASSERT_EQ(R3D_GetModelAnimationCount(named), 3);
    const int joints = R3D_GetModelJointCount(named);
    ASSERT_GE(joints, 3);

    for (const char* naming : {"unnamed", "same"}) {
        Gltf::Document bar = Figures::Bar();
        for (Gltf::Node& node : bar.nodes) node.name = naming == std::string("same") ? "joint" : "";
        const std::string glb = dir / (std::string(naming) + ".glb"), gltf = dir / (std::string(naming) + ".gltf");
        ASSERT_EQ(Gltf::WriteGlb(bar, glb), "");
        GlbToGltf(glb, gltf, std::string(naming) + ".bin");
        for (const std::string& path : {glb, gltf}) {
            SCOPED_TRACE(path);
            testing::internal::CaptureStderr();
            R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_DEFAULT);
            const std::string err = testing::internal::GetCapturedStderr();
            EXPECT_EQ(err.find("WARNING"), std::string::npos) << err;
            ASSERT_EQ(R3D_GetModelAnimationCount(model), 3) << err;
            ASSERT_STREQ(R3D_GetModelAnimationName(model, 0), "bend");
            ASSERT_EQ(R3D_GetModelJointCount(model), joints);

            // Every joint in every clip, between keys and at them, where the named bar's is.
            for (int clip = -1; clip < 3; ++clip) {
                for (float time : {0.0f, 0.3f, 0.5f, 0.75f, 1.0f}) {
                    for (int j = 0; j < joints; ++j) {
                        const Matrix want = R3D_GetJointTransform(named, At(clip, time), j);
                        const Matrix got = R3D_GetJointTransform(model, At(clip, time), j);
                        const float* w = &want.m0;
                        const float* g = &got.m0;
                        for (int k = 0; k < 16; ++k) {
                            ASSERT_NEAR(g[k], w[k], 1e-5f) << "clip " << clip << " at " << time << ", joint " << j << ", element " << k;
                        }
                    }
                }
            }
            // The skinned vertices follow: bent, the upper half lies across x = -0.7 at
            // y = 1.1 and the straight tip is gone; at rest it stands there.
            const Ray onBent{{-0.7f, 5, 0}, {0, -1, 0}}, onStraightTip{{0, 1.8f, 5}, {0, 0, -1}};
            const RayCollision bent = R3D_RaycastModelPose(onBent, model, MatrixIdentity(), At(0, 1.0f));
            EXPECT_TRUE(bent.hit);
            EXPECT_NEAR(bent.point.y, 1.1f, 0.02f);
            EXPECT_FALSE(R3D_RaycastModelPose(onStraightTip, model, MatrixIdentity(), At(0, 1.0f)).hit);
            EXPECT_FALSE(R3D_RaycastModelPose(onBent, model, MatrixIdentity(), At(0, 0.0f)).hit);
            EXPECT_TRUE(R3D_RaycastModelPose(onStraightTip, model, MatrixIdentity(), At(0, 0.0f)).hit);

            // Joints keep the file's names: none, or the shared one (found as its first).
            EXPECT_EQ(R3D_FindModelJoint(model, "upper"), -1);
            EXPECT_EQ(R3D_FindModelJoint(model, "node#2"), -1) << "a stand-in name shows";
            if (naming == std::string("same")) {
                EXPECT_EQ(R3D_FindModelJoint(model, "joint"), R3D_FindModelJoint(named, "bar"));
            }
            R3D_UnloadModel(model, true);
        }
    }
    R3D_UnloadModel(named, true);
}
