// One frame of the game as the host runs it, the same in a window and without
// one (--headless). main.cpp's two loops call these in this order, the
// windowed one drawing between them:
//   PollReload    reload mode: a rebuilt game.dll bound, rewritten files read again
//   StepWorld     animations, bodies and particles moved on by the frame's "DeltaTime"
//   BeforeTick    what the game's tick must find done
//   TickGame      the game's tick
//   AfterTick     a server's snapshot of the scene as the tick left it; placed
//                 sounds heard from where the tick left the camera; the watch
//                 for models left at scale 0
// While a reload pause holds the game, StepWorld and TickGame do nothing.
#pragma once

#include "Messages.h"

namespace World::App {

// Runs one call into the game (init, tick). Whatever escapes it is reported and
// is fatal (`failure` names it); in reload mode it pauses the game instead,
// until a good build arrives.
void CallGame(const char* name, void (*call)(), Fatal failure);

void PollReload();
void StepWorld();
// Every frame right before the tick, also while a reload pause holds the game,
// so that what keeps a session alive (the network's update) never stops.
void BeforeTick();
void TickGame();
void AfterTick();

}  // namespace World::App
