// A game for the inspector tests, written with the SDK: a crate with a dynamic
// body resting on a floor, in the middle of the view, and a mouse look. It
// reports on stderr:
//   "inspector shown" / "inspector hidden"   when "IsInspectorShown" changes
//   "frame N dt D crate X Y Z"               every frame: "DeltaTime" and the crate's
//                                            position read through the entries
//   "look DX DY"                              mouse movement the game was handed
//   "enabled"                                 E was pressed: the game let F1 show it
#include <cstdio>

#include <vantor/Game.h>

namespace {

constexpr int Rgba(unsigned rgba) { return static_cast<int>(rgba); }

int frame = 0;
bool shown = false;
int crate = 0;

}  // namespace

VANTOR_EXPORT void init() {
    Game::SetWindowTitle("Vantor inspector test");
    Game::SetFPSVisible(false);
    Game::LoadModel("box", "box.obj", 4);
    Game::SetSkyColors(Rgba(0x4060A0FFu), Rgba(0xA0B0C0FFu), Rgba(0x404040FFu));
    Game::SetSkyLight(1.0f);
    Game::Model floor = Game::Model::Spawn("box", {0, -0.5f, 0});
    floor.SetName("floor");
    floor.SetScale({20, 1, 20});
    floor.SetColor(Rgba(0x808080FFu));
    floor.SetBody("Static", "Box", 0);
    Game::Model box = Game::Model::Spawn("box", {0, 0.5f, 0});
    crate = box.Id;
    box.SetName("crate");
    box.SetColor(Rgba(0xC08040FFu));
    box.SetBody("Dynamic", "Box", 1);
    Game::SetCameraPosition({0, 2.5f, -6});
    Game::SetCameraLookDirection({0, -2.0f, 6});  // the crate's middle at the middle of the window
    Game::DisableCursor();
}

VANTOR_EXPORT void tick() {
    ++frame;
    const bool now = Game::IsInspectorShown();
    if (now != shown) std::fprintf(stderr, now ? "inspector shown\n" : "inspector hidden\n");
    shown = now;
    const Game::List p = Game::Model(crate).Position();
    std::fprintf(stderr, "frame %d dt %g crate %.3f %.3f %.3f\n", frame, Game::DeltaTime(), p[0], p[1], p[2]);
    const Game::List look = Game::GetMouseDelta();
    if (look[0] != 0 || look[1] != 0) std::fprintf(stderr, "look %g %g\n", look[0], look[1]);
    Game::SetMousePosition({640, 400});  // re-anchored every frame, as the sample game's look does
    if (Game::IsKeyPressed(Game::Key::E)) {
        Game::SetInspectorEnabled(true);
        std::fprintf(stderr, "enabled\n");
    }
}
