#include "atlas.h"

#include "raylib.h"
#include "rlgl.h"

namespace s2d {
namespace {

constexpr int kGap = 1;  // empty texels between glyphs, so filtering never reaches a neighbour
constexpr int kWhite = 4;

// A texture of the page size, fully transparent (GL leaves new texels undefined).
unsigned int BlankPageTexture() {
    const std::vector<unsigned char> zeros(static_cast<std::size_t>(Atlas::kSize) * Atlas::kSize * 2, 0);
    const unsigned int id = rlLoadTexture(zeros.data(), Atlas::kSize, Atlas::kSize, PIXELFORMAT_UNCOMPRESSED_GRAY_ALPHA, 1);
    rlTextureParameters(id, RL_TEXTURE_MIN_FILTER, RL_TEXTURE_FILTER_LINEAR);
    rlTextureParameters(id, RL_TEXTURE_MAG_FILTER, RL_TEXTURE_FILTER_LINEAR);
    rlTextureParameters(id, RL_TEXTURE_WRAP_S, RL_TEXTURE_WRAP_CLAMP);
    rlTextureParameters(id, RL_TEXTURE_WRAP_T, RL_TEXTURE_WRAP_CLAMP);
    return id;
}

}  // namespace

void Atlas::AddPage() {
    pages_.emplace_back();
    if (gpu_ && textures_.size() < pages_.size()) textures_.push_back(BlankPageTexture());
}

bool Atlas::Reserve(int w, int h, Place& out) {
    if (w <= 0 || h <= 0 || w > kLargestGlyph || h > kLargestGlyph) return false;
    const int width = ((w + 1) & ~1) + kGap, height = h + kGap;  // even widths: see Upload
    for (int p = 0; p < static_cast<int>(pages_.size()) + 1; ++p) {
        if (p == static_cast<int>(pages_.size())) {
            if (p >= kMaxPages) return false;
            AddPage();
        }
        Page& page = pages_[p];
        // A shelf this tall or a little taller, with room left on it.
        for (Shelf& shelf : page.shelves) {
            if (shelf.height >= height && shelf.height <= height + height / 4 + 2 && shelf.x + width <= kSize) {
                out = {p, shelf.x, shelf.y};
                shelf.x += width;
                return true;
            }
        }
        if (page.top + height <= kSize) {
            page.shelves.push_back({page.top, height, width});
            out = {p, 0, page.top};
            page.top += height;
            return true;
        }
    }
    return false;
}

void Atlas::Upload(const Place& place, int w, int h, const unsigned char* coverage, int pitch) {
    if (!gpu_ || place.page >= static_cast<int>(textures_.size())) return;
    // White texels with the coverage as alpha; rows of an even number of texels
    // (4 bytes), which every unpack alignment reads alike.
    const int even = (w + 1) & ~1;
    std::vector<unsigned char> texels(static_cast<std::size_t>(even) * h * 2, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned char* t = &texels[(static_cast<std::size_t>(y) * even + x) * 2];
            t[0] = 255;
            t[1] = coverage[static_cast<std::size_t>(y) * pitch + x];
        }
    }
    rlUpdateTexture(textures_[place.page], place.x, place.y, even, h, PIXELFORMAT_UNCOMPRESSED_GRAY_ALPHA, texels.data());
}

void Atlas::Reset() {
    // The pages' textures stay, cleared, for the glyphs packed from now on.
    pages_.assign(1, Page{});
    pages_[0].shelves.push_back({0, kWhite + kGap, kWhite + kGap});
    pages_[0].top = kWhite + kGap;
    if (gpu_ && !textures_.empty()) {
        // Old glyphs are cleared: the gaps around new ones must stay transparent.
        const std::vector<unsigned char> zeros(static_cast<std::size_t>(kSize) * kSize * 2, 0);
        for (unsigned int id : textures_) rlUpdateTexture(id, 0, 0, kSize, kSize, PIXELFORMAT_UNCOMPRESSED_GRAY_ALPHA, zeros.data());
        const std::vector<unsigned char> white(kWhite * kWhite * 2, 255);
        rlUpdateTexture(textures_[0], 0, 0, kWhite, kWhite, PIXELFORMAT_UNCOMPRESSED_GRAY_ALPHA, white.data());
    }
}

void Atlas::InitGpu() {
    if (gpu_) return;
    gpu_ = true;
    for (std::size_t p = 0; p < pages_.size(); ++p) textures_.push_back(BlankPageTexture());
    Reset();
}

void Atlas::CloseGpu() {
    if (!gpu_) return;
    for (unsigned int id : textures_) rlUnloadTexture(id);
    textures_.clear();
    gpu_ = false;
}

}  // namespace s2d
