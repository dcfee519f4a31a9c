// Binding the game module.
#pragma once

#include <optional>
#include <string>

#include "Global.h"
#include "Messages.h"

// Loads "game.dll" (in reload mode a private copy of it), prints the loader's
// error number on stdout, binds the four exports (a missing one is fatal) and
// the optional ones, registers the API with the module, records AssetPath and
// sets the camera's start values.
void LoadGame();

// Unloads the game module; nothing in it may be called afterwards.
void UnloadGame();

// The camera's start values: at the origin, looking along +z.
void ResetCamera();

// What one loaded module exports, and which required export it lacks.
struct GameExports {
    void* handle = nullptr;
    game_init_func init = nullptr;
    game_tick_func tick = nullptr;
    game_def_func_func define_func = nullptr;
    game_def_op_func define_op = nullptr;
    game_reload_func reload = nullptr;
    game_def_keep_func define_keep = nullptr;

    // Why the module cannot be bound, if it cannot: a C++ runtime other than
    // the engine's, else the first required export missing in the order init,
    // tick, define_func, define_op. `refusal` says it in a few words.
    std::optional<Fatal> missing;
    std::string refusal;
};

// The compiler and runtime a game.dll must be built with, for messages.
extern const char* const kGameCompiler;

GameExports FindGameExports(void* module);
GameExports BoundGame();               // what the globals hold now
void BindGame(const GameExports& game);  // into the globals, and hands it the keep store
