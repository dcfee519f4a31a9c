// Frame: renderer start-up and the scene pass between R3D_Begin and R3D_End.
#include "r3d.h"

#include "raylib.h"

namespace {

struct FrameState {
    bool ready = false;
    int width = 0;
    int height = 0;
    bool inScene = false;
} frame;

constexpr Color kSky = {24, 26, 32, 255};

}  // namespace

extern "C" {

void R3D_Init(int resWidth, int resHeight) {
    frame.width = resWidth;
    frame.height = resHeight;
    frame.ready = true;
}

void R3D_Close(void) { frame.ready = false; }

void R3D_Begin(Camera3D camera) {
    ClearBackground(kSky);
    BeginMode3D(camera);
    frame.inScene = true;
}

void R3D_End(void) {
    if (!frame.inScene) return;
    EndMode3D();
    frame.inScene = false;
}

}  // extern "C"
