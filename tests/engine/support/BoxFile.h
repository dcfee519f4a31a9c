// Model files for the window tests, written at test time by assimp's exporter.
#pragma once

#include <string>
#include <vector>

#include "raylib.h"

namespace TestFiles {

// A box from -half to +half on every axis, white, normals left to the importer.
// formatId is assimp's exporter id ("obj", "fbxa", "gltf2"). Empty string on
// success, else assimp's reason.
std::string WriteBox(const std::string& path, float half, const std::string& formatId = "obj");

// The same box as triangles, three corners each, counter-clockwise from outside.
std::vector<Vector3> BoxTriangles(float half);

}  // namespace TestFiles
