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

    unsigned int vao = 0;           // per-vertex attributes and the index buffer bound
    unsigned int vboPositions = 0, vboTexcoords = 0, vboNormals = 0, ebo = 0;
    Bvh* bvh = nullptr;             // owned
};

struct R3D_ModelData {
    std::vector<R3D_MeshData> meshes;
    std::vector<r3d::Material> materials;
};

// Per-instance arrays: one GPU buffer and one CPU staging array per attribute.
struct R3D_InstanceData {
    unsigned int vbo[4] = {};       // position, rotation, scale, colour (0 when absent)
    void* staging[4] = {};          // capacity elements each
    int dirty = 0;                  // attribute bits unmapped since the last upload
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
