// The queue every drawing call of the layer writes into: quads of four
// vertices, each quad on one texture. Consecutive quads on the same texture
// form a run, drawn with one draw call; the quads go to the GPU in one upload
// when the queue is flushed (at S2D_Flush, or when it is full).
#pragma once

#include <cstdint>
#include <vector>

namespace s2d {

struct Vertex {
    float x, y;
    float u, v;
    std::uint32_t rgba;  // bytes r, g, b, a in memory order
};

class Batch {
public:
    // 16-bit indices reach 65,536 vertices.
    static constexpr int kMaxQuads = 16384;

    // The GPU side; without it quads are counted and dropped.
    void InitGpu();
    void CloseGpu();

    // Room for `count` quads (at most kMaxQuads) on `texture`: 4 * count
    // vertices to fill, in the order top-left, top-right, bottom-right,
    // bottom-left (any winding draws).
    Vertex* Quads(unsigned int texture, int count) {
        if (quads_ + count > kMaxQuads) Flush();
        if (runs_.empty() || runs_.back().texture != texture) runs_.push_back({texture, quads_, 0});
        runs_.back().count += count;
        Vertex* out = vertices_.data() + static_cast<std::size_t>(quads_) * 4;
        quads_ += count;
        return out;
    }

    void Flush();

    int drawCalls = 0;  // since the counters were last reset
    int quadsDrawn = 0;

private:
    struct Run {
        unsigned int texture;
        int first, count;
    };
    std::vector<Vertex> vertices_ = std::vector<Vertex>(static_cast<std::size_t>(kMaxQuads) * 4);
    std::vector<Run> runs_;
    int quads_ = 0;
    unsigned int vao_ = 0, vbo_ = 0, ebo_ = 0;
};

inline std::uint32_t Pack(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
    const unsigned char bytes[4] = {r, g, b, a};
    std::uint32_t out;
    __builtin_memcpy(&out, bytes, 4);
    return out;
}

}  // namespace s2d
