// The sample game: a first-person walker with mouse look, walking, jumping
// and gravity over the level "base", carrying a spot-light flashlight.
#pragma once

namespace player {

// Creates the flashlight and the player's transform, and captures the mouse.
void init();
// One frame: camera and flashlight follow, look, walk, fall, stand on the ground.
void tick();

}  // namespace player
