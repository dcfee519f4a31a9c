// Names for the numbers the input entries take: keys, mouse buttons, gamepad
// buttons and axes. They are raylib's (and GLFW's) numbering, so a number read
// from the host compares equal to these.
//
//   if (Game::IsKeyPressed(Game::Key::Space)) Jump();
//   if (Game::IsMouseButtonDown(Game::Mouse::Left)) Fire();
//   float x = Game::GetGamepadAxisMovement(0, Game::Gamepad::LeftX);
#pragma once

namespace Game {

namespace Key {
// Printable keys: their ASCII upper-case character.
constexpr int Space = 32, Apostrophe = 39, Comma = 44, Minus = 45, Period = 46, Slash = 47;
constexpr int Zero = 48, One = 49, Two = 50, Three = 51, Four = 52, Five = 53, Six = 54, Seven = 55, Eight = 56,
              Nine = 57;
constexpr int Semicolon = 59, Equal = 61;
constexpr int A = 65, B = 66, C = 67, D = 68, E = 69, F = 70, G = 71, H = 72, I = 73, J = 74, K = 75, L = 76, M = 77,
              N = 78, O = 79, P = 80, Q = 81, R = 82, S = 83, T = 84, U = 85, V = 86, W = 87, X = 88, Y = 89, Z = 90;
constexpr int LeftBracket = 91, Backslash = 92, RightBracket = 93, Grave = 96;
// Function and editing keys.
constexpr int Escape = 256, Enter = 257, Tab = 258, Backspace = 259, Insert = 260, Delete = 261;
constexpr int Right = 262, Left = 263, Down = 264, Up = 265, PageUp = 266, PageDown = 267, Home = 268, End = 269;
constexpr int CapsLock = 280, ScrollLock = 281, NumLock = 282, PrintScreen = 283, Pause = 284;
constexpr int F1 = 290, F2 = 291, F3 = 292, F4 = 293, F5 = 294, F6 = 295, F7 = 296, F8 = 297, F9 = 298, F10 = 299,
              F11 = 300, F12 = 301;
constexpr int LeftShift = 340, LeftControl = 341, LeftAlt = 342, LeftSuper = 343;
constexpr int RightShift = 344, RightControl = 345, RightAlt = 346, RightSuper = 347, Menu = 348;
// The keypad.
constexpr int Keypad0 = 320, Keypad1 = 321, Keypad2 = 322, Keypad3 = 323, Keypad4 = 324, Keypad5 = 325,
              Keypad6 = 326, Keypad7 = 327, Keypad8 = 328, Keypad9 = 329;
constexpr int KeypadDecimal = 330, KeypadDivide = 331, KeypadMultiply = 332, KeypadSubtract = 333, KeypadAdd = 334,
              KeypadEnter = 335, KeypadEqual = 336;
}  // namespace Key

namespace Mouse {
constexpr int Left = 0, Right = 1, Middle = 2, Side = 3, Extra = 4, Forward = 5, Back = 6;
}  // namespace Mouse

namespace Gamepad {
// Buttons by where they sit, whatever the pad prints on them: the right face's
// South is A on an Xbox pad and Cross on a PlayStation one.
constexpr int DpadUp = 1, DpadRight = 2, DpadDown = 3, DpadLeft = 4;
constexpr int North = 5, East = 6, South = 7, West = 8;
constexpr int LeftBumper = 9, LeftTrigger = 10, RightBumper = 11, RightTrigger = 12;
constexpr int Select = 13, Guide = 14, Start = 15, LeftThumb = 16, RightThumb = 17;
// Axes: sticks -1..1 (x right, y down), triggers 0..1.
constexpr int LeftX = 0, LeftY = 1, RightX = 2, RightY = 3, LeftTriggerAxis = 4, RightTriggerAxis = 5;
}  // namespace Gamepad

}  // namespace Game
