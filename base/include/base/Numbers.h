// The number checks every layer makes on what callers hand it, named once:
//   Finite(a, b, ...)        every value is a finite number (no NaN, no infinity)
//   FiniteVector(v)          every member of a vector record (x, y[, z[, w]]) is
//   FiniteOr(v, fallback)    v when finite, else fallback
//   InRange(v, lo, hi)       finite and lo <= v <= hi
//   FitsInt(v)               finite and representable as a 32-bit int once truncated
#pragma once

#include <cmath>
#include <type_traits>

namespace base {

template <class... F>
constexpr bool Finite(F... values) {
    static_assert((std::is_arithmetic_v<F> && ...), "Finite takes numbers");
    return (std::isfinite(static_cast<double>(values)) && ...);
}

namespace detail {
template <class V, class = void> struct HasZ : std::false_type {};
template <class V> struct HasZ<V, std::void_t<decltype(std::declval<V>().z)>> : std::true_type {};
template <class V, class = void> struct HasW : std::false_type {};
template <class V> struct HasW<V, std::void_t<decltype(std::declval<V>().w)>> : std::true_type {};
}  // namespace detail

// Any record with members x and y, and z and w where it has them (raylib's
// Vector2/3/4 and Quaternion).
template <class V>
constexpr bool FiniteVector(const V& v) {
    if constexpr (detail::HasW<V>::value) return Finite(v.x, v.y, v.z, v.w);
    else if constexpr (detail::HasZ<V>::value) return Finite(v.x, v.y, v.z);
    else return Finite(v.x, v.y);
}

template <class F>
constexpr F FiniteOr(F value, F fallback) {
    return Finite(value) ? value : fallback;
}

template <class F>
constexpr bool InRange(F value, F lo, F hi) {
    return Finite(value) && value >= lo && value <= hi;
}

inline bool FitsInt(double value) { return Finite(value) && value > -2147483649.0 && value < 2147483648.0; }

}  // namespace base
