// The 76 math entries against raymath itself, over many random inputs: lists
// in, lists out, matrices in member-number order, exact types.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <tuple>

#include "Harness.h"
#include "raymath.h"

using namespace Harness;

namespace {

using Rng = std::mt19937;

float RandomFloat(Rng& rng) {
    switch (rng() % 8) {
        case 0: return 0.0f;
        case 1: return std::uniform_real_distribution<float>(-1, 1)(rng);
        case 2: return std::uniform_real_distribution<float>(-1000, 1000)(rng);
        default: return std::uniform_real_distribution<float>(-10, 10)(rng);
    }
}

// Makes a random argument of type T, pushes it as the module would, returns it as raymath takes it.
template <class T>
struct Gen;
template <>
struct Gen<float> {
    static float Make(Rng& rng, Params& params) {
        float f = RandomFloat(rng);
        params.push_back(f);
        return f;
    }
};
template <>
struct Gen<Vector2> {
    static Vector2 Make(Rng& rng, Params& params) {
        std::vector<float> l = {RandomFloat(rng), RandomFloat(rng)};
        if (rng() % 4 == 0) l.push_back(RandomFloat(rng));  // extra elements are ignored
        params.push_back(l);
        return {l[0], l[1]};
    }
};
template <>
struct Gen<Vector3> {
    static Vector3 Make(Rng& rng, Params& params) {
        std::vector<float> l = {RandomFloat(rng), RandomFloat(rng), RandomFloat(rng)};
        if (rng() % 4 == 0) l.push_back(RandomFloat(rng));
        params.push_back(l);
        return {l[0], l[1], l[2]};
    }
};
template <>
struct Gen<Matrix> {
    static Matrix Make(Rng& rng, Params& params) {
        std::vector<float> l(16);
        for (float& f : l) f = RandomFloat(rng);
        params.push_back(l);
        Matrix m;
        m.m0 = l[0], m.m1 = l[1], m.m2 = l[2], m.m3 = l[3];
        m.m4 = l[4], m.m5 = l[5], m.m6 = l[6], m.m7 = l[7];
        m.m8 = l[8], m.m9 = l[9], m.m10 = l[10], m.m11 = l[11];
        m.m12 = l[12], m.m13 = l[13], m.m14 = l[14], m.m15 = l[15];
        return m;
    }
};

bool Same(float a, float b) { return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0 || a == b; }

void ExpectSame(const std::any& got, float want) { ASSERT_TRUE(Same(std::any_cast<float>(got), want)); }
void ExpectSame(const std::any& got, int want) { ASSERT_EQ(std::any_cast<bool>(got), want != 0); }
void ExpectSame(const std::any& got, Vector2 want) {
    auto l = List(got);
    ASSERT_EQ(l.size(), 2u);
    ASSERT_TRUE(Same(l[0], want.x) && Same(l[1], want.y)) << l[0] << "," << l[1] << " vs " << want.x << "," << want.y;
}
void ExpectSame(const std::any& got, Vector3 want) {
    auto l = List(got);
    ASSERT_EQ(l.size(), 3u);
    ASSERT_TRUE(Same(l[0], want.x) && Same(l[1], want.y) && Same(l[2], want.z));
}
void ExpectSame(const std::any& got, Matrix want) {
    auto l = List(got);
    ASSERT_EQ(l.size(), 16u);
    const float m[16] = {want.m0, want.m1, want.m2,  want.m3,  want.m4,  want.m5,  want.m6,  want.m7,
                         want.m8, want.m9, want.m10, want.m11, want.m12, want.m13, want.m14, want.m15};
    for (int i = 0; i < 16; ++i) ASSERT_TRUE(Same(l[i], m[i])) << "element " << i;
}

std::set<std::string> checked;

template <class R, class... A, std::size_t... I>
void CheckOnce(const Api& api, const char* name, R (*fn)(A...), Rng& rng, std::index_sequence<I...>) {
    Params params;
    std::tuple<A...> args{Gen<A>::Make(rng, params)...};
    // equality entries also need inputs that are equal
    if constexpr (sizeof...(A) == 2 && std::is_same_v<R, int>) {
        if (rng() % 2) {
            std::get<1>(args) = std::get<0>(args);
            params[1] = params[0];
        }
    }
    R want = fn(std::get<I>(args)...);
    std::any got = api.Op(name, params);
    ExpectSame(got, want);
}

template <class R, class... A>
void Check(const Api& api, const char* name, R (*fn)(A...)) {
    SCOPED_TRACE(name);
    checked.insert(name);
    Rng rng(12345);
    for (int round = 0; round < 500; ++round) {
        CheckOnce(api, name, fn, rng, std::index_sequence_for<A...>{});
        if (::testing::Test::HasFatalFailure()) return;
    }
}

}  // namespace

TEST(MathEntries, AllSeventySixAgreeWithRaymathOverRandomInputs) {
    const Api& api = Fresh();
    Check(api, "Vector2Zero", Vector2Zero);
    Check(api, "Vector2One", Vector2One);
    Check(api, "Vector2Add", Vector2Add);
    Check(api, "Vector2AddValue", Vector2AddValue);
    Check(api, "Vector2Subtract", Vector2Subtract);
    Check(api, "Vector2SubtractValue", Vector2SubtractValue);
    Check(api, "Vector2Length", Vector2Length);
    Check(api, "Vector2LengthSqr", Vector2LengthSqr);
    Check(api, "Vector2DotProduct", Vector2DotProduct);
    Check(api, "Vector2Distance", Vector2Distance);
    Check(api, "Vector2DistanceSqr", Vector2DistanceSqr);
    Check(api, "Vector2Angle", Vector2Angle);
    Check(api, "Vector2LineAngle", Vector2LineAngle);
    Check(api, "Vector2Scale", Vector2Scale);
    Check(api, "Vector2Multiply", Vector2Multiply);
    Check(api, "Vector2Negate", Vector2Negate);
    Check(api, "Vector2Divide", Vector2Divide);
    Check(api, "Vector2Normalize", Vector2Normalize);
    Check(api, "Vector2Transform", Vector2Transform);
    Check(api, "Vector2Lerp", Vector2Lerp);
    Check(api, "Vector2Reflect", Vector2Reflect);
    Check(api, "Vector2Min", Vector2Min);
    Check(api, "Vector2Max", Vector2Max);
    Check(api, "Vector2Rotate", Vector2Rotate);
    Check(api, "Vector2MoveTowards", Vector2MoveTowards);
    Check(api, "Vector2Invert", Vector2Invert);
    Check(api, "Vector2Clamp", Vector2Clamp);
    Check(api, "Vector2ClampValue", Vector2ClampValue);
    Check(api, "Vector2Equals", Vector2Equals);
    Check(api, "Vector2Refract", Vector2Refract);
    Check(api, "Vector3Zero", Vector3Zero);
    Check(api, "Vector3One", Vector3One);
    Check(api, "Vector3Add", Vector3Add);
    Check(api, "Vector3AddValue", Vector3AddValue);
    Check(api, "Vector3Subtract", Vector3Subtract);
    Check(api, "Vector3SubtractValue", Vector3SubtractValue);
    Check(api, "Vector3Scale", Vector3Scale);
    Check(api, "Vector3Multiply", Vector3Multiply);
    Check(api, "Vector3CrossProduct", Vector3CrossProduct);
    Check(api, "Vector3Perpendicular", Vector3Perpendicular);
    Check(api, "Vector3Length", Vector3Length);
    Check(api, "Vector3LengthSqr", Vector3LengthSqr);
    Check(api, "Vector3DotProduct", Vector3DotProduct);
    Check(api, "Vector3Distance", Vector3Distance);
    Check(api, "Vector3DistanceSqr", Vector3DistanceSqr);
    Check(api, "Vector3Angle", Vector3Angle);
    Check(api, "Vector3Negate", Vector3Negate);
    Check(api, "Vector3Divide", Vector3Divide);
    Check(api, "Vector3Normalize", Vector3Normalize);
    Check(api, "Vector3Project", Vector3Project);
    Check(api, "Vector3Reject", Vector3Reject);
    Check(api, "Vector3Transform", Vector3Transform);
    Check(api, "Vector3RotateByAxisAngle", Vector3RotateByAxisAngle);
    Check(api, "Vector3MoveTowards", Vector3MoveTowards);
    Check(api, "Vector3Lerp", Vector3Lerp);
    Check(api, "Vector3CubicHermite", Vector3CubicHermite);
    Check(api, "Vector3Reflect", Vector3Reflect);
    Check(api, "Vector3Min", Vector3Min);
    Check(api, "Vector3Max", Vector3Max);
    Check(api, "Vector3Barycenter", Vector3Barycenter);
    Check(api, "Vector3Invert", Vector3Invert);
    Check(api, "Vector3Clamp", Vector3Clamp);
    Check(api, "Vector3ClampValue", Vector3ClampValue);
    Check(api, "Vector3Equals", Vector3Equals);
    Check(api, "Vector3Refract", Vector3Refract);
    Check(api, "MatrixDeterminant", MatrixDeterminant);
    Check(api, "MatrixTrace", MatrixTrace);
    Check(api, "MatrixTranspose", MatrixTranspose);
    Check(api, "MatrixIdentity", MatrixIdentity);
    Check(api, "MatrixAdd", MatrixAdd);
    Check(api, "MatrixSubtract", MatrixSubtract);
    Check(api, "MatrixMultiply", MatrixMultiply);
    Check(api, "MatrixTranslate", MatrixTranslate);
    Check(api, "MatrixRotate", MatrixRotate);
    Check(api, "MatrixRotateXYZ", MatrixRotateXYZ);
    Check(api, "MatrixScale", MatrixScale);
    EXPECT_EQ(checked.size(), 76u);
    // they are entries 95 to 170
    for (std::size_t i = 94; i < 170; ++i) EXPECT_EQ(checked.count(api.order[i].name), 1u) << api.order[i].name;
}

TEST(MathEntries, KnownValues) {
    const Api& api = Fresh();
    EXPECT_EQ(List(api.Op("Vector2Add", {L({1, 2, 99}), L({3, 4})})), (std::vector<float>{4, 6}));
    EXPECT_EQ(List(api.Op("Vector2SubtractValue", {L({5, 5}), F(2)})), (std::vector<float>{3, 3}));
    EXPECT_EQ(std::any_cast<float>(api.Op("Vector2Distance", {L({0, 0}), L({3, 4})})), 5);
    EXPECT_EQ(std::any_cast<float>(api.Op("Vector3DotProduct", {L({1, 2, 3}), L({4, 5, 6})})), 32);
    EXPECT_EQ(List(api.Op("Vector3Project", {L({1, 1, 0}), L({1, 0, 0})})), (std::vector<float>{1, 0, 0}));
    EXPECT_EQ(List(api.Op("Vector3Reject", {L({1, 1, 0}), L({1, 0, 0})})), (std::vector<float>{0, 1, 0}));
    EXPECT_NEAR(std::any_cast<float>(api.Op("Vector2LineAngle", {L({0, 0}), L({0, 1})})), -PI / 2, 1e-6);
    EXPECT_NEAR(std::any_cast<float>(api.Op("Vector3Angle", {L({1, 0, 0}), L({0, 1, 0})})), PI / 2, 1e-6);
    EXPECT_TRUE(std::any_cast<bool>(api.Op("Vector2Equals", {L({1000, 0}), L({1000.0005f, 0})})));
    EXPECT_FALSE(std::any_cast<bool>(api.Op("Vector2Equals", {L({1, 0}), L({1.00001f, 0})})));

    std::vector<float> translate = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1};
    EXPECT_EQ(List(api.Op("MatrixTranslate", {F(5), F(0), F(0)})), translate);
    EXPECT_EQ(List(api.Op("Vector3Transform", {L({1, 2, 3}), L(translate)})), (std::vector<float>{6, 2, 3}));
    std::vector<float> transposed = {1, 0, 0, 5, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(List(api.Op("MatrixTranspose", {L(translate)})), transposed);
    EXPECT_EQ(List(api.Op("MatrixTranspose", {L(transposed)})), translate);
    EXPECT_EQ(List(api.Op("MatrixMultiply", {L(translate), api.Op("MatrixIdentity")})), translate);
    auto rotate = List(api.Op("MatrixRotate", {L({0, 0, 1}), F(PI / 2)}));
    const float want[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(rotate[i], want[i], 1e-6) << i;
    auto x = List(api.Op("Vector3Transform", {L({1, 0, 0}), L(rotate)}));
    EXPECT_NEAR(x[0], 0, 1e-6);
    EXPECT_NEAR(x[1], 1, 1e-6);

    auto inf = List(api.Op("Vector2Divide", {L({1, 1}), L({0, 1})}));
    EXPECT_TRUE(std::isinf(inf[0]));
    EXPECT_EQ(inf[1], 1);
    EXPECT_EQ(List(api.Op("Vector3Normalize", {L({0, 0, 0})})), (std::vector<float>{0, 0, 0}));
}

TEST(MathEntries, NothingIsConverted) {
    const Api& api = Fresh();
    EXPECT_THROW(api.Op("Vector2Scale", {L({1, 2}), std::any(2.0)}), std::bad_any_cast);
    EXPECT_THROW(api.Op("Vector2Scale", {L({1, 2}), I(2)}), std::bad_any_cast);
    EXPECT_THROW(api.Op("Vector2Scale", {F(2), L({1, 2})}), std::bad_any_cast);
    EXPECT_THROW(api.Op("Vector3Add", {std::any(std::vector<double>{1, 2, 3}), L({1, 2, 3})}), std::bad_any_cast);
    EXPECT_THROW(api.Op("MatrixTranslate", {F(1), F(2), 3}), std::bad_any_cast);
}

TEST(MathEntries, MissingPositionsAndShortListsNameTheEntryAndNeverReadPastTheEnd) {
    const Api& api = Fresh();
    auto message = [&](const char* name, Params params) -> std::string {
        try {
            api.Op(name, std::move(params));
        } catch (const std::out_of_range& e) {
            return e.what();
        }
        return "no exception";
    };
    EXPECT_EQ(message("Vector3Add", {L({1, 2, 3})}), "Vector3Add: argument 1 is missing");
    EXPECT_EQ(message("Vector3Add", {L({1, 2, 3}), L({1, 2})}), "Vector3Add: argument 1 needs 3 floats, got 2");
    EXPECT_EQ(message("Vector2Length", {L({})}), "Vector2Length: argument 0 needs 2 floats, got 0");
    EXPECT_EQ(message("MatrixTrace", {L(std::vector<float>(15, 1))}), "MatrixTrace: argument 0 needs 16 floats, got 15");
    EXPECT_EQ(message("Vector3CubicHermite", {L({0, 0, 0}), L({0, 0, 0}), L({0, 0, 0}), L({0, 0, 0})}),
              "Vector3CubicHermite: argument 4 is missing");
}
