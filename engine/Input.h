// Presses and releases between two frames. raylib keeps one state per key and
// compares it with the previous frame's, so a key or button pressed and
// released between two polls (a quick tap on a slow frame) looks untouched.
// GLFW reports every change: the host listens in front of raylib and keeps
// what changed during the latest poll, so such a tap is seen once as pressed
// and once as released.
#pragma once

namespace World::Input {

// Chains the window's key and mouse-button callbacks; after InitWindow.
void Install();
// Right before the frame's input poll: what the previous poll saw is forgotten.
void BeginPoll();

// raylib's answer, or a change GLFW reported during the latest poll.
bool KeyPressed(int key);
bool KeyReleased(int key);
bool ButtonPressed(int button);
bool ButtonReleased(int button);

}  // namespace World::Input
