#include "LevelMesh.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

namespace TestLevel {

std::vector<Vector3> Triangles() {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(VANTOR_LEVEL, aiProcess_Triangulate | aiProcess_PreTransformVertices);
    std::vector<Vector3> out;
    if (!scene) return out;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh* mesh = scene->mMeshes[m];
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            if (mesh->mFaces[f].mNumIndices != 3) continue;
            for (unsigned k = 0; k < 3; ++k) {
                const aiVector3D& v = mesh->mVertices[mesh->mFaces[f].mIndices[k]];
                out.push_back({v.x, v.y, v.z});
            }
        }
    }
    return out;
}

P3D_Body AddLevel() {
    const std::vector<Vector3> triangles = Triangles();
    P3D_BodyDesc desc = P3D_DefaultBody();
    desc.shape = P3D_SHAPE_MESH;
    desc.points = triangles.data();
    desc.pointCount = static_cast<int>(triangles.size());
    desc.id = 1;
    return P3D_CreateBody(&desc);
}

}  // namespace TestLevel
