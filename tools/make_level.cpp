// Writes the sample game's level, "base.fbx", at build time.
//
//   make_level <output.fbx>
//
// The level is built from boxes and one wedge, in metres, +Y up, with the
// floor's top at y = -1 so that the player, placed at (-2, 1.5, -5) by the
// game, drops onto it and settles 1.6 above it. One mesh per kind of thing,
// each with its own material colour, which tints its surface's maps
// (level_materials.h, written beside the level):
//   Ground    60 x 60 slab                                                       concrete
//   Steps     six steps of 0.3 straight ahead of the start, then a landing     tiles
//   Ramp      a slope up to 1.2, then a block to stand on                      painted metal
//   Platform  a block 1.7 high: higher than the walker's eyes, so only a jump  painted metal
//             gets it on top
//   Pillars   posts 4 high that throw the flashlight's shadows                 painted metal
//   Walls     a back wall, a side wall and a short wall near the start         tiles
// Two edges of the ground are left open so a walker can walk off and fall.
//
// It is written with assimp's ASCII FBX writer ("fbxa"): the binary writer of
// the assimp we build with writes files its own importer refuses. The tool
// reads its output back and fails the build if the meshes, their texture
// coordinates or their materials' maps do not come back.
#include <assimp/Exporter.hpp>   // Required for: Assimp::Exporter
#include <assimp/Importer.hpp>   // Required for: reading the file back
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/Files.h"

#include "level_materials.h"

namespace {

constexpr float kFloor = -1.0f;  // top of the ground

struct Vec {
    float x, y, z;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator*(Vec a, float s) { return {a.x * s, a.y * s, a.z * s}; }
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Normalised(Vec a) {
    float l = std::sqrt(Dot(a, a));
    return {a.x / l, a.y / l, a.z / l};
}

// Flat-shaded triangles of one mesh: every face has its own corners so that
// normals stay sharp at the edges. Texture coordinates are in metres across each
// face: along x and then z (or up the slope) on floors, along the wall and up from
// the ground's top on walls, so the maps keep their size everywhere and rows of tiles
// start at the floor.
struct Part {
    std::string name;
    Vec colour;
    level::Kind surface;
    std::vector<Vec> positions, normals, metres;

    // A convex planar polygon, wound so that it faces `outward`.
    void Face(std::vector<Vec> corners, Vec outward) {
        Vec n = Normalised(Cross(corners[1] - corners[0], corners[2] - corners[0]));
        if (Dot(n, outward) < 0) {
            corners = {corners.rbegin(), corners.rend()};
            n = {-n.x, -n.y, -n.z};
        }
        Vec across{1, 0, 0}, up{0, 1, 0};
        if (std::fabs(n.y) >= 0.5f) {
            across = Normalised(across - n * Dot(n, across));
            up = Cross(across, n);
        } else {
            across = Normalised(Cross(up, n));
            up = Cross(n, across);
        }
        for (size_t i = 1; i + 1 < corners.size(); ++i) {
            for (Vec p : {corners[0], corners[i], corners[i + 1]}) {
                positions.push_back(p);
                normals.push_back(n);
                const Vec from = p - Vec{0, kFloor, 0};
                metres.push_back({Dot(from, across), Dot(from, up), 0});
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
    Part ground{"Ground", {0.55f, 0.56f, 0.52f}, level::Kind::kConcrete, {}, {}, {}};
    ground.Box(-30, kFloor - 0.5f, -30, 30, kFloor, 30);

    // Straight ahead of the start (the walker looks along +Z at first).
    Part steps{"Steps", {0.82f, 0.70f, 0.48f}, level::Kind::kTiles, {}, {}, {}};
    const float rise = 0.3f, tread = 0.7f;
    for (int k = 1; k <= 6; ++k) {
        float z0 = (k - 1) * tread, z1 = k == 6 ? 7.0f : k * tread;
        steps.Block(-4, z0, 0, z1, k * rise);
    }

    Part ramp{"Ramp", {0.45f, 0.55f, 0.72f}, level::Kind::kPaintedMetal, {}, {}, {}};
    ramp.Wedge(4, 0, 7, 8, 1.2f);
    ramp.Block(4, 8, 7, 11, 1.2f);

    Part platform{"Platform", {0.72f, 0.30f, 0.24f}, level::Kind::kPaintedMetal, {}, {}, {}};
    platform.Block(-12, 2, -8, 8, 1.7f);

    Part pillars{"Pillars", {0.88f, 0.87f, 0.82f}, level::Kind::kPaintedMetal, {}, {}, {}};
    for (Vec at : std::vector<Vec>{{2, 0, 12}, {-6, 0, 12}, {10, 0, 15}, {-14, 0, 15}, {-2, 0, 18}, {1.5f, 0, -1}})
        pillars.Block(at.x - 0.4f, at.z - 0.4f, at.x + 0.4f, at.z + 0.4f, 4);

    Part walls{"Walls", {0.42f, 0.58f, 0.42f}, level::Kind::kTiles, {}, {}, {}};
    walls.Block(-16, 22, 16, 22.5f, 3);
    walls.Block(-20.5f, -10, -20, 14, 2.5f);
    walls.Block(8, -10, 8.5f, -4, 2);

    return {ground, steps, ramp, platform, pillars, walls};
}

// The scene owns everything it points to and frees it with delete/delete[].
// A material's colour is its part's colour divided by its maps' mean, so that the
// level keeps the colours it had before it had maps.
aiScene* MakeScene(const std::vector<Part>& parts, const std::array<std::array<float, 3>, level::kKinds>& meanColour) {
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

        const level::Surface& surface = level::SurfaceOf(part.surface);
        const std::array<float, 3>& mean = meanColour[static_cast<int>(part.surface)];
        auto* material = new aiMaterial();
        aiString name(part.name);
        material->AddProperty(&name, AI_MATKEY_NAME);
        const float tint[3] = {std::min(part.colour.x / mean[0], 1.0f), std::min(part.colour.y / mean[1], 1.0f),
                               std::min(part.colour.z / mean[2], 1.0f)};
        aiColor4D base(tint[0], tint[1], tint[2], 1.0f);
        aiColor3D diffuse(tint[0], tint[1], tint[2]);
        material->AddProperty(&base, 1, AI_MATKEY_BASE_COLOR);
        material->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
        material->AddProperty(&surface.shininess, 1, AI_MATKEY_SHININESS);
        aiString colourMap(surface.colourFile), normalMap(surface.normalFile);
        material->AddProperty(&colourMap, AI_MATKEY_TEXTURE_DIFFUSE(0));
        material->AddProperty(&normalMap, AI_MATKEY_TEXTURE_NORMALS(0));
        scene->mMaterials[i] = material;

        auto* mesh = new aiMesh();
        mesh->mName = aiString(part.name);
        mesh->mMaterialIndex = i;
        mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
        mesh->mNumVertices = static_cast<unsigned>(part.positions.size());
        mesh->mVertices = new aiVector3D[mesh->mNumVertices];
        mesh->mNormals = new aiVector3D[mesh->mNumVertices];
        mesh->mTextureCoords[0] = new aiVector3D[mesh->mNumVertices];
        mesh->mNumUVComponents[0] = 2;
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            mesh->mVertices[v] = aiVector3D(part.positions[v].x, part.positions[v].y, part.positions[v].z);
            mesh->mNormals[v] = aiVector3D(part.normals[v].x, part.normals[v].y, part.normals[v].z);
            mesh->mTextureCoords[0][v] = aiVector3D(part.metres[v].x, part.metres[v].y, 0) / surface.metresPerRepeat;
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

// What is wrong with a mesh read back from the level, or "": it must keep its texture
// coordinates (spread over its faces, not collapsed), get tangents from them, and its
// material must name its surface's maps, which must lie beside the level.
std::string Fault(const aiScene& back, const aiMesh& mesh, const Part& part, const std::string& folder) {
    if (!mesh.HasTextureCoords(0)) return "lost its texture coordinates";
    aiVector3D lo = mesh.mTextureCoords[0][0], hi = lo;
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
        const aiVector3D& uv = mesh.mTextureCoords[0][v];
        lo = {std::min(lo.x, uv.x), std::min(lo.y, uv.y), 0};
        hi = {std::max(hi.x, uv.x), std::max(hi.y, uv.y), 0};
    }
    if (!(hi.x - lo.x > 0.1f && hi.y - lo.y > 0.1f)) return "has texture coordinates that do not spread over it";
    if (!mesh.HasTangentsAndBitangents()) return "gets no tangents for its normal map";
    const level::Surface& surface = level::SurfaceOf(part.surface);
    const aiMaterial& material = *back.mMaterials[mesh.mMaterialIndex];
    for (const auto& [type, want] : {std::pair<aiTextureType, const char*>{aiTextureType_DIFFUSE, surface.colourFile},
                                     std::pair<aiTextureType, const char*>{aiTextureType_NORMALS, surface.normalFile}}) {
        aiString named;
        if (material.GetTexture(type, 0, &named) != AI_SUCCESS) return std::string("lost its map ") + want;
        if (std::strcmp(named.C_Str(), want) != 0) return std::string("names its map ") + want + " as \"" + named.C_Str() + "\"";
        const base::FileData map = base::ReadFile(folder + "/" + want, 64u << 20);
        const bool png = map.bytes.size() >= 8 && std::memcmp(map.bytes.data(), "\x89PNG\r\n\x1a\n", 8) == 0;
        if (!png) return std::string("names ") + want + ", which is not a PNG beside the level";
    }
    return {};
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_level <output.fbx>\n");
        return 2;
    }
    const std::string path = argv[1];
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::array<std::array<float, 3>, level::kKinds> meanColour{};
    if (!level::WriteSurfaces(folder, &meanColour)) return 1;
    const std::vector<Part> parts = BuildLevel();
    aiScene* scene = MakeScene(parts, meanColour);

    Assimp::Exporter exporter;
    aiReturn written = exporter.Export(scene, "fbxa", path);
    delete scene;
    if (written != aiReturn_SUCCESS) {
        std::fprintf(stderr, "make_level: could not write %s: %s\n", path.c_str(), exporter.GetErrorString());
        return 1;
    }

    // Read it back the way the renderer does, so a broken level stops the build here.
    Assimp::Importer importer;
    const aiScene* back = importer.ReadFile(path, aiProcess_Triangulate | aiProcess_GenSmoothNormals | aiProcess_CalcTangentSpace);
    if (!back || back->mNumMeshes != parts.size()) {
        std::fprintf(stderr, "make_level: %s does not read back with %zu meshes: %s\n", path.c_str(), parts.size(),
                     back ? "wrong mesh count" : importer.GetErrorString());
        return 1;
    }
    for (const Part& part : parts) {
        const aiMesh* mesh = nullptr;
        for (unsigned i = 0; i < back->mNumMeshes; ++i) {
            if (part.name == back->mMeshes[i]->mName.C_Str()) mesh = back->mMeshes[i];
        }
        const std::string fault = mesh ? Fault(*back, *mesh, part, folder) : "is missing";
        if (!fault.empty()) {
            std::fprintf(stderr, "make_level: %s reads back wrong: mesh %s %s\n", path.c_str(), part.name.c_str(), fault.c_str());
            return 1;
        }
    }
    return 0;
}
