// The free wrappers: one line per host entry. WRAP(result, name, (parameters),
// (arguments)) defines `name` to call the entry ENTRY_GROUP followed by `name`
// with the arguments in order, so a wrapper's name and its entry's name can
// never drift apart.
#include <cmath>

#include <vantor/Call.h>
#include <vantor/Game.h>

namespace {

using NameToIndex = std::unordered_map<std::string, int>;  // a macro argument cannot hold its comma

template <class R>
struct Entry {
    const char* name;
    template <class... A>
    R operator()(A&&... args) const {
        return Game::Bridge::Call<R>(name, std::forward<A>(args)...);
    }
};

}  // namespace

#define WRAP(R, Name, Params, Args) \
    R Name Params { return Entry<R>{ENTRY_GROUP #Name} Args; }

namespace Game {

#define ENTRY_GROUP ""
WRAP(bool, IsKeyPressed, (int key), (key))
WRAP(bool, IsKeyPressedRepeat, (int key), (key))
WRAP(bool, IsKeyDown, (int key), (key))
WRAP(bool, IsKeyReleased, (int key), (key))
WRAP(int, GetKeyPressed, (), ())
WRAP(int, GetCharPressed, (), ())
WRAP(void, SetExitKey, (int key), (key))

bool IsKeyUp(int key) { return !IsKeyDown(key); }

WRAP(bool, IsMouseButtonPressed, (int button), (button))
WRAP(bool, IsMouseButtonDown, (int button), (button))
WRAP(bool, IsMouseButtonReleased, (int button), (button))
WRAP(bool, IsMouseButtonUp, (int button), (button))
WRAP(int, GetMouseX, (), ())
WRAP(int, GetMouseY, (), ())
WRAP(List, GetMousePosition, (), ())
WRAP(List, GetMouseDelta, (), ())
WRAP(List, GetMouseWheel, (), ())
WRAP(void, SetMousePosition, (List position), (position))
WRAP(void, SetMouseOffset, (List offset), (offset))

WRAP(void, SetMouseCursor, (int cursor), (cursor))
WRAP(void, ShowCursor, (), ())
WRAP(void, HideCursor, (), ())
WRAP(bool, IsCursorHidden, (), ())
WRAP(void, EnableCursor, (), ())
WRAP(void, DisableCursor, (), ())
WRAP(bool, IsCursorOnScreen, (), ())

WRAP(void, SetCameraPosition, (List position), (position))
WRAP(void, SetCameraLookDirection, (List direction), (direction))
WRAP(void, SetCameraUpDirection, (List direction), (direction))
WRAP(void, SetCameraFOV, (float degrees), (degrees))
WRAP(float, DeltaTime, (), ())

WRAP(bool, IsGamepadAvailable, (int pad), (pad))
WRAP(std::string, GetGamepadName, (int pad), (pad))
WRAP(bool, IsGamepadButtonDown, (int pad, int button), (pad, button))
WRAP(bool, IsGamepadButtonPressed, (int pad, int button), (pad, button))
WRAP(bool, IsGamepadButtonReleased, (int pad, int button), (pad, button))
WRAP(float, GetGamepadAxisMovement, (int pad, int axis), (pad, axis))

WRAP(void, SetWindowTitle, (std::string title), (title))
WRAP(void, SetFPSVisible, (bool visible), (visible))
WRAP(void, SetZeroScaleWarning, (bool on), (on))
WRAP(void, SetInspectorEnabled, (bool enabled), (enabled))
WRAP(bool, IsInspectorShown, (), ())
WRAP(void, ClearScene, (), ())
WRAP(void, SetSkyColors, (int zenith, int horizon, int ground), (zenith, horizon, ground))
WRAP(void, LoadSky, (std::string name, std::string path), (name, path))
WRAP(void, SetSky, (std::string name), (name))
WRAP(void, SetSkyLight, (float intensity), (intensity))
WRAP(void, SetFog, (int color, float density, float heightFalloff), (color, density, heightFalloff))
WRAP(void, SetAmbientOcclusion, (float radius, float strength), (radius, strength))
WRAP(void, SetBloom, (float strength, float threshold), (strength, threshold))
WRAP(void, SetExposure, (float exposure), (exposure))

namespace Camera {

List LookVector(float yaw, float pitch) {
    return {std::sin(yaw) * std::cos(pitch), std::sin(pitch), std::cos(yaw) * std::cos(pitch)};
}

void FirstPerson(List eye, float yaw, float pitch) {
    SetCameraPosition(std::move(eye));
    SetCameraLookDirection(LookVector(yaw, pitch));
}

void Orbit(List center, float distance, float yaw, float pitch) {
    const List look = LookVector(yaw, pitch);
    center.resize(3);
    SetCameraPosition({center[0] - look[0] * distance, center[1] - look[1] * distance, center[2] - look[2] * distance});
    SetCameraLookDirection({look[0] * distance, look[1] * distance, look[2] * distance});
}

void LookAt(List eye, List target) {
    eye.resize(3);
    target.resize(3);
    SetCameraPosition(eye);
    SetCameraLookDirection({target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]});
}

}  // namespace Camera

WRAP(void, LoadModel, (std::string buffer, std::string path, int capacity), (buffer, path, capacity))
WRAP(void, UnloadModel, (std::string buffer), (buffer))

WRAP(void, LoadSound, (std::string sound, std::string path), (sound, path))
WRAP(void, UnloadSound, (std::string sound), (sound))
WRAP(void, PlaySound, (std::string sound), (sound))
WRAP(void, StopSound, (std::string sound), (sound))
WRAP(void, PauseSound, (std::string sound), (sound))
WRAP(void, ResumeSound, (std::string sound), (sound))
WRAP(bool, IsSoundPlaying, (std::string sound), (sound))
WRAP(void, SetSoundVolume, (std::string sound, float volume), (sound, volume))
WRAP(void, SetSoundPitch, (std::string sound, float pitch), (sound, pitch))
WRAP(void, SetSoundPan, (std::string sound, float pan), (sound, pan))
WRAP(float, GetSoundLength, (std::string sound), (sound))

WRAP(void, LoadMusicStream, (std::string music, std::string path), (music, path))
WRAP(void, UnloadMusicStream, (std::string music), (music))
WRAP(void, PlayMusicStream, (std::string music), (music))
WRAP(void, StopMusicStream, (std::string music), (music))
WRAP(void, PauseMusicStream, (std::string music), (music))
WRAP(void, ResumeMusicStream, (std::string music), (music))
WRAP(bool, IsMusicStreamPlaying, (std::string music), (music))
WRAP(void, SeekMusicStream, (std::string music, float seconds), (music, seconds))
WRAP(void, SetMusicLooping, (std::string music, bool looping), (music, looping))
WRAP(void, SetMusicVolume, (std::string music, float volume), (music, volume))
WRAP(void, SetMusicPitch, (std::string music, float pitch), (music, pitch))
WRAP(void, SetMusicPan, (std::string music, float pan), (music, pan))
WRAP(float, GetMusicTimePlayed, (std::string music), (music))
WRAP(float, GetMusicTimeLength, (std::string music), (music))

WRAP(void, SetMasterVolume, (float volume), (volume))
WRAP(float, GetMasterVolume, (), ())

WRAP(void, DrawText, (std::string text, int x, int y, int size, int color), (text, x, y, size, color))
WRAP(int, MeasureText, (std::string text, int size), (text, size))

void DrawTextShadowed(std::string text, int x, int y, int size, int color, int shadow) {
    if (shadow) {
        const int offset = size / 16 > 1 ? size / 16 : 1;
        DrawText(text, x + offset, y + offset, size, shadow);
    }
    DrawText(std::move(text), x, y, size, color);
}

void DrawTextCentered(std::string text, int y, int size, int color, int shadow) {
    const int x = (GetScreenWidth() - MeasureText(text, size)) / 2;
    DrawTextShadowed(std::move(text), x, y, size, color, shadow);
}
WRAP(void, LoadFont, (std::string font, std::string path), (font, path))
WRAP(void, UnloadFont, (std::string font), (font))
WRAP(void, DrawTextEx, (std::string font, std::string text, List position, float size, float spacing, int color),
     (font, text, position, size, spacing, color))
WRAP(List, MeasureTextEx, (std::string font, std::string text, float size, float spacing), (font, text, size, spacing))
WRAP(void, DrawRectangle, (int x, int y, int width, int height, int color), (x, y, width, height, color))
WRAP(void, DrawRectangleLines, (int x, int y, int width, int height, int color), (x, y, width, height, color))
WRAP(void, DrawRectangleRounded, (List rectangle, float roundness, int color), (rectangle, roundness, color))
WRAP(void, DrawRectangleRoundedLines, (List rectangle, float roundness, float thickness, int color),
     (rectangle, roundness, thickness, color))
WRAP(void, DrawCircle, (List center, float radius, int color), (center, radius, color))
WRAP(void, DrawCircleLines, (List center, float radius, int color), (center, radius, color))
WRAP(void, DrawLine, (List start, List end, float thickness, int color), (start, end, thickness, color))
WRAP(void, LoadTexture, (std::string image, std::string path), (image, path))
WRAP(void, UnloadTexture, (std::string image), (image))
WRAP(int, GetTextureWidth, (std::string image), (image))
WRAP(int, GetTextureHeight, (std::string image), (image))
WRAP(void, DrawTexture, (std::string image, int x, int y, int tint), (image, x, y, tint))
WRAP(void, DrawTexturePro, (std::string image, List source, List dest, List origin, float rotation, int tint),
     (image, source, dest, origin, rotation, tint))
WRAP(List, GetWorldToScreen, (List point), (point))
WRAP(bool, IsInFrontOfCamera, (List point), (point))
WRAP(int, GetScreenWidth, (), ())
WRAP(int, GetScreenHeight, (), ())

WRAP(NameToIndex, GetModelAnimations, (std::string buffer), (buffer))
WRAP(void, SetGravity, (List gravity), (gravity))
WRAP(List, GetGravity, (), ())
WRAP(void, SetPhysicsRate, (float stepsPerSecond), (stepsPerSecond))
WRAP(float, GetPhysicsTime, (), ())
WRAP(std::vector<int>, PhysicsOverlapSphere, (List center, float radius), (center, radius))
WRAP(std::vector<int>, PhysicsOverlapBox, (List center, List halfSize), (center, halfSize))
WRAP(float, GetModelAnimationLength, (std::string buffer, std::string clip), (buffer, clip))
WRAP(bool, NetHost, (int port, int mostClients), (port, mostClients))
WRAP(bool, NetConnect, (std::string address, int port), (address, port))
WRAP(void, NetDisconnect, (), ())
WRAP(std::string, NetGetState, (), ())
WRAP(int, NetGetPeerId, (), ())
WRAP(std::vector<int>, NetGetPeers, (), ())
WRAP(void, NetSend, (int peer, std::string channel, std::string text, bool reliable), (peer, channel, text, reliable))
WRAP(void, NetSetSnapshotRate, (int perSecond), (perSecond))
WRAP(void, NetSetTimeout, (float seconds), (seconds))
WRAP(int, NetFindModel, (int networkId), (networkId))
WRAP(bool, IsHeadless, (), ())
#undef ENTRY_GROUP

namespace Vector2 {
#define ENTRY_GROUP "Vector2"
WRAP(List, Zero, (), ())
WRAP(List, One, (), ())
WRAP(List, Add, (List a, List b), (a, b))
WRAP(List, AddValue, (List v, float value), (v, value))
WRAP(List, Subtract, (List a, List b), (a, b))
WRAP(List, SubtractValue, (List v, float value), (v, value))
WRAP(float, Length, (List v), (v))
WRAP(float, LengthSqr, (List v), (v))
WRAP(float, DotProduct, (List a, List b), (a, b))
WRAP(float, Distance, (List a, List b), (a, b))
WRAP(float, DistanceSqr, (List a, List b), (a, b))
WRAP(float, Angle, (List a, List b), (a, b))
WRAP(float, LineAngle, (List start, List end), (start, end))
WRAP(List, Scale, (List v, float scale), (v, scale))
WRAP(List, Multiply, (List a, List b), (a, b))
WRAP(List, Negate, (List v), (v))
WRAP(List, Divide, (List a, List b), (a, b))
WRAP(List, Normalize, (List v), (v))
WRAP(List, Transform, (List v, List matrix), (v, matrix))
WRAP(List, Lerp, (List a, List b, float amount), (a, b, amount))
WRAP(List, Reflect, (List v, List normal), (v, normal))
WRAP(List, Min, (List a, List b), (a, b))
WRAP(List, Max, (List a, List b), (a, b))
WRAP(List, Rotate, (List v, float angle), (v, angle))
WRAP(List, MoveTowards, (List v, List target, float maxDistance), (v, target, maxDistance))
WRAP(List, Invert, (List v), (v))
WRAP(List, Clamp, (List v, List min, List max), (v, min, max))
WRAP(List, ClampValue, (List v, float min, float max), (v, min, max))
WRAP(bool, Equals, (List a, List b), (a, b))
WRAP(List, Refract, (List v, List normal, float ratio), (v, normal, ratio))
#undef ENTRY_GROUP
}  // namespace Vector2

namespace Vector3 {
#define ENTRY_GROUP "Vector3"
WRAP(List, Zero, (), ())
WRAP(List, One, (), ())
WRAP(List, Add, (List a, List b), (a, b))
WRAP(List, AddValue, (List v, float value), (v, value))
WRAP(List, Subtract, (List a, List b), (a, b))
WRAP(List, SubtractValue, (List v, float value), (v, value))
WRAP(List, Scale, (List v, float scale), (v, scale))
WRAP(List, Multiply, (List a, List b), (a, b))
WRAP(List, CrossProduct, (List a, List b), (a, b))
WRAP(List, Perpendicular, (List v), (v))
WRAP(float, Length, (List v), (v))
WRAP(float, LengthSqr, (List v), (v))
WRAP(float, DotProduct, (List a, List b), (a, b))
WRAP(float, Distance, (List a, List b), (a, b))
WRAP(float, DistanceSqr, (List a, List b), (a, b))
WRAP(float, Angle, (List a, List b), (a, b))
WRAP(List, Negate, (List v), (v))
WRAP(List, Divide, (List a, List b), (a, b))
WRAP(List, Normalize, (List v), (v))
WRAP(List, Project, (List v, List onto), (v, onto))
WRAP(List, Reject, (List v, List from), (v, from))
WRAP(List, Transform, (List point, List matrix), (point, matrix))
WRAP(List, RotateByAxisAngle, (List v, List axis, float angle), (v, axis, angle))
WRAP(List, MoveTowards, (List v, List target, float maxDistance), (v, target, maxDistance))
WRAP(List, Lerp, (List a, List b, float amount), (a, b, amount))
WRAP(List, CubicHermite, (List a, List tangentA, List b, List tangentB, float amount), (a, tangentA, b, tangentB, amount))
WRAP(List, Reflect, (List v, List normal), (v, normal))
WRAP(List, Min, (List a, List b), (a, b))
WRAP(List, Max, (List a, List b), (a, b))
WRAP(List, Barycenter, (List point, List a, List b, List c), (point, a, b, c))
WRAP(List, Invert, (List v), (v))
WRAP(List, Clamp, (List v, List min, List max), (v, min, max))
WRAP(List, ClampValue, (List v, float min, float max), (v, min, max))
WRAP(bool, Equals, (List a, List b), (a, b))
WRAP(List, Refract, (List v, List normal, float ratio), (v, normal, ratio))
#undef ENTRY_GROUP
}  // namespace Vector3

namespace Matrix {
#define ENTRY_GROUP "Matrix"
WRAP(float, Determinant, (List m), (m))
WRAP(float, Trace, (List m), (m))
WRAP(List, Transpose, (List m), (m))
WRAP(List, Identity, (), ())
WRAP(List, Add, (List a, List b), (a, b))
WRAP(List, Subtract, (List a, List b), (a, b))
WRAP(List, Multiply, (List a, List b), (a, b))
WRAP(List, Translate, (float x, float y, float z), (x, y, z))
WRAP(List, Rotate, (List axis, float angle), (axis, angle))
WRAP(List, RotateXYZ, (List angles), (angles))
WRAP(List, Scale, (float x, float y, float z), (x, y, z))
#undef ENTRY_GROUP
}  // namespace Matrix

}  // namespace Game
