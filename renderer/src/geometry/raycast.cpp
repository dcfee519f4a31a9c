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
    const Vector3 origin = local.origin, direction = local.direction;

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
            const Vector3 a = posed[mesh.indices[k]], b = posed[mesh.indices[k + 1]], c = posed[mesh.indices[k + 2]];
            // Moller-Trumbore, both sides.
            const Vector3 e1 = Vector3Subtract(b, a), e2 = Vector3Subtract(c, a);
            const Vector3 p = Vector3CrossProduct(direction, e2);
            const float d = Vector3DotProduct(e1, p);
            if (fabsf(d) < 1e-20f) continue;
            const float inv = 1.0f / d;
            const Vector3 s = Vector3Subtract(origin, a);
            const float u = Vector3DotProduct(s, p) * inv;
            if (u < 0.0f || u > 1.0f) continue;
            const Vector3 q = Vector3CrossProduct(s, e1);
            const float v = Vector3DotProduct(direction, q) * inv;
            if (v < 0.0f || u + v > 1.0f) continue;
            const float t = Vector3DotProduct(e2, q) * inv;
            if (t <= 0.0f || t >= best) continue;
            best = t;
            // Edges scaled to about 1 first: the cross product of huge ones would overflow.
            auto unit = [](Vector3 e) {
                const float m = std::fmax(std::fabs(e.x), std::fmax(std::fabs(e.y), std::fabs(e.z)));
                return m > 0.0f ? Vector3Scale(e, 1.0f / m) : e;
            };
            bestNormal = Vector3CrossProduct(unit(e1), unit(e2));
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
