// A game for the screen tests and the frame benchmark, built with the SDK and
// scripted by the environment variable VANTOR_SCREEN_SCRIPT:
//
//   scene   every frame, over a red box (as the window tests place it): text
//           and its measure, one glyph per cell (see kCells), a large "I",
//           shapes, a rotated and tinted sprite, a label over the box, and
//           rectangles under the frame-rate counter; writes what it measured
//           and "tick <n>"
//   files   loads every font and image named in the assets folder's
//           files.txt under its own name, draws with each and with sizes out
//           of range for three frames, writes "<name> <width> <height>" per
//           image and ends with "files done"
//   nan     draws text of size NaN (which stops the game)
//   reload  draws "pic.png" stretched over (100, 100)-(200, 200) every frame and
//           writes "pic <width>" and "font <width of Hello in f.ttf>" each tick
#include <vantor/Game.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

using Game::List;

namespace {

std::string mode;
int frames = 0;
std::vector<std::string> fonts, images;

const int kWhite = Game::Rgba(255, 255, 255);

// One character per 80-pixel cell from x = 40 at y = 200, size 48: accented
// Latin, Greek, Cyrillic, then the replacement glyph itself, a byte that is
// not UTF-8, and a character the default font lacks.
const char* const kCells[] = {"\xC3\xBC", "\xC3\x9F", "\xCE\xA9", "\xCE\xBC", "\xD0\x9F", "\xD0\xB8",
                              "\xEF\xBF\xBD", "\xFF", "\xE4\xB8\xAD"};

void Scene() {
    // Text and what it measures, so the test can look for it there.
    Game::DrawText("Hello", 40, 60, 40, kWhite);
    const List box = Game::MeasureTextEx("default", "Hello", 40, 0);
    if (frames == 1) std::fprintf(stderr, "measure hello %g %g %d\n", box[0], box[1], Game::MeasureText("Hello", 40));
    Game::DrawTextEx("bold", "Grüße, Ωμέγα, Привет", List{40, 120}, 32, 0, kWhite);
    for (int i = 0; i < static_cast<int>(sizeof kCells / sizeof *kCells); ++i) Game::DrawText(kCells[i], 40 + 80 * i, 200, 48, kWhite);
    Game::DrawText("I", 1000, 60, 200, kWhite);

    // Shapes: a translucent blue over a red, a circle, a thick line.
    Game::DrawRectangle(700, 500, 100, 60, Game::Rgba(255, 0, 0));
    Game::DrawRectangle(750, 520, 100, 60, Game::Rgba(0, 0, 255, 128));
    Game::DrawCircle(List{1000, 600}, 40, Game::Rgba(0, 255, 0));
    Game::DrawLine(List{700, 700}, List{900, 700}, 6, Game::Rgba(255, 255, 0));
    Game::DrawRectangleRounded(List{40, 500, 200, 100}, 0.5f, Game::Rgba(0, 255, 255));

    // The sprite (white left half, blue right half) turned 90 degrees about its
    // centre at (1150, 450), tinted orange, on grey.
    Game::DrawRectangle(1100, 400, 100, 100, Game::Rgba(128, 128, 128));
    Game::DrawTexturePro("sprite", List{0, 0, 64, 32}, List{1150, 450, 64, 32}, List{32, 16}, 90, Game::Rgba(255, 128, 0));

    // A label over the box, centred on the point above it.
    const List top = Game::GetWorldToScreen(List{3, 1.4f, -1});
    const List centre = Game::GetWorldToScreen(List{3, 0, -1});
    const int width = Game::MeasureText("Crate", 20);
    Game::DrawText("Crate", static_cast<int>(top[0]) - width / 2, static_cast<int>(top[1]) - 10, 20, Game::Rgba(255, 255, 0));
    if (frames == 1)
        std::fprintf(stderr, "label %g %g centre %g %g front %d behind %d screen %d %d\n", top[0], top[1], centre[0], centre[1],
                     Game::IsInFrontOfCamera(List{3, 0, 0}), Game::IsInFrontOfCamera(List{0, 0, -20}),
                     Game::GetScreenWidth(), Game::GetScreenHeight());

    // Under the frame-rate counter; the later of two rectangles on top.
    Game::DrawRectangle(0, 0, 300, 50, kWhite);
    Game::DrawRectangle(300, 700, 60, 60, Game::Rgba(0, 255, 0));
    Game::DrawRectangle(300, 700, 60, 60, Game::Rgba(255, 0, 255));
}

void Files() {
    for (const std::string& name : fonts) Game::DrawTextEx(name, "Broken font, Привет", List{40, 40}, 24, 0, kWhite);
    for (const std::string& name : images) {
        Game::DrawTexture(name, 10, 10, kWhite);
        Game::DrawTexturePro(name, List{0, 0, 10, 10}, List{100, 100, 50, 50}, List{0, 0}, 30, kWhite);
    }
    // Sizes out of range are clamped or draw nothing.
    Game::DrawText("huge", 0, 0, 100000, kWhite);
    Game::DrawText("negative", 0, 0, -40, kWhite);
    Game::DrawTextEx("default", "vast", List{1e30f, -1e30f}, 1e30f, 1e30f, kWhite);
    Game::DrawCircle(List{640, 400}, 1e9f, kWhite);
    Game::DrawRectangle(-2000000000, -2000000000, 2000000000, 2000000000, kWhite);
    const List vast = Game::MeasureTextEx("default", "W", 1e9f, 0);
    if (frames == 3) {
        for (const std::string& name : images)
            std::fprintf(stderr, "%s %d %d\n", name.c_str(), Game::GetTextureWidth(name), Game::GetTextureHeight(name));
        std::fprintf(stderr, "vast %g %g\n", vast[0], vast[1]);
        std::fprintf(stderr, "files done\n");
        std::fflush(stderr);
        std::_Exit(0);
    }
}

}  // namespace

VANTOR_EXPORT void init() {
    const char* script = std::getenv("VANTOR_SCREEN_SCRIPT");
    mode = script ? script : "scene";
    if (mode == "scene") {
        Game::SetCameraPosition(List{0, 0, -10});
        Game::SetCameraLookDirection(List{0, 0, 1});
        Game::SetCameraFOV(70);
        Game::Light sun("Global");
        sun.SetDirection(List{0.2f, -0.3f, 1});
        sun.SetEnergy(2);
        sun.SetState(true);
        Game::LoadModel("box", "box.obj", 4);
        Game::Model box("box");
        box.MoveTo(List{3, 0, 0});
        box.SetScale(List{2, 2, 2});
        box.SetColor(Game::Rgba(255, 0, 0));
        Game::LoadTexture("sprite", "sprite.png");
        Game::LoadFont("bold", "bold.ttf");
    } else if (mode == "reload") {
        Game::LoadTexture("pic", "pic.png");
        Game::LoadFont("f", "f.ttf");
    } else if (mode == "files") {
        std::ifstream list("files.txt");
        for (std::string file; std::getline(list, file);) {
            const bool font = file.size() > 4 && (file.compare(file.size() - 4, 4, ".ttf") == 0 || file.compare(file.size() - 4, 4, ".otf") == 0);
            (font ? fonts : images).push_back(file);
            if (font) Game::LoadFont(file, file);
            else Game::LoadTexture(file, file);
        }
    }
    std::fprintf(stderr, "ready\n");
}

VANTOR_EXPORT void tick() {
    ++frames;
    if (mode == "scene") Scene();
    else if (mode == "files") Files();
    else if (mode == "reload") {
        const float w = static_cast<float>(Game::GetTextureWidth("pic")), h = static_cast<float>(Game::GetTextureHeight("pic"));
        Game::DrawTexturePro("pic", List{0, 0, w, h}, List{100, 100, 100, 100}, List{0, 0}, 0, kWhite);
        std::fprintf(stderr, "pic %d font %g\n", Game::GetTextureWidth("pic"), Game::MeasureTextEx("f", "Hello", 40, 0)[0]);
    } else if (mode == "nan") Game::DrawTextEx("default", "x", List{0, 0}, std::numeric_limits<float>::quiet_NaN(), 0, kWhite);
    std::fprintf(stderr, "tick %d\n", frames);
}
