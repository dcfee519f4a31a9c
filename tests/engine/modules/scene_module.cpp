// Game modules for the engine's window tests. Each build picks one scene with
// a compile definition; every module reports on stderr, one fact per line, so
// the test can follow it:
//   SCENE_PIXELS    a red box left of centre; key M moves it right and turns it green,
//                   then each tick writes "after move <frames since>"
//   SCENE_CAPACITY  five model instances in a buffer of four
//   SCENE_RAYCAST   rays against a moved and scaled box, a hit and a miss
//   SCENE_INPUT     mouse position, keys and the cursor as the entries report them
// Every tick writes "tick <n>".
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

// Camera at z = -10 looking along +Z: world +X shows on the left of the screen.
[[maybe_unused]] void LookAtOrigin() {
    Func("SetCameraPosition", {List{0, 0, -10}});
    Func("SetCameraLookDirection", {List{0, 0, 1}});
    Func("SetCameraUpDirection", {List{0, 1, 0}});
    Func("SetCameraFOV", {70.0f});
}

[[maybe_unused]] void Sun() {
    int sun = Op<int>("Instance.New", {S("Light"), S("Global")});
    Func("Light.SetDirection", {sun, List{0.2f, -0.3f, 1}});
    Func("Light.SetEnergy", {sun, 2.0f});
    Func("Light.SetState", {sun, true});
}

[[maybe_unused]] int model = 0;
int frames = 0;
[[maybe_unused]] int movedAt = 0;

}  // namespace

EXPORT void init() {
#if defined(SCENE_PIXELS)
    LookAtOrigin();
    Sun();
    Func("LoadModel", {S("box"), S("box.obj"), 4});
    model = Op<int>("Instance.New", {S("Model"), S("box")});
    std::any* cframe = Op<std::any*>("Instance.Get", {model, S("CFrame")});
    Func("CFrame.MoveTo", {cframe, List{3, 0, 0}});
    Func("Model.SetScale", {model, List{2, 2, 2}});
    Func("Model.SetColor", {model, static_cast<int>(0xFF0000FFu)});
    std::fprintf(stderr, "ready\n");
#elif defined(SCENE_CAPACITY)
    Func("LoadModel", {S("box"), S("box.obj"), 4});
    for (int i = 0; i < 5; ++i) Op<int>("Instance.New", {S("Model"), S("box")});
    std::fprintf(stderr, "mapped 5\n");
#elif defined(SCENE_RAYCAST)
    Func("LoadModel", {S("ground"), S("box.obj"), 2});
    model = Op<int>("Instance.New", {S("Model"), S("ground")});
    std::any* cframe = Op<std::any*>("Instance.Get", {model, S("CFrame")});
    Func("CFrame.MoveTo", {cframe, List{5, 0, 0}});
    Func("Model.SetScale", {model, List{3, 3, 3}});  // not applied to the ray test
    auto report = [](const char* label, List from, List direction) {
        auto hit = Op<std::vector<std::any>>("RaycastSingle", {model, from, direction});
        List point = std::any_cast<List>(hit.at(2)), normal = std::any_cast<List>(hit.at(3));
        std::fprintf(stderr, "%s values=%zu hit=%d distance=%.4f point=%.4f,%.4f,%.4f normal=%.4f,%.4f,%.4f\n", label,
                     hit.size(), std::any_cast<bool>(hit.at(0)) ? 1 : 0, std::any_cast<float>(hit.at(1)), point.at(0),
                     point.at(1), point.at(2), normal.at(0), normal.at(1), normal.at(2));
    };
    report("above", {5, 10, 0}, {0, -1, 0});
    report("origin", {0, 10, 0}, {0, -1, 0});
    report("edge", {6.2f, 10, 0}, {0, -1, 0});  // inside the scaled box, outside the unscaled one
    Func("CFrame.RotateTo", {cframe, List{0, 0, 0.5f}});
    report("side", {0, 0.2f, 0}, {1, 0, 0});
    std::fprintf(stderr, "raycast done\n");
#elif defined(SCENE_INPUT)
    Func("SetMousePosition", {List{100.9f, 50.7f, 7}});
#endif
}

EXPORT void tick() {
    ++frames;
    std::fprintf(stderr, "tick %d\n", frames);
#if defined(SCENE_PIXELS)
    if (movedAt) std::fprintf(stderr, "after move %d\n", frames - movedAt);
    if (!movedAt && Op<bool>("IsKeyPressed", {77})) {  // KEY_M
        movedAt = frames;
        std::any* cframe = Op<std::any*>("Instance.Get", {model, S("CFrame")});
        Func("CFrame.MoveTo", {cframe, List{-3, 0, 0}});
        Func("Model.SetColor", {model, static_cast<int>(0x00FF00FFu)});
        std::fprintf(stderr, "moved at tick %d\n", frames);
    }
#elif defined(SCENE_INPUT)
    List position = Op<List>("GetMousePosition");
    std::fprintf(stderr, "mouse %d %d %.1f %.1f size=%zu\n", Op<int>("GetMouseX"), Op<int>("GetMouseY"), position.at(0),
                 position.at(1), position.size());
    if (Op<bool>("IsKeyDown", {87})) std::fprintf(stderr, "key W down\n");  // KEY_W
    if (Op<bool>("IsKeyReleased", {87})) std::fprintf(stderr, "key W released\n");
    if (Op<bool>("IsMouseButtonDown", {0})) std::fprintf(stderr, "button left down\n");
    std::fprintf(stderr, "wheel size=%zu delta size=%zu\n", Op<List>("GetMouseWheel").size(),
                 Op<List>("GetMouseDelta").size());
    if (frames == 3) {
        Func("HideCursor");
        std::fprintf(stderr, "hidden %d\n", Op<bool>("IsCursorHidden") ? 1 : 0);
        Func("ShowCursor");
        std::fprintf(stderr, "shown %d\n", Op<bool>("IsCursorHidden") ? 1 : 0);
    }
    float dt = Op<float>("DeltaTime");
    if (frames == 5) std::fprintf(stderr, "delta %.4f\n", dt);
#endif
}
