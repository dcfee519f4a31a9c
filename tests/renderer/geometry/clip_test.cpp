// Sampling animation clips as glTF defines them, on the clips the figure
// generator writes: linear rotations turn at a steady rate (spherically),
// step keys jump, cubic splines ease, and keys are held outside the clip.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "animation/clip.h"
#include "figure/Figures.h"

using namespace r3d::anim;

namespace {

constexpr float kDegrees = 57.2957795f;

// The generator's clip by name, as the renderer holds clips.
Clip FromDocument(const Gltf::Document& document, const std::string& name) {
    Clip clip;
    for (const Gltf::Animation& a : document.animations) {
        if (a.name != name) continue;
        clip.name = a.name;
        for (const Gltf::Channel& g : a.channels) {
            Channel c;
            c.joint = g.node;
            c.path = g.path == "rotation" ? Path::kRotation : g.path == "scale" ? Path::kScale : Path::kTranslation;
            c.interpolation = g.interpolation == "STEP"          ? Interpolation::kStep
                              : g.interpolation == "CUBICSPLINE" ? Interpolation::kCubicSpline
                                                                 : Interpolation::kLinear;
            c.times = g.times;
            c.values = g.values;
            clip.length = std::max(clip.length, g.times.back());
            clip.channels.push_back(c);
        }
    }
    return clip;
}

// The bar's upper joint turns about +z: its angle in degrees at `time`.
float BendAngle(const std::string& clip, float time) {
    const Clip c = FromDocument(Figures::Bar(), clip);
    EXPECT_EQ(Check(c), "");
    float q[4];
    Sample(c.channels.at(0), time, q);
    EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0f, 1e-5f);
    return 2 * std::atan2(q[2], q[3]) * kDegrees;
}

}  // namespace

TEST(Clips, EachInterpolationBendsTheBarAsGltfDefinesIt) {
    EXPECT_NEAR(BendAngle("bend", 0), 0, 1e-3f);
    EXPECT_NEAR(BendAngle("bend", 0.25f), 22.5f, 1e-3f);  // spherical: a steady rate
    EXPECT_NEAR(BendAngle("bend", 0.5f), 45, 1e-3f);
    EXPECT_NEAR(BendAngle("bend", 1), 90, 1e-3f);
    EXPECT_NEAR(BendAngle("bend", 3), 90, 1e-3f) << "the last key holds";
    EXPECT_NEAR(BendAngle("bend", -1), 0, 1e-3f) << "the first key holds";

    EXPECT_NEAR(BendAngle("bend_step", 0.49f), 0, 1e-3f);
    EXPECT_NEAR(BendAngle("bend_step", 0.5f), 90, 1e-3f);

    // Zero tangents: Hermite weight 3t^2 - 2t^3 on the quaternions' components, normalised.
    const float h = 3 * 0.0625f - 2 * 0.015625f, s = std::sqrt(0.5f);
    EXPECT_NEAR(BendAngle("bend_cubic", 0.25f), 2 * std::atan2(s * h, 1 + (s - 1) * h) * kDegrees, 1e-3f);
    EXPECT_LT(BendAngle("bend_cubic", 0.25f), 22.5f - 5) << "eases out of rest";
    EXPECT_NEAR(BendAngle("bend_cubic", 0.5f), 45, 1e-3f);
    EXPECT_NEAR(BendAngle("bend_cubic", 1), 90, 1e-3f);
}

TEST(Clips, TranslationsAreLinearBetweenKeysAndBrokenClipsAreNamed) {
    const Clip walk = FromDocument(Figures::Figure(), "walk");
    ASSERT_EQ(Check(walk), "");
    EXPECT_FLOAT_EQ(walk.length, 1.0f);
    const Channel& hips = walk.channels.back();
    ASSERT_EQ(hips.path, Path::kTranslation);
    float a[3], b[3], middle[3];
    Sample(hips, 0.1f, a);
    Sample(hips, 0.2f, b);
    Sample(hips, 0.15f, middle);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(middle[i], (a[i] + b[i]) / 2, 1e-6f);

    Clip broken = walk;
    broken.channels[0].values[5] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_NE(Check(broken).find("not a number"), std::string::npos);
    broken = walk;
    broken.channels[0].times[3] = broken.channels[0].times[2];
    EXPECT_NE(Check(broken).find("do not increase"), std::string::npos);
    broken = walk;
    broken.channels[0].values.pop_back();
    EXPECT_NE(Check(broken).find("missing"), std::string::npos);
}
