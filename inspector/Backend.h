// Dear ImGui fed from raylib's input and drawn through rlgl, raylib's batch.
#pragma once

struct ImDrawData;

namespace Inspector::Backend {

void Start();                 // after ImGui::CreateContext: the font atlas uploaded
void NewFrame(float seconds); // the display size and this frame's input handed to ImGui
void Render(ImDrawData* data);
void Close();

}  // namespace Inspector::Backend
