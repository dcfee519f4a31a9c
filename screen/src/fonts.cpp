#include "fonts.h"

#include <algorithm>
#include <cmath>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include "base/Files.h"
#include "base/Log.h"
#include "s2d.h"
#include "utf8.h"

namespace s2d {

// The default font's file, built into the layer.
extern const unsigned char kDefaultFont[];
extern const std::size_t kDefaultFontSize;

namespace {

constexpr float kTabSpaces = 4;

int RasterSize(float size) { return std::clamp(static_cast<int>(std::lround(size)), 1, S2D_MAX_RASTER_SIZE); }

}  // namespace

struct Fonts::Sized {
    int px = 0;
    float ascender = 0, lineHeight = 0;
    Glyph ascii[128];
    bool asciiKnown[128] = {};
    std::unordered_map<std::uint32_t, Glyph> others;
};

struct Fonts::Face {
    std::vector<unsigned char> bytes;  // FreeType reads from them for the face's life
    FT_Face face = nullptr;
    int px = 0;  // the size FreeType is set to
    std::unordered_map<int, std::unique_ptr<Sized>> sizes;
    // The size looked up last, the usual case for a run of draws.
    Sized* last = nullptr;

    ~Face() {
        if (face) FT_Done_Face(face);
    }
};

namespace {

base::Pool<std::unique_ptr<Fonts::Face>>& FacePool() {
    static base::Pool<std::unique_ptr<Fonts::Face>> pool{"S2D", "font"};
    return pool;
}

}  // namespace

Fonts::Fonts(Batch& batch) : faces_(FacePool()), batch_(batch) {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) == 0) library_ = library;
}

Fonts::~Fonts() {
    faces_.Clear();  // every handle goes stale; the faces go before their library
    default_.reset();
    if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

std::unique_ptr<Fonts::Face> Fonts::Open(std::vector<unsigned char> bytes, std::string& why) {
    if (!library_) return why = "the font library did not start", nullptr;
    if (bytes.empty()) return why = "the file is empty", nullptr;
    if (bytes.size() > kMaxFontBytes) return why = "the file is larger than " + base::DescribeSize(kMaxFontBytes), nullptr;
    auto face = std::make_unique<Face>();
    face->bytes = std::move(bytes);
    const FT_Error error = FT_New_Memory_Face(static_cast<FT_Library>(library_), face->bytes.data(),
                                              static_cast<FT_Long>(face->bytes.size()), 0, &face->face);
    if (error != 0) {
        face->face = nullptr;
        return why = error == FT_Err_Unknown_File_Format ? "not a TrueType or OpenType font" : "damaged font file", nullptr;
    }
    if (!FT_IS_SCALABLE(face->face)) return why = "not a scalable (outline) font", nullptr;
    if (FT_Select_Charmap(face->face, FT_ENCODING_UNICODE) != 0) return why = "the font has no Unicode character map", nullptr;
    if (FT_Set_Pixel_Sizes(face->face, 0, 16) != 0) return why = "the font cannot be scaled", nullptr;
    face->px = 16;
    const FT_Size_Metrics& m = face->face->size->metrics;
    if (m.height <= 0 || m.ascender <= 0) return why = "the font's line metrics are unusable", nullptr;
    return face;
}

unsigned int Fonts::Load(std::vector<unsigned char> bytes, std::string& why) {
    std::unique_ptr<Face> face = Open(std::move(bytes), why);
    if (!face) return 0;
    const base::Handle handle = faces_.Add(std::move(face));
    if (handle == 0) why = "no more fonts can be loaded";
    return handle;
}

void Fonts::Unload(unsigned int id, const char* call) {
    if (id == 0) return;  // the default font stays
    if (faces_.Get(id, call)) faces_.Remove(id);
}

Fonts::Face* Fonts::DefaultFace() {
    if (!default_) {
        std::string why;
        default_ = Open(std::vector<unsigned char>(kDefaultFont, kDefaultFont + kDefaultFontSize), why);
        if (!default_) base::Warn("S2D", "the built-in font could not be read: %s", why.c_str());
    }
    return default_.get();
}

Fonts::Face* Fonts::FaceOf(unsigned int id, const char* call) {
    if (id == 0) return DefaultFace();
    std::unique_ptr<Face>* face = faces_.Get(id, call);
    return face ? face->get() : nullptr;
}

Fonts::Sized& Fonts::SizeOf(Face& face, int px) {
    if (face.last && face.last->px == px) return *face.last;
    std::unique_ptr<Sized>& slot = face.sizes[px];
    if (!slot) {
        slot = std::make_unique<Sized>();
        slot->px = px;
        if (face.px != px && FT_Set_Pixel_Sizes(face.face, 0, static_cast<FT_UInt>(px)) == 0) face.px = px;
        const FT_Size_Metrics& m = face.face->size->metrics;
        // Metrics out of proportion (a broken font) fall back to the em size.
        const float ascender = static_cast<float>(m.ascender) / 64.0f, height = static_cast<float>(m.height) / 64.0f;
        slot->ascender = ascender > 0 && ascender < 4.0f * px ? std::round(ascender) : static_cast<float>(px);
        slot->lineHeight = height > 0 && height < 8.0f * px ? std::round(height) : std::ceil(1.2f * px);
    }
    face.last = slot.get();
    return *slot;
}

Glyph Fonts::Rasterise(Face& face, Sized& sized, std::uint32_t cp) {
    Glyph glyph;
    const FT_UInt index = FT_Get_Char_Index(face.face, cp);
    if (index == 0) return glyph;  // not present
    glyph.present = true;
    if (face.px != sized.px) {
        if (FT_Set_Pixel_Sizes(face.face, 0, static_cast<FT_UInt>(sized.px)) != 0) return glyph;
        face.px = sized.px;
    }
    if (FT_Load_Glyph(face.face, index, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) != 0) return glyph;
    FT_GlyphSlot slot = face.face->glyph;
    const float advance = static_cast<float>(slot->advance.x) / 64.0f;
    glyph.advance = std::isfinite(advance) ? std::clamp(advance, 0.0f, 8.0f * sized.px) : 0.0f;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        // An outline far larger than its size (a broken or hostile font) is not
        // rasterised: its bitmap could take gigabytes.
        FT_BBox box;
        FT_Outline_Get_CBox(&slot->outline, &box);
        const long limit = (4L * sized.px + 64) * 64;
        if (box.xMax - box.xMin > limit || box.yMax - box.yMin > limit) return glyph;
    }
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const int w = static_cast<int>(bitmap.width), h = static_cast<int>(bitmap.rows);
    if (w == 0 || h == 0 || bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.pitch < w) return glyph;

    Atlas::Place place;
    if (!atlas_.Reserve(w, h, place)) {
        glyph.lost = true;
        return glyph;
    }
    atlas_.Upload(place, w, h, bitmap.buffer, bitmap.pitch);
    glyph.page = place.page;
    glyph.x0 = static_cast<float>(slot->bitmap_left);
    glyph.y0 = static_cast<float>(-slot->bitmap_top);
    glyph.x1 = glyph.x0 + static_cast<float>(w);
    glyph.y1 = glyph.y0 + static_cast<float>(h);
    constexpr float kTexel = 1.0f / Atlas::kSize;
    glyph.u0 = static_cast<float>(place.x) * kTexel;
    glyph.v0 = static_cast<float>(place.y) * kTexel;
    glyph.u1 = static_cast<float>(place.x + w) * kTexel;
    glyph.v1 = static_cast<float>(place.y + h) * kTexel;
    return glyph;
}

const Glyph& Fonts::Find(Face& face, Sized& sized, std::uint32_t cp) {
    if (cp < 128) {
        if (!sized.asciiKnown[cp]) {
            sized.ascii[cp] = Rasterise(face, sized, cp);
            sized.asciiKnown[cp] = true;
        }
        return sized.ascii[cp];
    }
    auto found = sized.others.find(cp);
    if (found != sized.others.end()) return found->second;
    return sized.others.emplace(cp, Rasterise(face, sized, cp)).first->second;
}

// The glyph for `cp` in `face`, else in the default font, else the default
// font's replacement glyph. When the atlas is full, the queued quads are drawn
// and every glyph is packed anew.
Glyph Fonts::Resolve(Face& face, int px, std::uint32_t cp) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        Glyph glyph = Find(face, SizeOf(face, px), cp);
        Face* fallback = &face;
        if (!glyph.present && (fallback = DefaultFace()) != &face && fallback) glyph = Find(*fallback, SizeOf(*fallback, px), cp);
        if (!glyph.present && fallback) glyph = Find(*fallback, SizeOf(*fallback, px), kReplacement);
        if (!glyph.lost || attempt == 1) return glyph;
        batch_.Flush();
        ForgetGlyphs();
    }
    return Glyph{};
}

void Fonts::ForgetGlyphs() {
    atlas_.Reset();
    const auto forget = [](Face& face) {
        face.sizes.clear();
        face.last = nullptr;
    };
    faces_.ForEach([&](base::Handle, std::unique_ptr<Face>& face) { forget(*face); });
    if (default_) forget(*default_);
}

template <class Visit>
void Fonts::Layout(Face& face, const char* text, std::size_t length, float size, float spacing, Visit& visit) {
    if (text == nullptr || !(size > 0) || !std::isfinite(size) || !std::isfinite(spacing)) return;
    size = std::min(size, S2D_MAX_TEXT_SIZE);
    const int px = RasterSize(size);
    const float scale = size / static_cast<float>(px);
    const Sized& sized = SizeOf(face, px);
    const float ascender = sized.ascender * scale, lineHeight = sized.lineHeight * scale;  // kept: a full atlas resets the sizes
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    float pen = 0, line = 0;
    bool lineStarted = false;
    for (std::size_t at = 0; at < length;) {
        const std::uint32_t cp = NextCodepoint(bytes, length, at);
        if (cp == '\n') {
            visit.EndLine(pen, lineStarted ? spacing : 0.0f);
            pen = 0, lineStarted = false;
            line += lineHeight;
            continue;
        }
        if (cp < 0x20 || cp == 0x7F) {
            if (cp != '\t') continue;  // other control characters take no room
            const Glyph space = Resolve(face, px, ' ');
            pen += kTabSpaces * space.advance * scale + spacing;
            lineStarted = true;
            continue;
        }
        const Glyph glyph = Resolve(face, px, cp);
        visit.Glyph(glyph, pen, line, ascender, scale);
        pen += glyph.advance * scale + spacing;
        lineStarted = true;
    }
    visit.EndLine(pen, lineStarted ? spacing : 0.0f);
    visit.Lines(line + lineHeight);
}

namespace {

struct Measuring {
    float width = 0, height = 0;
    void Glyph(const s2d::Glyph&, float, float, float, float) {}
    void EndLine(float pen, float trailing) { width = std::max(width, pen - trailing); }
    void Lines(float total) { height = total; }
};

struct Drawing {
    Batch& batch;
    const Atlas& atlas;
    float x, y;
    std::uint32_t rgba;
    bool snap;

    void Glyph(const s2d::Glyph& g, float pen, float line, float ascender, float scale) {
        if (g.page < 0) return;
        float left = x + pen, baseline = y + line + ascender;
        if (snap) left = std::round(left), baseline = std::round(baseline);  // glyphs drawn 1:1 stay on whole pixels
        const float x0 = left + g.x0 * scale, x1 = left + g.x1 * scale;
        const float y0 = baseline + g.y0 * scale, y1 = baseline + g.y1 * scale;
        Vertex* v = batch.Quads(atlas.Texture(g.page), 1);
        v[0] = {x0, y0, g.u0, g.v0, rgba};
        v[1] = {x1, y0, g.u1, g.v0, rgba};
        v[2] = {x1, y1, g.u1, g.v1, rgba};
        v[3] = {x0, y1, g.u0, g.v1, rgba};
    }
    void EndLine(float, float) {}
    void Lines(float) {}
};

}  // namespace

void Fonts::Draw(Face& face, const char* text, std::size_t length, float x, float y, float size, float spacing,
                 std::uint32_t rgba, Batch& batch) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    const bool snap = size <= S2D_MAX_RASTER_SIZE;
    Drawing drawing{batch, atlas_, x, y, rgba, snap};
    Layout(face, text, length, size, spacing, drawing);
}

void Fonts::Measure(Face& face, const char* text, std::size_t length, float size, float spacing, float& width,
                    float& height) {
    Measuring measuring;
    width = height = 0;
    Layout(face, text, length, size, spacing, measuring);
    width = measuring.width, height = measuring.height;
}

float Fonts::LineHeight(Face& face, float size) {
    if (!(size > 0) || !std::isfinite(size)) return 0;
    size = std::min(size, S2D_MAX_TEXT_SIZE);
    const int px = RasterSize(size);
    return SizeOf(face, px).lineHeight * size / static_cast<float>(px);
}

}  // namespace s2d
