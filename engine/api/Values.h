// How values cross the bridge to the game module.
//
// Every argument and result is a std::any holding exactly one of: int, float,
// bool, std::string, std::vector<float> (vec2, vec3, a rectangle of 4, or a 16-element matrix),
// std::any* (a variable handle), a child table or a ray hit. Nothing is ever
// converted: a double where a float is wanted is a std::bad_any_cast.
//
// Kind<T> says how a C++ value of type T is read from an argument and written
// as a result, so entries can be written as plain typed functions.
#pragma once

#include <any>
#include <stdexcept>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "raylib.h"

namespace World::Api {

using Params = std::vector<std::any>;
using FloatList = std::vector<float>;

// Thrown (as std::out_of_range) when a position is missing or a float list is
// too short; the text names the entry and the position.
[[noreturn]] void ThrowMissing(const char* entry, std::size_t position);
[[noreturn]] void ThrowShortList(const char* entry, std::size_t position, std::size_t needed, std::size_t got);

// A value an entry needs is absent or of another type: an empty variable, a
// slot holding something else. It is a std::bad_any_cast like every wrong type,
// with a text that says what was wrong; the entry adapters put the entry's name
// in front.
class BadValue : public std::bad_any_cast {
public:
    explicit BadValue(std::string text) : text_(std::move(text)) {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

// A variable handle that does not address a live slot: its instance was
// destroyed, or the address never came from "Instance.Get".
class StaleHandle : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// How a kind of value is named in the API reference: the type it crosses as,
// and a note where the type alone does not say enough.
struct KindInfo {
    const char* type;
    const char* note;
};

template <class T>
struct Kind;

// Scalars and strings travel as themselves.
template <class T>
struct PlainKind {
    static const T& Read(const std::any& value, const char*, std::size_t) { return std::any_cast<const T&>(value); }
    static std::any Write(T value) { return std::any(std::move(value)); }
};
template <> struct Kind<int> : PlainKind<int> { static constexpr KindInfo kInfo{"int", ""}; };
template <> struct Kind<float> : PlainKind<float> { static constexpr KindInfo kInfo{"float", ""}; };
template <> struct Kind<bool> : PlainKind<bool> { static constexpr KindInfo kInfo{"bool", ""}; };
template <> struct Kind<std::string> : PlainKind<std::string> { static constexpr KindInfo kInfo{"string", ""}; };
template <> struct Kind<std::any*> : PlainKind<std::any*> {
    static constexpr KindInfo kInfo{"handle", "variable handle from \"Instance.Get\""};
};
// Entries without a result.
template <> struct Kind<void> { static constexpr KindInfo kInfo{"none", ""}; };

inline const FloatList& ReadList(const std::any& value, const char* entry, std::size_t position, std::size_t needed) {
    const FloatList& list = std::any_cast<const FloatList&>(value);
    if (list.size() < needed) ThrowShortList(entry, position, needed, list.size());
    return list;
}

template <>
struct Kind<Vector2> {
    static constexpr KindInfo kInfo{"vec2", ""};
    static Vector2 Read(const std::any& value, const char* entry, std::size_t position) {
        const FloatList& l = ReadList(value, entry, position, 2);
        return {l[0], l[1]};
    }
    static std::any Write(Vector2 v) { return FloatList{v.x, v.y}; }
};

template <>
struct Kind<Vector3> {
    static constexpr KindInfo kInfo{"vec3", ""};
    static Vector3 Read(const std::any& value, const char* entry, std::size_t position) {
        const FloatList& l = ReadList(value, entry, position, 3);
        return {l[0], l[1], l[2]};
    }
    static std::any Write(Vector3 v) { return FloatList{v.x, v.y, v.z}; }
};

// Rectangles cross as 4 floats: x, y, width, height.
template <>
struct Kind<Rectangle> {
    static constexpr KindInfo kInfo{"vec4", "rectangle: x, y, width, height"};
    static Rectangle Read(const std::any& value, const char* entry, std::size_t position) {
        const FloatList& l = ReadList(value, entry, position, 4);
        return {l[0], l[1], l[2], l[3]};
    }
};

// Matrices cross as 16 floats, element i being member mi (not declaration order).
template <>
struct Kind<Matrix> {
    static constexpr KindInfo kInfo{"mat", ""};
    static Matrix Read(const std::any& value, const char* entry, std::size_t position) {
        const FloatList& l = ReadList(value, entry, position, 16);
        return {l[0], l[4], l[8],  l[12],
                l[1], l[5], l[9],  l[13],
                l[2], l[6], l[10], l[14],
                l[3], l[7], l[11], l[15]};
    }
    static std::any Write(const Matrix& m) {
        return FloatList{m.m0, m.m1, m.m2,  m.m3,  m.m4,  m.m5,  m.m6,  m.m7,
                         m.m8, m.m9, m.m10, m.m11, m.m12, m.m13, m.m14, m.m15};
    }
};

// Colours cross as an int packed 0xRRGGBBAA.
template <>
struct Kind<Color> {
    static constexpr KindInfo kInfo{"int", "colour packed 0xRRGGBBAA"};
    static Color Read(const std::any& value, const char*, std::size_t) {
        return GetColor(static_cast<unsigned int>(std::any_cast<const int&>(value)));
    }
    static std::any Write(Color c) { return ColorToInt(c); }
};

// A copy of an instance's child table.
template <>
struct Kind<std::unordered_map<std::string, int>> {
    static constexpr KindInfo kInfo{"children", "child name to instance id"};
    static std::any Write(std::unordered_map<std::string, int> children) { return std::any(std::move(children)); }
};

// Argument `position` of an entry's list, read as T.
template <class T>
decltype(auto) Arg(const Params& params, std::size_t position, const char* entry) {
    if (position >= params.size()) ThrowMissing(entry, position);
    return Kind<T>::Read(params[position], entry, position);
}

}  // namespace World::Api
