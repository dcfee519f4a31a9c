// The A3D_ functions: loading, the tables of sounds, music and emitters, the
// link to raylib's device, the clock that stands in for a device, and the
// thread that decodes music ahead.
#include "a3d.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <utility>

#include "decoder.h"
#include "mixer.h"

namespace a3d {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxFileBytes = std::size_t(1) << 30;
// A sound is decoded whole; anything longer is music.
constexpr std::uint64_t kMaxSoundSeconds = 600;
// Music is decoded this many frames at a time, and the feeder looks for work
// at least this often; the ring holds a second and more, so a late look costs nothing.
constexpr std::uint64_t kChunkFrames = 2048;
constexpr auto kFeedPeriod = std::chrono::milliseconds(5);
// raylib mixes a stream at pan 0 at 0.6875 of its level (its pan law); the
// mixer's output is already panned, so the stream is played that much louder.
constexpr float kStreamGain = 1 / 0.6875f;

struct Layer {
    Mixer mixer;
    Clock::time_point clockStart = Clock::now();
    AudioStream stream = {};
    std::thread feeder;
    std::condition_variable wake;
    bool stopFeeder = false;
};

// Never destroyed: raylib's device thread and the feeder may still run while
// the process exits (after a fatal error, say), and must find it whole.
Layer& The() {
    static Layer& layer = *new Layer;
    return layer;
}

// Without a device the clock moves everything on: voices end when they would
// have, music reports its time. Called under the mutex by every entry point.
void Sync(Layer& l) {
    Mixer& m = l.mixer;
    if (m.hasDevice) return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - l.clockStart).count();
    const std::uint64_t frames = static_cast<std::uint64_t>(elapsed) * A3D_OUTPUT_RATE / 1000000;
    if (frames > m.clockFrames) m.Advance(frames - m.clockFrames);
    m.clockFrames = frames;
}

// Runs `fn(mixer)` under the mutex, the clock brought up to date first.
template <class Fn>
auto Locked(Fn fn) {
    Layer& l = The();
    std::lock_guard<std::mutex> lock(l.mixer.mutex);
    Sync(l);
    return fn(l.mixer);
}

template <class T>
T* Find(std::unordered_map<unsigned, T>& table, unsigned id) {
    auto it = table.find(id);
    return it == table.end() ? nullptr : &it->second;
}

float Finite(float value, float fallback) { return std::isfinite(value) ? value : fallback; }

void Warn(const char* what, const char* fileName, const std::string& why, const char* outcome) {
    std::fprintf(stderr, "WARNING: A3D: could not load %s \"%s\": %s; %s\n", what, fileName ? fileName : "", why.c_str(),
                 outcome);
}

// The whole file, or empty with `why` set.
std::vector<unsigned char> ReadFile(const char* fileName, std::string& why) {
    std::vector<unsigned char> bytes;
    if (!fileName || !*fileName) {
        why = "no file name given";
        return bytes;
    }
    std::FILE* file = std::fopen(fileName, "rb");
    if (!file) {
        why = "the file cannot be opened";
        return bytes;
    }
    unsigned char chunk[1 << 16];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        if (bytes.size() + n > kMaxFileBytes) {
            why = "larger than 1 GiB";
            bytes.clear();
            std::fclose(file);
            return bytes;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        why = "the file cannot be read";
        bytes.clear();
    } else if (bytes.empty()) {
        why = "the file is empty";
    }
    return bytes;
}

// `frames` frames of `channels` channels as stereo (beyond two, the first two).
void ToStereo(const float* in, int channels, std::uint64_t frames, float* out) {
    for (std::uint64_t k = 0; k < frames; ++k) {
        const float* f = in + k * static_cast<std::uint64_t>(channels);
        out[2 * k] = f[0];
        out[2 * k + 1] = channels == 1 ? f[0] : f[1];
    }
}

// A sound decoded whole: mono stays mono, everything else becomes stereo.
std::unique_ptr<SoundData> DecodeSound(const char* fileName) {
    auto sound = std::make_unique<SoundData>();
    std::string why;
    std::vector<unsigned char> bytes = ReadFile(fileName, why);
    std::unique_ptr<Decoder> decoder = bytes.empty() ? nullptr : OpenDecoder(bytes.data(), bytes.size(), why);
    if (!decoder) {
        Warn("sound", fileName, why, "it plays as silence");
        return sound;
    }
    const int out = decoder->channels == 1 ? 1 : 2;
    const std::uint64_t most = kMaxSoundSeconds * static_cast<std::uint64_t>(decoder->rate);
    if (decoder->frames <= most) sound->samples.reserve(decoder->frames * out);
    std::vector<float> chunk(kChunkFrames * decoder->channels), stereo(kChunkFrames * 2);
    std::uint64_t total = 0;
    for (std::uint64_t got; total < most && (got = decoder->Read(chunk.data(), kChunkFrames)) > 0;) {
        got = std::min(got, most - total);
        if (out == 1) {
            sound->samples.insert(sound->samples.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
        } else {
            ToStereo(chunk.data(), decoder->channels, got, stereo.data());
            sound->samples.insert(sound->samples.end(), stereo.begin(), stereo.begin() + static_cast<std::ptrdiff_t>(2 * got));
        }
        total += got;
        if (got < kChunkFrames) break;
    }
    // The decoder's own length check passed; data broken before the end still shows here.
    if (total == 0) why = "no audio in it";
    else if (total < std::min(decoder->frames, most))
        why = "it is cut short: " + std::to_string(total) + " of the " + std::to_string(decoder->frames) +
              " frames its header declares";
    if (!why.empty()) {
        Warn("sound", fileName, why, "it plays as silence");
        return std::make_unique<SoundData>();
    }
    if (total == most && decoder->frames != most)
        std::fprintf(stderr, "WARNING: A3D: sound \"%s\" is longer than %d minutes: only its start is kept (load it as music)\n",
                     fileName, static_cast<int>(kMaxSoundSeconds / 60));
    sound->channels = out;
    sound->rate = decoder->rate;
    sound->frames = total;
    sound->samples.shrink_to_fit();
    return sound;
}

// A music's decoder and ring, or an empty music with a warning.
std::shared_ptr<Stream> OpenMusic(const char* fileName) {
    auto music = std::make_shared<Stream>();
    std::string why;
    music->bytes = ReadFile(fileName, why);
    if (!music->bytes.empty()) music->decoder = OpenDecoder(music->bytes.data(), music->bytes.size(), why);
    if (!music->decoder) {
        Warn("music", fileName, why, "it plays as silence");
        music->bytes.clear();
        music->bytes.shrink_to_fit();
        return music;
    }
    Decoder& d = *music->decoder;
    music->rate = d.rate;
    music->length = d.frames;
    std::uint64_t ring = 4096;
    while (ring < static_cast<std::uint64_t>(d.rate)) ring *= 2;
    music->ring.assign(ring * 2, 0.0f);
    music->scratch.resize(kChunkFrames * static_cast<std::size_t>(d.channels));
    return music;
}

// -- The music feeder -------------------------------------------------------------------

// Decodes one chunk of `m` if its ring has room; true when it did any work.
bool Feed(Layer& l, Stream& m) {
    std::uint64_t generation, origin, space;
    bool seek, looping;
    {
        std::lock_guard<std::mutex> lock(l.mixer.mutex);
        generation = m.generation;
        seek = m.seekPending;
        origin = m.origin;
        m.seekPending = false;
        space = m.RingFrames() - (m.written - (m.pos >> 32));
        looping = m.looping;
    }
    Decoder& d = *m.decoder;
    if (seek) {
        m.decoderAtEnd = !d.Seek(origin);
        m.sinceRewind = 0;
    }
    std::uint64_t got = 0;
    if (!m.decoderAtEnd && space >= kChunkFrames) {
        got = d.Read(m.scratch.data(), kChunkFrames);
        m.sinceRewind += got;
        if (got < kChunkFrames) {
            // The end of the file: round again when looping, unless a whole
            // round gave nothing (a stream with no audio would spin here).
            if (looping && m.sinceRewind > 0 && d.Seek(0)) m.sinceRewind = 0;
            else m.decoderAtEnd = true;
        }
    }
    float stereo[kChunkFrames * 2];
    ToStereo(m.scratch.data(), d.channels, got, stereo);
    std::lock_guard<std::mutex> lock(l.mixer.mutex);
    if (m.generation != generation) return true;  // sought meanwhile: this chunk is from before
    const std::uint64_t mask = m.RingFrames() - 1;
    for (std::uint64_t k = 0; k < got; ++k) {
        const std::uint64_t at = (m.written + k) & mask;
        m.ring[2 * at] = stereo[2 * k];
        m.ring[2 * at + 1] = stereo[2 * k + 1];
    }
    m.written += got;
    if (m.decoderAtEnd && m.endAt == kNoEnd) m.endAt = m.written;
    return seek || got > 0;
}

void FeederLoop(Layer* l) {
    std::vector<std::shared_ptr<Stream>> work;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(l->mixer.mutex);
            if (l->stopFeeder) return;
            work.clear();
            for (auto& entry : l->mixer.musics)
                if (entry.second->decoder) work.push_back(entry.second);
        }
        bool busy = false;
        for (auto& m : work) busy |= Feed(*l, *m);
        work.clear();  // an unloaded music goes here, not under the mutex
        if (!busy) {
            std::unique_lock<std::mutex> lock(l->mixer.mutex);
            l->wake.wait_for(lock, kFeedPeriod);
        }
    }
}

// -- The device --------------------------------------------------------------------------

double ThreadSeconds() {
#if defined(CLOCK_THREAD_CPUTIME_ID) && !defined(_WIN32)
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
#else
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
#endif
}

// raylib's device thread asks for `frames` stereo float frames.
void Pull(void* buffer, unsigned int frames) {
    Layer& l = The();
    const double start = ThreadSeconds();
    std::lock_guard<std::mutex> lock(l.mixer.mutex);
    l.mixer.Render(static_cast<float*>(buffer), static_cast<int>(frames));
    l.mixer.stats.mixSeconds += ThreadSeconds() - start;
}

void Wake(Layer& l) { l.wake.notify_one(); }

}  // namespace
}  // namespace a3d

using namespace a3d;

// -- Start and stop ----------------------------------------------------------------------

void A3D_Init(void) {
    Layer& l = The();
    if (l.mixer.hasDevice || !IsAudioDeviceReady()) return;
    l.stream = LoadAudioStream(A3D_OUTPUT_RATE, 32, 2);
    if (!IsAudioStreamValid(l.stream)) return;
    {
        std::lock_guard<std::mutex> lock(l.mixer.mutex);
        Sync(l);
        l.mixer.hasDevice = true;
        l.stopFeeder = false;
    }
    SetAudioStreamCallback(l.stream, Pull);
    SetAudioStreamVolume(l.stream, kStreamGain);
    PlayAudioStream(l.stream);
    l.feeder = std::thread(FeederLoop, &l);
}

void A3D_Close(void) {
    Layer& l = The();
    if (l.feeder.joinable()) {
        {
            std::lock_guard<std::mutex> lock(l.mixer.mutex);
            l.stopFeeder = true;
        }
        l.wake.notify_all();
        l.feeder.join();
    }
    // raylib's own lock is taken around every block: never call it holding ours.
    if (IsAudioStreamValid(l.stream)) {
        StopAudioStream(l.stream);
        UnloadAudioStream(l.stream);
        l.stream = AudioStream{};
    }
    std::unordered_map<unsigned, SoundEntry> sounds;
    std::unordered_map<unsigned, std::shared_ptr<Stream>> musics;
    {
        std::lock_guard<std::mutex> lock(l.mixer.mutex);
        for (Voice& v : l.mixer.voices) v = Voice();
        l.mixer.emitters.clear();
        sounds.swap(l.mixer.sounds);
        musics.swap(l.mixer.musics);
        l.mixer.hasDevice = false;
        l.mixer.clockFrames = 0;
        l.clockStart = Clock::now();
    }
}

bool A3D_HasDevice(void) {
    return Locked([](Mixer& m) { return m.hasDevice; });
}

void A3D_SetMasterVolume(float volume) {
    Locked([&](Mixer& m) { m.master = std::max(0.0f, Finite(volume, m.master)); });
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
        const unsigned id = m.nextId++;
        m.sounds[id].data = std::move(data);
        return A3D_Sound{id};
    });
}

void A3D_UnloadSound(A3D_Sound sound) {
    std::unique_ptr<SoundData> gone;  // freed after the mutex is let go
    Locked([&](Mixer& m) {
        SoundEntry* entry = Find(m.sounds, sound.id);
        if (!entry) return;
        for (int i = 0; i < A3D_MAX_PLAYING; ++i)
            if (m.voices[i].data && m.voices[i].sound == sound.id) m.FreeVoice(i);
        gone = std::move(entry->data);
        m.sounds.erase(sound.id);
    });
}

float A3D_GetSoundLength(A3D_Sound sound) {
    return Locked([&](Mixer& m) {
        SoundEntry* e = Find(m.sounds, sound.id);
        return e ? static_cast<float>(static_cast<double>(e->data->frames) / e->data->rate) : 0.0f;
    });
}

void A3D_PlaySound(A3D_Sound sound) {
    Locked([&](Mixer& m) {
        if (SoundEntry* e = Find(m.sounds, sound.id))
            m.StartVoice(e->data.get(), sound.id, 0, e->pitch, e->volume, e->pan, false);
    });
}

// Runs `fn` on every voice of `sound` that A3D_PlaySound started.
template <class Fn>
static void ForPlainVoices(Mixer& m, unsigned sound, Fn fn) {
    for (int i = 0; i < A3D_MAX_PLAYING; ++i) {
        Voice& v = m.voices[i];
        if (v.data && v.sound == sound && !v.emitter) fn(v, i);
    }
}

void A3D_StopSound(A3D_Sound sound) {
    Locked([&](Mixer& m) { ForPlainVoices(m, sound.id, [&](Voice&, int i) { m.FreeVoice(i); }); });
}

void A3D_PauseSound(A3D_Sound sound) {
    Locked([&](Mixer& m) { ForPlainVoices(m, sound.id, [](Voice& v, int) { v.paused = true; }); });
}

void A3D_ResumeSound(A3D_Sound sound) {
    Locked([&](Mixer& m) { ForPlainVoices(m, sound.id, [](Voice& v, int) { v.paused = false; }); });
}

bool A3D_IsSoundPlaying(A3D_Sound sound) {
    return Locked([&](Mixer& m) {
        bool playing = false;
        ForPlainVoices(m, sound.id, [&](Voice& v, int) { playing |= !v.paused; });
        return playing;
    });
}

void A3D_SetSoundVolume(A3D_Sound sound, float volume) {
    Locked([&](Mixer& m) {
        SoundEntry* e = Find(m.sounds, sound.id);
        if (!e) return;
        e->volume = std::max(0.0f, Finite(volume, e->volume));
        ForPlainVoices(m, sound.id, [&](Voice& v, int) { v.volume = e->volume; });
    });
}

void A3D_SetSoundPitch(A3D_Sound sound, float pitch) {
    Locked([&](Mixer& m) {
        SoundEntry* e = Find(m.sounds, sound.id);
        if (!e || !(pitch > 0) || !std::isfinite(pitch)) return;  // as raylib: a pitch of 0 or less is ignored
        e->pitch = pitch;
        ForPlainVoices(m, sound.id, [&](Voice& v, int) { v.step = Mixer::StepFor(v.data->rate, pitch); });
    });
}

void A3D_SetSoundPan(A3D_Sound sound, float pan) {
    Locked([&](Mixer& m) {
        SoundEntry* e = Find(m.sounds, sound.id);
        if (!e) return;
        e->pan = std::clamp(Finite(pan, e->pan), -1.0f, 1.0f);
        ForPlainVoices(m, sound.id, [&](Voice& v, int) { v.pan = e->pan; });
    });
}

// -- Music ----------------------------------------------------------------------------------

A3D_Music A3D_LoadMusic(const char* fileName) {
    std::shared_ptr<Stream> music = OpenMusic(fileName);
    Layer& l = The();
    const A3D_Music handle = Locked([&](Mixer& m) {
        const unsigned id = m.nextId++;
        m.musics[id] = std::move(music);
        return A3D_Music{id};
    });
    Wake(l);  // its ring fills before it is played
    return handle;
}

void A3D_UnloadMusic(A3D_Music music) {
    std::shared_ptr<Stream> gone;
    Locked([&](Mixer& m) {
        auto it = m.musics.find(music.id);
        if (it == m.musics.end()) return;
        gone = std::move(it->second);
        m.musics.erase(it);
    });
}

// Runs `fn` on the music under `music`, when there is one.
template <class Fn>
static auto OnMusic(A3D_Music music, Fn fn) {
    return Locked([&](Mixer& m) {
        auto it = m.musics.find(music.id);
        return fn(m, it == m.musics.end() ? nullptr : it->second.get());
    });
}

void A3D_PlayMusic(A3D_Music music) {
    OnMusic(music, [](Mixer&, Stream* mu) {
        if (!mu || !mu->decoder) return;  // an empty music has nothing to play
        mu->playing = true;
        mu->paused = false;
    });
    Wake(The());
}

void A3D_StopMusic(A3D_Music music) {
    OnMusic(music, [](Mixer& m, Stream* mu) {
        if (!mu) return;
        mu->playing = mu->paused = false;
        m.Rewind(*mu, 0);
    });
    Wake(The());
}

void A3D_PauseMusic(A3D_Music music) {
    OnMusic(music, [](Mixer&, Stream* mu) {
        if (mu && mu->playing) mu->paused = true;
    });
}

void A3D_ResumeMusic(A3D_Music music) {
    OnMusic(music, [](Mixer&, Stream* mu) {
        if (mu) mu->paused = false;
    });
}

bool A3D_IsMusicPlaying(A3D_Music music) {
    return OnMusic(music, [](Mixer&, Stream* mu) { return mu && mu->playing && !mu->paused; });
}

void A3D_SeekMusic(A3D_Music music, float seconds) {
    OnMusic(music, [&](Mixer& m, Stream* mu) {
        if (!mu || !mu->decoder || !std::isfinite(seconds)) return;
        const double frame = std::max(0.0, static_cast<double>(seconds)) * mu->rate;
        m.Rewind(*mu, static_cast<std::uint64_t>(std::min(frame, static_cast<double>(mu->length))));
    });
    Wake(The());
}

float A3D_GetMusicTimePlayed(A3D_Music music) {
    return OnMusic(music, [](Mixer&, Stream* mu) {
        if (!mu || !mu->length) return 0.0f;
        const std::uint64_t frame = (mu->origin + (mu->pos >> 32)) % mu->length;
        return static_cast<float>(static_cast<double>(frame) / mu->rate);
    });
}

float A3D_GetMusicTimeLength(A3D_Music music) {
    return OnMusic(music, [](Mixer&, Stream* mu) {
        return mu ? static_cast<float>(static_cast<double>(mu->length) / mu->rate) : 0.0f;
    });
}

void A3D_SetMusicLooping(A3D_Music music, bool looping) {
    OnMusic(music, [&](Mixer&, Stream* mu) {
        if (mu) mu->looping = looping;
    });
}

void A3D_SetMusicVolume(A3D_Music music, float volume) {
    OnMusic(music, [&](Mixer&, Stream* mu) {
        if (mu) mu->volume = std::max(0.0f, Finite(volume, mu->volume));
    });
}

void A3D_SetMusicPitch(A3D_Music music, float pitch) {
    OnMusic(music, [&](Mixer&, Stream* mu) {
        if (mu && pitch > 0 && std::isfinite(pitch)) mu->pitch = pitch;
    });
}

void A3D_SetMusicPan(A3D_Music music, float pan) {
    OnMusic(music, [&](Mixer&, Stream* mu) {
        if (mu) mu->pan = std::clamp(Finite(pan, mu->pan), -1.0f, 1.0f);
    });
}

// -- Emitters --------------------------------------------------------------------------------

A3D_Emitter A3D_CreateEmitter(A3D_Sound sound) {
    return Locked([&](Mixer& m) {
        const unsigned id = m.nextId++;
        m.emitters[id].sound = sound.id;
        return A3D_Emitter{id};
    });
}

void A3D_DestroyEmitter(A3D_Emitter emitter) {
    Locked([&](Mixer& m) {
        Emitter* e = Find(m.emitters, emitter.id);
        if (!e) return;
        if (e->voice >= 0) m.FreeVoice(e->voice);
        m.emitters.erase(emitter.id);
    });
}

// Runs `fn` on the emitter under `emitter`, when there is one.
template <class Fn>
static auto OnEmitter(A3D_Emitter emitter, Fn fn) {
    return Locked([&](Mixer& m) { return fn(m, Find(m.emitters, emitter.id)); });
}

void A3D_SetEmitterPosition(A3D_Emitter emitter, Vector3 position) {
    OnEmitter(emitter, [&](Mixer&, Emitter* e) {
        if (e && std::isfinite(position.x) && std::isfinite(position.y) && std::isfinite(position.z)) e->position = position;
    });
}

void A3D_SetEmitterRange(A3D_Emitter emitter, float nearDistance, float farDistance) {
    OnEmitter(emitter, [&](Mixer&, Emitter* e) {
        if (!e || !std::isfinite(nearDistance) || !(farDistance > 0)) return;
        e->nearDistance = std::max(nearDistance, 1e-3f);
        e->farDistance = std::max(farDistance, e->nearDistance * 1.0001f);
    });
}

void A3D_SetEmitterVolume(A3D_Emitter emitter, float volume) {
    OnEmitter(emitter, [&](Mixer&, Emitter* e) {
        if (e) e->volume = std::max(0.0f, Finite(volume, e->volume));
    });
}

void A3D_SetEmitterPitch(A3D_Emitter emitter, float pitch) {
    OnEmitter(emitter, [&](Mixer& m, Emitter* e) {
        if (!e || !(pitch > 0) || !std::isfinite(pitch)) return;
        e->pitch = pitch;
        if (e->voice >= 0) m.voices[e->voice].step = Mixer::StepFor(m.voices[e->voice].data->rate, pitch);
    });
}

void A3D_SetEmitterLooping(A3D_Emitter emitter, bool looping) {
    OnEmitter(emitter, [&](Mixer& m, Emitter* e) {
        if (!e) return;
        e->looping = looping;
        if (e->voice >= 0) m.voices[e->voice].looping = looping;
    });
}

void A3D_PlayEmitter(A3D_Emitter emitter) {
    OnEmitter(emitter, [&](Mixer& m, Emitter* e) {
        if (!e) return;
        if (e->voice >= 0) m.FreeVoice(e->voice);
        SoundEntry* s = Find(m.sounds, e->sound);
        if (!s) return;
        e->voice = m.StartVoice(s->data.get(), e->sound, emitter.id, e->pitch, 1, 0, e->looping);
    });
}

void A3D_StopEmitter(A3D_Emitter emitter) {
    OnEmitter(emitter, [&](Mixer& m, Emitter* e) {
        if (e && e->voice >= 0) m.FreeVoice(e->voice);
    });
}

bool A3D_IsEmitterPlaying(A3D_Emitter emitter) {
    return OnEmitter(emitter, [&](Mixer&, Emitter* e) { return e && e->voice >= 0; });
}

void A3D_SetListener(Vector3 position, Vector3 forward, Vector3 up) {
    Locked([&](Mixer& m) {
        if (!std::isfinite(position.x) || !std::isfinite(position.y) || !std::isfinite(position.z)) return;
        m.listener = position;
        // Right is forward x up; a degenerate view keeps the last right.
        const Vector3 r = {forward.y * up.z - forward.z * up.y, forward.z * up.x - forward.x * up.z,
                           forward.x * up.y - forward.y * up.x};
        const float length = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
        if (length > 1e-6f && std::isfinite(length)) m.right = {r.x / length, r.y / length, r.z / length};
    });
}
