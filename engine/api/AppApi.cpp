// The window, gamepads and clearing the scene: what a game needs to be its own
// program rather than the engine's demo.
#include <algorithm>
#include <cmath>
#include <string>

#include "Catalog.h"
#include "World.h"
#include "raylib.h"

namespace World::Api {
namespace {

void SetTitle(std::string title) { SetWindowTitle(title.c_str()); }
void SetFpsVisible(bool visible) { App::FpsVisible = visible; }
void SetZeroScaleWarning(bool on) { App::SetZeroScaleWarning(on); }
void ClearScene() { ClearInstances(); }

// raylib reads its tables at whatever index it is given: a pad, button or axis
// out of range is answered as a gamepad that is not there.
constexpr int kPads = 4, kButtons = 32, kAxes = 6;
bool Pad(int pad) { return pad >= 0 && pad < kPads && IsGamepadAvailable(pad); }

bool GamepadAvailable(int pad) { return Pad(pad); }
std::string GamepadName(int pad) {
    const char* name = Pad(pad) ? GetGamepadName(pad) : nullptr;
    return name ? name : "";
}
bool ButtonDown(int pad, int button) { return Pad(pad) && button >= 0 && button < kButtons && IsGamepadButtonDown(pad, button); }
bool ButtonPressed(int pad, int button) {
    return Pad(pad) && button >= 0 && button < kButtons && IsGamepadButtonPressed(pad, button);
}
bool ButtonReleased(int pad, int button) {
    return Pad(pad) && button >= 0 && button < kButtons && IsGamepadButtonReleased(pad, button);
}

// Sticks rest near 0 but rarely at it: within the dead zone they read 0, and
// past it the rest of the travel is stretched back to 0..1. Triggers (raylib's
// axes 4 and 5, -1 released) read 0 released to 1 pressed.
constexpr float kDeadZone = 0.15f;
float AxisMovement(int pad, int axis) {
    if (!Pad(pad) || axis < 0 || axis >= kAxes) return 0.0f;
    const float raw = GetGamepadAxisMovement(pad, axis);
    if (!std::isfinite(raw)) return 0.0f;
    if (axis == GAMEPAD_AXIS_LEFT_TRIGGER || axis == GAMEPAD_AXIS_RIGHT_TRIGGER)
        return std::clamp((raw + 1.0f) * 0.5f, 0.0f, 1.0f);
    const float size = std::fabs(raw);
    if (size <= kDeadZone) return 0.0f;
    return std::copysign(std::min(1.0f, (size - kDeadZone) / (1.0f - kDeadZone)), raw);
}

void SetInspectorEnabled(bool enabled) { App::InspectorAllowed = enabled ? 1 : 0; }
bool IsInspectorShown() { return App::InspectorShown; }

}  // namespace

void AddInspectorEntries(Catalog& c) {
    c.push_back(Func("SetInspectorEnabled", SetInspectorEnabled,
                     "Lets F1 show the inspector (true) or not (false: hidden and the key off). Without the call it is on "
                     "while developing and off in a packed game; VANTOR_INSPECT=0 keeps it off whatever the game says.",
                     {""}));
    c.push_back(Op("IsInspectorShown", IsInspectorShown, "Whether the inspector is shown over the game.", {}));
}

void AddAppEntries(Catalog& c) {
    c.push_back(WindowFunc("SetWindowTitle", SetTitle, "Sets the window's title.", {"title"}));
    c.push_back(Func("SetFPSVisible", SetFpsVisible, "Shows (true, the default) or hides the frame-rate counter.",
                     {""}));
    c.push_back(Func("SetZeroScaleWarning", SetZeroScaleWarning,
                     "Turns the warning about a model instance left at scale 0 on (the default) or off.", {""}));
    c.push_back(Op("IsGamepadAvailable", GamepadAvailable, "Whether a gamepad is connected as that pad.", {"pad 0..3"}));
    c.push_back(Op("GetGamepadName", GamepadName, "The pad's name, \"\" when none is connected.", {"pad 0..3"}));
    c.push_back(Op("IsGamepadButtonDown", ButtonDown, "Button is held.", {"pad 0..3", "button (raylib's numbering)"}));
    c.push_back(Op("IsGamepadButtonPressed", ButtonPressed, "Button went down this frame.",
                   {"pad 0..3", "button (raylib's numbering)"}));
    c.push_back(Op("IsGamepadButtonReleased", ButtonReleased, "Button went up this frame.",
                   {"pad 0..3", "button (raylib's numbering)"}));
    c.push_back(Op("GetGamepadAxisMovement", AxisMovement,
                   "Stick axes -1..1 with a dead zone around 0; triggers 0 released to 1 pressed; 0 without the pad.",
                   {"pad 0..3", "axis (raylib's numbering: 0..3 sticks, 4 and 5 triggers)"}));
    c.push_back(Func("ClearScene", ClearScene,
                     "Destroys every instance the game made, with its body, sounds and animation; what is loaded stays.",
                     {}));
}

}  // namespace World::Api
