// Glyph pages: textures that every font's glyphs are packed into, shelf by
// shelf, the first time each is drawn at a size. Page 0 keeps a small white
// square in its corner, which shapes are drawn with, so that text and shapes
// share one texture and one draw call.
#pragma once

#include <vector>

namespace s2d {

class Atlas {
public:
    static constexpr int kSize = 2048;    // pixels on a side (8 MiB of grey and alpha)
    static constexpr int kMaxPages = 8;
    static constexpr int kLargestGlyph = kSize - 8;

    struct Place {
        int page = 0, x = 0, y = 0;
    };

    Atlas() { Reset(); }
    ~Atlas() { CloseGpu(); }

    // Room for a w x h glyph; false when every page is full (Reset, then try again).
    bool Reserve(int w, int h, Place& out);
    // Coverage bytes, w x h, row by row, into a reserved place.
    void Upload(const Place& place, int w, int h, const unsigned char* coverage, int pitch);
    // Forgets every glyph (the white square stays).
    void Reset();

    void InitGpu();
    void CloseGpu();
    bool Gpu() const { return gpu_; }
    unsigned int Texture(int page) const { return page < static_cast<int>(textures_.size()) ? textures_[page] : 0; }
    int Pages() const { return static_cast<int>(pages_.size()); }

    // The middle of the white square, as a texture coordinate on page 0.
    static constexpr float kWhiteU = 2.0f / kSize, kWhiteV = 2.0f / kSize;

private:
    struct Shelf {
        int y, height, x;
    };
    struct Page {
        std::vector<Shelf> shelves;
        int top = 0;  // first row no shelf uses
    };
    void AddPage();

    std::vector<Page> pages_;
    std::vector<unsigned int> textures_;
    bool gpu_ = false;
};

}  // namespace s2d
