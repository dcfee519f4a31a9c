// The world: instance buffers (every model is drawn from them), ray queries
// against model instances, and the API entries handed to the game module.
//
//   World::Buffers        named pairs of a model and an instance buffer; each
//                         frame they copy their instances' values by address
//   World::RaycastSingle  one ray against one model instance
//   World::Initialize     "Null", "Root" and every API entry (api/Catalog.h: the core's
//                         171, then the groups added after them)
//   World::Clear          the scene as it was at start-up (a game restarted in place)
//   World::App            the window's settings a game changes, the host's watch
//                         for models left invisible, how the host was started
//   World::Sounds         named sounds and music streams, and the placed "Sound"
//                         instances heard from the camera
//   World::Screen         named fonts and images the game draws over the scene
//   World::Animation      each animated "Model" instance's clip, time, speed and fade
//   World::Physics        the bodies of "Model" instances and the "Character" instances,
//                         stepped once a frame before the scene is drawn
//   World::Particles      the "Particles" instances: emitters of the renderer, placed by
//                         their parent, stepped and drawn once a frame
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "CFrame.h"
#include "a3d.h"
#include "p3d.h"
#include "r3d.h"
#include "raylib.h"
#include "s2d.h"

class Instance;  // Instance.h

namespace World {

// Creates "Null" and "Root" and hands every API entry, in catalogue order, to
// the game module through its define_op / define_func exports.
void Initialize();

// Hands every API entry to the game module bound now (the part of Initialize
// that a module bound in place of another needs).
void RegisterEntries();

// Empties the scene as it was right after Initialize: every instance but "Null"
// and "Root" is destroyed (lights and placed sounds with them), every buffer is
// removed with its model, every sound, music stream, font and image is
// unloaded. Ids and slot numbers keep counting up.
void Clear();
// Destroys every instance but "Null" and "Root", with their bodies, characters,
// placed sounds, lights and animations; what is loaded stays ("ClearScene": a
// game restarting a level). The latest step's events, which name them, go too.
void ClearInstances();

// The host's own settings a game may change, and what it watches for the game.
namespace App {

// How the host was started (main() sets both before anything else runs):
// --headless, no window, no OpenGL, no audio device, the game stepped at a
// fixed rate; and the command line's arguments after the program's name
// without the host's own options (--headless, --fps N), in order, for the game.
bool Headless();
const std::vector<std::string>& Arguments();
void SetCommandLine(bool headless, std::vector<std::string> arguments);

// Seconds on a steady clock since its first reading. raylib's clock (GLFW's)
// needs GLFW started, which a headless run never does; both loops use this one.
double Now();

extern bool FpsVisible;  // the frame-rate counter in the corner; shown unless the game hides it
// Whether F1 may show the inspector over the game: -1 as the host decides (on while
// developing, off in a packed game), else what the game said (VANTOR_INSPECT=0 wins).
extern int InspectorAllowed;
extern bool InspectorShown;  // kept up to date by the inspector
// "DeltaTime": seconds between the starts of the last two frames. Loading is
// no frame: the first frame after the game's init reads 0, not the time init
// took (raylib's own frame time would count it, and a game's timers, its
// animations and walkers would jump by all of it at once).
extern float FrameSeconds;
// Now() when this frame began: the moment the scene stands at once the tick has
// moved it on by "DeltaTime" (and the bodies by the same).
extern double FrameStart;

// A new "Model" instance starts at scale 0 and draws nothing. The first one
// still so a second after it was made is reported once a run, naming it and its
// model, unless the game turned the warning off (it keeps hidden ones on purpose).
void NoteNewModel(int id);
void SetZeroScaleWarning(bool on);
// Once a frame, with the seconds since start.
void WatchZeroScale(double now);

}  // namespace App

// The transform an instance placed relative to its parent follows (a placed sound,
// particles): the parent's own when it is a "Model" or a "CFrame", else none.
const CFrame* ParentFrame(const Instance& placed);

namespace Sounds {

extern std::unordered_map<std::string, A3D_Sound> Names;  // sound name -> sound
extern std::unordered_map<std::string, A3D_Music> Music;  // music stream name -> stream
extern std::unordered_set<int> Placed;                    // ids of "Sound" instances

// The sound or music stream under `name`; a name never loaded is fatal, with a
// message naming `entry` and the name.
A3D_Sound Named(const char* entry, const std::string& name);
A3D_Music MusicNamed(const char* entry, const std::string& name);

// Where a "Sound" instance is heard from: its "Position", taken from its
// parent's transform when the parent is a "Model" or a "CFrame" (so it follows
// it), else from the world's origin.
Vector3 WorldPosition(int id);
// Hands the audio layer the position of one placed sound.
void Place(int id);
// Once a frame, after the game's tick: the listener takes the camera's place
// and every placed sound its parent's.
void Update();
// Unloads every sound and music stream.
void Clear();

}  // namespace Sounds

namespace Particles {

extern std::unordered_set<int> Emitters;  // ids of "Particles" instances

// The renderer's emitter of a "Particles" instance; a BadValue (naming what the
// instance is) when `id` is none.
R3D_Particles EmitterOf(int id);
// Hands the renderer where a "Particles" instance emits from: its "Position", and the
// rotation it turns its velocity by, taken from its parent's transform when the parent
// is a "Model" or a "CFrame" (so it follows it), else the world's; and its texture,
// looked up by name (one unloaded since draws the soft dot).
void Place(int id);
// Once a frame before the scene is drawn: every emitter placed, then stepped by
// `seconds` (the frame's "DeltaTime"; 0 holds them).
void Step(float seconds);
// Queues every emitter's draw (inside the 3D pass).
void Draw();

}  // namespace Particles

namespace Screen {

// The name the built-in font is known by; it is always loaded.
constexpr const char* kDefaultFont = "default";

extern std::unordered_map<std::string, S2D_Font> Fonts;    // font name -> font ("default" included)
extern std::unordered_map<std::string, S2D_Image> Images;  // image name -> image

// The font or image under `name`; a name never loaded is fatal, with a message
// naming `entry` and the name.
S2D_Font FontNamed(const char* entry, const std::string& name);
S2D_Image ImageNamed(const char* entry, const std::string& name);
// Loads a font or an image under a new name (watched for changes in reload mode).
void LoadFont(const std::string& name, const std::string& path);
void LoadImage(const std::string& name, const std::string& path);
// Unloads every font and image but the default font.
void Clear();

}  // namespace Screen

namespace Animation {

// One "Model" instance's playback: its clip and the one it fades from.
struct Player {
    int clip = -1;          // -1: the rest pose
    float time = 0.0f;      // seconds into the clip
    float speed = 1.0f;     // 0 holds the pose
    bool loop = false;
    bool fading = false;
    int from = -1;          // the clip faded from (-1: the rest pose)
    float fromTime = 0.0f;
    bool fromLoop = false;
    float fadeLength = 0.0f;  // seconds the fade takes
    float faded = 0.0f;       // seconds of it gone by
};

extern std::unordered_map<int, Player> Players;  // "Model" instance id -> its playback (addresses stay put)

// A time within a clip of `length` seconds: wrapped when looping, held at its ends otherwise.
float Within(float time, float length, bool loop);
// What the renderer draws for a player.
R3D_AnimationState State(const Player& player);
// Moves every player on by `seconds` (the frame's "DeltaTime"), before the scene is drawn.
void Advance(float seconds);
// The model of a "Model" instance and its buffer's name; a non-model is a BadValue naming `entry`.
R3D_Model ModelOf(int id, const char* entry, std::string* buffer = nullptr);

}  // namespace Animation

namespace Physics {

// A "Model" instance's body. The instance's transform is the one truth both sides
// write: before each step a transform the game changed goes to the body, and after
// it the simulation's pose of a dynamic body is written into the transform.
struct Body {
    int id = 0;
    P3D_Body handle = 0;
    CFrame* cframe = nullptr;   // the instance's "CFrame", in place
    Vector3 position{};         // what the instance and the body last agreed on
    Quaternion rotation{};
    bool warned = false;        // a non-finite transform was reported once
};

extern std::unordered_map<int, Body> Bodies;                   // "Model" instance id -> its body
extern std::unordered_map<int, P3D_Character> Characters;      // "Character" instance id -> its character
extern std::vector<P3D_Event> Events;                          // what the latest step reported

// A body for a "Model" instance, its shape sized from the model's bounds (or made of
// its triangles) and the instance's "Scale" now. Fatal, naming `entry` and the id:
// not a Model, a body already there, a shape or mass the layer refuses.
void AddBody(int id, P3D_BodyKind kind, P3D_ShapeKind shape, float mass, const char* entry);
// What AddBody hands the physics layer (fatal as AddBody for what is no model or has a
// body already); `corners` holds a hull's or mesh's points while the description lives.
P3D_BodyDesc Describe(int id, P3D_BodyKind kind, P3D_ShapeKind shape, float mass, const char* entry,
                      std::vector<Vector3>& corners);
// Why a body cannot be sized from model instance `id`'s scale (a 0 on an axis:
// a new model instance starts at scale 0), or "" when it can.
std::string ZeroScale(int id);
// The body of `id`, fatal (naming `entry`) when it has none.
Body& BodyOf(int id, const char* entry);
// Removes the body of `id`, if it has one.
void RemoveBody(int id);
// A "Character" instance's character, fatal (naming `entry`) when `id` is not one.
P3D_Character CharacterOf(int id, const char* entry);
// Once a frame, before the scene is drawn: transforms the game changed go to the
// bodies, the fixed steps that `seconds` owes run, dynamic bodies' poses come back.
void Step(float seconds);
// No bodies, no characters, gravity and step rate as at start-up.
void Clear();

}  // namespace Physics

namespace Buffers {

// Slot number -> address of one value of a mapped instance. Slot numbers and
// addresses sit in two arrays sorted by slot number, so the per-frame walk
// reads the addresses in order instead of hopping between hash nodes. Slot
// numbers only grow, so mapping appends; unmapping leaves a hole (a null
// address), swept out once holes outnumber live slots. The four maps of a
// buffer see the same inserts and erases, so their arrays stay aligned index
// for index.
template <class T>
class SlotMap {
public:
    void Insert(int slot, T* value) {
        if (slots_.empty() || slots_.back() < slot) {
            slots_.push_back(slot);
            values_.push_back(value);
        } else {
            const std::size_t at = Lower(slot);
            if (at < slots_.size() && slots_[at] == slot) {
                if (!values_[at]) ++live_, --holes_;
                values_[at] = value;
                return;
            }
            slots_.insert(slots_.begin() + at, slot);
            values_.insert(values_.begin() + at, value);
        }
        ++live_;
    }

    bool Erase(int slot) {
        const std::size_t at = Lower(slot);
        if (at == slots_.size() || slots_[at] != slot || !values_[at]) return false;
        values_[at] = nullptr;
        --live_;
        if (++holes_ > live_) Sweep();
        return true;
    }

    T* Find(int slot) const {
        const std::size_t at = Lower(slot);
        return at < slots_.size() && slots_[at] == slot ? values_[at] : nullptr;
    }
    bool Contains(int slot) const { return Find(slot) != nullptr; }
    std::size_t size() const { return live_; }
    bool empty() const { return live_ == 0; }
    // Parallel arrays, holes included (a null address).
    const std::vector<int>& Slots() const { return slots_; }
    const std::vector<T*>& Values() const { return values_; }

private:
    std::size_t Lower(int slot) const {
        return static_cast<std::size_t>(std::lower_bound(slots_.begin(), slots_.end(), slot) - slots_.begin());
    }
    void Sweep() {
        std::size_t out = 0;
        for (std::size_t k = 0; k < slots_.size(); ++k) {
            if (!values_[k]) continue;
            slots_[out] = slots_[k];
            values_[out] = values_[k];
            ++out;
        }
        slots_.resize(out);
        values_.resize(out);
        holes_ = 0;
    }

    std::vector<int> slots_;
    std::vector<T*> values_;
    std::size_t live_ = 0;
    std::size_t holes_ = 0;
};

extern std::unordered_map<std::string, int> Names;               // buffer name -> buffer index
// These two hold the renderer's buffers and models, which stay loaded until the
// process ends; the tables are never destroyed, so they stay reachable to the end.
extern std::unordered_map<int, R3D_InstanceBuffer>& Buffers;      // index -> renderer instance buffer
extern std::unordered_map<int, R3D_Model>& Models;                // index -> model (owned by the buffer)
extern std::unordered_map<int, SlotMap<Vector3>> Positions;       // index -> slot -> &CFrame.Position
extern std::unordered_map<int, SlotMap<Quaternion>> Rotations;    // index -> slot -> &CFrame.Rotation
extern std::unordered_map<int, SlotMap<Vector3>> Scales;          // index -> slot -> &"Scale"
extern std::unordered_map<int, SlotMap<Color>> Colors;            // index -> slot -> &"Color"
extern std::unordered_map<int, SlotMap<Animation::Player>> Players;  // index -> slot -> its playback
extern int BufferCount;    // the next buffer index
extern int InstanceCount;  // the next slot number, shared by all buffers

void CreateBuffer(std::string name, R3D_Model model, int capacity);
void RemoveBuffer(std::string buffer);
// Puts `model` in place of the buffer's model, which is unloaded; the buffer's
// instances are untouched and draw the new one from the next frame on.
void ReplaceModel(const std::string& buffer, R3D_Model model);
int MapInstance(std::string buffer, Vector3* position, Quaternion* rotation, Vector3* scale, Color* color,
                Animation::Player* player);
void UnmapInstance(std::string buffer, int instance);
// Whether the buffer "Model" instance `id` names still holds its slot (false
// once the buffer was unloaded, also when one was loaded again under its name).
bool HoldsSlot(int id);
void UpdateBuffer(std::string buffer);
void DrawBuffer(std::string buffer);
// Refreshes every buffer from its instances and draws it (inside the 3D pass).
void Draw();

}  // namespace Buffers

// One ray against the model of one "Model" instance, placed by its CFrame
// (rotation and position; its "Scale" is not applied).
struct RaycastSingle {
    bool hit = false;
    float distance = 0;
    Vector3 point = {0, 0, 0};
    Vector3 normal = {0, 0, 0};

    RaycastSingle(int instance, Vector3 position, Vector3 direction);
};

}  // namespace World
