// The layer's state and its C API: fonts and text (fonts.cpp), images, and
// shapes drawn with the atlas's white square.
#include "s2d.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "base/Files.h"
#include "base/Handles.h"
#include "base/Log.h"
#include "base/Numbers.h"
#include "batch.h"
#include "fonts.h"
#include "image_files.h"
#include "rlgl.h"

namespace s2d {
namespace {

constexpr float kPi = 3.14159265358979f;

struct ImageSlot {
    unsigned int texture = 0;  // 0: loaded without a window
    int width = 0, height = 0;
};

// The loaded images; handle 0 is the empty image. Like the fonts' pool it
// outlives S2D_Close, which empties it: a handle from before a close finds
// nothing rather than an image loaded after it.
base::Pool<ImageSlot>& Images() {
    static base::Pool<ImageSlot> pool{"S2D", "image"};
    return pool;
}

struct State {
    Batch batch;
    Fonts fonts{batch};
    bool gpu = false;
    S2D_Stats last{};
};

// Created on first use and deleted by S2D_Close, so a closed layer starts clean.
State* state = nullptr;
State& S() {
    if (!state) state = new State;
    return *state;
}

std::uint32_t Rgba(Color c) { return Pack(c.r, c.g, c.b, c.a); }

// -- Shapes: quads on the white square of glyph page 0 ---------------------------

struct Shapes {
    Batch& batch;
    unsigned int texture;
    std::uint32_t rgba;

    void Quad(Vector2 a, Vector2 b, Vector2 c, Vector2 d) {
        Vertex* v = batch.Quads(texture, 1);
        constexpr float u = Atlas::kWhiteU, w = Atlas::kWhiteV;
        v[0] = {a.x, a.y, u, w, rgba};
        v[1] = {b.x, b.y, u, w, rgba};
        v[2] = {c.x, c.y, u, w, rgba};
        v[3] = {d.x, d.y, u, w, rgba};
    }
    void Rect(float x, float y, float w, float h) {
        if (w > 0 && h > 0) Quad({x, y}, {x + w, y}, {x + w, y + h}, {x, y + h});
    }
    // Filled: the part of the disc around `c` between angles a0 and a1
    // (radians, y down), as pairs of triangles.
    void Fan(Vector2 c, float radius, float a0, float a1, int segments) {
        const float step = (a1 - a0) / static_cast<float>(segments);
        auto at = [&](int i) { return Vector2{c.x + radius * std::cos(a0 + step * i), c.y + radius * std::sin(a0 + step * i)}; };
        for (int i = 0; i < segments; i += 2) {
            const int next = std::min(i + 2, segments);
            Quad(c, at(i), at(i + 1), at(next));
        }
    }
    // The band between radii inner and outer, between angles a0 and a1.
    void Arc(Vector2 c, float inner, float outer, float a0, float a1, int segments) {
        const float step = (a1 - a0) / static_cast<float>(segments);
        for (int i = 0; i < segments; ++i) {
            const float s0 = std::sin(a0 + step * i), c0 = std::cos(a0 + step * i);
            const float s1 = std::sin(a0 + step * (i + 1)), c1 = std::cos(a0 + step * (i + 1));
            Quad({c.x + outer * c0, c.y + outer * s0}, {c.x + outer * c1, c.y + outer * s1},
                 {c.x + inner * c1, c.y + inner * s1}, {c.x + inner * c0, c.y + inner * s0});
        }
    }
};

// Segments for a full circle of `radius` pixels: the chords stray at most a
// quarter pixel from the curve.
int CircleSegments(float radius) {
    if (!(radius > 1.0f)) return 8;
    const float angle = std::acos(std::max(-1.0f, 1.0f - 0.25f / radius));
    const float segments = 2.0f * kPi / angle;  // infinite for a radius too vast to tell from a line
    return segments < 512.0f ? std::max(8, static_cast<int>(std::ceil(segments))) : 512;
}

Shapes ShapesFor(Color color) {
    State& s = S();
    return Shapes{s.batch, s.fonts.atlas().Texture(0), Rgba(color)};
}

float CornerRadius(Rectangle rec, float roundness) {
    if (!(roundness > 0)) return 0;
    return std::min(roundness, 1.0f) * std::min(rec.width, rec.height) * 0.5f;
}

}  // namespace
}  // namespace s2d

using namespace s2d;

extern "C" {

void S2D_Init(void) {
    State& s = S();
    if (s.gpu) return;
    s.gpu = true;
    s.batch.InitGpu();
    s.fonts.ForgetGlyphs();  // glyphs packed before there was a texture are packed again
    s.fonts.atlas().InitGpu();
}

void S2D_Close(void) {
    if (!state) return;
    if (state->gpu) {
        state->batch.CloseGpu();
        state->fonts.atlas().CloseGpu();
        Images().ForEach([](base::Handle, ImageSlot& image) {
            if (image.texture) rlUnloadTexture(image.texture);
        });
    }
    Images().Clear();
    delete state;
    state = nullptr;
}

// -- Fonts and text ---------------------------------------------------------------

S2D_Font S2D_LoadFontFromMemory(const void* bytes, size_t size, const char* what) {
    const auto* begin = static_cast<const unsigned char*>(bytes);
    std::string why;
    const unsigned int id = bytes ? S().fonts.Load(std::vector<unsigned char>(begin, begin + size), why)
                                  : (why = "the file is empty", 0u);
    if (id == 0) base::Warn("S2D", "could not load font \"%s\": %s; the default font is used", what ? what : "", why.c_str());
    return S2D_Font{id};
}

S2D_Font S2D_LoadFont(const char* fileName) {
    const std::string path = fileName ? fileName : "";
    base::FileData file = base::ReadFile(path, Fonts::kMaxFontBytes);
    std::string why = file.why;
    const unsigned int id = file ? S().fonts.Load(std::move(file.bytes), why) : 0u;
    if (id == 0) base::Warn("S2D", "could not load font \"%s\": %s; the default font is used", path.c_str(), why.c_str());
    return S2D_Font{id};
}

void S2D_UnloadFont(S2D_Font font) { S().fonts.Unload(font.id, "S2D_UnloadFont"); }

void S2D_DrawText(S2D_Font font, const char* text, size_t length, Vector2 position, float size, float spacing, Color color) {
    State& s = S();
    Fonts::Face* face = s.fonts.FaceOf(font.id, "S2D_DrawText");
    if (!face || !base::FiniteVector(position) || color.a == 0) return;
    s.fonts.Draw(*face, text, length, position.x, position.y, size, spacing, Rgba(color), s.batch);
}

Vector2 S2D_MeasureText(S2D_Font font, const char* text, size_t length, float size, float spacing) {
    State& s = S();
    float width = 0, height = 0;
    if (Fonts::Face* face = s.fonts.FaceOf(font.id, "S2D_MeasureText"))
        s.fonts.Measure(*face, text, length, size, spacing, width, height);
    return Vector2{width, height};
}

float S2D_GetLineHeight(S2D_Font font, float size) {
    State& s = S();
    Fonts::Face* face = s.fonts.FaceOf(font.id, "S2D_GetLineHeight");
    return face ? s.fonts.LineHeight(*face, size) : 0.0f;
}

// -- Images -----------------------------------------------------------------------

S2D_Image S2D_LoadImage(const char* fileName) {
    const std::string path = fileName ? fileName : "";
    std::string why;
    Image pixels = ImageFiles::Load(path, &why);
    if (pixels.data == nullptr) {
        base::Warn("S2D", "could not load image \"%s\": %s; it draws as nothing", path.c_str(), why.c_str());
        return S2D_Image{0};
    }
    State& s = S();
    ImageSlot slot;
    slot.width = pixels.width, slot.height = pixels.height;
    if (s.gpu) {
        slot.texture = rlLoadTexture(pixels.data, pixels.width, pixels.height, pixels.format, 1);
        rlTextureParameters(slot.texture, RL_TEXTURE_MIN_FILTER, RL_TEXTURE_FILTER_LINEAR);
        rlTextureParameters(slot.texture, RL_TEXTURE_MAG_FILTER, RL_TEXTURE_FILTER_LINEAR);
        rlTextureParameters(slot.texture, RL_TEXTURE_WRAP_S, RL_TEXTURE_WRAP_CLAMP);
        rlTextureParameters(slot.texture, RL_TEXTURE_WRAP_T, RL_TEXTURE_WRAP_CLAMP);
    }
    UnloadImage(pixels);
    const base::Handle handle = Images().Add(slot);
    if (handle == 0) {
        if (slot.texture) rlUnloadTexture(slot.texture);
        base::Warn("S2D", "could not load image \"%s\": no more images can be loaded; it draws as nothing", path.c_str());
    }
    return S2D_Image{handle};
}

void S2D_UnloadImage(S2D_Image image) {
    ImageSlot* slot = Images().Get(image.id, "S2D_UnloadImage");
    if (!slot) return;
    if (slot->texture) {
        S().batch.Flush();  // queued quads may still use it
        rlUnloadTexture(slot->texture);
    }
    Images().Remove(image.id);
}

int S2D_GetImageWidth(S2D_Image image) {
    const ImageSlot* slot = Images().Get(image.id, "S2D_GetImageWidth");
    return slot ? slot->width : 0;
}
int S2D_GetImageHeight(S2D_Image image) {
    const ImageSlot* slot = Images().Get(image.id, "S2D_GetImageHeight");
    return slot ? slot->height : 0;
}
unsigned int S2D_GetImageTexture(S2D_Image image) {
    const ImageSlot* slot = Images().Get(image.id, "S2D_GetImageTexture");
    return slot ? slot->texture : 0;
}

void S2D_DrawImage(S2D_Image image, Rectangle source, Rectangle dest, Vector2 origin, float rotation, Color tint) {
    const ImageSlot* slot = Images().Get(image.id, "S2D_DrawImage");
    if (!slot || !base::Finite(source.x, source.y, source.width, source.height) ||
        !base::Finite(dest.x, dest.y, dest.width, dest.height) || !base::FiniteVector(origin) || !base::Finite(rotation) ||
        tint.a == 0)
        return;
    if (!(dest.width > 0) || !(dest.height > 0) || source.width == 0 || source.height == 0) return;
    const float iw = static_cast<float>(slot->width), ih = static_cast<float>(slot->height);
    float u0 = source.x / iw, u1 = (source.x + source.width) / iw;
    float v0 = source.y / ih, v1 = (source.y + source.height) / ih;
    // Corners relative to the rotation origin, turned, then placed at dest.
    const float left = -origin.x, top = -origin.y, right = left + dest.width, bottom = top + dest.height;
    Vector2 corner[4] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    if (rotation != 0) {
        const float radians = rotation * kPi / 180.0f, c = std::cos(radians), s = std::sin(radians);
        for (Vector2& p : corner) p = {p.x * c - p.y * s, p.x * s + p.y * c};
    }
    const std::uint32_t rgba = Rgba(tint);
    Vertex* v = S().batch.Quads(slot->texture, 1);
    v[0] = {dest.x + corner[0].x, dest.y + corner[0].y, u0, v0, rgba};
    v[1] = {dest.x + corner[1].x, dest.y + corner[1].y, u1, v0, rgba};
    v[2] = {dest.x + corner[2].x, dest.y + corner[2].y, u1, v1, rgba};
    v[3] = {dest.x + corner[3].x, dest.y + corner[3].y, u0, v1, rgba};
}

// -- Shapes -----------------------------------------------------------------------

void S2D_DrawRectangle(Rectangle rec, Color color) {
    if (base::Finite(rec.x, rec.y, rec.width, rec.height) && color.a != 0)
        ShapesFor(color).Rect(rec.x, rec.y, rec.width, rec.height);
}

void S2D_DrawRectangleLines(Rectangle rec, float thickness, Color color) {
    if (!base::Finite(rec.x, rec.y, rec.width, rec.height, thickness) || !(thickness > 0) || color.a == 0 ||
        !(rec.width > 0) || !(rec.height > 0))
        return;
    const float t = std::min(thickness, std::min(rec.width, rec.height) * 0.5f);
    Shapes shapes = ShapesFor(color);
    shapes.Rect(rec.x, rec.y, rec.width, t);
    shapes.Rect(rec.x, rec.y + rec.height - t, rec.width, t);
    shapes.Rect(rec.x, rec.y + t, t, rec.height - 2 * t);
    shapes.Rect(rec.x + rec.width - t, rec.y + t, t, rec.height - 2 * t);
}

void S2D_DrawRectangleRounded(Rectangle rec, float roundness, Color color) {
    if (!base::Finite(rec.x, rec.y, rec.width, rec.height, roundness) || color.a == 0 || !(rec.width > 0) || !(rec.height > 0))
        return;
    const float r = CornerRadius(rec, roundness);
    Shapes shapes = ShapesFor(color);
    if (r < 0.5f) return shapes.Rect(rec.x, rec.y, rec.width, rec.height);
    const float x = rec.x, y = rec.y, w = rec.width, h = rec.height;
    shapes.Rect(x + r, y, w - 2 * r, h);
    shapes.Rect(x, y + r, r, h - 2 * r);
    shapes.Rect(x + w - r, y + r, r, h - 2 * r);
    const int n = std::max(2, CircleSegments(r) / 4);
    shapes.Fan({x + r, y + r}, r, kPi, 1.5f * kPi, n);
    shapes.Fan({x + w - r, y + r}, r, 1.5f * kPi, 2 * kPi, n);
    shapes.Fan({x + w - r, y + h - r}, r, 0, 0.5f * kPi, n);
    shapes.Fan({x + r, y + h - r}, r, 0.5f * kPi, kPi, n);
}

void S2D_DrawRectangleRoundedLines(Rectangle rec, float roundness, float thickness, Color color) {
    if (!base::Finite(rec.x, rec.y, rec.width, rec.height, roundness, thickness) || !(thickness > 0) || color.a == 0 ||
        !(rec.width > 0) || !(rec.height > 0))
        return;
    const float r = CornerRadius(rec, roundness);
    if (r < 0.5f) return S2D_DrawRectangleLines(rec, thickness, color);
    const float x = rec.x, y = rec.y, w = rec.width, h = rec.height;
    const float t = std::min(thickness, std::min(w, h) * 0.5f);
    Shapes shapes = ShapesFor(color);
    shapes.Rect(x + r, y, w - 2 * r, t);
    shapes.Rect(x + r, y + h - t, w - 2 * r, t);
    shapes.Rect(x, y + r, t, h - 2 * r);
    shapes.Rect(x + w - t, y + r, t, h - 2 * r);
    const float inner = std::max(0.0f, r - t);
    const int n = std::max(2, CircleSegments(r) / 4);
    shapes.Arc({x + r, y + r}, inner, r, kPi, 1.5f * kPi, n);
    shapes.Arc({x + w - r, y + r}, inner, r, 1.5f * kPi, 2 * kPi, n);
    shapes.Arc({x + w - r, y + h - r}, inner, r, 0, 0.5f * kPi, n);
    shapes.Arc({x + r, y + h - r}, inner, r, 0.5f * kPi, kPi, n);
}

void S2D_DrawCircle(Vector2 center, float radius, Color color) {
    if (!base::FiniteVector(center) || !(radius > 0) || !base::Finite(radius) || color.a == 0) return;
    ShapesFor(color).Fan(center, radius, 0, 2 * kPi, CircleSegments(radius));
}

void S2D_DrawCircleLines(Vector2 center, float radius, float thickness, Color color) {
    if (!base::FiniteVector(center) || !base::Finite(radius, thickness) || !(radius > 0) || !(thickness > 0) || color.a == 0) return;
    ShapesFor(color).Arc(center, std::max(0.0f, radius - thickness), radius, 0, 2 * kPi, CircleSegments(radius));
}

void S2D_DrawLine(Vector2 start, Vector2 end, float thickness, Color color) {
    if (!base::FiniteVector(start) || !base::FiniteVector(end) || !(thickness > 0) || !base::Finite(thickness) || color.a == 0) return;
    const float dx = end.x - start.x, dy = end.y - start.y, length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0) || !base::Finite(length)) return;
    const float nx = -dy / length * thickness * 0.5f, ny = dx / length * thickness * 0.5f;
    ShapesFor(color).Quad({start.x + nx, start.y + ny}, {end.x + nx, end.y + ny}, {end.x - nx, end.y - ny},
                          {start.x - nx, start.y - ny});
}

// -- The frame ----------------------------------------------------------------------

void S2D_Flush(void) {
    if (state) state->batch.Flush();
}

void S2D_EndFrame(void) {
    State& s = S();
    s.batch.Flush();
    s.last = S2D_Stats{s.batch.drawCalls, s.batch.quadsDrawn, s.fonts.atlas().Pages()};
    s.batch.drawCalls = s.batch.quadsDrawn = 0;
}

S2D_Stats S2D_GetFrameStats(void) { return S().last; }

}  // extern "C"
