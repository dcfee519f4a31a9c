// "Chimes": the small game docs/first-game.md builds step by step. Walk the
// floor, ring all eight chimes before the minute is out, push the crates out
// of the way; R starts again. Every asset comes from the SDK's starter assets.
//
//   keys: W A S D walk, the mouse turns the camera, Space jumps, R restarts, Escape quits
//   gamepad: the left stick walks, the right one turns, South jumps, Start restarts
#include <vantor/Game.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// -- Step 1: the numbers the game is made of ---------------------------------------
constexpr int kPickups = 8;
constexpr float kTimeLimit = 60;     // seconds to ring them all
constexpr float kWalkSpeed = 4;      // metres a second
constexpr float kJumpSpeed = 5;      // upward speed of a jump
constexpr float kMouseTurn = 0.005f; // radians per pixel of mouse movement
constexpr float kStickTurn = 2.5f;   // radians a second at full tilt
constexpr float kCameraDistance = 6;

enum class State { Playing, Won, Lost };

// What the level holds. Handles are only ids: after ClearScene they name
// nothing, and Build() makes new ones.
struct Level {
    Game::Character hero{0};
    std::vector<Game::Model> pickups;  // those still to ring
    int score = 0;
    float timeLeft = kTimeLimit;
    State state = State::Playing;
};
Level level;
float yaw = 0, pitch = 0.3f;  // where the camera looks from, behind the hero

// -- Step 2: building the level ----------------------------------------------------
void Build() {
    level = Level{};
    Game::Model floor = Game::Model::Spawn("floor");  // scale 1, opaque white: visible at once
    floor.SetName("floor");
    floor.SetBody("Static", "Mesh", 0);                // its triangles, for walking on

    level.hero = Game::Character(0.3f, 1.8f);          // radius and height; its position is its feet
    level.hero.SetName("hero");
    level.hero.SetPosition({0, 0, 0});

    // Pickups: balls that nothing bumps into, which report who enters them.
    // A trigger is a "Static" body with SetTrigger(true).
    for (int i = 0; i < kPickups; ++i) {
        Game::Model ball = Game::Model::Spawn("ball", {i % 2 ? 0.3f : -0.3f, 0.9f, 3.0f + 2.0f * i});
        ball.SetName("pickup " + std::to_string(i + 1));
        ball.SetScale({0.5f, 0.5f, 0.5f});
        ball.SetColor(Game::Rgba(255, 200, 40));
        ball.SetBody("Static", "Sphere", 0);
        ball.SetTrigger(true);
        level.pickups.push_back(ball);
    }

    // Crates the hero pushes: "Dynamic" bodies, moved by the simulation.
    for (int i = 0; i < 3; ++i) {
        Game::Model crate = Game::Model::Spawn("crate", {i % 2 ? -2.5f : 2.5f, 0.5f, 5.0f + 5.0f * i});
        crate.SetName("crate " + std::to_string(i + 1));
        crate.SetColor(Game::Rgba(200, 140, 70));
        crate.SetBody("Dynamic", "Box", 20);
    }

    // Two figures playing the starter figure's clips, "idle" and "walk".
    const char* clips[] = {"idle", "walk"};
    for (int i = 0; i < 2; ++i) {
        Game::Model figure = Game::Model::Spawn("figure", {i ? 4.0f : -4.0f, 0, 8});
        figure.SetName(std::string("figure ") + clips[i]);
        figure.RotateTo({0, i ? -1.2f : 1.2f, 0});
        figure.PlayAnimation(clips[i], true);
    }

    Game::Light sun("Global");
    sun.SetName("sun");
    sun.SetDirection({-0.4f, -1, 0.6f});
    sun.SetEnergy(2.5f);
    sun.EnableShadow();
    sun.SetShadowUpdateMode("Continuous");
    sun.SetState(true);

    const Game::List at = level.hero.GetPosition();
    std::fprintf(stderr, "level built: %zu instances, hero at (%g, %g, %g)\n", Game::Root.GetChildren().size(), at[0],
                 at[1], at[2]);
}

// -- Step 3: walking and the camera --------------------------------------------------
void Walk(float dt) {
    const Game::List mouse = Game::GetMouseDelta();
    yaw -= mouse[0] * kMouseTurn;
    pitch = std::fmin(1.2f, std::fmax(0.05f, pitch + mouse[1] * kMouseTurn));
    float forward = 0, right = 0;
    if (Game::IsKeyDown(Game::Key::W)) forward += 1;
    if (Game::IsKeyDown(Game::Key::S)) forward -= 1;
    if (Game::IsKeyDown(Game::Key::D)) right += 1;
    if (Game::IsKeyDown(Game::Key::A)) right -= 1;
    bool jump = Game::IsKeyDown(Game::Key::Space);
    if (Game::IsGamepadAvailable(0)) {
        forward -= Game::GetGamepadAxisMovement(0, Game::Gamepad::LeftY);  // a stick's y is down
        right += Game::GetGamepadAxisMovement(0, Game::Gamepad::LeftX);
        yaw -= Game::GetGamepadAxisMovement(0, Game::Gamepad::RightX) * kStickTurn * dt;
        jump = jump || Game::IsGamepadButtonDown(0, Game::Gamepad::South);
    }
    // Walk the way the camera faces, on the ground: yaw 0 looks along +z.
    const Game::List ahead = Game::Camera::LookVector(yaw, 0);
    const float length = std::fmax(1.0f, std::hypot(forward, right));
    const float vx = (ahead[0] * forward - ahead[2] * right) / length * kWalkSpeed;
    const float vz = (ahead[2] * forward + ahead[0] * right) / length * kWalkSpeed;
    level.hero.Move({vx, jump && level.hero.IsOnGround() ? kJumpSpeed : 0, vz});

    const Game::List feet = level.hero.GetPosition();
    Game::Camera::Orbit({feet[0], feet[1] + 1.5f, feet[2]}, kCameraDistance, yaw, -pitch);
}

// -- Step 4: pickups ring when the hero walks into them -------------------------------
void Collect() {
    for (const Game::PhysicsEvent& e : Game::GetPhysicsEvents()) {
        if (e.kind != "Enter" || e.b != level.hero.Id) continue;  // a: the trigger, b: who entered
        for (std::size_t i = 0; i < level.pickups.size(); ++i) {
            if (level.pickups[i].Id != e.a) continue;
            Game::PlaySound("chime");
            level.pickups[i].Destroy();  // its body goes with it
            level.pickups.erase(level.pickups.begin() + static_cast<long>(i));
            ++level.score;
            std::fprintf(stderr, "rang %d of %d\n", level.score, kPickups);
            break;
        }
    }
}

// -- Step 5: what is drawn over the scene ----------------------------------------------
void DrawHud() {
    const int white = Game::Rgba(255, 255, 255);
    Game::DrawTextShadowed("Chimes: " + std::to_string(level.score) + " / " + std::to_string(kPickups), 20, 20, 32,
                           white);
    Game::DrawTextShadowed("Time: " + std::to_string(static_cast<int>(std::ceil(level.timeLeft))), 20, 60, 32, white);
    if (level.state == State::Won) Game::DrawTextCentered("All eight rang! You win", 320, 64, Game::Rgba(255, 220, 80));
    if (level.state == State::Lost) Game::DrawTextCentered("Time is up", 320, 64, Game::Rgba(255, 90, 70));
    if (level.state != State::Playing) Game::DrawTextCentered("Press R to play again", 410, 32, white);
}

}  // namespace

// -- Step 6: the engine's three calls --------------------------------------------------
VANTOR_EXPORT void init() {
    Game::SetWindowTitle("Chimes");
    Game::SetFPSVisible(false);
    Game::LoadModel("floor", "floor.glb", 1);
    Game::LoadModel("ball", "ball.obj", kPickups);
    Game::LoadModel("crate", "crate.obj", 8);
    Game::LoadModel("figure", "figure.glb", 2);
    Game::LoadSound("chime", "chime.wav");
    Game::LoadMusicStream("music", "hum.wav");
    Game::SetMusicVolume("music", 0.3f);
    Game::PlayMusicStream("music");
    Game::DisableCursor();
    Build();
}

VANTOR_EXPORT void tick() {
    const float dt = Game::DeltaTime();
    if (Game::IsKeyPressed(Game::Key::R) || Game::IsGamepadButtonPressed(0, Game::Gamepad::Start)) {
        Game::ClearScene();  // every instance goes; the models and sounds stay loaded
        Build();
        std::fprintf(stderr, "restarted\n");
    }
    if (level.state == State::Playing) {
        Walk(dt);
        Collect();
        level.timeLeft = std::fmax(0.0f, level.timeLeft - dt);
        if (level.score == kPickups) level.state = State::Won, std::fprintf(stderr, "won\n");
        else if (level.timeLeft == 0) level.state = State::Lost, std::fprintf(stderr, "lost\n");
    } else {
        level.hero.Move({0, 0, 0});
    }
    DrawHud();
}
