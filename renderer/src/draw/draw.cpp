// R3D_DrawModelInstanced and the instanced draw calls behind it.
#include "draw/draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "animation/pose.h"
#include "base/Log.h"
#include "draw/draw_gl.h"
#include "geometry/lod.h"
#include "rlgl.h"    // Required for: rlGetTextureIdDefault(), rlSetUniform(), rlLoadVertexBuffer()

namespace r3d {

bool SceneOpen();            // frame.cpp
unsigned int SceneNumber();  // frame.cpp: counts R3D_Begin calls

std::vector<DrawCommand>& DrawQueue() {
    static std::vector<DrawCommand> queue;
    return queue;
}

namespace {

struct InstanceAttribute {
    unsigned int location;
    int components;
    gl::GLenum type;
    bool normalized;
    int size;           // bytes per element
    float fallback[4];  // value every instance sees when the buffer lacks the attribute
};

// The four attributes of an instance buffer, then the pose slot of an animated model's
// instance: which of the draw's poses is its own (its slot in the buffer).
constexpr int kPose = 4;
constexpr InstanceAttribute kInstanceAttributes[5] = {
    {kAttribInstancePosition, 3, gl::kFloat, false, sizeof(Vector3), {0.0f, 0.0f, 0.0f, 1.0f}},
    {kAttribInstanceRotation, 4, gl::kFloat, false, sizeof(Vector4), {0.0f, 0.0f, 0.0f, 1.0f}},
    {kAttribInstanceScale, 3, gl::kFloat, false, sizeof(Vector3), {1.0f, 1.0f, 1.0f, 1.0f}},
    {kAttribInstanceColor, 4, gl::kUnsignedByte, true, sizeof(Color), {1.0f, 1.0f, 1.0f, 1.0f}},
    {kAttribInstancePose, 1, gl::kFloat, false, sizeof(float), {0.0f, 0.0f, 0.0f, 1.0f}},
};

// A sphere around spheres added one by one (through the box around them).
struct BoundsBuilder {
    Vector3 lo = {INFINITY, INFINITY, INFINITY}, hi = {-INFINITY, -INFINITY, -INFINITY};
    void Add(Vector3 c, float r) {
        lo = {std::min(lo.x, c.x - r), std::min(lo.y, c.y - r), std::min(lo.z, c.z - r)};
        hi = {std::max(hi.x, c.x + r), std::max(hi.y, c.y + r), std::max(hi.z, c.z + r)};
    }
    Bounds Get() const {
        Bounds b;
        b.center = {(lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f};
        const Vector3 half = {(hi.x - lo.x) * 0.5f, (hi.y - lo.y) * 0.5f, (hi.z - lo.z) * 0.5f};
        b.radius = std::sqrt(half.x * half.x + half.y * half.y + half.z * half.z);
        return b;
    }
};

// Where drawn instances go when they are not the buffer's first ones in order: per
// attribute one GPU buffer filled front to back during a frame, and CPU arrays to gather
// into. All only grow, so steady frames allocate nothing.
struct Scratch {
    unsigned int vbo[5] = {};
    int capacity[5] = {};  // bytes
    int used[5] = {};      // bytes written this frame
    std::vector<unsigned char> gather[5];
    std::vector<int> visible;          // instances inside the view
    std::vector<Vector3> centers;      // where their bounding spheres are
    std::vector<float> radii;          // and how large
    std::vector<unsigned char> bucket;  // their bucket (level of detail, mirrored)
    std::vector<int> order;            // the visible instances sorted by bucket
    Bounds bounds;                     // around every visible instance
} scratch;

float lodPixelError = 1.0f;  // R3D_SetLodPixelError

// Slots 0, 1, 2, ... as floats: the pose slots of instances drawn in buffer order.
struct Slots {
    unsigned int vbo = 0;
    int count = 0;
} slots;

unsigned int SlotBuffer(int count) {
    if (slots.count < count) {
        if (slots.vbo != 0) rlUnloadVertexBuffer(slots.vbo);
        slots.count = std::max(count, 2 * slots.count);
        std::vector<float> values(static_cast<size_t>(slots.count));
        for (int i = 0; i < slots.count; ++i) values[static_cast<size_t>(i)] = static_cast<float>(i);
        slots.vbo = rlLoadVertexBuffer(values.data(), slots.count * static_cast<int>(sizeof(float)), false);
    }
    return slots.vbo;
}

// The frame's poses: three texels (rows) of RGBA32F per joint matrix.
struct Poses {
    unsigned int buffer = 0, texture = 0;
    size_t capacity = 0;  // floats
    std::vector<float> values;
} poses;

// Buckets: level of detail times two, plus one for mirrored instances.
constexpr int kBuckets = 2 * kMaxLodLevels;

void BindInstanceAttributes(const unsigned int vbo[5], const int offset[5], int first) {
    for (int i = 0; i < 5; ++i) {
        const InstanceAttribute& a = kInstanceAttributes[i];
        if (vbo[i] != 0) {
            gl::BindBuffer(gl::kArrayBuffer, vbo[i]);
            const size_t at = static_cast<size_t>(offset[i]) + static_cast<size_t>(first) * a.size;
            gl::VertexAttribPointer(a.location, a.components, a.type, a.normalized, 0, reinterpret_cast<const void*>(at));
            gl::VertexAttribDivisor(a.location, 1);
            gl::EnableVertexAttribArray(a.location);
        } else {
            gl::DisableVertexAttribArray(a.location);
            gl::VertexAttrib4f(a.location, a.fallback[0], a.fallback[1], a.fallback[2], a.fallback[3]);
        }
    }
    gl::BindBuffer(gl::kArrayBuffer, 0);
}

Vector3 Rotate(Vector4 q, Vector3 v) {
    const Vector3 u = {q.x, q.y, q.z};
    const Vector3 t = {2.0f * (u.y * v.z - u.z * v.y), 2.0f * (u.z * v.x - u.x * v.z), 2.0f * (u.x * v.y - u.y * v.x)};
    return {v.x + q.w * t.x + (u.y * t.z - u.z * t.y), v.y + q.w * t.y + (u.z * t.x - u.x * t.z),
            v.z + q.w * t.z + (u.x * t.y - u.y * t.x)};
}

// Fills scratch.visible with the instances whose bounding sphere, placed exactly as the
// vertex shader places it, touches the view, scratch.bucket with the bucket of each,
// scratch.centers and radii with their spheres and scratch.bounds with a sphere around
// them all; counts[b] is how many fell in bucket b.
void Classify(const DrawCommand& draw, const DrawView& view, int counts[kBuckets]) {
    const R3D_InstanceData& data = *draw.instances;
    const auto* positions = static_cast<const Vector3*>(data.staging[0]);
    auto* rotations = static_cast<const Vector4*>(data.staging[1]);
    const auto* scales = static_cast<const Vector3*>(data.staging[2]);
    const R3D_ModelData& model = *draw.model;
    const bool lod = model.lodEnabled && model.lodErrors.size() > 1 && view.lodPixels > 0.0f;
    scratch.visible.clear();
    scratch.bucket.clear();
    scratch.centers.clear();
    scratch.radii.clear();
    BoundsBuilder bounds;
    for (int b = 0; b < kBuckets; ++b) counts[b] = 0;
    // Most meshes sit around their origin: then turning the centre is not needed.
    const bool centred = std::fabs(draw.center.x) + std::fabs(draw.center.y) + std::fabs(draw.center.z) <= 1e-4f * draw.radius;
    if (centred) rotations = nullptr;
    for (int i = 0; i < draw.count; ++i) {
        Vector3 c = draw.center;
        float scale = 1.0f;
        bool mirrored = false;
        if (scales != nullptr) {
            const Vector3 s = scales[i];
            c = {c.x * s.x, c.y * s.y, c.z * s.z};
            scale = std::max(std::fabs(s.x), std::max(std::fabs(s.y), std::fabs(s.z)));
            mirrored = ((s.x < 0.0f) != (s.y < 0.0f)) != (s.z < 0.0f);  // an odd number of negative factors
        }
        if (rotations != nullptr) {
            Vector4 q = rotations[i];
            const float len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
            q = len > 1e-8f ? Vector4{q.x / len, q.y / len, q.z / len, q.w / len} : Vector4{0.0f, 0.0f, 0.0f, 1.0f};
            c = Rotate(q, c);
        }
        if (positions != nullptr) c = {c.x + positions[i].x, c.y + positions[i].y, c.z + positions[i].z};
        const float r = draw.radius * scale;
        bool inside = true;
        for (const Vector4& p : view.frustum.planes) {
            if (p.x * c.x + p.y * c.y + p.z * c.z + p.w < -r) {
                inside = false;
                break;
            }
        }
        if (!inside) continue;
        int level = 0;
        if (lod) {
            const Vector4& w = view.depthRow;
            const float nearest = w.x * c.x + w.y * c.y + w.z * c.z + w.w - r * view.depthRowScale;
            level = ChooseLod(model, nearest, view.pixelsPerUnit, scale, view.lodPixels);
        }
        const int b = 2 * level + (mirrored ? 1 : 0);
        ++counts[b];
        scratch.visible.push_back(i);
        scratch.bucket.push_back(static_cast<unsigned char>(b));
        scratch.centers.push_back(c);
        scratch.radii.push_back(r);
        bounds.Add(c, r);
    }
    scratch.bounds = bounds.Get();
}

// Copies the given instances' attributes into the scratch buffers; returns where they start.
void UploadInstances(const R3D_InstanceData& data, const std::vector<int>& which, bool posed, unsigned int vbo[5],
                     int offset[5]) {
    const int n = static_cast<int>(which.size());
    for (int a = 0; a < 5; ++a) {
        vbo[a] = 0;
        offset[a] = 0;
        if (a == kPose ? !posed : data.staging[a] == nullptr || data.vbo[a] == 0) continue;
        const int size = kInstanceAttributes[a].size;
        const int bytes = n * size;
        std::vector<unsigned char>& gather = scratch.gather[a];
        if (gather.size() < static_cast<size_t>(bytes)) gather.resize(bytes);
        if (a == kPose) {
            for (int k = 0; k < n; ++k) {
                const float slot = static_cast<float>(which[k]);
                std::memcpy(&gather[static_cast<size_t>(k) * size], &slot, sizeof slot);
            }
        } else {
            const auto* source = static_cast<const unsigned char*>(data.staging[a]);
            for (int k = 0; k < n; ++k) std::memcpy(&gather[static_cast<size_t>(k) * size], source + static_cast<size_t>(which[k]) * size, size);
        }
        if (scratch.used[a] + bytes > scratch.capacity[a]) {
            // A fresh, larger buffer; draws already issued keep the old one until done.
            if (scratch.vbo[a] != 0) rlUnloadVertexBuffer(scratch.vbo[a]);
            scratch.capacity[a] = std::max(bytes, 2 * scratch.capacity[a]);
            scratch.vbo[a] = rlLoadVertexBuffer(nullptr, scratch.capacity[a], true);
            scratch.used[a] = 0;
        }
        rlUpdateVertexBuffer(scratch.vbo[a], gather.data(), bytes, scratch.used[a]);
        vbo[a] = scratch.vbo[a];
        offset[a] = scratch.used[a];
        scratch.used[a] += bytes;
    }
    gl::BindBuffer(gl::kArrayBuffer, 0);
}

// The buffer's own GPU arrays hold the first `count` instances: upload what an unmap left out.
void UploadInUse(R3D_InstanceData& data, int count) {
    for (int a = 0; a < 4; ++a) {
        if (data.staging[a] == nullptr || data.vbo[a] == 0 || data.uploaded[a] >= count) continue;
        const int size = kInstanceAttributes[a].size;
        const int from = data.uploaded[a];
        rlUpdateVertexBuffer(data.vbo[a], static_cast<const unsigned char*>(data.staging[a]) + static_cast<size_t>(from) * size,
                             (count - from) * size, from * size);
        data.uploaded[a] = count;
    }
    gl::BindBuffer(gl::kArrayBuffer, 0);
}

void Count(R3D_ViewStats* stats, int level, int instances, long long triangles) {
    if (stats == nullptr) return;
    ++stats->drawCalls;
    stats->instances += instances;
    stats->triangles += triangles;
    stats->levelInstances[level] += instances;
    stats->levelTriangles[level] += triangles;
}

// One instanced draw of a mesh at a level of detail; a mirrored bucket turns the winding.
void DrawMesh(const R3D_MeshData& mesh, int bucket, int count, R3D_ViewStats* stats) {
    const int level = bucket / 2;
    // A mirroring scale turns the triangles' winding: what faces out now turns clockwise.
    if (bucket % 2 == 1) gl::FrontFace(gl::kCw);
    if (mesh.ebo != 0) {
        uint32_t firstIndex = 0, indexCount = static_cast<uint32_t>(mesh.indices.size());
        if (!mesh.lods.empty()) {
            const LodLevel& lod = MeshLod(mesh, level);
            firstIndex = lod.firstIndex;
            indexCount = lod.indexCount;
        }
        gl::DrawElementsInstanced(gl::kTriangles, static_cast<gl::GLsizei>(indexCount), gl::kUnsignedInt,
                                  reinterpret_cast<const void*>(static_cast<size_t>(firstIndex) * sizeof(uint32_t)), count);
        Count(stats, level, count, static_cast<long long>(indexCount / 3) * count);
    } else {
        gl::DrawArraysInstanced(gl::kTriangles, 0, static_cast<gl::GLsizei>(mesh.positions.size()), count);
        Count(stats, level, count, static_cast<long long>(mesh.positions.size() / 3) * count);
    }
    if (bucket % 2 == 1) gl::FrontFace(gl::kCcw);
}

}  // namespace

void SetCulling(bool doubleSided) {
    if (doubleSided) gl::Disable(gl::kCullFace);
    else gl::Enable(gl::kCullFace);
}

void BindTexture(int unit, unsigned int id) {
    gl::ActiveTexture(gl::kTexture0 + unit);
    gl::BindTexture(gl::kTexture2D, id);
}

const Material& MaterialOf(const R3D_ModelData& model, const R3D_MeshData& mesh) {
    static const Material kDefault;
    if (mesh.material >= 0 && static_cast<size_t>(mesh.material) < model.materials.size()) return model.materials[mesh.material];
    return kDefault;
}

Frustum FrustumOf(const Matrix& m) {
    // Rows of the matrix as GLSL applies it (uViewProj * v).
    const Vector4 r0 = {m.m0, m.m4, m.m8, m.m12}, r1 = {m.m1, m.m5, m.m9, m.m13};
    const Vector4 r2 = {m.m2, m.m6, m.m10, m.m14}, r3 = {m.m3, m.m7, m.m11, m.m15};
    auto add = [](Vector4 a, Vector4 b, float s) { return Vector4{a.x + s * b.x, a.y + s * b.y, a.z + s * b.z, a.w + s * b.w}; };
    Frustum f{{add(r3, r0, 1.0f), add(r3, r0, -1.0f), add(r3, r1, 1.0f), add(r3, r1, -1.0f), add(r3, r2, 1.0f),
               add(r3, r2, -1.0f)}};
    for (Vector4& p : f.planes) {
        const float len = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
        if (len > 0.0f) p = {p.x / len, p.y / len, p.z / len, p.w / len};
    }
    return f;
}

void BeginCulling() {
    for (int& used : scratch.used) used = 0;
}

DrawView MakeDrawView(const Matrix& m, int width, int height, R3D_ViewStats* stats) {
    DrawView view;
    view.frustum = FrustumOf(m);
    view.depthRow = {m.m3, m.m7, m.m11, m.m15};
    view.depthRowScale = std::sqrt(m.m3 * m.m3 + m.m7 * m.m7 + m.m11 * m.m11);
    // Clip x and y span 2 across the view: a world unit at depth 1 covers this many pixels.
    const float sx = std::sqrt(m.m0 * m.m0 + m.m4 * m.m4 + m.m8 * m.m8) * 0.5f * static_cast<float>(width);
    const float sy = std::sqrt(m.m1 * m.m1 + m.m5 * m.m5 + m.m9 * m.m9) * 0.5f * static_cast<float>(height);
    view.pixelsPerUnit = std::max(sx, sy);
    view.lodPixels = view.pixelsPerUnit > 0.0f ? lodPixelError : 0.0f;
    view.stats = stats;
    if (stats != nullptr) ++stats->views;
    return view;
}

void ExecuteDraws(const std::vector<DrawCommand>& draws, const MeshPrepare& prepare, const DrawView& view) {
    const int noOffset[5] = {};
    int counts[kBuckets];
    int first[kBuckets];
    for (const DrawCommand& draw : draws) {
        Classify(draw, view, counts);
        const int visible = static_cast<int>(scratch.visible.size());
        if (visible == 0) continue;
        const Bounds bounds = scratch.bounds;
        const bool posed = draw.poseBase >= 0;
        unsigned int ownVbo[5];
        std::copy(draw.instances->vbo, draw.instances->vbo + 4, ownVbo);
        ownVbo[kPose] = posed ? SlotBuffer(draw.count) : 0;
        const unsigned int* vbo = ownVbo;
        const int* offset = noOffset;
        unsigned int gatheredVbo[5];
        int gatheredOffset[5];
        int start = 0;
        for (int b = 0; b < kBuckets; ++b) {
            first[b] = start;
            start += counts[b];
        }
        if (visible == draw.count && counts[scratch.bucket[0]] == visible) {
            // Every instance, all in one bucket: the buffer's own arrays, in slot order.
            UploadInUse(*draw.instances, visible);
            for (int b = 0; b < kBuckets; ++b) first[b] = 0;
        } else {
            scratch.order.resize(visible);
            int next[kBuckets];
            std::copy(first, first + kBuckets, next);
            for (int k = 0; k < visible; ++k) scratch.order[next[scratch.bucket[k]]++] = scratch.visible[k];
            UploadInstances(*draw.instances, scratch.order, posed, gatheredVbo, gatheredOffset);
            vbo = gatheredVbo;
            offset = gatheredOffset;
        }
        for (const R3D_MeshData& mesh : draw.model->meshes) {
            if (mesh.vao == 0) continue;  // loaded without a GL context
            const MeshDraw meshDraw{*draw.model, mesh, bounds, visible, draw.poseBase};
            const int parts = prepare(meshDraw, 0);
            for (int part = 0; part < parts; ++part) {
                if (part > 0 && prepare(meshDraw, part) == 0) continue;
                gl::BindVertexArray(mesh.vao);
                for (int b = 0; b < kBuckets; ++b) {
                    if (counts[b] == 0) continue;
                    BindInstanceAttributes(vbo, offset, first[b]);
                    DrawMesh(mesh, b, counts[b], view.stats);
                }
            }
        }
    }
    gl::BindVertexArray(0);
}

void ExecuteBlendedDraws(const std::vector<DrawCommand>& draws, const MeshPrepare& prepare, const DrawView& view,
                         Vector3 eye) {
    struct Item {
        int draw, instance, bucket;
        float distance;  // squared, from the eye to the instance's bounding sphere's centre
        Vector3 center;
        float radius;
    };
    static std::vector<Item> items;  // kept: steady frames allocate nothing
    items.clear();
    int counts[kBuckets];
    for (size_t d = 0; d < draws.size(); ++d) {
        if (!draws[d].model->anyBlended) continue;
        Classify(draws[d], view, counts);
        for (size_t k = 0; k < scratch.visible.size(); ++k) {
            const Vector3 c = scratch.centers[k];
            const float dx = c.x - eye.x, dy = c.y - eye.y, dz = c.z - eye.z;
            items.push_back({static_cast<int>(d), scratch.visible[k], scratch.bucket[k], dx * dx + dy * dy + dz * dz, c,
                             scratch.radii[k]});
        }
    }
    // Far to near; ties keep the order they were drawn in.
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.distance > b.distance; });
    std::vector<int>& which = scratch.order;
    for (size_t k = 0; k < items.size();) {
        const DrawCommand& draw = draws[items[k].draw];
        int blendedMeshes = 0;
        for (const R3D_MeshData& mesh : draw.model->meshes) {
            blendedMeshes += MaterialOf(*draw.model, mesh).alphaMode == AlphaMode::kBlend ? 1 : 0;
        }
        // A run of instances of one model with one blended mesh, in order, is one instanced
        // draw (instances are drawn in order); otherwise each instance draws all its meshes.
        size_t end = k + 1;
        if (blendedMeshes == 1) {
            while (end < items.size() && items[end].draw == items[k].draw && items[end].bucket == items[k].bucket) ++end;
        }
        which.clear();
        BoundsBuilder run;
        for (size_t j = k; j < end; ++j) {
            which.push_back(items[j].instance);
            run.Add(items[j].center, items[j].radius);
        }
        const Bounds bounds = run.Get();
        unsigned int vbo[5];
        int offset[5];
        UploadInstances(*draw.instances, which, draw.poseBase >= 0, vbo, offset);
        for (const R3D_MeshData& mesh : draw.model->meshes) {
            if (mesh.vao == 0) continue;
            const MeshDraw meshDraw{*draw.model, mesh, bounds, static_cast<int>(which.size()), draw.poseBase};
            const int parts = prepare(meshDraw, 0);
            for (int part = 0; part < parts; ++part) {
                if (part > 0 && prepare(meshDraw, part) == 0) continue;
                gl::BindVertexArray(mesh.vao);
                BindInstanceAttributes(vbo, offset, 0);
                DrawMesh(mesh, items[k].bucket, meshDraw.instances, view.stats);
            }
        }
        k = end;
    }
    gl::BindVertexArray(0);
}

void PoseDraws(std::vector<DrawCommand>& draws) {
    size_t total = 0;  // joint matrices
    for (DrawCommand& draw : draws) {
        draw.poseBase = -1;
        if (!draw.model->Animated()) continue;
        draw.poseBase = static_cast<int>(total);
        total += draw.model->joints.size() * static_cast<size_t>(draw.count);
    }
    if (total == 0) return;
    poses.values.resize(total * 12);
    for (const DrawCommand& draw : draws) {
        if (draw.poseBase < 0) continue;
        const auto* states = static_cast<const R3D_AnimationState*>(draw.instances->staging[4]);
        const R3D_AnimationState rest{-1, 0.0f, -1, 0.0f, 1.0f};
        const size_t joints = draw.model->joints.size();
        auto* out = reinterpret_cast<Affine*>(poses.values.data()) + draw.poseBase;
        for (int i = 0; i < draw.count; ++i) {
            anim::SkinMatrices(*draw.model, states != nullptr ? states[i] : rest, out + static_cast<size_t>(i) * joints);
        }
    }
    const size_t floats = total * 12;
    if (poses.capacity < floats) {
        if (poses.buffer != 0) rlUnloadVertexBuffer(poses.buffer);
        poses.capacity = std::max(floats, 2 * poses.capacity);
        poses.buffer = rlLoadVertexBuffer(nullptr, static_cast<int>(poses.capacity * sizeof(float)), true);
        if (poses.texture == 0) gl::GenTextures(1, &poses.texture);
        gl::BindTexture(gl::kTextureBuffer, poses.texture);
        gl::TexBuffer(gl::kTextureBuffer, gl::kRgba32f, poses.buffer);
        gl::BindTexture(gl::kTextureBuffer, 0);
    }
    rlUpdateVertexBuffer(poses.buffer, poses.values.data(), static_cast<int>(floats * sizeof(float)), 0);
    gl::BindBuffer(gl::kArrayBuffer, 0);
}

void SetPoseUniforms(int posesLocation, int baseLocation, int jointsLocation, const MeshDraw& draw) {
    const int unit = kUnitPoses, base = std::max(draw.poseBase, 0), joints = static_cast<int>(draw.model.joints.size());
    gl::ActiveTexture(gl::kTexture0 + kUnitPoses);
    gl::BindTexture(gl::kTextureBuffer, poses.texture);
    rlSetUniform(posesLocation, &unit, RL_SHADER_UNIFORM_INT, 1);
    rlSetUniform(baseLocation, &base, RL_SHADER_UNIFORM_INT, 1);
    rlSetUniform(jointsLocation, &joints, RL_SHADER_UNIFORM_INT, 1);
}

void UnloadDrawResources() {
    for (unsigned int& vbo : scratch.vbo) {
        if (vbo != 0) rlUnloadVertexBuffer(vbo);
    }
    scratch = Scratch{};
    if (slots.vbo != 0) rlUnloadVertexBuffer(slots.vbo);
    slots = Slots{};
    if (poses.buffer != 0) rlUnloadVertexBuffer(poses.buffer);
    if (poses.texture != 0) gl::DeleteTextures(1, &poses.texture);
    poses = Poses{};
}

}  // namespace r3d

extern "C" void R3D_SetLodPixelError(float pixels) { r3d::lodPixelError = pixels > 0.0f ? pixels : 0.0f; }
extern "C" float R3D_GetLodPixelError(void) { return r3d::lodPixelError; }

extern "C" void R3D_DrawModelInstanced(R3D_Model model, R3D_InstanceBuffer buffer, int count) {
    if (!r3d::SceneOpen()) {
        base::Warn("R3D", "R3D_DrawModelInstanced called outside R3D_Begin/R3D_End; nothing drawn");
        return;
    }
    const R3D_ModelData* modelData = r3d::ModelData(model, "R3D_DrawModelInstanced");
    R3D_InstanceData* instances = r3d::InstanceData(buffer, "R3D_DrawModelInstanced");
    if (modelData == nullptr || instances == nullptr) return;
    if (count > instances->capacity) count = instances->capacity;
    if (count <= 0 || modelData->meshes.empty()) return;
    // The instances in use, for the next unmap: the most any draw of this scene asked for.
    R3D_InstanceData& data = *instances;
    const unsigned int scene = r3d::SceneNumber();
    if (data.inUseScene != scene) data.inUse = 0;
    data.inUse = std::max(data.inUse, count);
    data.inUseScene = scene;
    // An animated model is culled by the box every pose of its clips stays in.
    const BoundingBox& box = modelData->Animated() ? modelData->poseBounds : model.aabb;
    const Vector3 lo = box.min, hi = box.max;
    r3d::DrawCommand draw;
    draw.model = modelData;
    draw.instances = instances;
    draw.count = count;
    draw.center = {(lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f};
    const Vector3 half = {(hi.x - lo.x) * 0.5f, (hi.y - lo.y) * 0.5f, (hi.z - lo.z) * 0.5f};
    draw.radius = std::sqrt(half.x * half.x + half.y * half.y + half.z * half.z);
    r3d::DrawQueue().push_back(draw);
}
