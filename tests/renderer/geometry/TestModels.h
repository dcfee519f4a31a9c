// Model files made at test time: simple shapes written through assimp's exporters,
// so the import path reads real FBX, glTF and OBJ files.
#pragma once

#include <string>
#include <vector>

#include "raylib.h"

namespace TestModels {

struct Shape {
    std::vector<Vector3> positions;
    std::vector<Vector2> texcoords;  // empty: none written
    std::vector<unsigned int> indices;
    bool writeNormals = false;       // false: the importer must generate them
    Color color = WHITE;
    Matrix nodeTransform = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::string texturePath;         // base colour texture file, empty for none
    bool embedTexture = false;       // store the texture file's bytes inside the model file
    int TriangleCount() const { return static_cast<int>(indices.size() / 3); }
};

// A cube from -half to +half, counter-clockwise seen from outside, flat per face.
Shape Cube(float half);
// A wavy height field over [-size/2, size/2] in X and Z with 2*cellsX*cellsZ triangles.
Shape Terrain(int cellsX, int cellsZ, float size, float amplitude);
// A four-triangle pyramid over a square base.
Shape Pyramid(float half, float height);

// Writes every mesh under its own child node of one root, each with its own material;
// with shareNode, all meshes hang on one node (the first mesh's transform) and share the
// first mesh's material. formatId is assimp's ("fbxa", "gltf2", "glb2", "obj").
// Returns an empty string on success, else the reason.
std::string Export(const std::vector<Shape>& meshes, const std::string& formatId, const std::string& path,
                   bool shareNode = false);

// A fresh folder under the temporary directory (TMPDIR), removed when the process ends.
std::string TempDir(const std::string& name);

// Every triangle's corners placed by the mesh's node transform, three per triangle.
std::vector<Vector3> PlacedTriangles(const Shape& mesh);

}  // namespace TestModels
