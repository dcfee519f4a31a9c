// BVH build (binned SAH) and traversal. The triangle test is raylib's
// Moller-Trumbore with the same thresholds, so both agree hit for hit.
#include "geometry/bvh.h"

#include <algorithm>  // Required for: std::min, std::max, std::partition
#include <cfloat>     // Required for: FLT_MAX, DBL_MAX
#include <cmath>      // Required for: fabsf

#include "base/Numbers.h"

namespace {

constexpr float kEpsilon = 0.000001f;  // raylib's GetRayCollisionTriangle threshold
constexpr int kBins = 16;
constexpr uint32_t kMaxLeafSize = 4;
constexpr int kMaxSahDepth = 64;
constexpr int kStackSize = 128;  // kMaxSahDepth plus halvings of up to 2^32 triangles
// Above this size, a product of three coordinates may pass FLT_MAX (cube root of 3.4e38 is 7e12).
constexpr float kWideCoordinate = 1e12f;

struct Box {
    float min[3] = {FLT_MAX, FLT_MAX, FLT_MAX};
    float max[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};

    void Grow(const float p[3]) {
        for (int a = 0; a < 3; a++) {
            min[a] = std::min(min[a], p[a]);
            max[a] = std::max(max[a], p[a]);
        }
    }
    void Grow(const Box& b) {
        for (int a = 0; a < 3; a++) {
            min[a] = std::min(min[a], b.min[a]);
            max[a] = std::max(max[a], b.max[a]);
        }
    }
    // Half the surface area: enough for comparing costs. In double, so that boxes
    // spanning most of the float range neither overflow nor turn into NaN.
    double HalfArea() const {
        double dx = static_cast<double>(max[0]) - min[0], dy = static_cast<double>(max[1]) - min[1],
               dz = static_cast<double>(max[2]) - min[2];
        if (!(dx >= 0.0)) return 0.0;
        return dx * dy + dy * dz + dz * dx;
    }
};

struct BuildTriangle {
    Box box;
    float centroid[3];
};

struct Bin {
    Box box;
    uint32_t count = 0;
};

// Vector arithmetic in float (the normal case) or double (huge coordinates).
template <typename Real>
struct Vec {
    Real x, y, z;
};
template <typename Real>
inline Vec<Real> To(Vector3 v) {
    return {static_cast<Real>(v.x), static_cast<Real>(v.y), static_cast<Real>(v.z)};
}
template <typename V>
inline V Sub(V a, V b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
template <typename V>
inline auto Dot(V a, V b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
template <typename V>
inline V Cross(V a, V b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float MaxAbs(Vector3 v) { return std::max(fabsf(v.x), std::max(fabsf(v.y), fabsf(v.z))); }

// Moller-Trumbore as raylib has it: the distance along the ray when it hits the
// triangle's front or back closer than `best`, else a negative number.
template <typename Real>
inline Real HitTriangle(const BvhTriangle& tri, Vec<Real> origin, Vec<Real> direction, float best) {
    Vec<Real> e1 = To<Real>(tri.e1), e2 = To<Real>(tri.e2);
    Vec<Real> p = Cross(direction, e2);
    Real det = Dot(e1, p);
    if (det > -kEpsilon && det < kEpsilon) return -1;
    Real invDet = 1 / det;
    Vec<Real> tv = Sub(origin, To<Real>(tri.v0));
    Real u = Dot(tv, p) * invDet;
    if (u < 0 || u > 1) return -1;
    Vec<Real> q = Cross(tv, e1);
    Real v = Dot(direction, q) * invDet;
    if (v < 0 || u + v > 1) return -1;
    Real t = Dot(e2, q) * invDet;
    return t > kEpsilon && t < best ? t : -1;
}

// The bin of a centroid coordinate. The extent and scale are in double: in float, an
// extent from -3e38 to 3e38 overflows to infinity and one of 1e-39 gives an infinite
// scale, and either makes the product NaN.
inline int BinOf(float c, double lo, double scale) {
    double b = (c - lo) * scale;
    if (!(b > 0.0)) return 0;  // also NaN
    return b >= kBins - 1 ? kBins - 1 : static_cast<int>(b);
}

// Finds the cheapest binned split of tris[first, first+count). Returns false when
// keeping the leaf is cheaper (or nothing separates the centroids).
bool FindSplit(const std::vector<BuildTriangle>& build, const std::vector<uint32_t>& order, uint32_t first,
               uint32_t count, double nodeHalfArea, const Box& centroids, int* axisOut, float* positionOut) {
    // Bin along all three axes in one pass over the triangles.
    double lo[3], scale[3];
    bool usable[3];
    for (int axis = 0; axis < 3; axis++) {
        lo[axis] = centroids.min[axis];
        double extent = centroids.max[axis] - lo[axis];
        usable[axis] = extent > 0.0 && base::Finite(extent);
        scale[axis] = usable[axis] ? kBins / extent : 0.0;
    }
    Bin binsPerAxis[3][kBins];
    for (uint32_t i = first; i < first + count; i++) {
        const BuildTriangle& t = build[order[i]];
        for (int axis = 0; axis < 3; axis++) {
            int b = BinOf(t.centroid[axis], lo[axis], scale[axis]);
            binsPerAxis[axis][b].count++;
            binsPerAxis[axis][b].box.Grow(t.box);
        }
    }

    double bestCost = DBL_MAX;
    for (int axis = 0; axis < 3; axis++) {
        if (!usable[axis]) continue;
        const Bin* bins = binsPerAxis[axis];
        // Sweep from both sides, then price every plane between bins.
        double leftArea[kBins - 1], rightArea[kBins - 1];
        uint32_t leftCount[kBins - 1], rightCount[kBins - 1];
        Box left, right;
        uint32_t nl = 0, nr = 0;
        for (int i = 0; i < kBins - 1; i++) {
            nl += bins[i].count;
            left.Grow(bins[i].box);
            leftCount[i] = nl;
            leftArea[i] = left.HalfArea();
            nr += bins[kBins - 1 - i].count;
            right.Grow(bins[kBins - 1 - i].box);
            rightCount[kBins - 2 - i] = nr;
            rightArea[kBins - 2 - i] = right.HalfArea();
        }
        for (int i = 0; i < kBins - 1; i++) {
            if (leftCount[i] == 0 || rightCount[i] == 0) continue;
            double cost = leftCount[i] * leftArea[i] + rightCount[i] * rightArea[i];
            if (cost < bestCost) {
                bestCost = cost;
                *axisOut = axis;
                *positionOut = static_cast<float>(lo[axis] + (i + 1) / scale[axis]);
            }
        }
    }
    if (bestCost == DBL_MAX) return false;
    // One traversal step costs about as much as one triangle test.
    double splitCost = 1.0 + bestCost / std::max(nodeHalfArea, 1e-300);
    return count > kMaxLeafSize || splitCost < static_cast<double>(count);
}

}  // namespace

Bvh* BuildBvh(const Vector3* positions, const uint32_t* indices, size_t triangleCount) {
    Bvh* bvh = new Bvh();
    if (triangleCount == 0) return bvh;

    std::vector<BuildTriangle> build(triangleCount);
    std::vector<uint32_t> order(triangleCount);
    for (size_t i = 0; i < triangleCount; i++) {
        BuildTriangle& t = build[i];
        for (int k = 0; k < 3; k++) {
            const Vector3& p = positions[indices[i * 3 + k]];
            float v[3] = {p.x, p.y, p.z};
            t.box.Grow(v);
        }
        // Halves first: the sum of two coordinates near the float limit would overflow.
        for (int a = 0; a < 3; a++) t.centroid[a] = 0.5f * t.box.min[a] + 0.5f * t.box.max[a];
        order[i] = static_cast<uint32_t>(i);
    }

    bvh->nodes.reserve(triangleCount * 2);
    bvh->nodes.push_back(BvhNode{});
    struct Task {
        uint32_t node, first, count;
        int depth;
    };
    std::vector<Task> tasks;
    tasks.push_back({0, 0, static_cast<uint32_t>(triangleCount), 0});
    while (!tasks.empty()) {
        Task task = tasks.back();
        tasks.pop_back();

        Box box, centroids;
        for (uint32_t i = task.first; i < task.first + task.count; i++) {
            box.Grow(build[order[i]].box);
            centroids.Grow(build[order[i]].centroid);
        }
        BvhNode& node = bvh->nodes[task.node];
        for (int a = 0; a < 3; a++) {
            node.min[a] = box.min[a];
            node.max[a] = box.max[a];
        }
        node.first = task.first;
        node.count = task.count;

        int axis = 0;
        float position = 0.0f;
        bool sah = task.count > 1 && task.depth < kMaxSahDepth &&
                   FindSplit(build, order, task.first, task.count, box.HalfArea(), centroids, &axis, &position);
        // Without a useful plane (shared centroids, or too deep for the traversal stack)
        // a big leaf is halved by order, which keeps the depth logarithmic.
        if (!sah && task.count <= kMaxLeafSize * 4) continue;
        uint32_t* begin = order.data() + task.first;
        uint32_t* end = begin + task.count;
        uint32_t* middle = sah ? std::partition(begin, end, [&](uint32_t t) { return build[t].centroid[axis] < position; })
                               : begin + task.count / 2;
        if (middle == begin || middle == end) middle = begin + task.count / 2;  // rounding put all on one side
        uint32_t leftCount = static_cast<uint32_t>(middle - begin);

        uint32_t leftIndex = static_cast<uint32_t>(bvh->nodes.size());
        bvh->nodes.push_back(BvhNode{});
        bvh->nodes.push_back(BvhNode{});
        BvhNode& parent = bvh->nodes[task.node];  // re-fetched: push_back may have moved it
        parent.first = leftIndex;
        parent.count = 0;
        tasks.push_back({leftIndex, task.first, leftCount, task.depth + 1});
        tasks.push_back({leftIndex + 1, task.first + leftCount, task.count - leftCount, task.depth + 1});
    }

    bvh->triangles.resize(triangleCount);
    for (size_t i = 0; i < triangleCount; i++) {
        uint32_t t = order[i];
        Vector3 a = positions[indices[t * 3 + 0]];
        Vector3 b = positions[indices[t * 3 + 1]];
        Vector3 c = positions[indices[t * 3 + 2]];
        bvh->triangles[i] = {a, Sub(b, a), Sub(c, a)};
        for (Vector3 v : {a, b, c}) bvh->wide = bvh->wide || !(MaxAbs(v) <= kWideCoordinate);
    }
    bvh->nodes.shrink_to_fit();
    return bvh;
}

namespace {

// Entry distance of the ray into the node's box, or FLT_MAX when it misses within (0, tMax).
inline float EnterBox(const BvhNode& n, const float o[3], const float inv[3], float tMax) {
    float t0 = (n.min[0] - o[0]) * inv[0], t1 = (n.max[0] - o[0]) * inv[0];
    float tNear = std::min(t0, t1), tFar = std::max(t0, t1);
    t0 = (n.min[1] - o[1]) * inv[1];
    t1 = (n.max[1] - o[1]) * inv[1];
    tNear = std::max(tNear, std::min(t0, t1));
    tFar = std::min(tFar, std::max(t0, t1));
    t0 = (n.min[2] - o[2]) * inv[2];
    t1 = (n.max[2] - o[2]) * inv[2];
    tNear = std::max(tNear, std::min(t0, t1));
    tFar = std::min(tFar, std::max(t0, t1));
    // The slab distances are rounded; widening the far one by a few ulps keeps a triangle
    // lying in a box face (a flat box, or a sliver across a huge model) from being culled
    // where the triangle test itself would hit it.
    tFar *= 1.0000005f;
    if (tFar < tNear || tFar <= 0.0f || tNear >= tMax) return FLT_MAX;
    return tNear;
}

// v divided by its largest component's size (v itself when that is 0 or not finite).
inline Vector3 Unitish(Vector3 v) {
    float m = std::max(fabsf(v.x), std::max(fabsf(v.y), fabsf(v.z)));
    if (!(m > 0.0f) || !base::Finite(m)) return v;
    return {v.x / m, v.y / m, v.z / m};
}

template <typename Real>
bool Traverse(const Bvh& bvh, Vector3 origin, Vector3 direction, float tMax, float* tOut, Vector3* normalOut) {
    if (bvh.nodes.empty()) return false;
    const Vec<Real> rayOrigin = To<Real>(origin), rayDirection = To<Real>(direction);

    const float o[3] = {origin.x, origin.y, origin.z};
    const float d[3] = {direction.x, direction.y, direction.z};
    float inv[3];
    for (int a = 0; a < 3; a++) {
        // A zero component would give 0 * inf = NaN on a slab plane; a huge factor does not.
        float c = fabsf(d[a]) < 1e-30f ? (d[a] < 0.0f ? -1e-30f : 1e-30f) : d[a];
        inv[a] = 1.0f / c;
    }

    float best = tMax;
    int bestTriangle = -1;
    const BvhNode* nodes = bvh.nodes.data();
    const BvhTriangle* triangles = bvh.triangles.data();

    uint32_t stack[kStackSize];
    int top = 0;
    if (EnterBox(nodes[0], o, inv, best) == FLT_MAX) return false;
    uint32_t current = 0;
    for (;;) {
        const BvhNode& node = nodes[current];
        if (node.count > 0) {
            for (uint32_t i = node.first; i < node.first + node.count; i++) {
                Real t = HitTriangle<Real>(triangles[i], rayOrigin, rayDirection, best);
                if (t > 0) {
                    best = static_cast<float>(t);
                    bestTriangle = static_cast<int>(i);
                }
            }
        } else {
            uint32_t left = node.first, right = node.first + 1;
            float tl = EnterBox(nodes[left], o, inv, best);
            float tr = EnterBox(nodes[right], o, inv, best);
            if (tl != FLT_MAX || tr != FLT_MAX) {
                if (tr < tl) {
                    std::swap(tl, tr);
                    std::swap(left, right);
                }
                if (tr != FLT_MAX) stack[top++] = right;
                current = left;
                continue;
            }
        }
        // Pop, skipping nodes that a closer hit has since ruled out.
        bool found = false;
        while (top > 0) {
            uint32_t candidate = stack[--top];
            if (EnterBox(nodes[candidate], o, inv, best) != FLT_MAX) {
                current = candidate;
                found = true;
                break;
            }
        }
        if (!found) break;
    }

    if (bestTriangle < 0) return false;
    *tOut = best;
    const BvhTriangle& tri = triangles[bestTriangle];
    // Each edge brought to about unit size first: the cross of huge edges overflows and
    // that of tiny ones underflows to zero, but the direction is all the caller uses.
    *normalOut = Cross(Unitish(tri.e1), Unitish(tri.e2));
    return true;
}

}  // namespace

bool IntersectBvh(const Bvh& bvh, Vector3 origin, Vector3 direction, float tMax, float* tOut, Vector3* normalOut) {
    bool wide = bvh.wide || !(MaxAbs(origin) <= kWideCoordinate) || !(MaxAbs(direction) <= kWideCoordinate);
    return wide ? Traverse<double>(bvh, origin, direction, tMax, tOut, normalOut)
                : Traverse<float>(bvh, origin, direction, tMax, tOut, normalOut);
}
