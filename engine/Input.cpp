#include "Input.h"

#include <bitset>

#include <GLFW/glfw3.h>

#include "raylib.h"

namespace World::Input {
namespace {

// GLFW's key codes are raylib's (both follow the USB usage names), below 512.
constexpr int kKeys = 512;
constexpr int kButtons = 8;

struct Changes {
    std::bitset<kKeys> keyDown, keyUp;
    std::bitset<kButtons> buttonDown, buttonUp;
};
Changes Seen;
bool HeldMouse = false, HeldKeyboard = false, HeldFree = false, Captured = false;

GLFWkeyfun RaylibKey = nullptr;
GLFWmousebuttonfun RaylibButton = nullptr;

void OnKey(GLFWwindow* window, int key, int scancode, int action, int mods) {
    if (key >= 0 && key < kKeys) {
        if (action == GLFW_PRESS) Seen.keyDown.set(static_cast<std::size_t>(key));
        if (action == GLFW_RELEASE) Seen.keyUp.set(static_cast<std::size_t>(key));
    }
    if (RaylibKey) RaylibKey(window, key, scancode, action, mods);
}

void OnButton(GLFWwindow* window, int button, int action, int mods) {
    if (button >= 0 && button < kButtons) {
        if (action == GLFW_PRESS) Seen.buttonDown.set(static_cast<std::size_t>(button));
        if (action == GLFW_RELEASE) Seen.buttonUp.set(static_cast<std::size_t>(button));
    }
    if (RaylibButton) RaylibButton(window, button, action, mods);
}

template <std::size_t N>
bool Has(const std::bitset<N>& set, int index) {
    return index >= 0 && index < static_cast<int>(N) && set.test(static_cast<std::size_t>(index));
}

}  // namespace

void Install() {
    // raylib's window handle is the system's (an X11 window, an HWND); its GLFW
    // window is the one whose context it made current on this thread.
    GLFWwindow* window = glfwGetCurrentContext();
    if (!window || RaylibKey || RaylibButton) return;
    RaylibKey = glfwSetKeyCallback(window, OnKey);
    RaylibButton = glfwSetMouseButtonCallback(window, OnButton);
}

void BeginPoll() { Seen = Changes{}; }

void Hold(bool mouse, bool keyboard) {
    HeldMouse = mouse;
    HeldKeyboard = keyboard;
}
bool MouseHeld() { return HeldMouse; }
bool KeyboardHeld() { return HeldKeyboard; }
void HoldPointerFree(bool free) { HeldFree = free; }
bool PointerHeldFree() { return HeldFree; }
void NoteGameCapture(bool captured) { Captured = captured; }
bool GameCaptured() { return Captured; }

bool KeyPressed(int key) { return !HeldKeyboard && (IsKeyPressed(key) || Has(Seen.keyDown, key)); }
bool KeyReleased(int key) { return !HeldKeyboard && (IsKeyReleased(key) || Has(Seen.keyUp, key)); }
bool ButtonPressed(int button) { return !HeldMouse && (IsMouseButtonPressed(button) || Has(Seen.buttonDown, button)); }
bool ButtonReleased(int button) { return !HeldMouse && (IsMouseButtonReleased(button) || Has(Seen.buttonUp, button)); }

}  // namespace World::Input
