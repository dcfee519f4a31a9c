#include "Global.h"

#include <cstdio>
#include <cstdlib>

#include "ErrorBox.h"
#include "Instance.h"
#include "World.h"

Camera3D GameCamera = {};

// The host's containers, all in this one file so they are built in this order
// (and destroyed in the reverse) before main() runs. Destroying them frees host
// memory only: no renderer call is made at exit. The tables of renderer buffers
// and models are never destroyed: what they point at is never unloaded at exit,
// and so stays reachable (leak checkers see no leak).
std::string AssetPath;
std::unordered_map<int, Instance> Instances;
namespace World::Buffers {
std::unordered_map<int, R3D_InstanceBuffer>& Buffers = *new std::unordered_map<int, R3D_InstanceBuffer>;
std::unordered_map<int, SlotMap<Vector3>> Positions;
std::unordered_map<int, SlotMap<Quaternion>> Rotations;
std::unordered_map<int, SlotMap<Vector3>> Scales;
std::unordered_map<int, SlotMap<Color>> Colors;
std::unordered_map<int, SlotMap<Animation::Player>> Players;
std::unordered_map<int, R3D_Model>& Models = *new std::unordered_map<int, R3D_Model>;
std::unordered_map<std::string, int> Names;
int BufferCount = 0;
int InstanceCount = 0;
}  // namespace World::Buffers
std::unordered_set<const std::any*> LiveHandles;
int inst_count = 0;

void* gamelib = nullptr;
game_init_func game_init = nullptr;
game_tick_func game_tick = nullptr;
game_def_func_func game_def_func = nullptr;
game_def_op_func game_def_op = nullptr;
game_reload_func game_reload = nullptr;
game_def_keep_func game_def_keep = nullptr;

bool DialogsEnabled() {
    if (World::App::Headless()) return false;  // a server: nobody to click the box away
    const char* value = std::getenv("VANTOR_NO_DIALOG");
    return !(value && *value);
}

void Crash(std::string message, bool condition) {
    if (!condition) return;
    // The whole message, also past a zero byte a game-supplied word may hold.
    std::fprintf(stderr, "%s: ", kCrashCaption);
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    if (DialogsEnabled()) Platform::ShowErrorBox(kCrashCaption, message);
    std::exit(1);
}
