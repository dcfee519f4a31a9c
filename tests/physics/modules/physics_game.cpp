// A game for the physics tests in the real engine, on the sample game's level
// ("base.fbx", a static Mesh body), scripted by VANTOR_PHYSICS_SCRIPT:
//
//   drop     a red crate (a unit box.obj) falls from 5 m onto the floor, seen from
//            the front under a white light; writes "landed <seconds> <before>" (on
//            the simulation's clock) when it is drawn on the floor, and when the
//            frame before was, then once it rests "rest <x y z>", where on the
//            screen its face and the floor just in front of it lie, and its contacts.
//            VANTOR_PHYSICS_SLOW=1 sleeps in every tick, for about 20 frames a second.
//   walk     a character walks into a wall, up the stairs, into a crate it pushes
//            and through a trigger; writes what each part ended with. A ball
//            dropped meanwhile is destroyed as the game reads its landing contact.
//   bad:<c>  one piece of bad input per run: notmodel, twice, zero, nanmass (each
//            stops the game), clamp (a body sent off at 1e30 m/s; NaN refused)
#include <vantor/Call.h>
#include <vantor/Game.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>

using Game::List;

namespace {

constexpr float kFloor = -1.0f;
std::string mode;
bool slow = false;
float t = 0;
int frames = 0;

Game::Model crate(0), level(0), zone(0), ball(0);
bool ballGone = false;
Game::Character walker(0);
float landed = -1, dropped = -1, before = 0;
int contacts = 0;
float impulse = 0;
int phase = 0;
float phaseStart = 0;
int entered = 0, left = 0;

void Print(const char* label, const List& v) { std::fprintf(stderr, "%s %.4f %.4f %.4f\n", label, v[0], v[1], v[2]); }
void PrintScreen(const char* label, const List& world) {
    const List s = Game::GetWorldToScreen(world);
    std::fprintf(stderr, "%s %.1f %.1f\n", label, s[0], s[1]);
}

Game::Model NewCrate(List at, float size) {
    Game::Model m("crate");
    m.SetScale({size, size, size});
    m.SetColor(Game::Rgba(220, 30, 20));
    m.MoveTo(at);
    return m;
}

// Where the simulation put a model: its transform's position.
List Position(Game::Model& m) { return Game::Bridge::Call<List>("CFrame.Position", m.Get("CFrame")); }

void Bad(const std::string& which) {
    if (which == "notmodel") {
        Game::CFrame frame;
        Game::Bridge::Call<void>("Model.SetBody", frame.Id, std::string("Dynamic"), std::string("Box"), 1.0f);
    } else if (which == "twice") {
        crate = NewCrate({0, 3, 0}, 1);
        crate.SetBody("Dynamic", "Box", 1);
        crate.SetBody("Static", "Box", 0);
    } else if (which == "zero") {
        Game::Model unscaled("crate");  // a new model's scale is 0 until set
        unscaled.SetBody("Dynamic", "Box", 1);
    } else if (which == "nanmass") {
        crate = NewCrate({0, 3, 0}, 1);
        crate.SetBody("Dynamic", "Sphere", std::nanf(""));
    } else if (which == "clamp") {
        crate = NewCrate({0, 3, 0}, 1);
        crate.SetBody("Dynamic", "Box", 1);
        crate.SetVelocity({1e30f, 0, 0});
        try {
            crate.ApplyImpulse({0, std::nanf(""), 0});
        } catch (const std::exception& e) {
            std::fprintf(stderr, "refused: %s\n", e.what());
        }
    }
}

}  // namespace

VANTOR_EXPORT void init() {
    const char* script = std::getenv("VANTOR_PHYSICS_SCRIPT");
    mode = script ? script : "drop";
    slow = std::getenv("VANTOR_PHYSICS_SLOW") != nullptr;
    Game::LoadModel("level", "base.fbx", 1);
    Game::LoadModel("crate", "box.obj", 16);
    level = Game::Model("level");
    level.SetScale({1, 1, 1});
    level.SetColor(Game::Rgba(255, 255, 255));
    level.SetBody("Static", "Mesh", 0);
    Game::Light sun("Global");
    sun.SetDirection({0.2f, -1, 0.4f});
    sun.SetEnergy(3);
    sun.SetState(true);
    Game::SetCameraFOV(60);

    if (mode == "drop") {
        crate = NewCrate({14, kFloor + 0.5f + 5, -14}, 1);
        crate.SetBody("Dynamic", "Box", 2);
        dropped = Game::GetPhysicsTime();
        Game::SetCameraPosition({14, kFloor + 1.0f, -19});
        Game::SetCameraLookDirection({0, -0.12f, 1});
    } else if (mode == "walk") {
        walker = Game::Character(0.3f, 1.8f);
        walker.SetPosition({6, kFloor, -7});
        walker.Move({4, 0, 0});
        ball = NewCrate({20, kFloor + 2, -20}, 0.5f);  // destroyed by the game as its landing is read
        ball.SetBody("Dynamic", "Sphere", 1);
    } else if (mode.rfind("bad:", 0) == 0) {
        Bad(mode.substr(4));
    }
    std::fprintf(stderr, "ready\n");
}

VANTOR_EXPORT void tick() {
    ++frames;
    t += Game::DeltaTime();  // the time the physics stepped by this frame
    if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(50));

    if (mode == "drop") {
        const List at = Position(crate);
        for (const Game::PhysicsEvent& e : Game::GetPhysicsEvents())
            if (e.kind == "Contact" && ((e.a == crate.Id && e.b == level.Id) || (e.b == crate.Id && e.a == level.Id))) {
                ++contacts;
                impulse += e.impulse;
            }
        // Timed by the simulation's clock: a long frame (a busy machine) drops steps beyond 8.
        const float now = Game::GetPhysicsTime() - dropped;
        if (landed < 0 && at[1] <= kFloor + 0.5f + 0.02f) {
            landed = now;
            std::fprintf(stderr, "landed %.4f %.4f\n", landed, before);  // and where the frame before it was
        }
        before = now;
        if (t > 3.5f && frames % 5 == 0) {
            Print("rest", at);
            PrintScreen("face", {at[0], at[1], at[2] - 0.5f});
            PrintScreen("floor", {at[0], kFloor, at[2] - 0.8f});
            PrintScreen("under", {at[0], kFloor - 0.08f, at[2] - 0.5f});
            std::fprintf(stderr, "contacts %d %.3f\n", contacts, impulse);
            const Game::PhysicsHit down = Game::PhysicsRaycast({at[0], 5, at[2]}, {0, -1, 0}, 20);
            std::fprintf(stderr, "ray %d %.4f %d\n", down.id == crate.Id, down.point[1], down.hit);
        }
    } else if (mode == "walk") {
        for (const Game::PhysicsEvent& e : Game::GetPhysicsEvents()) {
            if (e.a == zone.Id && e.b == walker.Id) (e.kind == "Enter" ? entered : left) += 1;
            if (e.kind == "Contact" && (e.a == ball.Id || e.b == ball.Id) && !ballGone) {
                Game::Bridge::Call<void>("Instance.Destroy", ball.Id);  // while the events are being read
                ballGone = true;
            }
        }
        const float in = t - phaseStart;
        if (phase == 0 && in > 2) {
            Print("wall", walker.GetPosition());
            walker.SetPosition({-2, kFloor, -2});
            walker.Move({0, 0, 3});
            phase = 1, phaseStart = t;
        } else if (phase == 1 && in > 2.6f) {
            const List at = walker.GetPosition();
            std::fprintf(stderr, "stairs %.4f %.4f %d\n", at[1], at[2], walker.IsOnGround());
            crate = NewCrate({14, kFloor + 0.4f, 5}, 0.8f);
            crate.SetBody("Dynamic", "Box", 20);
            zone = NewCrate({14, kFloor + 1, 12}, 2);
            zone.SetColor(Game::Rgba(40, 200, 60, 80));
            zone.SetBody("Static", "Box", 0);
            zone.SetTrigger(true);
            walker.SetPosition({14, kFloor, 3});
            walker.Move({0, 0, 2});
            phase = 2, phaseStart = t;
        } else if (phase == 2 && in > 3) {
            std::fprintf(stderr, "push %.4f %.4f\n", Position(crate)[2], walker.GetPosition()[2]);
            Game::Bridge::Call<void>("Instance.Destroy", crate.Id);  // its body goes with it, mid-walk
            phase = 3, phaseStart = t;
        } else if (phase == 3 && in > 6) {
            std::fprintf(stderr, "trigger %d %d at %.3f\n", entered, left, walker.GetPosition()[2]);
            std::fprintf(stderr, "ball %d %d\n", ballGone, ball.HasBody());
            phase = 4;
        }
        if (phase == 4 && frames % 5 == 0) std::fprintf(stderr, "done\n");
    } else if (mode == "bad:clamp" && Game::GetPhysicsTime() > 2 && frames % 5 == 0) {
        // Simulated time, not frame time: a slow frame steps at most 8 times, so on a
        // busy machine the body would not yet have flown out of the world's bounds.
        Print("clamped", Position(crate));
    }
}
