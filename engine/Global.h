// Host globals shared by every part of the engine, and Crash, the one way a
// detected failure ends the program.
#pragma once

#include <any>
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

extern Camera3D GameCamera;   // the camera the scene is drawn with each frame
extern std::string AssetPath; // working directory once the module is bound (the assets folder)

extern void* gamelib;         // the loaded game module
extern game_init_func game_init;
extern game_tick_func game_tick;
extern game_def_func_func game_def_func;
extern game_def_op_func game_def_op;

// When `condition` is true: writes "womp womp: <message>" on stderr, shows the
// error box (unless VANTOR_NO_DIALOG is set and not empty) and exits with status 1.
void Crash(std::string message, bool condition);

// The caption of the error box and the prefix of Crash's stderr line.
inline constexpr const char* kCrashCaption = "womp womp";
