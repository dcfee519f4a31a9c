// The inspector: a look inside the running game, drawn over it with Dear ImGui.
// F1 shows and hides it (when the game and VANTOR_INSPECT allow). It reads every
// layer and edits the scene through the same paths the API entries take; no
// layer knows it. Hidden, it costs a key test a frame.
//
// The host calls it at fixed points of the frame:
//   Start            once, after the layers and the game's module are up
//   GameSeconds      the frame's "DeltaTime": 0 while paused, scaled, or one step
//   Update           after BeginDrawing: F1, the windows built (and edits made),
//                    the game's input held where the inspector uses it
//   DrawWorld        after the scene's 3D pass: colliders, contacts, the selection
//   NoteTick/NoteScreen  what the game's tick and the screen layer took (ms)
//   Draw             last before EndDrawing: the inspector's windows
//   Close            before the window closes
#pragma once

namespace Inspector {

void Start(const char* program);
float GameSeconds(float realSeconds);
void Update();
void DrawWorld();
void NoteTick(double ms);
void NoteScreen(double ms);
void Draw();
void Close();

bool Shown();
// Shows or hides it as F1 would (for a host without a keyboard: a benchmark).
void SetShown(bool shown);
// What its own work took in the latest frame (ms).
double OwnMilliseconds();

}  // namespace Inspector
