#include "ShadingScene.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "GlDriver.h"
#include "raymath.h"  // Required for: QuaternionFromAxisAngle(), Vector3Normalize()
#include "rlgl.h"  // Required for: rlReadScreenPixels()

namespace Shading {

ObjMesh Plane(float half) {
    ObjMesh m;
    m.positions = {{-half, 0, -half}, {-half, 0, half}, {half, 0, half}, {half, 0, -half}};
    m.normals.assign(4, Vector3{0, 1, 0});
    m.texcoords = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};  // u along +X
    m.indices = {0, 1, 2, 0, 2, 3};
    return m;
}

ObjMesh Box(float half) {
    ObjMesh m;
    // Each face: its normal and two axes whose cross product is the normal.
    const Vector3 faces[6][3] = {
        {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}},  {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}},  {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},   {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},
    };
    for (const auto& f : faces) {
        const Vector3 n = f[0], u = f[1], v = f[2];
        const unsigned int base = static_cast<unsigned int>(m.positions.size());
        const float s[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (const auto& c : s) {
            m.positions.push_back({half * (n.x + c[0] * u.x + c[1] * v.x), half * (n.y + c[0] * u.y + c[1] * v.y),
                                   half * (n.z + c[0] * u.z + c[1] * v.z)});
            m.normals.push_back(n);
        }
        for (unsigned int k : {0u, 1u, 2u, 0u, 2u, 3u}) m.indices.push_back(base + k);
    }
    return m;
}

ObjMesh Sphere(int rings, int slices, float radius) {
    ObjMesh m;
    for (int r = 0; r <= rings; ++r) {
        const float theta = PI * r / rings;
        for (int s = 0; s <= slices; ++s) {
            const float phi = 2.0f * PI * s / slices;
            const Vector3 n = {std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
            m.positions.push_back({n.x * radius, n.y * radius, n.z * radius});
            m.normals.push_back(n);
        }
    }
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < slices; ++s) {
            const unsigned int a = r * (slices + 1) + s, b = a + slices + 1;
            // Outward-facing: counter-clockwise seen from outside.
            m.indices.insert(m.indices.end(), {a, a + 1, b, a + 1, b + 1, b});
        }
    }
    return m;
}

namespace {
// The folder lives as long as the process: made on first use under TMPDIR (or the
// system's default), removed with everything in it when static objects are destroyed.
struct ProcessFolder {
    std::string path;
    ProcessFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantor-shading-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        path = pattern;
    }
    ~ProcessFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};
}  // namespace

const std::string& TempFolder() {
    static ProcessFolder folder;
    return folder.path;
}

R3D_Model LoadObj(const std::string& name, const ObjMesh& mesh, Color baseColor, const std::string& texture,
                  int importFlags, const std::string& moreMaterial) {
    const std::string obj = TempFolder() + "/" + name + ".obj";
    const std::string mtl = TempFolder() + "/" + name + ".mtl";
    FILE* f = std::fopen(mtl.c_str(), "w");
    std::fprintf(f, "newmtl base\nKd %.4f %.4f %.4f\n", baseColor.r / 255.0, baseColor.g / 255.0, baseColor.b / 255.0);
    if (!texture.empty()) std::fprintf(f, "map_Kd %s\n", texture.c_str());
    std::fprintf(f, "%s\n", moreMaterial.c_str());
    std::fclose(f);
    f = std::fopen(obj.c_str(), "w");
    std::fprintf(f, "mtllib %s.mtl\no %s\n", name.c_str(), name.c_str());
    for (const Vector3& p : mesh.positions) std::fprintf(f, "v %.6f %.6f %.6f\n", p.x, p.y, p.z);
    for (const Vector3& n : mesh.normals) std::fprintf(f, "vn %.6f %.6f %.6f\n", n.x, n.y, n.z);
    for (const Vector2& t : mesh.texcoords) std::fprintf(f, "vt %.6f %.6f\n", t.x, t.y);
    std::fprintf(f, "usemtl base\n");
    const bool uv = !mesh.texcoords.empty();
    for (size_t i = 0; i + 2 < mesh.indices.size(); i += 3) {
        const unsigned int a = mesh.indices[i] + 1, b = mesh.indices[i + 1] + 1, c = mesh.indices[i + 2] + 1;
        if (uv) std::fprintf(f, "f %u/%u/%u %u/%u/%u %u/%u/%u\n", a, a, a, b, b, b, c, c, c);
        else std::fprintf(f, "f %u//%u %u//%u %u//%u\n", a, a, b, b, c, c);
    }
    std::fclose(f);
    return R3D_LoadModelEx(obj.c_str(), importFlags);
}

R3D_Model LoadGltf(const std::string& name, const ObjMesh& mesh, const std::string& materialJson,
                   const std::vector<std::string>& images) {
    std::string bin;
    auto append = [&bin](const void* data, size_t bytes) { bin.append(static_cast<const char*>(data), bytes); };
    const size_t n = mesh.positions.size();
    append(mesh.positions.data(), n * sizeof(Vector3));
    append(mesh.normals.data(), n * sizeof(Vector3));
    std::vector<Vector2> texcoords = mesh.texcoords;
    texcoords.resize(n, Vector2{0.0f, 0.0f});
    append(texcoords.data(), n * sizeof(Vector2));
    const size_t indexAt = bin.size();
    append(mesh.indices.data(), mesh.indices.size() * sizeof(unsigned int));
    FILE* f = std::fopen((TempFolder() + "/" + name + ".bin").c_str(), "wb");
    std::fwrite(bin.data(), 1, bin.size(), f);
    std::fclose(f);

    Vector3 lo = mesh.positions[0], hi = mesh.positions[0];
    for (const Vector3& p : mesh.positions) {
        lo = Vector3Min(lo, p);
        hi = Vector3Max(hi, p);
    }
    std::string imageList, textureList;
    for (size_t i = 0; i < images.size(); ++i) {
        imageList += std::string(i ? "," : "") + "{\"uri\":\"" + images[i] + "\"}";
        textureList += std::string(i ? "," : "") + "{\"source\":" + std::to_string(i) + "}";
    }
    f = std::fopen((TempFolder() + "/" + name + ".gltf").c_str(), "w");
    std::fprintf(f,
                 "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],\"nodes\":[{\"mesh\":0}],"
                 "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0,\"NORMAL\":1,\"TEXCOORD_0\":2},\"indices\":3,\"material\":0}]}],"
                 "\"materials\":[%s],\"images\":[%s],\"textures\":[%s],"
                 "\"buffers\":[{\"uri\":\"%s.bin\",\"byteLength\":%zu}],"
                 "\"bufferViews\":[{\"buffer\":0,\"byteOffset\":0,\"byteLength\":%zu},{\"buffer\":0,\"byteOffset\":%zu,\"byteLength\":%zu},"
                 "{\"buffer\":0,\"byteOffset\":%zu,\"byteLength\":%zu},{\"buffer\":0,\"byteOffset\":%zu,\"byteLength\":%zu}],"
                 "\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":%zu,\"type\":\"VEC3\",\"min\":[%f,%f,%f],\"max\":[%f,%f,%f]},"
                 "{\"bufferView\":1,\"componentType\":5126,\"count\":%zu,\"type\":\"VEC3\"},"
                 "{\"bufferView\":2,\"componentType\":5126,\"count\":%zu,\"type\":\"VEC2\"},"
                 "{\"bufferView\":3,\"componentType\":5125,\"count\":%zu,\"type\":\"SCALAR\"}]}",
                 materialJson.c_str(), imageList.c_str(), textureList.c_str(), name.c_str(),
                 bin.size(), n * 12, n * 12, n * 12, n * 24, n * 8, indexAt, mesh.indices.size() * 4, n, lo.x, lo.y,
                 lo.z, hi.x, hi.y, hi.z, n, n, mesh.indices.size());
    std::fclose(f);
    return R3D_LoadModelEx((TempFolder() + "/" + name + ".gltf").c_str(), R3D_IMPORT_DEFAULT);
}

void OpenWindow(int width, int height) {
    if (IsWindowReady()) return;
    SetTraceLogLevel(LOG_WARNING);
    InitWindow(width, height, "Vantor shading test");
    Platform::PinGlDriver();
    R3D_Init(width, height);
}

double Frame::Mean(Vector2 at, int radius, int channel) const {
    double sum = 0.0;
    int n = 0;
    for (int y = static_cast<int>(at.y) - radius; y <= static_cast<int>(at.y) + radius; ++y) {
        for (int x = static_cast<int>(at.x) - radius; x <= static_cast<int>(at.x) + radius; ++x) {
            if (x < 0 || y < 0 || x >= width || y >= height) continue;
            const Color c = At(x, y);
            switch (channel) {
                case 0: sum += c.r; break;
                case 1: sum += c.g; break;
                case 2: sum += c.b; break;
                default: sum += (c.r * 299 + c.g * 587 + c.b * 114) / 1000.0; break;
            }
            ++n;
        }
    }
    return n > 0 ? sum / n : 0.0;
}

Frame Render(const Camera3D& camera, const std::function<void()>& draw, const std::function<void()>& overlay) {
    Frame frame;
    frame.width = GetRenderWidth();
    frame.height = GetRenderHeight();
    BeginDrawing();
    R3D_Begin(camera);
    draw();
    R3D_End();
    if (overlay) overlay();
    rlDrawRenderBatchActive();
    unsigned char* rgba = rlReadScreenPixels(frame.width, frame.height);
    frame.pixels.resize(static_cast<size_t>(frame.width) * frame.height);
    for (size_t i = 0; i < frame.pixels.size(); ++i) {
        frame.pixels[i] = {rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]};
    }
    MemFree(rgba);
    // VANTOR_SHADING_DUMP=folder keeps every frame as a PNG, to look at what a test saw.
    if (const char* dump = std::getenv("VANTOR_SHADING_DUMP")) {
        static int counter = 0;
        Image image = LoadImageFromScreen();
        ExportImage(image, TextFormat("%s/frame_%03d.png", dump, counter++));
        UnloadImage(image);
    }
    EndDrawing();
    return frame;
}

Camera3D LookingDown(float height) {
    Camera3D camera{};
    camera.position = {0.0f, height, 0.0f};
    camera.up = {0.0f, 0.0f, -1.0f};
    camera.fovy = 45.0f;
    camera.projection = CAMERA_PERSPECTIVE;
    return camera;
}

Vector2 ScreenOf(Vector3 world, const Camera3D& camera) {
    return GetWorldToScreenEx(world, camera, GetRenderWidth(), GetRenderHeight());
}

std::vector<Instance> SphereField(int count) {
    std::vector<Instance> field;
    for (int i = 0; i < count; ++i) {
        Instance in;
        in.position = {-49.5f + (i % 100), 0.4f + 0.3f * std::sin(i * 0.37f), -49.5f + (i / 100)};
        in.rotation = QuaternionFromAxisAngle(Vector3Normalize({1.0f, 1.0f, 0.3f * (i % 7)}), i * 0.1f);
        in.scale = {1.0f, 0.6f + 0.1f * (i % 5), 1.0f};
        in.color = Color{static_cast<unsigned char>(128 + (i * 37) % 128), static_cast<unsigned char>(128 + (i * 61) % 128),
                         static_cast<unsigned char>(128 + (i * 89) % 128), 255};
        field.push_back(in);
    }
    return field;
}

void Fill(R3D_InstanceBuffer buffer, const std::vector<Instance>& instances) {
    auto* positions = static_cast<Vector3*>(R3D_MapInstances(buffer, R3D_INSTANCE_POSITION));
    auto* rotations = static_cast<Vector4*>(R3D_MapInstances(buffer, R3D_INSTANCE_ROTATION));
    auto* scales = static_cast<Vector3*>(R3D_MapInstances(buffer, R3D_INSTANCE_SCALE));
    auto* colors = static_cast<Color*>(R3D_MapInstances(buffer, R3D_INSTANCE_COLOR));
    for (size_t i = 0; i < instances.size() && static_cast<int>(i) < buffer.capacity; ++i) {
        positions[i] = instances[i].position;
        rotations[i] = instances[i].rotation;
        scales[i] = instances[i].scale;
        colors[i] = instances[i].color;
    }
    R3D_UnmapInstances(buffer, R3D_INSTANCE_ALL);
}

}  // namespace Shading
