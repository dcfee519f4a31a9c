// Keyboard, mouse, cursor, camera and frame-time entries: thin bridges to raylib
// and to GameCamera.
#include <sstream>
#include <stdexcept>

#include "Catalog.h"
#include "Input.h"
#include "MouseFocus.h"
#include "World.h"
#include "base/Numbers.h"
#include "raylib.h"

namespace World::Api {
namespace {

// GLFW reports the pointer's absolute position as movement when it enters the
// window, also while another window has focus; and when focus comes back to a
// window with a captured pointer it re-centres the pointer and reports that
// jump as well. Neither is the player moving the mouse, so a poll that did not
// start and end with the window focused moves nothing. The jump can come a
// poll or two later (a slow frame, the X server's round trip), and capturing
// or freeing the pointer moves it too: the next kSettlingPolls polls after
// either move nothing either. Hosts that never run the frame loop (tests
// calling the entries directly) see raylib's delta.
bool MouseSettled = true;
constexpr int kSettlingPolls = 2;
int SettlingPolls = 0;

Vector2 MouseDelta() { return MouseSettled && !Input::MouseHeld() ? GetMouseDelta() : Vector2{0, 0}; }

// What a tool of the host over the game holds, the game does not see.
bool KeyRepeated(int key) { return !Input::KeyboardHeld() && IsKeyPressedRepeat(key); }
bool KeyDown(int key) { return !Input::KeyboardHeld() && IsKeyDown(key); }
int NextKey() {
    const int key = GetKeyPressed();
    return Input::KeyboardHeld() ? 0 : key;
}
int NextChar() {
    const int code = GetCharPressed();
    return Input::KeyboardHeld() ? 0 : code;
}
bool ButtonDown(int button) { return !Input::MouseHeld() && IsMouseButtonDown(button); }
bool ButtonUp(int button) { return Input::MouseHeld() || IsMouseButtonUp(button); }
Vector2 Wheel() { return Input::MouseHeld() ? Vector2{0, 0} : GetMouseWheelMoveV(); }


// A screen position in whole pixels: a vec2 truncated toward zero.
struct Pixels {
    int x, y;
};

}  // namespace

// Converting a float that is not finite, or whose whole part does not fit an
// int, is undefined behaviour; such a value is refused, naming the entry,
// the argument and the element.
template <>
struct Kind<Pixels> {
    static constexpr KindInfo kInfo{"vec2", "whole pixels, truncated toward zero"};
    static int Whole(float v, const char* entry, std::size_t position, int element) {
        if (base::FitsInt(v)) return static_cast<int>(v);
        std::ostringstream text;
        text << entry << ": argument " << position << " element " << element << " (" << v << ") "
             << (base::Finite(v) ? "is outside the range of whole pixels (int)" : "is not a finite number");
        throw std::out_of_range(text.str());
    }
    static Pixels Read(const std::any& value, const char* entry, std::size_t position) {
        const Vector2 v = Kind<Vector2>::Read(value, entry, position);
        const int x = Whole(v.x, entry, position, 0);
        return {x, Whole(v.y, entry, position, 1)};
    }
};

namespace {

// A game re-anchoring the pointer for its mouse look would drag it away from the
// tool holding it free.
void SetMousePositionTruncated(Pixels p) {
    if (!Input::PointerHeldFree()) SetMousePosition(p.x, p.y);
}
void HidePointer() {
    if (!Input::PointerHeldFree()) HideCursor();
}
void SetMouseOffsetTruncated(Pixels p) { SetMouseOffset(p.x, p.y); }

void SetCameraLookDirection(Vector3 d) {
    GameCamera.target = {GameCamera.position.x + d.x, GameCamera.position.y + d.y, GameCamera.position.z + d.z};
}
void SetCameraUpDirection(Vector3 d) { GameCamera.up = d; }
void SetCameraPosition(Vector3 p) { GameCamera.position = p; }
void SetCameraFOV(float fov) { GameCamera.fovy = fov; }
// While the pointer is held free, the game's wish is kept and done when it is let go.
void CaptureCursor() {
    Input::NoteGameCapture(true);
    if (Input::PointerHeldFree()) return;
    DisableCursor();
    SettlingPolls = kSettlingPolls;
}
void FreeCursor() {
    Input::NoteGameCapture(false);
    if (Input::PointerHeldFree()) return;
    EnableCursor();
    SettlingPolls = kSettlingPolls;
}
float DeltaTime() { return App::FrameSeconds; }

}  // namespace

void NotePointerMoved() { SettlingPolls = kSettlingPolls; }

void NoteFocusAroundPoll(bool focusedBefore, bool focusedAfter) {
    if (focusedAfter && !focusedBefore) SettlingPolls = kSettlingPolls;
    MouseSettled = focusedBefore && focusedAfter && SettlingPolls == 0;
    if (focusedBefore && focusedAfter && SettlingPolls > 0) --SettlingPolls;
}

void AddInputEntries(Catalog& c) {
    c.push_back(Op("IsKeyPressed", Input::KeyPressed, "Key went down since the last frame (a tap within one frame too).",
                   {"key code"}));
    c.push_back(Op("IsKeyPressedRepeat", KeyRepeated, "Key repeat fired this frame.", {"key code"}));
    c.push_back(Op("IsKeyDown", KeyDown, "Key is held.", {"key code"}));
    c.push_back(Op("IsKeyReleased", Input::KeyReleased, "Key went up since the last frame (a tap within one frame too).",
                   {"key code"}));
    c.push_back(Op("GetKeyPressed", NextKey, "Next key code from the pressed-key queue, 0 when empty.", {}));
    c.push_back(Op("GetCharPressed", NextChar,
        "Next character code from the typed-character queue, 0 when empty.",
        {}));
    c.push_back(Func("SetExitKey", SetExitKey, "Sets the key that closes the window.", {"key code"}));
    c.push_back(Op("IsMouseButtonPressed", Input::ButtonPressed,
                   "Button went down since the last frame (a click within one frame too).", {"button"}));
    c.push_back(Op("IsMouseButtonDown", ButtonDown, "Button is held.", {"button"}));
    c.push_back(Op("IsMouseButtonReleased", Input::ButtonReleased,
                   "Button went up since the last frame (a click within one frame too).", {"button"}));
    c.push_back(Op("IsMouseButtonUp", ButtonUp, "Button is not held.", {"button"}));
    c.push_back(Op("GetMouseX", GetMouseX, "Cursor x in pixels.", {}));
    c.push_back(Op("GetMouseY", GetMouseY, "Cursor y in pixels.", {}));
    c.push_back(Op("GetMousePosition", GetMousePosition, "Cursor position.", {}));
    c.push_back(Op("GetMouseDelta", MouseDelta, "Cursor movement since the last frame.", {}));
    c.push_back(WindowFunc("SetMousePosition", SetMousePositionTruncated,
        "Moves the cursor to the truncated position.",
        {""}));
    c.push_back(WindowFunc("SetMouseOffset", SetMouseOffsetTruncated, "Sets the mouse coordinate offset, truncated.", {""}));
    c.push_back(Op("GetMouseWheel", Wheel, "Wheel movement on both axes this frame.", {}));
    c.push_back(WindowFunc("SetMouseCursor", SetMouseCursor, "Sets the cursor shape.", {"cursor shape"}));
    c.push_back(WindowFunc("ShowCursor", ShowCursor, "Shows the cursor.", {}));
    c.push_back(WindowFunc("HideCursor", HidePointer, "Hides the cursor.", {}));
    c.push_back(Op("IsCursorHidden", IsCursorHidden, "Whether the cursor is hidden.", {}));
    c.push_back(WindowFunc("EnableCursor", FreeCursor, "Unlocks the cursor.", {}));
    c.push_back(WindowFunc("DisableCursor", CaptureCursor, "Locks and hides the cursor.", {}));
    c.push_back(Op("IsCursorOnScreen", IsCursorOnScreen, "Whether the cursor is inside the window.", {}));
    c.push_back(Func("SetCameraLookDirection", SetCameraLookDirection,
        "Camera target becomes camera position plus the direction.",
        {"direction"}));
    c.push_back(Func("SetCameraUpDirection", SetCameraUpDirection, "Sets the camera's up vector.", {""}));
    c.push_back(Func("SetCameraPosition", SetCameraPosition, "Sets the camera position (target unchanged).", {""}));
    c.push_back(Func("SetCameraFOV", SetCameraFOV, "Sets the camera's vertical field of view.", {""}));
    c.push_back(Op("DeltaTime", DeltaTime, "Duration of the last frame in seconds (0 for the first).", {}));
}

}  // namespace World::Api
