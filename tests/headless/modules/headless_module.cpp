// The game module of the headless tests: what a server's game does (a model for
// ray tests and a falling body, a sound, particles) and what a windowed game
// does that must do nothing without a window (drawing, the pointer, the title,
// lights, the sky). It reports on stderr, one fact per line:
//   ray <label> hit=<0|1> distance=<d> point=<x,y,z> normal=<x,y,z>
//   neutral mouse=<x>,<y> delta=<x>,<y> key=<0|1> next=<key> hidden=<0|1> pad=<0|1>
//           screen=<w>x<h> toscreen=<x>,<y>
//   measure <width of "Headless" at 20 px>
//   sound length=<s> playing=<0|1>
//   ticks <n> seconds <sum of DeltaTime over them> first <the first DeltaTime>
//         crate <its height> playing <0|1> particles <alive>        (every 30 ticks)
//   version <VERSION>                                                (first, in init)
// With HEADLESS_THROW_AT=<n> in the environment its tick n throws.
#include <any>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

using game_func = std::function<void(std::vector<std::any>)>;
using game_op = std::function<std::any(std::vector<std::any>)>;
using List = std::vector<float>;

#define EXPORT extern "C" __attribute__((visibility("default")))
#ifndef VERSION
#define VERSION 1  // a second build says 2: the reload test tells them apart
#endif

static std::unordered_map<std::string, game_func> funcs;
static std::unordered_map<std::string, game_op> ops;

EXPORT void define_func(std::string name, game_func f) { funcs[name] = f; }
EXPORT void define_op(std::string name, game_op f) { ops[name] = f; }

namespace {

template <class R>
R Op(const std::string& name, std::vector<std::any> args = {}) {
    return std::any_cast<R>(ops.at(name)(std::move(args)));
}
void Func(const std::string& name, std::vector<std::any> args = {}) { funcs.at(name)(std::move(args)); }
std::string S(const char* text) { return text; }
int Rgba(unsigned int packed) { return static_cast<int>(packed); }

int target = 0, crate = 0, sparks = 0;
int ticks = 0, throwAt = 0;
double seconds = 0;
float first = -1;

void Ray(const char* label, List from, List direction) {
    auto hit = Op<std::vector<std::any>>("RaycastSingle", {target, from, direction});
    List point = std::any_cast<List>(hit.at(2)), normal = std::any_cast<List>(hit.at(3));
    std::fprintf(stderr, "ray %s hit=%d distance=%.4f point=%.4f,%.4f,%.4f normal=%.4f,%.4f,%.4f\n", label,
                 std::any_cast<bool>(hit.at(0)) ? 1 : 0, std::any_cast<float>(hit.at(1)), point.at(0), point.at(1),
                 point.at(2), normal.at(0), normal.at(1), normal.at(2));
}

int Place(const char* buffer, List position) {
    const int id = Op<int>("Instance.New", {S("Model"), S(buffer)});
    Func("CFrame.MoveTo", {Op<std::any*>("Instance.Get", {id, S("CFrame")}), position});
    Func("Model.SetScale", {id, List{1, 1, 1}});
    Func("Model.SetColor", {id, Rgba(0xC08040FFu)});
    return id;
}

// Everything a window would show or take, asked for as a windowed game would.
void UseTheWindow() {
    Func("SetWindowTitle", {S("Headless")});
    Func("SetMouseCursor", {3});
    Func("DisableCursor");
    Func("EnableCursor");
    Func("ShowCursor");
    // Last, so that what they would leave behind in a window is what init reports.
    Func("SetMousePosition", {List{100, 50}});
    Func("SetMouseOffset", {List{7, 9}});
    Func("HideCursor");
    Func("SetFPSVisible", {false});
    Func("SetCameraPosition", {List{0, 2, -10}});
    Func("SetCameraLookDirection", {List{0, 0, 1}});
    const int sun = Op<int>("Instance.New", {S("Light"), S("Global")});
    Func("Light.SetDirection", {sun, List{0.2f, -1, 0.3f}});
    Func("Light.SetState", {sun, true});
    Func("Light.EnableShadow", {sun});
    Func("SetSkyColors", {Rgba(0x4080C0FFu), Rgba(0xC0D0E0FFu), Rgba(0x403830FFu)});
    Func("SetFog", {Rgba(0x808080FFu), 0.02f, 0.1f});
    Func("SetBloom", {0.5f, 1.0f});
    Func("SetAmbientOcclusion", {0.5f, 1.0f});
}

void Draw() {
    Func("DrawText", {S("Headless"), 10, 10, 20, Rgba(0xFFFFFFFFu)});
    Func("DrawTextEx", {S("default"), S("over the scene"), List{10, 40}, 18.0f, 1.0f, Rgba(0xFFFFFFFFu)});
    Func("DrawRectangle", {10, 70, 200, 20, Rgba(0x000000A0u)});
    Func("DrawRectangleRounded", {List{10, 100, 200, 30}, 0.5f, Rgba(0x20202080u)});
    Func("DrawCircle", {List{400, 300}, 12.0f, Rgba(0xFF0000FFu)});
    Func("DrawLine", {List{0, 0}, List{640, 400}, 2.0f, Rgba(0x00FF00FFu)});
}

}  // namespace

EXPORT void init() {
    std::fprintf(stderr, "version %d\n", VERSION);
    if (const char* at = std::getenv("HEADLESS_THROW_AT")) throwAt = std::atoi(at);
    Func("LoadModel", {S("box"), S("box.obj"), 8});
    target = Place("box", {5, 0, 0});
    Ray("above", {5, 10, 0}, {0, -1, 0});
    Ray("beside", {0, 10, 0}, {0, -1, 0});
    Ray("side", {-5, 0.5f, 0}, {1, 0, 0});

    crate = Place("box", {0, 20, 0});
    Func("Model.SetBody", {crate, S("Dynamic"), S("Box"), 1.0f});

    sparks = Op<int>("Instance.New", {S("Particles"), 100});
    Func("Particles.SetLifetime", {sparks, 60.0f, 60.0f});
    Func("Particles.Burst", {sparks, 25});

    UseTheWindow();
    const List mouse = Op<List>("GetMousePosition"), delta = Op<List>("GetMouseDelta");
    const List onScreen = Op<List>("GetWorldToScreen", {List{5, 0, 0}});
    std::fprintf(stderr,
                 "neutral mouse=%g,%g delta=%g,%g key=%d next=%d hidden=%d pad=%d screen=%dx%d toscreen=%g,%g\n",
                 mouse.at(0), mouse.at(1), delta.at(0), delta.at(1), Op<bool>("IsKeyDown", {87}) ? 1 : 0,
                 Op<int>("GetKeyPressed"), Op<bool>("IsCursorHidden") ? 1 : 0,
                 Op<bool>("IsGamepadAvailable", {0}) ? 1 : 0, Op<int>("GetScreenWidth"), Op<int>("GetScreenHeight"),
                 onScreen.at(0), onScreen.at(1));
    std::fprintf(stderr, "measure %d\n", Op<int>("MeasureText", {S("Headless"), 20}));

    Func("LoadSound", {S("tone"), S("tone.wav")});
    Func("PlaySound", {S("tone")});
    std::fprintf(stderr, "sound length=%.3f playing=%d\n", Op<float>("GetSoundLength", {S("tone")}),
                 Op<bool>("IsSoundPlaying", {S("tone")}) ? 1 : 0);
    std::fprintf(stderr, "init done\n");
}

EXPORT void tick() {
    const float dt = Op<float>("DeltaTime");
    if (first < 0) first = dt;
    seconds += dt;
    ++ticks;
    if (ticks == throwAt) throw std::runtime_error("the test game threw on purpose");
    Draw();
    if (ticks % 30 != 0) return;
    const List crateAt = Op<List>("CFrame.Position", {Op<std::any*>("Instance.Get", {crate, S("CFrame")})});
    std::fprintf(stderr, "ticks %d seconds %.6f first %.6f crate %.4f playing %d particles %d\n", ticks, seconds, first,
                 crateAt.at(1), Op<bool>("IsSoundPlaying", {S("tone")}) ? 1 : 0,
                 Op<int>("Particles.GetCount", {sparks}));
}
