// What the inspector's parts share.
#pragma once

#include <any>
#include <string>
#include <vector>

#include "base/Log.h"

namespace Inspector {

struct State {
    bool shown = false;
    int selected = -1;           // instance id; -1 for none ("Null" is 0)
    bool colliders = false;      // the physics view drawn over the scene
    bool frameTab = false;       // the frame tab is open: the renderer times its passes
    // Time: the game's "DeltaTime" is real time scaled, 0 while paused but for a step.
    bool paused = false;
    bool stepOnce = false;
    float timeScale = 1.0f;
    // The frame's parts as the host reported them (ms).
    double tickMs = 0, screenMs = 0, ownMs = 0;
    double mixLoad = 0;          // the mixer's share of real time over the last frame
    // The log since start, as the base keeps it.
    std::vector<base::LogLine> log;
    unsigned long long logSeen = 0;
};

State& The();

// Calls the API entry `name` as the game would; what it throws is shown, not fatal.
std::any Call(const char* name, std::vector<std::any> args);
// The last refusal an edit met ("" when none).
const std::string& LastRefusal();

// The windows' contents.
void SceneTab();
void SelectionDetails();  // under the scene list
void FrameTab();
void PhysicsTab();
void SoundTab();
void AssetsTab();
void LogTab();

}  // namespace Inspector
