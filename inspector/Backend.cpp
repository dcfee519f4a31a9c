#include "Backend.h"

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

void Render(ImDrawData* data) {
    if (!data || data->CmdListsCount == 0) return;
    rlDrawRenderBatchActive();
    rlDisableBackfaceCulling();
    rlDisableDepthTest();
    const ImVec2 scale = data->FramebufferScale;
    const int fbHeight = GetRenderHeight();
    for (int n = 0; n < data->CmdListsCount; ++n) {
        const ImDrawList* list = data->CmdLists[n];
        const ImDrawVert* vertices = list->VtxBuffer.Data;
        const ImDrawIdx* indices = list->IdxBuffer.Data;
        for (const ImDrawCmd& cmd : list->CmdBuffer) {
            if (cmd.UserCallback) {
                cmd.UserCallback(list, &cmd);
                continue;
            }
            const ImVec4 clip = cmd.ClipRect;
            const int x = static_cast<int>((clip.x - data->DisplayPos.x) * scale.x);
            const int y = static_cast<int>((clip.y - data->DisplayPos.y) * scale.y);
            const int w = static_cast<int>((clip.z - clip.x) * scale.x);
            const int h = static_cast<int>((clip.w - clip.y) * scale.y);
            if (w <= 0 || h <= 0) continue;
            rlEnableScissorTest();
            rlScissor(x, fbHeight - (y + h), w, h);  // GL counts rows from the bottom
            rlSetTexture(static_cast<unsigned int>(reinterpret_cast<std::intptr_t>(cmd.GetTexID())));
            for (unsigned int i = 0; i + 2 < cmd.ElemCount; i += 3) {
                rlCheckRenderBatchLimit(3);
                rlBegin(RL_TRIANGLES);
                for (unsigned int corner = 0; corner < 3; ++corner) {
                    const ImDrawVert& v = vertices[cmd.VtxOffset + indices[cmd.IdxOffset + i + corner]];
                    rlColor4ub(static_cast<unsigned char>(v.col >> IM_COL32_R_SHIFT),
                               static_cast<unsigned char>(v.col >> IM_COL32_G_SHIFT),
                               static_cast<unsigned char>(v.col >> IM_COL32_B_SHIFT),
                               static_cast<unsigned char>(v.col >> IM_COL32_A_SHIFT));
                    rlTexCoord2f(v.uv.x, v.uv.y);
                    rlVertex2f(v.pos.x, v.pos.y);
                }
                rlEnd();
            }
            rlDrawRenderBatchActive();  // before the next scissor
            rlSetTexture(0);
        }
    }
    rlDisableScissorTest();
    rlEnableBackfaceCulling();
    rlEnableDepthTest();
}

void Close() {
    if (FontTexture) rlUnloadTexture(FontTexture);
    FontTexture = 0;
}

}  // namespace Inspector::Backend
