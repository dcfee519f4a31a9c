#include "BoxFile.h"

#include <assimp/Exporter.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>

namespace TestFiles {

namespace {

// Six faces, four corners each, two counter-clockwise triangles seen from outside.
const float kFaces[6][4][3] = {
    {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},      // +X
    {{-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}},  // -X
    {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},      // +Y
    {{-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}, {1, -1, 1}},  // -Y
    {{1, -1, 1}, {1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}},      // +Z
    {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}},  // -Z
};
const unsigned kCorners[2][3] = {{0, 1, 2}, {0, 2, 3}};

}  // namespace

std::vector<Vector3> BoxTriangles(float half) {
    std::vector<Vector3> out;
    for (const auto& face : kFaces)
        for (const auto& triangle : kCorners)
            for (unsigned k : triangle) out.push_back({face[k][0] * half, face[k][1] * half, face[k][2] * half});
    return out;
}

std::string WriteBox(const std::string& path, float half, const std::string& formatId) {
    aiScene scene;
    scene.mRootNode = new aiNode("root");
    scene.mNumMaterials = 1;
    scene.mMaterials = new aiMaterial*[1];
    scene.mMaterials[0] = new aiMaterial();
    aiColor4D white(1, 1, 1, 1);
    scene.mMaterials[0]->AddProperty(&white, 1, AI_MATKEY_COLOR_DIFFUSE);
    scene.mNumMeshes = 1;
    scene.mMeshes = new aiMesh*[1];
    aiMesh* mesh = scene.mMeshes[0] = new aiMesh();
    mesh->mMaterialIndex = 0;
    mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    mesh->mNumVertices = 24;
    mesh->mVertices = new aiVector3D[24];
    mesh->mNumFaces = 12;
    mesh->mFaces = new aiFace[12];
    for (unsigned f = 0; f < 6; ++f) {
        for (unsigned c = 0; c < 4; ++c)
            mesh->mVertices[f * 4 + c] = aiVector3D(kFaces[f][c][0] * half, kFaces[f][c][1] * half, kFaces[f][c][2] * half);
        for (unsigned t = 0; t < 2; ++t) {
            aiFace& face = mesh->mFaces[f * 2 + t];
            face.mNumIndices = 3;
            face.mIndices = new unsigned[3];
            for (unsigned k = 0; k < 3; ++k) face.mIndices[k] = f * 4 + kCorners[t][k];
        }
    }
    scene.mRootNode->mNumMeshes = 1;
    scene.mRootNode->mMeshes = new unsigned[1]{0};

    Assimp::Exporter exporter;
    if (exporter.Export(&scene, formatId, path) != AI_SUCCESS) return exporter.GetErrorString();
    return "";
}

}  // namespace TestFiles
