// Keyboard, mouse, cursor, camera and frame-time entries: thin bridges to raylib
// and to GameCamera.
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "Catalog.h"
#include "MouseFocus.h"
#include "raylib.h"

namespace World::Api {
namespace {

// GLFW reports the pointer's absolute position as movement when it enters the
// window, also while another window has focus; and when focus comes back to a
// window with a captured pointer it re-centres the pointer and reports that
// jump as well. Neither is the player moving the mouse, so a poll that did not
// start and end with the window focused moves nothing. Hosts that never run
// the frame loop (tests calling the entries directly) see raylib's delta.
bool MouseSettled = true;

Vector2 MouseDelta() { return MouseSettled ? GetMouseDelta() : Vector2{0, 0}; }


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
        // Every float strictly between these two truncates to an int.
        if (std::isfinite(v) && v > -2147483649.0 && v < 2147483648.0) return static_cast<int>(v);
        std::ostringstream text;
        text << entry << ": argument " << position << " element " << element << " (" << v << ") "
             << (std::isfinite(v) ? "is outside the range of whole pixels (int)" : "is not a finite number");
        throw std::out_of_range(text.str());
    }
    static Pixels Read(const std::any& value, const char* entry, std::size_t position) {
        const Vector2 v = Kind<Vector2>::Read(value, entry, position);
        const int x = Whole(v.x, entry, position, 0);
        return {x, Whole(v.y, entry, position, 1)};
    }
};

namespace {

void SetMousePositionTruncated(Pixels p) { SetMousePosition(p.x, p.y); }
void SetMouseOffsetTruncated(Pixels p) { SetMouseOffset(p.x, p.y); }

void SetCameraLookDirection(Vector3 d) {
    GameCamera.target = {GameCamera.position.x + d.x, GameCamera.position.y + d.y, GameCamera.position.z + d.z};
}
void SetCameraUpDirection(Vector3 d) { GameCamera.up = d; }
void SetCameraPosition(Vector3 p) { GameCamera.position = p; }
void SetCameraFOV(float fov) { GameCamera.fovy = fov; }

}  // namespace

void NoteFocusAroundPoll(bool focusedBefore, bool focusedAfter) { MouseSettled = focusedBefore && focusedAfter; }

void AddInputEntries(Catalog& c) {
    c.push_back(Op("IsKeyPressed", IsKeyPressed));
    c.push_back(Op("IsKeyPressedRepeat", IsKeyPressedRepeat));
    c.push_back(Op("IsKeyDown", IsKeyDown));
    c.push_back(Op("IsKeyReleased", IsKeyReleased));
    c.push_back(Op("GetKeyPressed", GetKeyPressed));
    c.push_back(Op("GetCharPressed", GetCharPressed));
    c.push_back(Func("SetExitKey", SetExitKey));
    c.push_back(Op("IsMouseButtonPressed", IsMouseButtonPressed));
    c.push_back(Op("IsMouseButtonDown", IsMouseButtonDown));
    c.push_back(Op("IsMouseButtonReleased", IsMouseButtonReleased));
    c.push_back(Op("IsMouseButtonUp", IsMouseButtonUp));
    c.push_back(Op("GetMouseX", GetMouseX));
    c.push_back(Op("GetMouseY", GetMouseY));
    c.push_back(Op("GetMousePosition", GetMousePosition));
    c.push_back(Op("GetMouseDelta", MouseDelta));
    c.push_back(Func("SetMousePosition", SetMousePositionTruncated));
    c.push_back(Func("SetMouseOffset", SetMouseOffsetTruncated));
    c.push_back(Op("GetMouseWheel", GetMouseWheelMoveV));
    c.push_back(Func("SetMouseCursor", SetMouseCursor));
    c.push_back(Func("ShowCursor", ShowCursor));
    c.push_back(Func("HideCursor", HideCursor));
    c.push_back(Op("IsCursorHidden", IsCursorHidden));
    c.push_back(Func("EnableCursor", EnableCursor));
    c.push_back(Func("DisableCursor", DisableCursor));
    c.push_back(Op("IsCursorOnScreen", IsCursorOnScreen));
    c.push_back(Func("SetCameraLookDirection", SetCameraLookDirection));
    c.push_back(Func("SetCameraUpDirection", SetCameraUpDirection));
    c.push_back(Func("SetCameraPosition", SetCameraPosition));
    c.push_back(Func("SetCameraFOV", SetCameraFOV));
    c.push_back(Op("DeltaTime", GetFrameTime));
}

}  // namespace World::Api
