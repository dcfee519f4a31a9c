#include "draw/screen_rects.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "raymath.h"  // Required for: Vector3 arithmetic

namespace r3d {
namespace {

// Bounds of the hull of `points` seen through `m`, in normalised device coordinates,
// or false when none of it lies in front of the near plane. The hull cut at the near
// plane has as corners the points in front and the crossings of the segments between
// a point in front and one behind; every segment between two points lies in the hull,
// so taking all pairs needs no list of edges.
bool ProjectHull(const Vector3* points, int n, const Matrix& m, float lo[2], float hi[2]) {
    Vector4 clip[9];
    float front[9];  // clip z + w: the distance in front of the near plane, scaled
    bool degenerate = false;
    for (int i = 0; i < n; ++i) {
        const Vector3 p = points[i];
        clip[i] = {m.m0 * p.x + m.m4 * p.y + m.m8 * p.z + m.m12, m.m1 * p.x + m.m5 * p.y + m.m9 * p.z + m.m13,
                   m.m2 * p.x + m.m6 * p.y + m.m10 * p.z + m.m14, m.m3 * p.x + m.m7 * p.y + m.m11 * p.z + m.m15};
        front[i] = clip[i].z + clip[i].w;
        // A range of "everywhere" (infinity, the largest float) overflows: no bound then.
        if (!base::Finite(front[i], clip[i].x, clip[i].y)) degenerate = true;
    }
    lo[0] = lo[1] = INFINITY;
    hi[0] = hi[1] = -INFINITY;
    bool any = false;
    auto add = [&](Vector4 c) {
        if (!(c.w > 1e-6f)) {  // on the eye's plane: no finite projection
            degenerate = true;
            return;
        }
        // Far outside the view is as good as at its edge, and keeps the numbers finite.
        const float x = std::clamp(c.x / c.w, -2.0f, 2.0f), y = std::clamp(c.y / c.w, -2.0f, 2.0f);
        lo[0] = std::min(lo[0], x);
        lo[1] = std::min(lo[1], y);
        hi[0] = std::max(hi[0], x);
        hi[1] = std::max(hi[1], y);
        any = true;
    };
    for (int i = 0; i < n && !degenerate; ++i) {
        if (front[i] >= 0.0f) add(clip[i]);
        for (int j = i + 1; j < n; ++j) {
            if ((front[i] >= 0.0f) == (front[j] >= 0.0f)) continue;
            const float t = front[i] / (front[i] - front[j]);
            add(Vector4{clip[i].x + t * (clip[j].x - clip[i].x), clip[i].y + t * (clip[j].y - clip[i].y),
                        clip[i].z + t * (clip[j].z - clip[i].z), clip[i].w + t * (clip[j].w - clip[i].w)});
        }
    }
    if (degenerate) {
        lo[0] = lo[1] = -2.0f;
        hi[0] = hi[1] = 2.0f;
        return true;
    }
    return any;
}

ScreenRect ToPixels(const float lo[2], const float hi[2], const ScreenRect& viewport) {
    const float w = static_cast<float>(viewport.x1 - viewport.x0), h = static_cast<float>(viewport.y1 - viewport.y0);
    ScreenRect r;
    r.x0 = viewport.x0 + static_cast<int>(std::floor((lo[0] * 0.5f + 0.5f) * w)) - 1;
    r.y0 = viewport.y0 + static_cast<int>(std::floor((lo[1] * 0.5f + 0.5f) * h)) - 1;
    r.x1 = viewport.x0 + static_cast<int>(std::ceil((hi[0] * 0.5f + 0.5f) * w)) + 1;
    r.y1 = viewport.y0 + static_cast<int>(std::ceil((hi[1] * 0.5f + 0.5f) * h)) + 1;
    return Intersection(r, viewport);
}

ScreenRect HullRect(const Vector3* points, int n, const Matrix& viewProj, const ScreenRect& viewport) {
    float lo[2], hi[2];
    if (!ProjectHull(points, n, viewProj, lo, hi)) return ScreenRect{};
    return ToPixels(lo, hi, viewport);
}

}  // namespace

ScreenRect Union(const ScreenRect& a, const ScreenRect& b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

ScreenRect Intersection(const ScreenRect& a, const ScreenRect& b) {
    ScreenRect r{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
    return r.Empty() ? ScreenRect{} : r;
}

ScreenRect SphereScreenRect(Vector3 center, float radius, const Matrix& viewProj, const ScreenRect& viewport) {
    // The cube around it: eight points, and a little wider than the sphere's own outline.
    const Vector3 c = center;
    const float r = std::max(radius, 0.0f);
    Vector3 cube[8];
    for (int i = 0; i < 8; ++i) cube[i] = {c.x + (i & 1 ? r : -r), c.y + (i & 2 ? r : -r), c.z + (i & 4 ? r : -r)};
    return HullRect(cube, 8, viewProj, viewport);
}

ScreenRect LightScreenRect(const LightData& light, const Matrix& viewProj, const ScreenRect& viewport) {
    if (light.type == R3D_LIGHT_DIR) return viewport;
    // Nothing at or beyond the range is lit.
    const Vector3 p = light.position;
    const float range = std::max(light.range, 0.0f);
    const ScreenRect rect = SphereScreenRect(p, range, viewProj, viewport);
    const float cone = std::max(light.innerCutOff, light.outerCutOff) * DEG2RAD;
    const float len = Vector3Length(light.direction);
    if (light.type != R3D_LIGHT_SPOT || cone >= 80.0f * DEG2RAD || len < 1e-6f) return rect;

    // A spot lights nothing outside its cone: a pyramid from the light with an octagon
    // around the cone's section at the range (no lit point lies farther along the axis).
    // Its flat sides face u and v, so when u is level, as for a flashlight in an unrolled
    // view, the rectangle fits the cone's circle rather than the octagon's corners.
    const Vector3 axis = Vector3Scale(light.direction, 1.0f / len);
    const Vector3 side = std::fabs(axis.y) < 0.9f ? Vector3{0.0f, 1.0f, 0.0f} : Vector3{1.0f, 0.0f, 0.0f};
    const Vector3 u = Vector3Normalize(Vector3CrossProduct(axis, side));
    const Vector3 v = Vector3CrossProduct(axis, u);
    const Vector3 center = Vector3Add(p, Vector3Scale(axis, range));
    const float corner = range * std::tan(std::max(cone, 0.0f)) / std::cos(PI / 8.0f);
    Vector3 pyramid[9];
    pyramid[0] = p;
    for (int k = 0; k < 8; ++k) {
        const float a = (static_cast<float>(k) + 0.5f) * PI / 4.0f;
        pyramid[k + 1] = Vector3Add(center, Vector3Add(Vector3Scale(u, corner * std::cos(a)), Vector3Scale(v, corner * std::sin(a))));
    }
    return Intersection(rect, HullRect(pyramid, 9, viewProj, viewport));
}

int RectsAround(const ScreenRect& inside, const ScreenRect& outer, ScreenRect out[4]) {
    if (inside.Empty()) {
        out[0] = outer;
        return outer.Empty() ? 0 : 1;
    }
    const ScreenRect parts[4] = {
        {outer.x0, outer.y0, outer.x1, inside.y0},   // below
        {outer.x0, inside.y1, outer.x1, outer.y1},   // above
        {outer.x0, inside.y0, inside.x0, inside.y1},  // left
        {inside.x1, inside.y0, outer.x1, inside.y1},  // right
    };
    int n = 0;
    for (const ScreenRect& r : parts) {
        if (!r.Empty()) out[n++] = r;
    }
    return n;
}

}  // namespace r3d
