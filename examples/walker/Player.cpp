// The walker. Everything it knows lives in the host's instances "player"
// (a transform), "flashlight" (a spot light) and "base" (the level), and in
// the statics of tick(). It is heard walking, jumping and landing.
#include "Player.h"

#include <algorithm>
#include <cmath>
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
// When the window opens under the pointer, or the pointer is first captured,
// the system reports the pointer's place in the window (or the window's
// middle) as movement: it would tip the view to the sky or the floor before
// the player touches the mouse. The first frames do not look.
constexpr int kCaptureFrames = 3;
// Looking straight up or down would leave no horizontal direction to walk in,
// and past it the view turns over: pitch stops a degree short.
constexpr float kMaxPitch = 89.0f * 3.14159265f / 180.0f;
// The body: how far it keeps its centre from walls, and the heights above the
// feet (eye height under the eyes) at which its way is probed.
constexpr float kBodyRadius = 0.3f;
constexpr float kProbeHeights[] = {0.1f, 0.6f, 1.1f, 1.6f};
// How far past a hit point a blocker is looked into to find whether it is
// lower than the eyes.
constexpr float kLookInto = 0.01f;
// Where the player starts, and comes back to after falling out of the level:
// 20 units under the level's lowest point (the underside of its ground).
constexpr float kStartX = -2, kStartY = 1.5f, kStartZ = -5;
constexpr float kKillHeight = -1.5f - 20.0f;

// Footsteps: one every kStride units walked on the ground, left and right foot
// in turn. A landing is heard after more than kLandAirTime seconds in the air:
// after every jump (about 0.4 s), not after stepping down a stair (0.25 s).
constexpr float kStride = 0.8f;
constexpr float kLandAirTime = 0.3f;

// With a gamepad: radians a second the right stick turns the view at full tilt.
constexpr float kStickTurn = 2.5f;

// What the walker carries over a reload of game.dll besides the scene.
struct Motion {
    float velocity[3] = {0, 0, 0};
    float pitch = 0;
    float yaw = 0;
    bool grounded = false;
    float stride = 0;   // walked since the last footstep
    int foot = 0;
    float airTime = 0;  // seconds since the feet left the ground
};

struct Blocker {
    float cut = 0;          // how much of the move toward it must go
    float nx = 0, nz = 0;   // its horizontal normal, facing the body
};

// Whether something the body runs into is lower than the eyes, so that the
// walker steps onto it as it always has (the ground probe lifts it there):
// a ray straight up from eye height just behind the hit point then starts
// outside it. From inside, the ray leaves through a face that looks up.
bool BelowTheEyes(Game::Model& level, const Game::List& point, float dx, float dz, float eyeY) {
    Game::RaycastSingle up(level, {point[0] + dx * kLookInto, eyeY, point[2] + dz * kLookInto}, {0, 1, 0});
    return !(up.hit && up.normal[1] > 0);
}

// The wall that most shortens a horizontal move of (mx, mz) from `eye`, probed
// along the move at each body height; cut 0 when nothing is in the way.
Blocker NearestWall(Game::Model& level, const Game::List& eye, float mx, float mz) {
    Blocker worst;
    float length = std::sqrt(mx * mx + mz * mz);
    float dx = mx / length, dz = mz / length;
    for (float height : kProbeHeights) {
        Game::RaycastSingle probe(level, {eye[0], eye[1] - kEyeHeight + height, eye[2]}, {dx, 0, dz});
        if (!probe.hit) continue;
        float nx = probe.normal[0], nz = probe.normal[2];
        float flat = std::sqrt(nx * nx + nz * nz);
        if (flat < 1e-4f) continue;  // a floor or ceiling edge, not a side
        nx /= flat;
        nz /= flat;
        float facing = -(dx * nx + dz * nz);
        if (facing < 0) {  // met from behind: the normal of the side the body is on is the other one
            nx = -nx;
            nz = -nz;
            facing = -facing;
        }
        // Keep the centre kBodyRadius from the side's plane.
        float gap = probe.distance * facing;
        float cut = length * facing - std::max(gap - kBodyRadius, 0.0f);
        if (cut <= worst.cut || BelowTheEyes(level, probe.point, dx, dz, eye[1])) continue;
        worst = {cut, nx, nz};
    }
    return worst;
}

// A move with the part taken out that would carry the body closer than its
// radius to a wall: what is left slides along the wall. A few passes, so that
// sliding into a second wall (a corner) stops too. Only the move is cut, not
// the velocity: a hop pressed against something lower than the eyes at its
// top carries on over it.
Game::List StopAtWalls(Game::Model level, const Game::List& eye, Game::List move) {
    float& mx = move[0];
    float& mz = move[2];
    for (int pass = 0; pass < 3 && mx * mx + mz * mz > 1e-12f; ++pass) {
        Blocker wall = NearestWall(level, eye, mx, mz);
        if (wall.cut <= 0) break;
        if (pass == 2) {  // a third side in the way: stay put rather than probe on
            mx = mz = 0;
            break;
        }
        mx += wall.nx * wall.cut;
        mz += wall.nz * wall.cut;
    }
    return move;
}

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
    player.MoveTo({kStartX, kStartY, kStartZ});

    // Dust glinting in the beam: born a few steps ahead of the player (the offset
    // turns with the player's transform) and left to hang in the air.
    Game::Particles dust = Game::Particles::Create(300);
    dust.SetName("dust");
    dust.SetParent(player);
    dust.SetPosition({0, -0.1f, 2.5f});
    dust.SetRate(50);
    dust.SetLifetime(3, 6);
    dust.SetVelocity({0, 0.02f, 0.25f}, 180);
    dust.SetGravity({0, -0.01f, 0});
    dust.SetColors(static_cast<int>(0xFFF0D260u), static_cast<int>(0xFFF0D200u));
    dust.SetSizes(0.025f, 0.015f);
    dust.SetBlend("Additive");

    // Hidden first, then captured: raylib's HideCursor switches the cursor
    // to merely hidden, which would undo a capture made before it. Captured,
    // the pointer reports relative movement only (re-anchoring it every frame
    // loses nothing), cannot leave the window, and is let go while another
    // window has focus.
    Game::HideCursor();
    Game::DisableCursor();
    Game::SetMousePosition({kAnchorX, kAnchorY});

    Game::LoadSound("step_a", "step_a.wav");
    Game::LoadSound("step_b", "step_b.wav");
    Game::LoadSound("jump", "jump.wav");
    Game::LoadSound("land", "land.wav");
    Game::SetSoundVolume("land", 0.8f);
}

void tick() {
    static Game::CFrame player = Game::Root.GetChild<Game::CFrame>("player");
    static Game::Light flashlight = Game::Root.GetChild<Game::Light>("flashlight");
    static Game::List moveVector{0, 0, 0};
    // The angles, velocity and footing live in the engine, so that a rebuilt
    // game.dll carries on with them (the position is the "player" transform).
    static Motion& motion = Game::Keep<Motion>("player motion");
    static float& Pitch = motion.pitch;
    static float& Yaw = motion.yaw;
    static bool& grounded = motion.grounded;
    static int capturing = kCaptureFrames;
    Game::List velocityVector{motion.velocity[0], motion.velocity[1], motion.velocity[2]};

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

    // A gamepad plays too: the right stick looks, the left one walks, South jumps.
    const bool pad = Game::IsGamepadAvailable(0);
    if (pad) {
        Yaw -= Game::GetGamepadAxisMovement(0, Game::Gamepad::RightX) * kStickTurn * Game::DeltaTime();
        Pitch += Game::GetGamepadAxisMovement(0, Game::Gamepad::RightY) * kStickTurn * Game::DeltaTime();
    }

    // The view never turns over.
    Pitch = std::clamp(Pitch, -kMaxPitch, kMaxPitch);

    // The masks drop the vertical part, so looking up or down neither climbs nor sinks.
    namespace Key = Game::Key;
    if (Game::IsKeyDown(Key::W)) moveVector = Game::Vector3::Add(moveVector, Game::Vector3::Multiply(player.LookVector(), {1, 0, 1}));
    if (Game::IsKeyDown(Key::S)) moveVector = Game::Vector3::Add(moveVector, Game::Vector3::Multiply(player.LookVector(), {-1, 0, -1}));
    if (Game::IsKeyDown(Key::D)) moveVector = Game::Vector3::Add(moveVector, Game::Vector3::Multiply(player.RightVector(), {1, 0, 1}));
    if (Game::IsKeyDown(Key::A)) moveVector = Game::Vector3::Add(moveVector, Game::Vector3::Multiply(player.RightVector(), {-1, 0, -1}));
    if (pad) {  // the stick's y is down: pushed forward it is negative
        const float forward = -Game::GetGamepadAxisMovement(0, Game::Gamepad::LeftY);
        const float right = Game::GetGamepadAxisMovement(0, Game::Gamepad::LeftX);
        moveVector = Game::Vector3::Add(moveVector, Game::Vector3::Multiply(player.LookVector(), {forward, 0, forward}));
        moveVector = Game::Vector3::Add(moveVector, Game::Vector3::Multiply(player.RightVector(), {right, 0, right}));
    }

    // Last frame's velocity moves the player as far as walls let it (whatever
    // the frame time), then it turns to the new angles.
    Game::List before = player.Position();
    Game::List move = Game::Vector3::Scale(velocityVector, Game::DeltaTime());
    const Game::List walked = StopAtWalls(Game::Root.GetChild<Game::Model>("base"), before, move);
    player.MoveBy(walked);
    player.RotateTo({Pitch, Yaw, 0});
    Game::SetMousePosition({kAnchorX, kAnchorY});

    // Ground probe: a ray straight down from the eye, started as high as the
    // eye was before this frame's move so that a long frame cannot carry it
    // through a floor. A miss is no ground at all, whatever distance the
    // renderer reports with it, so a walker past the edge of the level falls
    // instead of being lifted.
    Game::Model base = Game::Root.GetChild<Game::Model>("base");
    Game::List eye = player.Position();
    float above = std::max(before[1] - eye[1], 0.0f);
    Game::RaycastSingle probe(base, {eye[0], eye[1] + above, eye[2]}, {0, -1, 0});
    float distance = probe.hit ? probe.distance - above : std::numeric_limits<float>::infinity();

    const bool wasGrounded = grounded;
    grounded = distance <= kEyeHeight;  // false for NaN too
    if (distance < kEyeHeight) player.MoveBy({0, kEyeHeight - distance, 0});

    if (grounded) {
        if (!wasGrounded && motion.airTime > kLandAirTime) Game::PlaySound("land");
        motion.airTime = 0;
        // Footsteps keep time with the ground covered, not with the keys.
        motion.stride += std::hypot(walked[0], walked[2]);
        if (motion.stride >= kStride) {
            motion.stride = std::fmod(motion.stride, kStride);
            motion.foot ^= 1;
            Game::PlaySound(motion.foot ? "step_a" : "step_b");
        }
        // Landing cancels vertical speed; diagonals are no faster than straight lines.
        velocityVector = Game::Vector3::Scale(Game::Vector3::Normalize(moveVector), kWalkSpeed);
        if (Game::IsKeyDown(Key::Space) || (pad && Game::IsGamepadButtonDown(0, Game::Gamepad::South))) {
            if (motion.velocity[1] <= 0) Game::PlaySound("jump");  // not again while still rising off the ground
            velocityVector = Game::Vector3::Add(velocityVector, {0, kJumpImpulse, 0});
        }
    } else {
        motion.airTime += Game::DeltaTime();
        // In the air the horizontal speed is kept and the keys do not steer.
        velocityVector = Game::Vector3::Subtract(velocityVector, {0, Game::DeltaTime() * kGravity, 0});
    }

    // Fallen out of the level: back to the start, standing still, facing the
    // way the game starts. (A lifted player is on the ground, never down here.)
    if (eye[1] < kKillHeight) {
        player.MoveTo({kStartX, kStartY, kStartZ});
        Pitch = 0;
        Yaw = 0;
        player.RotateTo({Pitch, Yaw, 0});
        velocityVector = {0, 0, 0};
    }

    moveVector = {0, 0, 0};
    for (int i = 0; i < 3; ++i) motion.velocity[i] = velocityVector[i];
}

}  // namespace player
