// Model import through assimp: every mesh of every node, with the node's transform
// baked into the vertices, a BVH per mesh for ray tests, and (when a window is open)
// GPU buffers and the materials' textures (materials.cpp).
//
// Units are the file's own: no unit scale is applied (FBX files keep the numbers they
// store), so what an artist typed in the file is what the game sees.
#include <cmath>    // Required for: fabsf
#include <cstring>  // Required for: memcpy
#include <string>

#include <assimp/DefaultIOSystem.h>
#include <assimp/Importer.hpp>
#include <assimp/MemoryIOWrapper.h>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "base/Log.h"
#include "base/Numbers.h"

#include "geometry/bvh.h"
#include "internal.h"
#include "geometry/lod.h"
#include "import/model_check.h"
#include "import/materials.h"
#include "import/skeleton.h"
#include "animation/pose.h"
#include "raymath.h"  // Required for: Vector3CrossProduct(), Vector3Subtract()
#include "rlgl.h"  // Required for: rlLoadVertexArray, rlLoadVertexBuffer, rlSetVertexAttribute, rlUnloadTexture

namespace {

struct Loader {
    const aiScene* scene = nullptr;
    const r3d::SkeletonImport* skeleton = nullptr;
    bool gpu = false;       // a GL context exists: upload buffers and textures
    R3D_ModelData* data = nullptr;
    bool nonFinite = false;  // a vertex position came out infinite or NaN
};

void UploadMesh(R3D_MeshData& mesh) {
    mesh.vao = rlLoadVertexArray();
    rlEnableVertexArray(mesh.vao);
    const r3d::GpuVertices gpu = r3d::LodVertexArrays(mesh);  // the mesh's vertices and its levels' copies
    int vertexCount = static_cast<int>(gpu.positions.size());

    mesh.vboPositions = rlLoadVertexBuffer(gpu.positions.data(), vertexCount * 3 * sizeof(float), false);
    rlSetVertexAttribute(r3d::kAttribPosition, 3, RL_FLOAT, false, 0, 0);
    rlEnableVertexAttribute(r3d::kAttribPosition);

    mesh.vboTexcoords = rlLoadVertexBuffer(gpu.texcoords.data(), vertexCount * 2 * sizeof(float), false);
    rlSetVertexAttribute(r3d::kAttribTexcoord, 2, RL_FLOAT, false, 0, 0);
    rlEnableVertexAttribute(r3d::kAttribTexcoord);

    mesh.vboNormals = rlLoadVertexBuffer(gpu.normals.data(), vertexCount * 3 * sizeof(float), false);
    rlSetVertexAttribute(r3d::kAttribNormal, 3, RL_FLOAT, false, 0, 0);
    rlEnableVertexAttribute(r3d::kAttribNormal);

    if (!gpu.tangents.empty()) {
        mesh.vboTangents = rlLoadVertexBuffer(gpu.tangents.data(), vertexCount * 4 * sizeof(float), false);
        rlSetVertexAttribute(r3d::kAttribTangent, 4, RL_FLOAT, false, 0, 0);
        rlEnableVertexAttribute(r3d::kAttribTangent);
    }
    if (!gpu.colors.empty()) {
        mesh.vboColors = rlLoadVertexBuffer(gpu.colors.data(), vertexCount * 4, false);
        rlSetVertexAttribute(r3d::kAttribColor, 4, RL_UNSIGNED_BYTE, true, 0, 0);
        rlEnableVertexAttribute(r3d::kAttribColor);
    }

    if (!gpu.skin.empty()) {
        std::vector<unsigned char> joints(gpu.skin.size() * 4);
        std::vector<float> weights(gpu.skin.size() * 4);
        for (size_t v = 0; v < gpu.skin.size(); ++v) {
            for (int k = 0; k < 4; ++k) {
                joints[v * 4 + k] = gpu.skin[v].joint[k];
                weights[v * 4 + k] = gpu.skin[v].weight[k];
            }
        }
        mesh.vboJoints = rlLoadVertexBuffer(joints.data(), vertexCount * 4, false);
        rlSetVertexAttribute(r3d::kAttribJoints, 4, RL_UNSIGNED_BYTE, false, 0, 0);
        rlEnableVertexAttribute(r3d::kAttribJoints);
        mesh.vboWeights = rlLoadVertexBuffer(weights.data(), vertexCount * 4 * sizeof(float), false);
        rlSetVertexAttribute(r3d::kAttribWeights, 4, RL_FLOAT, false, 0, 0);
        rlEnableVertexAttribute(r3d::kAttribWeights);
    }

    mesh.ebo = r3d::UploadLodIndices(mesh);  // every level of detail, full detail first
    rlDisableVertexArray();
}

Color ToColor(const aiColor4D& c) {
    auto channel = [](float v) {
        v = v > 0.0f ? (v > 1.0f ? 1.0f : v) : 0.0f;  // NaN (a file's "nan") counts as 0
        return static_cast<unsigned char>(v * 255.0f + 0.5f);
    };
    return Color{channel(c.r), channel(c.g), channel(c.b), channel(c.a)};
}

// Vertex colours that change anything: exporters often write an all-white layer.
bool HasVertexColours(const aiMesh* mesh) {
    if (mesh->mColors[0] == nullptr) return false;
    for (unsigned int i = 0; i < mesh->mNumVertices; i++) {
        const Color c = ToColor(mesh->mColors[0][i]);
        if (c.r != 255 || c.g != 255 || c.b != 255 || c.a != 255) return true;
    }
    return false;
}

// Which way each vertex's bitangent points, from the triangles' texture coordinates: the
// normal map's green channel means "up in the image" (towards smaller v in our
// top-row-first coordinates). Taken from the geometry rather than from the importer,
// whose bitangents point one way for tangents it computed and the other for a file's.
void SetHandedness(R3D_MeshData& mesh) {
    std::vector<Vector3> up(mesh.positions.size(), Vector3{0.0f, 0.0f, 0.0f});
    for (size_t k = 0; k + 2 < mesh.indices.size(); k += 3) {
        const uint32_t a = mesh.indices[k], b = mesh.indices[k + 1], c = mesh.indices[k + 2];
        const Vector3 e1 = Vector3Subtract(mesh.positions[b], mesh.positions[a]);
        const Vector3 e2 = Vector3Subtract(mesh.positions[c], mesh.positions[a]);
        const Vector2 t1 = Vector2Subtract(mesh.texcoords[b], mesh.texcoords[a]);
        const Vector2 t2 = Vector2Subtract(mesh.texcoords[c], mesh.texcoords[a]);
        const float det = t1.x * t2.y - t2.x * t1.y;
        if (det == 0.0f) continue;
        // -dP/dv, scaled by the sign of det only: each triangle votes, large or small.
        const Vector3 dpdv = Vector3Subtract(Vector3Scale(e2, t1.x), Vector3Scale(e1, t2.x));
        const Vector3 vote = Vector3Scale(dpdv, det > 0.0f ? -1.0f : 1.0f);
        for (uint32_t v : {a, b, c}) up[v] = Vector3Add(up[v], vote);
    }
    for (size_t v = 0; v < mesh.positions.size(); ++v) {
        Vector4& t = mesh.tangents[v];
        const Vector3 side = Vector3CrossProduct(mesh.normals[v], Vector3{t.x, t.y, t.z});
        t.w = Vector3DotProduct(side, up[v]) < 0.0f ? -1.0f : 1.0f;
    }
}

void GrowBox(BoundingBox& box, const Vector3& p) {
    box.min = {fminf(box.min.x, p.x), fminf(box.min.y, p.y), fminf(box.min.z, p.z)};
    box.max = {fmaxf(box.max.x, p.x), fmaxf(box.max.y, p.y), fmaxf(box.max.z, p.z)};
}

// One mesh as placed by one node: vertices moved into model space (through its bones,
// at rest, for a skinned mesh), triangles only.
void AddMesh(Loader& loader, const aiMesh* source, const aiNode* node, const aiMatrix4x4& nodeTransform) {
    r3d::SkeletonImport::Binding binding = loader.skeleton->Bind(*source, *node, nodeTransform);
    const bool perVertex = binding.transforms.size() > 1;
    aiMatrix4x4 transform = binding.transforms.empty() ? nodeTransform : binding.transforms[0];
    R3D_MeshData mesh;
    unsigned int vertexCount = source->mNumVertices;
    mesh.positions.resize(vertexCount);
    mesh.normals.resize(vertexCount);
    mesh.texcoords.resize(vertexCount, Vector2{0.0f, 0.0f});

    mesh.material = source->mMaterialIndex < loader.data->materials.size() ? static_cast<int>(source->mMaterialIndex) : 0;
    const r3d::Material& material = loader.data->materials[mesh.material];
    mesh.features = material.Features();
    // A normal map needs texture coordinates to be read by and tangents to be turned by.
    const bool tangents = (mesh.features & r3d::kFeatureNormalMap) && source->mTangents != nullptr &&
                          source->mTextureCoords[0] != nullptr;
    if (!tangents) mesh.features &= ~r3d::kFeatureNormalMap;
    if (tangents) mesh.tangents.resize(vertexCount);
    if (HasVertexColours(source)) {
        mesh.colors.resize(vertexCount);
        mesh.features |= r3d::kFeatureVertexColor;
    }

    aiMatrix3x3 normalMatrix(transform);
    normalMatrix.Inverse().Transpose();
    aiMatrix3x3 tangentMatrix(transform);
    // A mirroring transform turns counter-clockwise triangles clockwise: swap two corners back.
    bool mirrored = transform.Determinant() < 0.0f;
    mesh.skin = std::move(binding.skin);
    if (!mesh.skin.empty()) mesh.features |= r3d::kFeatureSkinned;

    for (unsigned int i = 0; i < vertexCount; i++) {
        if (perVertex) {
            transform = binding.transforms[i];
            normalMatrix = aiMatrix3x3(transform);
            normalMatrix.Inverse().Transpose();
            tangentMatrix = aiMatrix3x3(transform);
        }
        aiVector3D p = transform * source->mVertices[i];
        // 1e39 in a file reads as infinity; nothing sensible can be drawn or hit there.
        if (!base::FiniteVector(p)) {
            loader.nonFinite = true;
            return;
        }
        // Adding zero turns -0 into 0: text formats write "-0.000000", and the copies of a
        // point on a texture seam must compare equal for the simplifier to join them.
        mesh.positions[i] = {p.x + 0.0f, p.y + 0.0f, p.z + 0.0f};
        mesh.normals[i] = {0.0f, 1.0f, 0.0f};
        if (source->mNormals != nullptr) {
            aiVector3D n = normalMatrix * source->mNormals[i];
            n.NormalizeSafe();
            if (base::FiniteVector(n)) {
                mesh.normals[i] = {n.x + 0.0f, n.y + 0.0f, n.z + 0.0f};
            }
        }
        if (source->mTextureCoords[0] != nullptr) {
            const aiVector3D& uv = source->mTextureCoords[0][i];
            if (base::Finite(uv.x, uv.y)) mesh.texcoords[i] = {uv.x, uv.y};
        }
        if (tangents) {
            aiVector3D t = tangentMatrix * source->mTangents[i];
            t.NormalizeSafe();
            mesh.tangents[i] = {t.x, t.y, t.z, 1.0f};
            if (!base::FiniteVector(t)) mesh.tangents[i] = {1.0f, 0.0f, 0.0f, 1.0f};
        }
        if (!mesh.colors.empty()) mesh.colors[i] = ToColor(source->mColors[0][i]);
    }

    mesh.indices.reserve(static_cast<size_t>(source->mNumFaces) * 3);
    for (unsigned int f = 0; f < source->mNumFaces; f++) {
        const aiFace& face = source->mFaces[f];
        if (face.mNumIndices != 3) continue;  // points and lines are not drawn as surfaces
        // A broken file may point past its vertices: drop such a face rather than read wild memory.
        if (face.mIndices[0] >= vertexCount || face.mIndices[1] >= vertexCount || face.mIndices[2] >= vertexCount) {
            continue;
        }
        mesh.indices.push_back(face.mIndices[0]);
        mesh.indices.push_back(face.mIndices[mirrored ? 2 : 1]);
        mesh.indices.push_back(face.mIndices[mirrored ? 1 : 2]);
    }
    if (mesh.indices.empty()) return;
    if (tangents) SetHandedness(mesh);
    if (!mesh.skin.empty()) mesh.probeSkin = loader.skeleton->ProbeSkin();
    r3d::PrepareMesh(mesh);  // vertex order, levels of detail, BVH
    mesh.probeSkin = {};

    mesh.bounds = {mesh.positions[0], mesh.positions[0]};
    for (const Vector3& p : mesh.positions) GrowBox(mesh.bounds, p);
    if (material.alphaMode == r3d::AlphaMode::kBlend) loader.data->anyBlended = true;
    if (material.alphaMode == r3d::AlphaMode::kMask) loader.data->anyMasked = true;
    if (loader.gpu) UploadMesh(mesh);
    loader.data->meshes.push_back(std::move(mesh));
}

void AddNode(Loader& loader, const aiNode* node, const aiMatrix4x4& parent) {
    aiMatrix4x4 transform = parent * node->mTransformation;
    for (unsigned int i = 0; i < node->mNumMeshes && !loader.nonFinite; i++) {
        unsigned int index = node->mMeshes[i];
        if (index < loader.scene->mNumMeshes) AddMesh(loader, loader.scene->mMeshes[index], node, transform);
    }
    for (unsigned int i = 0; i < node->mNumChildren; i++) AddNode(loader, node->mChildren[i], transform);
}

// Gives every face corner its own vertex in meshes that come without normals, so that
// normal generation can keep hard edges (a box shares 8 corners between 6 faces); joining
// identical vertices afterwards shares again whatever came out smooth.
void UnshareVerticesWithoutNormals(aiScene* scene) {
    for (unsigned int m = 0; m < scene->mNumMeshes; m++) {
        aiMesh* mesh = scene->mMeshes[m];
        // Bone weights and morph targets refer to vertex numbers: leave those meshes alone.
        if (mesh->mNormals != nullptr || mesh->mNumBones > 0 || mesh->mNumAnimMeshes > 0) continue;
        unsigned int corners = 0;
        for (unsigned int f = 0; f < mesh->mNumFaces; f++) corners += mesh->mFaces[f].mNumIndices;
        if (corners == 0 || corners == mesh->mNumVertices) continue;

        aiVector3D* positions = new aiVector3D[corners];
        aiVector3D* texcoords[AI_MAX_NUMBER_OF_TEXTURECOORDS] = {};
        aiColor4D* colors[AI_MAX_NUMBER_OF_COLOR_SETS] = {};
        for (int c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS; c++) {
            if (mesh->mTextureCoords[c] != nullptr) texcoords[c] = new aiVector3D[corners];
        }
        for (int c = 0; c < AI_MAX_NUMBER_OF_COLOR_SETS; c++) {
            if (mesh->mColors[c] != nullptr) colors[c] = new aiColor4D[corners];
        }
        unsigned int next = 0;
        for (unsigned int f = 0; f < mesh->mNumFaces; f++) {
            aiFace& face = mesh->mFaces[f];
            for (unsigned int k = 0; k < face.mNumIndices; k++, next++) {
                unsigned int old = face.mIndices[k];
                positions[next] = mesh->mVertices[old];
                for (int c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS; c++) {
                    if (texcoords[c] != nullptr) texcoords[c][next] = mesh->mTextureCoords[c][old];
                }
                for (int c = 0; c < AI_MAX_NUMBER_OF_COLOR_SETS; c++) {
                    if (colors[c] != nullptr) colors[c][next] = mesh->mColors[c][old];
                }
                face.mIndices[k] = next;
            }
        }
        delete[] mesh->mVertices;
        mesh->mVertices = positions;
        for (int c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS; c++) {
            delete[] mesh->mTextureCoords[c];
            mesh->mTextureCoords[c] = texcoords[c];
        }
        for (int c = 0; c < AI_MAX_NUMBER_OF_COLOR_SETS; c++) {
            delete[] mesh->mColors[c];
            mesh->mColors[c] = colors[c];
        }
        // Tangents only ever come with normals, so there are none to carry over.
        mesh->mNumVertices = corners;
    }
}

unsigned int ImportSteps(int importFlags) {
    unsigned int steps = aiProcess_Triangulate | aiProcess_GenSmoothNormals | aiProcess_JoinIdenticalVertices |
                         aiProcess_FlipUVs;  // assimp's v runs up; raylib's images start at the top row
    if (importFlags & R3D_IMPORT_OPTIMIZE) {
        // Collapsing the node graph first lets meshes of different nodes merge when they share a material.
        // (Vertex cache order comes from meshoptimizer for every mesh, lod.cpp.)
        steps |= aiProcess_OptimizeGraph | aiProcess_OptimizeMeshes | aiProcess_RemoveRedundantMaterials;
    }
    return steps;
}

// Hands the importer a repaired copy of the model file in place of the file itself (its
// buffers and textures still come from disk).
class RepairedFile : public Assimp::DefaultIOSystem {
public:
    RepairedFile(std::string name, const std::vector<unsigned char>& bytes) : name_(std::move(name)), bytes_(bytes) {}
    Assimp::IOStream* Open(const char* file, const char* mode) override {
        if (file != nullptr && name_ == file) return new Assimp::MemoryIOStream(bytes_.data(), bytes_.size(), false);
        return Assimp::DefaultIOSystem::Open(file, mode);
    }

private:
    std::string name_;
    const std::vector<unsigned char>& bytes_;
};

// assimp picks its reader by the file's extension; only a name it does not know
// lets it fall back to recognising the format (glTF included) by content.
bool ReadsAsOtherFormat(const Assimp::Importer& importer, const std::string& fileName) {
    size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || fileName.find_first_of("/\\", dot) != std::string::npos) return false;
    std::string extension = fileName.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return extension != "gltf" && extension != "glb" && importer.IsExtensionSupported(extension.c_str());
}

}  // namespace

R3D_Model R3D_LoadModelEx(const char* fileName, int importFlags) {
    // Even a model that cannot be read gets its (empty) data, to be drawn and unloaded.
    R3D_Model model{};
    model.id = r3d::AddModelData();
    R3D_ModelData* data = r3d::FindModelData(model);
    if (fileName == nullptr) {
        base::Warn("R3D", "could not load model: no file name given");
        return model;
    }

    Assimp::Importer importer;
    std::string reason;
    r3d::GltfAnimation gltf;
    if (!r3d::CheckModelFile(fileName, ReadsAsOtherFormat(importer, fileName), &reason, &gltf)) {
        base::Warn("R3D", "could not load model \"%s\": %s", fileName, reason.c_str());
        return model;
    }
    if (!gltf.repaired.empty()) importer.SetIOHandler(new RepairedFile(fileName, gltf.repaired));  // owned by the importer
    // Smooth across gentle bends only, so a box generated without normals keeps its edges.
    importer.SetPropertyFloat(AI_CONFIG_PP_GSN_MAX_SMOOTHING_ANGLE, 80.0f);
    // Read, give normal-less meshes unshared corners, then run the processing steps.
    // The structure is validated first: a face index past its mesh's vertices (which some
    // readers pass on from a broken file) would send every later step past its arrays.
    const aiScene* scene = importer.ReadFile(fileName, aiProcess_ValidateDataStructure);
    if (scene != nullptr) {
        UnshareVerticesWithoutNormals(const_cast<aiScene*>(scene));
        unsigned int steps = ImportSteps(importFlags);
        if (r3d::SceneWantsTangents(*scene)) steps |= aiProcess_CalcTangentSpace;  // kept when the file has them
        scene = importer.ApplyPostProcessing(steps);
    }
    if (scene == nullptr || scene->mRootNode == nullptr) {
        const char* reason = importer.GetErrorString();
        base::Warn("R3D", "could not load model \"%s\": %s", fileName,
                   (reason != nullptr && reason[0] != '\0') ? reason : "the importer returned no scene");
        return model;
    }

    Loader loader;
    loader.scene = scene;
    r3d::SkeletonImport skeleton(*scene, gltf, fileName);
    loader.skeleton = &skeleton;
    loader.data = data;
    loader.gpu = IsWindowReady();
    std::string path(fileName);
    size_t slash = path.find_last_of("/\\");
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash);

    data->materials = r3d::ReadMaterials(*scene, directory, fileName, loader.gpu);
    AddNode(loader, scene->mRootNode, aiMatrix4x4());
    if (loader.nonFinite) {
        base::Warn("R3D", "could not load model \"%s\": a vertex position is not a finite number", fileName);
        R3D_UnloadModel(model, true);
        model = R3D_Model{};
        model.id = r3d::AddModelData();
        return model;
    }
    r3d::BuildModelLods(*data);
    skeleton.MoveInto(*data);
    if (data->Animated()) data->poseBounds = r3d::anim::PoseBounds(*data);

    if (data->meshes.empty()) {
        base::Warn("R3D", "model \"%s\" holds no triangle meshes", fileName);
    }
    model.meshCount = static_cast<int>(data->meshes.size());
    for (size_t i = 0; i < data->meshes.size(); i++) {
        const R3D_MeshData& mesh = data->meshes[i];
        model.triangleCount += static_cast<int>(mesh.indices.size() / 3);
        if (i == 0) {
            model.aabb = mesh.bounds;
        } else {
            GrowBox(model.aabb, mesh.bounds.min);
            GrowBox(model.aabb, mesh.bounds.max);
        }
    }
    return model;
}

void R3D_UnloadModel(R3D_Model model, bool unloadMaterials) {
    R3D_ModelData* data = r3d::ModelData(model, "R3D_UnloadModel");
    if (data == nullptr) return;
    for (R3D_MeshData& mesh : data->meshes) {
        if (mesh.vao != 0) rlUnloadVertexArray(mesh.vao);
        for (unsigned int vbo : {mesh.vboPositions, mesh.vboTexcoords, mesh.vboNormals, mesh.vboTangents, mesh.vboColors,
                                 mesh.vboJoints, mesh.vboWeights, mesh.ebo}) {
            if (vbo != 0) rlUnloadVertexBuffer(vbo);
        }
        delete mesh.bvh;
        mesh.bvh = nullptr;
    }
    if (unloadMaterials) r3d::UnloadMaterialTextures(data->materials);
    r3d::RemoveModelData(model.id);
}
