#include "Global.h"

#include <cstdio>
#include <cstdlib>

#include "ErrorBox.h"

Camera3D GameCamera = {};
std::string AssetPath;
void* gamelib = nullptr;
game_init_func game_init = nullptr;
game_tick_func game_tick = nullptr;
game_def_func_func game_def_func = nullptr;
game_def_op_func game_def_op = nullptr;

namespace {

bool DialogsDisabled() {
    const char* value = std::getenv("VANTOR_NO_DIALOG");
    return value && *value;
}

}  // namespace

void Crash(std::string message, bool condition) {
    if (!condition) return;
    std::fprintf(stderr, "%s: %s\n", kCrashCaption, message.c_str());
    std::fflush(stderr);
    if (!DialogsDisabled()) Platform::ShowErrorBox(kCrashCaption, message);
    std::exit(1);
}
