// The frame benchmark of drawing over the scene: per frame, 2,000 draws of a
// 20-character text and 10,000 sprites, made three ways side by side in one
// window, frame after frame in turn so that each meets the same machine:
//
//   raylib   raylib's DrawText (its default font) and DrawTexture, from C
//   layer    the screen layer's S2D_DrawText and S2D_DrawImage, from C
//   entries  the game's wrappers (Game::DrawText, Game::DrawTexture): through
//            the bridge's std::any argument lists to the host's entries, as a
//            game module calls them
//
// For each: the time to make the calls (the CPU's share), the whole frame
// (calls, drawing and the buffer swap), and the draw calls the screen layer
// made. The bridge's share is entries over raylib.
//
//   xvfb-run -a -s "-screen 0 1280x800x24" build/tests/screen/screen_benchmark [frames]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <vantor/Bridge.h>
#include <vantor/Game.h>

#include "Global.h"
#include "Harness.h"
#include "ScreenFiles.h"
#include "World.h"
#include "raylib.h"
#include "s2d.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTexts = 2000, kSprites = 10000;
const char* const kText = "Score 12345 of 67890";  // 20 characters

struct Place {
    int x, y;
};
std::vector<Place> texts, sprites;

struct Timing {
    std::vector<double> calls, frames;
    int drawCalls = 0;
    double Median(std::vector<double> v) const {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    }
};

template <class Draw>
void Frame(Timing& timing, Draw draw) {
    const auto start = Clock::now();
    BeginDrawing();
    ClearBackground(DARKGRAY);
    draw();
    const auto called = Clock::now();
    S2D_EndFrame();
    EndDrawing();
    const auto end = Clock::now();
    timing.calls.push_back(std::chrono::duration<double, std::milli>(called - start).count());
    timing.frames.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    timing.drawCalls = S2D_GetFrameStats().drawCalls;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(3, std::atoi(argv[1])) : 30;
    SetTraceLogLevel(LOG_WARNING);
    InitWindow(1280, 800, "screen benchmark");
    if (!IsWindowReady()) {
        std::fprintf(stderr, "screen_benchmark: no window (run it under xvfb-run)\n");
        return 1;
    }
    // The host's entries registered into the game side's tables, as a module gets them.
    Harness::Fresh();  // (closes the screen layer: started after it)
    S2D_Init();
    game_def_func = define_func;
    game_def_op = define_op;
    World::RegisterEntries();

    const std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    const std::string sprite = dir + "/vantor-bench-sprite.png";
    std::vector<unsigned char> rgba(16 * 16 * 4);
    for (std::size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<unsigned char>(i % 4 == 3 ? 255 : (i * 37) % 256);
    ScreenFiles::WriteImage(sprite, 16, 16, rgba);
    const Texture2D texture = LoadTexture(sprite.c_str());
    const S2D_Image image = S2D_LoadImage(sprite.c_str());
    Game::LoadTexture("sprite", sprite);
    std::remove(sprite.c_str());

    for (int i = 0; i < kTexts; ++i) texts.push_back({(i * 97) % 1100, (i * 31) % 780});
    for (int i = 0; i < kSprites; ++i) sprites.push_back({(i * 13) % 1264, (i * 7) % 784});
    const int white = Game::Rgba(255, 255, 255);
    const std::size_t length = std::string(kText).size();

    Timing raylib, layer, entries;
    for (int f = 0; f < frames + 2; ++f) {
        Timing* keep[3] = {&raylib, &layer, &entries};
        Timing scratch;
        if (f < 2) keep[0] = keep[1] = keep[2] = &scratch;  // warming up: glyphs, textures
        Frame(*keep[0], [&] {
            for (const Place& p : texts) DrawText(kText, p.x, p.y, 20, WHITE);
            for (const Place& p : sprites) DrawTexture(texture, p.x, p.y, WHITE);
        });
        Frame(*keep[1], [&] {
            for (const Place& p : texts)
                S2D_DrawText(S2D_Font{0}, kText, length, {static_cast<float>(p.x), static_cast<float>(p.y)}, 20, 0, WHITE);
            for (const Place& p : sprites)
                S2D_DrawImage(image, {0, 0, 16, 16}, {static_cast<float>(p.x), static_cast<float>(p.y), 16, 16}, {0, 0}, 0, WHITE);
        });
        Frame(*keep[2], [&] {
            for (const Place& p : texts) Game::DrawText(kText, p.x, p.y, 20, white);
            for (const Place& p : sprites) Game::DrawTexture("sprite", p.x, p.y, white);
        });
    }

    std::printf("%d texts of %zu characters and %d sprites of 16 x 16 per frame, median of %d frames (ms)\n", kTexts,
                length, kSprites, frames);
    std::printf("%-10s %10s %10s %12s\n", "", "calls", "frame", "draw calls");
    std::printf("%-10s %10.2f %10.2f %12s\n", "raylib", raylib.Median(raylib.calls), raylib.Median(raylib.frames), "-");
    std::printf("%-10s %10.2f %10.2f %12d\n", "layer", layer.Median(layer.calls), layer.Median(layer.frames), layer.drawCalls);
    std::printf("%-10s %10.2f %10.2f %12d\n", "entries", entries.Median(entries.calls), entries.Median(entries.frames),
                entries.drawCalls);
    std::printf("entries / raylib: calls %.2fx, frame %.2fx\n", entries.Median(entries.calls) / raylib.Median(raylib.calls),
                entries.Median(entries.frames) / raylib.Median(raylib.frames));
    UnloadTexture(texture);
    S2D_Close();
    CloseWindow();
    return 0;
}
