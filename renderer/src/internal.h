// What the renderer's files share: the data behind R3D_Model and
// R3D_InstanceBuffer (found through their handles, handles.cpp), and the vertex
// attribute locations every shader uses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "animation/clip.h"
#include "r3d.h"

namespace r3d {

// Vertex attribute locations, fixed for every mesh VAO and every shader.
enum AttributeLocation : unsigned int {
    kAttribPosition = 0,          // vec3, per vertex
    kAttribTexcoord = 1,          // vec2, per vertex
    kAttribNormal = 2,            // vec3, per vertex
    kAttribInstancePosition = 3,  // vec3, per instance
    kAttribInstanceRotation = 4,  // vec4 quaternion, per instance
    kAttribInstanceScale = 5,     // vec3, per instance
    kAttribInstanceColor = 6,     // 4 x unsigned byte, normalised, per instance
    kAttribTangent = 7,           // vec4: tangent, w the handedness of the bitangent; per vertex
    kAttribColor = 8,             // 4 x unsigned byte, normalised, per vertex
    kAttribJoints = 9,            // 4 x unsigned byte, as numbers: joints of an animated mesh's vertex
    kAttribWeights = 10,          // vec4: their weights, summing to 1
    kAttribInstancePose = 11,     // float, per instance: its slot, where its pose lies among the draw's
};

enum class AlphaMode { kOpaque, kMask, kBlend };

// What a mesh's shading reads beyond its factors: each bit is a shader variant's switch,
// so a mesh pays per pixel only for what it uses.
enum MaterialFeature : unsigned int {
    kFeatureBaseMap = 1u << 0,
    kFeatureNormalMap = 1u << 1,
    kFeatureMetalRoughMap = 1u << 2,
    kFeatureOcclusionMap = 1u << 3,
    kFeatureEmission = 1u << 4,  // a non-black emissive factor
    kFeatureEmissiveMap = 1u << 5,
    kFeatureAlphaMask = 1u << 6,
    kFeatureVertexColor = 1u << 7,
    kFeatureSkinned = 1u << 8,  // a mesh of an animated model: posed per instance in the vertex stage
};
constexpr int kMaterialFeatureBits = 9;
// What the frame adds to a mesh's features when it picks the variant to shade it with.
enum FrameFeature : unsigned int {
    kFeatureSkyLight = 1u << 9,   // lit and reflected by the sky
    kFeatureFog = 1u << 10,
    kFeatureSkyPanorama = 1u << 11,  // the sky light's sky is a panorama (read from its map)
};
constexpr int kFeatureBits = 12;

// A physically based material (metallic-roughness). GL texture ids; 0 means none.
struct Material {
    float baseColor[4] = {1.0f, 1.0f, 1.0f, 1.0f};  // linear factors, alpha last
    float emissive[3] = {0.0f, 0.0f, 0.0f};
    float metallic = 0.0f;
    float roughness = 0.5f;
    float specular = 1.0f;       // scales a dielectric's 4% reflectance at normal incidence
    float normalScale = 1.0f;    // strength of the normal map's tilt
    float occlusionStrength = 1.0f;
    float alphaCutoff = 0.5f;
    AlphaMode alphaMode = AlphaMode::kOpaque;
    bool doubleSided = false;
    unsigned int baseTexture = 0;
    unsigned int normalTexture = 0;
    unsigned int metalRoughTexture = 0;  // roughness in green, metallic in blue
    unsigned int occlusionTexture = 0;   // in red
    unsigned int emissiveTexture = 0;

    unsigned int Features() const {
        unsigned int f = 0;
        if (baseTexture != 0) f |= kFeatureBaseMap;
        if (normalTexture != 0) f |= kFeatureNormalMap;
        if (metalRoughTexture != 0) f |= kFeatureMetalRoughMap;
        if (occlusionTexture != 0) f |= kFeatureOcclusionMap;
        if (emissive[0] > 0.0f || emissive[1] > 0.0f || emissive[2] > 0.0f) f |= kFeatureEmission;
        if (emissiveTexture != 0 && (f & kFeatureEmission)) f |= kFeatureEmissiveMap;
        if (alphaMode == AlphaMode::kMask) f |= kFeatureAlphaMask;
        return f;
    }
};

// One level of detail of a mesh: a run of the mesh's index buffer on the GPU.
struct LodLevel {
    uint32_t firstIndex = 0;  // into the GPU index buffer (all levels, full detail first)
    uint32_t indexCount = 0;
    float error = 0.0f;       // how far, in model units, its surface may stray from the full mesh
};

// An affine transform as three rows of four: p' = (row . (p, 1)) for each row. The
// layout the GPU reads poses in.
struct Affine {
    float m[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
};

// Up to four joints that move a vertex of an animated model, strongest first; the
// weights sum to 1 (unused ones are joint 0, weight 0).
struct SkinWeights {
    uint8_t joint[4] = {};
    float weight[4] = {};
};

// One node of an animated model. Joints are stored parents first; a joint's rest
// transform (translation, rotation, scale) is relative to its parent.
struct Joint {
    std::string name;
    int parent = -1;
    Vector3 translation{0.0f, 0.0f, 0.0f};
    Quaternion rotation{0.0f, 0.0f, 0.0f, 1.0f};
    Vector3 scale{1.0f, 1.0f, 1.0f};
    // Inverse of its model-space rest transform: vertices are stored in the rest pose,
    // so a joint moves them by pose * restInverse.
    Affine restInverse;
};

}  // namespace r3d

struct Bvh;  // per-mesh bounding volume hierarchy (bvh.h)

// One mesh: CPU copies for ray tests, GPU buffers for drawing.
struct R3D_MeshData {
    std::vector<Vector3> positions;
    std::vector<Vector3> normals;
    std::vector<Vector2> texcoords;
    std::vector<Vector4> tangents;  // only for a mesh whose material has a normal map
    std::vector<Color> colors;      // only for a mesh whose file gives vertex colours
    std::vector<r3d::SkinWeights> skin;  // only for the meshes of an animated model
    std::vector<r3d::Affine> probeSkin;  // while loading an animated model: the pose its levels are simplified in
    std::vector<uint32_t> indices;  // three per triangle
    int material = 0;               // index into R3D_ModelData::materials
    unsigned int features = 0;      // its material's features, and kFeatureVertexColor
    BoundingBox bounds{};
    // Levels of detail, full detail first; coarser levels' indices follow in lodIndices
    // (lod.cpp). Empty for a mesh that was never optimised. On the GPU the coarser levels
    // draw copies of their vertices placed after the mesh's own: copy k is vertex lodVertices[k].
    std::vector<r3d::LodLevel> lods;
    std::vector<uint32_t> lodIndices;
    std::vector<uint32_t> lodVertices;
    std::vector<Vector3> lodPositions;  // where copy k sits: moved off its vertex to straddle the surface

    unsigned int vao = 0;           // per-vertex attributes and the index buffer bound
    unsigned int vboPositions = 0, vboTexcoords = 0, vboNormals = 0, ebo = 0;
    unsigned int vboTangents = 0, vboColors = 0, vboJoints = 0, vboWeights = 0;
    Bvh* bvh = nullptr;             // owned
};

struct R3D_ModelData {
    std::vector<R3D_MeshData> meshes;
    std::vector<r3d::Material> materials;
    bool anyBlended = false;  // a mesh's material blends: the model is drawn in the blended pass too
    bool anyMasked = false;   // a mesh's material cuts out: instance colour's alpha shapes its shadow
    // The model's levels of detail: level k draws each mesh at its level min(k, last), and
    // strays from the full model by at most lodErrors[k] model units (lod.cpp).
    std::vector<float> lodErrors;
    bool lodEnabled = true;
    // Animation: every node of the file as a joint, and the sound clips. Empty (and the
    // meshes without skin weights) for a model without clips.
    std::vector<r3d::Joint> joints;
    std::vector<r3d::anim::Clip> clips;
    BoundingBox poseBounds{};  // model space, around every pose of every clip
    bool Animated() const { return !clips.empty(); }
};

// Per-instance arrays: one GPU buffer and one CPU staging array per attribute.
struct R3D_InstanceData {
    int capacity = 0;               // as loaded: a caller's copy of the record may say otherwise
    int flags = 0;
    unsigned int vbo[4] = {};       // position, rotation, scale, colour (0 when absent)
    void* staging[5] = {};          // capacity elements each; the fifth, animation, stays on the CPU
    int dirty = 0;                  // attribute bits unmapped since the last upload
    // Leading slots drawn in the latest scene that drew the buffer (-1: never drawn): an
    // unmap uploads only these; a draw of more uploads the rest first.
    int inUse = -1;
    unsigned int inUseScene = 0;    // the scene inUse was counted in
    int uploaded[4] = {};           // leading slots of each attribute current on the GPU
};

namespace r3d {

// The data behind a model or an instance buffer record, through its handle. Null for a
// record that names nothing (id 0), silently, and for one whose object was unloaded or
// that was never handed out, with a warning naming `call`.
R3D_ModelData* ModelData(const R3D_Model& model, const char* call);
R3D_InstanceData* InstanceData(const R3D_InstanceBuffer& buffer, const char* call);
// The same without a warning (tests reading the renderer's records).
R3D_ModelData* FindModelData(const R3D_Model& model);
R3D_InstanceData* FindInstanceData(const R3D_InstanceBuffer& buffer);
// A new, empty record's handle; freeing it makes every copy of the handle stale.
unsigned int AddModelData();
unsigned int AddInstanceData();
void RemoveModelData(unsigned int id);
void RemoveInstanceData(unsigned int id);

// Index 0..4 of an attribute bit (1, 2, 4, 8, 16); -1 for anything else.
inline int AttributeIndex(int flag) {
    switch (flag) {
        case R3D_INSTANCE_POSITION: return 0;
        case R3D_INSTANCE_ROTATION: return 1;
        case R3D_INSTANCE_SCALE: return 2;
        case R3D_INSTANCE_COLOR: return 3;
        case R3D_INSTANCE_ANIMATION: return 4;
        default: return -1;
    }
}
}  // namespace r3d
