// The mixer: every sound, voice, emitter and music of the layer, and the
// function that turns them into one block of output.
//
// One mutex guards all of it. The game's thread holds it for a table change,
// the device's thread for one block, the music feeder for one append; nothing
// slow (decoding, file reading, freeing large buffers) happens under it. It
// lends the device thread's priority to a holder that keeps it waiting.
//
// Sounds, music and emitters live in handle pools: the A3D_ handles are the
// pools' handles, so a stale one finds nothing, never another object.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "a3d.h"
#include "base/Handles.h"
#include "decoder.h"
#include "threads.h"

namespace a3d {

// Positions and steps are fixed point, 32 bits of frame and 32 of fraction.
constexpr std::uint64_t kOne = std::uint64_t(1) << 32;
constexpr std::uint64_t kNoEnd = ~std::uint64_t(0);

// A sound's frames, decoded whole: 1 or 2 channels, interleaved.
struct SoundData {
    std::vector<float> samples;
    int channels = 1;
    int rate = A3D_OUTPUT_RATE;
    std::uint64_t frames = 0;  // 0 for an empty sound
};

struct SoundEntry {
    std::unique_ptr<SoundData> data;  // never null
    float volume = 1, pitch = 1, pan = 0;
};

struct Emitter {
    base::Handle sound = 0;             // may go stale: the emitter then falls silent
    Vector3 position = {0, 0, 0};
    float nearDistance = 1, farDistance = 40;
    float volume = 1, pitch = 1;
    bool looping = false;
    int voice = -1;  // its voice while it plays
};

struct Voice {
    const SoundData* data = nullptr;  // null: the slot is free
    base::Handle sound = 0;
    base::Handle emitter = 0;         // 0: a voice of A3D_PlaySound
    std::uint64_t pos = 0;            // into the sound
    std::uint64_t step = kOne;        // per output frame: pitch and the sound's rate
    float volume = 1, pan = 0;        // a plain voice's own (its sound's when it started)
    bool paused = false, looping = false;
    bool heard = false;               // mixed in the last block: its gains are not zero
    float gain[2] = {0, 0};           // left and right where the last block ended
    float target[2] = {0, 0};         // where this block ends
    std::uint64_t serial = 0;         // start order: smaller is older
};

// A streamed music. The feeder thread decodes it ahead into a ring of stereo
// frames at the file's rate; the mixer reads the ring. Positions count frames
// of a timeline that starts again at every seek, at file frame `origin`.
struct Stream {
    // The feeder's alone once loaded.
    std::vector<unsigned char> bytes;
    std::unique_ptr<Decoder> decoder;   // null for an empty music
    bool decoderAtEnd = false;
    std::uint64_t sinceRewind = 0;      // frames decoded since the decoder went back to the start
    std::vector<float> scratch;         // one chunk in the file's channels

    // Shared, under the mixer's mutex.
    int rate = A3D_OUTPUT_RATE;
    std::uint64_t length = 0;           // frames in the file
    std::vector<float> ring;            // stereo frames; the count is a power of two
    std::uint64_t written = 0;          // timeline frames decoded
    std::uint64_t endAt = kNoEnd;       // timeline frame where the stream ends (no loop, or broken data)
    std::uint64_t pos = 0;              // read position in the timeline
    std::uint64_t origin = 0;           // file frame at timeline 0
    std::uint64_t generation = 0;       // chunks decoded for an older timeline are dropped
    bool seekPending = true;            // the feeder moves the decoder to `origin` first
    bool playing = false, paused = false, looping = true, heard = false;
    float volume = 1, pitch = 1, pan = 0;
    float gain[2] = {0, 0};

    std::uint64_t RingFrames() const { return ring.size() / 2; }
};

class Mixer {
public:
    Mutex mutex;

    base::Pool<SoundEntry> sounds{"A3D", "sound"};
    base::Pool<std::shared_ptr<Stream>> musics{"A3D", "music"};  // shared with the feeder while it decodes
    base::Pool<Emitter> emitters{"A3D", "emitter"};
    std::array<Voice, A3D_MAX_PLAYING> voices;
    std::uint64_t nextSerial = 1;

    Vector3 listener = {0, 0, 0};
    Vector3 right = {-1, 0, 0};  // a camera looking down +z with +y up has -x on its right
    float master = 1;

    bool hasDevice = false;
    std::uint64_t clockFrames = 0;  // without a device: output frames the clock has counted
    A3D_Stats stats = {};

    // One block of `frames` stereo frames into `out` (device thread). True when
    // a music playing has less than half its ring decoded ahead: time to feed it.
    bool Render(float* out, int frames);
    // Without a device: moves every voice and music on by `frames` output frames.
    void Advance(std::uint64_t frames);

    // A new voice for `data`, or -1 when it is the quietest of all and every slot
    // is taken. An emitter's voice when `emitter` is not 0.
    int StartVoice(const SoundData* data, base::Handle sound, base::Handle emitter, float pitch, float volume,
                   float pan, bool looping);
    void FreeVoice(int index);
    // Step per output frame for a sound of `rate` played at `pitch`.
    static std::uint64_t StepFor(int rate, float pitch);
    // Back to the start of the file and stopped; the feeder refills from there.
    void Rewind(Stream& music, std::uint64_t fileFrame);

private:
    void Targets(Voice& v);
    void MixVoice(Voice& v, float* out, int frames);
    void AdvanceVoice(Voice& v, std::uint64_t frames);
    bool MixMusic(Stream& m, float* out, int frames);
};

}  // namespace a3d
