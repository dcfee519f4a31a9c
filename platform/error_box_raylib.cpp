// The error box drawn with raylib: in the program's window when one is open
// (with whatever the game did to the cursor undone), else in a small window
// of its own. No terminal is needed to read or dismiss it.
#include "ErrorBox.h"

#include <algorithm>
#include "raylib.h"
#include "rlgl.h"       // Required for: resetting a half-finished 3D pass

namespace Platform {
namespace {

constexpr int kFontSize = 20;
constexpr int kSpacing = 2;
constexpr int kPad = 20;
constexpr int kTitleHeight = 34;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 34;

// A crash may come in the middle of a frame, even inside a 3D pass: go back
// to plain 2D drawing on the window's own framebuffer.
void ResetToScreenSpace() {
    rlDrawRenderBatchActive();
    rlDisableFramebuffer();
    rlDisableShader();
    rlViewport(0, 0, GetRenderWidth(), GetRenderHeight());
    rlMatrixMode(RL_PROJECTION);
    rlLoadIdentity();
    rlOrtho(0, GetScreenWidth(), GetScreenHeight(), 0, 0.0, 1.0);
    rlMatrixMode(RL_MODELVIEW);
    rlLoadIdentity();
    rlDisableDepthTest();
    rlEnableColorBlend();
    rlEnableBackfaceCulling();
}

void DrawErrorIcon(Vector2 centre) {
    DrawCircleV(centre, 16, (Color){200, 40, 40, 255});
    DrawLineEx({centre.x - 7, centre.y - 7}, {centre.x + 7, centre.y + 7}, 4, RAYWHITE);
    DrawLineEx({centre.x - 7, centre.y + 7}, {centre.x + 7, centre.y - 7}, 4, RAYWHITE);
}

// One frame of the box; returns true when the OK button was clicked.
bool DrawBox(const std::string& caption, const std::string& message) {
    Font font = GetFontDefault();
    Vector2 text = MeasureTextEx(font, message.c_str(), kFontSize, kSpacing);
    int iconSpace = 48;
    int width = std::max(360, static_cast<int>(text.x) + iconSpace + 2 * kPad);
    width = std::min(width, GetScreenWidth() - 20);
    int height = kTitleHeight + kPad + std::max(static_cast<int>(text.y), 32) + kPad + kButtonHeight + kPad;
    Rectangle box = {(GetScreenWidth() - width) / 2.0f, (GetScreenHeight() - height) / 2.0f,
                     static_cast<float>(width), static_cast<float>(height)};
    Rectangle button = {box.x + box.width - kButtonWidth - kPad, box.y + box.height - kButtonHeight - kPad,
                        kButtonWidth, kButtonHeight};
    bool hover = CheckCollisionPointRec(GetMousePosition(), button);

    BeginDrawing();
    ClearBackground((Color){40, 40, 46, 255});
    DrawRectangleRec(box, (Color){240, 240, 240, 255});
    DrawRectangle(box.x, box.y, box.width, kTitleHeight, (Color){70, 70, 80, 255});
    DrawTextEx(font, caption.c_str(), {box.x + 12, box.y + 8}, kFontSize, kSpacing, RAYWHITE);
    DrawErrorIcon({box.x + kPad + 16, box.y + kTitleHeight + kPad + 16});
    DrawTextEx(font, message.c_str(), {box.x + kPad + iconSpace, box.y + kTitleHeight + kPad + 6},
               kFontSize, kSpacing, (Color){20, 20, 20, 255});
    DrawRectangleRec(button, hover ? (Color){200, 220, 250, 255} : (Color){225, 225, 225, 255});
    DrawRectangleLinesEx(button, 2, (Color){90, 120, 180, 255});
    Vector2 ok = MeasureTextEx(font, "OK", kFontSize, kSpacing);
    DrawTextEx(font, "OK", {button.x + (button.width - ok.x) / 2, button.y + (button.height - ok.y) / 2},
               kFontSize, kSpacing, (Color){20, 20, 20, 255});
    EndDrawing();

    return hover && IsMouseButtonReleased(MOUSE_BUTTON_LEFT);
}

// Reads the queue of pressed keys rather than key states: a quick tap can go
// down and up between two frames and would be missed otherwise.
bool DismissKeyPressed() {
    for (int key = GetKeyPressed(); key != 0; key = GetKeyPressed()) {
        if (key == KEY_ENTER || key == KEY_KP_ENTER || key == KEY_ESCAPE) return true;
    }
    return false;
}

}  // namespace

void ShowErrorBox(const std::string& caption, const std::string& message) {
    bool ownWindow = !IsWindowReady();
    if (ownWindow) {
        SetConfigFlags(FLAG_VSYNC_HINT);
        InitWindow(640, 260, caption.c_str());
        if (!IsWindowReady()) return;  // no display at all: stderr already has the message
    } else {
        SetWindowTitle(caption.c_str());
        ResetToScreenSpace();
    }
    EnableCursor();
    ShowCursor();
    SetExitKey(KEY_NULL);  // Escape dismisses the box, it does not close the window
    SetTargetFPS(30);
    PollInputEvents();     // keys that were down before the box opened do not dismiss it

    while (!WindowShouldClose() && !DismissKeyPressed()) {
        if (DrawBox(caption, message)) break;
    }
    if (ownWindow) CloseWindow();
}

}  // namespace Platform
