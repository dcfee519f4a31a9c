// The level the build writes (assets/base.fbx), read back with assimp the way
// the renderer reads it: the meshes and colours it should have, its maps and
// their size on every face, its size in metres whether or not the reader
// applies the file's unit scale, ground under the player's start, and heights
// that suit the walker (eyes 1.6 above the ground, a hop of about 0.2).
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <set>

namespace {

constexpr float kFloor = -1.0f;
constexpr float kEye = 1.6f;

struct Box {
    aiVector3D lo{std::numeric_limits<float>::max()}, hi{-std::numeric_limits<float>::max()};
    void Add(const aiVector3D& p) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
};

struct Level {
    Assimp::Importer importer;
    const aiScene* scene = nullptr;
    std::map<std::string, const aiMesh*> meshes;

    explicit Level(unsigned extraFlags = 0) {
        scene = importer.ReadFile(VANTOR_LEVEL, aiProcess_Triangulate | aiProcess_GenSmoothNormals | extraFlags);
        if (scene)
            for (unsigned i = 0; i < scene->mNumMeshes; ++i) meshes[scene->mMeshes[i]->mName.C_Str()] = scene->mMeshes[i];
    }
    Box Bounds(const std::string& name) const {
        Box b;
        const aiMesh* m = meshes.at(name);
        for (unsigned v = 0; v < m->mNumVertices; ++v) b.Add(m->mVertices[v]);
        return b;
    }
    // Heights of the upward faces of a mesh, distinct to 1 mm, lowest first.
    std::vector<float> TopHeights(const std::string& name) const {
        std::set<int> mm;
        const aiMesh* m = meshes.at(name);
        for (unsigned f = 0; f < m->mNumFaces; ++f) {
            const aiFace& face = m->mFaces[f];
            aiVector3D a = m->mVertices[face.mIndices[0]], b = m->mVertices[face.mIndices[1]], c = m->mVertices[face.mIndices[2]];
            aiVector3D n = (b - a) ^ (c - a);
            if (n.Length() > 0 && n.Normalize().y > 0.999f) mm.insert(static_cast<int>(std::lround(a.y * 1000)));
        }
        std::vector<float> heights;
        for (int h : mm) heights.push_back(h / 1000.0f);
        return heights;
    }
    // The nearest hit straight down from a point over every mesh, or infinity.
    float DropDistance(aiVector3D from) const {
        float best = std::numeric_limits<float>::infinity();
        for (const auto& [name, m] : meshes) {
            for (unsigned f = 0; f < m->mNumFaces; ++f) {
                const aiFace& face = m->mFaces[f];
                aiVector3D a = m->mVertices[face.mIndices[0]], b = m->mVertices[face.mIndices[1]], c = m->mVertices[face.mIndices[2]];
                // Barycentric test in the XZ plane, then the height of the plane there.
                float d = (b.z - c.z) * (a.x - c.x) + (c.x - b.x) * (a.z - c.z);
                if (std::fabs(d) < 1e-9f) continue;
                float u = ((b.z - c.z) * (from.x - c.x) + (c.x - b.x) * (from.z - c.z)) / d;
                float v = ((c.z - a.z) * (from.x - c.x) + (a.x - c.x) * (from.z - c.z)) / d;
                if (u < 0 || v < 0 || u + v > 1) continue;
                float y = u * a.y + v * b.y + (1 - u - v) * c.y;
                if (y <= from.y) best = std::min(best, from.y - y);
            }
        }
        return best;
    }
};

}  // namespace

TEST(Level, ReadsBackWithOneMeshAndOneColouredMaterialPerKindOfThing) {
    Level level;
    ASSERT_NE(level.scene, nullptr) << level.importer.GetErrorString();
    std::set<std::string> names;
    for (const auto& [name, mesh] : level.meshes) names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{"Ground", "Steps", "Ramp", "Platform", "Pillars", "Walls"}));

    std::set<std::tuple<int, int, int>> colours;
    for (const auto& [name, mesh] : level.meshes) {
        SCOPED_TRACE(name);
        EXPECT_GT(mesh->mNumFaces, 0u);
        EXPECT_TRUE(mesh->HasNormals());
        aiColor4D c;
        ASSERT_EQ(aiGetMaterialColor(level.scene->mMaterials[mesh->mMaterialIndex], AI_MATKEY_COLOR_DIFFUSE, &c), aiReturn_SUCCESS);
        EXPECT_GT(c.r + c.g + c.b, 0.9f) << "bright enough to see under the flashlight";
        colours.insert({static_cast<int>(c.r * 100), static_cast<int>(c.g * 100), static_cast<int>(c.b * 100)});
    }
    EXPECT_EQ(colours.size(), level.meshes.size()) << "each kind of thing has its own colour";
}

TEST(Level, IsSixtyMetresAcrossWithOrWithoutTheFilesUnitScale) {
    for (unsigned flags : {0u, static_cast<unsigned>(aiProcess_GlobalScale)}) {
        SCOPED_TRACE(flags);
        Level level(flags);
        ASSERT_NE(level.scene, nullptr);
        Box ground = level.Bounds("Ground");
        EXPECT_NEAR(ground.hi.x - ground.lo.x, 60.0f, 1e-3f);
        EXPECT_NEAR(ground.hi.z - ground.lo.z, 60.0f, 1e-3f);
        EXPECT_NEAR(ground.hi.y, kFloor, 1e-4f);
        // The level is placed by its vertices alone: every node transform is the identity.
        for (unsigned i = 0; i < level.scene->mRootNode->mNumChildren; ++i)
            EXPECT_TRUE(level.scene->mRootNode->mChildren[i]->mTransformation.IsIdentity());
        EXPECT_TRUE(level.scene->mRootNode->mTransformation.IsIdentity());
    }
}

TEST(Level, ThePlayersStartIsOverTheGround) {
    Level level;
    ASSERT_NE(level.scene, nullptr);
    EXPECT_NEAR(level.DropDistance({-2, 1.5f, -5}), 1.5f - kFloor, 1e-4f);
    EXPECT_EQ(level.DropDistance({-2, 1.5f, -31}), std::numeric_limits<float>::infinity()) << "an open edge to fall off";
}

TEST(Level, StepsRiseLessThanHalfAMetreEach) {
    Level level;
    ASSERT_NE(level.scene, nullptr);
    std::vector<float> tops = level.TopHeights("Steps");
    ASSERT_GE(tops.size(), 4u);
    float below = kFloor;
    for (float top : tops) {
        EXPECT_GT(top - below, 0.05f);
        EXPECT_LT(top - below, 0.5f);
        below = top;
    }
    // Straight ahead of the start, the walker meets them.
    EXPECT_LT(level.DropDistance({-2, 5, 1}), 5 - kFloor);
}

TEST(Level, ThePlatformIsAboveEyeHeightButWithinAHop) {
    Level level;
    ASSERT_NE(level.scene, nullptr);
    std::vector<float> tops = level.TopHeights("Platform");
    ASSERT_EQ(tops.size(), 1u);
    float rise = tops[0] - kFloor;
    float hop = 2.0f * 2.0f / (2 * 9.8f);
    EXPECT_GT(rise, kEye) << "walking up to it does not lift the walker";
    EXPECT_LT(rise, kEye + hop * 0.75f) << "a hop gets the eyes over its top";
}

TEST(Level, PillarsAndWallsStandTallerThanTheWalker) {
    Level level;
    ASSERT_NE(level.scene, nullptr);
    EXPECT_GT(level.Bounds("Pillars").hi.y - kFloor, 3.0f);
    EXPECT_GT(level.Bounds("Walls").hi.y - kFloor, 1.9f);
    Box ramp = level.Bounds("Ramp");
    EXPECT_GT(ramp.hi.y - kFloor, 1.0f);
    std::vector<float> rampTops = level.TopHeights("Ramp");
    ASSERT_EQ(rampTops.size(), 1u) << "one flat top; the slope is not flat";
}

TEST(Level, EveryFaceWearsItsMapsAtOneSizeInMetres) {
    Level level;
    ASSERT_NE(level.scene, nullptr);
    const std::string folder = std::string(VANTOR_LEVEL).substr(0, std::string(VANTOR_LEVEL).rfind('/'));
    for (const auto& [name, m] : level.meshes) {
        SCOPED_TRACE(name);
        const aiMaterial& material = *level.scene->mMaterials[m->mMaterialIndex];
        for (aiTextureType type : {aiTextureType_DIFFUSE, aiTextureType_NORMALS}) {
            aiString map;
            ASSERT_EQ(material.GetTexture(type, 0, &map), aiReturn_SUCCESS) << "a colour map and a normal map";
            EXPECT_EQ(std::string(map.C_Str()).find('/'), std::string::npos) << "named beside the level: " << map.C_Str();
            std::ifstream file(folder + "/" + map.C_Str(), std::ios::binary);
            char signature[4] = {};
            EXPECT_TRUE(file.read(signature, 4) && std::string(signature + 1, 3) == "PNG") << map.C_Str();
        }
        ASSERT_TRUE(m->HasTextureCoords(0));
        // Metres of the level per unit of texture on each face: the same on floors, walls
        // and the slope (nothing stretched), between half a metre and 3 m.
        float lo = std::numeric_limits<float>::max(), hi = 0.0f;
        for (unsigned f = 0; f < m->mNumFaces; ++f) {
            const unsigned* i = m->mFaces[f].mIndices;
            const aiVector3D a = m->mVertices[i[0]], b = m->mVertices[i[1]], c = m->mVertices[i[2]];
            const aiVector3D s = m->mTextureCoords[0][i[0]], t = m->mTextureCoords[0][i[1]], u = m->mTextureCoords[0][i[2]];
            const float area = ((b - a) ^ (c - a)).Length(), mapped = std::fabs((t.x - s.x) * (u.y - s.y) - (u.x - s.x) * (t.y - s.y));
            ASSERT_GT(mapped, 0.0f) << "face " << f << " has its texture squashed to a line";
            lo = std::min(lo, std::sqrt(area / mapped));
            hi = std::max(hi, std::sqrt(area / mapped));
        }
        EXPECT_LT(hi / lo, 1.001f) << "from " << lo << " to " << hi << " m per unit";
        EXPECT_GE(lo, 0.5f);
        EXPECT_LE(hi, 3.0f);
    }
}
