// The sample game: a first-person walker with mouse look, walking, jumping
// and gravity over the level "base", carrying a spot-light flashlight.
#pragma once

namespace player {

// Creates the flashlight and the player's transform, and captures the mouse.
void init();
// One frame: camera and flashlight follow, look, walk (walls stop the body),
// fall, stand on the ground, and start again after falling out of the level.
void tick();

}  // namespace player
