#include <vantor/Bridge.h>

#include <vantor/Game.h>

#include <cstddef>
#include <memory>
#include <typeinfo>

// Constructed in this order at module load, and destroyed in reverse at
// unload, after the game's own function-local statics.
std::unordered_map<std::string, game_func> bridge_funcs;
std::unordered_map<std::string, game_op> bridge_ops;
Game::Instance Game::Root(1);

// A later definition of a name replaces the earlier one.
void define_func(std::string name, game_func func) { bridge_funcs[name] = func; }
void define_op(std::string name, game_op op) { bridge_ops[name] = op; }

namespace {

game_keep_func host_keep = nullptr;

// An engine that hands over no store: kept values live in the module and
// start afresh with each load.
void* LocalKeep(const char* name, std::size_t size, int* fresh) {
    struct Block {
        std::size_t size = 0;
        std::unique_ptr<std::max_align_t[]> bytes;
    };
    static std::unordered_map<std::string, Block> blocks;
    Block& block = blocks[name];
    *fresh = !block.bytes || block.size != size;
    if (*fresh) {
        block.bytes.reset(new std::max_align_t[size / sizeof(std::max_align_t) + 1]());
        block.size = size;
    }
    return block.bytes.get();
}

}  // namespace

void define_keep(game_keep_func keep) { host_keep = keep; }

// The type_info of int lives in the C++ runtime library itself, never in the
// module: one shared runtime gives the engine and the module the same object.
const void* vantor_runtime() { return &typeid(int); }

void* Game::Detail::KeepBytes(const char* name, std::size_t size, bool& fresh) {
    int isNew = 0;
    void* bytes = (host_keep ? host_keep : LocalKeep)(name, size, &isNew);
    fresh = isNew != 0;
    return bytes;
}
