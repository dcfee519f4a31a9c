#include "batch.h"

#include "raylib.h"
#include "raymath.h"
#include "rlgl.h"

namespace s2d {

void Batch::InitGpu() {
    if (vao_ != 0) return;
    std::vector<unsigned short> indices(static_cast<std::size_t>(kMaxQuads) * 6);
    for (int q = 0; q < kMaxQuads; ++q) {
        const auto v = static_cast<unsigned short>(q * 4);
        unsigned short* i = &indices[static_cast<std::size_t>(q) * 6];
        i[0] = v, i[1] = static_cast<unsigned short>(v + 1), i[2] = static_cast<unsigned short>(v + 2);
        i[3] = v, i[4] = static_cast<unsigned short>(v + 2), i[5] = static_cast<unsigned short>(v + 3);
    }
    vao_ = rlLoadVertexArray();
    rlEnableVertexArray(vao_);
    vbo_ = rlLoadVertexBuffer(nullptr, static_cast<int>(vertices_.size() * sizeof(Vertex)), true);
    // The default shader's inputs: position, texture coordinate, colour.
    constexpr int kStride = sizeof(Vertex);
    rlSetVertexAttribute(RL_DEFAULT_SHADER_ATTRIB_LOCATION_POSITION, 2, RL_FLOAT, false, kStride, 0);
    rlEnableVertexAttribute(RL_DEFAULT_SHADER_ATTRIB_LOCATION_POSITION);
    rlSetVertexAttribute(RL_DEFAULT_SHADER_ATTRIB_LOCATION_TEXCOORD, 2, RL_FLOAT, false, kStride, 8);
    rlEnableVertexAttribute(RL_DEFAULT_SHADER_ATTRIB_LOCATION_TEXCOORD);
    rlSetVertexAttribute(RL_DEFAULT_SHADER_ATTRIB_LOCATION_COLOR, 4, RL_UNSIGNED_BYTE, true, kStride, 16);
    rlEnableVertexAttribute(RL_DEFAULT_SHADER_ATTRIB_LOCATION_COLOR);
    ebo_ = rlLoadVertexBufferElement(indices.data(), static_cast<int>(indices.size() * sizeof(unsigned short)), false);
    rlDisableVertexArray();
}

void Batch::CloseGpu() {
    if (vao_ == 0) return;
    rlUnloadVertexArray(vao_);
    rlUnloadVertexBuffer(vbo_);
    rlUnloadVertexBuffer(ebo_);
    vao_ = vbo_ = ebo_ = 0;
    runs_.clear();
    quads_ = 0;
}

void Batch::Flush() {
    if (quads_ == 0) return;
    if (vao_ != 0) {
        rlDrawRenderBatchActive();  // what raylib queued before lies under this
        rlUpdateVertexBuffer(vbo_, vertices_.data(), quads_ * 4 * static_cast<int>(sizeof(Vertex)), 0);
        const unsigned int shader = rlGetShaderIdDefault();
        const int* locs = rlGetShaderLocsDefault();
        rlEnableShader(shader);
        rlSetUniformMatrix(locs[RL_SHADER_LOC_MATRIX_MVP], MatrixMultiply(rlGetMatrixModelview(), rlGetMatrixProjection()));
        const float white[4] = {1, 1, 1, 1};
        rlSetUniform(locs[RL_SHADER_LOC_COLOR_DIFFUSE], white, RL_SHADER_UNIFORM_VEC4, 1);
        const int unit = 0;
        rlSetUniform(locs[RL_SHADER_LOC_MAP_DIFFUSE], &unit, RL_SHADER_UNIFORM_INT, 1);
        rlDisableDepthTest();
        rlDisableBackfaceCulling();  // mirrored images and lines drawn backwards wind the other way
        rlEnableVertexArray(vao_);
        rlActiveTextureSlot(0);
        for (const Run& run : runs_) {
            rlEnableTexture(run.texture);
            rlDrawVertexArrayElements(run.first * 6, run.count * 6, nullptr);
        }
        rlDisableVertexArray();
        rlDisableTexture();
        rlDisableShader();
        rlEnableBackfaceCulling();
    }
    drawCalls += static_cast<int>(runs_.size());  // counted alike without a window, for tests
    quadsDrawn += quads_;
    runs_.clear();
    quads_ = 0;
}

}  // namespace s2d
