// Host globals shared by every part of the engine, and Crash, the one way a
// detected failure ends the program.
#pragma once

#include <any>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "raylib.h"

// The callables of API entries: an argument list in, nothing (func) or one value (op) out.
using game_func = std::function<void(std::vector<std::any>)>;
using game_op = std::function<std::any(std::vector<std::any>)>;

// The game module's four exports.
using game_init_func = void (*)();
using game_tick_func = void (*)();
using game_def_func_func = void (*)(std::string, game_func);
using game_def_op_func = void (*)(std::string, game_op);
// Two optional exports: reload, run instead of init when the module replaces a
// running one; define_keep, which hands the module the host's store of values
// kept across reloads (a block of `size` bytes under `name`; *fresh is set to 1
// when the block is new and must be given its first value).
using game_reload_func = void (*)();
using game_keep_func = void* (*)(const char* name, std::size_t size, int* fresh);
using game_def_keep_func = void (*)(game_keep_func);

extern Camera3D GameCamera;   // the camera the scene is drawn with each frame
extern std::string AssetPath; // working directory once the module is bound (the assets folder)

extern void* gamelib;         // the loaded game module
extern game_init_func game_init;
extern game_tick_func game_tick;
extern game_def_func_func game_def_func;
extern game_def_op_func game_def_op;
extern game_reload_func game_reload;        // null when the module has none
extern game_def_keep_func game_def_keep;    // null when the module has none

// False when VANTOR_NO_DIALOG is set and not empty, or headless: errors go to stderr only.
bool DialogsEnabled();

// When `condition` is true: writes "womp womp: <message>" on stderr, shows the
// error box (unless DialogsEnabled() says no) and exits with status 1.
void Crash(std::string message, bool condition);

// The caption of the error box and the prefix of Crash's stderr line.
inline constexpr const char* kCrashCaption = "womp womp";
