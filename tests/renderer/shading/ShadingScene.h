// What the shading tests and the frame benchmark share: model files written at test
// time (OBJ with an MTL for the base colour), a real window with the renderer started,
// a frame rendered and read back from the window's framebuffer, and filled instance buffers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "r3d.h"
#include "raylib.h"

namespace Shading {

struct ObjMesh {
    std::vector<Vector3> positions;
    std::vector<Vector3> normals;      // one per position
    std::vector<Vector2> texcoords;    // one per position, or none
    std::vector<unsigned int> indices;  // three per triangle, counter-clockwise from outside
};

ObjMesh Plane(float half);                      // in XZ at y = 0, facing +Y
ObjMesh Box(float half);                        // cube centred on the origin, flat faces
ObjMesh Sphere(int rings, int slices, float radius);

// A fresh folder, removed when the process ends.
const std::string& TempFolder();

// Writes name.obj (and name.mtl with the base colour, and the base colour texture when
// `texture` names an image file) into the temporary folder and loads it.
R3D_Model LoadObj(const std::string& name, const ObjMesh& mesh, Color baseColor = WHITE,
                  const std::string& texture = "", int importFlags = R3D_IMPORT_DEFAULT,
                  const std::string& moreMaterial = "");

// Writes name.gltf (with name.bin) of the mesh with one material, given as its glTF JSON
// object; "textures" index `images`, files in the temporary folder. Then loads it.
R3D_Model LoadGltf(const std::string& name, const ObjMesh& mesh, const std::string& materialJson,
                   const std::vector<std::string>& images = {});

// The window every test draws into, with the renderer started. Opened once per process.
void OpenWindow(int width = 320, int height = 240);

struct Frame {
    int width = 0, height = 0;
    std::vector<Color> pixels;  // row by row from the top

    Color At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // Mean of r, g, b (or luma with channel -1) over a (2r+1)^2 patch around the point.
    double Mean(Vector2 at, int radius = 2, int channel = -1) const;
    double Luma(Vector2 at, int radius = 2) const { return Mean(at, radius, -1); }
};

// Renders one frame: R3D_Begin(camera), draw(), R3D_End(), then overlay() (raylib 2D
// drawing) when given, then reads the window's colour buffer back before the swap.
Frame Render(const Camera3D& camera, const std::function<void()>& draw,
             const std::function<void()>& overlay = nullptr);

// A camera `height` above the origin looking straight down: +X to the right, -Z up in
// the picture, a 45 degree field of view.
Camera3D LookingDown(float height);

// Where a world point lands in the window.
Vector2 ScreenOf(Vector3 world, const Camera3D& camera);

// Fills slot i of a buffer made with every attribute.
struct Instance {
    Vector3 position{0.0f, 0.0f, 0.0f};
    Quaternion rotation{0.0f, 0.0f, 0.0f, 1.0f};
    Vector3 scale{1.0f, 1.0f, 1.0f};
    Color color = WHITE;
};
void Fill(R3D_InstanceBuffer buffer, const std::vector<Instance>& instances);
// The frame benchmark's field: `count` instances on a 100-wide grid at unit
// spacing centred on the origin, each turned, stretched and tinted differently.
std::vector<Instance> SphereField(int count);

}  // namespace Shading
