// A game for the input and window tests, written with the SDK. It runs at about
// 15 frames a second (its tick sleeps), so that a quick tap falls within one
// frame, and reports on stderr what the entries saw:
//   "ready"                        once the window is titled and a few frames ran
//   "pressed key K" / "released key K" / "pressed button B" / "released button B"
//   "char C"                       each code point "GetCharPressed" handed over
//   "fps hidden"                   F was pressed: the counter is hidden from the next frame
//   "frame N"                      every frame
//   "dt N D"                       the first three frames' "DeltaTime" (init takes a second)
// and, once, what every gamepad entry answers for pads 0, -1 and 99.
// VANTOR_INPUT_GAME=body gives a model left at scale 0 a body instead (fatal).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <vantor/Game.h>

namespace {

int frame = 0;

void Report(const char* what, int code) { std::fprintf(stderr, "%s %d\n", what, code); }

void ReportGamepads() {
    for (int pad : {0, -1, 99}) {
        std::fprintf(stderr, "gamepad %d: %d \"%s\" %d %d %d", pad, Game::IsGamepadAvailable(pad),
                     Game::GetGamepadName(pad).c_str(), Game::IsGamepadButtonDown(pad, Game::Gamepad::South),
                     Game::IsGamepadButtonPressed(pad, -3), Game::IsGamepadButtonReleased(pad, 400));
        for (int axis : {0, 1, 2, 3, 4, 5, -1, 9}) std::fprintf(stderr, " %g", Game::GetGamepadAxisMovement(pad, axis));
        std::fprintf(stderr, "\n");
    }
}

}  // namespace

VANTOR_EXPORT void init() {
    Game::SetWindowTitle("Vantor input test");
    Game::LoadModel("box", "box.obj", 4);
    // Two models left at scale 0: the host warns about the first one only.
    Game::Model first("box");
    first.SetName("forgotten");
    Game::Model second("box");
    Game::Model::Spawn("box", {0, 0, 0});  // shown: no warning about it
    const char* mode = std::getenv("VANTOR_INPUT_GAME");
    if (mode && std::string(mode) == "body") first.SetBody("Static", "Box", 0);
    Game::SetCameraPosition({0, 2, -6});
    Game::SetCameraLookDirection({0, -0.3f, 1});
    std::this_thread::sleep_for(std::chrono::seconds(1));  // a game loading: no frame's time
}

VANTOR_EXPORT void tick() {
    ++frame;
    if (frame <= 3) std::fprintf(stderr, "dt %d %g\n", frame, Game::DeltaTime());
    for (int key : {Game::Key::R, Game::Key::F}) {
        if (Game::IsKeyPressed(key)) Report("pressed key", key);
        if (Game::IsKeyReleased(key)) Report("released key", key);
    }
    if (Game::IsKeyPressed(Game::Key::F)) {
        Game::SetFPSVisible(false);
        std::fprintf(stderr, "fps hidden\n");
    }
    for (int button : {Game::Mouse::Left, Game::Mouse::Right}) {
        if (Game::IsMouseButtonPressed(button)) Report("pressed button", button);
        if (Game::IsMouseButtonReleased(button)) Report("released button", button);
    }
    for (int c = Game::GetCharPressed(); c; c = Game::GetCharPressed()) Report("char", c);
    if (frame == 5) {
        ReportGamepads();
        std::fprintf(stderr, "ready\n");
    }
    Report("frame", frame);
    std::this_thread::sleep_for(std::chrono::milliseconds(66));
}
