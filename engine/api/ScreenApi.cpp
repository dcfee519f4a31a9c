// Screen entries: text in the default font and in fonts loaded under names,
// shapes, images loaded under names, and where a point of the world shows on
// the screen. Each forwards to the screen layer (s2d.h); what the game draws
// in tick lies over the scene and under the frame-rate counter, in call order.
#include <cmath>
#include <string>

#include "Catalog.h"
#include "Global.h"
#include "Messages.h"
#include "World.h"
#include "raymath.h"
#include "s2d.h"

namespace World::Api {

namespace {

// A float that must be a number: NaN or infinity in a size or a position is a
// bug in the game, reported rather than drawn as nothing. Typed entries get
// their name put in front by the adapter; raw ones pass it.
float Number(float value, int position, const char* what, const char* entry = nullptr) {
    if (!std::isfinite(value))
        throw BadValue((entry ? std::string(entry) + ": " : std::string()) + "argument " + std::to_string(position) +
                       " (" + what + ") is not a finite number");
    return value;
}
Vector2 Number(Vector2 value, int position, const char* what, const char* entry = nullptr) {
    Number(value.x, position, what, entry), Number(value.y, position, what, entry);
    return value;
}
Rectangle Number(Rectangle value, int position, const char* what, const char* entry = nullptr) {
    Number(value.x, position, what, entry), Number(value.y, position, what, entry);
    Number(value.width, position, what, entry), Number(value.height, position, what, entry);
    return value;
}

S2D_Font DefaultFont() { return S2D_Font{0}; }
Vector2 Measure(S2D_Font font, const std::string& text, float size, float spacing) {
    return S2D_MeasureText(font, text.data(), text.size(), size, spacing);
}

// -- Text -------------------------------------------------------------------------

void DrawText(std::string text, int x, int y, int size, Color color) {
    S2D_DrawText(DefaultFont(), text.data(), text.size(), {static_cast<float>(x), static_cast<float>(y)},
                 static_cast<float>(size), 0, color);
}

int MeasureText(std::string text, int size) {
    // A text of millions of characters can measure past what an int holds.
    const float width = std::ceil(Measure(DefaultFont(), text, static_cast<float>(size), 0).x);
    return width < 2147483520.0f ? static_cast<int>(width) : 2147483520;
}

void LoadFont(const Params& params, const char* entry) {
    const std::string& name = Arg<std::string>(params, 0, entry);
    const std::string& path = Arg<std::string>(params, 1, entry);
    Fail(Fatal::FontExists, Screen::Fonts.count(name) != 0, entry, name);
    Screen::LoadFont(name, path);
}

void UnloadFont(const Params& params, const char* entry) {
    const std::string& name = Arg<std::string>(params, 0, entry);
    if (name == Screen::kDefaultFont) throw BadValue(std::string(entry) + ": the default font cannot be unloaded");
    S2D_UnloadFont(Screen::FontNamed(entry, name));
    Screen::Fonts.erase(name);
}

void DrawTextEx(const Params& params, const char* entry) {
    const std::string& name = Arg<std::string>(params, 0, entry);
    const std::string& text = Arg<std::string>(params, 1, entry);
    const Vector2 position = Arg<Vector2>(params, 2, entry);
    const float size = Arg<float>(params, 3, entry), spacing = Arg<float>(params, 4, entry);
    const Color color = Arg<Color>(params, 5, entry);
    Number(position, 2, "position", entry), Number(size, 3, "size", entry), Number(spacing, 4, "spacing", entry);
    S2D_DrawText(Screen::FontNamed(entry, name), text.data(), text.size(), position, size, spacing, color);
}

std::any MeasureTextEx(const Params& params, const char* entry) {
    const std::string& name = Arg<std::string>(params, 0, entry);
    const std::string& text = Arg<std::string>(params, 1, entry);
    const float size = Arg<float>(params, 2, entry), spacing = Arg<float>(params, 3, entry);
    Number(size, 2, "size", entry), Number(spacing, 3, "spacing", entry);
    return Kind<Vector2>::Write(Measure(Screen::FontNamed(entry, name), text, size, spacing));
}

// -- Shapes -----------------------------------------------------------------------

Rectangle Whole(int x, int y, int width, int height) {
    return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(width), static_cast<float>(height)};
}

void DrawRectangle(int x, int y, int width, int height, Color color) {
    S2D_DrawRectangle(Whole(x, y, width, height), color);
}
void DrawRectangleLines(int x, int y, int width, int height, Color color) {
    S2D_DrawRectangleLines(Whole(x, y, width, height), 1, color);
}
void DrawRectangleRounded(Rectangle rec, float roundness, Color color) {
    S2D_DrawRectangleRounded(Number(rec, 0, "rectangle"), Number(roundness, 1, "roundness"), color);
}
void DrawRectangleRoundedLines(Rectangle rec, float roundness, float thickness, Color color) {
    S2D_DrawRectangleRoundedLines(Number(rec, 0, "rectangle"), Number(roundness, 1, "roundness"),
                                  Number(thickness, 2, "thickness"), color);
}
void DrawCircle(Vector2 center, float radius, Color color) {
    S2D_DrawCircle(Number(center, 0, "centre"), Number(radius, 1, "radius"), color);
}
void DrawCircleLines(Vector2 center, float radius, Color color) {
    S2D_DrawCircleLines(Number(center, 0, "centre"), Number(radius, 1, "radius"), 1, color);
}
void DrawLine(Vector2 start, Vector2 end, float thickness, Color color) {
    S2D_DrawLine(Number(start, 0, "start"), Number(end, 1, "end"), Number(thickness, 2, "thickness"), color);
}

// -- Images -----------------------------------------------------------------------

void LoadTexture(const Params& params, const char* entry) {
    const std::string& name = Arg<std::string>(params, 0, entry);
    const std::string& path = Arg<std::string>(params, 1, entry);
    Fail(Fatal::ImageExists, Screen::Images.count(name) != 0, entry, name);
    Screen::LoadImage(name, path);
}

void UnloadTexture(const Params& params, const char* entry) {
    const std::string& name = Arg<std::string>(params, 0, entry);
    S2D_UnloadImage(Screen::ImageNamed(entry, name));
    Screen::Images.erase(name);
}

void DrawTexture(const Params& params, const char* entry) {
    const std::string& name = Arg<std::string>(params, 0, entry);
    const int x = Arg<int>(params, 1, entry), y = Arg<int>(params, 2, entry);
    const Color tint = Arg<Color>(params, 3, entry);
    const S2D_Image image = Screen::ImageNamed(entry, name);
    const float w = static_cast<float>(S2D_GetImageWidth(image)), h = static_cast<float>(S2D_GetImageHeight(image));
    S2D_DrawImage(image, {0, 0, w, h}, {static_cast<float>(x), static_cast<float>(y), w, h}, {0, 0}, 0, tint);
}

void DrawTexturePro(const Params& params, const char* entry) {
    const std::string& name = Arg<std::string>(params, 0, entry);
    const Rectangle source = Arg<Rectangle>(params, 1, entry), dest = Arg<Rectangle>(params, 2, entry);
    const Vector2 origin = Arg<Vector2>(params, 3, entry);
    const float rotation = Arg<float>(params, 4, entry);
    const Color tint = Arg<Color>(params, 5, entry);
    Number(source, 1, "source", entry), Number(dest, 2, "destination", entry), Number(origin, 3, "origin", entry);
    Number(rotation, 4, "rotation", entry);
    S2D_DrawImage(Screen::ImageNamed(entry, name), source, dest, origin, rotation, tint);
}

template <int (*Side)(S2D_Image)>
std::any ImageSide(const Params& params, const char* entry) {
    return Side(Screen::ImageNamed(entry, Arg<std::string>(params, 0, entry)));
}

// -- The screen and the world ------------------------------------------------------

Vector2 WorldToScreen(Vector3 point) { return GetWorldToScreen(point, GameCamera); }

// In front of the camera, beyond its near plane: only then does the screen
// position say where the point shows (behind, it comes out mirrored).
bool IsInFrontOfCamera(Vector3 point) {
    const Vector3 forward = Vector3Normalize(Vector3Subtract(GameCamera.target, GameCamera.position));
    return Vector3DotProduct(Vector3Subtract(point, GameCamera.position), forward) > 0.05f;
}

int ScreenWidth() { return GetScreenWidth(); }
int ScreenHeight() { return GetScreenHeight(); }

}  // namespace

void AddScreenEntries(Catalog& c) {
    c.push_back(Func("DrawText", DrawText));
    c.push_back(Op("MeasureText", MeasureText));
    c.push_back(RawFunc<std::string, std::string>("LoadFont", LoadFont));
    c.push_back(RawFunc<std::string>("UnloadFont", UnloadFont));
    c.push_back(RawFunc<std::string, std::string, Vector2, float, float, Color>("DrawTextEx", DrawTextEx));
    c.push_back(RawOp<Vector2, std::string, std::string, float, float>("MeasureTextEx", MeasureTextEx));
    c.push_back(Func("DrawRectangle", DrawRectangle));
    c.push_back(Func("DrawRectangleLines", DrawRectangleLines));
    c.push_back(Func("DrawRectangleRounded", DrawRectangleRounded));
    c.push_back(Func("DrawRectangleRoundedLines", DrawRectangleRoundedLines));
    c.push_back(Func("DrawCircle", DrawCircle));
    c.push_back(Func("DrawCircleLines", DrawCircleLines));
    c.push_back(Func("DrawLine", DrawLine));
    c.push_back(RawFunc<std::string, std::string>("LoadTexture", LoadTexture));
    c.push_back(RawFunc<std::string>("UnloadTexture", UnloadTexture));
    c.push_back(RawFunc<std::string, int, int, Color>("DrawTexture", DrawTexture));
    c.push_back(RawFunc<std::string, Rectangle, Rectangle, Vector2, float, Color>("DrawTexturePro", DrawTexturePro));
    c.push_back(RawOp<int, std::string>("GetTextureWidth", ImageSide<S2D_GetImageWidth>));
    c.push_back(RawOp<int, std::string>("GetTextureHeight", ImageSide<S2D_GetImageHeight>));
    c.push_back(Op("GetWorldToScreen", WorldToScreen));
    c.push_back(Op("IsInFrontOfCamera", IsInFrontOfCamera));
    c.push_back(Op("GetScreenWidth", ScreenWidth));
    c.push_back(Op("GetScreenHeight", ScreenHeight));
}

}  // namespace World::Api
