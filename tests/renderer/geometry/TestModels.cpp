#include "TestModels.h"

#include <unistd.h>  // Required for: getpid

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <assimp/Exporter.hpp>
#include <assimp/scene.h>

#include "raymath.h"

namespace TestModels {

namespace {

void AddQuad(Shape& mesh, Vector3 a, Vector3 b, Vector3 c, Vector3 d) {
    // a, b, c, d counter-clockwise seen from the side the face points to.
    unsigned int base = static_cast<unsigned int>(mesh.positions.size());
    for (Vector3 p : {a, b, c, d}) mesh.positions.push_back(p);
    for (unsigned int i : {0u, 1u, 2u, 0u, 2u, 3u}) mesh.indices.push_back(base + i);
}

aiMatrix4x4 ToAssimp(const Matrix& m) {
    return aiMatrix4x4(m.m0, m.m4, m.m8, m.m12, m.m1, m.m5, m.m9, m.m13, m.m2, m.m6, m.m10, m.m14, m.m3, m.m7,
                       m.m11, m.m15);
}

}  // namespace

Shape Cube(float h) {
    Shape mesh;
    AddQuad(mesh, {-h, -h, h}, {h, -h, h}, {h, h, h}, {-h, h, h});      // +Z
    AddQuad(mesh, {h, -h, -h}, {-h, -h, -h}, {-h, h, -h}, {h, h, -h});  // -Z
    AddQuad(mesh, {h, -h, h}, {h, -h, -h}, {h, h, -h}, {h, h, h});      // +X
    AddQuad(mesh, {-h, -h, -h}, {-h, -h, h}, {-h, h, h}, {-h, h, -h});  // -X
    AddQuad(mesh, {-h, h, h}, {h, h, h}, {h, h, -h}, {-h, h, -h});      // +Y
    AddQuad(mesh, {-h, -h, -h}, {h, -h, -h}, {h, -h, h}, {-h, -h, h});  // -Y
    return mesh;
}

Shape Terrain(int cellsX, int cellsZ, float size, float amplitude) {
    Shape mesh;
    for (int z = 0; z <= cellsZ; z++) {
        for (int x = 0; x <= cellsX; x++) {
            float px = -size / 2 + size * x / cellsX;
            float pz = -size / 2 + size * z / cellsZ;
            float py = amplitude * sinf(px * 0.7f) * cosf(pz * 0.5f);
            mesh.positions.push_back({px, py, pz});
            mesh.texcoords.push_back({static_cast<float>(x) / cellsX, static_cast<float>(z) / cellsZ});
        }
    }
    for (int z = 0; z < cellsZ; z++) {
        for (int x = 0; x < cellsX; x++) {
            unsigned int i = static_cast<unsigned int>(z * (cellsX + 1) + x);
            unsigned int row = static_cast<unsigned int>(cellsX + 1);
            // Up-facing: (x,z) -> (x,z+1) -> (x+1,z+1) is counter-clockwise seen from +Y.
            for (unsigned int k : {i, i + row, i + row + 1, i, i + row + 1, i + 1}) mesh.indices.push_back(k);
        }
    }
    return mesh;
}

Shape Pyramid(float h, float height) {
    Shape mesh;
    Vector3 top = {0, height, 0};
    Vector3 corners[4] = {{-h, 0, h}, {h, 0, h}, {h, 0, -h}, {-h, 0, -h}};
    for (int i = 0; i < 4; i++) {
        unsigned int base = static_cast<unsigned int>(mesh.positions.size());
        mesh.positions.push_back(corners[i]);
        mesh.positions.push_back(corners[(i + 1) % 4]);
        mesh.positions.push_back(top);
        for (unsigned int k = 0; k < 3; k++) mesh.indices.push_back(base + k);
    }
    return mesh;
}

std::string Export(const std::vector<Shape>& meshes, const std::string& formatId, const std::string& path,
                   bool shareNode) {
    aiScene* scene = new aiScene();
    unsigned int count = static_cast<unsigned int>(meshes.size());
    unsigned int owners = shareNode ? 1 : count;  // nodes and materials
    scene->mRootNode = new aiNode("root");
    scene->mRootNode->mNumChildren = owners;
    scene->mRootNode->mChildren = new aiNode*[owners];
    scene->mNumMeshes = count;
    scene->mMeshes = new aiMesh*[count];
    scene->mNumMaterials = owners;
    scene->mMaterials = new aiMaterial*[owners];
    std::vector<aiTexture*> embedded;

    for (unsigned int m = 0; m < count; m++) {
        const Shape& shape = meshes[m];
        aiMesh* mesh = new aiMesh();
        mesh->mName = aiString("mesh" + std::to_string(m));
        mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
        mesh->mMaterialIndex = shareNode ? 0 : m;
        mesh->mNumVertices = static_cast<unsigned int>(shape.positions.size());
        mesh->mVertices = new aiVector3D[mesh->mNumVertices];
        for (unsigned int i = 0; i < mesh->mNumVertices; i++) {
            mesh->mVertices[i] = aiVector3D(shape.positions[i].x, shape.positions[i].y, shape.positions[i].z);
        }
        if (!shape.texcoords.empty()) {
            mesh->mNumUVComponents[0] = 2;
            mesh->mTextureCoords[0] = new aiVector3D[mesh->mNumVertices];
            for (unsigned int i = 0; i < mesh->mNumVertices; i++) {
                mesh->mTextureCoords[0][i] = aiVector3D(shape.texcoords[i].x, shape.texcoords[i].y, 0.0f);
            }
        }
        mesh->mNumFaces = static_cast<unsigned int>(shape.indices.size() / 3);
        mesh->mFaces = new aiFace[mesh->mNumFaces];
        for (unsigned int f = 0; f < mesh->mNumFaces; f++) {
            mesh->mFaces[f].mNumIndices = 3;
            mesh->mFaces[f].mIndices = new unsigned int[3];
            for (int k = 0; k < 3; k++) mesh->mFaces[f].mIndices[k] = shape.indices[f * 3 + k];
        }
        if (shape.writeNormals) {
            mesh->mNormals = new aiVector3D[mesh->mNumVertices];
            for (unsigned int f = 0; f < mesh->mNumFaces; f++) {
                const unsigned int* idx = mesh->mFaces[f].mIndices;
                aiVector3D n = ((mesh->mVertices[idx[1]] - mesh->mVertices[idx[0]]) ^
                                (mesh->mVertices[idx[2]] - mesh->mVertices[idx[0]]))
                                   .NormalizeSafe();
                for (int k = 0; k < 3; k++) mesh->mNormals[idx[k]] = n;
            }
        }
        scene->mMeshes[m] = mesh;
        if (shareNode && m > 0) continue;

        aiMaterial* material = new aiMaterial();
        aiString name("material" + std::to_string(m));
        material->AddProperty(&name, AI_MATKEY_NAME);
        aiColor4D color(shape.color.r / 255.0f, shape.color.g / 255.0f, shape.color.b / 255.0f, shape.color.a / 255.0f);
        material->AddProperty(&color, 1, AI_MATKEY_COLOR_DIFFUSE);
        material->AddProperty(&color, 1, AI_MATKEY_BASE_COLOR);
        if (!shape.texturePath.empty()) {
            aiString texture(shape.texturePath);
            if (shape.embedTexture) {
                std::ifstream file(shape.texturePath, std::ios::binary);
                std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
                aiTexture* image = new aiTexture();
                image->mWidth = static_cast<unsigned int>(bytes.size());  // compressed: width is the byte count
                image->mHeight = 0;
                strcpy(image->achFormatHint, "png");
                image->pcData = new aiTexel[(bytes.size() + sizeof(aiTexel) - 1) / sizeof(aiTexel)];
                memcpy(image->pcData, bytes.data(), bytes.size());
                texture = aiString("*" + std::to_string(embedded.size()));
                embedded.push_back(image);
            }
            material->AddProperty(&texture, AI_MATKEY_TEXTURE_DIFFUSE(0));
        }
        scene->mMaterials[m] = material;

        aiNode* node = new aiNode("node" + std::to_string(m));
        node->mParent = scene->mRootNode;
        node->mTransformation = ToAssimp(shape.nodeTransform);
        node->mNumMeshes = shareNode ? count : 1;
        node->mMeshes = new unsigned int[node->mNumMeshes];
        for (unsigned int k = 0; k < node->mNumMeshes; k++) node->mMeshes[k] = shareNode ? k : m;
        scene->mRootNode->mChildren[m] = node;
    }

    if (!embedded.empty()) {
        scene->mNumTextures = static_cast<unsigned int>(embedded.size());
        scene->mTextures = new aiTexture*[embedded.size()];
        for (size_t i = 0; i < embedded.size(); i++) scene->mTextures[i] = embedded[i];
    }

    Assimp::Exporter exporter;
    std::string error;
    if (exporter.Export(scene, formatId, path) != aiReturn_SUCCESS) {
        error = exporter.GetErrorString();
        if (error.empty()) error = "export to " + formatId + " failed";
    }
    delete scene;
    return error;
}

namespace {
// One folder per process under TMPDIR (or the system's default), holding every named
// folder; removed with its contents when static objects are destroyed at exit.
struct ProcessFolder {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("vantor-geometry-" + std::to_string(getpid()));
    ~ProcessFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};
}  // namespace

std::string TempDir(const std::string& name) {
    static ProcessFolder root;
    std::filesystem::path dir = root.path / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::vector<Vector3> PlacedTriangles(const Shape& mesh) {
    std::vector<Vector3> out;
    out.reserve(mesh.indices.size());
    for (unsigned int i : mesh.indices) out.push_back(Vector3Transform(mesh.positions[i], mesh.nodeTransform));
    return out;
}

}  // namespace TestModels
