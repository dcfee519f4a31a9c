// The sample game's level as the physics layer takes it: three corners a triangle.
#pragma once

#include <vector>

#include "p3d.h"

namespace TestLevel {

// Every triangle of the level file the build writes, in metres; empty when it cannot be read.
std::vector<Vector3> Triangles();
// The level as one static mesh body (id 1); 0 when it could not be made.
P3D_Body AddLevel();

}  // namespace TestLevel
