// Mixing: voices and music into stereo blocks at A3D_OUTPUT_RATE, with linear
// interpolation between source frames (pitch and rate) and gains that glide
// from one block's end to the next.
#include "mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace a3d {
namespace {

constexpr float kFraction = 1.0f / 4294967296.0f;  // 2^-32: a position's fraction as a float

// Left and right gains of a pan in [-1, 1]: equal power, so a sound keeps its
// loudness as it moves across (each side at -3 dB in the centre).
void PanGains(float pan, float gain, float out[2]) {
    if (!(pan >= -1)) pan = -1;  // NaN goes left rather than anywhere undefined
    if (pan > 1) pan = 1;
    const float angle = (pan + 1) * 0.785398163f;  // pi/4
    out[0] = gain * std::cos(angle);
    out[1] = gain * std::sin(angle);
}

// Loudness at `distance`: 1 within `nearDistance`, 0 from `farDistance`, and
// between them 1/distance lowered to reach 0 at `farDistance`.
float Attenuation(float distance, float nearDistance, float farDistance) {
    if (distance <= nearDistance) return 1;
    if (distance >= farDistance) return 0;
    const float atFar = nearDistance / farDistance;
    return (nearDistance / distance - atFar) / (1 - atFar);
}

// How many output frames, starting at `pos`, stay below `limit` (both fixed point).
std::uint64_t FramesBelow(std::uint64_t pos, std::uint64_t limit, std::uint64_t step) {
    return pos >= limit ? 0 : (limit - pos + step - 1) / step;
}

// Frames of one source, interpolated, into a stereo block. Channels: 1, 2, or
// 3 for stereo folded to mono (a stereo sound placed in the world).
template <int Channels>
void MixRun(const float* s, std::uint64_t& pos, std::uint64_t step, float* out, int frames, float& gl, float& gr,
            float dl, float dr) {
    for (int i = 0; i < frames; ++i) {
        const std::uint64_t idx = pos >> 32;
        const float f = static_cast<float>(pos & 0xFFFFFFFFu) * kFraction;
        if constexpr (Channels == 1) {
            const float a = s[idx], b = s[idx + 1];
            const float v = a + (b - a) * f;
            out[2 * i] += v * gl;
            out[2 * i + 1] += v * gr;
        } else {
            const float* p = s + 2 * idx;
            float l = p[0] + (p[2] - p[0]) * f;
            float r = p[1] + (p[3] - p[1]) * f;
            if constexpr (Channels == 3) l = r = 0.5f * (l + r);
            out[2 * i] += l * gl;
            out[2 * i + 1] += r * gr;
        }
        pos += step;
        gl += dl;
        gr += dr;
    }
}

}  // namespace

std::uint64_t Mixer::StepFor(int rate, float pitch) {
    if (!(pitch > 0)) pitch = 1;
    pitch = std::min(pitch, 16.0f);
    return static_cast<std::uint64_t>(static_cast<double>(pitch) * rate / A3D_OUTPUT_RATE * static_cast<double>(kOne));
}

// -- Voices ----------------------------------------------------------------------------

void Mixer::Targets(Voice& v) {
    if (v.paused) {
        v.target[0] = v.target[1] = 0;
        return;
    }
    if (!v.emitter) return PanGains(v.pan, master * v.volume, v.target);
    const Emitter* found = emitters.Find(v.emitter);
    if (!found) {
        v.target[0] = v.target[1] = 0;
        return;
    }
    const Emitter& e = *found;
    const Vector3 d = {e.position.x - listener.x, e.position.y - listener.y, e.position.z - listener.z};
    const float distance = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    const float side = distance > 1e-4f ? (d.x * right.x + d.y * right.y + d.z * right.z) / distance : 0;
    PanGains(side, master * e.volume * Attenuation(distance, e.nearDistance, e.farDistance), v.target);
}

int Mixer::StartVoice(const SoundData* data, base::Handle sound, base::Handle emitter, float pitch, float volume,
                      float pan, bool looping) {
    if (!data || data->frames == 0) return -1;
    Voice fresh;
    fresh.data = data;
    fresh.sound = sound;
    fresh.emitter = emitter;
    fresh.step = StepFor(data->rate, pitch);
    fresh.volume = volume;
    fresh.pan = pan;
    fresh.looping = looping;
    fresh.serial = nextSerial++;
    Targets(fresh);

    int slot = -1;
    for (int i = 0; i < A3D_MAX_PLAYING && slot < 0; ++i)
        if (!voices[i].data) slot = i;
    if (slot < 0) {
        // Every slot is taken: the quietest voice goes, the oldest of equals,
        // unless the new one would be quieter still.
        auto loudness = [](const Voice& v) { return std::max(v.target[0], v.target[1]); };
        for (int i = 0; i < A3D_MAX_PLAYING; ++i) {
            Targets(voices[i]);
            if (slot < 0 || loudness(voices[i]) < loudness(voices[slot]) ||
                (loudness(voices[i]) == loudness(voices[slot]) && voices[i].serial < voices[slot].serial))
                slot = i;
        }
        if (loudness(fresh) < loudness(voices[slot])) return -1;
        FreeVoice(slot);
    }
    voices[slot] = fresh;
    return slot;
}

void Mixer::FreeVoice(int index) {
    Voice& v = voices[index];
    if (v.emitter) {
        Emitter* e = emitters.Find(v.emitter);
        if (e && e->voice == index) e->voice = -1;
    }
    v = Voice();
}

void Mixer::AdvanceVoice(Voice& v, std::uint64_t frames) {
    if (v.paused) return;
    const std::uint64_t end = v.data->frames << 32;
    v.pos += v.step * frames;
    if (v.pos < end) return;
    if (v.looping) v.pos %= end;
    else FreeVoice(static_cast<int>(&v - voices.data()));
}

void Mixer::MixVoice(Voice& v, float* out, int frames) {
    const SoundData& d = *v.data;
    const float* s = d.samples.data();
    const std::uint64_t end = d.frames << 32;
    const std::uint64_t lastSafe = (d.frames - 1) << 32;  // from here the next frame is past the end
    const int mode = d.channels == 1 ? 1 : v.emitter ? 3 : 2;
    float gl = v.gain[0], gr = v.gain[1];
    const float dl = (v.target[0] - gl) / frames, dr = (v.target[1] - gr) / frames;
    bool ended = false;
    for (int i = 0; i < frames;) {
        if (v.pos >= end) {
            if (!v.looping) {
                ended = true;
                break;
            }
            v.pos %= end;
        }
        int run = static_cast<int>(std::min<std::uint64_t>(frames - i, FramesBelow(v.pos, lastSafe, v.step)));
        if (run > 0) {
            float* o = out + 2 * i;
            if (mode == 1) MixRun<1>(s, v.pos, v.step, o, run, gl, gr, dl, dr);
            else if (mode == 2) MixRun<2>(s, v.pos, v.step, o, run, gl, gr, dl, dr);
            else MixRun<3>(s, v.pos, v.step, o, run, gl, gr, dl, dr);
            i += run;
            continue;
        }
        // The last frame: it leads back to the first when looping, else holds.
        const std::uint64_t idx = v.pos >> 32;
        const std::uint64_t next = v.looping ? 0 : idx;
        const float f = static_cast<float>(v.pos & 0xFFFFFFFFu) * kFraction;
        float l, r;
        if (d.channels == 1) {
            l = r = s[idx] + (s[next] - s[idx]) * f;
        } else {
            l = s[2 * idx] + (s[2 * next] - s[2 * idx]) * f;
            r = s[2 * idx + 1] + (s[2 * next + 1] - s[2 * idx + 1]) * f;
            if (mode == 3) l = r = 0.5f * (l + r);
        }
        out[2 * i] += l * gl;
        out[2 * i + 1] += r * gr;
        v.pos += v.step;
        gl += dl;
        gr += dr;
        ++i;
    }
    v.gain[0] = v.target[0];
    v.gain[1] = v.target[1];
    v.heard = v.gain[0] > 0 || v.gain[1] > 0;
    if (ended) FreeVoice(static_cast<int>(&v - voices.data()));
}

// -- Stream -----------------------------------------------------------------------------

void Mixer::Rewind(Stream& m, std::uint64_t fileFrame) {
    m.origin = m.length ? std::min(fileFrame, m.length) : 0;
    m.pos = 0;
    m.written = 0;
    m.endAt = kNoEnd;
    m.seekPending = true;
    ++m.generation;
}

bool Mixer::MixMusic(Stream& m, float* out, int frames) {
    // Some twelve hours into a stream that loops, its timeline starts again
    // where it stands (by whole rings, so the ring's places stay), long before
    // a position could overflow.
    if ((m.pos >> 32) >= (std::uint64_t(1) << 31)) {
        const std::uint64_t shift = (m.pos >> 32) / m.RingFrames() * m.RingFrames();
        m.pos -= shift << 32;
        m.written -= shift;
        if (m.endAt != kNoEnd) m.endAt -= shift;
        if (m.length) m.origin = (m.origin + shift) % m.length;
    }
    float target[2] = {0, 0};
    if (!m.paused) PanGains(m.pan, master * m.volume, target);
    const std::uint64_t step = StepFor(m.rate, m.pitch);
    const std::uint64_t mask = m.RingFrames() - 1;
    const float* ring = m.ring.data();
    float gl = m.gain[0], gr = m.gain[1];
    const float dl = (target[0] - gl) / frames, dr = (target[1] - gr) / frames;
    for (int i = 0; i < frames;) {
        const std::uint64_t idx = m.pos >> 32;
        if (m.endAt != kNoEnd && idx + 1 >= m.endAt) {
            // The stream ended: stopped, and back to the start.
            m.playing = m.paused = false;
            Rewind(m, 0);
            break;
        }
        const std::uint64_t ready = std::min(m.written, m.endAt);
        const int run = ready == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(frames - i, FramesBelow(m.pos, (ready - 1) << 32, step)));
        if (run == 0) {
            // The decoder is late: silence rather than a stretch played twice.
            stats.underruns += static_cast<unsigned long long>(frames - i);
            break;
        }
        float* o = out + 2 * i;
        for (int k = 0; k < run; ++k) {
            const std::uint64_t at = m.pos >> 32;
            const float f = static_cast<float>(m.pos & 0xFFFFFFFFu) * kFraction;
            const float* a = ring + 2 * (at & mask);
            const float* b = ring + 2 * ((at + 1) & mask);
            o[2 * k] += (a[0] + (b[0] - a[0]) * f) * gl;
            o[2 * k + 1] += (a[1] + (b[1] - a[1]) * f) * gr;
            m.pos += step;
            gl += dl;
            gr += dr;
        }
        i += run;
    }
    m.gain[0] = target[0];
    m.gain[1] = target[1];
    m.heard = target[0] > 0 || target[1] > 0;
    const std::uint64_t ahead = m.written - std::min(m.written, m.pos >> 32);
    return m.playing && m.endAt == kNoEnd && ahead < m.RingFrames() / 2;
}

// -- Blocks ----------------------------------------------------------------------------

bool Mixer::Render(float* out, int frames) {
    std::memset(out, 0, sizeof(float) * 2 * static_cast<std::size_t>(frames));
    if (frames <= 0) return false;

    // Which voices are heard: all with a gain, up to A3D_MAX_HEARD, the loudest;
    // one that was heard and is not now glides to silence in this block.
    std::array<int, A3D_MAX_PLAYING> candidates;
    int count = 0;
    for (int i = 0; i < A3D_MAX_PLAYING; ++i) {
        Voice& v = voices[i];
        if (!v.data) continue;
        if (v.paused && !v.heard) continue;
        Targets(v);
        if (v.target[0] > 0 || v.target[1] > 0 || v.heard) candidates[count++] = i;
        else AdvanceVoice(v, static_cast<std::uint64_t>(frames));
    }
    if (count > A3D_MAX_HEARD) {
        auto louder = [this](int a, int b) {
            const float la = std::max(voices[a].target[0], voices[a].target[1]);
            const float lb = std::max(voices[b].target[0], voices[b].target[1]);
            return la != lb ? la > lb : voices[a].serial > voices[b].serial;
        };
        std::nth_element(candidates.begin(), candidates.begin() + A3D_MAX_HEARD, candidates.begin() + count, louder);
        for (int k = A3D_MAX_HEARD; k < count; ++k) {
            Voice& v = voices[candidates[k]];
            v.target[0] = v.target[1] = 0;
            if (!v.heard) {
                AdvanceVoice(v, static_cast<std::uint64_t>(frames));
                candidates[k] = -1;
            }
        }
    }
    int heard = 0;
    for (int k = 0; k < count; ++k) {
        if (candidates[k] < 0) continue;
        Voice& v = voices[candidates[k]];
        const bool frozen = v.paused;
        const std::uint64_t pos = v.pos;
        MixVoice(v, out, frames);
        // A paused voice glides out where it stands and resumes from there.
        if (frozen && v.data) v.pos = pos;
        heard += v.data && v.heard;
    }

    bool hungry = false;
    musics.ForEach([&](base::Handle, std::shared_ptr<Stream>& music) {
        Stream& m = *music;
        if (m.playing && (!m.paused || m.heard) && !m.ring.empty()) hungry |= MixMusic(m, out, frames);
    });

    stats.voicesHeard = heard;
    stats.framesMixed += static_cast<unsigned long long>(frames);
    return hungry;
}

void Mixer::Advance(std::uint64_t frames) {
    if (frames == 0) return;
    for (Voice& v : voices)
        if (v.data) AdvanceVoice(v, frames);
    musics.ForEach([&](base::Handle, std::shared_ptr<Stream>& music) {
        Stream& m = *music;
        if (!m.playing || m.paused) return;
        m.pos += StepFor(m.rate, m.pitch) * frames;
        if (m.origin + (m.pos >> 32) >= m.length && (!m.looping || m.length == 0)) {
            m.playing = false;
            Rewind(m, 0);
        } else if (m.looping) {
            m.pos %= m.length << 32;  // the time played is counted modulo the length anyway
        }
    });
    stats.voicesHeard = 0;
}

}  // namespace a3d
