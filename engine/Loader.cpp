#include "Loader.h"

#include <cstdio>

#include "Global.h"
#include "Messages.h"
#include "Module.h"
#include "World.h"

namespace {

template <class Fn>
Fn Bind(const char* name) {
    return reinterpret_cast<Fn>(Platform::FindExport(gamelib, name));
}

}  // namespace

void LoadGame() {
    Platform::ModuleLoad load = Platform::LoadModule("game.dll");
    gamelib = load.handle;
    std::printf("%lu\n", load.error);
    std::fflush(stdout);
    if (!load.reason.empty()) std::fprintf(stderr, "game.dll: %s\n", load.reason.c_str());
    Fail(Fatal::ModuleNotFound, gamelib == nullptr);

    game_init = Bind<game_init_func>("init");
    Fail(Fatal::NoInitExport, game_init == nullptr);
    game_tick = Bind<game_tick_func>("tick");
    Fail(Fatal::NoTickExport, game_tick == nullptr);
    game_def_func = Bind<game_def_func_func>("define_func");
    Fail(Fatal::NoDefineExport, game_def_func == nullptr);
    game_def_op = Bind<game_def_op_func>("define_op");
    Fail(Fatal::NoDefineExport, game_def_op == nullptr);

    World::Initialize();
    AssetPath = GetWorkingDirectory();

    GameCamera.position = {0, 0, 0};
    GameCamera.target = {0, 0, 1};
    GameCamera.up = {0, 1, 0};
    GameCamera.fovy = 70;
}

void UnloadGame() {
    Platform::UnloadModule(gamelib);
    gamelib = nullptr;
}
