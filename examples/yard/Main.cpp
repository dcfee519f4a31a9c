// The yard: the sample level with physics. You walk as a capsule character with
// mouse look (WASD, Space jumps): the stairs and the ramp take you up, walls and
// pillars stop you, and a stack of crates waits by the start to be pushed over.
// The yellow pad at the top of the stairs is a trigger: stepping on it throws up
// sparks and (the first time) drops a rain of balls. Left click throws a crate where you look; R starts again.
#include <vantor/Game.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int kKeyW = 87, kKeyS = 83, kKeyA = 65, kKeyD = 68, kKeySpace = 32, kKeyR = 82;
constexpr float kWalk = 4.5f, kJump = 5.0f, kEye = 1.6f, kPixelsPerRadian = 400.0f;

Game::Character hero(0);
Game::Model pad(0);
Game::Particles sparks(0);
std::vector<Game::Model> thrown;
float yaw = 0, pitch = 0;
int crates = 0, balls = 0;
bool rained = false;

Game::Model Crate(Game::List at) {
    Game::Model crate("crate");
    crate.SetScale({0.8f, 0.8f, 0.8f});
    crate.SetColor(Game::Rgba(200, 130, 60));
    crate.MoveTo(at);
    crate.SetBody("Dynamic", "Box", 15);
    crate.SetFriction(0.8f);
    ++crates;
    return crate;
}

void Start() {
    hero.SetPosition({-2, -1, -5});
    yaw = 0, pitch = 0;
}

}  // namespace

VANTOR_EXPORT void init() {
    Game::LoadModel("base", "base.fbx", 1);
    Game::LoadModel("crate", "crate.obj", 256);
    Game::LoadModel("ball", "ball.obj", 64);
    Game::Model level("base");
    level.SetScale({1, 1, 1});
    level.SetColor(Game::Rgba(255, 255, 255));
    level.SetBody("Static", "Mesh", 0);  // the level's own triangles: stairs, ramp, walls and all

    // A stack by the start, three high.
    for (int row = 0; row < 3; ++row)
        for (int k = 0; k < 3 - row; ++k) Crate({3.0f + k * 0.85f + row * 0.42f, -0.6f + row * 0.8f, -5});

    // On the landing at the top of the stairs.
    pad = Game::Model("crate");
    pad.SetScale({2.4f, 0.4f, 2.4f});
    pad.SetColor(Game::Rgba(250, 220, 60, 120));
    pad.MoveTo({-2, 1.0f, 5.5f});
    pad.SetBody("Static", "Box", 0);
    pad.SetTrigger(true);

    // Sparks from the pad's middle, thrown up and falling back: a burst each time it is stepped on.
    sparks = Game::Particles::Create(400);
    sparks.SetParent(pad);
    sparks.SetPosition({0, 0.3f, 0});
    sparks.SetLifetime(0.5f, 1.1f);
    sparks.SetVelocity({0, 4.5f, 0}, 55);
    sparks.SetGravity({0, -9.8f, 0});
    sparks.SetColors(Game::Rgba(255, 230, 120), Game::Rgba(255, 90, 20, 0));
    sparks.SetSizes(0.09f, 0.02f);
    sparks.SetBlend("Additive");

    Game::SetSkyColors(Game::Rgba(70, 115, 185), Game::Rgba(190, 205, 220), Game::Rgba(70, 66, 60));
    Game::SetSkyLight(0.3f);
    Game::SetExposure(0.8f);  // the sun and the sky together: a little less, so the pale floor keeps its shading
    Game::SetAmbientOcclusion(0.5f, 1.0f);

    Game::Light sun("Global");
    sun.SetDirection({0.35f, -1, 0.5f});
    sun.SetEnergy(2.5f);
    sun.EnableShadow();
    sun.SetState(true);

    hero = Game::Character(0.3f, 1.8f);
    Start();
    Game::DisableCursor();
}

VANTOR_EXPORT void tick() {
    const Game::List mouse = Game::GetMouseDelta();
    yaw -= mouse[0] / kPixelsPerRadian;
    pitch = std::fmax(-1.4f, std::fmin(1.4f, pitch - mouse[1] / kPixelsPerRadian));
    const Game::List look{std::sin(yaw) * std::cos(pitch), std::sin(pitch), std::cos(yaw) * std::cos(pitch)};
    const Game::List forward{std::sin(yaw), 0, std::cos(yaw)}, right{-std::cos(yaw), 0, std::sin(yaw)};

    Game::List walk{0, 0, 0};
    auto add = [&](const Game::List& d, float sign) { for (int i = 0; i < 3; ++i) walk[i] += d[i] * sign; };
    if (Game::IsKeyDown(kKeyW)) add(forward, 1);
    if (Game::IsKeyDown(kKeyS)) add(forward, -1);
    if (Game::IsKeyDown(kKeyD)) add(right, 1);
    if (Game::IsKeyDown(kKeyA)) add(right, -1);
    const float length = std::sqrt(walk[0] * walk[0] + walk[2] * walk[2]);
    if (length > 0) walk = {walk[0] / length * kWalk, 0, walk[2] / length * kWalk};
    if (Game::IsKeyDown(kKeySpace)) walk[1] = kJump;
    hero.Move(walk);
    if (Game::IsKeyPressed(kKeyR) || hero.GetPosition()[1] < -20) Start();

    if (Game::IsMouseButtonPressed(0)) {
        const Game::List foot = hero.GetPosition();
        Game::Model crate = Crate({foot[0] + look[0], foot[1] + kEye + look[1], foot[2] + look[2]});
        crate.SetVelocity({look[0] * 12, look[1] * 12 + 2, look[2] * 12});
        thrown.push_back(crate);
    }

    for (const Game::PhysicsEvent& e : Game::GetPhysicsEvents()) {
        if (e.kind != "Enter" || e.a != pad.Id || e.b != hero.Id) continue;
        sparks.Burst(150);
        if (rained) continue;
        rained = true;  // once: the balls keep rolling about the yard
        for (int k = 0; k < 40; ++k) {
            Game::Model ball("ball");
            ball.SetScale({0.5f, 0.5f, 0.5f});
            ball.SetColor(Game::Rgba(60 + k * 4, 120, 230 - k * 3));
            ball.MoveTo({-6.0f + (k % 8) * 1.5f, 6.0f + k / 8, 2.0f + (k % 5)});
            ball.SetBody("Dynamic", "Sphere", 1);
            ball.SetRestitution(0.6f);
            ++balls;
        }
    }

    const Game::List foot = hero.GetPosition();
    Game::SetCameraPosition({foot[0], foot[1] + kEye, foot[2]});
    Game::SetCameraLookDirection(look);

    const std::string line = std::string(hero.IsOnGround() ? "on the ground" : "in the air") + "   crates " +
                             std::to_string(crates) + "   balls " + std::to_string(balls);
    Game::DrawText(line, 20, 44, 24, Game::Rgba(255, 255, 255));
    Game::DrawText("WASD walk, Space jump, click throws a crate, R restarts", 20, 74, 20, Game::Rgba(255, 255, 255, 180));
}
