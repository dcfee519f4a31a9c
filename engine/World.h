// The world: instance buffers (every model is drawn from them), ray queries
// against model instances, and the API entries handed to the game module.
#pragma once

namespace World {

// Creates "Null" and "Root" and hands every API entry, in catalogue order, to
// the game module through its define_op / define_func exports.
void Initialize();

namespace Buffers {
// Refreshes every buffer from its instances and draws it (inside the 3D pass).
void Draw();
}  // namespace Buffers

}  // namespace World
