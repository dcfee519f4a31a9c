#include "Inspector.h"

#include <algorithm>
#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <unordered_map>

#include <imgui.h>

#include "Backend.h"
#include "Catalog.h"
#include "Global.h"
#include "Input.h"
#include "Instance.h"
#include "Lookup.h"
#include "MouseFocus.h"
#include "State.h"
#include "World.h"
#include "a3d.h"
#include "p3d.h"
#include "r3d.h"
#include "raylib.h"
#include "raymath.h"
#include "rlgl.h"

namespace Inspector {
namespace {

bool EnvironmentOff = false;  // VANTOR_INSPECT=0
bool Packed = false;          // the engine runs under a game's name: a packed game
bool Started = false;         // ImGui's context exists
std::string Refusal;

double MixSecondsBefore = 0, MixWallBefore = 0;

// Whether F1 may show the inspector now.
bool Allowed() {
    if (EnvironmentOff) return false;
    if (World::App::InspectorAllowed >= 0) return World::App::InspectorAllowed == 1;
    return !Packed;
}

// The program's own name without folder and ".exe": "engine" while developing.
bool RunsAsPackedGame(const char* program) {
    std::string name = program ? program : "engine";
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    if (name.size() > 4 && (name.compare(name.size() - 4, 4, ".exe") == 0 || name.compare(name.size() - 4, 4, ".EXE") == 0))
        name.resize(name.size() - 4);
    return name != "engine";
}

void Show() {
    State& s = The();
    if (!Started) {
        IMGUI_CHECKVERSION();
        ImGui::CreateContext();
        ImGui::StyleColorsDark();
        ImGui::GetStyle().WindowRounding = 0.0f;
        ImGui::GetStyle().Colors[ImGuiCol_WindowBg].w = 0.92f;
        Backend::Start();
        Started = true;
    }
    s.shown = true;
    World::App::InspectorShown = true;
    World::Input::HoldPointerFree(true);
    EnableCursor();
    World::Api::NotePointerMoved();
}

void Hide() {
    State& s = The();
    s.shown = false;
    s.paused = false;  // time controls act while the inspector is shown
    s.stepOnce = false;
    World::App::InspectorShown = false;
    World::Input::HoldPointerFree(false);
    if (World::Input::GameCaptured()) DisableCursor();
    World::Api::NotePointerMoved();
    R3D_SetPassTiming(false);
    World::Input::Hold(false, false);
}

// A "Model" instance's model and its transform as drawn (scale, then its CFrame);
// false for anything else, one at scale 0 (it draws nothing), or one whose model was unloaded.
bool PlacedModel(int id, R3D_Model* model, Matrix* transform) {
    const CFrame* cframe = World::Api::FindVariable<CFrame>(id, "CFrame");
    const Vector3* scale = World::Api::FindVariable<Vector3>(id, "Scale");
    const std::string* tied = World::Api::FindVariable<std::string>(id, "Tied Model");
    if (!cframe || !scale || !tied || (scale->x == 0 && scale->y == 0 && scale->z == 0)) return false;
    auto buffer = World::Buffers::Names.find(*tied);
    if (buffer == World::Buffers::Names.end()) return false;
    *model = World::Buffers::Models[buffer->second];
    *transform = MatrixMultiply(MatrixScale(scale->x, scale->y, scale->z), cframe->Transform());
    return true;
}

// The model instance under the pointer, nearest first, hit as drawn; -1 for none.
int PickModel(Vector2 pointer) {
    const Ray ray = GetScreenToWorldRay(pointer, GameCamera);
    int best = -1;
    float nearest = FLT_MAX;
    for (auto& [id, inst] : Instances) {
        R3D_Model model{};
        Matrix transform{};
        if (inst.Type != "Model" || !PlacedModel(id, &model, &transform)) continue;
        // An animated instance is hit where it was drawn: in its pose (as "RaycastSingle" does).
        auto player = World::Animation::Players.find(id);
        const RayCollision hit = player != World::Animation::Players.end() && R3D_GetModelAnimationCount(model) > 0
                                     ? R3D_RaycastModelPose(ray, model, transform, World::Animation::State(player->second))
                                     : R3D_RaycastModel(ray, model, transform);
        if (hit.hit && hit.distance < nearest) {
            nearest = hit.distance;
            best = id;
        }
    }
    return best;
}

void TimeBar() {
    State& s = The();
    ImGui::Checkbox("Pause", &s.paused);
    ImGui::SameLine();
    ImGui::BeginDisabled(!s.paused);
    if (ImGui::Button("Step")) s.stepOnce = true;
    ImGui::EndDisabled();
    ImGui::SameLine();
    ImGui::SetNextItemWidth(140);
    ImGui::SliderFloat("time scale", &s.timeScale, 0.0f, 4.0f, "%.2fx");
    if (ImGui::IsItemClicked(ImGuiMouseButton_Right)) s.timeScale = 1.0f;
    ImGui::SameLine();
    ImGui::Checkbox("Colliders", &s.colliders);
}

void Windows() {
    State& s = The();
    ImGui::SetNextWindowPos(ImVec2(0, 0), ImGuiCond_Always);
    ImGui::SetNextWindowSize(ImVec2(440, ImGui::GetIO().DisplaySize.y), ImGuiCond_Always);
    ImGui::Begin("Inspector (F1)", nullptr, ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoCollapse);
    TimeBar();
    if (!Refusal.empty()) ImGui::TextColored(ImVec4(1, 0.5f, 0.4f, 1), "%s", Refusal.c_str());
    if (ImGui::BeginTabBar("tabs")) {
        if (ImGui::BeginTabItem("Scene")) { SceneTab(); ImGui::EndTabItem(); }
        s.frameTab = ImGui::BeginTabItem("Frame");
        if (s.frameTab) { FrameTab(); ImGui::EndTabItem(); }
        if (ImGui::BeginTabItem("Physics")) { PhysicsTab(); ImGui::EndTabItem(); }
        if (ImGui::BeginTabItem("Sound")) { SoundTab(); ImGui::EndTabItem(); }
        if (ImGui::BeginTabItem("Assets")) { AssetsTab(); ImGui::EndTabItem(); }
        if (ImGui::BeginTabItem("Log")) { LogTab(); ImGui::EndTabItem(); }
        ImGui::EndTabBar();
    }
    ImGui::End();

}

Color KindColour(P3D_DebugKind kind) {
    switch (kind) {
        case P3D_DEBUG_STATIC: return Color{150, 150, 160, 255};
        case P3D_DEBUG_DYNAMIC: return Color{80, 220, 100, 255};
        case P3D_DEBUG_KINEMATIC: return Color{80, 170, 255, 255};
        case P3D_DEBUG_TRIGGER: return Color{255, 200, 40, 255};
        case P3D_DEBUG_CHARACTER: return Color{230, 90, 230, 255};
        case P3D_DEBUG_CONTACT: return Color{255, 60, 40, 255};
    }
    return WHITE;
}

void ColliderLine(Vector3 from, Vector3 to, P3D_DebugKind kind, void*) {
    rlCheckRenderBatchLimit(2);
    DrawLine3D(from, to, KindColour(kind));
}

// The selected model's box as drawn: its model's bounds scaled, turned and placed.
void OutlineSelection() {
    const int id = The().selected;
    auto found = Instances.find(id);
    R3D_Model model{};
    Matrix m{};
    if (found == Instances.end() || found->second.Type != "Model" || !PlacedModel(id, &model, &m)) return;
    const BoundingBox box = model.aabb;
    Vector3 corner[8];
    for (int c = 0; c < 8; ++c)
        corner[c] = Vector3Transform({c & 1 ? box.max.x : box.min.x, c & 2 ? box.max.y : box.min.y,
                                      c & 4 ? box.max.z : box.min.z}, m);
    const Color outline{255, 230, 0, 255};
    for (int c = 0; c < 8; ++c)
        for (int bit = 1; bit < 8; bit <<= 1)
            if (!(c & bit)) DrawLine3D(corner[c], corner[c | bit], outline);
}

}  // namespace

State& The() {
    static State state;
    return state;
}

bool Shown() { return The().shown; }

void SetShown(bool shown) {
    if (shown && !The().shown) Show();
    if (!shown && The().shown) Hide();
}

double OwnMilliseconds() { return The().ownMs; }

const std::string& LastRefusal() { return Refusal; }

std::any Call(const char* name, std::vector<std::any> args) {
    static const std::unordered_map<std::string, const World::Api::Entry*> byName = [] {
        std::unordered_map<std::string, const World::Api::Entry*> map;
        for (const World::Api::Entry& e : World::Api::Entries()) map.emplace(e.name, &e);
        return map;
    }();
    auto found = byName.find(name);
    if (found == byName.end()) return {};
    try {
        Refusal.clear();
        if (found->second->op) return found->second->op(std::move(args));
        found->second->func(std::move(args));
    } catch (const std::exception& e) {
        Refusal = e.what();
    }
    return {};
}

void Start(const char* program) {
    const char* env = std::getenv("VANTOR_INSPECT");
    EnvironmentOff = env && std::strcmp(env, "0") == 0;
    Packed = RunsAsPackedGame(program);
}

float GameSeconds(float realSeconds) {
    State& s = The();
    if (!s.shown) return realSeconds;
    if (s.paused) {
        if (!s.stepOnce) return 0.0f;
        s.stepOnce = false;
        // One frame at 60 a second, or one physics step where the game steps less often:
        // a step always moves the simulation on (a fast real frame may owe it no step).
        return std::max(1.0f / 60.0f, 1.0f / P3D_GetStepRate());
    }
    return realSeconds * s.timeScale;
}

void Update() {
    State& s = The();
    World::Input::Hold(false, false);  // F1 and the inspector's own reading see everything
    if (!Allowed()) {
        if (s.shown) Hide();
        return;
    }
    if (World::Input::KeyPressed(KEY_F1)) {
        if (s.shown) Hide();
        else Show();
    }
    if (!s.shown) return;

    const double start = GetTime();
    const A3D_Stats mix = A3D_GetStats();
    if (start > MixWallBefore && MixWallBefore > 0)
        s.mixLoad = (mix.mixSeconds - MixSecondsBefore) / (start - MixWallBefore);
    MixSecondsBefore = mix.mixSeconds;
    MixWallBefore = start;
    for (base::LogLine& line : base::LogSince(s.logSeen)) {
        s.logSeen = line.number;
        s.log.push_back(std::move(line));
        if (s.log.size() > base::kLogKept) s.log.erase(s.log.begin(), s.log.begin() + base::kLogKept / 4);
    }

    Backend::NewFrame(GetFrameTime());
    ImGui::NewFrame();
    Windows();
    // The passes are timed only while their figures are in view: each is waited for.
    R3D_SetPassTiming(s.frameTab);
    ImGuiIO& io = ImGui::GetIO();
    // A click in the world (not on a window) selects the model under it.
    if (!io.WantCaptureMouse && World::Input::ButtonPressed(MOUSE_BUTTON_LEFT)) s.selected = PickModel(GetMousePosition());
    ImGui::Render();
    // The pointer is free for the inspector: the game's mouse look and clicks see nothing
    // while it is shown, and its keys nothing while an inspector field takes typing.
    World::Input::Hold(true, io.WantCaptureKeyboard);
    s.ownMs = 1000.0 * (GetTime() - start);
}

void DrawWorld() {
    State& s = The();
    if (!s.shown) return;
    const double start = GetTime();
    BeginMode3D(GameCamera);
    rlDrawRenderBatchActive();
    rlDisableDepthTest();  // seen through what hides them
    if (s.colliders) P3D_DrawDebug(ColliderLine, nullptr, GameCamera.position);
    OutlineSelection();
    rlDrawRenderBatchActive();
    rlEnableDepthTest();
    EndMode3D();
    s.ownMs += 1000.0 * (GetTime() - start);
}

void NoteTick(double ms) { The().tickMs = ms; }
void NoteScreen(double ms) { The().screenMs = ms; }

void Draw() {
    State& s = The();
    if (!s.shown) return;
    const double start = GetTime();
    Backend::Render(ImGui::GetDrawData());
    // The driver draws what it was handed later, on its own; waiting for it here puts
    // the inspector's drawing in its own time rather than in whatever waits next.
    if (s.frameTab) R3D_WaitForDriver();
    s.ownMs += 1000.0 * (GetTime() - start);
}

void Close() {
    if (!Started) return;
    Backend::Close();
    ImGui::DestroyContext();
    Started = false;
}

}  // namespace Inspector
