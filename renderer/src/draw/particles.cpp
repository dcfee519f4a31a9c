// Particle emitters: a fixed pool of particles each, stepped on the CPU and drawn as
// camera-facing quads, one instanced draw per emitter, after the blended meshes.
//
// Everything an emitter needs is allocated when it is made (the pool's arrays, the
// values it streams, the sort's scratch arrays); its GPU buffers when it is first drawn.
// Stepping, sorting and drawing then allocate nothing.
//
// Each frame an emitter streams two values per particle, in drawing order: its centre
// and size (4 floats) and its colour (4 bytes), read by the vertex stage through texture
// buffers by the particle's number. An instance of the draw is a batch of quads rather
// than one: Mesa's software rasteriser runs its vertex pipeline once per instance, and
// 10,000 single-quad instances cost it about 30 ms a frame, against under 1 ms batched.
#include "draw/particles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "base/Log.h"
#include "base/Numbers.h"
#include "draw/draw_gl.h"
#include "draw/environment.h"
#include "r3d.h"
#include "raymath.h"  // Required for: Vector3RotateByQuaternion(), QuaternionNormalize()
#include "rlgl.h"     // Required for: rlLoadVertexArray(), rlLoadVertexBuffer(), rlLoadShaderProgram()

// The GLSL files' bytes (cmake/EmbedFile.cmake).
namespace r3d::glsl {
extern const unsigned char kParticlesVertex[];
extern const std::size_t kParticlesVertexSize;
extern const unsigned char kParticlesFragment[];
extern const std::size_t kParticlesFragmentSize;
}  // namespace r3d::glsl

namespace r3d {

bool SceneOpen();  // frame.cpp

namespace {

constexpr gl::GLenum kOne = 1;
constexpr gl::GLenum kRgba8 = 0x8058;
constexpr gl::GLenum kUnsignedShort = 0x1403;

// Quads an instance of the draw holds (see above); their 4 corners each are numbered by
// a 16-bit index buffer shared by every emitter.
constexpr int kQuadsPerInstance = 256;
static_assert(kQuadsPerInstance * 4 <= 65536, "corners are numbered in 16 bits");

// The texture units the streamed values are read from; the particle's texture is on 0.
constexpr int kUnitCenters = 1;
constexpr int kUnitColors = 2;

struct Emitter {
    int capacity = 0;
    int alive = 0;
    // The pool: the first `alive` entries of each array are the living particles.
    std::vector<Vector3> position, velocity;
    std::vector<float> age, life;
    // Drawing: the streamed values in the order drawn, and the depth sort's keys and orders.
    std::vector<Vector4> centers;  // x, y, z, size
    std::vector<Color> colors;
    std::vector<uint32_t> keys, keysSwap, order, orderSwap;

    Vector3 origin{0.0f, 0.0f, 0.0f};
    Quaternion rotation{0.0f, 0.0f, 0.0f, 1.0f};
    float rate = 0.0f;
    double owed = 0.0;  // the part of a birth the rate has run up so far, 0..1
    float shortest = 1.0f, longest = 1.0f;
    Vector3 velocityLocal{0.0f, 1.0f, 0.0f};  // before the emitter's rotation
    float spreadCos = 0.96592583f;            // cos(15 degrees)
    Vector3 gravity{0.0f, 0.0f, 0.0f};
    float birthColor[4] = {255.0f, 255.0f, 255.0f, 255.0f};
    float deathColor[4] = {255.0f, 255.0f, 255.0f, 0.0f};
    float birthSize = 0.1f, deathSize = 0.1f;
    unsigned int texture = 0;  // 0: the dot
    R3D_ParticleBlend blend = R3D_PARTICLES_ALPHA;
    uint32_t random = 0;
    unsigned int centerBuffer = 0, colorBuffer = 0;    // GL buffers, made at the first draw
    unsigned int centerTexture = 0, colorTexture = 0;  // texture buffers over them

    explicit Emitter(int n) : capacity(n) {
        position.resize(n);
        velocity.resize(n);
        age.resize(n);
        life.resize(n);
        centers.resize(n);
        colors.resize(n);
        keys.resize(n);
        keysSwap.resize(n);
        order.resize(n);
        orderSwap.resize(n);
    }
};

// Never destroyed, as the other pools: no destructor runs after the window is gone.
base::Pool<Emitter>& Emitters() {
    static auto* emitters = new base::Pool<Emitter>("R3D", "particle emitter");
    return *emitters;
}

Emitter* Find(R3D_Particles id, const char* call) { return Emitters().Get(static_cast<base::Handle>(id), call); }

// Handles queued by R3D_DrawParticles since R3D_Begin.
std::vector<base::Handle>& Queue() {
    static std::vector<base::Handle> queue;
    return queue;
}

// Variants of the particle program: bit 0 additive, bit 1 fogged, bit 2 textured.
constexpr int kVariants = 8;
int VariantOf(const Emitter& e, bool fog) {
    return (e.blend == R3D_PARTICLES_ADDITIVE ? 1 : 0) | (fog ? 2 : 0) | (e.texture != 0 ? 4 : 0);
}

struct Program {
    bool failed = false;  // did not compile; not tried again
    unsigned int id = 0;
    int viewProj = -1, right = -1, up = -1, texture = -1, ambient = -1, eye = -1;
    int centers = -1, colors = -1, count = -1;
};

struct Gpu {
    bool tried = false;  // made once; a failure is not tried again
    Program programs[kVariants];  // compiled at first use
    unsigned int vao = 0, indices = 0;  // the corners' index buffer, in a vertex array of its own
} gpu;

// -- Checking what callers hand in -------------------------------------------------------

void Refuse(const char* call, const char* argument, double value, const char* wanted) {
    base::Warn("R3D", "%s: %s %g is not %s; the setting is kept", call, argument, value, wanted);
}

bool NonNegative(const char* call, const char* argument, float value) {
    if (base::Finite(value) && value >= 0.0f) return true;
    Refuse(call, argument, value, "a finite number of 0 or more");
    return false;
}

bool FiniteVector(const char* call, const char* argument, Vector3 v) {
    if (base::FiniteVector(v)) return true;
    base::Warn("R3D", "%s: %s (%g, %g, %g) is not a finite vector; the setting is kept", call, argument, v.x, v.y, v.z);
    return false;
}

// -- Simulation ---------------------------------------------------------------------------

float Random01(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<float>(state >> 8) * (1.0f / 16777216.0f);
}

// The directions births fly in this step: within the cone around `axis` whose half-angle
// has the cosine `spreadCos`, spread evenly over the sphere's cap.
struct Cone {
    Vector3 axis{0.0f, 1.0f, 0.0f}, side{1.0f, 0.0f, 0.0f}, across{0.0f, 0.0f, 1.0f};
    float speed = 0.0f;
    float spreadCos = 1.0f;
};

Cone ConeOf(const Emitter& e) {
    Cone cone;
    const Vector3 v = Vector3RotateByQuaternion(e.velocityLocal, e.rotation);
    cone.speed = Vector3Length(v);
    cone.spreadCos = e.spreadCos;
    if (cone.speed < 1e-12f) return cone;
    cone.axis = Vector3Scale(v, 1.0f / cone.speed);
    const Vector3 helper = std::fabs(cone.axis.y) < 0.9f ? Vector3{0.0f, 1.0f, 0.0f} : Vector3{1.0f, 0.0f, 0.0f};
    cone.side = Vector3Normalize(Vector3CrossProduct(helper, cone.axis));
    cone.across = Vector3CrossProduct(cone.axis, cone.side);
    return cone;
}

// A particle born `age` seconds ago at the emitter; none when it would already be dead.
void Emit(Emitter& e, const Cone& cone, float age) {
    const float life = e.shortest + (e.longest - e.shortest) * Random01(e.random);
    if (age >= life && age > 0.0f) return;
    const float cosTheta = 1.0f - Random01(e.random) * (1.0f - cone.spreadCos);
    const float sinTheta = std::sqrt(std::max(0.0f, 1.0f - cosTheta * cosTheta));
    const float phi = 6.28318531f * Random01(e.random);
    const float c = std::cos(phi) * sinTheta, s = std::sin(phi) * sinTheta;
    const Vector3 direction = {cone.axis.x * cosTheta + cone.side.x * c + cone.across.x * s,
                               cone.axis.y * cosTheta + cone.side.y * c + cone.across.y * s,
                               cone.axis.z * cosTheta + cone.side.z * c + cone.across.z * s};
    const Vector3 v = Vector3Scale(direction, cone.speed);
    const int i = e.alive++;
    e.life[i] = life;
    e.age[i] = age;
    e.velocity[i] = Vector3Add(v, Vector3Scale(e.gravity, age));
    e.position[i] = Vector3Add(e.origin, Vector3Add(Vector3Scale(v, age), Vector3Scale(e.gravity, 0.5f * age * age)));
}

void Step(Emitter& e, float dt) {
    // The living age, fall and move; the dead give their place to the last one.
    const Vector3 fall = Vector3Scale(e.gravity, dt);
    int n = e.alive;
    for (int i = 0; i < n;) {
        const float age = e.age[i] + dt;
        if (age >= e.life[i]) {
            --n;
            e.position[i] = e.position[n];
            e.velocity[i] = e.velocity[n];
            e.age[i] = e.age[n];
            e.life[i] = e.life[n];
            continue;
        }
        e.age[i] = age;
        Vector3& v = e.velocity[i];
        v.x += fall.x;
        v.y += fall.y;
        v.z += fall.z;
        Vector3& p = e.position[i];
        p.x += v.x * dt;
        p.y += v.y * dt;
        p.z += v.z * dt;
        ++i;
    }
    e.alive = n;

    // The rate's births: the k-th comes when the owed part reaches k, (k - owed) / rate
    // into the step, and has aged the rest of it.
    if (e.rate <= 0.0f) return;
    const double start = e.owed;
    const double owed = start + static_cast<double>(e.rate) * dt;
    const double births = std::floor(owed);
    e.owed = owed - births;
    const double room = e.capacity - e.alive;
    // Without room for all, the youngest are the ones born.
    const double first = births > room ? births - room + 1.0 : 1.0;
    const Cone cone = ConeOf(e);
    for (double k = first; k <= births && e.alive < e.capacity; k += 1.0) {
        const double bornAt = (k - start) / e.rate;
        Emit(e, cone, static_cast<float>(std::max(0.0, dt - bornAt)));
    }
}

// -- Drawing --------------------------------------------------------------------------------

// A float's bits as an unsigned number in the same order, turned round: sorting these
// upwards puts the farthest first.
uint32_t FarFirstKey(float depth) {
    uint32_t bits;
    std::memcpy(&bits, &depth, sizeof bits);
    bits = (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
    return ~bits;
}

// Sorts `order` by `keys`, upwards, in three passes of 11 bits; answers where the sorted
// order ended up (the arrays are swapped each pass).
const uint32_t* RadixSort(Emitter& e, int n) {
    uint32_t* keys = e.keys.data();
    uint32_t* order = e.order.data();
    uint32_t* keysOut = e.keysSwap.data();
    uint32_t* orderOut = e.orderSwap.data();
    for (int shift = 0; shift < 32; shift += 11) {
        uint32_t start[2048] = {};
        for (int i = 0; i < n; ++i) ++start[(keys[i] >> shift) & 2047u];
        uint32_t sum = 0;
        for (uint32_t& s : start) {
            const uint32_t count = s;
            s = sum;
            sum += count;
        }
        for (int i = 0; i < n; ++i) {
            const uint32_t at = start[(keys[i] >> shift) & 2047u]++;
            keysOut[at] = keys[i];
            orderOut[at] = order[i];
        }
        std::swap(keys, keysOut);
        std::swap(order, orderOut);
    }
    return order;
}

// Fills the emitter's instances in drawing order: farthest first for alpha blending.
void Fill(Emitter& e, Vector3 eye, Vector3 forward) {
    const int n = e.alive;
    const uint32_t* order = nullptr;
    if (e.blend == R3D_PARTICLES_ALPHA) {
        for (int i = 0; i < n; ++i) {
            const Vector3& p = e.position[i];
            e.keys[i] = FarFirstKey((p.x - eye.x) * forward.x + (p.y - eye.y) * forward.y + (p.z - eye.z) * forward.z);
            e.order[i] = static_cast<uint32_t>(i);
        }
        order = RadixSort(e, n);
    }
    float colorStep[4];
    for (int c = 0; c < 4; ++c) colorStep[c] = e.deathColor[c] - e.birthColor[c];
    const float sizeStep = e.deathSize - e.birthSize;
    for (int k = 0; k < n; ++k) {
        const int i = order ? static_cast<int>(order[k]) : k;
        const float t = e.life[i] > 0.0f ? std::min(e.age[i] / e.life[i], 1.0f) : 1.0f;
        const Vector3& p = e.position[i];
        e.centers[k] = {p.x, p.y, p.z, e.birthSize + sizeStep * t};
        Color& color = e.colors[k];
        color.r = static_cast<unsigned char>(e.birthColor[0] + colorStep[0] * t + 0.5f);
        color.g = static_cast<unsigned char>(e.birthColor[1] + colorStep[1] * t + 0.5f);
        color.b = static_cast<unsigned char>(e.birthColor[2] + colorStep[2] * t + 0.5f);
        color.a = static_cast<unsigned char>(e.birthColor[3] + colorStep[3] * t + 0.5f);
    }
}

bool Compile(Program& program, int variant) {
    const std::string vertex = "#version 330 core\n#define QUADS_PER_INSTANCE " + std::to_string(kQuadsPerInstance) + "\n" +
                               std::string(reinterpret_cast<const char*>(glsl::kParticlesVertex), glsl::kParticlesVertexSize);
    std::string fragment = "#version 330 core\n";
    if (variant & 1) fragment += "#define ADDITIVE\n";
    if (variant & 2) fragment += std::string("#define FOG\n") + kFogGlsl;
    if (variant & 4) fragment += "#define TEXTURED\n";
    fragment += std::string(reinterpret_cast<const char*>(glsl::kParticlesFragment), glsl::kParticlesFragmentSize);
    program.id = rlLoadShaderProgram(vertex.c_str(), fragment.c_str());
    if (program.id == 0) return false;
    program.viewProj = rlGetLocationUniform(program.id, "uViewProj");
    program.right = rlGetLocationUniform(program.id, "uRight");
    program.up = rlGetLocationUniform(program.id, "uUp");
    program.texture = rlGetLocationUniform(program.id, "uTexture");
    program.ambient = rlGetLocationUniform(program.id, "uAmbient");
    program.eye = rlGetLocationUniform(program.id, "uEye");
    program.centers = rlGetLocationUniform(program.id, "uCenters");
    program.colors = rlGetLocationUniform(program.id, "uColors");
    program.count = rlGetLocationUniform(program.id, "uCount");
    return true;
}

const Program* ProgramFor(int variant) {
    Program& program = gpu.programs[variant];
    if (program.id == 0 && !program.failed) {
        program.failed = !Compile(program, variant);
        if (program.failed) base::Warn("R3D", "particle shader variant %d did not compile; its emitters are not drawn", variant);
    }
    return program.id != 0 ? &program : nullptr;
}

// The vertex array every draw uses: it holds only the index buffer of the quads' corners.
bool GpuReady() {
    if (!gpu.tried) {
        gpu.tried = true;
        // Quad q's corners are 4q..4q+3 (x from bit 0, y from bit 1): two triangles.
        std::vector<uint16_t> indices;
        for (int q = 0; q < kQuadsPerInstance; ++q) {
            const int c = 4 * q;
            indices.insert(indices.end(), {static_cast<uint16_t>(c), static_cast<uint16_t>(c + 1), static_cast<uint16_t>(c + 2),
                                           static_cast<uint16_t>(c + 2), static_cast<uint16_t>(c + 1), static_cast<uint16_t>(c + 3)});
        }
        gpu.vao = rlLoadVertexArray();
        if (gpu.vao != 0) {
            rlEnableVertexArray(gpu.vao);
            gpu.indices = rlLoadVertexBufferElement(indices.data(), static_cast<int>(indices.size() * sizeof(uint16_t)), false);
            rlDisableVertexArray();
        }
    }
    return gpu.vao != 0 && gpu.indices != 0;
}

// A streamed buffer of `bytes` and a texture buffer reading it as `format`.
void MakeStream(int bytes, gl::GLenum format, unsigned int& buffer, unsigned int& texture) {
    buffer = rlLoadVertexBuffer(nullptr, bytes, true);
    gl::GenTextures(1, &texture);
    gl::BindTexture(gl::kTextureBuffer, texture);
    gl::TexBuffer(gl::kTextureBuffer, format, buffer);
    gl::BindTexture(gl::kTextureBuffer, 0);
}

bool EmitterGpuReady(Emitter& e) {
    if (e.centerTexture != 0) return true;
    MakeStream(e.capacity * static_cast<int>(sizeof(Vector4)), gl::kRgba32f, e.centerBuffer, e.centerTexture);
    MakeStream(e.capacity * static_cast<int>(sizeof(Color)), kRgba8, e.colorBuffer, e.colorTexture);
    return e.centerBuffer != 0 && e.colorBuffer != 0;
}

void UnloadEmitterGpu(Emitter& e) {
    for (unsigned int* texture : {&e.centerTexture, &e.colorTexture}) {
        if (*texture != 0) gl::DeleteTextures(1, texture);
        *texture = 0;
    }
    for (unsigned int* buffer : {&e.centerBuffer, &e.colorBuffer}) {
        if (*buffer != 0) rlUnloadVertexBuffer(*buffer);
        *buffer = 0;
    }
}

}  // namespace

void DrawQueuedParticles(const Camera3D& camera, const Matrix& viewProj, const float ambient[3]) {
    std::vector<base::Handle>& queue = Queue();
    if (queue.empty() || !GpuReady()) return;  // nothing bound yet: the state is as DrawScene left it
    const Vector3 eye = camera.position;
    const Vector3 forward = Vector3Normalize(Vector3Subtract(camera.target, camera.position));
    const Vector3 right = Vector3Normalize(Vector3CrossProduct(forward, camera.up));
    const Vector3 up = Vector3CrossProduct(right, forward);

    // Alpha-blended emitters first, the farthest first; then the additive ones, in any order.
    const auto rank = [&](base::Handle h) {
        const Emitter* e = Emitters().Find(h);
        if (e == nullptr) return 0.0f;
        if (e->blend == R3D_PARTICLES_ADDITIVE) return 3.0e38f;
        return -Vector3DotProduct(Vector3Subtract(e->origin, eye), forward);
    };
    // A handful of emitters: an insertion sort, stable and without a buffer.
    for (std::size_t i = 1; i < queue.size(); ++i) {
        const base::Handle h = queue[i];
        const float r = rank(h);
        std::size_t j = i;
        for (; j > 0 && rank(queue[j - 1]) > r; --j) queue[j] = queue[j - 1];
        queue[j] = h;
    }

    gl::Enable(gl::kDepthTest);
    gl::DepthMask(0);
    gl::Disable(gl::kCullFace);
    gl::Enable(gl::kBlend);
    rlEnableVertexArray(gpu.vao);
    const bool fog = CurrentFog().On();
    bool uploaded[kVariants] = {};
    const Program* current = nullptr;
    for (base::Handle handle : queue) {
        Emitter* e = Emitters().Find(handle);
        if (e == nullptr || e->alive == 0 || !EmitterGpuReady(*e)) continue;
        const int variant = VariantOf(*e, fog);
        const Program* found = ProgramFor(variant);
        if (found == nullptr) continue;
        const Program& program = *found;
        Fill(*e, eye, forward);
        rlUpdateVertexBuffer(e->centerBuffer, e->centers.data(), e->alive * static_cast<int>(sizeof(Vector4)), 0);
        rlUpdateVertexBuffer(e->colorBuffer, e->colors.data(), e->alive * static_cast<int>(sizeof(Color)), 0);
        if (&program != current) {
            gl::UseProgram(program.id);
            current = &program;
        }
        if (!uploaded[variant]) {
            uploaded[variant] = true;
            rlSetUniformMatrix(program.viewProj, viewProj);
            rlSetUniform(program.right, &right, RL_SHADER_UNIFORM_VEC3, 1);
            rlSetUniform(program.up, &up, RL_SHADER_UNIFORM_VEC3, 1);
            rlSetUniform(program.eye, &eye, RL_SHADER_UNIFORM_VEC3, 1);
            // Additive particles are light (fire, sparks, a shimmer) and glow as given;
            // blended ones (smoke, dust) are lit by the sky light.
            static const float kUnlit[3] = {1.0f, 1.0f, 1.0f};
            rlSetUniform(program.ambient, (variant & 1) != 0 ? kUnlit : ambient, RL_SHADER_UNIFORM_VEC3, 1);
            const int units[3] = {0, kUnitCenters, kUnitColors};
            rlSetUniform(program.texture, &units[0], RL_SHADER_UNIFORM_INT, 1);
            rlSetUniform(program.centers, &units[1], RL_SHADER_UNIFORM_INT, 1);
            rlSetUniform(program.colors, &units[2], RL_SHADER_UNIFORM_INT, 1);
            if (fog) {
                UploadFog(program.id, eye.y);
                // The scene is fogged before its tone curve, particles after it (they are drawn
                // in display colours): theirs is the fog's colour as given.
                rlSetUniform(rlGetLocationUniform(program.id, "uFogColor"), CurrentFog().color, RL_SHADER_UNIFORM_VEC3, 1);
            }
        }
        rlSetUniform(program.count, &e->alive, RL_SHADER_UNIFORM_INT, 1);
        gl::BlendFunc(gl::kSrcAlpha, e->blend == R3D_PARTICLES_ADDITIVE ? kOne : gl::kOneMinusSrcAlpha);
        gl::ActiveTexture(gl::kTexture0 + kUnitCenters);
        gl::BindTexture(gl::kTextureBuffer, e->centerTexture);
        gl::ActiveTexture(gl::kTexture0 + kUnitColors);
        gl::BindTexture(gl::kTextureBuffer, e->colorTexture);
        gl::ActiveTexture(gl::kTexture0);
        gl::BindTexture(gl::kTexture2D, e->texture);
        const int batches = (e->alive + kQuadsPerInstance - 1) / kQuadsPerInstance;
        gl::DrawElementsInstanced(gl::kTriangles, 6 * kQuadsPerInstance, kUnsignedShort, nullptr, batches);
    }

    // Hand rlgl back the state its batch expects.
    rlDisableVertexArray();
    for (int unit : {kUnitCenters, kUnitColors}) {
        gl::ActiveTexture(gl::kTexture0 + unit);
        gl::BindTexture(gl::kTextureBuffer, 0);
    }
    gl::ActiveTexture(gl::kTexture0);
    gl::BindTexture(gl::kTexture2D, 0);
    gl::BlendFunc(gl::kSrcAlpha, gl::kOneMinusSrcAlpha);
    gl::DepthMask(1);
    gl::Enable(gl::kCullFace);
    gl::UseProgram(0);
}

void ClearQueuedParticles() { Queue().clear(); }

void UnloadParticleResources() {
    for (Program& program : gpu.programs) {
        if (program.id != 0) rlUnloadShaderProgram(program.id);
        program = Program{};
    }
    if (gpu.indices != 0) rlUnloadVertexBuffer(gpu.indices);
    if (gpu.vao != 0) rlUnloadVertexArray(gpu.vao);
    gpu = Gpu{};
    Emitters().ForEach([](base::Handle, Emitter& e) { UnloadEmitterGpu(e); });
}

}  // namespace r3d

using r3d::Emitter;
using r3d::Find;

extern "C" {

R3D_Particles R3D_CreateParticles(int maxAlive) {
    if (maxAlive < 1) {
        base::Warn("R3D", "R3D_CreateParticles: maxAlive %d is not 1 or more; no emitter made", maxAlive);
        return 0;
    }
    if (maxAlive > R3D_MAX_PARTICLES) {
        base::Warn("R3D", "R3D_CreateParticles: maxAlive %d is more than %d; the emitter holds %d", maxAlive,
                   R3D_MAX_PARTICLES, R3D_MAX_PARTICLES);
        maxAlive = R3D_MAX_PARTICLES;
    }
    const base::Handle handle = r3d::Emitters().Add(maxAlive);
    if (handle == 0) {
        base::Warn("R3D", "R3D_CreateParticles: no emitter handles left; no emitter made");
        return 0;
    }
    // Each emitter its own sequence, never 0 (the generator's fixed point).
    r3d::Emitters().Find(handle)->random = (handle * 2654435761u) | 1u;
    return static_cast<R3D_Particles>(handle);
}

void R3D_DestroyParticles(R3D_Particles id) {
    Emitter* e = Find(id, __func__);
    if (e == nullptr) return;
    // Without a window there is no GL to free (and nothing was made on it).
    if (IsWindowReady()) r3d::UnloadEmitterGpu(*e);
    r3d::Emitters().Remove(static_cast<base::Handle>(id));
}

void R3D_SetParticlesTransform(R3D_Particles id, Vector3 position, Quaternion rotation) {
    Emitter* e = Find(id, __func__);
    if (e == nullptr || !r3d::FiniteVector(__func__, "position", position)) return;
    const float length = std::sqrt(rotation.x * rotation.x + rotation.y * rotation.y + rotation.z * rotation.z +
                                   rotation.w * rotation.w);
    if (!base::Finite(length) || length < 1e-6f) {
        base::Warn("R3D", "%s: rotation (%g, %g, %g, %g) is not a rotation; the setting is kept", __func__, rotation.x,
                   rotation.y, rotation.z, rotation.w);
        return;
    }
    e->origin = position;
    e->rotation = {rotation.x / length, rotation.y / length, rotation.z / length, rotation.w / length};
}

void R3D_SetParticlesRate(R3D_Particles id, float perSecond) {
    Emitter* e = Find(id, __func__);
    if (e == nullptr || !r3d::NonNegative(__func__, "perSecond", perSecond)) return;
    e->rate = perSecond;
    if (perSecond == 0.0f) e->owed = 0.0;
}

void R3D_BurstParticles(R3D_Particles id, int count) {
    Emitter* e = Find(id, __func__);
    if (e == nullptr) return;
    if (count < 0) {
        r3d::Refuse(__func__, "count", count, "0 or more");
        return;
    }
    const r3d::Cone cone = r3d::ConeOf(*e);
    const int born = std::min(count, e->capacity - e->alive);
    for (int k = 0; k < born; ++k) r3d::Emit(*e, cone, 0.0f);
}

void R3D_SetParticlesLifetime(R3D_Particles id, float shortest, float longest) {
    Emitter* e = Find(id, __func__);
    if (e == nullptr || !r3d::NonNegative(__func__, "shortest", shortest) || !r3d::NonNegative(__func__, "longest", longest))
        return;
    e->shortest = std::min(shortest, longest);
    e->longest = std::max(shortest, longest);
}

void R3D_SetParticlesVelocity(R3D_Particles id, Vector3 velocity, float spreadDegrees) {
    Emitter* e = Find(id, __func__);
    if (e == nullptr || !r3d::FiniteVector(__func__, "velocity", velocity)) return;
    if (!base::InRange(spreadDegrees, 0.0f, 180.0f)) {
        r3d::Refuse(__func__, "spreadDegrees", spreadDegrees, "between 0 and 180");
        return;
    }
    e->velocityLocal = velocity;
    e->spreadCos = std::cos(spreadDegrees * DEG2RAD);
}

void R3D_SetParticlesGravity(R3D_Particles id, Vector3 gravity) {
    Emitter* e = Find(id, __func__);
    if (e != nullptr && r3d::FiniteVector(__func__, "gravity", gravity)) e->gravity = gravity;
}

void R3D_SetParticlesColors(R3D_Particles id, Color birth, Color death) {
    Emitter* e = Find(id, __func__);
    if (e == nullptr) return;
    const unsigned char from[4] = {birth.r, birth.g, birth.b, birth.a}, to[4] = {death.r, death.g, death.b, death.a};
    for (int c = 0; c < 4; ++c) {
        e->birthColor[c] = from[c];
        e->deathColor[c] = to[c];
    }
}

void R3D_SetParticlesSizes(R3D_Particles id, float birth, float death) {
    Emitter* e = Find(id, __func__);
    if (e == nullptr || !r3d::NonNegative(__func__, "birth", birth) || !r3d::NonNegative(__func__, "death", death)) return;
    e->birthSize = birth;
    e->deathSize = death;
}

void R3D_SetParticlesTexture(R3D_Particles id, unsigned int texture) {
    if (Emitter* e = Find(id, __func__)) e->texture = texture;
}

void R3D_SetParticlesBlend(R3D_Particles id, R3D_ParticleBlend blend) {
    Emitter* e = Find(id, __func__);
    if (e == nullptr) return;
    if (blend != R3D_PARTICLES_ALPHA && blend != R3D_PARTICLES_ADDITIVE) {
        r3d::Refuse(__func__, "blend", static_cast<int>(blend), "R3D_PARTICLES_ALPHA or R3D_PARTICLES_ADDITIVE");
        return;
    }
    e->blend = blend;
}

int R3D_GetParticlesCount(R3D_Particles id) {
    const Emitter* e = Find(id, __func__);
    return e ? e->alive : 0;
}

bool R3D_GetParticlesSettings(R3D_Particles id, R3D_ParticlesSettings* out) {
    const Emitter* e = Find(id, __func__);
    if (!e || !out) return false;
    auto colour = [](const float* c) {
        return Color{static_cast<unsigned char>(c[0] + 0.5f), static_cast<unsigned char>(c[1] + 0.5f),
                     static_cast<unsigned char>(c[2] + 0.5f), static_cast<unsigned char>(c[3] + 0.5f)};
    };
    *out = {e->capacity, e->rate, e->shortest, e->longest, e->velocityLocal,
            std::acos(std::clamp(e->spreadCos, -1.0f, 1.0f)) * RAD2DEG, e->gravity, colour(e->birthColor),
            colour(e->deathColor), e->birthSize, e->deathSize, e->blend};
    return true;
}

void R3D_UpdateParticles(float seconds) {
    if (!base::Finite(seconds) || seconds < 0.0f) {
        base::Warn("R3D", "R3D_UpdateParticles: seconds %g is not a finite number of 0 or more; nothing moves",
                   static_cast<double>(seconds));
        return;
    }
    if (seconds == 0.0f) return;
    r3d::Emitters().ForEach([seconds](base::Handle, Emitter& e) { r3d::Step(e, seconds); });
}

void R3D_DrawParticles(R3D_Particles id) {
    if (!r3d::SceneOpen()) {
        base::Warn("R3D", "R3D_DrawParticles called outside R3D_Begin/R3D_End; nothing drawn");
        return;
    }
    if (Find(id, __func__) != nullptr) r3d::Queue().push_back(static_cast<base::Handle>(id));
}

}  // extern "C"
