// Fonts: FreeType faces, their glyphs rasterised per size on first use into
// the atlas, and text laid out with them into the batch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "atlas.h"
#include "base/Handles.h"
#include "batch.h"

namespace s2d {

// One glyph at one raster size: its quad around the pen on the baseline (y
// down), where it lies in the atlas, and how far it moves the pen.
struct Glyph {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
    float advance = 0;
    int page = -1;         // -1: nothing to draw (a space)
    bool present = false;  // false: the font has no such character
    bool lost = false;     // no room was left in the atlas for it
};

class Fonts {
public:
    // Font files larger than this are refused.
    static constexpr std::size_t kMaxFontBytes = 64u << 20;

    explicit Fonts(Batch& batch);
    ~Fonts();

    // A face from a whole file's bytes: its handle, or 0 and `why` when it
    // cannot be used. Handle 0 is the default font, built in.
    unsigned int Load(std::vector<unsigned char> bytes, std::string& why);
    // A handle that finds no font warns naming `call`; the default font stays.
    void Unload(unsigned int id, const char* call);

    // The font behind a handle (0: the default font), or null with a warning
    // naming `call` when the handle finds none (released, or never a font's).
    struct Face;
    Face* FaceOf(unsigned int id, const char* call);

    void Draw(Face& face, const char* text, std::size_t length, float x, float y, float size, float spacing,
              std::uint32_t rgba, Batch& batch);
    void Measure(Face& face, const char* text, std::size_t length, float size, float spacing, float& width, float& height);
    float LineHeight(Face& face, float size);

    // Every cached glyph is forgotten (the atlas was reset).
    void ForgetGlyphs();
    Atlas& atlas() { return atlas_; }

private:
    struct Sized;

    Face* DefaultFace();
    std::unique_ptr<Face> Open(std::vector<unsigned char> bytes, std::string& why);
    Sized& SizeOf(Face& face, int px);
    const Glyph& Find(Face& face, Sized& sized, std::uint32_t cp);
    Glyph Resolve(Face& face, int px, std::uint32_t cp);
    Glyph Rasterise(Face& face, Sized& sized, std::uint32_t cp);

    template <class Visit>
    void Layout(Face& face, const char* text, std::size_t length, float size, float spacing, Visit& visit);

    void* library_ = nullptr;  // FT_Library
    // The loaded fonts. The pool outlives this object (S2D_Close deletes it)
    // and is emptied rather than made anew, so a handle from before a close
    // finds nothing instead of a font loaded after it.
    base::Pool<std::unique_ptr<Face>>& faces_;
    std::unique_ptr<Face> default_;  // read on first use
    Atlas atlas_;
    Batch& batch_;  // its queued quads point into the atlas: drawn before the atlas is reset
};

}  // namespace s2d
