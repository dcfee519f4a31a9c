// The engine host: window, renderer, the game module, and the frame loop.
#include <cstdarg>
#include <cstdio>
#include <cxxabi.h>     // Required for: naming the type of an exception that escaped the game
#include <exception>
#include <memory>
#include <string>
#include <typeinfo>

#include "Global.h"
#include "Loader.h"
#include "Messages.h"
#include "World.h"
#include "r3d.h"
#include "raylib.h"
#include "resource_dir.h"

namespace {

// Standard output carries one line only (the module loader's number): raylib's log goes to stderr.
void LogToStderr(int level, const char* text, va_list args) {
    static const char* const kLevels[] = {"", "TRACE", "DEBUG", "INFO", "WARNING", "ERROR", "FATAL", ""};
    std::fprintf(stderr, "%s: ", kLevels[level >= 0 && level < 8 ? level : 0]);
    std::vfprintf(stderr, text, args);
    std::fputc('\n', stderr);
}

std::string Demangle(const char* name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> readable(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && readable ? readable.get() : name;
}

// Runs one call into the game; whatever escapes it is reported and is fatal.
template <class Fn>
void Guarded(Fn call, const char* failure) {
    try {
        call();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s %s: %s\n", failure, Demangle(typeid(e).name()).c_str(), e.what());
        Crash(failure, true);
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        std::fprintf(stderr, "%s exception of type %s\n", failure, type ? Demangle(type->name()).c_str() : "unknown");
        Crash(failure, true);
    }
}

}  // namespace

int main() {
    SetTraceLogCallback(LogToStderr);
    SetConfigFlags(FLAG_WINDOW_HIGHDPI | FLAG_VSYNC_HINT);
    InitWindow(1280, 800, "Vantor v0.0.0");
    InitAudioDevice();  // no sound device is not an error: the engine plays no sound of its own
    R3D_Init(1280, 800);
    SearchAndSetResourceDir("assets");
    LoadGame();

    Guarded([] { game_init(); }, FatalText(Fatal::InitFailed));

    while (!WindowShouldClose()) {
        BeginDrawing();
        R3D_Begin(GameCamera);
        World::Buffers::Draw();
        R3D_End();
        Guarded([] { game_tick(); }, FatalText(Fatal::TickFailed));
        DrawFPS(10, 10);
        EndDrawing();
    }

    UnloadGame();
    CloseAudioDevice();
    CloseWindow();
    return 0;
}
