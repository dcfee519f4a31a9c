// A game for the particle tests, built with the SDK and scripted by the environment
// variable VANTOR_PARTICLES_SCRIPT:
//
//   count   a stream of 200 a second living 0.5 s, and a burst of 100 living 0.3 s made
//           in init; reports "burst <alive> <seconds since>" every frame for 0.6 s, then
//           "stream <alive>" for 20 frames once the stream has run 1 s, then "counted".
//           Before the first frame: bad values handed to the entries, each refusal
//           written as "refused <what>", and an emitter destroyed then asked its count.
//   pixels  a stream of opaque green dots 0.3 m across flying 2 m/s along +x (spread 0)
//           from 1 m along its parent's x, the parent a CFrame at (-2, 0, 0). Once the
//           stream has run 0.6 s: "shown 1" with where on the screen its emitter and the
//           points 0.4 m before and behind it lie. With M held, the parent goes to
//           (2, 0, 0) turned half round about y, and 0.6 s later "shown 2" with the same
//           points, and the old ones. With C held, "ClearScene", then "cleared" with the
//           refusal of the count of the emitter that went with it.
// Every line ends with "tick <frame>" lines, one a frame.
#include <vantor/Call.h>
#include <vantor/Game.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>

using Game::List;

namespace {

std::string mode;
int frames = 0;
float since = 0;  // seconds stepped since init, summed as the engine steps them
Game::Particles stream(0), burst(0), flow(0);
Game::CFrame parent(0);
int phase = 1;
float phaseSince = 0;
bool cleared = false;

void Refused(const std::function<void()>& call) {
    try {
        call();
        std::fprintf(stderr, "accepted\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "refused %s\n", e.what());
    }
}

void BadValues() {
    Game::Particles p = Game::Particles::Create(10);
    Refused([&] { p.SetRate(-1); });
    Refused([&] { p.SetLifetime(0.5f, NAN); });
    Refused([&] { p.SetSizes(-0.1f, 1); });
    Refused([&] { p.SetVelocity({0, 1, 0}, 200); });
    Refused([&] { p.SetGravity({0, INFINITY, 0}); });
    Refused([&] { p.Burst(-5); });
    Refused([&] { p.SetBlend("Glow"); });
    Refused([] { Game::Particles::Create(0); });
    Refused([] { Game::Bridge::Call<int>("Particles.GetCount", Game::Root.Id); });
    p.Destroy();
    Refused([&] { p.GetCount(); });
}

void Print(const char* label, const List& world) {
    const List s = Game::GetWorldToScreen(world);
    std::fprintf(stderr, "%s %.1f %.1f\n", label, s[0], s[1]);
}

// The emitter and 0.4 m before and behind it along x, in the world.
void Report(const char* prefix, float emitterX) {
    Print((std::string(prefix) + " emitter").c_str(), List{emitterX, 0, 0});
    Print((std::string(prefix) + " minus").c_str(), List{emitterX - 0.4f, 0, 0});
    Print((std::string(prefix) + " plus").c_str(), List{emitterX + 0.4f, 0, 0});
}

void TickCount() {
    if (since < 0.6f) std::fprintf(stderr, "burst %d %.9g\n", burst.GetCount(), since);
    if (since >= 1.0f) {
        static int reported = 0;
        if (reported < 20) std::fprintf(stderr, "stream %d\n", stream.GetCount());
        if (++reported == 20) std::fprintf(stderr, "counted\n");
    }
}

void TickPixels() {
    phaseSince += Game::DeltaTime();
    if (phase == 1 && phaseSince >= 0.6f) {
        std::fprintf(stderr, "shown 1\n");
        Report("one", -1);
        if (Game::IsKeyDown(Game::Key::M)) {
            parent.MoveTo({2, 0, 0});
            parent.RotateTo({0, 3.14159265f, 0});
            phase = 2;
            phaseSince = 0;
        }
    } else if (phase == 2 && phaseSince >= 0.6f) {
        std::fprintf(stderr, "shown 2\n");
        Report("two", 1);
        Report("old", -1);
        if (Game::IsKeyDown(Game::Key::C)) {
            Game::ClearScene();
            phase = 3;
        }
    } else if (phase == 3 && !cleared) {
        Refused([] { flow.GetCount(); });
        std::fprintf(stderr, "cleared\n");
        cleared = true;
    }
}

}  // namespace

VANTOR_EXPORT void init() {
    const char* script = std::getenv("VANTOR_PARTICLES_SCRIPT");
    mode = script ? script : "count";
    Game::SetCameraPosition(List{0, 0, -8});
    Game::SetCameraLookDirection(List{0, 0, 1});
    Game::SetCameraFOV(45);
    if (mode == "count") {
        BadValues();
        stream = Game::Particles::Create(1000);
        stream.SetLifetime(0.5f, 0.5f);
        stream.SetRate(200);
        burst = Game::Particles::Create(1000);
        burst.SetLifetime(0.3f, 0.3f);
        burst.Burst(100);
        std::fprintf(stderr, "burst %d %.9g\n", burst.GetCount(), since);
    } else {
        parent = Game::CFrame();
        parent.MoveTo({-2, 0, 0});
        flow = Game::Particles::Create(2000);
        flow.SetParent(parent);
        flow.SetPosition({1, 0, 0});
        flow.SetVelocity({2, 0, 0}, 0);
        flow.SetLifetime(0.4f, 0.4f);
        flow.SetColors(Game::Rgba(0, 255, 0), Game::Rgba(0, 255, 0));
        flow.SetSizes(0.3f, 0.3f);
        flow.SetRate(400);
    }
}

VANTOR_EXPORT void tick() {
    ++frames;
    since += Game::DeltaTime();
    if (mode == "count") TickCount();
    else TickPixels();
    std::fprintf(stderr, "tick %d\n", frames);
}
