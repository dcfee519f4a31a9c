// The game's view of the engine: typed functions and small object handles over
// the host's named entries. Game code includes this and nothing of the host,
// and defines the module's two entry points with the export attribute:
//
//   #include <vantor/Game.h>
//   VANTOR_EXPORT void init() { Game::LoadModel("crate", "crate.obj", 16); ... }
//   VANTOR_EXPORT void tick() { ... }                      // once per frame
//
//   Game::IsKeyDown(Game::Key::W)            input (names in <vantor/Keys.h>), cursor, camera, time
//   Game::PlaySound("step")                  sounds, music streams, the master volume
//   Game::DrawText("Score: 3", 20, 40, 24, Game::Rgba(255, 255, 255))
//                                            text, fonts, shapes and images over the scene
//   Game::Vector3::Add(a, b)                 vector and matrix arithmetic ("Vector3Add")
//   Game::CFrame player; player.MoveBy(...)  scene objects, held by instance id
//   auto crate = Game::Model::Spawn("crate", {0, 1, 0});   a model you can see
//
// A model instance made with Game::Model("crate") (or "Instance.New") starts
// at scale 0 and colour 0 (transparent), so it draws nothing until it gets a
// scale and a colour; Game::Model::Spawn gives it scale 1 and opaque white.
//
// Vectors and matrices are float lists: 2 or 3 components, or 16 matrix
// members m0..m15. Colours are ints packed 0xRRGGBBAA. Key, mouse-button and
// gamepad codes are raylib's numbers, named in <vantor/Keys.h>. Every call
// reaches the host by name; nothing is cached. Failures are not caught: a name
// the host never defined throws std::bad_function_call naming it, a result of
// an unexpected type std::bad_any_cast. Everything the host offers has a
// wrapper here; <vantor/Call.h> calls an entry by name, for what is newer than
// this header.
#pragma once

#include <any>
#include <cstddef>
#include <new>
#include <string>
#include <unordered_map>
#include <type_traits>
#include <vector>

#include "Bridge.h"
#include "Keys.h"

namespace Game {

using List = std::vector<float>;

// -- Keyboard and mouse -------------------------------------------------------
// Pressed and Released see every press and release since the last frame, also
// a tap that went down and up within one slow frame.
bool IsKeyPressed(int key);
bool IsKeyPressedRepeat(int key);
bool IsKeyDown(int key);
bool IsKeyReleased(int key);
// raylib's key-up is exactly "not down"; the host has no entry of its own for it.
bool IsKeyUp(int key);
int GetKeyPressed();   // the next key pressed this frame, 0 when none is left
int GetCharPressed();  // the next character typed this frame (a Unicode code point), 0 when none is left
void SetExitKey(int key);

bool IsMouseButtonPressed(int button);
bool IsMouseButtonDown(int button);
bool IsMouseButtonReleased(int button);
bool IsMouseButtonUp(int button);
int GetMouseX();
int GetMouseY();
List GetMousePosition();
List GetMouseDelta();
List GetMouseWheel();
void SetMousePosition(List position);  // whole pixels, truncated by the host
void SetMouseOffset(List offset);

// -- Gamepads -------------------------------------------------------------------
// Pads 0 to 3. Without a pad every call answers false, "" or 0, and nothing warns.
// Sticks read -1..1 with a dead zone around the middle; triggers 0..1.
bool IsGamepadAvailable(int pad);
std::string GetGamepadName(int pad);
bool IsGamepadButtonDown(int pad, int button);
bool IsGamepadButtonPressed(int pad, int button);
bool IsGamepadButtonReleased(int pad, int button);
float GetGamepadAxisMovement(int pad, int axis);

// -- The window and the scene ------------------------------------------------------
void SetWindowTitle(std::string title);
void SetFPSVisible(bool visible);  // the frame-rate counter in the corner, shown by default
// The host warns once a run about a model instance left at scale 0 for a
// second (it draws nothing); a game that keeps such instances on purpose turns it off.
void SetZeroScaleWarning(bool on);
// F1 shows the inspector over the game while developing; a packed game has it only
// when it calls SetInspectorEnabled(true). While it is shown the mouse is free and
// the game's mouse entries see nothing.
void SetInspectorEnabled(bool enabled);
bool IsInspectorShown();
// Destroys every instance the game made (models with their bodies, lights,
// placed sounds, characters, transforms); what is loaded stays. Restarting a
// level is ClearScene and building it again.
void ClearScene();

// -- The world around the scene -----------------------------------------------------
// All off until a game asks (colours are 0xRRGGBBAA). A sky drawn behind everything
// (procedural, or a panorama loaded from a Radiance .hdr, PNG or JPG), its light on
// every surface, fog by distance thinning with height, ambient occlusion in corners,
// glow around what is brighter than the threshold, and the exposure before the tone curve.
void SetSkyColors(int zenith, int horizon, int ground);
void LoadSky(std::string name, std::string path);
void SetSky(std::string name);  // "" for the procedural sky
void SetSkyLight(float intensity);
void SetFog(int color, float density, float heightFalloff);
void SetAmbientOcclusion(float radius, float strength);
void SetBloom(float strength, float threshold);
void SetExposure(float exposure);

// -- Cursor ---------------------------------------------------------------------
void SetMouseCursor(int cursor);
void ShowCursor();
void HideCursor();
bool IsCursorHidden();
void EnableCursor();
void DisableCursor();
bool IsCursorOnScreen();

// -- Camera and time ------------------------------------------------------------
// Set the position before the look direction: the target is placed relative
// to the position the camera has at that moment.
void SetCameraPosition(List position);
void SetCameraLookDirection(List direction);
void SetCameraUpDirection(List direction);
void SetCameraFOV(float degrees);
float DeltaTime();

// Camera helpers over the entries above. Yaw turns about the up axis (0 looks
// along +z, positive turns toward +x), pitch tilts up (positive) and down, both
// in radians.
namespace Camera {
List LookVector(float yaw, float pitch);  // the unit direction; no host call
// A first-person view: the camera at `eye`, facing yaw and pitch.
void FirstPerson(List eye, float yaw, float pitch);
// The camera `distance` away from `center`, on the side yaw and pitch face away from, looking at it.
void Orbit(List center, float distance, float yaw, float pitch);
void LookAt(List eye, List target);
}  // namespace Camera

// -- Model files ----------------------------------------------------------------
// Loads a model file (relative to the assets folder) as the named buffer that
// Game::Model instances are drawn from; `capacity` instances at most.
void LoadModel(std::string buffer, std::string path, int capacity);
void UnloadModel(std::string buffer);

// -- Sound ----------------------------------------------------------------------
// WAV, OGG, MP3 or FLAC files (relative to the assets folder), loaded under a
// name. A sound is decoded whole and every PlaySound starts a voice of its own,
// so it may overlap itself; a music stream is decoded as it plays, on a thread
// of the engine's, and needs no call per frame. A file that cannot be used
// plays as silence, with one warning naming it. Volume 1 is as recorded, pitch
// 2 an octave up, pan -1 left, 0 centre, 1 right.
void LoadSound(std::string sound, std::string path);
void UnloadSound(std::string sound);
void PlaySound(std::string sound);
void StopSound(std::string sound);
void PauseSound(std::string sound);
void ResumeSound(std::string sound);
bool IsSoundPlaying(std::string sound);
void SetSoundVolume(std::string sound, float volume);
void SetSoundPitch(std::string sound, float pitch);
void SetSoundPan(std::string sound, float pan);
float GetSoundLength(std::string sound);  // seconds

void LoadMusicStream(std::string music, std::string path);
void UnloadMusicStream(std::string music);
void PlayMusicStream(std::string music);
void StopMusicStream(std::string music);    // and back to the start
void PauseMusicStream(std::string music);
void ResumeMusicStream(std::string music);
bool IsMusicStreamPlaying(std::string music);
void SeekMusicStream(std::string music, float seconds);
void SetMusicLooping(std::string music, bool looping);  // music loops unless told not to
void SetMusicVolume(std::string music, float volume);
void SetMusicPitch(std::string music, float pitch);
void SetMusicPan(std::string music, float pan);
float GetMusicTimePlayed(std::string music);  // seconds
float GetMusicTimeLength(std::string music);  // seconds

void SetMasterVolume(float volume);
float GetMasterVolume();

// -- On screen ------------------------------------------------------------------
// What tick draws lies over the scene in the same frame, in call order, under
// the frame-rate counter. Pixels from the window's top left corner; colours
// packed 0xRRGGBBAA and blended by their alpha. Text is UTF-8, in the built-in
// font (DejaVu Sans: Latin, Greek, Cyrillic and more) or in TrueType/OpenType
// fonts loaded by name; the font "default" is always loaded. A character a
// font lacks comes from the default font, or draws as the replacement glyph.
// A missing or broken font or image file loads as the default font or as an
// image that draws nothing, with a warning. Sizes and positions that are not
// finite numbers stop the game with a message naming the entry.
constexpr int Rgba(int r, int g, int b, int a = 255) {
    return static_cast<int>((static_cast<unsigned>(r & 255) << 24) | (static_cast<unsigned>(g & 255) << 16) |
                            (static_cast<unsigned>(b & 255) << 8) | static_cast<unsigned>(a & 255));
}

void DrawText(std::string text, int x, int y, int size, int color);  // the default font; size in pixels
int MeasureText(std::string text, int size);                          // width in pixels
// The same in the default font with a drop shadow (a copy in `shadow` drawn
// size/16 pixels, at least 1, down and to the right first; 0 draws none), and
// centred across the window at height y.
void DrawTextShadowed(std::string text, int x, int y, int size, int color, int shadow = Rgba(0, 0, 0, 160));
void DrawTextCentered(std::string text, int y, int size, int color, int shadow = Rgba(0, 0, 0, 160));
void LoadFont(std::string font, std::string path);                    // relative to the assets folder
void UnloadFont(std::string font);
void DrawTextEx(std::string font, std::string text, List position, float size, float spacing, int color);
List MeasureTextEx(std::string font, std::string text, float size, float spacing);  // {width, height}

void DrawRectangle(int x, int y, int width, int height, int color);
void DrawRectangleLines(int x, int y, int width, int height, int color);
// Rectangles as {x, y, width, height}; roundness 0..1 of half the shorter side.
void DrawRectangleRounded(List rectangle, float roundness, int color);
void DrawRectangleRoundedLines(List rectangle, float roundness, float thickness, int color);
void DrawCircle(List center, float radius, int color);
void DrawCircleLines(List center, float radius, int color);
void DrawLine(List start, List end, float thickness, int color);

// Images: PNG, JPEG, TGA or BMP files, loaded under a name.
void LoadTexture(std::string image, std::string path);
void UnloadTexture(std::string image);
int GetTextureWidth(std::string image);
int GetTextureHeight(std::string image);
void DrawTexture(std::string image, int x, int y, int tint);
// The `source` part of the image drawn into `dest`, turned `rotation` degrees
// clockwise about `origin` (relative to dest's corner, which sits at dest's x, y).
void DrawTexturePro(std::string image, List source, List dest, List origin, float rotation, int tint);

// Where a point of the world shows on the screen, in pixels; meaningful only
// when the point is in front of the camera.
List GetWorldToScreen(List point);
bool IsInFrontOfCamera(List point);
int GetScreenWidth();
int GetScreenHeight();

// -- Animation --------------------------------------------------------------------
// The clips of a loaded model buffer (glTF or FBX): name -> clip index.
std::unordered_map<std::string, int> GetModelAnimations(std::string buffer);
float GetModelAnimationLength(std::string buffer, std::string clip);  // seconds

// -- Arithmetic (raymath's functions of the same name) --------------------------
namespace Vector2 {
List Zero();
List One();
List Add(List a, List b);
List AddValue(List v, float value);
List Subtract(List a, List b);
List SubtractValue(List v, float value);
float Length(List v);
float LengthSqr(List v);
float DotProduct(List a, List b);
float Distance(List a, List b);
float DistanceSqr(List a, List b);
float Angle(List a, List b);
float LineAngle(List start, List end);
List Scale(List v, float scale);
List Multiply(List a, List b);
List Negate(List v);
List Divide(List a, List b);
List Normalize(List v);
List Transform(List v, List matrix);
List Lerp(List a, List b, float amount);
List Reflect(List v, List normal);
List Min(List a, List b);
List Max(List a, List b);
List Rotate(List v, float angle);
List MoveTowards(List v, List target, float maxDistance);
List Invert(List v);
List Clamp(List v, List min, List max);
List ClampValue(List v, float min, float max);
bool Equals(List a, List b);
List Refract(List v, List normal, float ratio);
}  // namespace Vector2

namespace Vector3 {
List Zero();
List One();
List Add(List a, List b);
List AddValue(List v, float value);
List Subtract(List a, List b);
List SubtractValue(List v, float value);
List Scale(List v, float scale);
List Multiply(List a, List b);
List CrossProduct(List a, List b);
List Perpendicular(List v);
float Length(List v);
float LengthSqr(List v);
float DotProduct(List a, List b);
float Distance(List a, List b);
float DistanceSqr(List a, List b);
float Angle(List a, List b);
List Negate(List v);
List Divide(List a, List b);
List Normalize(List v);
List Project(List v, List onto);
List Reject(List v, List from);
List Transform(List point, List matrix);
List RotateByAxisAngle(List v, List axis, float angle);
List MoveTowards(List v, List target, float maxDistance);
List Lerp(List a, List b, float amount);
List CubicHermite(List a, List tangentA, List b, List tangentB, float amount);
List Reflect(List v, List normal);
List Min(List a, List b);
List Max(List a, List b);
List Barycenter(List point, List a, List b, List c);
List Invert(List v);
List Clamp(List v, List min, List max);
List ClampValue(List v, float min, float max);
bool Equals(List a, List b);
List Refract(List v, List normal, float ratio);
}  // namespace Vector3

namespace Matrix {
float Determinant(List m);
float Trace(List m);
List Transpose(List m);
List Identity();
List Add(List a, List b);
List Subtract(List a, List b);
List Multiply(List a, List b);
List Translate(float x, float y, float z);
List Rotate(List axis, float angle);
List RotateXYZ(List angles);
List Scale(float x, float y, float z);
}  // namespace Matrix

// -- Scene objects ----------------------------------------------------------------
// A handle is an instance id and nothing more: copying or dropping one never
// touches the host. Only the constructors that take a string (or none, for
// CFrame) create a host instance, named after its type and placed under Root.

class Instance {
public:
    explicit Instance(int id);

    // Destroys the instance and everything under it; the handle then names nothing.
    void Destroy();
    std::string GetName();
    std::string Type();  // "CFrame", "Model", "Light", "Sound", "Character", "Particles" ("" for Root)
    void SetName(std::string name);
    // Moves it under another instance ("Instance.SetParent").
    void SetParent(const Instance& parent);
    // Its children: name to instance id.
    std::unordered_map<std::string, int> GetChildren();
    // Address of the named variable slot; handed back to the transform entries only.
    std::any* Get(std::string name);
    // The child of that name as a handle of the wanted type (id 0 when there is none).
    // Provided for CFrame, Model, Light, Sound, Character and Particles.
    template <class T>
    T GetChild(std::string name);

    int Id;

protected:
    Instance() = default;  // the derived handles set the id themselves
};

class CFrame : public Instance {
public:
    CFrame();  // a new transform instance
    explicit CFrame(int id);

    List LookVector();
    List RightVector();
    List UpVector();
    List Position();
    List Rotation();  // Euler angles in radians, as RotateTo takes them
    void MoveBy(List offset);
    void MoveTo(List position);
    void RotateTo(List eulerRadians);
};

// A handle used on an instance of another kind (a Game::CFrame on a model's id,
// say) throws std::invalid_argument saying what the instance is and which
// handle fits.
class Model : public Instance {
public:
    // A new instance of a loaded model buffer, at scale 0 and colour 0: it draws
    // nothing until SetScale and SetColor (or use Spawn).
    explicit Model(std::string buffer);
    explicit Model(int id);
    // A new instance that shows at once: scale 1, opaque white, at `position`.
    static Model Spawn(std::string buffer, List position = {0, 0, 0});

    // The model's own transform.
    void MoveTo(List position);
    void MoveBy(List offset);
    void RotateTo(List eulerRadians);
    List Position();
    List Rotation();  // Euler angles in radians
    List LookVector();
    List RightVector();
    List UpVector();
    void SetScale(List scale);
    List GetScale();
    void SetColor(int rgba);
    int GetColor();
    std::string GetModel();  // the model buffer it draws

    // Animation (a model buffer whose file has clips; see GetModelAnimations). A clip
    // starts at time 0, speed 1; time moves on by each frame's DeltaTime before the
    // scene is drawn. A clip or joint name the model lacks stops the game.
    void PlayAnimation(std::string clip, bool loop);
    void CrossFade(std::string clip, float seconds);  // from the pose shown now to `clip` from its start
    void StopAnimation();                             // back to the rest pose
    void SetAnimationTime(float seconds);
    float GetAnimationTime();
    void SetAnimationSpeed(float speed);  // 0 holds the pose (a cross-fade too); negative plays backwards
    std::string GetAnimation();           // the clip playing, "" for none
    List GetJointPosition(std::string joint);  // in the world, in the pose drawn

    // Physics. SetBody gives the instance a body: kind "Static", "Dynamic" (moved by
    // the simulation, which writes its transform) or "Kinematic" (moved by the game,
    // pushing what is in its way); shape "Box", "Sphere", "Capsule", "Cylinder" (sized
    // from the model's bounds and the instance's scale now), "Hull" (convex, of the
    // model's triangles) or "Mesh" (its triangles, Static or Kinematic only). The
    // mass counts for "Dynamic" only. Moving the transform of a body moves the body.
    // Velocities, impulses, forces and torques act on dynamic bodies only; a force or
    // torque acts over the next frame's steps.
    void SetBody(std::string kind, std::string shape, float mass);
    void RemoveBody();
    bool HasBody();
    List GetVelocity();
    void SetVelocity(List velocity);
    List GetAngularVelocity();
    void SetAngularVelocity(List radiansPerSecond);
    void ApplyImpulse(List impulse);
    void ApplyForce(List force);
    void ApplyTorque(List torque);
    void SetFriction(float friction);        // 0..10, 0.5 by default
    void SetRestitution(float restitution);  // 0 (no bounce, the default) .. 1
    void SetDamping(float linear, float angular);  // 0..1 each
    void SetGravityEnabled(bool enabled);
    void SetTrigger(bool trigger);           // reports Enter and Leave events; nothing collides with it
    void SetCollisionLayer(int layer, int mask);  // bits of the layers it is on and collides with

    // Playing over the network (see NetHost). On the server: shared with every client as an
    // instance of the same model, following its transform, scale, colour and animation
    // (its body's motion included: physics runs on the server only).
    void SetReplicated(bool shared);
    void SetOwner(int peer);  // that peer moves it and the server passes it on; 1: the server
    int GetNetworkId();       // the same on every peer; 0 when not shared
    int GetOwner();           // 0 when not shared
};

// An upright capsule that walks: slides along walls, steps up stairs (0.35 by
// default), stands on slopes up to 45 degrees by default and slides down steeper
// ones, and pushes dynamic bodies. Its position is its foot.
//
//   Game::Character hero(0.3f, 1.8f);   // radius, height
//   hero.SetPosition({0, 0, 0});
//   hero.Move({2, 0, 0});               // every frame: walk 2 m/s along x (y > 0 jumps)
class Character : public Instance {
public:
    Character(float radius, float height);
    explicit Character(int id);

    void SetPosition(List foot);
    void Move(List velocity);  // the velocity it walks with from now on; y > 0 jumps when on the ground
    List GetPosition();
    bool IsOnGround();
    List GetVelocity();        // what it moved with in the last step
    void SetStepHeight(float height);
    void SetMaxSlope(float degrees);
};

class Light : public Instance {
public:
    explicit Light(std::string kind);  // "Global", "Spot" or "Point"
    explicit Light(int id);

    std::string GetType();
    void SetState(bool on);
    bool IsActive();
    void Toggle();
    void SetColor(int rgba);
    int GetColor();
    void SetPosition(List position);
    List GetPosition();
    void SetDirection(List direction);
    List GetDirection();
    void SetEnergy(float energy);
    float GetEnergy();
    void SetSpecular(float specular);
    float GetSpecular();
    void SetRange(float range);
    float GetRange();
    void SetAttenuation(float attenuation);
    float GetAttenuation();
    // Spot lights: half-angles in degrees of the full-strength cone and of the
    // cone where the light reaches zero.
    void SetInnerCutoff(float degrees);
    float GetInnerCutoff();
    void SetOuterCutoff(float degrees);
    float GetOuterCutoff();
    void EnableShadow();
    void DisableShadow();
    bool IsShadowEnabled();
    void SetShadowUpdateMode(std::string mode);  // "Manual", "Interval" or "Continuous"
    std::string GetShadowUpdateMode();
    void SetShadowUpdateFrequency(int milliseconds);
    int GetShadowUpdateFrequency();
    void UpdateShadow();  // once, for "Manual"
    void SetSoftness(float softness);
    float GetSoftness();
    void SetDepthBias(float bias);
    float GetDepthBias();
    void SetSlopeBias(float bias);
    float GetSlopeBias();
};

// A sound placed in the scene, heard from the camera: full loudness within the
// near distance, silent beyond the far one, panned by where it lies in the view.
// Its position is in the world, or relative to its parent when that is a Model
// or a CFrame, which it then follows:
//
//   Game::Sound hum("hum");            // a loaded sound
//   hum.SetParent(generator);          // a Game::Model: the hum follows it
//   hum.SetLooping(true);
//   hum.Play();
class Sound : public Instance {
public:
    explicit Sound(std::string sound);  // a new placed sound of a loaded sound, at the origin
    explicit Sound(int id);

    void Play();  // from the start, also when it plays already
    void Stop();
    bool IsPlaying();
    void SetPosition(List position);
    List GetPosition();
    void SetRange(float nearDistance, float farDistance);  // 1 and 40 by default
    void SetVolume(float volume);
    void SetPitch(float pitch);
    void SetLooping(bool looping);
};

// A particle emitter: particles born at its position (in the world, or relative to
// its parent when that is a Model or a CFrame, which it then follows, turning the
// velocity with it), flying off with the velocity within the spread, falling by the
// gravity, their colour and size going from the birth values to the death values over
// a lifetime picked between the shortest and the longest. Once born they keep to the
// world. Drawn as soft round dots (or an image) facing the camera, after the scene.
//
//   auto smoke = Game::Particles::Create(2000);   // at most 2,000 alive at once
//   smoke.SetParent(chimney);                // a Game::Model: the smoke rises from it
//   smoke.SetPosition({0, 2, 0});            // 2 m above the chimney's centre
//   smoke.SetVelocity({0, 1, 0}, 20);        // up at 1 m/s, within 20 degrees of it
//   smoke.SetColors(Game::Rgba(90, 90, 90, 200), Game::Rgba(60, 60, 60, 0));
//   smoke.SetSizes(0.3f, 1.5f);
//   smoke.SetLifetime(2, 4);
//   smoke.SetRate(200);                      // 200 a second (Burst(100) for 100 at once)
class Particles : public Instance {
public:
    // A new emitter of at most `mostAlive` particles at once (1..100,000), at the
    // origin; it emits nothing until SetRate or Burst.
    static Particles Create(int mostAlive);
    explicit Particles(int id);

    void SetPosition(List position);
    void SetRate(float perSecond);      // 0 stops the stream
    void Burst(int count);              // born at once, as many as there is room for
    void SetLifetime(float shortest, float longest);  // seconds
    void SetVelocity(List velocity, float spreadDegrees);  // spread 0..180
    void SetGravity(List gravity);
    void SetColors(int birthRgba, int deathRgba);
    void SetSizes(float birth, float death);           // metres across
    void SetTexture(std::string image);  // an image loaded by LoadTexture; "" the soft dot
    void SetBlend(std::string blend);    // "Alpha" (the start) or "Additive"
    int GetCount();                      // alive now
};

// One ray test against a model at its current transform; a snapshot.
struct RaycastSingle {
    RaycastSingle(Model model, List start, List direction);

    bool hit = false;
    float distance = 0;
    List point;
    List normal;
};

// -- Physics ----------------------------------------------------------------------
// The world steps 60 times a second (SetPhysicsRate) whatever the frame rate, once a
// frame right before the scene is drawn: what tick changes takes effect at the next
// frame's step, and the events read in tick are those of this frame's step.
void SetGravity(List gravity);  // (0, -9.81, 0) by default
List GetGravity();
void SetPhysicsRate(float stepsPerSecond);  // 10..1000
float GetPhysicsTime();  // seconds of simulation stepped so far

// What a physics query met: the instance hit, 0 for none.
struct PhysicsHit {
    bool hit = false;
    float distance = 0;
    List point;
    List normal;
    int id = 0;
};
// Against every body and character (triggers aside); the Layers form meets only
// bodies on a layer of `mask`.
PhysicsHit PhysicsRaycast(List origin, List direction, float maxDistance);
PhysicsHit PhysicsRaycastLayers(List origin, List direction, float maxDistance, int mask);
PhysicsHit PhysicsSweepSphere(List from, List to, float radius);
PhysicsHit PhysicsSweepCapsule(List from, List to, float radius, float height);  // upright; from, to: its centre
std::vector<int> PhysicsOverlapSphere(List center, float radius);
std::vector<int> PhysicsOverlapBox(List center, List halfSize);

// What the latest step reported: "Enter" and "Leave" (a: the trigger, b: who),
// "Contact" (a and b began to touch: impulse, point and normal) and "LeftWorld"
// (a left the world's bounds and sleeps until moved back).
struct PhysicsEvent {
    std::string kind;
    int a = 0, b = 0;
    float impulse = 0;
    List point;
    List normal;
};
std::vector<PhysicsEvent> GetPhysicsEvents();

// -- Playing over the network -------------------------------------------------------
// One game.dll is server or client. The server hosts, clients join; peers are numbered
// 1 (the server), then 2, 3, ... as clients join. Messages go on named channels:
// reliable ones arrive once and in order, unreliable ones may be lost but never arrive
// twice or altered; a text is any bytes up to 16384. Sending before connecting, to a
// peer not connected, or a text past the limit stops the game with a message saying
// which. Model instances the server shares (Model::SetReplicated) appear on every client
// and move there smoothly, about two snapshots (0.1 s) behind.
bool NetHost(int port, int mostClients);
bool NetConnect(std::string address, int port);  // "Connecting", then "Client" once welcomed
void NetDisconnect();
std::string NetGetState();  // "Offline", "Connecting", "Client" or "Server"
int NetGetPeerId();         // 1 on the server, 2, 3, ... on clients, 0 offline
std::vector<int> NetGetPeers();
void NetSend(int peer, std::string channel, std::string text, bool reliable);  // peer 0: every peer
// What arrived since the last call, in order. A peer joining or leaving (a time-out
// included) arrives on the channel "Joined" or "Left" with an empty text.
struct NetMessage {
    int peer = 0;
    std::string channel;
    std::string text;
};
std::vector<NetMessage> NetReceive();
struct NetStats {
    float roundTripMs = 0, bytesSentPerSecond = 0, bytesReceivedPerSecond = 0, packetLossPercent = 0;
};
NetStats NetGetStats(int peer);  // zeros for a peer not connected
void NetSetSnapshotRate(int perSecond);  // 20 unless set
void NetSetTimeout(float seconds);       // 8 unless set
int NetFindModel(int networkId);         // the local instance id, 0 when none
bool IsHeadless();                       // engine --headless: nothing is drawn or heard
std::vector<std::string> GetArguments(); // the command line after the program, without the host's options

// The host's fixed root of the scene (id 1).
extern Instance Root;

// -- Values that survive a reload -------------------------------------------------
// With VANTOR_RELOAD=1 the engine binds a rebuilt game.dll while the game runs.
// The scene lives in the engine and stays; the game's own variables are new.
// A value the game wants to carry over lives in the engine instead:
//
//   static Motion& motion = Game::Keep<Motion>("player motion");
//
// gives the same Motion to every module loaded in this process, holding what
// the last one left in it; the first call gives it `initial`. T must be
// trivially copyable (numbers, plain structs and arrays of them, handles). If
// the size of T under a name changed between builds, it starts again from
// `initial`. Call it from init, tick or reload (not from a global's
// initialiser, which runs before the engine has bound the module).
namespace Detail {
void* KeepBytes(const char* name, std::size_t size, bool& fresh);
}

template <class T>
T& Keep(const std::string& name, const T& initial = T{}) {
    static_assert(std::is_trivially_copyable_v<T>, "Game::Keep holds trivially copyable values only");
    static_assert(alignof(T) <= alignof(std::max_align_t), "Game::Keep: over-aligned type");
    bool fresh = false;
    void* bytes = Detail::KeepBytes(name.c_str(), sizeof(T), fresh);
    if (fresh) return *new (bytes) T(initial);
    return *std::launder(static_cast<T*>(bytes));
}

}  // namespace Game
