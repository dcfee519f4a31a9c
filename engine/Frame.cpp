#include "Frame.h"
#include "Network.h"

#include <cstdio>
#include <string>

#include "GameCall.h"
#include "Global.h"
#include "Reload.h"
#include "Stats.h"
#include "World.h"

namespace World::App {
namespace {

bool Held() { return Reload::Enabled() && Reload::Paused(); }

void Tick() { game_tick(); }  // through the global: a reload may have bound another module

}  // namespace

void CallGame(const char* name, void (*call)(), Fatal failure) {
    auto what = CatchGame(name, call);
    if (!what) return;
    const std::string line = std::string(FatalText(failure)) + " " + *what;
    if (Reload::Enabled()) return Reload::Pause(line, failure == Fatal::InitFailed);
    std::fprintf(stderr, "%s\n", line.c_str());
    Crash(FatalText(failure), true);
}

void PollReload() {
    if (Reload::Enabled()) Reload::Poll();
}

void StepWorld() {
    if (Held()) return;
    Animation::Advance(FrameSeconds);
    const double before = Now();
    Physics::Step(FrameSeconds);  // what tick changed goes in; the poses drawn come out
    Stats::NotePhysics(1000.0 * (Now() - before));
    Particles::Step(FrameSeconds);  // from where the bodies' poses put their parents
}

void BeforeTick() { Net::Update(); }

void TickGame() {
    if (!Held()) CallGame("tick", Tick, Fatal::TickFailed);
}

void AfterTick() {
    Net::Share(Now() - FrameStart);
    Sounds::Update();
    WatchZeroScale(Now());
}

}  // namespace World::App
