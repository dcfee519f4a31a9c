// Bounding volume hierarchy over one mesh's triangles, built once at load time,
// so a ray test visits a few dozen triangles instead of all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "raylib.h"  // Required for: Vector3

// 32 bytes: a node is half a cache line. Inner nodes store the index of their first
// child (the second follows it); leaves store their first triangle and a count.
struct BvhNode {
    float min[3];
    uint32_t first;  // leaf: first triangle in Bvh::triangles; inner: left child index
    float max[3];
    uint32_t count;  // triangles in the leaf; 0 for an inner node
};

// A triangle as the ray test wants it: one corner and two edges, in leaf order.
struct BvhTriangle {
    Vector3 v0, e1, e2;
};

struct Bvh {
    std::vector<BvhNode> nodes;          // nodes[0] is the root (when not empty)
    std::vector<BvhTriangle> triangles;  // reordered so each leaf's triangles are contiguous
    // Some coordinate is so large that the triangle test's products of three lengths
    // could overflow a float: such meshes are tested in double.
    bool wide = false;
};

// Builds the hierarchy with binned surface-area heuristic splits.
// `indices` holds three vertex indices per triangle.
Bvh* BuildBvh(const Vector3* positions, const uint32_t* indices, size_t triangleCount);

// The nearest hit with tMin < t < tMax along origin + t*direction (any direction length).
// Returns true and sets *t and *normal (unnormalised cross of the triangle's edges, in the
// BVH's own space) when a triangle is hit closer than tMax.
bool IntersectBvh(const Bvh& bvh, Vector3 origin, Vector3 direction, float tMax, float* t, Vector3* normal);
