#include <vantor/Bridge.h>

#include <vantor/Game.h>

// Constructed in this order at module load, and destroyed in reverse at
// unload, after the game's own function-local statics.
std::unordered_map<std::string, game_func> bridge_funcs;
std::unordered_map<std::string, game_op> bridge_ops;
Game::Instance Game::Root(1);

// A later definition of a name replaces the earlier one.
void define_func(std::string name, game_func func) { bridge_funcs[name] = func; }
void define_op(std::string name, game_op op) { bridge_ops[name] = op; }
