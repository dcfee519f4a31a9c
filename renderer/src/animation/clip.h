// Animation clips as glTF defines them, sampled on the CPU: per joint,
// translation, rotation and scale channels, each with its key times and values
// and one of three interpolations. Read straight from the file's samplers
// (assimp's import keeps no interpolation mode per key).
#pragma once

#include <string>
#include <vector>

namespace r3d::anim {

enum class Interpolation { kLinear, kStep, kCubicSpline };
enum class Path { kTranslation, kRotation, kScale };

struct Channel {
    int joint = 0;
    Path path = Path::kTranslation;
    Interpolation interpolation = Interpolation::kLinear;
    std::vector<float> times;   // seconds, increasing
    // 3 floats a key (4 for rotations, x y z w); cubic splines store each key
    // as in-tangent, value, out-tangent.
    std::vector<float> values;

    int Components() const { return path == Path::kRotation ? 4 : 3; }
};

struct Clip {
    std::string name;
    float length = 0;  // seconds: the last key of any channel
    std::vector<Channel> channels;
};

// Whether a clip can be played: "" when sound, else the reason (no keys, times
// not finite or not increasing, values missing or not finite).
std::string Check(const Clip& clip);

// The channel's value at `time` (held before the first key and after the
// last) into out[0..Components()). Rotations come out of unit length:
// spherical-linear between linear keys, normalised after a cubic spline.
void Sample(const Channel& channel, float time, float* out);

}  // namespace r3d::anim
