// A game for the animation tests, built with the SDK and scripted by the
// environment variable VANTOR_ANIMATION_SCRIPT:
//
//   scene    three instances of the generated bar ("bar.glb") on a white floor
//            under a shadowed spot light, seen from the front: bar 0 held bent
//            (clip "bend" at 1 s), bar 1 held straight (at 0 s), bar 2 cross-fading
//            from bent ("bend" at its end) to "bend_step" (straight until 0.5 s)
//            over 0.8 s, held once half the fade has gone by (started again when
//            a slow frame carried it well past that).
//            Writes where on the screen each bar's straight, bent and half-bent
//            upper half and the bent half's shadow lie (and bar 2's upper half turned
//            every 5 degrees), the ray tests
//            against the bent and the straight pose, the clips and a joint,
//            and "held <fraction> <seconds>" once the fade is held
//   badclip  plays a clip the bar lacks (which stops the game)
#include <vantor/Game.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Game::List;

namespace {

std::string mode;
int frames = 0;
float faded = 0;  // seconds of the cross-fade gone by, summed as the engine sums them
bool held = false;
std::vector<Game::Model> bars;
const float kBarX[3] = {2.5f, 0.0f, -2.5f};
const List kLight = {0, 9, -1};

// A point of bar i's upper half, `along` from its joint (1 above the foot), turned
// `degrees` towards -x.
List Upper(int i, float degrees, float along) {
    const float r = degrees * 3.14159265f / 180.0f;
    return List{kBarX[i] - std::sin(r) * along, 1.0f + std::cos(r) * along, 0.0f};
}

// Where the light casts a point onto the floor (y = 0).
List Shadow(const List& p) {
    const float t = kLight[1] / (kLight[1] - p[1]);
    return List{kLight[0] + (p[0] - kLight[0]) * t, 0.0f, kLight[2] + (p[2] - kLight[2]) * t};
}

void Print(const char* label, const List& world) {
    const List s = Game::GetWorldToScreen(world);
    std::fprintf(stderr, "%s %.1f %.1f\n", label, s[0], s[1]);
}

void Report() {
    for (int i = 0; i < 3; ++i) {
        const std::string n = std::to_string(i);
        Print(("straight " + n).c_str(), Upper(i, 0, 0.75f));
        Print(("bent " + n).c_str(), Upper(i, 90, 0.75f));
        Print(("lower " + n).c_str(), Upper(i, 0, -0.4f));
        Print(("beside " + n).c_str(), List{kBarX[i] - 0.3f, 0.6f, 0.0f});
        Print(("shadow bent " + n).c_str(), Shadow(Upper(i, 90, 0.75f)));
    }
    for (int degrees = 0; degrees <= 90; degrees += 5) Print(("fan 2 " + std::to_string(degrees)).c_str(), Upper(2, static_cast<float>(degrees), 0.75f));
    // Down through the bent half of bar 0, and across where its straight tip would stand.
    const Game::RaycastSingle down(bars[0], List{kBarX[0] - 0.8f, 5, 0}, List{0, -1, 0});
    const Game::RaycastSingle across(bars[0], List{kBarX[0], 1.85f, -5}, List{0, 0, 1});
    const Game::RaycastSingle acrossStraight(bars[1], List{kBarX[1], 1.85f, -5}, List{0, 0, 1});
    std::fprintf(stderr, "ray bent %d %.3f straight %d other %d\n", down.hit, down.hit ? down.point[1] : -1.0f, across.hit,
                 acrossStraight.hit);
    const List joint = bars[0].GetJointPosition("upper");
    std::fprintf(stderr, "joint %.3f %.3f %.3f\n", joint[0], joint[1], joint[2]);
    const auto clips = Game::GetModelAnimations("bar");
    std::fprintf(stderr, "clips %zu bend %d length %.3f playing %s\n", clips.size(), clips.count("bend") ? clips.at("bend") : -1,
                 Game::GetModelAnimationLength("bar", "bend"), bars[0].GetAnimation().c_str());
}

// Bar 2 from bent (clip "bend" at 1 s) into a cross-fade towards "bend_step".
void StartFade() {
    bars[2].PlayAnimation("bend", false);
    bars[2].SetAnimationTime(1);
    bars[2].CrossFade("bend_step", 0.8f);
    faded = 0;
}

}  // namespace

VANTOR_EXPORT void init() {
    const char* script = std::getenv("VANTOR_ANIMATION_SCRIPT");
    mode = script ? script : "scene";
    Game::SetCameraPosition(List{0, 1.2f, -7});
    Game::SetCameraLookDirection(List{0, -0.05f, 1});
    Game::SetCameraFOV(60);
    Game::LoadModel("bar", "bar.glb", 8);
    Game::LoadModel("floor", "floor.obj", 1);
    Game::Model floor("floor");
    floor.SetScale(List{8, 0.02f, 4});
    floor.MoveTo(List{0, -0.02f, 0});
    floor.SetColor(Game::Rgba(255, 255, 255));
    Game::Light spot("Spot");
    spot.SetPosition(kLight);
    spot.SetDirection(List{0, -1, 0.11f});
    spot.SetEnergy(60);
    spot.SetRange(30);
    spot.EnableShadow();
    spot.SetShadowUpdateMode("Continuous");
    spot.SetState(true);
    for (int i = 0; i < 3; ++i) {
        bars.emplace_back("bar");
        bars[i].MoveTo(List{kBarX[i], 0, 0});
        bars[i].SetScale(List{1, 1, 1});
        bars[i].SetColor(Game::Rgba(255, 255, 255));
        bars[i].PlayAnimation("bend", false);
        bars[i].SetAnimationSpeed(0);
    }
    bars[0].SetAnimationTime(1);
    StartFade();
    if (mode == "badclip") bars[1].PlayAnimation("fly", true);
    std::fprintf(stderr, "ready\n");
}

VANTOR_EXPORT void tick() {
    ++frames;
    if (!held) {
        // The engine moved the fade on by this frame's time before drawing it.
        faded += Game::DeltaTime();
        if (faded > 0.48f) {
            // One slow frame carried the fade past its middle (a busy machine): the
            // pose would tell too little, so start the fade again rather than hold it.
            std::fprintf(stderr, "fade passed its middle at %.4f s; again\n", faded);
            StartFade();
        } else if (faded >= 0.4f) {
            bars[2].SetAnimationSpeed(0);  // holds the fade where it is: the next frames draw it
            held = true;
            std::fprintf(stderr, "held %.4f %.4f\n", faded / 0.8f, faded);
        }
    }
    if (held && frames % 5 == 0) Report();
    std::fprintf(stderr, "tick %d\n", frames);
}
