// The link to raylib's audio device: one stream whose blocks the mixer makes,
// on the device's own thread (see threads.h for how that thread is scheduled).
#pragma once

#include "layer.h"

namespace a3d {

// Opens the stream when raylib has a device: false (the clock plays) without one.
bool OpenDevice(Layer& layer);
// Stops and unloads the stream; the mixer is left as it is.
void CloseDevice(Layer& layer);

}  // namespace a3d
