// Game modules for the reload tests, built with the SDK in several versions
// that a test puts in place of one another while the engine runs:
//   VERSION "name"   the name its lines give
//   COLOR 0x...      the colour it gives the box every tick
//   WITH_RELOAD      exports reload(), so the scene is kept
//   RELOAD_THROWS    its reload() throws
//   TICK_THROWS      its ticks throw
//   NO_TICK          exports no tick
// init loads "box.obj" from the assets folder as the buffer "box", puts one
// box 5 units in front of the camera under a light, and each tick casts a ray
// at it from the camera. Lines on stderr:
//   init <version> children=<n>             n: Root's children when init starts
//   reload <version> box=<id>
//   tick <version> n=<n> ticks=<kept> box=<id> ray=<distance>
// on the module's first 3 ticks, then every 30th; n counts the module's own
// ticks, "ticks" is a Game::Keep counter that carries on across reloads.
#include <vantor/Game.h>

#include <cstdio>
#include <stdexcept>
#include <unordered_map>

namespace {

[[maybe_unused]] Game::Model Box() { return Game::Root.GetChild<Game::Model>("box"); }

int RootChildren() {
    std::any children = bridge_ops.at("Instance.GetChildren")({1});
    return static_cast<int>(std::any_cast<std::unordered_map<std::string, int>>(children).size());
}

}  // namespace

VANTOR_EXPORT void init() {
    std::fprintf(stderr, "init %s children=%d\n", VERSION, RootChildren());
    Game::LoadModel("box", "box.obj", 4);
    Game::Model box("box");
    box.SetName("box");
    box.SetScale({1, 1, 1});
    box.MoveTo({0, 0, 0});
    box.SetColor(static_cast<int>(COLOR));

    Game::Light sun("Global");
    sun.SetDirection({0.3f, -0.2f, 1});
    sun.SetEnergy(2);
    sun.SetSpecular(0);
    sun.SetState(true);

    Game::SetCameraPosition({0, 0, 0});
    Game::SetCameraLookDirection({0, 0, 1});
}

#ifdef WITH_RELOAD
VANTOR_EXPORT void reload() {
    std::fprintf(stderr, "reload %s box=%d\n", VERSION, Box().Id);
#ifdef RELOAD_THROWS
    throw std::runtime_error("this reload() refuses");
#endif
}
#endif

#ifndef NO_TICK
VANTOR_EXPORT void tick() {
    static int mine = 0;
    int& ticks = Game::Keep<int>("ticks");
    ++ticks;
#ifdef TICK_THROWS
    throw std::logic_error("this tick() went wrong");
#endif
    Game::Model box = Box();
    box.SetColor(static_cast<int>(COLOR));
    if (++mine <= 3 || mine % 30 == 0) {
        Game::RaycastSingle ray(box, {0, 0, 0}, {0, 0, 1});
        std::fprintf(stderr, "tick %s n=%d ticks=%d box=%d ray=%.3f\n", VERSION, mine, ticks, box.Id,
                     ray.hit ? ray.distance : -1.0f);
    }
}
#endif
