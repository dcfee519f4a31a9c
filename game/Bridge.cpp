#include "Bridge.h"

std::unordered_map<std::string, game_func> bridge_funcs;
std::unordered_map<std::string, game_op> bridge_ops;

// A later definition of a name replaces the earlier one.
void define_func(std::string name, game_func func) { bridge_funcs[name] = func; }
void define_op(std::string name, game_op op) { bridge_ops[name] = op; }
