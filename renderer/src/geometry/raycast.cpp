// Ray tests against a placed model. The ray is moved into model space once
// (inverse of the model's transform) and tested against each mesh's BVH there.
//
// Distances follow raylib's GetRayCollisionMesh: the hit point is
// position + direction * distance, so for a direction of length L the distance is
// in units of L (the true world distance when the direction is normalised). That
// parameter is the same in model and world space under an affine transform, so no
// conversion is needed on the way back. Normals are the triangle's face normal from
// its winding (counter-clockwise front), as raylib reports it.
#include <cfloat>  // Required for: FLT_MAX
#include <cmath>   // Required for: fabsf

#include "animation/pose.h"
#include "base/Numbers.h"
#include "geometry/bvh.h"
#include "internal.h"
#include "raymath.h"  // Required for: MatrixInvert, MatrixDeterminant, Vector3Transform

namespace {

RayCollision Miss() {
    RayCollision miss{};
    miss.hit = false;
    miss.distance = R3D_RAY_MISS_DISTANCE;
    return miss;
}

// The linear part of m applied to v (no translation).
Vector3 TransformDirection(Vector3 v, const Matrix& m) {
    return {m.m0 * v.x + m.m4 * v.y + m.m8 * v.z, m.m1 * v.x + m.m5 * v.y + m.m9 * v.z,
            m.m2 * v.x + m.m6 * v.y + m.m10 * v.z};
}

// The transpose of m's linear part applied to v: how normals go back out of model space.
Vector3 TransformTransposed(Vector3 v, const Matrix& m) {
    return {m.m0 * v.x + m.m1 * v.y + m.m2 * v.z, m.m4 * v.x + m.m5 * v.y + m.m6 * v.z,
            m.m8 * v.x + m.m9 * v.y + m.m10 * v.z};
}

// The ray moved into the model's space; `valid` false when nothing can be hit.
struct ModelRay {
    bool valid = false;
    float det = 0.0f;
    Matrix inverse{};
    Vector3 origin{}, direction{};

    explicit ModelRay(const Ray& ray, const Matrix& transform) {
        // A flattened (zero-scale) placement has no inside to hit.
        det = MatrixDeterminant(transform);
        if (!base::Finite(det) || fabsf(det) < 1e-30f) return;
        inverse = MatrixInvert(transform);
        origin = Vector3Transform(ray.position, inverse);
        direction = TransformDirection(ray.direction, inverse);
        if (direction.x == 0.0f && direction.y == 0.0f && direction.z == 0.0f) return;
        // NaN or infinite input would slip through every box test and visit the whole tree.
        if (!base::FiniteVector(origin) || !base::FiniteVector(direction)) return;
        valid = true;
    }

    // The nearest hit (at `distance` along the ray, on a triangle of model-space normal
    // `normal`) back in world space.
    RayCollision Hit(const Ray& ray, float distance, Vector3 normal) const {
        RayCollision result{};
        result.hit = true;
        result.distance = distance;
        result.point = Vector3Add(ray.position, Vector3Scale(ray.direction, distance));
        // cross(M a, M b) = det(M) * M^-T (a x b): the sign keeps the winding's side under mirroring.
        Vector3 n = TransformTransposed(normal, inverse);
        if (det < 0.0f) n = Vector3Negate(n);
        result.normal = Vector3Normalize(n);
        return result;
    }
};

// Posed triangles are tested in double: a vertex far out (1e24 and more) makes products
// of three coordinates that overflow a float, and the NaN they give would pass the
// tests below as a hit. Floats' products of three stay far inside double's range.
struct Vec3d {
    double x, y, z;
};
Vec3d ToDouble(Vector3 v) { return {v.x, v.y, v.z}; }
Vec3d Sub(Vec3d a, Vec3d b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot(Vec3d a, Vec3d b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3d Cross(Vec3d a, Vec3d b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
// v divided by its largest component's size (v itself when that is 0).
Vec3d Unit(Vec3d v) {
    const double m = std::fmax(std::fabs(v.x), std::fmax(std::fabs(v.y), std::fabs(v.z)));
    return m > 0.0 ? Vec3d{v.x / m, v.y / m, v.z / m} : v;
}

}  // namespace

namespace {

RayCollision RaycastRigid(Ray ray, const R3D_ModelData* data, Matrix transform) {
    if (data == nullptr || data->meshes.empty()) return Miss();
    const ModelRay local(ray, transform);
    if (!local.valid) return Miss();

    float best = FLT_MAX;
    Vector3 bestNormal{};
    bool hit = false;
    for (const R3D_MeshData& mesh : data->meshes) {
        if (mesh.bvh == nullptr) continue;
        float t;
        Vector3 normal;
        if (IntersectBvh(*mesh.bvh, local.origin, local.direction, best, &t, &normal)) {
            best = t;
            bestNormal = normal;
            hit = true;
        }
    }
    return hit ? local.Hit(ray, best, bestNormal) : Miss();
}

}  // namespace

RayCollision R3D_RaycastModel(Ray ray, R3D_Model model, Matrix transform) {
    return RaycastRigid(ray, r3d::ModelData(model, "R3D_RaycastModel"), transform);
}

RayCollision R3D_RaycastModelPose(Ray ray, R3D_Model model, Matrix transform, R3D_AnimationState state) {
    const R3D_ModelData* data = r3d::ModelData(model, "R3D_RaycastModelPose");
    if (data == nullptr || !data->Animated()) return RaycastRigid(ray, data, transform);
    const ModelRay local(ray, transform);
    if (!local.valid) return Miss();
    const Vec3d origin = ToDouble(local.origin), direction = ToDouble(local.direction);

    // The pose is a few dozen matrices; its triangles are tested one by one (a BVH built
    // per query would cost more than the walk it saves on a character's few thousand).
    r3d::Affine skin[R3D_MAX_JOINTS];
    r3d::anim::SkinMatrices(*data, state, skin);
    thread_local std::vector<Vector3> posed;
    float best = FLT_MAX;
    Vector3 bestNormal{};
    bool hit = false;
    for (const R3D_MeshData& mesh : data->meshes) {
        r3d::anim::SkinPositions(mesh, skin, posed);
        for (size_t k = 0; k + 2 < mesh.indices.size(); k += 3) {
            const Vec3d a = ToDouble(posed[mesh.indices[k]]), b = ToDouble(posed[mesh.indices[k + 1]]),
                        c = ToDouble(posed[mesh.indices[k + 2]]);
            // Moller-Trumbore, both sides. Each test passes only what it wants, never a NaN.
            const Vec3d e1 = Sub(b, a), e2 = Sub(c, a);
            const Vec3d p = Cross(direction, e2);
            const double d = Dot(e1, p);
            if (!(std::fabs(d) >= 1e-20)) continue;
            const double inv = 1.0 / d;
            const Vec3d s = Sub(origin, a);
            const double u = Dot(s, p) * inv;
            if (!(u >= 0.0 && u <= 1.0)) continue;
            const Vec3d q = Cross(s, e1);
            const double v = Dot(direction, q) * inv;
            if (!(v >= 0.0 && u + v <= 1.0)) continue;
            const double t = Dot(e2, q) * inv;
            if (!(t > 0.0 && t < best)) continue;
            best = static_cast<float>(t);  // below FLT_MAX, so never infinite
            // Edges scaled to about 1 first, and their cross too: huge edges' cross would
            // overflow, a sliver's would underflow and could not be normalised.
            const Vec3d n = Unit(Cross(Unit(e1), Unit(e2)));
            bestNormal = {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)};
            hit = true;
        }
    }
    return hit ? local.Hit(ray, best, bestNormal) : Miss();
}

int R3D_GetModelTriangles(R3D_Model model, Vector3* corners, int maxTriangles) {
    const R3D_ModelData* data = r3d::ModelData(model, "R3D_GetModelTriangles");
    if (data == nullptr) return 0;
    int count = 0;
    for (const R3D_MeshData& mesh : data->meshes) {
        for (std::size_t k = 0; k + 2 < mesh.indices.size(); k += 3, ++count) {
            if (!corners || count >= maxTriangles) continue;
            for (int c = 0; c < 3; ++c) corners[count * 3 + c] = mesh.positions[mesh.indices[k + c]];
        }
    }
    return count;
}
