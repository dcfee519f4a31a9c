// R3D_DrawModelInstanced and the instanced draw calls behind it.
#include "draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "draw_gl.h"
#include "raylib.h"  // Required for: TraceLog()
#include "rlgl.h"    // Required for: rlGetTextureIdDefault(), rlSetUniform(), rlLoadVertexBuffer()

namespace r3d {

bool SceneOpen();  // frame.cpp

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

constexpr InstanceAttribute kInstanceAttributes[4] = {
    {kAttribInstancePosition, 3, gl::kFloat, false, sizeof(Vector3), {0.0f, 0.0f, 0.0f, 1.0f}},
    {kAttribInstanceRotation, 4, gl::kFloat, false, sizeof(Vector4), {0.0f, 0.0f, 0.0f, 1.0f}},
    {kAttribInstanceScale, 3, gl::kFloat, false, sizeof(Vector3), {1.0f, 1.0f, 1.0f, 1.0f}},
    {kAttribInstanceColor, 4, gl::kUnsignedByte, true, sizeof(Color), {1.0f, 1.0f, 1.0f, 1.0f}},
};

// Where culled instances go: per attribute one GPU buffer filled front to back during a
// frame, and CPU arrays to gather into. Both only grow, so steady frames allocate nothing.
struct Scratch {
    unsigned int vbo[4] = {};
    int capacity[4] = {};  // bytes
    int used[4] = {};      // bytes written this frame
    std::vector<unsigned char> gather[4];
    std::vector<int> visible;
} scratch;

// Points the bound VAO's instance locations at the given buffers (byte offsets), one
// element per instance.
void BindInstanceAttributes(const unsigned int vbo[4], const int offset[4]) {
    for (int i = 0; i < 4; ++i) {
        const InstanceAttribute& a = kInstanceAttributes[i];
        if (vbo[i] != 0) {
            gl::BindBuffer(gl::kArrayBuffer, vbo[i]);
            gl::VertexAttribPointer(a.location, a.components, a.type, a.normalized, 0,
                                    reinterpret_cast<const void*>(static_cast<size_t>(offset[i])));
            gl::VertexAttribDivisor(a.location, 1);
            gl::EnableVertexAttribArray(a.location);
        } else {
            gl::DisableVertexAttribArray(a.location);
            gl::VertexAttrib4f(a.location, a.fallback[0], a.fallback[1], a.fallback[2], a.fallback[3]);
        }
    }
    gl::BindBuffer(gl::kArrayBuffer, 0);
}

void BindMaterial(const R3D_ModelData& model, const R3D_MeshData& mesh, const SceneProgram& scene) {
    Material material;
    if (mesh.material >= 0 && static_cast<size_t>(mesh.material) < model.materials.size()) {
        material = model.materials[mesh.material];
    }
    const float color[4] = {material.baseColor.r / 255.0f, material.baseColor.g / 255.0f,
                            material.baseColor.b / 255.0f, material.baseColor.a / 255.0f};
    rlSetUniform(scene.baseColor, color, RL_SHADER_UNIFORM_VEC4, 1);
    gl::ActiveTexture(gl::kTexture0 + kUnitAlbedo);
    gl::BindTexture(gl::kTexture2D, material.baseTexture != 0 ? material.baseTexture : rlGetTextureIdDefault());
}

Vector3 Rotate(Vector4 q, Vector3 v) {
    const Vector3 u = {q.x, q.y, q.z};
    const Vector3 t = {2.0f * (u.y * v.z - u.z * v.y), 2.0f * (u.z * v.x - u.x * v.z), 2.0f * (u.x * v.y - u.y * v.x)};
    return {v.x + q.w * t.x + (u.y * t.z - u.z * t.y), v.y + q.w * t.y + (u.z * t.x - u.x * t.z),
            v.z + q.w * t.z + (u.x * t.y - u.y * t.x)};
}

// Fills scratch.visible with the instances whose bounding sphere touches the frustum,
// placed exactly as the vertex shader places them.
void Cull(const DrawCommand& draw, const Frustum& frustum) {
    const R3D_InstanceData& data = *draw.instances;
    const auto* positions = static_cast<const Vector3*>(data.staging[0]);
    auto* rotations = static_cast<const Vector4*>(data.staging[1]);
    const auto* scales = static_cast<const Vector3*>(data.staging[2]);
    scratch.visible.clear();
    // Most meshes sit around their origin: then turning the centre is not needed.
    const bool centred = std::fabs(draw.center.x) + std::fabs(draw.center.y) + std::fabs(draw.center.z) <= 1e-4f * draw.radius;
    if (centred) rotations = nullptr;
    for (int i = 0; i < draw.count; ++i) {
        Vector3 c = draw.center;
        float r = draw.radius;
        if (scales != nullptr) {
            const Vector3 s = scales[i];
            c = {c.x * s.x, c.y * s.y, c.z * s.z};
            r *= std::max(std::fabs(s.x), std::max(std::fabs(s.y), std::fabs(s.z)));
        }
        if (rotations != nullptr) {
            Vector4 q = rotations[i];
            const float len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
            q = len > 1e-8f ? Vector4{q.x / len, q.y / len, q.z / len, q.w / len} : Vector4{0.0f, 0.0f, 0.0f, 1.0f};
            c = Rotate(q, c);
        }
        c = {c.x + positions[i].x, c.y + positions[i].y, c.z + positions[i].z};
        bool inside = true;
        for (const Vector4& p : frustum.planes) {
            if (p.x * c.x + p.y * c.y + p.z * c.z + p.w < -r) {
                inside = false;
                break;
            }
        }
        if (inside) scratch.visible.push_back(i);
    }
}

// Copies the visible instances' attributes into the scratch buffers; returns where they start.
void UploadVisible(const R3D_InstanceData& data, unsigned int vbo[4], int offset[4]) {
    const int n = static_cast<int>(scratch.visible.size());
    for (int a = 0; a < 4; ++a) {
        vbo[a] = 0;
        offset[a] = 0;
        if (data.staging[a] == nullptr || data.vbo[a] == 0) continue;
        const int size = kInstanceAttributes[a].size;
        const int bytes = n * size;
        std::vector<unsigned char>& gather = scratch.gather[a];
        if (gather.size() < static_cast<size_t>(bytes)) gather.resize(bytes);
        const auto* source = static_cast<const unsigned char*>(data.staging[a]);
        for (int k = 0; k < n; ++k) std::memcpy(&gather[static_cast<size_t>(k) * size], source + static_cast<size_t>(scratch.visible[k]) * size, size);
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

}  // namespace

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

void ExecuteDraws(const std::vector<DrawCommand>& draws, const SceneProgram* scene, const Frustum* frustum) {
    const int noOffset[4] = {};
    for (const DrawCommand& draw : draws) {
        const unsigned int* vbo = draw.instances->vbo;
        const int* offset = noOffset;
        int count = draw.count;
        unsigned int culledVbo[4];
        int culledOffset[4];
        // Culling needs the CPU copy of the positions.
        if (frustum != nullptr && draw.instances->staging[0] != nullptr && draw.radius > 0.0f) {
            Cull(draw, *frustum);
            if (scratch.visible.empty()) continue;
            if (static_cast<int>(scratch.visible.size()) < count) {
                UploadVisible(*draw.instances, culledVbo, culledOffset);
                vbo = culledVbo;
                offset = culledOffset;
                count = static_cast<int>(scratch.visible.size());
            }
        }
        for (const R3D_MeshData& mesh : draw.model->meshes) {
            if (mesh.vao == 0) continue;  // loaded without a GL context
            gl::BindVertexArray(mesh.vao);
            BindInstanceAttributes(vbo, offset);
            if (scene != nullptr) BindMaterial(*draw.model, mesh, *scene);
            if (mesh.ebo != 0) {
                gl::DrawElementsInstanced(gl::kTriangles, static_cast<gl::GLsizei>(mesh.indices.size()),
                                          gl::kUnsignedInt, nullptr, count);
            } else {
                gl::DrawArraysInstanced(gl::kTriangles, 0, static_cast<gl::GLsizei>(mesh.positions.size()), count);
            }
        }
    }
    gl::BindVertexArray(0);
}

void UnloadDrawResources() {
    for (unsigned int& vbo : scratch.vbo) {
        if (vbo != 0) rlUnloadVertexBuffer(vbo);
    }
    scratch = Scratch{};
}

}  // namespace r3d

extern "C" void R3D_DrawModelInstanced(R3D_Model model, R3D_InstanceBuffer buffer, int count) {
    if (!r3d::SceneOpen()) {
        TraceLog(LOG_WARNING, "R3D: R3D_DrawModelInstanced called outside R3D_Begin/R3D_End; nothing drawn");
        return;
    }
    if (count > buffer.capacity) count = buffer.capacity;
    if (count <= 0 || model.data == nullptr || buffer.data == nullptr || model.data->meshes.empty()) return;
    const Vector3 lo = model.aabb.min, hi = model.aabb.max;
    r3d::DrawCommand draw;
    draw.model = model.data;
    draw.instances = buffer.data;
    draw.count = count;
    draw.center = {(lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f};
    const Vector3 half = {(hi.x - lo.x) * 0.5f, (hi.y - lo.y) * 0.5f, (hi.z - lo.z) * 0.5f};
    draw.radius = std::sqrt(half.x * half.x + half.y * half.y + half.z * half.z);
    r3d::DrawQueue().push_back(draw);
}
