// The generated skinned models, read back as the engine's importer reads
// them: the glTF structure check passes them, and assimp finds their joints,
// weights and clips where the generator put them.
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cmath>
#include <map>
#include <set>
#include <string>

#include "TestModels.h"
#include "figure/Figures.h"
#include "internal.h"

namespace {

struct Read {
    Assimp::Importer importer;
    const aiScene* scene = nullptr;
    std::string path;

    explicit Read(const Gltf::Document& document, const std::string& name) {
        path = TestModels::TempDir("figures") + "/" + name;
        EXPECT_EQ(Gltf::WriteGlb(document, path), "");
        scene = importer.ReadFile(path, aiProcess_Triangulate);
    }
    std::map<std::string, double> Clips() const {  // name -> seconds
        std::map<std::string, double> clips;
        for (unsigned i = 0; i < scene->mNumAnimations; ++i) {
            const aiAnimation* a = scene->mAnimations[i];
            clips[a->mName.C_Str()] = a->mDuration / (a->mTicksPerSecond > 0 ? a->mTicksPerSecond : 1);
        }
        return clips;
    }
};

// Every vertex's weights over all bones sum to 1.
void ExpectWeightsSumToOne(const aiMesh* mesh) {
    std::vector<float> sums(mesh->mNumVertices, 0);
    for (unsigned b = 0; b < mesh->mNumBones; ++b)
        for (unsigned w = 0; w < mesh->mBones[b]->mNumWeights; ++w)
            sums[mesh->mBones[b]->mWeights[w].mVertexId] += mesh->mBones[b]->mWeights[w].mWeight;
    for (unsigned v = 0; v < mesh->mNumVertices; ++v) ASSERT_NEAR(sums[v], 1.0f, 1e-5f) << "vertex " << v;
}

}  // namespace

TEST(GeneratedFigures, TheBarBendsItsUpperJointAQuarterTurnInEachOfItsClips) {
    Read bar(Figures::Bar(), "bar.glb");
    ASSERT_NE(bar.scene, nullptr) << bar.importer.GetErrorString();
    R3D_Model model = R3D_LoadModelEx(bar.path.c_str(), R3D_IMPORT_DEFAULT);  // the structure check lets it through
    EXPECT_EQ(model.meshCount, 1);
    R3D_UnloadModel(model, true);

    ASSERT_EQ(bar.scene->mNumMeshes, 1u);
    const aiMesh* mesh = bar.scene->mMeshes[0];
    ASSERT_EQ(mesh->mNumBones, 2u);
    EXPECT_STREQ(mesh->mBones[0]->mName.C_Str(), "root");
    EXPECT_STREQ(mesh->mBones[1]->mName.C_Str(), "upper");
    ExpectWeightsSumToOne(mesh);

    EXPECT_EQ(bar.Clips(), (std::map<std::string, double>{{"bend", 1.0}, {"bend_step", 1.0}, {"bend_cubic", 1.0}}));
    for (unsigned i = 0; i < bar.scene->mNumAnimations; ++i) {
        const aiAnimation* clip = bar.scene->mAnimations[i];
        SCOPED_TRACE(clip->mName.C_Str());
        ASSERT_EQ(clip->mNumChannels, 1u);
        const aiNodeAnim* upper = clip->mChannels[0];
        EXPECT_STREQ(upper->mNodeName.C_Str(), "upper");
        ASSERT_GE(upper->mNumRotationKeys, 2u);
        const aiQuaternion first = upper->mRotationKeys[0].mValue, last = upper->mRotationKeys[upper->mNumRotationKeys - 1].mValue;
        EXPECT_NEAR(first.w, 1, 1e-5f);
        EXPECT_NEAR(last.z, std::sqrt(0.5f), 1e-5f) << "90 degrees about +z";
        EXPECT_NEAR(last.w, std::sqrt(0.5f), 1e-5f);
    }
}

TEST(GeneratedFigures, TheFigureHasAboutTwoThousandTrianglesThirtyJointsAndItsClips) {
    Read figure(Figures::Figure(), "figure.glb");
    ASSERT_NE(figure.scene, nullptr) << figure.importer.GetErrorString();
    ASSERT_EQ(figure.scene->mNumMeshes, 1u);
    const aiMesh* mesh = figure.scene->mMeshes[0];
    EXPECT_GE(mesh->mNumFaces, 1800u);
    EXPECT_LE(mesh->mNumFaces, 2400u);
    ExpectWeightsSumToOne(mesh);

    // The skin names every joint; the importer keeps those that weigh on vertices.
    std::set<std::string> joints;
    const Gltf::Document document = Figures::Figure();
    for (int j : document.skins[0].joints) joints.insert(document.nodes[static_cast<size_t>(j)].name);
    EXPECT_EQ(joints.size(), 30u);
    for (unsigned b = 0; b < mesh->mNumBones; ++b) EXPECT_EQ(joints.count(mesh->mBones[b]->mName.C_Str()), 1u);
    EXPECT_GE(mesh->mNumBones, 20u);

    EXPECT_EQ(figure.Clips(), (std::map<std::string, double>{{"idle", 2.0}, {"walk", 1.0}}));
    // Feet on the ground, head at about 1.8.
    float low = 1e9f, high = -1e9f;
    for (unsigned v = 0; v < mesh->mNumVertices; ++v) low = std::fmin(low, mesh->mVertices[v].y), high = std::fmax(high, mesh->mVertices[v].y);
    EXPECT_NEAR(low, 0, 0.06f);
    EXPECT_NEAR(high, 1.8f, 0.1f);
}
