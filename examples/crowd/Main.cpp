// A crowd: 144 generated figures on a square, each starting its clip at its own
// time and now and then cross-fading between standing ("idle") and walking in
// place ("walk"), under a spot light that circles overhead and casts their
// shadows. One model buffer: every figure is drawn in the same instanced draw,
// each in its own pose. The camera circles slowly; a label floats over the head
// of the figure nearest the middle (its "head" joint, read every frame).
#include <vantor/Game.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 12;
constexpr float kSpacing = 2.2f;

struct Walker {
    Game::Model model;
    bool walking;
    float next;  // seconds until it changes its mind
};

std::vector<Walker> crowd;
Game::Light* spot = nullptr;
float clock = 0;

// A repeatable spread of numbers in [0, 1) per figure.
float Spread(int i, int salt) {
    const float x = std::sin(static_cast<float>(i * 12.9898 + salt * 78.233)) * 43758.5453f;
    return x - std::floor(x);
}

}  // namespace

VANTOR_EXPORT void init() {
    Game::LoadModel("floor", "floor.glb", 1);
    Game::Model floor("floor");
    floor.SetScale({1, 1, 1});
    floor.SetColor(Game::Rgba(255, 255, 255));

    Game::LoadModel("figure", "figure.glb", kSide * kSide);
    const float walkLength = Game::GetModelAnimationLength("figure", "walk");
    for (int i = 0; i < kSide * kSide; ++i) {
        Game::Model m("figure");
        const float x = (i % kSide - (kSide - 1) * 0.5f) * kSpacing, z = (i / kSide - (kSide - 1) * 0.5f) * kSpacing;
        m.MoveTo({x + Spread(i, 1) - 0.5f, 0, z + Spread(i, 2) - 0.5f});
        m.RotateTo({0, Spread(i, 3) * 6.2832f, 0});
        m.SetScale({1, 1, 1});
        m.SetColor(Game::Rgba(200 + static_cast<int>(55 * Spread(i, 4)), 200 + static_cast<int>(55 * Spread(i, 5)), 220));
        const bool walking = Spread(i, 6) < 0.5f;
        m.PlayAnimation(walking ? "walk" : "idle", true);
        m.SetAnimationTime(Spread(i, 7) * walkLength * 2);  // each at its own point of its clip
        m.SetAnimationSpeed(0.8f + 0.4f * Spread(i, 8));
        crowd.push_back({m, walking, 2 + 6 * Spread(i, 9)});
    }

    static Game::Light light("Spot");
    spot = &light;
    light.SetPosition({0, 16, 0});
    light.SetDirection({0, -1, 0});
    light.SetEnergy(160);
    light.SetRange(40);
    light.EnableShadow();
    light.SetShadowUpdateMode("Continuous");
    light.SetState(true);
    Game::SetCameraFOV(55);
}

VANTOR_EXPORT void tick() {
    // A rebuilt game.dll starts with no handles to the crowd it left: it just watches.
    if (crowd.empty() || spot == nullptr) return;
    const float dt = Game::DeltaTime();
    clock += dt;
    // Each figure now and then changes its mind, fading over half a second.
    for (Walker& w : crowd) {
        w.next -= dt;
        if (w.next > 0) continue;
        w.walking = !w.walking;
        w.model.CrossFade(w.walking ? "walk" : "idle", 0.5f);
        w.next = 3 + 5 * Spread(static_cast<int>(clock * 100) + w.model.Id, 10);
    }
    spot->SetPosition({6 * std::sin(clock * 0.3f), 16, 6 * std::cos(clock * 0.3f)});
    spot->SetDirection({-0.35f * std::sin(clock * 0.3f), -1, -0.35f * std::cos(clock * 0.3f)});

    const float angle = clock * 0.1f;
    const Game::List eye = {22 * std::sin(angle), 12, 22 * std::cos(angle)};
    Game::SetCameraPosition(eye);
    Game::SetCameraLookDirection({-eye[0], -eye[1] + 1, -eye[2]});

    const Game::List head = crowd[kSide * kSide / 2 + kSide / 2].model.GetJointPosition("head");
    const Game::List above = {head[0], head[1] + 0.5f, head[2]};
    if (Game::IsInFrontOfCamera(above)) {
        const Game::List at = Game::GetWorldToScreen(above);
        const int width = Game::MeasureText("Hello", 20);
        Game::DrawText("Hello", static_cast<int>(at[0]) - width / 2, static_cast<int>(at[1]) - 10, 20, Game::Rgba(255, 220, 0));
    }
    Game::DrawText(std::to_string(crowd.size()) + " figures, one instanced draw, each in its own pose", 10, 770, 20,
                   Game::Rgba(255, 255, 255));
}

VANTOR_EXPORT void reload() {}
