// What the renderer's files share: the data behind R3D_Model and
// R3D_InstanceBuffer, and the vertex attribute locations every shader uses.
#pragma once

#include <cstdint>
#include <vector>

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
};

struct Material {
    Color baseColor = WHITE;
    unsigned int baseTexture = 0;  // GL texture id; 0 means none (sample white)
};

// One level of detail of a mesh: a run of the mesh's index buffer on the GPU.
struct LodLevel {
    uint32_t firstIndex = 0;  // into the GPU index buffer (all levels, full detail first)
    uint32_t indexCount = 0;
    float error = 0.0f;       // how far, in model units, its surface may stray from the full mesh
};

}  // namespace r3d

struct Bvh;  // per-mesh bounding volume hierarchy (bvh.h)

// One mesh: CPU copies for ray tests, GPU buffers for drawing.
struct R3D_MeshData {
    std::vector<Vector3> positions;
    std::vector<Vector3> normals;
    std::vector<Vector2> texcoords;
    std::vector<uint32_t> indices;  // three per triangle
    int material = 0;               // index into R3D_ModelData::materials
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
    Bvh* bvh = nullptr;             // owned
};

struct R3D_ModelData {
    std::vector<R3D_MeshData> meshes;
    std::vector<r3d::Material> materials;
    // The model's levels of detail: level k draws each mesh at its level min(k, last), and
    // strays from the full model by at most lodErrors[k] model units (lod.cpp).
    std::vector<float> lodErrors;
    bool lodEnabled = true;
};

// Per-instance arrays: one GPU buffer and one CPU staging array per attribute.
struct R3D_InstanceData {
    unsigned int vbo[4] = {};       // position, rotation, scale, colour (0 when absent)
    void* staging[4] = {};          // capacity elements each
    int dirty = 0;                  // attribute bits unmapped since the last upload
    // Leading slots drawn in the latest scene that drew the buffer (-1: never drawn): an
    // unmap uploads only these; a draw of more uploads the rest first.
    int inUse = -1;
    unsigned int inUseScene = 0;    // the scene inUse was counted in
    int uploaded[4] = {};           // leading slots of each attribute current on the GPU
};

namespace r3d {
// Index 0..3 of an attribute bit (1, 2, 4, 8); -1 for anything else.
inline int AttributeIndex(int flag) {
    switch (flag) {
        case R3D_INSTANCE_POSITION: return 0;
        case R3D_INSTANCE_ROTATION: return 1;
        case R3D_INSTANCE_SCALE: return 2;
        case R3D_INSTANCE_COLOR: return 3;
        default: return -1;
    }
}
}  // namespace r3d
