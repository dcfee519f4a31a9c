// Sound entries: sounds and music streams loaded under names the game picks,
// the master volume, and "Sound." calls on placed sounds (instances of the
// kind "Sound"). Each forwards to the audio layer (a3d.h).
#include "Catalog.h"
#include "Instance.h"
#include "Lookup.h"
#include "Messages.h"
#include "World.h"
#include "a3d.h"

namespace World::Api {
namespace {

// What sounds and music streams each have: the table of names they are loaded
// under, the stops for a name in use and a name never loaded, and the layer's
// load and unload.
template <class H>
struct Loaded;
template <>
struct Loaded<A3D_Sound> {
    static auto& Names() { return Sounds::Names; }
    static constexpr Fatal kExists = Fatal::SoundExists;
    static A3D_Sound Find(const char* entry, const std::string& name) { return Sounds::Named(entry, name); }
    static A3D_Sound Load(const char* path) { return A3D_LoadSound(path); }
    static void Unload(A3D_Sound sound) { A3D_UnloadSound(sound); }
};
template <>
struct Loaded<A3D_Music> {
    static auto& Names() { return Sounds::Music; }
    static constexpr Fatal kExists = Fatal::MusicExists;
    static A3D_Music Find(const char* entry, const std::string& name) { return Sounds::MusicNamed(entry, name); }
    static A3D_Music Load(const char* path) { return A3D_LoadMusic(path); }
    static void Unload(A3D_Music music) { A3D_UnloadMusic(music); }
};

// Entries on one loaded sound or stream, named by argument 0. Every argument
// is read before the name is looked up, so a wrong type is reported first.
template <class H, void (*Fn)(H)>
void Do(const Params& params, const char* entry) {
    Fn(Loaded<H>::Find(entry, Arg<std::string>(params, 0, entry)));
}
template <class H, class V, void (*Fn)(H, V)>
void Set(const Params& params, const char* entry) {
    const std::string& name = Arg<std::string>(params, 0, entry);
    const V value = Arg<V>(params, 1, entry);
    Fn(Loaded<H>::Find(entry, name), value);
}
template <class H, class R, R (*Fn)(H)>
std::any Get(const Params& params, const char* entry) {
    return Kind<R>::Write(Fn(Loaded<H>::Find(entry, Arg<std::string>(params, 0, entry))));
}

// The name is checked before the file is read: a name in use loads nothing.
template <class H>
void Load(const Params& params, const char* entry) {
    const std::string& name = Arg<std::string>(params, 0, entry);
    const std::string& path = Arg<std::string>(params, 1, entry);
    Fail(Loaded<H>::kExists, Loaded<H>::Names().count(name) != 0, entry, name);
    Loaded<H>::Names()[name] = Loaded<H>::Load(path.c_str());
}

template <class H>
void Unload(const Params& params, const char* entry) {
    const std::string& name = Arg<std::string>(params, 0, entry);
    Loaded<H>::Unload(Loaded<H>::Find(entry, name));
    Loaded<H>::Names().erase(name);
}

// -- Placed sounds ------------------------------------------------------------------

// The audio layer's emitter of a "Sound" instance; a record of another kind has none.
A3D_Emitter EmitterOf(int id) {
    const int* emitter = FindVariable<int>(id, "Emitter");
    if (!emitter) throw NotA(id, "Sound");
    return A3D_Emitter{static_cast<unsigned>(*emitter)};
}

// Adapters from the layer's (emitter, value...) calls to entries taking (id, value...).
template <auto Fn>
struct Placed;
template <void (*Fn)(A3D_Emitter)>
struct Placed<Fn> {
    static void Do(int id) { Fn(EmitterOf(id)); }
};
template <bool (*Fn)(A3D_Emitter)>
struct Placed<Fn> {
    static bool Get(int id) { return Fn(EmitterOf(id)); }
};
template <class V, void (*Fn)(A3D_Emitter, V)>
struct Placed<Fn> {
    static void Set(int id, V value) { Fn(EmitterOf(id), value); }
};

void SetRange(int id, float nearDistance, float farDistance) {
    A3D_SetEmitterRange(EmitterOf(id), nearDistance, farDistance);
}

// Kept on the instance (an offset when it follows a parent) and handed on at
// once, so a sound played right after it is moved is heard from the new place.
void SetPosition(int id, Vector3 position) {
    EmitterOf(id);
    Vector3& slot = VariableOf<Vector3>(id, "Position", "position");
    slot = position;
    Sounds::Place(id);
}
Vector3 GetPosition(int id) {
    EmitterOf(id);
    return VariableOf<Vector3>(id, "Position", "position");
}

}  // namespace

void AddSoundEntries(Catalog& c) {
    using S = A3D_Sound;
    using M = A3D_Music;
    c.push_back(RawFunc<std::string, std::string>("LoadSound", Load<S>,
        "Loads a WAV, OGG, MP3 or FLAC file, decoded whole, as a sound under a name; a file that cannot be used gives "
        "a silent sound and one warning.",
        {"sound name", "sound file path"}));
    c.push_back(RawFunc<std::string>("UnloadSound", Unload<S>,
        "Unloads the sound; its voices stop and placed sounds of it fall silent.",
        {"sound name"}));
    c.push_back(RawFunc<std::string>("PlaySound", Do<S, A3D_PlaySound>,
        "Starts the sound in a voice of its own: a sound can overlap itself.",
        {"sound name"}));
    c.push_back(RawFunc<std::string>("StopSound", Do<S, A3D_StopSound>,
        "Stops every voice of the sound that \"PlaySound\" started.",
        {"sound name"}));
    c.push_back(RawFunc<std::string>("PauseSound", Do<S, A3D_PauseSound>, "Pauses those voices.", {"sound name"}));
    c.push_back(RawFunc<std::string>("ResumeSound", Do<S, A3D_ResumeSound>, "Resumes those voices.", {"sound name"}));
    c.push_back(RawOp<bool, std::string>("IsSoundPlaying", Get<S, bool, A3D_IsSoundPlaying>,
        "Whether a voice of the sound plays and is not paused.",
        {"sound name"}));
    c.push_back(RawFunc<std::string, float>("SetSoundVolume", Set<S, float, A3D_SetSoundVolume>,
        "Sets the sound's volume (1 as recorded), also of its voices playing now.",
        {"sound name", "volume"}));
    c.push_back(RawFunc<std::string, float>("SetSoundPitch", Set<S, float, A3D_SetSoundPitch>,
        "Sets the sound's pitch (1 as recorded, 2 an octave up and twice as fast); 0 or less is ignored.",
        {"sound name", "pitch"}));
    c.push_back(RawFunc<std::string, float>("SetSoundPan", Set<S, float, A3D_SetSoundPan>,
        "Sets the sound's pan: -1 left, 0 centre, 1 right.",
        {"sound name", "pan"}));
    c.push_back(RawOp<float, std::string>("GetSoundLength", Get<S, float, A3D_GetSoundLength>,
        "The sound's length in seconds (0 for a silent one).",
        {"sound name"}));

    c.push_back(RawFunc<std::string, std::string>("LoadMusicStream", Load<M>,
        "Opens a WAV, OGG, MP3 or FLAC file as a music stream under a name; it is decoded as it plays, without a call "
        "per frame.",
        {"music stream name", "music file path"}));
    c.push_back(RawFunc<std::string>("UnloadMusicStream", Unload<M>,
        "Stops and closes the music stream.",
        {"music stream name"}));
    c.push_back(RawFunc<std::string>("PlayMusicStream", Do<M, A3D_PlayMusic>,
        "Plays the music from where it stands (the start after loading or stopping).",
        {"music stream name"}));
    c.push_back(RawFunc<std::string>("StopMusicStream", Do<M, A3D_StopMusic>,
        "Stops the music and puts it back to the start.",
        {"music stream name"}));
    c.push_back(RawFunc<std::string>("PauseMusicStream", Do<M, A3D_PauseMusic>,
        "Pauses the music where it is.",
        {"music stream name"}));
    c.push_back(RawFunc<std::string>("ResumeMusicStream", Do<M, A3D_ResumeMusic>,
        "Resumes the music.",
        {"music stream name"}));
    c.push_back(RawOp<bool, std::string>("IsMusicStreamPlaying", Get<M, bool, A3D_IsMusicPlaying>,
        "Whether the music plays and is not paused; false once a music that does not loop has ended.",
        {"music stream name"}));
    c.push_back(RawFunc<std::string, float>("SeekMusicStream", Set<M, float, A3D_SeekMusic>,
        "Moves the music to a time in seconds.",
        {"music stream name", "seconds"}));
    c.push_back(RawFunc<std::string, bool>("SetMusicLooping", Set<M, bool, A3D_SetMusicLooping>,
        "Whether the music starts again at its end (it does unless told not to).",
        {"music stream name", "looping"}));
    c.push_back(RawFunc<std::string, float>("SetMusicVolume", Set<M, float, A3D_SetMusicVolume>,
        "Sets the music's volume (1 as recorded).",
        {"music stream name", "volume"}));
    c.push_back(RawFunc<std::string, float>("SetMusicPitch", Set<M, float, A3D_SetMusicPitch>,
        "Sets the music's pitch (1 as recorded); 0 or less is ignored.",
        {"music stream name", "pitch"}));
    c.push_back(RawFunc<std::string, float>("SetMusicPan", Set<M, float, A3D_SetMusicPan>,
        "Sets the music's pan: -1 left, 0 centre, 1 right.",
        {"music stream name", "pan"}));
    c.push_back(RawOp<float, std::string>("GetMusicTimePlayed", Get<M, float, A3D_GetMusicTimePlayed>,
        "Seconds into the file the music has played.",
        {"music stream name"}));
    c.push_back(RawOp<float, std::string>("GetMusicTimeLength", Get<M, float, A3D_GetMusicTimeLength>,
        "The music's length in seconds.",
        {"music stream name"}));

    c.push_back(Func("SetMasterVolume", A3D_SetMasterVolume,
        "Sets the volume of everything heard (1 by default).",
        {"volume"}));
    c.push_back(Op("GetMasterVolume", A3D_GetMasterVolume, "The master volume.", {}));

    c.push_back(Func("Sound.Play", Placed<A3D_PlayEmitter>::Do,
        "Plays the placed sound from its start (again, when it plays already).",
        {"id of a Sound instance"}));
    c.push_back(Func("Sound.Stop", Placed<A3D_StopEmitter>::Do, "Stops the placed sound.", {"id of a Sound instance"}));
    c.push_back(Op("Sound.IsPlaying", Placed<A3D_IsEmitterPlaying>::Get,
        "Whether the placed sound plays.",
        {"id of a Sound instance"}));
    c.push_back(Func("Sound.SetPosition", SetPosition,
        "Sets where the sound is: in the world, or relative to its parent when that is a Model or a CFrame (which it "
        "then follows).",
        {"id of a Sound instance", "position"}));
    c.push_back(Op("Sound.GetPosition", GetPosition,
        "The position set last (relative to the parent it follows, if any).",
        {"id of a Sound instance"}));
    c.push_back(Func("Sound.SetRange", SetRange,
        "Full loudness within the near distance, silent beyond the far one, falling as 1/distance in between (1 and "
        "40 by default).",
        {"id of a Sound instance", "near distance", "far distance"}));
    c.push_back(Func("Sound.SetVolume", Placed<A3D_SetEmitterVolume>::Set,
        "Sets the placed sound's volume (1 as recorded).",
        {"id of a Sound instance", "volume"}));
    c.push_back(Func("Sound.SetPitch", Placed<A3D_SetEmitterPitch>::Set,
        "Sets the placed sound's pitch (1 as recorded); 0 or less is ignored.",
        {"id of a Sound instance", "pitch"}));
    c.push_back(Func("Sound.SetLooping", Placed<A3D_SetEmitterLooping>::Set,
        "Whether the placed sound starts again at its end.",
        {"id of a Sound instance", "looping"}));
}

}  // namespace World::Api
