// Mesh optimisation and levels of detail, built at load with meshoptimizer.
//
// Each level is simplified from the one before to half its triangles, under a bound on
// how far the surface may move (relative to the mesh's size). The chain stops when the
// bound is spent, when a step no longer removes a quarter of the triangles, or when a
// level is down to a handful of triangles: past that, another level costs a draw call
// and saves nothing. A level's error is the sum of the steps' errors: meshoptimizer's
// error is an average over the collapsed area rather than a maximum, and the sum stays at
// or above the farthest a level's surface was measured from a sphere's.
//
// Each level's vertices then move to straddle the surface its flat triangles cut under
// (Placement below); the error stays the one measured before the move.
//
// On a large mesh the chain is built on a second thread while the loading thread builds
// the BVH, so that levels of detail add almost nothing to a load.
#include "geometry/lod.h"

#include "animation/pose.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <thread>
#include <meshoptimizer.h>

#include "geometry/bvh.h"
#include "raymath.h"
#include "rlgl.h"  // Required for: rlLoadVertexBufferElement(), rlUpdateVertexBufferElements()

namespace r3d {
namespace {

constexpr float kLevelRatio = 0.5f;       // each level aims at this share of the previous one's triangles
constexpr float kMustRemove = 0.25f;      // a level must drop at least this share, or the chain ends
constexpr float kErrorBound = 0.25f;      // total error of the coarsest level, relative to the mesh's size
constexpr size_t kFewestTriangles = 16;   // no level is simplified from one this small
// Below this many triangles a mesh's levels are built on the loading thread: starting a
// thread would cost more than it saves.
constexpr size_t kLodThreadTriangles = 20000;

template <typename T>
void Remap(std::vector<T>& values, const std::vector<unsigned int>& remap, size_t count) {
    std::vector<T> out(count);
    meshopt_remapVertexBuffer(out.data(), values.data(), values.size(), sizeof(T), remap.data());
    values.swap(out);
}

// Per vertex, the first vertex whose streams hold the same values (itself if none before it).
std::vector<uint32_t> FirstCopies(const std::vector<uint32_t>& indices, size_t vertexCount, const meshopt_Stream* streams,
                                  size_t streamCount) {
    std::vector<uint32_t> shadow(indices.size());
    meshopt_generateShadowIndexBufferMulti(shadow.data(), indices.data(), indices.size(), vertexCount, streams, streamCount);
    std::vector<uint32_t> first(vertexCount);
    for (size_t v = 0; v < vertexCount; ++v) first[v] = static_cast<uint32_t>(v);
    for (size_t k = 0; k < indices.size(); ++k) first[indices[k]] = shadow[k];
    return first;
}

// Vertices that share a position and a normal and differ only in texture coordinates,
// three or more of them (the pole of a UV sphere, the tip of a cone), count as one vertex
// while simplifying: meshoptimizer locks such a vertex, and a locked pole keeps a fan of
// slivers through every level, far off the surface. Afterwards each corner on such a
// vertex takes back the copy whose texture coordinates suit its triangle.
class Welding {
public:
    Welding(const std::vector<uint32_t>& indices, const R3D_MeshData& mesh, size_t vertexCount) {
        const meshopt_Stream streams[2] = {{mesh.positions.data(), sizeof(Vector3), sizeof(Vector3)},
                                           {mesh.normals.data(), sizeof(Vector3), sizeof(Vector3)}};
        group_ = FirstCopies(indices, vertexCount, streams, 2);
        std::vector<uint32_t> copies(vertexCount, 0);
        for (uint32_t g : group_) ++copies[g];
        // Copies of each welded vertex, listed by group: members_[start_[g] .. start_[g + 1]).
        start_.assign(vertexCount + 1, 0);
        for (size_t v = 0; v < vertexCount; ++v) {
            if (copies[group_[v]] >= 3) ++start_[group_[v] + 1];
            else group_[v] = static_cast<uint32_t>(v);
        }
        for (size_t g = 0; g < vertexCount; ++g) start_[g + 1] += start_[g];
        any_ = start_[vertexCount] > 0;
        if (!any_) return;
        members_.resize(start_[vertexCount]);
        std::vector<uint32_t> next(start_.begin(), start_.end() - 1);
        for (size_t v = 0; v < vertexCount; ++v) {
            if (start_[group_[v] + 1] > start_[group_[v]]) members_[next[group_[v]]++] = static_cast<uint32_t>(v);
        }
    }

    bool Any() const { return any_; }

    // The indices with every welded copy replaced by its group's vertex.
    void Weld(std::vector<uint32_t>& indices) const {
        for (uint32_t& i : indices) i = group_[i];
    }

    // Each corner on a welded vertex takes the copy nearest in texture coordinates to the
    // middle of its triangle's other two corners.
    void Resolve(uint32_t* indices, size_t count, const std::vector<Vector2>& uv) const {
        for (size_t t = 0; t + 2 < count; t += 3) {
            const uint32_t corner[3] = {indices[t], indices[t + 1], indices[t + 2]};
            for (int c = 0; c < 3; ++c) {
                const uint32_t g = corner[c];
                if (start_[g + 1] == start_[g]) continue;
                const Vector2 mid = Vector2Lerp(uv[corner[(c + 1) % 3]], uv[corner[(c + 2) % 3]], 0.5f);
                float best = INFINITY;
                for (uint32_t m = start_[g]; m < start_[g + 1]; ++m) {
                    const float d = Vector2DistanceSqr(uv[members_[m]], mid);
                    if (d < best) {
                        best = d;
                        indices[t + c] = members_[m];
                    }
                }
            }
        }
    }

private:
    std::vector<uint32_t> group_;    // per vertex: its group's vertex (itself unless welded)
    std::vector<uint32_t> start_, members_;
    bool any_ = false;
};

// A coarse level's flat triangles cut under a curved surface (or bulge over a hollow one):
// its vertices move by half the estimated gap so that the level straddles the surface, and
// its silhouette strays about half as far. The gap at a triangle's centre is estimated from
// its corners' normals, as the curved (point-normal) triangle through them would place it;
// copies of one position move together, so that seams stay closed.
class Placement {
public:
    Placement(const std::vector<uint32_t>& indices, const R3D_MeshData& mesh, size_t vertexCount) {
        const meshopt_Stream positions = {mesh.positions.data(), sizeof(Vector3), sizeof(Vector3)};
        group_ = FirstCopies(indices, vertexCount, &positions, 1);
        sum_.assign(vertexCount, Vector3{0.0f, 0.0f, 0.0f});
        weight_.assign(vertexCount, 0.0f);
    }

    // Positions of the level's vertices (copies in `copies`, triangles in `indices` over the
    // mesh's vertices), each moved at most `limit`.
    void Place(const R3D_MeshData& mesh, const uint32_t* indices, size_t count, const std::vector<uint32_t>& copies,
               float limit, std::vector<Vector3>& out) {
        const std::vector<Vector3>& p = mesh.positions;
        const std::vector<Vector3>& n = mesh.normals;
        for (size_t t = 0; t + 2 < count; t += 3) {
            const uint32_t c[3] = {indices[t], indices[t + 1], indices[t + 2]};
            const Vector3 cross = Vector3CrossProduct(Vector3Subtract(p[c[1]], p[c[0]]), Vector3Subtract(p[c[2]], p[c[0]]));
            const float area2 = Vector3Length(cross);
            if (!(area2 > 0.0f)) continue;
            const Vector3 face = Vector3Scale(cross, 1.0f / area2);
            // Height of the point-normal triangle's centre over the flat one:
            // -1/18 of the sum over ordered corner pairs of dot(pj - pi, ni) dot(ni, face).
            float gap = 0.0f;
            for (int i = 0; i < 3; ++i) {
                const float lean = Vector3DotProduct(n[c[i]], face);
                for (int j = 0; j < 3; ++j) {
                    if (j != i) gap -= Vector3DotProduct(Vector3Subtract(p[c[j]], p[c[i]]), n[c[i]]) * lean;
                }
            }
            gap /= 18.0f;
            for (uint32_t v : c) {
                sum_[group_[v]] = Vector3Add(sum_[group_[v]], Vector3Scale(face, gap * area2));
                weight_[group_[v]] += area2;
            }
        }
        const size_t first = out.size();
        out.resize(first + copies.size());
        for (size_t k = 0; k < copies.size(); ++k) {
            const uint32_t g = group_[copies[k]];
            Vector3 move = {0.0f, 0.0f, 0.0f};
            if (weight_[g] > 0.0f) move = Vector3ClampValue(Vector3Scale(sum_[g], 0.5f / weight_[g]), 0.0f, limit);
            out[first + k] = Vector3Add(p[copies[k]], move);
        }
        for (uint32_t v : copies) {
            sum_[group_[v]] = Vector3{0.0f, 0.0f, 0.0f};
            weight_[group_[v]] = 0.0f;
        }
    }

private:
    std::vector<uint32_t> group_;  // per vertex: the first vertex at its position
    std::vector<Vector3> sum_;
    std::vector<float> weight_;
};

}  // namespace

void OptimizeMesh(R3D_MeshData& mesh) {
    std::vector<uint32_t>& indices = mesh.indices;
    const size_t vertexCount = mesh.positions.size();
    if (indices.empty() || vertexCount == 0) return;

    // The FIFO-cache ordering: a fraction of the full optimiser's time at load, and the kind of
    // cache a software rasteriser keeps.
    meshopt_optimizeVertexCacheFifo(indices.data(), indices.data(), indices.size(), vertexCount, 16);
    std::vector<unsigned int> remap(vertexCount);
    const size_t used = meshopt_optimizeVertexFetchRemap(remap.data(), indices.data(), indices.size(), vertexCount);
    meshopt_remapIndexBuffer(indices.data(), indices.data(), indices.size(), remap.data());
    Remap(mesh.positions, remap, used);
    Remap(mesh.normals, remap, used);
    Remap(mesh.texcoords, remap, used);
    if (!mesh.tangents.empty()) Remap(mesh.tangents, remap, used);
    if (!mesh.colors.empty()) Remap(mesh.colors, remap, used);
    if (!mesh.skin.empty()) Remap(mesh.skin, remap, used);
}

void BuildLods(R3D_MeshData& mesh) {
    mesh.lods.clear();
    mesh.lodIndices.clear();
    mesh.lodVertices.clear();
    mesh.lodPositions.clear();
    const std::vector<uint32_t>& indices = mesh.indices;
    const size_t used = mesh.positions.size();
    if (indices.empty() || used == 0) return;
    mesh.lods.push_back(LodLevel{0, static_cast<uint32_t>(indices.size()), 0.0f});
    std::vector<unsigned int> remap(used);
    // An animated mesh is simplified in a bent pose (flat at rest is not flat where it
    // bends); its coarse vertices stay where they are, as moving them off a bent surface
    // would not fit the rest pose they are stored in.
    std::vector<Vector3> probe;
    if (!mesh.probeSkin.empty() && mesh.skin.size() == used) anim::SkinPositions(mesh, mesh.probeSkin.data(), probe);
    const bool skinned = !probe.empty();
    const float* positions = skinned ? &probe[0].x : &mesh.positions[0].x;
    const float scale = meshopt_simplifyScale(positions, used, sizeof(Vector3));
    const Welding welding(indices, mesh, used);
    Placement placement(indices, mesh, used);
    std::vector<uint32_t> copies;
    std::vector<uint32_t> previous = indices, next(indices.size());
    if (welding.Any()) welding.Weld(previous);
    float spent = 0.0f;  // relative error of the previous level
    while (static_cast<int>(mesh.lods.size()) < kMaxLodLevels && previous.size() / 3 > kFewestTriangles &&
           spent < kErrorBound) {
        const size_t target = static_cast<size_t>(previous.size() / 3 * kLevelRatio) * 3;
        float error = 0.0f;
        const size_t count = meshopt_simplify(next.data(), previous.data(), previous.size(), positions, used,
                                              sizeof(Vector3), target, kErrorBound - spent, 0, &error);
        if (count == 0 || count > previous.size() * (1.0f - kMustRemove)) break;
        meshopt_optimizeVertexCacheFifo(next.data(), next.data(), count, used, 16);
        spent += error;
        previous.assign(next.begin(), next.begin() + static_cast<std::ptrdiff_t>(count));
        if (welding.Any() && mesh.texcoords.size() == used) welding.Resolve(next.data(), count, mesh.texcoords);
        // The level gets its own run of vertices, in the order it fetches them: a software
        // rasteriser shades every vertex between the lowest and highest index it draws.
        const size_t local = meshopt_optimizeVertexFetchRemap(remap.data(), next.data(), count, used);
        const uint32_t base = static_cast<uint32_t>(used + mesh.lodVertices.size());
        mesh.lodVertices.resize(mesh.lodVertices.size() + local);
        for (size_t v = 0; v < used; ++v) {
            if (remap[v] != ~0u) mesh.lodVertices[base - used + remap[v]] = static_cast<uint32_t>(v);
        }
        copies.assign(mesh.lodVertices.end() - static_cast<std::ptrdiff_t>(local), mesh.lodVertices.end());
        // Normals that claim a curve the triangles do not have (smoothed over a hard edge)
        // could move a vertex far: no further than half the level's error.
        placement.Place(mesh, next.data(), count, copies, skinned ? 0.0f : 0.5f * spent * scale, mesh.lodPositions);
        const uint32_t first = static_cast<uint32_t>(indices.size() + mesh.lodIndices.size());
        for (size_t k = 0; k < count; ++k) mesh.lodIndices.push_back(base + remap[next[k]]);
        mesh.lods.push_back(LodLevel{first, static_cast<uint32_t>(count), spent * scale});
    }
}

void PrepareMesh(R3D_MeshData& mesh) {
    OptimizeMesh(mesh);
    const size_t triangles = mesh.indices.size() / 3;
    if (triangles < kLodThreadTriangles) {
        BuildLods(mesh);
        mesh.bvh = BuildBvh(mesh.positions.data(), mesh.indices.data(), triangles);
        return;
    }
    // On a large mesh the levels and the BVH take about as long as each other and only
    // read the same arrays: the levels are built on a second thread meanwhile.
    std::exception_ptr failure;
    std::thread lods([&mesh, &failure] {
        try {
            BuildLods(mesh);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        mesh.bvh = BuildBvh(mesh.positions.data(), mesh.indices.data(), triangles);
    } catch (...) {
        lods.join();
        throw;
    }
    lods.join();
    if (failure) std::rethrow_exception(failure);
}

void BuildModelLods(R3D_ModelData& model) {
    size_t levels = 1;
    for (const R3D_MeshData& mesh : model.meshes) levels = std::max(levels, mesh.lods.size());
    model.lodErrors.assign(levels, 0.0f);
    // A model level is as far off as its worst mesh at that level.
    for (size_t k = 1; k < levels; ++k) {
        for (const R3D_MeshData& mesh : model.meshes) {
            if (!mesh.lods.empty()) model.lodErrors[k] = std::max(model.lodErrors[k], MeshLod(mesh, static_cast<int>(k)).error);
        }
    }
}

template <typename T>
std::vector<T> WithLodVertices(const std::vector<T>& values, const std::vector<uint32_t>& extra) {
    std::vector<T> out(values);
    out.reserve(values.size() + extra.size());
    for (uint32_t v : extra) out.push_back(values[v]);
    return out;
}

GpuVertices LodVertexArrays(const R3D_MeshData& mesh) {
    GpuVertices gpu;
    gpu.positions = mesh.positions;
    gpu.normals = WithLodVertices(mesh.normals, mesh.lodVertices);
    gpu.texcoords = WithLodVertices(mesh.texcoords, mesh.lodVertices);
    if (!mesh.tangents.empty()) gpu.tangents = WithLodVertices(mesh.tangents, mesh.lodVertices);
    if (!mesh.colors.empty()) gpu.colors = WithLodVertices(mesh.colors, mesh.lodVertices);
    if (!mesh.skin.empty()) gpu.skin = WithLodVertices(mesh.skin, mesh.lodVertices);  // a coarse vertex moves as its source
    gpu.positions.insert(gpu.positions.end(), mesh.lodPositions.begin(), mesh.lodPositions.end());
    return gpu;
}

unsigned int UploadLodIndices(const R3D_MeshData& mesh) {
    const int full = static_cast<int>(mesh.indices.size() * sizeof(uint32_t));
    const int coarse = static_cast<int>(mesh.lodIndices.size() * sizeof(uint32_t));
    const unsigned int ebo = rlLoadVertexBufferElement(nullptr, full + coarse, false);
    rlUpdateVertexBufferElements(ebo, mesh.indices.data(), full, 0);
    if (coarse > 0) rlUpdateVertexBufferElements(ebo, mesh.lodIndices.data(), coarse, full);
    return ebo;
}

}  // namespace r3d

extern "C" {

void R3D_SetModelLod(R3D_Model model, bool enabled) {
    if (R3D_ModelData* data = r3d::ModelData(model, "R3D_SetModelLod")) data->lodEnabled = enabled;
}

bool R3D_IsModelLodEnabled(R3D_Model model) {
    const R3D_ModelData* data = r3d::ModelData(model, "R3D_IsModelLodEnabled");
    return data != nullptr && data->lodEnabled;
}

int R3D_GetModelLodCount(R3D_Model model) {
    const R3D_ModelData* data = r3d::ModelData(model, "R3D_GetModelLodCount");
    if (data == nullptr || data->meshes.empty()) return 0;
    return static_cast<int>(data->lodErrors.size());
}

long long R3D_GetModelGeometryBytes(R3D_Model model) {
    const R3D_ModelData* data = r3d::ModelData(model, "R3D_GetModelGeometryBytes");
    if (data == nullptr) return 0;
    auto bytes = [](const auto& v) { return static_cast<long long>(v.size() * sizeof(v[0])); };
    long long total = 0;
    for (const R3D_MeshData& mesh : data->meshes)
        total += bytes(mesh.positions) + bytes(mesh.normals) + bytes(mesh.texcoords) + bytes(mesh.tangents) +
                 bytes(mesh.colors) + bytes(mesh.skin) + bytes(mesh.indices) + bytes(mesh.lodIndices) +
                 bytes(mesh.lodVertices) + bytes(mesh.lodPositions);
    return total;
}

int R3D_GetModelLodTriangles(R3D_Model model, int level) {
    const R3D_ModelData* data = r3d::ModelData(model, "R3D_GetModelLodTriangles");
    if (data == nullptr || data->meshes.empty() || level < 0 || level >= static_cast<int>(data->lodErrors.size())) return 0;
    int triangles = 0;
    for (const R3D_MeshData& mesh : data->meshes) {
        if (!mesh.lods.empty()) triangles += static_cast<int>(r3d::MeshLod(mesh, level).indexCount / 3);
    }
    return triangles;
}

}  // extern "C"
