/**********************************************************************************************
*
*   s2d - drawing over the scene: text in any script, shapes and images
*
*   What a game puts on the screen in front of its 3D scene: a score, a hint, a
*   crosshair, a menu, a name over a character. Everything drawn is queued, in
*   call order, and drawn with as few draw calls as the textures allow: text and
*   shapes share the glyph pages (the first keeps a white corner that shapes are
*   drawn with), so a frame of text and shapes whose glyphs fit the first page is
*   one draw call per 16,384 quads; a run of quads on one image, or on one other
*   glyph page, is one draw call more. S2D_Flush draws what is queued.
*
*   Text is UTF-8. Fonts are TrueType or OpenType files, read with FreeType; a
*   glyph is rasterised the first time it is drawn at a size, at that size, so
*   large text is as sharp as small (sizes above S2D_MAX_RASTER_SIZE are drawn
*   from glyphs rasterised at that size). A character the font lacks is taken
*   from the default font, and one neither has is drawn as the default font's
*   replacement glyph (U+FFFD), as is every byte that is not valid UTF-8.
*   The default font is built into the layer (DejaVu Sans: Latin, Greek,
*   Cyrillic and more).
*
*   Loaded without S2D_Init (no window), fonts and images are read as usual, so
*   text can be measured, but nothing is drawn.
*
*   Coordinates are screen pixels from the top left corner; colours are raylib's
*   Color, blended by their alpha. A size or coordinate that is not a finite
*   number draws nothing; sizes are clamped to S2D_MAX_TEXT_SIZE.
*
*   Fonts and images are handles; no handle value is ever given out twice. One
*   that was unloaded (S2D_Close unloads them all), or that the layer never gave
*   as a font (or an image), finds nothing: the call draws and measures nothing
*   and warns on stderr ("WARNING: S2D: S2D_DrawText: font 5 was released").
*
**********************************************************************************************/
#ifndef S2D_H
#define S2D_H

#include <stdbool.h>
#include <stddef.h>

#include "raylib.h"  // Required for: Vector2, Rectangle, Color

#define S2D_MAX_TEXT_SIZE 2048.0f  // pixels: larger text sizes are drawn at this size
#define S2D_MAX_RASTER_SIZE 256    // pixels: glyphs of larger text are scaled from this size

typedef struct S2D_Font {
    unsigned int id;  // 0: the default font
} S2D_Font;

typedef struct S2D_Image {
    unsigned int id;  // 0: no image (draws nothing)
} S2D_Image;

typedef struct S2D_Stats {
    int drawCalls;   // draw calls the queued quads took
    int quads;       // quads drawn (a triangle counts as one)
    int glyphPages;  // glyph pages in use
} S2D_Stats;

#if defined(__cplusplus)
extern "C" {
#endif

void S2D_Init(void);   // after InitWindow(): the GPU side; idempotent
void S2D_Close(void);  // frees every font, image and GPU resource of the layer

// Fonts. A file that cannot be used (missing, damaged, not a scalable font,
// larger than 64 MiB) gives the default font (id 0) and one warning on stderr
// naming the file and why.
S2D_Font S2D_LoadFont(const char *fileName);
S2D_Font S2D_LoadFontFromMemory(const void *bytes, size_t size, const char *what);
void S2D_UnloadFont(S2D_Font font);  // the default font stays

// Text, `length` bytes of UTF-8 (it need not end in a zero). Each '\n' starts
// a new line. `size` is the em size in pixels; `spacing` adds pixels between
// characters. The top left of the first line's box is at `position`.
void S2D_DrawText(S2D_Font font, const char *text, size_t length, Vector2 position, float size, float spacing,
                  Color color);
// The box the text fills when drawn: the widest line, and the height of every
// line (the font's line height at that size).
Vector2 S2D_MeasureText(S2D_Font font, const char *text, size_t length, float size, float spacing);
float S2D_GetLineHeight(S2D_Font font, float size);

// Images: PNG, JPEG, TGA, BMP. A file that cannot be used gives the empty
// image (id 0, 0 x 0, draws nothing) and one warning on stderr naming the file
// and why.
S2D_Image S2D_LoadImage(const char *fileName);
void S2D_UnloadImage(S2D_Image image);
int S2D_GetImageWidth(S2D_Image image);
int S2D_GetImageHeight(S2D_Image image);
// Its OpenGL texture, for drawing it elsewhere (the renderer's particles); 0 for the
// empty image or one loaded without a window. It goes when the image is unloaded.
unsigned int S2D_GetImageTexture(S2D_Image image);
// The `source` part of the image (in its pixels; a negative width or height
// mirrors it) drawn into `dest`, turned by `rotation` degrees clockwise about
// `origin` (relative to dest's top left, which lies at dest.x, dest.y), tinted.
void S2D_DrawImage(S2D_Image image, Rectangle source, Rectangle dest, Vector2 origin, float rotation, Color tint);

// Shapes. Widths, heights, radii and thicknesses of 0 or less draw nothing.
void S2D_DrawRectangle(Rectangle rec, Color color);
void S2D_DrawRectangleLines(Rectangle rec, float thickness, Color color);  // inside the rectangle
// Corners rounded with a radius of roundness (0..1) times half the shorter side.
void S2D_DrawRectangleRounded(Rectangle rec, float roundness, Color color);
void S2D_DrawRectangleRoundedLines(Rectangle rec, float roundness, float thickness, Color color);
void S2D_DrawCircle(Vector2 center, float radius, Color color);
void S2D_DrawCircleLines(Vector2 center, float radius, float thickness, Color color);  // inside the radius
void S2D_DrawLine(Vector2 start, Vector2 end, float thickness, Color color);

// Draws what is queued. Call it before drawing anything else on top (raylib's
// own drawing, DrawFPS) and before EndDrawing().
void S2D_Flush(void);
// Ends the frame's counting: S2D_GetFrameStats then tells what it drew.
void S2D_EndFrame(void);
S2D_Stats S2D_GetFrameStats(void);

#if defined(__cplusplus)
}
#endif

#endif  // S2D_H
