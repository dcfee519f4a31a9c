// The host's API as the game module sees it, in-process: World::Initialize
// hands its entries to stand-in define_op/define_func hooks, and tests call the
// captured callables with std::vector<std::any> argument lists.
#pragma once

#include <any>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Global.h"

namespace Harness {

using Params = std::vector<std::any>;

struct Registration {
    std::string name;
    bool op;  // through define_op (true) or define_func
};

struct Api {
    std::unordered_map<std::string, game_op> ops;
    std::unordered_map<std::string, game_func> funcs;
    std::vector<Registration> order;

    std::any Op(const std::string& name, Params params = {}) const { return ops.at(name)(std::move(params)); }
    void Func(const std::string& name, Params params = {}) const { funcs.at(name)(std::move(params)); }

    // Shorthands for the calls most tests make.
    int New(const std::string& kind, const std::string& extra = "") const;
    std::any* Get(int id, const std::string& variable) const;
};

// Empties every host container and counter (as at process start), clears the
// stand-in renderer, and registers the API again.
Api& Fresh();

// Values exactly as the module builds them.
inline std::any S(const char* text) { return std::string(text); }
inline std::any L(std::vector<float> values) { return values; }
inline std::any F(float value) { return value; }
inline std::any I(int value) { return value; }
inline std::any B(bool value) { return value; }
inline std::any H(std::any* handle) { return handle; }

std::vector<float> List(const std::any& value);  // any_cast to a float list

}  // namespace Harness
