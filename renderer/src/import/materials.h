// Reading a model file's materials into the renderer's metallic-roughness model, and
// loading the textures they name.
#pragma once

#include <string>
#include <vector>

#include "internal.h"

struct aiScene;

namespace r3d {

// Every material of the scene, in the file's order (one default material when it has
// none). Textures are loaded only with `gpu`; a texture found nowhere leaves the
// material's factor and prints one warning naming `fileName` and the texture.
std::vector<Material> ReadMaterials(const aiScene& scene, const std::string& directory, const char* fileName, bool gpu);

// Whether any material names a normal map (or a bump map that may be one): only then
// are tangents worth computing at import.
bool SceneWantsTangents(const aiScene& scene);

// Frees each texture of the materials once (materials may share one).
void UnloadMaterialTextures(const std::vector<Material>& materials);

}  // namespace r3d
