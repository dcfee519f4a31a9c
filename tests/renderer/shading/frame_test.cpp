// The frame itself: no heap allocation per frame once the scene is steady, raylib's own
// 3D drawing between R3D_Begin and R3D_End uses the scene's camera, and misuse of the
// frame calls is harmless.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "ShadingScene.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

// Counts every C++ allocation of the process while `counting` is on. Every form of
// new and delete is replaced, all on malloc and free, so that no memory allocated by
// one family is freed by another (the sanitizers report such a mismatch).
// (GCC cannot see that these operators pair new with malloc and delete with free.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
void* Allocate(std::size_t size, std::size_t alignment) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
    if (size == 0) size = 1;
    if (alignment <= alignof(std::max_align_t)) return std::malloc(size);
    void* p = nullptr;
    return posix_memalign(&p, alignment, size) == 0 ? p : nullptr;
}
void* AllocateOrThrow(std::size_t size, std::size_t alignment) {
    if (void* p = Allocate(size, alignment)) return p;
    throw std::bad_alloc();
}
constexpr std::size_t kPlain = alignof(std::max_align_t);
}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size, kPlain); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size, kPlain); }
void* operator new(std::size_t size, std::align_val_t a) { return AllocateOrThrow(size, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t size, std::align_val_t a) { return AllocateOrThrow(size, static_cast<std::size_t>(a)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, kPlain); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, kPlain); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return Allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return Allocate(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }

using namespace Shading;

namespace {

Camera3D TopDown() { return LookingDown(12.0f); }

TEST(Frame, SteadyFramesAllocateNothing) {
    OpenWindow();
    R3D_Model plane = LoadObj("plane", Plane(10.0f));
    R3D_Model box = LoadObj("box", Box(0.5f));
    R3D_InstanceBuffer planes = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
    R3D_InstanceBuffer boxes = R3D_LoadInstanceBuffer(64, R3D_INSTANCE_ALL);
    Fill(planes, {Instance{}});
    std::vector<Instance> grid;
    for (int i = 0; i < 64; ++i) grid.push_back({{-3.5f + i % 8, 1.0f, -3.5f + i / 8}, {0, 0, 0, 1}, {0.5f, 0.5f, 0.5f}, RED});
    Fill(boxes, grid);
    // One shadowed light of each kind, redrawn every frame, and a plain one.
    R3D_Light lights[4];
    const R3D_LightType types[4] = {R3D_LIGHT_DIR, R3D_LIGHT_SPOT, R3D_LIGHT_OMNI, R3D_LIGHT_OMNI};
    for (int i = 0; i < 4; ++i) {
        lights[i] = R3D_CreateLight(types[i]);
        R3D_SetLightPosition(lights[i], {static_cast<float>(i) - 1.5f, 6.0f, 0.0f});
        R3D_SetLightActive(lights[i], true);
        if (i < 3) R3D_EnableShadow(lights[i]);
    }
    const Camera3D camera = TopDown();
    auto frame = [&] {
        BeginDrawing();
        R3D_Begin(camera);
        R3D_DrawModelInstanced(plane, planes, 1);
        R3D_DrawModelInstanced(box, boxes, 64);
        R3D_End();
        EndDrawing();
    };
    for (int i = 0; i < 3; ++i) frame();  // shaders and shadow textures are made here

    allocations = 0;
    counting = true;
    for (int i = 0; i < 5; ++i) {
        auto* positions = static_cast<Vector3*>(R3D_MapInstances(boxes, R3D_INSTANCE_POSITION));
        positions[0].y = 1.0f + 0.1f * i;  // the scene moves; nothing is added
        R3D_UnmapInstances(boxes, R3D_INSTANCE_POSITION);
        frame();
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0);

    for (R3D_Light light : lights) R3D_DestroyLight(light);
    R3D_UnloadInstanceBuffer(planes);
    R3D_UnloadInstanceBuffer(boxes);
    R3D_UnloadModel(plane, true);
    R3D_UnloadModel(box, true);
}

TEST(Frame, RaylibThreeDimensionalDrawingUsesTheSceneCamera) {
    OpenWindow();
    const Camera3D camera = TopDown();
    const Vector2 left = ScreenOf({-3.0f, 0.0f, 0.0f}, camera);
    const Vector2 right = ScreenOf({3.0f, 0.0f, 0.0f}, camera);
    const Frame f = Render(camera, [] { DrawCube({-3.0f, 0.0f, 0.0f}, 1.0f, 1.0f, 1.0f, Color{255, 0, 255, 255}); });
    EXPECT_GT(f.Mean(left, 2, 0), 240.0);
    EXPECT_LT(f.Mean(left, 2, 1), 15.0);
    EXPECT_LT(f.Mean(right, 2, 0), 60.0);
}

TEST(Frame, UnpairedCallsAreHarmless) {
    OpenWindow();
    R3D_End();  // no scene open
    const Camera3D camera = TopDown();
    BeginDrawing();
    R3D_Begin(camera);
    R3D_Begin(camera);  // the first scene is closed first
    R3D_End();
    R3D_End();
    EndDrawing();
    // Still draws normally afterwards.
    const Frame f = Render(camera, [] { DrawCube({0.0f, 0.0f, 0.0f}, 1.0f, 1.0f, 1.0f, Color{255, 0, 255, 255}); });
    EXPECT_GT(f.Mean(ScreenOf({0.0f, 0.5f, 0.0f}, camera), 2, 2), 240.0);
}

}  // namespace
