#include "Hud.h"

#include <algorithm>

#include <vantor/Game.h>

namespace hud {
namespace {

constexpr const char* kHint = "W A S D to walk, Space to jump, Esc to quit";
constexpr float kHintShown = 4.0f;   // seconds at full strength
constexpr float kHintFading = 1.5f;  // then gone over this long
constexpr int kHintSize = 24;

// Seconds since the game started, kept across rebuilds of game.dll so the
// hint does not come back with every change of the code.
float& Age() {
    static float& age = Game::Keep<float>("hud age");
    return age;
}

void Crosshair(int cx, int cy) {
    // A dark outline first keeps it visible on bright walls.
    Game::DrawRectangle(cx - 9, cy - 2, 18, 4, Game::Rgba(0, 0, 0, 110));
    Game::DrawRectangle(cx - 2, cy - 9, 4, 18, Game::Rgba(0, 0, 0, 110));
    Game::DrawRectangle(cx - 8, cy - 1, 16, 2, Game::Rgba(255, 255, 255, 220));
    Game::DrawRectangle(cx - 1, cy - 8, 2, 16, Game::Rgba(255, 255, 255, 220));
}

void Hint(int width, int height, float age) {
    const float strength = std::clamp(1.0f - (age - kHintShown) / kHintFading, 0.0f, 1.0f);
    if (strength <= 0) return;
    const int alpha = static_cast<int>(255 * strength);
    const int textWidth = Game::MeasureText(kHint, kHintSize);
    const int x = (width - textWidth) / 2, y = height - 90;
    Game::DrawRectangleRounded({static_cast<float>(x - 16), static_cast<float>(y - 10), static_cast<float>(textWidth + 32), 48},
                               0.4f, Game::Rgba(0, 0, 0, alpha * 140 / 255));
    Game::DrawText(kHint, x, y, kHintSize, Game::Rgba(255, 255, 255, alpha));
}

}  // namespace

void Draw() {
    float& age = Age();
    age += Game::DeltaTime();
    const int width = Game::GetScreenWidth(), height = Game::GetScreenHeight();
    Crosshair(width / 2, height / 2);
    Hint(width, height, age);
}

}  // namespace hud
