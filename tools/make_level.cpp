// Writes the sample game's level, "base.fbx", at build time.
//
//   make_level <output.fbx>
//
// The level is built from boxes and one wedge, in metres, +Y up, with the
// floor's top at y = -1 so that the player, placed at (-2, 1.5, -5) by the
// game, drops onto it and settles 1.6 above it. One mesh per kind of thing,
// each with its own material colour:
//   Ground    60 x 60 slab
//   Steps     six steps of 0.3 straight ahead of the start, then a landing
//   Ramp      a slope up to 1.2, then a block to stand on
//   Platform  a block 1.7 high: higher than the walker's eyes, so only a jump gets it on top
//   Pillars   posts 4 high that throw the flashlight's shadows
//   Walls     a back wall, a side wall and a short wall near the start
// Two edges of the ground are left open so a walker can walk off and fall.
//
// It is written with assimp's ASCII FBX writer ("fbxa"): the binary writer of
// the assimp we build with writes files its own importer refuses. The tool
// reads its output back and fails the build if the meshes do not come back.
#include <assimp/Exporter.hpp>   // Required for: Assimp::Exporter
#include <assimp/Importer.hpp>   // Required for: reading the file back
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr float kFloor = -1.0f;  // top of the ground

struct Vec {
    float x, y, z;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Normalised(Vec a) {
    float l = std::sqrt(Dot(a, a));
    return {a.x / l, a.y / l, a.z / l};
}

// Flat-shaded triangles of one mesh: every face has its own corners so that
// normals stay sharp at the edges.
struct Part {
    std::string name;
    Vec colour;
    std::vector<Vec> positions, normals;

    // A convex planar polygon, wound so that it faces `outward`.
    void Face(std::vector<Vec> corners, Vec outward) {
        Vec n = Normalised(Cross(corners[1] - corners[0], corners[2] - corners[0]));
        if (Dot(n, outward) < 0) {
            corners = {corners.rbegin(), corners.rend()};
            n = {-n.x, -n.y, -n.z};
        }
        for (size_t i = 1; i + 1 < corners.size(); ++i) {
            for (Vec p : {corners[0], corners[i], corners[i + 1]}) {
                positions.push_back(p);
                normals.push_back(n);
            }
        }
    }

    // An axis-aligned box from x0..x1, y0..y1, z0..z1.
    void Box(float x0, float y0, float z0, float x1, float y1, float z1) {
        Face({{x0, y1, z0}, {x1, y1, z0}, {x1, y1, z1}, {x0, y1, z1}}, {0, 1, 0});
        Face({{x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}}, {0, -1, 0});
        Face({{x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1}}, {1, 0, 0});
        Face({{x0, y0, z0}, {x0, y1, z0}, {x0, y1, z1}, {x0, y0, z1}}, {-1, 0, 0});
        Face({{x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}}, {0, 0, 1});
        Face({{x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0}}, {0, 0, -1});
    }

    // A box standing on the floor with its top `height` above it.
    void Block(float x0, float z0, float x1, float z1, float height) { Box(x0, kFloor, z0, x1, kFloor + height, z1); }

    // A slope across x0..x1 rising along +Z from the floor at z0 to `height` at z1.
    void Wedge(float x0, float z0, float x1, float z1, float height) {
        float y0 = kFloor, y1 = kFloor + height;
        Vec slopeUp = Normalised(Cross({1, 0, 0}, {0, height, z1 - z0}));
        Face({{x0, y0, z0}, {x1, y0, z0}, {x1, y1, z1}, {x0, y1, z1}}, slopeUp);
        Face({{x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}}, {0, -1, 0});
        Face({{x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}}, {0, 0, 1});
        Face({{x0, y0, z0}, {x0, y0, z1}, {x0, y1, z1}}, {-1, 0, 0});
        Face({{x1, y0, z0}, {x1, y0, z1}, {x1, y1, z1}}, {1, 0, 0});
    }
};

std::vector<Part> BuildLevel() {
    Part ground{"Ground", {0.55f, 0.56f, 0.52f}, {}, {}};
    ground.Box(-30, kFloor - 0.5f, -30, 30, kFloor, 30);

    // Straight ahead of the start (the walker looks along +Z at first).
    Part steps{"Steps", {0.82f, 0.70f, 0.48f}, {}, {}};
    const float rise = 0.3f, tread = 0.7f;
    for (int k = 1; k <= 6; ++k) {
        float z0 = (k - 1) * tread, z1 = k == 6 ? 7.0f : k * tread;
        steps.Block(-4, z0, 0, z1, k * rise);
    }

    Part ramp{"Ramp", {0.45f, 0.55f, 0.72f}, {}, {}};
    ramp.Wedge(4, 0, 7, 8, 1.2f);
    ramp.Block(4, 8, 7, 11, 1.2f);

    Part platform{"Platform", {0.72f, 0.30f, 0.24f}, {}, {}};
    platform.Block(-12, 2, -8, 8, 1.7f);

    Part pillars{"Pillars", {0.88f, 0.87f, 0.82f}, {}, {}};
    for (Vec at : std::vector<Vec>{{2, 0, 12}, {-6, 0, 12}, {10, 0, 15}, {-14, 0, 15}, {-2, 0, 18}, {1.5f, 0, -1}})
        pillars.Block(at.x - 0.4f, at.z - 0.4f, at.x + 0.4f, at.z + 0.4f, 4);

    Part walls{"Walls", {0.42f, 0.58f, 0.42f}, {}, {}};
    walls.Block(-16, 22, 16, 22.5f, 3);
    walls.Block(-20.5f, -10, -20, 14, 2.5f);
    walls.Block(8, -10, 8.5f, -4, 2);

    return {ground, steps, ramp, platform, pillars, walls};
}

// The scene owns everything it points to and frees it with delete/delete[].
aiScene* MakeScene(const std::vector<Part>& parts) {
    auto* scene = new aiScene();
    scene->mRootNode = new aiNode("Level");
    // FBX counts in centimetres unless told otherwise: 100 says "metres", so
    // the level is the same size whether or not a reader applies the unit scale.
    scene->mMetaData = aiMetadata::Alloc(2);
    scene->mMetaData->Set(0, "UnitScaleFactor", 100.0);
    scene->mMetaData->Set(1, "OriginalUnitScaleFactor", 100.0);
    scene->mNumMeshes = scene->mNumMaterials = static_cast<unsigned>(parts.size());
    scene->mMeshes = new aiMesh*[parts.size()];
    scene->mMaterials = new aiMaterial*[parts.size()];
    scene->mRootNode->mNumChildren = static_cast<unsigned>(parts.size());
    scene->mRootNode->mChildren = new aiNode*[parts.size()];

    for (unsigned i = 0; i < parts.size(); ++i) {
        const Part& part = parts[i];

        auto* material = new aiMaterial();
        aiString name(part.name);
        material->AddProperty(&name, AI_MATKEY_NAME);
        aiColor4D base(part.colour.x, part.colour.y, part.colour.z, 1.0f);
        aiColor3D diffuse(part.colour.x, part.colour.y, part.colour.z);
        material->AddProperty(&base, 1, AI_MATKEY_BASE_COLOR);
        material->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
        scene->mMaterials[i] = material;

        auto* mesh = new aiMesh();
        mesh->mName = aiString(part.name);
        mesh->mMaterialIndex = i;
        mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
        mesh->mNumVertices = static_cast<unsigned>(part.positions.size());
        mesh->mVertices = new aiVector3D[mesh->mNumVertices];
        mesh->mNormals = new aiVector3D[mesh->mNumVertices];
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            mesh->mVertices[v] = aiVector3D(part.positions[v].x, part.positions[v].y, part.positions[v].z);
            mesh->mNormals[v] = aiVector3D(part.normals[v].x, part.normals[v].y, part.normals[v].z);
        }
        mesh->mNumFaces = mesh->mNumVertices / 3;
        mesh->mFaces = new aiFace[mesh->mNumFaces];
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            mesh->mFaces[f].mNumIndices = 3;
            mesh->mFaces[f].mIndices = new unsigned[3]{3 * f, 3 * f + 1, 3 * f + 2};
        }
        scene->mMeshes[i] = mesh;

        auto* node = new aiNode(part.name);
        node->mParent = scene->mRootNode;
        node->mNumMeshes = 1;
        node->mMeshes = new unsigned[1]{i};
        scene->mRootNode->mChildren[i] = node;
    }
    return scene;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_level <output.fbx>\n");
        return 2;
    }
    const std::string path = argv[1];
    const std::vector<Part> parts = BuildLevel();
    aiScene* scene = MakeScene(parts);

    Assimp::Exporter exporter;
    aiReturn written = exporter.Export(scene, "fbxa", path);
    delete scene;
    if (written != aiReturn_SUCCESS) {
        std::fprintf(stderr, "make_level: could not write %s: %s\n", path.c_str(), exporter.GetErrorString());
        return 1;
    }

    // Read it back the way the renderer does, so a broken level stops the build here.
    Assimp::Importer importer;
    const aiScene* back = importer.ReadFile(path, aiProcess_Triangulate | aiProcess_GenSmoothNormals);
    if (!back || back->mNumMeshes != parts.size()) {
        std::fprintf(stderr, "make_level: %s does not read back with %zu meshes: %s\n", path.c_str(), parts.size(),
                     back ? "wrong mesh count" : importer.GetErrorString());
        return 1;
    }
    return 0;
}
