// R3D_DrawModelInstanced and the instanced draw calls behind it.
#include "draw.h"

#include "draw_gl.h"
#include "raylib.h"  // Required for: TraceLog()
#include "rlgl.h"    // Required for: rlGetTextureIdDefault(), rlSetUniform()

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
    float fallback[4];  // value every instance sees when the buffer lacks the attribute
};

constexpr InstanceAttribute kInstanceAttributes[4] = {
    {kAttribInstancePosition, 3, gl::kFloat, false, {0.0f, 0.0f, 0.0f, 1.0f}},
    {kAttribInstanceRotation, 4, gl::kFloat, false, {0.0f, 0.0f, 0.0f, 1.0f}},
    {kAttribInstanceScale, 3, gl::kFloat, false, {1.0f, 1.0f, 1.0f, 1.0f}},
    {kAttribInstanceColor, 4, gl::kUnsignedByte, true, {1.0f, 1.0f, 1.0f, 1.0f}},
};

// Points the bound VAO's instance locations at the buffer's arrays, one element per instance.
void BindInstanceAttributes(const R3D_InstanceData& instances) {
    for (int i = 0; i < 4; ++i) {
        const InstanceAttribute& a = kInstanceAttributes[i];
        if (instances.vbo[i] != 0) {
            gl::BindBuffer(gl::kArrayBuffer, instances.vbo[i]);
            gl::VertexAttribPointer(a.location, a.components, a.type, a.normalized, 0, nullptr);
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

}  // namespace

void ExecuteDraws(const std::vector<DrawCommand>& draws, const SceneProgram* scene) {
    for (const DrawCommand& draw : draws) {
        for (const R3D_MeshData& mesh : draw.model->meshes) {
            if (mesh.vao == 0) continue;  // loaded without a GL context
            gl::BindVertexArray(mesh.vao);
            BindInstanceAttributes(*draw.instances);
            if (scene != nullptr) BindMaterial(*draw.model, mesh, *scene);
            if (mesh.ebo != 0) {
                gl::DrawElementsInstanced(gl::kTriangles, static_cast<gl::GLsizei>(mesh.indices.size()),
                                          gl::kUnsignedInt, nullptr, draw.count);
            } else {
                gl::DrawArraysInstanced(gl::kTriangles, 0, static_cast<gl::GLsizei>(mesh.positions.size()),
                                        draw.count);
            }
        }
    }
    gl::BindVertexArray(0);
}

}  // namespace r3d

extern "C" void R3D_DrawModelInstanced(R3D_Model model, R3D_InstanceBuffer buffer, int count) {
    if (!r3d::SceneOpen()) {
        TraceLog(LOG_WARNING, "R3D: R3D_DrawModelInstanced called outside R3D_Begin/R3D_End; nothing drawn");
        return;
    }
    if (count > buffer.capacity) count = buffer.capacity;
    if (count <= 0 || model.data == nullptr || buffer.data == nullptr || model.data->meshes.empty()) return;
    r3d::DrawQueue().push_back({model.data, buffer.data, count});
}
