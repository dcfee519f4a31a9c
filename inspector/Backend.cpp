#include "Backend.h"

#include <algorithm>
#include <cfloat>
#include <cstdint>

#include <imgui.h>

#include "Input.h"
#include "raylib.h"
#include "rlgl.h"

namespace Inspector::Backend {
namespace {

unsigned int FontTexture = 0;

// A press and release within one frame (a quick click on a slow frame) is held
// down for one frame so that ImGui sees the click.
bool ReleaseNext[5] = {};

// The keys ImGui navigates and edits text with, by raylib's key codes (which
// index io.KeysDown: they are all below 512).
void MapKeys(ImGuiIO& io) {
    io.KeyMap[ImGuiKey_Tab] = KEY_TAB;
    io.KeyMap[ImGuiKey_LeftArrow] = KEY_LEFT;
    io.KeyMap[ImGuiKey_RightArrow] = KEY_RIGHT;
    io.KeyMap[ImGuiKey_UpArrow] = KEY_UP;
    io.KeyMap[ImGuiKey_DownArrow] = KEY_DOWN;
    io.KeyMap[ImGuiKey_PageUp] = KEY_PAGE_UP;
    io.KeyMap[ImGuiKey_PageDown] = KEY_PAGE_DOWN;
    io.KeyMap[ImGuiKey_Home] = KEY_HOME;
    io.KeyMap[ImGuiKey_End] = KEY_END;
    io.KeyMap[ImGuiKey_Insert] = KEY_INSERT;
    io.KeyMap[ImGuiKey_Delete] = KEY_DELETE;
    io.KeyMap[ImGuiKey_Backspace] = KEY_BACKSPACE;
    io.KeyMap[ImGuiKey_Space] = KEY_SPACE;
    io.KeyMap[ImGuiKey_Enter] = KEY_ENTER;
    io.KeyMap[ImGuiKey_Escape] = KEY_ESCAPE;
    io.KeyMap[ImGuiKey_KeyPadEnter] = KEY_KP_ENTER;
    io.KeyMap[ImGuiKey_A] = KEY_A;
    io.KeyMap[ImGuiKey_C] = KEY_C;
    io.KeyMap[ImGuiKey_V] = KEY_V;
    io.KeyMap[ImGuiKey_X] = KEY_X;
    io.KeyMap[ImGuiKey_Y] = KEY_Y;
    io.KeyMap[ImGuiKey_Z] = KEY_Z;
}

const char* Clipboard(void*) { return GetClipboardText(); }
void SetClipboard(void*, const char* text) { SetClipboardText(text); }

}  // namespace

void Start() {
    ImGuiIO& io = ImGui::GetIO();
    io.BackendPlatformName = "vantor-raylib";
    io.BackendRendererName = "vantor-rlgl";
    io.IniFilename = nullptr;  // a game's folder gets no file it did not ask for
    io.GetClipboardTextFn = Clipboard;
    io.SetClipboardTextFn = SetClipboard;
    MapKeys(io);
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    FontTexture = rlLoadTexture(pixels, width, height, RL_PIXELFORMAT_UNCOMPRESSED_R8G8B8A8, 1);
    io.Fonts->SetTexID(reinterpret_cast<ImTextureID>(static_cast<std::intptr_t>(FontTexture)));
}

void NewFrame(float seconds) {
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(static_cast<float>(GetScreenWidth()), static_cast<float>(GetScreenHeight()));
    const float sx = io.DisplaySize.x > 0 ? static_cast<float>(GetRenderWidth()) / io.DisplaySize.x : 1.0f;
    const float sy = io.DisplaySize.y > 0 ? static_cast<float>(GetRenderHeight()) / io.DisplaySize.y : 1.0f;
    io.DisplayFramebufferScale = ImVec2(sx, sy);
    io.DeltaTime = seconds > 0 ? seconds : 1.0f / 60.0f;

    const Vector2 mouse = GetMousePosition();
    io.MousePos = IsCursorOnScreen() || IsMouseButtonDown(MOUSE_BUTTON_LEFT) ? ImVec2(mouse.x, mouse.y)
                                                                              : ImVec2(-FLT_MAX, -FLT_MAX);
    for (int b = 0; b < 3; ++b) {
        const bool down = IsMouseButtonDown(b);
        const bool tapped = World::Input::ButtonPressed(b) && !down;
        if (ReleaseNext[b]) {
            io.MouseDown[b] = down;
            ReleaseNext[b] = false;
        } else {
            io.MouseDown[b] = down || tapped;
            ReleaseNext[b] = tapped;
        }
    }
    const Vector2 wheel = GetMouseWheelMoveV();
    io.MouseWheel = wheel.y;
    io.MouseWheelH = wheel.x;

    for (int k = 0; k < ImGuiKey_COUNT; ++k) {
        const int key = io.KeyMap[k];
        if (key >= 0 && key < 512) io.KeysDown[key] = IsKeyDown(key);
    }
    io.KeyCtrl = IsKeyDown(KEY_LEFT_CONTROL) || IsKeyDown(KEY_RIGHT_CONTROL);
    io.KeyShift = IsKeyDown(KEY_LEFT_SHIFT) || IsKeyDown(KEY_RIGHT_SHIFT);
    io.KeyAlt = IsKeyDown(KEY_LEFT_ALT) || IsKeyDown(KEY_RIGHT_ALT);
    io.KeySuper = IsKeyDown(KEY_LEFT_SUPER) || IsKeyDown(KEY_RIGHT_SUPER);
    // Typed text goes to the inspector only while one of its fields takes it; else the game reads it.
    if (io.WantTextInput)
        for (int c = GetCharPressed(); c > 0; c = GetCharPressed()) io.AddInputCharacter(static_cast<unsigned>(c));
}

namespace {

// A corner of a triangle being clipped: position, texture coordinates, colour.
struct Corner {
    float x, y, u, v, c[4];
};

Corner Between(const Corner& a, const Corner& b, float t) {
    Corner m;
    m.x = a.x + (b.x - a.x) * t;
    m.y = a.y + (b.y - a.y) * t;
    m.u = a.u + (b.u - a.u) * t;
    m.v = a.v + (b.v - a.v) * t;
    for (int k = 0; k < 4; ++k) m.c[k] = a.c[k] + (b.c[k] - a.c[k]) * t;
    return m;
}

// Keeps the part of the polygon on the inner side of one edge of the clip rectangle.
// `side(p)` is positive inside.
template <class Side>
int ClipEdge(const Corner* in, int n, Corner* out, Side side) {
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const Corner& a = in[i];
        const Corner& b = in[(i + 1) % n];
        const float da = side(a), db = side(b);
        if (da >= 0) out[count++] = a;
        if ((da >= 0) != (db >= 0)) out[count++] = Between(a, b, da / (da - db));
    }
    return count;
}

void Emit(const Corner& p) {
    rlColor4ub(static_cast<unsigned char>(p.c[0] + 0.5f), static_cast<unsigned char>(p.c[1] + 0.5f),
               static_cast<unsigned char>(p.c[2] + 0.5f), static_cast<unsigned char>(p.c[3] + 0.5f));
    rlTexCoord2f(p.u, p.v);
    rlVertex2f(p.x, p.y);
}

Corner CornerOf(const ImDrawVert& v) {
    return {v.pos.x, v.pos.y, v.uv.x, v.uv.y,
            {static_cast<float>((v.col >> IM_COL32_R_SHIFT) & 0xFF), static_cast<float>((v.col >> IM_COL32_G_SHIFT) & 0xFF),
             static_cast<float>((v.col >> IM_COL32_B_SHIFT) & 0xFF), static_cast<float>((v.col >> IM_COL32_A_SHIFT) & 0xFF)}};
}

}  // namespace

// ImGui clips by rectangles. Clipping the triangles here, rather than with the
// scissor, lets the whole interface go to the driver in one batch: a scissor
// change needs the batch drawn first, and Mesa's software driver makes every
// such draw wait until the scene under it is finished.
void Render(ImDrawData* data) {
    if (!data || data->CmdListsCount == 0) return;
    rlDrawRenderBatchActive();
    rlDisableBackfaceCulling();
    rlDisableDepthTest();
    for (int n = 0; n < data->CmdListsCount; ++n) {
        const ImDrawList* list = data->CmdLists[n];
        const ImDrawVert* vertices = list->VtxBuffer.Data;
        const ImDrawIdx* indices = list->IdxBuffer.Data;
        for (const ImDrawCmd& cmd : list->CmdBuffer) {
            if (cmd.UserCallback) {
                cmd.UserCallback(list, &cmd);
                continue;
            }
            const float x0 = cmd.ClipRect.x - data->DisplayPos.x, y0 = cmd.ClipRect.y - data->DisplayPos.y;
            const float x1 = cmd.ClipRect.z - data->DisplayPos.x, y1 = cmd.ClipRect.w - data->DisplayPos.y;
            if (x1 <= x0 || y1 <= y0) continue;
            rlSetTexture(static_cast<unsigned int>(reinterpret_cast<std::intptr_t>(cmd.GetTexID())));
            for (unsigned int i = 0; i + 2 < cmd.ElemCount; i += 3) {
                const ImDrawVert* v[3];
                float lowX = FLT_MAX, lowY = FLT_MAX, highX = -FLT_MAX, highY = -FLT_MAX;
                for (int k = 0; k < 3; ++k) {
                    v[k] = &vertices[cmd.VtxOffset + indices[cmd.IdxOffset + i + k]];
                    lowX = std::min(lowX, v[k]->pos.x), highX = std::max(highX, v[k]->pos.x);
                    lowY = std::min(lowY, v[k]->pos.y), highY = std::max(highY, v[k]->pos.y);
                }
                if (highX <= x0 || lowX >= x1 || highY <= y0 || lowY >= y1) continue;  // wholly outside
                Corner a[9], b[9];
                int count = 3;
                for (int k = 0; k < 3; ++k) a[k] = CornerOf(*v[k]);
                if (lowX < x0 || highX > x1 || lowY < y0 || highY > y1) {
                    count = ClipEdge(a, count, b, [&](const Corner& p) { return p.x - x0; });
                    count = ClipEdge(b, count, a, [&](const Corner& p) { return x1 - p.x; });
                    count = ClipEdge(a, count, b, [&](const Corner& p) { return p.y - y0; });
                    count = ClipEdge(b, count, a, [&](const Corner& p) { return y1 - p.y; });
                }
                for (int k = 1; k + 1 < count; ++k) {
                    rlCheckRenderBatchLimit(3);
                    rlBegin(RL_TRIANGLES);
                    Emit(a[0]);
                    Emit(a[k]);
                    Emit(a[k + 1]);
                    rlEnd();
                }
            }
            rlSetTexture(0);
        }
    }
    rlDrawRenderBatchActive();
    rlEnableBackfaceCulling();
    rlEnableDepthTest();
}

void Close() {
    if (FontTexture) rlUnloadTexture(FontTexture);
    FontTexture = 0;
}

}  // namespace Inspector::Backend
