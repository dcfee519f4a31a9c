// The game module's bridge to the host: two tables of host entries, filled by
// the host through define_func / define_op and looked up by name.
//
// The module knows the host only through these names; it links nothing of the
// engine and nothing of raylib.
#pragma once

#include <any>
#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

using game_func = std::function<void(std::vector<std::any>)>;
using game_op = std::function<std::any(std::vector<std::any>)>;

extern std::unordered_map<std::string, game_func> bridge_funcs;  // entries without a result
extern std::unordered_map<std::string, game_op> bridge_ops;      // entries with a result

// The names the engine looks up in game.dll, with C linkage so they are found
// by their plain names. A game defines init and tick with it, and reload when
// it wants to keep the scene when the engine binds a rebuilt game.dll (see
// Game::Keep in <vantor/Game.h>):
//   VANTOR_EXPORT void init() { ... }
#if defined(_WIN32)
#define VANTOR_EXPORT extern "C" __declspec(dllexport)
#else
#define VANTOR_EXPORT extern "C" __attribute__((visibility("default")))
#endif

VANTOR_EXPORT void define_func(std::string name, game_func func);
VANTOR_EXPORT void define_op(std::string name, game_op op);
VANTOR_EXPORT void init();
VANTOR_EXPORT void tick();
VANTOR_EXPORT void reload();  // optional: run instead of init by a module that replaced a running one

// The engine's store of values kept across reloads, handed over once the module
// is bound: `size` bytes under `name`; *fresh becomes 1 for a new block.
using game_keep_func = void* (*)(const char* name, std::size_t size, int* fresh);
VANTOR_EXPORT void define_keep(game_keep_func keep);

// Which C++ runtime the module runs on: the engine refuses a module whose
// standard library is not its own, since the two hand std::string and std::any
// to each other (a module built by another compiler, or with its runtime
// linked in statically, would corrupt them).
VANTOR_EXPORT const void* vantor_runtime();
