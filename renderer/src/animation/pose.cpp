#include "animation/pose.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"

namespace r3d::anim {
namespace {

struct Trs {
    float t[3];
    float r[4];
    float s[3];
};

Affine Compose(const Trs& p) {
    const float x = p.r[0], y = p.r[1], z = p.r[2], w = p.r[3];
    const float xx = x * x, yy = y * y, zz = z * z, xy = x * y, xz = x * z, yz = y * z, wx = w * x, wy = w * y, wz = w * z;
    Affine a;
    float* m = a.m;
    m[0] = (1 - 2 * (yy + zz)) * p.s[0], m[1] = 2 * (xy - wz) * p.s[1], m[2] = 2 * (xz + wy) * p.s[2], m[3] = p.t[0];
    m[4] = 2 * (xy + wz) * p.s[0], m[5] = (1 - 2 * (xx + zz)) * p.s[1], m[6] = 2 * (yz - wx) * p.s[2], m[7] = p.t[1];
    m[8] = 2 * (xz - wy) * p.s[0], m[9] = 2 * (yz + wx) * p.s[1], m[10] = (1 - 2 * (xx + yy)) * p.s[2], m[11] = p.t[2];
    return a;
}

Trs Rest(const Joint& joint) {
    return {{joint.translation.x, joint.translation.y, joint.translation.z},
            {joint.rotation.x, joint.rotation.y, joint.rotation.z, joint.rotation.w},
            {joint.scale.x, joint.scale.y, joint.scale.z}};
}

// The joints' local transforms: rest, then the clip's channels at `time`.
void Local(const R3D_ModelData& model, int clip, float time, Trs* out) {
    const size_t n = model.joints.size();
    for (size_t j = 0; j < n; ++j) out[j] = Rest(model.joints[j]);
    if (clip < 0) return;
    for (const Channel& c : model.clips[static_cast<size_t>(clip)].channels) {
        Trs& p = out[c.joint];
        Sample(c, time, c.path == Path::kTranslation ? p.t : c.path == Path::kRotation ? p.r : p.s);
    }
}

// A transform whose numbers stay well inside float range (products of two cannot overflow).
bool Sane(const Affine& a) {
    for (float v : a.m)
        if (!(std::fabs(v) < 1e18f)) return false;
    return true;
}

// Up to R3D_MAX_JOINTS joints, so a pose needs no allocation.
struct Scratch {
    Trs to[R3D_MAX_JOINTS];
    Trs from[R3D_MAX_JOINTS];
};

}  // namespace

R3D_AnimationState Sanitize(const R3D_ModelData& model, R3D_AnimationState s) {
    const int clips = static_cast<int>(model.clips.size());
    if (s.clip < 0 || s.clip >= clips) s.clip = -1;
    if (s.from < 0 || s.from >= clips) s.from = -1;
    if (!base::Finite(s.time)) s.time = 0;
    if (!base::Finite(s.fromTime)) s.fromTime = 0;
    s.fade = base::Finite(s.fade) ? std::clamp(s.fade, 0.0f, 1.0f) : 1.0f;
    return s;
}

void PoseJoints(const R3D_ModelData& model, const R3D_AnimationState& raw, Affine* world) {
    thread_local Scratch scratch;
    const R3D_AnimationState state = Sanitize(model, raw);
    const size_t n = model.joints.size();
    Local(model, state.clip, state.time, scratch.to);
    if (state.fade < 1.0f) {
        // Blend towards the new clip: positions and scales linearly, rotations along the shorter way.
        Local(model, state.from, state.fromTime, scratch.from);
        const float f = state.fade;
        for (size_t j = 0; j < n; ++j) {
            Trs& a = scratch.from[j];
            Trs& b = scratch.to[j];
            for (int i = 0; i < 3; ++i) {
                b.t[i] = a.t[i] + (b.t[i] - a.t[i]) * f;
                b.s[i] = a.s[i] + (b.s[i] - a.s[i]) * f;
            }
            const float d = a.r[0] * b.r[0] + a.r[1] * b.r[1] + a.r[2] * b.r[2] + a.r[3] * b.r[3];
            const float sign = d < 0 ? -1.0f : 1.0f;
            float len = 0;
            for (int i = 0; i < 4; ++i) {
                b.r[i] = a.r[i] * (1 - f) + sign * b.r[i] * f;
                len += b.r[i] * b.r[i];
            }
            len = std::sqrt(len);
            for (int i = 0; i < 4; ++i) b.r[i] = len > 1e-12f ? b.r[i] / len : (i == 3 ? 1.0f : 0.0f);
        }
    }
    for (size_t j = 0; j < n; ++j) {
        const Affine local = Compose(scratch.to[j]);
        const int parent = model.joints[j].parent;
        world[j] = parent >= 0 ? Multiply(world[parent], local) : local;
        // Keys that are finite can still compound out of range down a chain of joints:
        // such a joint stays where its parent holds it at rest, never at infinity.
        if (!Sane(world[j])) {
            const Affine rest = Compose(Rest(model.joints[j]));
            world[j] = parent >= 0 ? Multiply(world[parent], rest) : rest;
            if (!Sane(world[j])) world[j] = Affine{};
        }
    }
}

void SkinMatrices(const R3D_ModelData& model, const R3D_AnimationState& state, Affine* skin) {
    PoseJoints(model, state, skin);
    for (size_t j = 0; j < model.joints.size(); ++j) skin[j] = Multiply(skin[j], model.joints[j].restInverse);
}

BoundingBox PoseBounds(const R3D_ModelData& model) {
    const size_t n = model.joints.size();
    // Each joint's box: the rest-pose vertices it moves.
    std::vector<BoundingBox> boxes(n, BoundingBox{{INFINITY, INFINITY, INFINITY}, {-INFINITY, -INFINITY, -INFINITY}});
    for (const R3D_MeshData& mesh : model.meshes) {
        for (size_t v = 0; v < mesh.skin.size() && v < mesh.positions.size(); ++v) {
            for (int k = 0; k < 4; ++k) {
                if (mesh.skin[v].weight[k] <= 0) continue;
                BoundingBox& b = boxes[mesh.skin[v].joint[k]];
                const Vector3 p = mesh.positions[v];
                b.min = {std::min(b.min.x, p.x), std::min(b.min.y, p.y), std::min(b.min.z, p.z)};
                b.max = {std::max(b.max.x, p.x), std::max(b.max.y, p.y), std::max(b.max.z, p.z)};
            }
        }
    }
    BoundingBox out{{INFINITY, INFINITY, INFINITY}, {-INFINITY, -INFINITY, -INFINITY}};
    std::vector<Affine> skin(n);
    auto grow = [&](const R3D_AnimationState& state) {
        SkinMatrices(model, state, skin.data());
        for (size_t j = 0; j < n; ++j) {
            const BoundingBox& b = boxes[j];
            if (b.min.x > b.max.x) continue;
            for (int corner = 0; corner < 8; ++corner) {
                const Vector3 p = Apply(skin[j], {corner & 1 ? b.max.x : b.min.x, corner & 2 ? b.max.y : b.min.y,
                                                  corner & 4 ? b.max.z : b.min.z});
                if (!base::FiniteVector(p)) continue;
                out.min = {std::min(out.min.x, p.x), std::min(out.min.y, p.y), std::min(out.min.z, p.z)};
                out.max = {std::max(out.max.x, p.x), std::max(out.max.y, p.y), std::max(out.max.z, p.z)};
            }
        }
    };
    grow({-1, 0, -1, 0, 1});
    for (size_t c = 0; c < model.clips.size(); ++c) {
        const Clip& clip = model.clips[c];
        std::vector<float> times;
        for (const Channel& channel : clip.channels) times.insert(times.end(), channel.times.begin(), channel.times.end());
        const int steps = static_cast<int>(std::min(600.0f, std::ceil(clip.length * 30.0f)));
        for (int k = 0; k <= steps; ++k) times.push_back(steps > 0 ? clip.length * k / steps : 0.0f);
        std::sort(times.begin(), times.end());
        times.erase(std::unique(times.begin(), times.end()), times.end());
        if (times.size() > 4096) times.resize(4096);  // bounded work for a clip of very many keys
        for (float t : times) grow({static_cast<int>(c), t, -1, 0, 1});
    }
    if (out.min.x > out.max.x) return BoundingBox{};
    // Blending two clips' joint rotations passes through poses neither holds: leave room.
    const Vector3 pad = {(out.max.x - out.min.x) * 0.1f, (out.max.y - out.min.y) * 0.1f, (out.max.z - out.min.z) * 0.1f};
    out.min = {out.min.x - pad.x, out.min.y - pad.y, out.min.z - pad.z};
    out.max = {out.max.x + pad.x, out.max.y + pad.y, out.max.z + pad.z};
    return out;
}

void SkinPositions(const R3D_MeshData& mesh, const Affine* skin, std::vector<Vector3>& out) {
    out.resize(mesh.positions.size());
    for (size_t v = 0; v < mesh.positions.size(); ++v) {
        const Vector3 p = mesh.positions[v];
        if (v >= mesh.skin.size()) {
            out[v] = p;
            continue;
        }
        Vector3 sum{0, 0, 0};
        for (int k = 0; k < 4; ++k) {
            const float w = mesh.skin[v].weight[k];
            if (w <= 0) continue;
            const Vector3 q = Apply(skin[mesh.skin[v].joint[k]], p);
            sum = {sum.x + w * q.x, sum.y + w * q.y, sum.z + w * q.z};
        }
        // A vertex far out moved by a large transform can overflow: it then stays at rest.
        out[v] = base::FiniteVector(sum) ? sum : p;
    }
}

Affine Multiply(const Affine& a, const Affine& b) {
    Affine c;
    for (int r = 0; r < 3; ++r) {
        const float* ar = a.m + 4 * r;
        for (int k = 0; k < 4; ++k) c.m[4 * r + k] = ar[0] * b.m[k] + ar[1] * b.m[4 + k] + ar[2] * b.m[8 + k];
        c.m[4 * r + 3] += ar[3];
    }
    return c;
}

Affine Inverse(const Affine& a) {
    const float* m = a.m;
    const float c00 = m[5] * m[10] - m[6] * m[9], c01 = m[6] * m[8] - m[4] * m[10], c02 = m[4] * m[9] - m[5] * m[8];
    const float det = m[0] * c00 + m[1] * c01 + m[2] * c02;
    if (!(std::fabs(det) > 1e-30f) || !base::Finite(det)) return Affine{};
    const float d = 1.0f / det;
    Affine inv;
    float* o = inv.m;
    o[0] = c00 * d, o[1] = (m[2] * m[9] - m[1] * m[10]) * d, o[2] = (m[1] * m[6] - m[2] * m[5]) * d;
    o[4] = c01 * d, o[5] = (m[0] * m[10] - m[2] * m[8]) * d, o[6] = (m[2] * m[4] - m[0] * m[6]) * d;
    o[8] = c02 * d, o[9] = (m[1] * m[8] - m[0] * m[9]) * d, o[10] = (m[0] * m[5] - m[1] * m[4]) * d;
    for (int r = 0; r < 3; ++r) o[4 * r + 3] = -(o[4 * r] * m[3] + o[4 * r + 1] * m[7] + o[4 * r + 2] * m[11]);
    return inv;
}

Vector3 Apply(const Affine& a, Vector3 p) {
    const float* m = a.m;
    return {m[0] * p.x + m[1] * p.y + m[2] * p.z + m[3], m[4] * p.x + m[5] * p.y + m[6] * p.z + m[7],
            m[8] * p.x + m[9] * p.y + m[10] * p.z + m[11]};
}

Matrix ToMatrix(const Affine& a) {
    const float* m = a.m;
    return Matrix{m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8], m[9], m[10], m[11], 0, 0, 0, 1};
}

Affine FromMatrix(const Matrix& x) {
    Affine a;
    const float v[12] = {x.m0, x.m4, x.m8, x.m12, x.m1, x.m5, x.m9, x.m13, x.m2, x.m6, x.m10, x.m14};
    std::copy(v, v + 12, a.m);
    return a;
}

}  // namespace r3d::anim
