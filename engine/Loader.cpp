#include "Loader.h"

#include <cstdio>
#include <string>
#include <typeinfo>

#include "Module.h"
#include "Reload.h"
#include "World.h"

#define VANTOR_STRINGIZE_(x) #x
#define VANTOR_STRINGIZE(x) VANTOR_STRINGIZE_(x)

namespace {

template <class Fn>
Fn Bind(void* module, const char* name) {
    return reinterpret_cast<Fn>(Platform::FindExport(module, name));
}

// The same object for the engine and every module on its C++ runtime.
const void* EngineRuntime() { return &typeid(int); }

}  // namespace

#if defined(_WIN32)
const char* const kGameCompiler = "MinGW-w64 g++ " VANTOR_STRINGIZE(__GNUC__) " (posix threads) and its libstdc++-6.dll";
#else
const char* const kGameCompiler = "g++ " VANTOR_STRINGIZE(__GNUC__) " (or clang++) and the shared libstdc++.so.6";
#endif

GameExports FindGameExports(void* module) {
    GameExports game;
    game.handle = module;
    game.init = Bind<game_init_func>(module, "init");
    game.tick = Bind<game_tick_func>(module, "tick");
    game.define_func = Bind<game_def_func_func>(module, "define_func");
    game.define_op = Bind<game_def_op_func>(module, "define_op");
    game.reload = Bind<game_reload_func>(module, "reload");
    game.define_keep = Bind<game_def_keep_func>(module, "define_keep");
    // Modules built with the SDK say which runtime they run on; handing a
    // std::string to one on another runtime would corrupt it.
    const auto runtime = Bind<const void* (*)()>(module, "vantor_runtime");
    if (runtime && runtime() != EngineRuntime()) {
        game.missing = Fatal::ForeignRuntime;
        game.refusal = "it was built for another C++ runtime than the engine's";
        return game;
    }
    const struct {
        bool absent;
        Fatal message;
        const char* name;
    } required[] = {
        {!game.init, Fatal::NoInitExport, "init"},
        {!game.tick, Fatal::NoTickExport, "tick"},
        {!game.define_func, Fatal::NoDefineExport, "define_func"},
        {!game.define_op, Fatal::NoDefineExport, "define_op"},
    };
    for (const auto& r : required) {
        if (!r.absent) continue;
        game.missing = r.message;
        game.refusal = std::string("it has no \"") + r.name + "\" export";
        break;
    }
    return game;
}

GameExports BoundGame() {
    GameExports game;
    game.handle = gamelib;
    game.init = game_init;
    game.tick = game_tick;
    game.define_func = game_def_func;
    game.define_op = game_def_op;
    game.reload = game_reload;
    game.define_keep = game_def_keep;
    return game;
}

void BindGame(const GameExports& game) {
    gamelib = game.handle;
    game_init = game.init;
    game_tick = game.tick;
    game_def_func = game.define_func;
    game_def_op = game.define_op;
    game_reload = game.reload;
    game_def_keep = game.define_keep;
    if (game_def_keep) game_def_keep(Reload::KeepBlock);
}

void LoadGame() {
    // In reload mode the module runs from a private copy, so that a build can
    // overwrite game.dll (Windows refuses to while it is loaded).
    const std::string copy = Reload::Enabled() ? Reload::StartModule("game.dll") : std::string();
    Platform::ModuleLoad load = Platform::LoadModule(copy.empty() ? "game.dll" : copy.c_str());
    std::printf("%lu\n", load.error);
    std::fflush(stdout);
    if (!load.reason.empty()) std::fprintf(stderr, "game.dll: %s\n", load.reason.c_str());
    Fail(Fatal::ModuleNotFound, load.handle == nullptr);

    const GameExports game = FindGameExports(load.handle);
    gamelib = load.handle;
    if (game.missing) Fail(*game.missing, true, kGameCompiler);
    BindGame(game);

    World::Initialize();
    AssetPath = GetWorkingDirectory();
    ResetCamera();
}

void ResetCamera() {
    GameCamera.position = {0, 0, 0};
    GameCamera.target = {0, 0, 1};
    GameCamera.up = {0, 1, 0};
    GameCamera.fovy = 70;
}

void UnloadGame() {
    Platform::UnloadModule(gamelib);
    gamelib = nullptr;
    Reload::Finish();
}
