// The game module of the environment tests: one scene per stage, the next stage on
// each press of N. Every tick writes "stage <k> frame <n>" (n counted from the
// stage's start), so the test waits for a stage's picture to be settled.
//   0  the procedural sky: zenith red, horizon green, ground blue; looking along -Z
//   1  three white boxes at 5, 20 and 80 m, no fog
//   2  the same in grey fog of density 0.03 per metre
//   3  a box on a floor, seen from above and aside, without ambient occlusion
//   4  the same with ambient occlusion (radius 1, strength 1.5)
//   5  a box lit far above white and a dim one, without bloom
//   6  the same with bloom (strength 1, threshold 1)
//   7  a white floor under a green sky, without sky light
//   8  the same with sky light 1
//   9  the panorama sky.png (written by the test), looking along -Z
//  10  the same, a quarter turn right (looking along +X)
//  11  the Radiance panorama sky.hdr (written by the test)
#include <any>
#include <cstdio>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

using game_func = std::function<void(std::vector<std::any>)>;
using game_op = std::function<std::any(std::vector<std::any>)>;
using List = std::vector<float>;

#define EXPORT extern "C" __attribute__((visibility("default")))

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
int Rgba(unsigned r, unsigned g, unsigned b) { return static_cast<int>(r << 24 | g << 16 | b << 8 | 0xFFu); }

int stage = 0, frames = 0;
std::vector<int> models;
int sun = 0;

void Camera(List position, List look, float fov) {
    Func("SetCameraPosition", {position});
    Func("SetCameraLookDirection", {look});
    Func("SetCameraUpDirection", {List{0, 1, 0}});
    Func("SetCameraFOV", {fov});
}

int Box(List at, List scale, int color) {
    int id = Op<int>("Instance.New", {S("Model"), S("box")});
    Func("CFrame.MoveTo", {Op<std::any*>("Instance.Get", {id, S("CFrame")}), at});
    Func("Model.SetScale", {id, scale});
    Func("Model.SetColor", {id, color});
    models.push_back(id);
    return id;
}

void Clear() {
    Func("ClearScene");
    models.clear();
    sun = 0;
    Func("SetFog", {Rgba(0, 0, 0), 0.0f, 0.0f});
    Func("SetAmbientOcclusion", {0.0f, 0.0f});
    Func("SetBloom", {0.0f, 0.0f});
    Func("SetSkyLight", {0.0f});
}

int Light(const char* kind, List direction, float energy) {
    int id = Op<int>("Instance.New", {S("Light"), S(kind)});
    Func("Light.SetDirection", {id, direction});
    Func("Light.SetEnergy", {id, energy});
    Func("Light.SetState", {id, true});
    return id;
}

void Enter(int k) {
    stage = k;
    frames = 0;
    switch (k) {
        case 0:
            Func("SetSkyColors", {Rgba(200, 40, 40), Rgba(40, 200, 40), Rgba(40, 40, 200)});
            Camera({0, 1, 0}, {0, 0, -1}, 90.0f);
            break;
        case 1:
            Clear();
            Func("SetSkyColors", {Rgba(60, 90, 140), Rgba(120, 130, 140), Rgba(50, 50, 50)});
            Light("Global", {0, -0.3f, -1}, 0.5f);
            // Each box a fifth of its distance across, in its own part of the screen.
            Box({-2.0f, 1, -5}, {1, 1, 1}, Rgba(255, 255, 255));
            Box({1.5f, 1, -20}, {4, 4, 4}, Rgba(255, 255, 255));
            Box({-12.0f, 1, -80}, {16, 16, 16}, Rgba(255, 255, 255));
            Camera({0, 1, 0}, {0, 0, -1}, 60.0f);
            break;
        case 2:
            Func("SetFog", {Rgba(150, 150, 150), 0.03f, 0.0f});
            break;
        case 3:
            Clear();
            Light("Global", {0.3f, -1, 0.2f}, 0.6f);
            Box({0, -0.5f, 0}, {20, 1, 20}, Rgba(220, 220, 220));
            Box({0, 0.5f, 0}, {1, 1, 1}, Rgba(220, 220, 220));
            Camera({2.5f, 2.5f, 2.5f}, {-1, -0.9f, -1}, 60.0f);
            break;
        case 4:
            Func("SetAmbientOcclusion", {1.0f, 1.5f});
            break;
        case 5: {
            Clear();
            Box({-1.5f, 0, -6}, {0.6f, 0.6f, 0.6f}, Rgba(255, 255, 255));
            Box({1.5f, 0, -6}, {0.6f, 0.6f, 0.6f}, Rgba(255, 255, 255));
            // A lamp close to the left box only: it shines far above white.
            int lamp = Op<int>("Instance.New", {S("Light"), S("Point")});
            Func("Light.SetPosition", {lamp, List{-1.5f, 0, -5.2f}});
            Func("Light.SetEnergy", {lamp, 30.0f});
            Func("Light.SetRange", {lamp, 1.2f});
            Func("Light.SetState", {lamp, true});
            Camera({0, 0, 0}, {0, 0, -1}, 60.0f);
            break;
        }
        case 6:
            Func("SetBloom", {1.0f, 1.0f});
            break;
        case 7:
            Clear();
            Func("SetSkyColors", {Rgba(30, 200, 30), Rgba(30, 200, 30), Rgba(30, 200, 30)});
            Box({0, -0.5f, -5}, {20, 1, 20}, Rgba(255, 255, 255));
            Camera({0, 2, 0}, {0, -0.5f, -1}, 60.0f);
            break;
        case 8:
            Func("SetSkyLight", {1.0f});
            break;
        case 9:
            Clear();
            Func("LoadSky", {S("test"), S("sky.png")});
            Func("SetSky", {S("test")});
            Camera({0, 1, 0}, {0, 0, -1}, 60.0f);
            break;
        case 10:
            Camera({0, 1, 0}, {1, 0, 0}, 60.0f);
            break;
        case 11:
            Func("LoadSky", {S("radiance"), S("sky.hdr")});
            Func("SetSky", {S("radiance")});
            break;
        default:
            break;
    }
}

}  // namespace

EXPORT void init() {
    Func("SetFPSVisible", {false});
    Func("LoadModel", {S("box"), S("box.obj"), 8});
    Enter(0);
}

EXPORT void tick() {
    if (Op<bool>("IsKeyPressed", {78})) Enter(stage + 1);  // KEY_N
    ++frames;
    std::fprintf(stderr, "stage %d frame %d\n", stage, frames);
}
