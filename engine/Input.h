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

// A tool of the host drawn over the game (the inspector) takes the input it
// uses first: while the mouse or the keyboard is held, the game's entries see
// no buttons, wheel or movement, or no keys and typed text.
void Hold(bool mouse, bool keyboard);
bool MouseHeld();
bool KeyboardHeld();
// While the pointer is held free (the tool is shown), a game capturing it is
// remembered and done when it is let go; freeing it is remembered too.
void HoldPointerFree(bool free);
bool PointerHeldFree();
void NoteGameCapture(bool captured);
bool GameCaptured();

}  // namespace World::Input
