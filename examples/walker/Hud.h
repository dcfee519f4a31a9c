// What the walker draws over the scene: a crosshair in the middle of the
// screen and, for the first seconds, a line that says how to play.
#pragma once

namespace hud {

void Draw();  // after the player's tick, so it lies over that frame's scene

}  // namespace hud
