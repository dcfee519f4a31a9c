// The A3D_ functions: each looks up its handle in the mixer's pools (a stale or
// foreign one is refused with a warning naming the call) and changes the mixer
// under its mutex. Loading is in loading.cpp, the device in device.cpp, the
// music feeder in feeder.cpp.
#include "a3d.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "base/Numbers.h"
#include "device.h"
#include "layer.h"
#include "loading.h"

using namespace a3d;

namespace {

// Runs fn(mixer, entry) with the entry under `handle` in `pool` (null, after a
// warning naming `call`, when there is none).
template <class Handle, class PoolOf, class Fn>
auto On(Handle handle, PoolOf pool, const char* call, Fn fn) {
    return Locked([&](Mixer& m) { return fn(m, (m.*pool).Get(handle.id, call)); });
}

template <class Fn>
auto OnSound(A3D_Sound sound, const char* call, Fn fn) {
    return On(sound, &Mixer::sounds, call, fn);
}

// The music itself rather than its pool entry (a shared pointer).
template <class Fn>
auto OnMusic(A3D_Music music, const char* call, Fn fn) {
    return On(music, &Mixer::musics, call, [&](Mixer& m, std::shared_ptr<Stream>* s) { return fn(m, s ? s->get() : nullptr); });
}

template <class Fn>
auto OnEmitter(A3D_Emitter emitter, const char* call, Fn fn) {
    return On(emitter, &Mixer::emitters, call, fn);
}

// Runs `fn` on every voice of `sound` that A3D_PlaySound started.
template <class Fn>
void ForPlainVoices(Mixer& m, base::Handle sound, Fn fn) {
    for (int i = 0; i < A3D_MAX_PLAYING; ++i) {
        Voice& v = m.voices[i];
        if (v.data && v.sound == sound && !v.emitter) fn(v, i);
    }
}

bool GoodPitch(float pitch) { return pitch > 0 && base::Finite(pitch); }  // as raylib: 0 or less is ignored
float Volume(float volume, float now) { return std::max(0.0f, base::FiniteOr(volume, now)); }
float Pan(float pan, float now) { return std::clamp(base::FiniteOr(pan, now), -1.0f, 1.0f); }

}  // namespace

// -- Start and stop ----------------------------------------------------------------------

void A3D_Init(void) {
    Layer& l = The();
    if (l.mixer.hasDevice) return;
    if (OpenDevice(l)) l.feeder.Start(l.mixer);
}

void A3D_Close(void) {
    Layer& l = The();
    l.feeder.Stop();
    CloseDevice(l);
    // Every handle goes stale; what they held is freed after the mutex is let go.
    std::vector<std::unique_ptr<SoundData>> sounds;
    std::vector<std::shared_ptr<Stream>> musics;
    {
        std::lock_guard<Mutex> lock(l.mixer.mutex);
        Mixer& m = l.mixer;
        for (Voice& v : m.voices) v = Voice();
        m.sounds.ForEach([&](base::Handle, SoundEntry& e) { sounds.push_back(std::move(e.data)); });
        m.musics.ForEach([&](base::Handle, std::shared_ptr<Stream>& s) { musics.push_back(std::move(s)); });
        m.sounds.Clear();
        m.musics.Clear();
        m.emitters.Clear();
        m.hasDevice = false;
        m.clockFrames = 0;
        l.clockStart = Clock::now();
    }
}

bool A3D_HasDevice(void) {
    return Locked([](Mixer& m) { return m.hasDevice; });
}

void A3D_SetMasterVolume(float volume) {
    Locked([&](Mixer& m) { m.master = Volume(volume, m.master); });
}

float A3D_GetMasterVolume(void) {
    return Locked([](Mixer& m) { return m.master; });
}

A3D_Stats A3D_GetStats(void) {
    return Locked([](Mixer& m) {
        A3D_Stats stats = m.stats;
        stats.voicesPlaying = 0;
        for (const Voice& v : m.voices) stats.voicesPlaying += v.data != nullptr;
        return stats;
    });
}

// -- Sounds --------------------------------------------------------------------------------

A3D_Sound A3D_LoadSound(const char* fileName) {
    std::unique_ptr<SoundData> data = DecodeSound(fileName);
    return Locked([&](Mixer& m) {
        SoundEntry entry;
        entry.data = std::move(data);
        return A3D_Sound{m.sounds.Add(std::move(entry))};
    });
}

void A3D_UnloadSound(A3D_Sound sound) {
    std::unique_ptr<SoundData> gone;  // freed after the mutex is let go
    OnSound(sound, __func__, [&](Mixer& m, SoundEntry* e) {
        if (!e) return;
        for (int i = 0; i < A3D_MAX_PLAYING; ++i)
            if (m.voices[i].data && m.voices[i].sound == sound.id) m.FreeVoice(i);
        gone = std::move(e->data);
        m.sounds.Remove(sound.id);
    });
}

float A3D_GetSoundLength(A3D_Sound sound) {
    return OnSound(sound, __func__, [](Mixer&, SoundEntry* e) {
        return e ? static_cast<float>(static_cast<double>(e->data->frames) / e->data->rate) : 0.0f;
    });
}

void A3D_PlaySound(A3D_Sound sound) {
    OnSound(sound, __func__, [&](Mixer& m, SoundEntry* e) {
        if (e) m.StartVoice(e->data.get(), sound.id, 0, e->pitch, e->volume, e->pan, false);
    });
}

void A3D_StopSound(A3D_Sound sound) {
    OnSound(sound, __func__, [&](Mixer& m, SoundEntry* e) {
        if (e) ForPlainVoices(m, sound.id, [&](Voice&, int i) { m.FreeVoice(i); });
    });
}

void A3D_PauseSound(A3D_Sound sound) {
    OnSound(sound, __func__, [&](Mixer& m, SoundEntry* e) {
        if (e) ForPlainVoices(m, sound.id, [](Voice& v, int) { v.paused = true; });
    });
}

void A3D_ResumeSound(A3D_Sound sound) {
    OnSound(sound, __func__, [&](Mixer& m, SoundEntry* e) {
        if (e) ForPlainVoices(m, sound.id, [](Voice& v, int) { v.paused = false; });
    });
}

bool A3D_IsSoundPlaying(A3D_Sound sound) {
    return OnSound(sound, __func__, [&](Mixer& m, SoundEntry* e) {
        bool playing = false;
        if (e) ForPlainVoices(m, sound.id, [&](Voice& v, int) { playing |= !v.paused; });
        return playing;
    });
}

void A3D_SetSoundVolume(A3D_Sound sound, float volume) {
    OnSound(sound, __func__, [&](Mixer& m, SoundEntry* e) {
        if (!e) return;
        e->volume = Volume(volume, e->volume);
        ForPlainVoices(m, sound.id, [&](Voice& v, int) { v.volume = e->volume; });
    });
}

void A3D_SetSoundPitch(A3D_Sound sound, float pitch) {
    OnSound(sound, __func__, [&](Mixer& m, SoundEntry* e) {
        if (!e || !GoodPitch(pitch)) return;
        e->pitch = pitch;
        ForPlainVoices(m, sound.id, [&](Voice& v, int) { v.step = Mixer::StepFor(v.data->rate, pitch); });
    });
}

void A3D_SetSoundPan(A3D_Sound sound, float pan) {
    OnSound(sound, __func__, [&](Mixer& m, SoundEntry* e) {
        if (!e) return;
        e->pan = Pan(pan, e->pan);
        ForPlainVoices(m, sound.id, [&](Voice& v, int) { v.pan = e->pan; });
    });
}

// -- Music ----------------------------------------------------------------------------------

A3D_Music A3D_LoadMusic(const char* fileName) {
    std::shared_ptr<Stream> music = OpenMusic(fileName);
    const A3D_Music handle = Locked([&](Mixer& m) { return A3D_Music{m.musics.Add(std::move(music))}; });
    The().feeder.Wake();  // its ring fills before it is played
    return handle;
}

void A3D_UnloadMusic(A3D_Music music) {
    std::shared_ptr<Stream> gone;  // the feeder may hold it too; the last one frees it
    On(music, &Mixer::musics, __func__, [&](Mixer& m, std::shared_ptr<Stream>* s) {
        if (!s) return;
        gone = std::move(*s);
        m.musics.Remove(music.id);
    });
}

void A3D_PlayMusic(A3D_Music music) {
    OnMusic(music, __func__, [](Mixer&, Stream* mu) {
        if (!mu || !mu->decoder) return;  // an empty music has nothing to play
        mu->playing = true;
        mu->paused = false;
    });
    The().feeder.Wake();
}

void A3D_StopMusic(A3D_Music music) {
    OnMusic(music, __func__, [](Mixer& m, Stream* mu) {
        if (!mu) return;
        mu->playing = mu->paused = false;
        m.Rewind(*mu, 0);
    });
    The().feeder.Wake();
}

void A3D_PauseMusic(A3D_Music music) {
    OnMusic(music, __func__, [](Mixer&, Stream* mu) {
        if (mu && mu->playing) mu->paused = true;
    });
}

void A3D_ResumeMusic(A3D_Music music) {
    OnMusic(music, __func__, [](Mixer&, Stream* mu) {
        if (mu) mu->paused = false;
    });
}

bool A3D_IsMusicPlaying(A3D_Music music) {
    return OnMusic(music, __func__, [](Mixer&, Stream* mu) { return mu && mu->playing && !mu->paused; });
}

void A3D_SeekMusic(A3D_Music music, float seconds) {
    OnMusic(music, __func__, [&](Mixer& m, Stream* mu) {
        if (!mu || !mu->decoder || !base::Finite(seconds)) return;
        const double frame = std::max(0.0, static_cast<double>(seconds)) * mu->rate;
        m.Rewind(*mu, static_cast<std::uint64_t>(std::min(frame, static_cast<double>(mu->length))));
    });
    The().feeder.Wake();
}

float A3D_GetMusicTimePlayed(A3D_Music music) {
    return OnMusic(music, __func__, [](Mixer&, Stream* mu) {
        if (!mu || !mu->length) return 0.0f;
        const std::uint64_t frame = (mu->origin + (mu->pos >> 32)) % mu->length;
        return static_cast<float>(static_cast<double>(frame) / mu->rate);
    });
}

float A3D_GetMusicTimeLength(A3D_Music music) {
    return OnMusic(music, __func__, [](Mixer&, Stream* mu) {
        return mu ? static_cast<float>(static_cast<double>(mu->length) / mu->rate) : 0.0f;
    });
}

void A3D_SetMusicLooping(A3D_Music music, bool looping) {
    OnMusic(music, __func__, [&](Mixer&, Stream* mu) {
        if (mu) mu->looping = looping;
    });
}

void A3D_SetMusicVolume(A3D_Music music, float volume) {
    OnMusic(music, __func__, [&](Mixer&, Stream* mu) {
        if (mu) mu->volume = Volume(volume, mu->volume);
    });
}

void A3D_SetMusicPitch(A3D_Music music, float pitch) {
    OnMusic(music, __func__, [&](Mixer&, Stream* mu) {
        if (mu && GoodPitch(pitch)) mu->pitch = pitch;
    });
}

void A3D_SetMusicPan(A3D_Music music, float pan) {
    OnMusic(music, __func__, [&](Mixer&, Stream* mu) {
        if (mu) mu->pan = Pan(pan, mu->pan);
    });
}

// -- Emitters --------------------------------------------------------------------------------

A3D_Emitter A3D_CreateEmitter(A3D_Sound sound) {
    const char* call = __func__;
    return Locked([&](Mixer& m) {
        // Sound 0 makes an emitter of nothing; a stale sound makes none.
        if (sound.id != 0 && !m.sounds.Get(sound.id, call)) return A3D_Emitter{0};
        Emitter e;
        e.sound = sound.id;
        return A3D_Emitter{m.emitters.Add(e)};
    });
}

void A3D_DestroyEmitter(A3D_Emitter emitter) {
    OnEmitter(emitter, __func__, [&](Mixer& m, Emitter* e) {
        if (!e) return;
        if (e->voice >= 0) m.FreeVoice(e->voice);
        m.emitters.Remove(emitter.id);
    });
}

void A3D_SetEmitterPosition(A3D_Emitter emitter, Vector3 position) {
    OnEmitter(emitter, __func__, [&](Mixer&, Emitter* e) {
        if (e && base::FiniteVector(position)) e->position = position;
    });
}

void A3D_SetEmitterRange(A3D_Emitter emitter, float nearDistance, float farDistance) {
    OnEmitter(emitter, __func__, [&](Mixer&, Emitter* e) {
        if (!e || !base::Finite(nearDistance) || !(farDistance > 0)) return;
        e->nearDistance = std::max(nearDistance, 1e-3f);
        e->farDistance = std::max(farDistance, e->nearDistance * 1.0001f);
    });
}

bool A3D_GetEmitterSettings(A3D_Emitter emitter, float* nearDistance, float* farDistance, float* volume) {
    bool found = false;
    OnEmitter(emitter, __func__, [&](Mixer&, Emitter* e) {
        if (!e) return;
        found = true;
        if (nearDistance) *nearDistance = e->nearDistance;
        if (farDistance) *farDistance = e->farDistance;
        if (volume) *volume = e->volume;
    });
    return found;
}

void A3D_SetEmitterVolume(A3D_Emitter emitter, float volume) {
    OnEmitter(emitter, __func__, [&](Mixer&, Emitter* e) {
        if (e) e->volume = Volume(volume, e->volume);
    });
}

void A3D_SetEmitterPitch(A3D_Emitter emitter, float pitch) {
    OnEmitter(emitter, __func__, [&](Mixer& m, Emitter* e) {
        if (!e || !GoodPitch(pitch)) return;
        e->pitch = pitch;
        if (e->voice >= 0) m.voices[e->voice].step = Mixer::StepFor(m.voices[e->voice].data->rate, pitch);
    });
}

void A3D_SetEmitterLooping(A3D_Emitter emitter, bool looping) {
    OnEmitter(emitter, __func__, [&](Mixer& m, Emitter* e) {
        if (!e) return;
        e->looping = looping;
        if (e->voice >= 0) m.voices[e->voice].looping = looping;
    });
}

void A3D_PlayEmitter(A3D_Emitter emitter) {
    OnEmitter(emitter, __func__, [&](Mixer& m, Emitter* e) {
        if (!e) return;
        if (e->voice >= 0) m.FreeVoice(e->voice);
        SoundEntry* s = m.sounds.Find(e->sound);  // unloaded since: the emitter is silent
        if (!s) return;
        e->voice = m.StartVoice(s->data.get(), e->sound, emitter.id, e->pitch, 1, 0, e->looping);
    });
}

void A3D_StopEmitter(A3D_Emitter emitter) {
    OnEmitter(emitter, __func__, [&](Mixer& m, Emitter* e) {
        if (e && e->voice >= 0) m.FreeVoice(e->voice);
    });
}

bool A3D_IsEmitterPlaying(A3D_Emitter emitter) {
    return OnEmitter(emitter, __func__, [](Mixer&, Emitter* e) { return e && e->voice >= 0; });
}

void A3D_SetListener(Vector3 position, Vector3 forward, Vector3 up) {
    Locked([&](Mixer& m) {
        if (!base::FiniteVector(position)) return;
        m.listener = position;
        // Right is forward x up; a degenerate view keeps the last right.
        const Vector3 r = {forward.y * up.z - forward.z * up.y, forward.z * up.x - forward.x * up.z,
                           forward.x * up.y - forward.y * up.x};
        const float length = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
        if (length > 1e-6f && base::Finite(length)) m.right = {r.x / length, r.y / length, r.z / length};
    });
}
