// The game module's bridge to the host: two tables of host entries, filled by
// the host through define_func / define_op and looked up by name.
//
// The module knows the host only through these names; it links nothing of the
// engine and nothing of raylib.
#pragma once

#include <any>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

using game_func = std::function<void(std::vector<std::any>)>;
using game_op = std::function<std::any(std::vector<std::any>)>;

extern std::unordered_map<std::string, game_func> bridge_funcs;  // entries without a result
extern std::unordered_map<std::string, game_op> bridge_ops;      // entries with a result

#if defined(_WIN32)
#define GAME_EXPORT extern "C" __declspec(dllexport)
#else
#define GAME_EXPORT extern "C" __attribute__((visibility("default")))
#endif

GAME_EXPORT void define_func(std::string name, game_func func);
GAME_EXPORT void define_op(std::string name, game_op op);
GAME_EXPORT void init();
GAME_EXPORT void tick();
