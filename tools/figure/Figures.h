// The skinned models the engine's examples and tests animate, generated
// rather than drawn by hand (no third-party models):
//   Bar     a square bar two units tall on two joints, "root" at its foot and
//           "upper" halfway up; its clips bend the upper half 90 degrees about
//           +z (the tip goes to -x) over one second: "bend" (linear), "bend_step"
//           (straight until 0.5 s, then bent) and "bend_cubic" (cubic spline,
//           still at both ends)
//   Floor   a square to stand them on
//   Figure  a walking figure 1.8 units tall of about 2,000 triangles on 30
//           joints, feet at y = 0, facing +z, with the looping clips "idle"
//           (2 s) and "walk" (1 s, walking in place)
#pragma once

#include <string>
#include <vector>

#include "Gltf.h"

namespace Figures {

Gltf::Document Bar();
Gltf::Document Figure();
// A flat grey square, 40 units a side at y = 0, for the figures to stand on.
Gltf::Document Floor();

// The bar broken in one way each, for the loader's tests: what is wrong, and the
// clips that should survive it.
struct Corrupt {
    std::string name;            // file name stem
    Gltf::Document document;
    int soundClips;              // clips a careful loader keeps
};
std::vector<Corrupt> CorruptBars();

}  // namespace Figures
