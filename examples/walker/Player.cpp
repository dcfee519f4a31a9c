// The walker. Everything it knows lives in the host's instances "player"
// (a transform), "flashlight" (a spot light) and "base" (the level), and in
// the statics of tick().
#include "Player.h"

#include <limits>

#include <vantor/Game.h>

namespace player {
namespace {

constexpr float kMouseDivisor = 100.0f;   // pixels of mouse movement per radian of turn
constexpr float kEyeHeight = 1.6f;        // wanted height above the ground; also "grounded"
constexpr float kWalkSpeed = 3.0f;        // units per second on the ground
constexpr float kJumpImpulse = 2.0f;      // upward speed while Space is held on the ground
constexpr float kGravity = 9.8f;          // speed lost per second in the air
constexpr float kAnchorX = 500, kAnchorY = 500;  // where the mouse goes back to every frame
// Right after the pointer is captured the system moves it (to the window's
// centre, or by the window's offset on a bare X server) and the next frames
// report that jump as movement: it would tip the view to the sky or the
// floor before the player touches the mouse. Those frames do not look.
constexpr int kCaptureFrames = 3;

// raylib key codes
constexpr int kKeyW = 87;
constexpr int kKeyS = 83;
constexpr int kKeyD = 68;
constexpr int kKeyA = 65;
constexpr int kKeySpace = 32;

}  // namespace

void init() {
    Game::Light flashlight("Spot");
    flashlight.SetName("flashlight");
    flashlight.SetState(true);
    flashlight.SetRange(32);
    flashlight.EnableShadow();
    flashlight.SetSpecular(0);
    flashlight.SetEnergy(8);
    flashlight.SetColor(static_cast<int>(0xFFFFDDFFu));  // warm white, the int -8705
    flashlight.SetShadowUpdateMode("Continuous");

    Game::CFrame player;
    player.SetName("player");
    player.MoveTo({-2, 1.5f, -5});

    Game::DisableCursor();
    Game::HideCursor();
    Game::SetMousePosition({kAnchorX, kAnchorY});
}

void tick() {
    static Game::CFrame player = Game::Root.GetChild<Game::CFrame>("player");
    static Game::Light flashlight = Game::Root.GetChild<Game::Light>("flashlight");
    static Game::List moveVector{0, 0, 0};
    static Game::List velocityVector{0, 0, 0};
    static float Pitch = 0;
    static float Yaw = 0;
    static bool grounded = false;
    static int capturing = kCaptureFrames;

    // The host drew this frame before calling us: what is set here shows in
    // the next one, from the transform the previous frame left.
    Game::SetCameraPosition(player.Position());
    Game::SetCameraLookDirection(player.LookVector());
    Game::SetCameraUpDirection(player.UpVector());

    flashlight.SetPosition(player.Position());
    flashlight.SetDirection(player.LookVector());

    // Moving the mouse down looks down (pitch grows), moving it right turns right.
    Game::List delta = Game::GetMouseDelta();
    if (capturing > 0) {
        --capturing;
        delta = {0, 0};
    }
    Pitch += delta[1] / kMouseDivisor;
    Yaw -= delta[0] / kMouseDivisor;

    // The masks drop the vertical part, so looking up or down neither climbs nor sinks.
    if (Game::IsKeyDown(kKeyW)) moveVector = Game::Vector3::Add(moveVector, Game::Vector3::Multiply(player.LookVector(), {1, 0, 1}));
    if (Game::IsKeyDown(kKeyS)) moveVector = Game::Vector3::Add(moveVector, Game::Vector3::Multiply(player.LookVector(), {-1, 0, -1}));
    if (Game::IsKeyDown(kKeyD)) moveVector = Game::Vector3::Add(moveVector, Game::Vector3::Multiply(player.RightVector(), {1, 0, 1}));
    if (Game::IsKeyDown(kKeyA)) moveVector = Game::Vector3::Add(moveVector, Game::Vector3::Multiply(player.RightVector(), {-1, 0, -1}));

    // Last frame's velocity moves the player, then it turns to the new angles.
    player.MoveBy(Game::Vector3::Scale(velocityVector, Game::DeltaTime()));
    player.RotateTo({Pitch, Yaw, 0});
    Game::SetMousePosition({kAnchorX, kAnchorY});

    // Ground probe: a ray straight down from the eye. A miss is no ground at
    // all, whatever distance the renderer reports with it, so a walker past
    // the edge of the level falls instead of being lifted.
    Game::Model base = Game::Root.GetChild<Game::Model>("base");
    Game::List eye = player.Position();
    Game::RaycastSingle probe(base, eye, {0, -1, 0});
    float distance = probe.hit ? probe.distance : std::numeric_limits<float>::infinity();

    grounded = distance <= kEyeHeight;  // false for NaN too
    if (distance < kEyeHeight) player.MoveBy({0, kEyeHeight - distance, 0});

    if (grounded) {
        // Landing cancels vertical speed; diagonals are no faster than straight lines.
        velocityVector = Game::Vector3::Scale(Game::Vector3::Normalize(moveVector), kWalkSpeed);
        if (Game::IsKeyDown(kKeySpace)) velocityVector = Game::Vector3::Add(velocityVector, {0, kJumpImpulse, 0});
    } else {
        // In the air the horizontal speed is kept and the keys do not steer.
        velocityVector = Game::Vector3::Subtract(velocityVector, {0, Game::DeltaTime() * kGravity, 0});
    }

    moveVector = {0, 0, 0};
}

}  // namespace player
