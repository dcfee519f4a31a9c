// Where on the screen a light can add anything. A draw that only a small light reaches
// is split: the part of the screen the light may touch is shaded with it, the rest
// without, which on a software rasteriser saves most of the light's per-pixel cost.
#pragma once

#include "draw/lights.h"

namespace r3d {

// Pixels [x0, x1) x [y0, y1) in window coordinates, as glScissor takes them.
struct ScreenRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;

    bool Empty() const { return x1 <= x0 || y1 <= y0; }
    long long Area() const { return Empty() ? 0 : static_cast<long long>(x1 - x0) * (y1 - y0); }
    bool Contains(const ScreenRect& r) const { return r.Empty() || (x0 <= r.x0 && y0 <= r.y0 && r.x1 <= x1 && r.y1 <= y1); }
};

// The smallest rectangle holding both (an empty one holds nothing).
ScreenRect Union(const ScreenRect& a, const ScreenRect& b);
ScreenRect Intersection(const ScreenRect& a, const ScreenRect& b);

// The pixels of `viewport` where `light` can light a surface seen through `viewProj`: the
// projection of a hull around its range, narrowed to a spot light's cone, cut at the near
// plane; a pixel of margin on every side. A directional light gets the whole viewport.
ScreenRect LightScreenRect(const LightData& light, const Matrix& viewProj, const ScreenRect& viewport);

// The pixels of `viewport` a sphere may cover, a pixel of margin on every side.
ScreenRect SphereScreenRect(Vector3 center, float radius, const Matrix& viewProj, const ScreenRect& viewport);

// The rest of `outer` around `inside` (within it) as at most four rectangles: the bands
// above and below it, full width, and those left and right of it. Returns how many.
int RectsAround(const ScreenRect& inside, const ScreenRect& outer, ScreenRect out[4]);

}  // namespace r3d
