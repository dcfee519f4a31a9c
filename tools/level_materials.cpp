#include "level_materials.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <vector>

namespace level {
namespace {

// Roughness r is (2 / (n + 2))^(1/4) for a Phong exponent n: concrete about 0.9, glazed
// tiles 0.4, paint 0.5.
const Surface kSurfaces[kKinds] = {
    {"base_concrete.png", "base_concrete_normal.png", 256, 2.0f, 1.0f},
    {"base_tiles.png", "base_tiles_normal.png", 256, 1.2f, 76.0f},
    {"base_metal.png", "base_metal_normal.png", 256, 1.0f, 30.0f},
};

// Only integer arithmetic decides where noise and marks fall, so every build machine
// draws the same maps.
uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}
float Random(uint32_t x, uint32_t y, uint32_t seed) { return (Hash(x, y, seed) >> 8) * (1.0f / 16777216.0f); }

float Smooth(float t) { return t * t * (3.0f - 2.0f * t); }
float SmoothStep(float a, float b, float x) { return Smooth(std::clamp((x - a) / (b - a), 0.0f, 1.0f)); }

// A square of values that wraps at its edges: the maps tile.
struct Map {
    int size;
    std::vector<float> v;
    explicit Map(int s) : size(s), v(static_cast<size_t>(s) * s, 0.0f) {}
    float& operator()(int x, int y) {
        x = ((x % size) + size) % size;
        y = ((y % size) + size) % size;
        return v[static_cast<size_t>(y) * size + x];
    }
};

// Values on a lattice of `cells` per side, eased between; it wraps at the map's edges.
float ValueNoise(float x, float y, int size, int cells, uint32_t seed, int cellsDown = 0) {
    if (cellsDown == 0) cellsDown = cells;  // fewer across than down streaks it
    const float fx = x * cells / size, fy = y * cellsDown / size;
    const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
    const float tx = Smooth(fx - x0), ty = Smooth(fy - y0);
    auto at = [&](int i, int j) {
        return Random(static_cast<uint32_t>(((i % cells) + cells) % cells),
                      static_cast<uint32_t>(((j % cellsDown) + cellsDown) % cellsDown), seed);
    };
    const float a = at(x0, y0), b = at(x0 + 1, y0), c = at(x0, y0 + 1), d = at(x0 + 1, y0 + 1);
    return a + (b - a) * tx + (c - a) * ty + (a - b - c + d) * tx * ty;
}

// Octaves of value noise from `cells` per side upwards, in 0..1.
float Fractal(float x, float y, int size, int cells, int octaves, uint32_t seed) {
    float sum = 0.0f, weight = 0.0f, amplitude = 1.0f;
    for (int o = 0; o < octaves && cells <= size; ++o, cells *= 2, amplitude *= 0.5f) {
        sum += amplitude * ValueNoise(x, y, size, cells, seed + o);
        weight += amplitude;
    }
    return sum / weight;
}

struct Drawn {
    Map red, green, blue, height;
    float strength;  // how steeply a unit of height per texel tilts the normal
    explicit Drawn(int size) : red(size), green(size), blue(size), height(size), strength(1.0f) {}
    void Grey(int x, int y, float g) { red(x, y) = green(x, y) = blue(x, y) = g; }
};

// Grey with broad blotches and fine grain, small stones showing light or dark, and
// pores: slight pits.
Drawn Concrete(int size) {
    Drawn d(size);
    d.strength = 0.7f;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float blotch = Fractal(x, y, size, 4, 5, 11) - 0.5f;
            const float grain = Random(x, y, 12) - 0.5f;
            const float warm = Fractal(x, y, size, 8, 2, 13) - 0.5f;
            const float g = 0.86f + 0.22f * blotch + 0.05f * grain;
            d.red(x, y) = g * (1.0f + 0.04f * warm);
            d.green(x, y) = g;
            d.blue(x, y) = g * (1.0f - 0.04f * warm);
            d.height(x, y) = 0.35f * Fractal(x, y, size, 128, 2, 14) + 0.15f * grain;
        }
    }
    // At most one stone or pore per cell of 6 texels, placed and sized by its hash.
    const int cell = 6, cells = size / cell;
    for (int cy = 0; cy < cells; ++cy) {
        for (int cx = 0; cx < cells; ++cx) {
            const float kind = Random(cx, cy, 20);
            if (kind > 0.3f) continue;
            const float px = (cx + Random(cx, cy, 21)) * cell, py = (cy + Random(cx, cy, 22)) * cell;
            const float radius = 0.6f + 1.0f * Random(cx, cy, 23);
            const bool pore = kind < 0.08f;
            const float shade = pore ? 0.6f : (kind < 0.18f ? 0.78f : 1.06f);
            for (int y = static_cast<int>(py - radius) - 1; y <= static_cast<int>(py + radius) + 1; ++y) {
                for (int x = static_cast<int>(px - radius) - 1; x <= static_cast<int>(px + radius) + 1; ++x) {
                    const float r = std::hypot(x + 0.5f - px, y + 0.5f - py);
                    const float in = 1.0f - SmoothStep(radius - 0.7f, radius + 0.3f, r);
                    if (in <= 0.0f) continue;
                    for (Map* m : {&d.red, &d.green, &d.blue}) (*m)(x, y) += ((*m)(x, y) * shade - (*m)(x, y)) * in;
                    d.height(x, y) += (pore ? -1.2f : 0.25f) * in;
                }
            }
        }
    }
    return d;
}

// Square tiles, `perSide` to a repeat, each a little lighter or darker than the next,
// in dark grout set below them with rounded edges.
Drawn Tiles(int size) {
    Drawn d(size);
    d.strength = 2.5f;
    const int perSide = 4;
    const float tile = static_cast<float>(size) / perSide, grout = 2.0f, bevel = 2.5f;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float fx = std::fmod(x + 0.5f, tile), fy = std::fmod(y + 0.5f, tile);
            const float edge = std::min(std::min(fx, tile - fx), std::min(fy, tile - fy));  // texels to the grout's middle
            const float up = SmoothStep(grout, grout + bevel, edge);
            const int tx = static_cast<int>(x / tile), ty = static_cast<int>(y / tile);
            const float shade = 0.95f + 0.06f * (Random(tx, ty, 30) - 0.5f) + 0.03f * (Fractal(x, y, size, 16, 3, 31) - 0.5f);
            const float grime = 1.0f - 0.05f * (1.0f - SmoothStep(grout + bevel, grout + bevel + 5.0f, edge));
            const float sand = Random(x, y, 32) - 0.5f;
            const float mortar = 0.38f + 0.08f * sand;
            d.Grey(x, y, mortar + (shade * grime - mortar) * up);
            d.height(x, y) = up + 0.04f * sand * (1.0f - up) + 0.02f * Fractal(x, y, size, 8, 2, 33);
        }
    }
    return d;
}

// Paint with a slight orange peel, chipped in places down to bare steel, and scratched:
// thin grooves with dirt in them.
Drawn PaintedMetal(int size) {
    Drawn d(size);
    d.strength = 1.2f;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float peel = Fractal(x, y, size, 64, 2, 40) - 0.5f;
            const float chip = Fractal(x, y, size, 8, 4, 41);
            const float bare = SmoothStep(0.685f, 0.70f, chip);
            const float primer = SmoothStep(0.655f, 0.685f, chip) - bare;  // a darker rim around each chip
            const float brushed = 0.04f * (ValueNoise(x, y, size, size / 16, 42, size) - 0.5f);
            const float paint = 0.9f + 0.03f * peel - 0.2f * primer;
            d.red(x, y) = paint + (0.52f + brushed - paint) * bare;
            d.green(x, y) = paint + (0.55f + brushed - paint) * bare;
            d.blue(x, y) = paint + (0.6f + brushed - paint) * bare;
            d.height(x, y) = 1.0f - bare + 0.05f * peel;
        }
    }
    for (int s = 0; s < 40; ++s) {
        const float x0 = Random(s, 0, 43) * size, y0 = Random(s, 1, 43) * size;
        const float angle = 2.0f * (Random(s, 2, 43) - 0.5f) + (Random(s, 3, 43) < 0.3f ? 1.5708f : 0.0f);
        const float length = 8.0f + 50.0f * Random(s, 4, 43), depth = 0.5f + 0.5f * Random(s, 5, 43);
        const float dx = std::cos(angle), dy = std::sin(angle);
        for (float t = 0.0f; t < length; t += 0.5f) {
            const int x = static_cast<int>(std::floor(x0 + dx * t)), y = static_cast<int>(std::floor(y0 + dy * t));
            const float fade = std::min(1.0f, std::min(t, length - t) / 4.0f) * depth;  // thin at both ends
            const float mark = 1.0f - 0.22f * fade;
            // Once per texel: the walk along the line visits most texels twice.
            if (d.height(x, y) < -5.0f) continue;
            d.red(x, y) *= mark;
            d.green(x, y) *= mark;
            d.blue(x, y) *= mark;
            d.height(x, y) -= 10.0f + 0.6f * fade;
        }
    }
    for (float& h : d.height.v) {
        if (h < -5.0f) h += 10.0f;
    }
    return d;
}

// PNG: 8-bit RGB compressed by zlib, each row filtered the way that leaves the
// smallest differences (the usual guess at what deflate packs best): the maps
// ship with every game that takes the starter assets.
void Chunk(std::vector<unsigned char>& out, const char* type, const std::vector<unsigned char>& data) {
    const uint32_t n = static_cast<uint32_t>(data.size());
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<unsigned char>(n >> s));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uint32_t crc = static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start)));
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<unsigned char>(crc >> s));
}

bool WritePng(const std::string& path, int size, const std::vector<unsigned char>& rgb) {
    const int stride = size * 3;
    std::vector<unsigned char> raw, row(stride), best(stride);
    raw.reserve(static_cast<size_t>(size) * (stride + 1));
    for (int y = 0; y < size; ++y) {
        const unsigned char* line = &rgb[static_cast<size_t>(y) * stride];
        const unsigned char* above = y > 0 ? line - stride : nullptr;
        long bestCost = -1;
        int bestFilter = 0;
        for (int filter = 0; filter < 5; ++filter) {
            long cost = 0;
            for (int i = 0; i < stride; ++i) {
                const int a = i >= 3 ? line[i - 3] : 0, b = above ? above[i] : 0, c = above && i >= 3 ? above[i - 3] : 0;
                int predicted = 0;
                if (filter == 1) predicted = a;
                if (filter == 2) predicted = b;
                if (filter == 3) predicted = (a + b) / 2;
                if (filter == 4) {
                    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                    predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                }
                row[i] = static_cast<unsigned char>(line[i] - predicted);
                cost += std::abs(static_cast<signed char>(row[i]));
            }
            if (bestCost < 0 || cost < bestCost) {
                bestCost = cost;
                bestFilter = filter;
                best.swap(row);
            }
        }
        raw.push_back(static_cast<unsigned char>(bestFilter));
        raw.insert(raw.end(), best.begin(), best.end());
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<unsigned char> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) return false;
    packed.resize(packedSize);

    std::vector<unsigned char> header = {0, 0, 0, 0, 0, 0, 0, 0, 8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, adaptive filters, not interlaced
    for (int i = 0; i < 4; ++i) header[i] = header[4 + i] = static_cast<unsigned char>(static_cast<uint32_t>(size) >> (24 - 8 * i));
    std::vector<unsigned char> file = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Chunk(file, "IHDR", header);
    Chunk(file, "IDAT", packed);
    Chunk(file, "IEND", {});
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && ok;
}

unsigned char Byte(float v) { return static_cast<unsigned char>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

// The normal of the height field in the texture's tangent space: red along +u (to the
// right in the image), green towards the top row, as the renderer's shader reads it.
std::vector<unsigned char> NormalMap(Drawn& d) {
    const int size = d.height.size;
    std::vector<unsigned char> rgb(static_cast<size_t>(size) * size * 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float right = (d.height(x + 1, y) - d.height(x - 1, y)) * 0.5f;
            const float down = (d.height(x, y + 1) - d.height(x, y - 1)) * 0.5f;
            const float nx = -right * d.strength, ny = down * d.strength;
            const float length = std::sqrt(nx * nx + ny * ny + 1.0f);
            unsigned char* t = &rgb[(static_cast<size_t>(y) * size + x) * 3];
            t[0] = Byte(nx / length * 0.5f + 0.5f);
            t[1] = Byte(ny / length * 0.5f + 0.5f);
            t[2] = Byte(1.0f / length * 0.5f + 0.5f);
        }
    }
    return rgb;
}

}  // namespace

const Surface& SurfaceOf(Kind kind) { return kSurfaces[static_cast<int>(kind)]; }

bool WriteSurfaces(const std::string& folder, std::array<std::array<float, 3>, kKinds>* meanColour) {
    for (int k = 0; k < kKinds; ++k) {
        const Surface& s = kSurfaces[k];
        Drawn d = k == 0 ? Concrete(s.size) : k == 1 ? Tiles(s.size) : PaintedMetal(s.size);
        std::vector<unsigned char> rgb(static_cast<size_t>(s.size) * s.size * 3);
        double sum[3] = {};
        for (size_t i = 0; i < d.red.v.size(); ++i) {
            const float c[3] = {d.red.v[i], d.green.v[i], d.blue.v[i]};
            for (int ch = 0; ch < 3; ++ch) {
                rgb[i * 3 + ch] = Byte(c[ch]);
                sum[ch] += rgb[i * 3 + ch] / 255.0;
            }
        }
        for (int ch = 0; ch < 3; ++ch) (*meanColour)[k][ch] = static_cast<float>(sum[ch] / d.red.v.size());
        for (const auto& [name, texels] : {std::pair<const char*, std::vector<unsigned char>>{s.colourFile, rgb},
                                           std::pair<const char*, std::vector<unsigned char>>{s.normalFile, NormalMap(d)}}) {
            const std::string path = folder + "/" + name;
            if (!WritePng(path, s.size, texels)) {
                std::fprintf(stderr, "make_level: could not write %s\n", path.c_str());
                return false;
            }
        }
    }
    return true;
}

std::vector<std::string> SurfaceFiles() {
    std::vector<std::string> files;
    for (const Surface& s : kSurfaces) {
        files.push_back(s.colourFile);
        files.push_back(s.normalFile);
    }
    return files;
}

}  // namespace level
