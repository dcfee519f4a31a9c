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
#include "base/Numbers.h"
#include "raymath.h"
#include "s2d.h"

namespace World::Api {

namespace {

// A float that must be a number: NaN or infinity in a size or a position is a
// bug in the game, reported rather than drawn as nothing. Typed entries get
// their name put in front by the adapter; raw ones pass it.
[[noreturn]] void NotFinite(int position, const char* what, const char* entry) {
    throw BadValue((entry ? std::string(entry) + ": " : std::string()) + "argument " + std::to_string(position) +
                   " (" + what + ") is not a finite number");
}
float Number(float value, int position, const char* what, const char* entry = nullptr) {
    if (!base::Finite(value)) NotFinite(position, what, entry);
    return value;
}
Vector2 Number(Vector2 value, int position, const char* what, const char* entry = nullptr) {
    if (!base::FiniteVector(value)) NotFinite(position, what, entry);
    return value;
}
Rectangle Number(Rectangle value, int position, const char* what, const char* entry = nullptr) {
    if (!base::Finite(value.x, value.y, value.width, value.height)) NotFinite(position, what, entry);
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

// Without a screen (headless) raylib's projection would divide 0 by 0: a point
// shows nowhere, answered as the corner rather than as NaN, which the drawing
// entries refuse.
Vector2 WorldToScreen(Vector3 point) {
    if (GetScreenWidth() <= 0 || GetScreenHeight() <= 0) return {0, 0};
    return GetWorldToScreen(point, GameCamera);
}

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
    c.push_back(Func("DrawText", DrawText,
        "Draws UTF-8 text in the default font over the scene; each \"\\n\" starts a new line. Over the scene and "
        "under the frame-rate counter, in call order.",
        {"text", "x of the top left corner", "y of the top left corner", "size in pixels", "colour"}));
    c.push_back(Op("MeasureText", MeasureText,
        "The width in pixels of text drawn by \"DrawText\" at that size.",
        {"text", "size in pixels"}));
    c.push_back(RawFunc<std::string, std::string>("LoadFont", LoadFont,
        "Loads a TrueType or OpenType font file under a name; a file that cannot be used gives the default font and "
        "one warning.",
        {"font name", "font file path"}));
    c.push_back(RawFunc<std::string>("UnloadFont", UnloadFont,
        "Unloads the font (the default font, \"default\", stays).",
        {"font name"}));
    c.push_back(RawFunc<std::string, std::string, Vector2, float, float, Color>("DrawTextEx", DrawTextEx,
        "Draws UTF-8 text in a loaded font (\"default\" for the built-in one); characters the font lacks come from "
        "the default font.",
        {"font name", "text", "top left corner", "size in pixels", "extra pixels between characters", "colour"}));
    c.push_back(RawOp<Vector2, std::string, std::string, float, float>("MeasureTextEx", MeasureTextEx,
        "The width of the widest line and the height of all lines, in pixels, of text drawn by \"DrawTextEx\".",
        {"font name", "text", "size in pixels", "extra pixels between characters"}));
    c.push_back(Func("DrawRectangle", DrawRectangle, "Fills a rectangle.", {"x", "y", "width", "height", "colour"}));
    c.push_back(Func("DrawRectangleLines", DrawRectangleLines,
        "Draws a rectangle's outline, one pixel wide, inside it.",
        {"x", "y", "width", "height", "colour"}));
    c.push_back(Func("DrawRectangleRounded", DrawRectangleRounded,
        "Fills a rectangle with corners rounded by roundness (0 to 1) times half its shorter side.",
        {"rectangle", "roundness", "colour"}));
    c.push_back(Func("DrawRectangleRoundedLines", DrawRectangleRoundedLines,
        "Draws the outline of a rounded rectangle, inside it.",
        {"rectangle", "roundness", "thickness in pixels", "colour"}));
    c.push_back(Func("DrawCircle", DrawCircle, "Fills a circle.", {"centre", "radius in pixels", "colour"}));
    c.push_back(Func("DrawCircleLines", DrawCircleLines,
        "Draws a circle's outline, one pixel wide.",
        {"centre", "radius in pixels", "colour"}));
    c.push_back(Func("DrawLine", DrawLine,
        "Draws a line of a thickness.",
        {"start", "end", "thickness in pixels", "colour"}));
    c.push_back(RawFunc<std::string, std::string>("LoadTexture", LoadTexture,
        "Loads a PNG, JPEG, TGA or BMP image under a name; a file that cannot be used gives an image that draws "
        "nothing and one warning.",
        {"image name", "image file path"}));
    c.push_back(RawFunc<std::string>("UnloadTexture", UnloadTexture, "Unloads the image.", {"image name"}));
    c.push_back(RawFunc<std::string, int, int, Color>("DrawTexture", DrawTexture,
        "Draws the whole image at its size, its top left corner at x, y, multiplied by the tint.",
        {"image name", "x", "y", "tint colour"}));
    c.push_back(RawFunc<std::string, Rectangle, Rectangle, Vector2, float, Color>("DrawTexturePro", DrawTexturePro,
        "Draws a part of the image (in its pixels; a negative width or height mirrors it) into a rectangle of the "
        "screen, turned clockwise about an origin relative to that rectangle's corner, tinted.",
        {"image name",
         "source rectangle",
         "destination rectangle",
         "rotation origin",
         "rotation in degrees",
         "tint colour"}));
    c.push_back(RawOp<int, std::string>("GetTextureWidth", ImageSide<S2D_GetImageWidth>,
        "The image's width in pixels (0 for an image that could not be loaded).",
        {"image name"}));
    c.push_back(RawOp<int, std::string>("GetTextureHeight", ImageSide<S2D_GetImageHeight>,
        "The image's height in pixels (0 for an image that could not be loaded).",
        {"image name"}));
    c.push_back(Op("GetWorldToScreen", WorldToScreen,
        "Where a point of the world shows on the screen as the camera sees it, in pixels.",
        {"point"}));
    c.push_back(Op("IsInFrontOfCamera", IsInFrontOfCamera,
        "Whether a point lies in front of the camera (only then does \"GetWorldToScreen\" say where it shows).",
        {"point"}));
    c.push_back(Op("GetScreenWidth", ScreenWidth, "The window's width in pixels.", {}));
    c.push_back(Op("GetScreenHeight", ScreenHeight, "The window's height in pixels.", {}));
}

}  // namespace World::Api
