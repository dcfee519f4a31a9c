// The window's settings a game changes, how the host was started, and the
// watch for the one mistake every newcomer makes: a model instance left at its
// starting scale of 0.
#include <chrono>
#include <deque>
#include <utility>

#include "Instance.h"
#include "Lookup.h"
#include "World.h"
#include "base/Log.h"

namespace World::App {

bool FpsVisible = true;
int InspectorAllowed = -1;
bool InspectorShown = false;
float FrameSeconds = 0;
double FrameStart = 0;

namespace {

bool HeadlessRun = false;

std::vector<std::string>& GameArguments() {
    static std::vector<std::string> arguments;
    return arguments;
}

}  // namespace

bool Headless() { return HeadlessRun; }
const std::vector<std::string>& Arguments() { return GameArguments(); }

void SetCommandLine(bool headless, std::vector<std::string> arguments) {
    HeadlessRun = headless;
    GameArguments() = std::move(arguments);
}

double Now() {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point origin = Clock::now();
    return std::chrono::duration<double>(Clock::now() - origin).count();
}

namespace {

bool Watching = true;                     // until the one warning, or the game says no
std::deque<std::pair<int, double>> Young;  // model ids and when they were made, oldest first
double LatestFrame = 0;                   // the latest frame's time

constexpr double kGrace = 1.0;  // seconds a new model may stay at scale 0 (set up over a few frames)

}  // namespace

void NoteNewModel(int id) {
    if (Watching) Young.emplace_back(id, LatestFrame);
}

void SetZeroScaleWarning(bool on) {
    Watching = on;
    if (!on) Young.clear();
}

void WatchZeroScale(double now) {
    LatestFrame = now;
    while (Watching && !Young.empty() && now - Young.front().second >= kGrace) {
        const int id = Young.front().first;
        Young.pop_front();
        const Vector3* scale = Api::FindVariable<Vector3>(id, "Scale");
        if (!scale || scale->x != 0 || scale->y != 0 || scale->z != 0) continue;  // gone, or given a size
        const std::string* model = Api::FindVariable<std::string>(id, "Tied Model");
        base::Warn("SCENE",
                   "model instance %d (\"%s\", of the model \"%s\") is still at scale (0, 0, 0) a second after it was "
                   "made, so it draws nothing: a new model instance starts at scale 0 and colour 0 (transparent); "
                   "give it \"Model.SetScale\" and \"Model.SetColor\" (Game::Model::Spawn does both). Said once a run; "
                   "\"SetZeroScaleWarning\" false turns it off",
                   id, Instances[id].Name.c_str(), model ? model->c_str() : "");
        SetZeroScaleWarning(false);
    }
}

}  // namespace World::App
