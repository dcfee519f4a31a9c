#include "animation/clip.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"

namespace r3d::anim {
namespace {

void Normalize4(float* q) {
    const float length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (!(length > 1e-12f) || !base::Finite(length)) {
        q[0] = q[1] = q[2] = 0, q[3] = 1;
        return;
    }
    for (int i = 0; i < 4; ++i) q[i] /= length;
}

// Shortest-path spherical interpolation of unit quaternions.
void Slerp(const float* a, const float* b, float t, float* out) {
    float d = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    float sign = 1;
    if (d < 0) d = -d, sign = -1;
    float wa = 1 - t, wb = t;
    if (d < 0.9995f) {
        const float angle = std::acos(std::min(d, 1.0f)), s = std::sin(angle);
        wa = std::sin((1 - t) * angle) / s;
        wb = std::sin(t * angle) / s;
    }
    for (int i = 0; i < 4; ++i) out[i] = wa * a[i] + sign * wb * b[i];
    Normalize4(out);
}

}  // namespace

std::string Check(const Clip& clip) {
    if (clip.channels.empty()) return "clip \"" + clip.name + "\" has no channels";
    for (const Channel& c : clip.channels) {
        if (c.times.empty()) return "clip \"" + clip.name + "\" has a channel without keys";
        for (std::size_t k = 0; k < c.times.size(); ++k) {
            if (!base::Finite(c.times[k]) || c.times[k] < 0) return "clip \"" + clip.name + "\" has a key time that is negative or not a number";
            if (k > 0 && !(c.times[k] > c.times[k - 1])) return "clip \"" + clip.name + "\" has key times that do not increase";
        }
        const std::size_t perKey = static_cast<std::size_t>(c.Components()) * (c.interpolation == Interpolation::kCubicSpline ? 3 : 1);
        if (c.values.size() != c.times.size() * perKey) return "clip \"" + clip.name + "\" has values missing";
        for (float v : c.values)
            if (!base::Finite(v)) return "clip \"" + clip.name + "\" has a key value that is not a number";
    }
    return std::string();
}

void Sample(const Channel& c, float time, float* out) {
    const int n = c.Components();
    const bool cubic = c.interpolation == Interpolation::kCubicSpline;
    const std::size_t stride = static_cast<std::size_t>(n) * (cubic ? 3 : 1);
    auto value = [&](std::size_t key) { return c.values.data() + key * stride + (cubic ? n : 0); };
    const std::size_t keys = c.times.size();
    // The key at or before `time`; held before the first and after the last.
    const std::size_t next = static_cast<std::size_t>(std::upper_bound(c.times.begin(), c.times.end(), time) - c.times.begin());
    if (next == 0 || next == keys || c.interpolation == Interpolation::kStep || !base::Finite(time)) {
        const float* v = value(next == 0 ? 0 : next - 1);
        std::copy(v, v + n, out);
        if (c.path == Path::kRotation) Normalize4(out);
        return;
    }
    const std::size_t k = next - 1;
    const float span = c.times[next] - c.times[k], t = (time - c.times[k]) / span;
    const float* a = value(k);
    const float* b = value(next);
    if (!cubic) {
        if (c.path == Path::kRotation) return Slerp(a, b, t, out);
        for (int i = 0; i < n; ++i) out[i] = a[i] + (b[i] - a[i]) * t;
        return;
    }
    // Cubic Hermite with the keys' out- and in-tangents, scaled by the span.
    const float* outTangent = c.values.data() + k * stride + 2 * n;
    const float* inTangent = c.values.data() + next * stride;
    const float t2 = t * t, t3 = t2 * t;
    const float h00 = 2 * t3 - 3 * t2 + 1, h10 = t3 - 2 * t2 + t, h01 = -2 * t3 + 3 * t2, h11 = t3 - t2;
    for (int i = 0; i < n; ++i) out[i] = h00 * a[i] + h10 * span * outTangent[i] + h01 * b[i] + h11 * span * inTangent[i];
    if (c.path == Path::kRotation) Normalize4(out);
}

}  // namespace r3d::anim
