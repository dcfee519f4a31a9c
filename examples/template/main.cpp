// A starting point for a game: a few crates spin on a floor under a shadowed
// spot light, the first one chimes at every full turn (a sound placed on it,
// heard from where it is), their count shows in a font of the game's own, the
// mouse (or a gamepad's right stick) moves the camera around them, Escape quits. Played
// with `cmake --build build --target run_mygame`, a rebuild in another
// terminal swaps the new code in: reload() finds the crates again by name and
// the spin carries on from where it was.
#include <vantor/Game.h>

#include <cmath>
#include <string>

namespace {

constexpr int kCrates = 5;
constexpr float kPixelsPerRadian = 200.0f;
constexpr float kStickTurn = 2.0f;  // radians a second with a gamepad's stick all the way over

Game::Model crates[kCrates] = {Game::Model(0), Game::Model(0), Game::Model(0), Game::Model(0), Game::Model(0)};
Game::Sound chime(0);

// Kept in the engine across rebuilds of game.dll (see Game::Keep).
struct View {
    float spin = 0, yaw = 0, pitch = 0.45f;
};
View& Kept() {
    static View& view = Game::Keep<View>("view");
    return view;
}

std::string CrateName(int i) { return "crate " + std::to_string(i + 1); }

}  // namespace

VANTOR_EXPORT void init() {
    Game::LoadModel("crate", "crate.obj", 16);  // from the game's assets folder

    Game::Model floor("crate");
    floor.SetScale({12, 0.2f, 12});
    floor.MoveTo({0, -0.6f, 0});
    floor.SetColor(static_cast<int>(0x8A9099FFu));
    for (int i = 0; i < kCrates; ++i) {
        crates[i] = Game::Model("crate");
        crates[i].SetName(CrateName(i));
        crates[i].SetScale({0.8f, 0.8f, 0.8f});
        crates[i].SetColor(static_cast<int>(0xD08030FFu));
        const float angle = 2 * 3.14159265f * i / kCrates;
        crates[i].MoveTo({2.5f * std::cos(angle), 0, 2.5f * std::sin(angle)});
    }

    // A day sky behind the yard, lighting what the spot light does not reach.
    Game::SetSkyColors(static_cast<int>(0x3C64A0FFu), static_cast<int>(0x96A5B9FFu), static_cast<int>(0x32302EFFu));
    Game::SetSkyLight(0.5f);

    Game::Light sun("Spot");
    sun.SetPosition({0, 6, -2});
    sun.SetDirection({0, -1, 0.3f});
    sun.SetRange(20);
    sun.SetEnergy(7);
    sun.EnableShadow();
    sun.SetShadowUpdateMode("Continuous");
    sun.SetState(true);

    // A sound on the first crate: parented to it, it follows it round.
    Game::LoadSound("chime", "chime.wav");
    chime = Game::Sound("chime");
    chime.SetName("chime");
    chime.SetParent(crates[0]);
    chime.SetRange(3, 30);

    // A font from the assets folder (DejaVu Sans Bold: its licence lies beside it).
    Game::LoadFont("title", "fonts/DejaVuSans-Bold.ttf");

    Game::DisableCursor();  // relative mouse movement for the camera
}

// A rebuilt game.dll took over: the scene is as the old one left it.
VANTOR_EXPORT void reload() {
    for (int i = 0; i < kCrates; ++i) crates[i] = Game::Root.GetChild<Game::Model>(CrateName(i));
    chime = crates[0].GetChild<Game::Sound>("chime");
}

VANTOR_EXPORT void tick() {
    View& view = Kept();
    float &spin = view.spin, &yaw = view.yaw, &pitch = view.pitch;
    const float dt = Game::DeltaTime();
    const float turn = 2 * 3.14159265f;
    if (std::floor((spin + dt) / turn) > std::floor(spin / turn)) chime.Play();
    spin += dt;
    for (Game::Model& crate : crates) crate.RotateTo({0, spin, 0});

    const Game::List mouse = Game::GetMouseDelta();
    yaw += mouse[0] / kPixelsPerRadian;  // moving right carries the camera round to the right
    pitch += mouse[1] / kPixelsPerRadian;
    if (Game::IsGamepadAvailable(0)) {  // names of keys, buttons and axes: <vantor/Keys.h>
        yaw += Game::GetGamepadAxisMovement(0, Game::Gamepad::RightX) * kStickTurn * dt;
        pitch += Game::GetGamepadAxisMovement(0, Game::Gamepad::RightY) * kStickTurn * dt;
    }
    pitch = std::fmin(1.4f, std::fmax(0.05f, pitch));
    // 8 units from the centre, above it, looking at it.
    Game::Camera::Orbit({0, 0, 0}, 8, yaw, -pitch);

    // Drawn after the scene, so it lies over it; the frame-rate counter stays at the top left.
    const std::string count = "Crates: " + std::to_string(kCrates);
    Game::DrawTextEx("title", count, {20, 44}, 32, 0, Game::Rgba(0, 0, 0, 120));  // a shadow
    Game::DrawTextEx("title", count, {18, 42}, 32, 0, Game::Rgba(255, 236, 200));
}
