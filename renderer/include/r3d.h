/**********************************************************************************************
*
*   r3d - Vantor's renderer layer, a C API on raylib and rlgl
*
*   What it does:
*     - renders a 3D scene with one camera between R3D_Begin() and R3D_End(), shaded forward
*       (one lit pass) with a physically based (metallic-roughness) material model
*     - imports models with assimp (FBX, glTF/GLB, OBJ and what else assimp reads), their
*       materials and textures included
*     - draws models instanced from per-instance GPU arrays (position, rotation, scale, colour)
*     - skeletal animation: skinned meshes and node clips, posed per instance on the CPU and
*       skinned on the GPU
*     - alpha-masked and alpha-blended materials; blended meshes are drawn after the opaque
*       ones, back to front, without writing depth
*     - directional, spot and omni lights with shadow maps
*     - ray tests against models through a BVH built per mesh at load time (and against an
*       animated model in a given pose)
*     - levels of detail: meshes are optimised and simplified at load, and every view draws
*       each instance at the coarsest level that stays within about a pixel of the full mesh
*     - an exposure and a filmic tone curve on the final colour
*     - particle emitters: pools of camera-facing quads simulated on the CPU and drawn
*       after the blended meshes, one instanced draw per emitter
*
*     - a procedural or panorama sky and the light it gives, height fog, screen-space
*       ambient occlusion and bloom (see Environment)
*
*   What it does not do: order-independent transparency (blended meshes are sorted per instance, not
*   per triangle).
*
*   It draws through rlgl and a few OpenGL calls of its own; the screen layer (s2d.h) and
*   the engine's inspector also draw through rlgl, over the scene. Callers see raylib's
*   records (Vector3, Color, Matrix, Ray, RayCollision, Camera3D) and the handles below.
*   Models, instance buffers and lights are handles that carry a generation: a copy kept
*   after its object was unloaded or destroyed is refused with a warning naming the call,
*   never followed.
*
*   Usage:
*     R3D_Init(width, height);                              // after raylib's InitWindow()
*     R3D_Model model = R3D_LoadModelEx("level.fbx", R3D_IMPORT_DEFAULT);
*     R3D_InstanceBuffer ib = R3D_LoadInstanceBuffer(256, R3D_INSTANCE_ALL);
*     Vector3* pos = R3D_MapInstances(ib, R3D_INSTANCE_POSITION);  ... fill ...
*     R3D_UnmapInstances(ib, R3D_INSTANCE_POSITION);
*     BeginDrawing();
*       R3D_Begin(camera);
*         R3D_DrawModelInstanced(model, ib, count);
*       R3D_End();
*     EndDrawing();
*
**********************************************************************************************/
#ifndef R3D_H
#define R3D_H

#include <stdbool.h>
#include "raylib.h"     // Required for: Vector3, Vector4, Color, Matrix, Ray, RayCollision, Camera3D

#ifdef __cplusplus
extern "C" {
#endif

//----------------------------------------------------------------------------------
// Handles and records
//----------------------------------------------------------------------------------

// A loaded model: every mesh of the file with its material. A model that could not
// be read has meshCount 0 and may still be drawn, ray-tested and unloaded. The record is
// a value: copies name the same model, and after R3D_UnloadModel every copy is refused
// (with a warning) by every call that takes it. A zeroed record names no model: calls
// take it as an empty model, silently.
typedef struct R3D_Model {
    int meshCount;               // number of meshes
    int triangleCount;           // triangles over all meshes
    BoundingBox aabb;            // bounds in model space (all zero when empty)
    unsigned int id;             // handle of its meshes, materials, GPU buffers and BVHs; 0: none
} R3D_Model;

// Per-instance attributes, also used as bit flags.
typedef enum R3D_InstanceFlags {
    R3D_INSTANCE_POSITION = 1,   // Vector3
    R3D_INSTANCE_ROTATION = 2,   // Quaternion (Vector4: x, y, z, w)
    R3D_INSTANCE_SCALE    = 4,   // Vector3
    R3D_INSTANCE_COLOR    = 8,   // Color (multiplied with the material colour)
    R3D_INSTANCE_ANIMATION = 16, // R3D_AnimationState (models with animation clips; CPU only)
    R3D_INSTANCE_ALL      = 31
} R3D_InstanceFlags;

// Where an instance of an animated model is in its clips. Times are seconds into the
// clip; keys are held before the first and after the last (looping is the caller's:
// wrap the time). A clip of -1 (or out of range) is the rest pose. While fading, the pose
// is `from` at fromTime blended towards `clip` at time by `fade` (0: all `from`, 1: all
// `clip`). Slots start at the rest pose, fade 1.
typedef struct R3D_AnimationState {
    int clip;
    float time;
    int from;
    float fromTime;
    float fade;
} R3D_AnimationState;

// GPU arrays of per-instance attributes with room for `capacity` instances. A value like
// R3D_Model: copies kept after R3D_UnloadInstanceBuffer are refused with a warning.
typedef struct R3D_InstanceBuffer {
    int capacity;                   // number of slots of every attribute
    int flags;                      // attributes the buffer holds (R3D_InstanceFlags bits)
    unsigned int id;                // handle of its GPU buffers and CPU staging arrays; 0: none
} R3D_InstanceBuffer;

// Most levels of detail a model has, full detail included.
#define R3D_MAX_LOD_LEVELS 8

// What the latest R3D_End drew in one kind of view. Level k counts what was drawn at level
// of detail k (0: full detail); a model without levels, or with them off, counts as level 0.
typedef struct R3D_ViewStats {
    int views;                                  // camera: 1; shadow maps: maps and cube faces drawn
    int drawCalls;                              // instanced draw calls issued
    int instances;                              // instances drawn, summed over meshes and views
    long long triangles;                        // triangles submitted
    int levelInstances[R3D_MAX_LOD_LEVELS];     // instances drawn at each level
    long long levelTriangles[R3D_MAX_LOD_LEVELS];  // triangles submitted at each level
} R3D_ViewStats;

typedef struct R3D_FrameStats {
    R3D_ViewStats camera;                       // the lit pass
    R3D_ViewStats shadows;                      // every shadow map redrawn in that frame
    // With R3D_SetPassTiming(true): milliseconds each pass took to finish on the driver
    // (R3D_End waits for the driver after each); 0 otherwise.
    float shadowMs;                             // redrawing the shadow maps that were due
    float sceneMs;                              // the lit pass, blended meshes and the sky included
    float effectsMs;                            // occlusion, bloom and the particles
    float poseMs;                               // always: posing animated instances on the CPU
} R3D_FrameStats;

// A light, addressed by an integer handle. 0 and negative values are never handed out, and
// a destroyed light's handle is never handed out again: calls with it are refused with a
// warning naming the call.
typedef int R3D_Light;

typedef enum R3D_LightType {
    R3D_LIGHT_DIR  = 0,          // directional: only its direction matters
    R3D_LIGHT_SPOT = 1,          // position, direction, cone between inner and outer cut-off
    R3D_LIGHT_OMNI = 2           // position, shines in every direction
} R3D_LightType;

typedef enum R3D_ShadowUpdateMode {
    R3D_SHADOW_UPDATE_MANUAL     = 0,  // only after R3D_UpdateShadowMap()
    R3D_SHADOW_UPDATE_INTERVAL   = 1,  // every `frequency` milliseconds
    R3D_SHADOW_UPDATE_CONTINUOUS = 2   // every frame
} R3D_ShadowUpdateMode;

// Model import flags.
//   R3D_IMPORT_DEFAULT:  triangulate, generate smooth normals where missing, apply node
//                        transforms, join identical vertices. One mesh per mesh of each node.
//   R3D_IMPORT_OPTIMIZE: the same, and also optimise meshes (collapse the node graph, merge
//                        meshes that share a material). Every import orders each mesh for the
//                        vertex cache and builds its levels of detail (see below). Drawing
//                        and ray tests are unchanged in result; loading takes a little longer.
typedef enum R3D_ImportFlags {
    R3D_IMPORT_DEFAULT = 0,
    R3D_IMPORT_OPTIMIZE = 1
} R3D_ImportFlags;

//----------------------------------------------------------------------------------
// Frame
//----------------------------------------------------------------------------------

// The scene is shaded forward, straight into the current framebuffer at its own size:
// one pass per due shadow map, then one lit pass over everything drawn.
void R3D_Init(int resWidth, int resHeight);   // after InitWindow(); idempotent
void R3D_Close(void);                         // frees the renderer's GPU resources (lights keep their values)
void R3D_Begin(Camera3D camera);              // clears and starts a scene seen by the camera (raylib's
                                              // BeginMode3D too, so raylib 3D drawing may go in between)
void R3D_End(void);                           // draws shadow maps that are due, then the scene; raylib's
                                              // 2D drawing (DrawFPS...) may follow and stays on top
R3D_FrameStats R3D_GetFrameStats(void);       // what the latest R3D_End drew (all zero before the first)
// Times each pass of R3D_End into R3D_FrameStats by waiting for the driver to finish it:
// for profiling only, since the waits keep the driver from overlapping the passes with
// the program's own work. Off by default.
void R3D_SetPassTiming(bool enabled);
// Waits until the driver has carried out every command issued so far (what was drawn
// through raylib's batch too, once flushed): for timing a tool's own drawing.
void R3D_WaitForDriver(void);
// How many OpenGL errors were raised since the last call (the driver's error flags,
// drained); 0 when none, or before the renderer started. For diagnostics: asking costs
// a round trip to the driver.
int R3D_TakeGLErrors(void);

// Exposure and tone curve. The lit colour c of every pixel is multiplied by the exposure
// (default 1) and then goes through a filmic curve applied to its brightest channel
// m = max(r, g, b), the other channels scaled alike so that hue and saturation are kept:
//     m <= 0.7:  unchanged (shadows and mid-tones look as they would without the curve)
//     m >  0.7:  0.7 + 0.3 * (1 - exp(-(m - 0.7) / 0.3))   (a soft shoulder towards 1)
// The shoulder meets the straight part with the same slope and never reaches 1, so light
// far stronger than white (a flashlight close to a wall) keeps the surface's colour
// instead of clipping to flat white; 1.0 comes out as 0.89, 1.5 as 0.98.
void R3D_SetExposure(float exposure);         // negative values are taken as 0
float R3D_GetExposure(void);

//----------------------------------------------------------------------------------
// Environment
//
// All off by default: the background is a flat dark grey and a dim constant sky/ground
// term lights what the lights do not reach. What is off costs nothing.
//
// Sky: R3D_SetSkyColors draws a procedural sky behind everything, the horizon colour at
// the horizon reaching the zenith colour upwards and the ground colour downwards along
// 1 - (1 - |y|)^4 (y the sine of the elevation), with a sun disc where the first active
// directional light shines from. R3D_SetSkyPanorama draws an equirectangular picture
// instead, its centre column straight ahead along -Z, its top row straight up (an image of
// 32-bit float RGB is linear light, as a Radiance file holds it; an 8-bit one is taken as
// display colours). Colours given for the sky come out on the screen as given at exposure
// 1. The sky is kept as one 256 x 128 map (with mip levels) that the sky, its light and
// reflections share; it is rebuilt when the sky changes, never per frame (about 2 ms).
// Cost: one full-screen pass over the pixels nothing opaque covers.
//
// Sky light (intensity > 0, with a sky set): replaces the constant term with the sky's
// own light: every surface gets the sky's irradiance from the directions it faces (nine
// spherical harmonics of the map, computed when the sky changes) and mirrors the sky in
// its gloss, blurrier with roughness, by the split-sum approximation of the lit pass's
// microfacet model. Shadows do not hold it back (ambient occlusion does). Cost: a few
// dozen instructions and one texture read per pixel of the lit pass.
//
// Fog: how much of a pixel's colour gives way to the fog colour grows with the fog
// between the eye and what the pixel shows. The fog's density at height y (metres) is
// density * exp(-heightFalloff * y), so with a falloff it is thick low down and thins
// upwards; along the line of sight of length d its optical depth t is that density's
// integral, and the pixel becomes mix(colour, fog, 1 - exp(-t)) just before the tone
// curve (the fog's colour taken so that the curve gives it back as given), on models,
// the sky (1000 m away) and particles alike. Density 0 is no fog. Cost: a dozen
// instructions per pixel.
//
// Ambient occlusion and bloom work on what the lit pass left in the framebuffer, after it
// (the scene is drawn to the screen as when they are off): copies of its depth (a quarter
// of the size) and of its picture (half the size) are read, and one blended pass over the
// screen darkens by the occlusion and adds the glow. The framebuffer's depth must be
// 24-bit (as a window's and raylib's render textures' are); otherwise occlusion is off,
// with one warning. Ambient occlusion (radius > 0 and strength > 0): from depth only, at a
// quarter of the size: 8 samples within the radius (metres) around each point's normal,
// blurred over 4 x 4 texels by depth (no bleeding across depth edges), darkening the
// picture by up to strength x the share of samples hidden. Bloom (strength > 0): what is
// brighter than the threshold (given in the lit colour after exposure, before the tone
// curve: 1 is a white matte surface lit head-on at energy 1; the picture's brightness
// above the curve's value for it) is blurred down a chain of half-size levels from a
// quarter of the screen down to about 8 texels (its reach is a share of the screen, not
// of the frame rate) and added, times strength.
// Cost on llvmpipe at 1280 x 800 (2 cores): the sky pass about 2-4 ms, sky light a few ms
// of the lit pass, fog about 2 ms, occlusion and bloom together about 15 ms.
// Negative or non-finite values are taken as 0 (off).
//----------------------------------------------------------------------------------

void R3D_SetSkyColors(Color zenith, Color horizon, Color ground);
void R3D_SetSkyPanorama(Image image);   // copied; the image may be unloaded after
void R3D_SetSkyLight(float intensity);
void R3D_SetAmbientOcclusion(float radius, float strength);  // strength at most 4
void R3D_SetBloom(float strength, float threshold);
void R3D_SetFog(Color color, float density, float heightFalloff);

//----------------------------------------------------------------------------------
// Models
//----------------------------------------------------------------------------------

// Every triangle mesh of the file, each placed by its node's transform, with its material
// read into a physically based (metallic-roughness) one: base colour, metallic, roughness,
// normal, occlusion and emissive maps, alpha mode and double-sidedness (the README lists
// what each format gives). Textures are found beside the model, in its subfolders or in
// the assets folder when the path written in the file does not lead to them.
// Coordinates are taken as the file stores them: no unit scale is applied (an FBX file's
// UnitScaleFactor is ignored). Loaded without a window, a model has its meshes for ray tests
// but nothing on the GPU. A file that cannot be read gives an empty model (meshCount 0) and a
// warning on stderr naming the file and the importer's reason.
R3D_Model R3D_LoadModelEx(const char* fileName, int importFlags);
// Frees meshes, GPU buffers and, with unloadMaterials, the textures (otherwise they stay
// loaded, for models sharing them).
void R3D_UnloadModel(R3D_Model model, bool unloadMaterials);

// Levels of detail. At load every mesh is reordered for the vertex cache and vertex fetch
// (meshoptimizer), and a chain of simplified levels is built, each with about half the
// triangles of the one before, until the surface would move by more than a quarter of the
// mesh's size, a step removes less than a quarter of the triangles, or a level has 16
// triangles or fewer (small meshes, like boxes, get no levels). On a mesh of 20,000
// triangles or more the chain is built on a second thread while the load builds the
// mesh's BVH, so it adds little to the load. Ray tests always use the
// full mesh. Each view (the camera, each shadow map and cube face) draws an instance at the
// coarsest level whose error, projected at the instance's nearest distance, stays within
// one pixel (one texel for shadow maps, which thus often draw coarser levels).
// Level of detail is ON by default; switched off, a model always draws at full detail.
// A coarse level's vertices are moved off the surface by half the gap its flat triangles
// leave (estimated from the vertex normals), so that it straddles a curved surface rather
// than sinking into it, and its silhouette strays half as far.
// The pixel error is a trade: edge pixels of a simplified silhouette flip in proportion to
// it. On a field of 10,000 spheres a few pixels wide, 1 pixel changes about 2.5% of the
// pixels and draws 7% of the full triangles; 0.15 changes under 0.5% and draws 40%.
void R3D_SetLodPixelError(float pixels);          // all views; default 1; 0 draws full detail
float R3D_GetLodPixelError(void);
void R3D_SetModelLod(R3D_Model model, bool enabled);
bool R3D_IsModelLodEnabled(R3D_Model model);
int R3D_GetModelLodCount(R3D_Model model);        // levels including full detail; 0 for an empty model
int R3D_GetModelLodTriangles(R3D_Model model, int level);  // triangles of a level over all meshes
// Bytes of its vertex and index data (every level of detail), kept on the CPU for ray tests
// and the same again on the GPU; textures not counted. 0 for an empty model.
long long R3D_GetModelGeometryBytes(R3D_Model model);

// Animation. A model's skinned meshes (up to four joint weights a vertex) and the clips of
// its file (glTF clips with their linear, step or cubic-spline keys; other formats' clips
// through the importer, linear) are kept; so are clips that move whole nodes (a door, a
// fan). Every node of an animated model is a joint, at most R3D_MAX_JOINTS of them; a
// model with more, or whose skin or clips are broken, loads without the broken part and
// a warning names the file and the reason. A model without clips draws as before.
// Instances are posed on the CPU once per R3D_End from their R3D_AnimationState (one
// matrix a joint) and skinned on the GPU, in the lit pass and in the shadow maps alike;
// they are culled with bounds that hold every pose of every clip.
#define R3D_MAX_JOINTS 256
int R3D_GetModelAnimationCount(R3D_Model model);
const char* R3D_GetModelAnimationName(R3D_Model model, int clip);  // "" out of range
float R3D_GetModelAnimationLength(R3D_Model model, int clip);      // seconds; 0 out of range
int R3D_GetModelJointCount(R3D_Model model);                       // 0 for a model without clips
int R3D_FindModelJoint(R3D_Model model, const char* name);         // -1 when it has none so named
// A joint's transform in model space in the given pose (identity for a joint out of range).
Matrix R3D_GetJointTransform(R3D_Model model, R3D_AnimationState state, int joint);

//----------------------------------------------------------------------------------
// Instancing
//----------------------------------------------------------------------------------

// Slots start at the origin, unrotated (0, 0, 0, 1), scale 1 and WHITE. Capacity 0 (or less)
// gives a buffer with no slots.
R3D_InstanceBuffer R3D_LoadInstanceBuffer(int capacity, int flags);
void R3D_UnloadInstanceBuffer(R3D_InstanceBuffer buffer);
// One attribute at a time: `capacity` writable elements (Vector3, Vector4, Vector3, Color), the
// same array on every call, holding what was last written. NULL for an attribute the buffer
// lacks or a value that is not exactly one attribute bit. Nothing is allocated.
void* R3D_MapInstances(R3D_InstanceBuffer buffer, int flag);
// Uploads the named attributes of the instances in use: the count the buffer was last drawn
// with (the whole capacity before its first draw); a later draw of more instances uploads
// the rest. What was written counts from the next draw.
void R3D_UnmapInstances(R3D_InstanceBuffer buffer, int flags);
// Queues the first `count` instances for R3D_End, which draws them with the buffer's values
// at that time. Each view leaves out instances outside it and sorts the rest by level of
// detail: one instanced draw per level and mesh, and one more per level for instances
// whose scale mirrors them (an odd number of negative factors), drawn right way out.
// Only between R3D_Begin and R3D_End; count 0 draws nothing.
void R3D_DrawModelInstanced(R3D_Model model, R3D_InstanceBuffer buffer, int count);  // count clamped to capacity

//----------------------------------------------------------------------------------
// Lights
//
// A new light is inactive (switch it on with R3D_SetLightActive), white, energy 1, at the
// origin, pointing down -Y, specular 0.5, range 16, attenuation 1, cone 22.5 to 30 degrees,
// without shadows. Up to 32 active lights that can reach the view are drawn at once
// (spot and omni lights whose range does not reach the view cost nothing).
//
// What reaches a surface: colour * energy * N.L, reflected by the material as a microfacet
// highlight (GGX, Smith, Schlick's Fresnel) scaled by the specular factor plus a diffuse
// term that gets what the highlight does not (a white matte face lit head-on shows
// colour * energy); spot and omni light also fall off with the distance d
// as 1 / (1 + d^2)^(attenuation / 2) (about 1/d^attenuation; 2 is the physical
// inverse-square law), brought smoothly to zero at the range. A spot's cone is full
// within the inner cut-off and fades to nothing at the outer one. A dim sky/ground
// ambient term keeps unlit surfaces from going black.
//----------------------------------------------------------------------------------

R3D_Light R3D_CreateLight(R3D_LightType type);
void R3D_DestroyLight(R3D_Light id);

R3D_LightType R3D_GetLightType(R3D_Light id);
bool R3D_IsLightActive(R3D_Light id);
void R3D_SetLightActive(R3D_Light id, bool active);
void R3D_ToggleLight(R3D_Light id);

Color R3D_GetLightColor(R3D_Light id);
void R3D_SetLightColor(R3D_Light id, Color color);
Vector3 R3D_GetLightPosition(R3D_Light id);
void R3D_SetLightPosition(R3D_Light id, Vector3 position);
Vector3 R3D_GetLightDirection(R3D_Light id);
void R3D_SetLightDirection(R3D_Light id, Vector3 direction);
float R3D_GetLightEnergy(R3D_Light id);
void R3D_SetLightEnergy(R3D_Light id, float energy);
float R3D_GetLightSpecular(R3D_Light id);
void R3D_SetLightSpecular(R3D_Light id, float specular);
float R3D_GetLightRange(R3D_Light id);                   // world units; spot and omni light reach no farther;
                                                         // directional: how far from the camera its shadow reaches
void R3D_SetLightRange(R3D_Light id, float range);
float R3D_GetLightAttenuation(R3D_Light id);             // exponent of the fall-off with distance (see above)
void R3D_SetLightAttenuation(R3D_Light id, float attenuation);
float R3D_GetLightInnerCutOff(R3D_Light id);             // degrees, half-angle of the full-bright cone
void R3D_SetLightInnerCutOff(R3D_Light id, float degrees);
float R3D_GetLightOuterCutOff(R3D_Light id);             // degrees, half-angle where light reaches zero
void R3D_SetLightOuterCutOff(R3D_Light id, float degrees);

//----------------------------------------------------------------------------------
// Shadows
//
// A directional light's map (2048 texels square) covers the camera's view out to the
// light's range; a spot light's map (1024) covers its outer cone out to its range; an omni
// light's cube map (512 per face) reaches its range. Instanced models cast (front faces)
// and receive. Maps are redrawn by the update mode: manual (once when shadows are switched
// on, then only after R3D_UpdateShadowMap), interval (at most every `frequency` ms) or
// continuous (every frame, the default); a due map is kept as it is when neither the
// casters nor the light's view changed. A directional map's shadows fade out at its rim. Up to 4 directional, 12 spot and 8 omni lights
// cast shadows at once; further ones light without shadows.
//
// Biases and softness are in shadow-map texels, so they hold for any light size:
// depth bias moves the tested point towards the light (default 1), slope bias moves it
// along its normal in proportion to how grazing the light is (default 1), softness is
// the radius of the filter over the map (default 1: the hardware's 2x2 bilinear filter,
// which reaches one texel; larger values spread four such taps over the radius).
//----------------------------------------------------------------------------------

void R3D_EnableShadow(R3D_Light id);
void R3D_DisableShadow(R3D_Light id);
bool R3D_IsShadowEnabled(R3D_Light id);
R3D_ShadowUpdateMode R3D_GetShadowUpdateMode(R3D_Light id);
void R3D_SetShadowUpdateMode(R3D_Light id, R3D_ShadowUpdateMode mode);
int R3D_GetShadowUpdateFrequency(R3D_Light id);          // milliseconds, interval mode
void R3D_SetShadowUpdateFrequency(R3D_Light id, int msec);
void R3D_UpdateShadowMap(R3D_Light id);                  // redraw at the next R3D_End (any mode)
float R3D_GetShadowSoftness(R3D_Light id);
void R3D_SetShadowSoftness(R3D_Light id, float softness);
float R3D_GetShadowDepthBias(R3D_Light id);
void R3D_SetShadowDepthBias(R3D_Light id, float bias);
float R3D_GetShadowSlopeBias(R3D_Light id);
void R3D_SetShadowSlopeBias(R3D_Light id, float bias);

//----------------------------------------------------------------------------------
// Particles
//
// An emitter owns a pool of at most `maxAlive` particles (1..R3D_MAX_PARTICLES), allocated
// when it is made: stepping and drawing allocate nothing. It is placed by a position and a
// rotation (R3D_SetParticlesTransform): particles are born there, flying along the
// velocity turned by the rotation, each within `spread` degrees of it (picked evenly
// over that cone), with a lifetime picked between the shortest and the longest. Once born
// a particle lives in the world: it falls by the gravity and no longer follows the
// emitter. Over its life its colour and size go from the birth values to the death values
// in proportion to its age. A new emitter emits nothing (rate 0), lives 1 s, flies up
// (0, 1, 0) within 15 degrees, has no gravity, is white turning transparent, 0.1 m across,
// drawn with a soft round dot and alpha blending.
//
// R3D_UpdateParticles steps every emitter: particles age, move and die, and the rate's
// births of the step are born at their own moments within it (a particle born halfway
// through has aged half the step), so a high rate makes an even stream at any frame rate.
// Births the pool has no room for are dropped. Seconds of 0 hold everything as it is.
//
// R3D_DrawParticles queues an emitter between R3D_Begin and R3D_End, which draws its
// particles after the blended meshes: quads facing the camera, their size in metres,
// tested against the scene's depth without writing it, fogged like the rest of the scene,
// their colour (0..1, drawn as given: no exposure or tone curve) times the texture's.
// With the sky light on, alpha-blended particles (smoke, dust) are also lit by it, as a
// surface facing up; additive ones (fire, sparks) are light and glow as given. They are
// drawn after ambient occlusion and bloom, which thus leave them as they are.
// Alpha-blended emitters are sorted back to front (particles within an emitter; emitters
// by their position) and drawn before the additive ones, which need no order. One
// instanced draw per emitter.
//
// Bad values (not finite, negative sizes, rates, counts or lifetimes, an unknown blend)
// are refused with a warning naming the call and the argument; the setting keeps its
// value. A destroyed emitter's handle is never handed out again: calls with it are
// refused with a warning naming the call.
//
// Cost: stepping is a few nanoseconds a particle; drawing streams 20 bytes a particle
// and sorts alpha-blended ones with a radix sort (linear in their number); the rest is
// the driver's work on the quads' corners and pixels. 10,000 particles in 10 emitters
// (build/tests/renderer/shading/renderer_particles_benchmark, 1280x800 under Xvfb with
// Mesa's software renderer on 2 cores): 8.5 to 12 ms a frame, where raylib drawing the
// same quads with DrawBillboard takes 8.6 to 14 ms (0.87x to 0.98x over five runs);
// before the swap 2 to 3 ms of calls against 3 to 4 ms (0.70x to 0.77x), of which
// stepping, sorting and streaming take 0.2 ms.
// There the frame is the rasteriser's, which both pay alike.
//----------------------------------------------------------------------------------

#define R3D_MAX_PARTICLES 100000  // particles one emitter holds at most

// An emitter, addressed by an integer handle as lights are (0: none).
typedef int R3D_Particles;

typedef enum R3D_ParticleBlend {
    R3D_PARTICLES_ALPHA    = 0,  // over what lies behind by the colour's alpha, back to front
    R3D_PARTICLES_ADDITIVE = 1   // added to what lies behind (fire, sparks, glows), in any order
} R3D_ParticleBlend;

// maxAlive above R3D_MAX_PARTICLES is taken as it, with a warning; below 1 makes nothing
// (0 and a warning).
R3D_Particles R3D_CreateParticles(int maxAlive);
void R3D_DestroyParticles(R3D_Particles id);          // its particles go at once
void R3D_SetParticlesTransform(R3D_Particles id, Vector3 position, Quaternion rotation);
void R3D_SetParticlesRate(R3D_Particles id, float perSecond);               // births a second; 0 stops
void R3D_BurstParticles(R3D_Particles id, int count);                       // born now, as many as there is room for
void R3D_SetParticlesLifetime(R3D_Particles id, float shortest, float longest);  // seconds, taken in order
void R3D_SetParticlesVelocity(R3D_Particles id, Vector3 velocity, float spreadDegrees);  // spread 0..180
void R3D_SetParticlesGravity(R3D_Particles id, Vector3 gravity);            // metres per second squared
void R3D_SetParticlesColors(R3D_Particles id, Color birth, Color death);
void R3D_SetParticlesSizes(R3D_Particles id, float birth, float death);     // metres across
// An OpenGL texture (a raylib Texture2D's id) the colour is multiplied by; 0: a soft round
// dot. The texture must outlive its use: the renderer does not own it.
void R3D_SetParticlesTexture(R3D_Particles id, unsigned int texture);
void R3D_SetParticlesBlend(R3D_Particles id, R3D_ParticleBlend blend);
int R3D_GetParticlesCount(R3D_Particles id);                                // alive now
// What an emitter was set to (for tools that show it); false, and `out` untouched, for none.
typedef struct R3D_ParticlesSettings {
    int capacity;
    float rate, shortest, longest;
    Vector3 velocity;           // before the emitter's rotation
    float spreadDegrees;
    Vector3 gravity;
    Color birthColor, deathColor;
    float birthSize, deathSize;
    R3D_ParticleBlend blend;
} R3D_ParticlesSettings;
bool R3D_GetParticlesSettings(R3D_Particles id, R3D_ParticlesSettings* out);
void R3D_UpdateParticles(float seconds);     // steps every emitter; 0 holds them
void R3D_DrawParticles(R3D_Particles id);    // between R3D_Begin and R3D_End

//----------------------------------------------------------------------------------
// Ray tests
//----------------------------------------------------------------------------------

// The nearest hit over all meshes of the model placed by `transform`, in world space.
// As raylib's GetRayCollisionMesh reports it: point = ray.position + ray.direction * distance,
// so the distance is in units of the direction's length (world units for a normalised
// direction; the direction is not normalised here), and the normal is the hit triangle's face
// normal on its counter-clockwise (front) side, whichever side the ray came from. Only hits
// ahead of the origin count; a ray starting inside a closed mesh hits the wall ahead of it.
// A miss returns hit false and distance R3D_RAY_MISS_DISTANCE (a huge positive value),
// so code that reads only the distance sees "nothing below" rather than "ground here";
// point and normal are then zero. Cost: a BVH walk per mesh, about a microsecond per ray
// on a 100,000-triangle mesh.
#define R3D_RAY_MISS_DISTANCE 3.402823466e+38f
RayCollision R3D_RaycastModel(Ray ray, R3D_Model model, Matrix transform);
// The same against an animated model in the given pose (the one it was drawn in, for what
// the player saw): its meshes are skinned on the CPU and every triangle tested. A model
// without clips is tested as R3D_RaycastModel tests it.
RayCollision R3D_RaycastModelPose(Ray ray, R3D_Model model, Matrix transform, R3D_AnimationState state);
// Every triangle of the model at full detail, in model space (an animated model in its
// rest pose): three corners each, at most `maxTriangles` written to `corners`. Returns the
// model's triangle count; with null `corners` it only counts (for collision shapes).
int R3D_GetModelTriangles(R3D_Model model, Vector3* corners, int maxTriangles);

#ifdef __cplusplus
}
#endif

#endif // R3D_H
