// Mesh optimisation at load and levels of detail: vertex-cache and vertex-fetch order,
// a chain of simplified levels, and the per-view choice of a level per instance.
#pragma once

#include <cstdint>
#include <vector>
#include <cstdlib>

#include "internal.h"

namespace r3d {

// Most levels of detail a model gets, full detail included.
constexpr int kMaxLodLevels = R3D_MAX_LOD_LEVELS;

// Reorders the mesh's triangles for the vertex cache and its vertices for fetching (unused
// vertices are dropped).
void OptimizeMesh(R3D_MeshData& mesh);

// Builds the mesh's chain of simplified levels into mesh.lods, mesh.lodIndices and
// mesh.lodVertices; mesh.indices stays the full-detail triangle list. It only reads the
// rest of the mesh, so it may run on another thread while the BVH is built.
void BuildLods(R3D_MeshData& mesh);

// What a load does to an imported mesh: OptimizeMesh, then its levels and its BVH (for
// ray tests), the two side by side on a large mesh.
void PrepareMesh(R3D_MeshData& mesh);

// The model's level ladder from its meshes' chains (model.lodErrors).
void BuildModelLods(R3D_ModelData& model);

// The vertex arrays the GPU gets: the mesh's own, then each coarser level's vertices.
struct GpuVertices {
    std::vector<Vector3> positions;
    std::vector<Vector3> normals;
    std::vector<Vector2> texcoords;
    std::vector<Vector4> tangents;  // empty when the mesh has none
    std::vector<Color> colors;      // empty when the mesh has none
    std::vector<SkinWeights> skin;  // empty when the mesh has none
};
GpuVertices LodVertexArrays(const R3D_MeshData& mesh);

// Uploads every level's indices of the mesh into one element buffer; returns its id.
unsigned int UploadLodIndices(const R3D_MeshData& mesh);

// Which level of a model's ladder a view draws an instance with: the coarsest whose error,
// seen from `distance` (along the view's axis) at `pixelsPerUnit` pixels per world unit
// at distance 1, stays within `pixels`. `scale` is the instance's largest scale factor.
inline int ChooseLod(const R3D_ModelData& model, float distance, float pixelsPerUnit, float scale, float pixels) {
    const int levels = static_cast<int>(model.lodErrors.size());
    if (levels <= 1 || distance <= 0.0f) return 0;
    const float allowed = pixels * distance / (pixelsPerUnit * scale);
    int level = 0;
    while (level + 1 < levels && model.lodErrors[level + 1] <= allowed) ++level;
    return level;
}

// The level a mesh draws for a level of its model.
inline const LodLevel& MeshLod(const R3D_MeshData& mesh, int modelLevel) {
    const int last = static_cast<int>(mesh.lods.size()) - 1;
    return mesh.lods[modelLevel < last ? modelLevel : last];
}

}  // namespace r3d
