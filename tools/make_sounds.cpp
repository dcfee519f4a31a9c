// Writes the sample game's sounds at build time, synthesized, so that no
// recording of anyone's enters the tree.
//
//   make_sounds <folder>         step_a.wav, step_b.wav, jump.wav, land.wav, hum.wav
//   make_sounds --chime <file>   the template game's chime
//
// Mono 16-bit WAV. Noise comes from a fixed-seed generator, so every build
// writes the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sound/Wav.h"

namespace {

constexpr float kTwoPi = 6.28318531f;
constexpr int kRate = 22050;

// xorshift32: white noise in [-1, 1].
struct Noise {
    std::uint32_t state;
    float Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<float>(state) / 2147483648.0f - 1.0f;
    }
};

// A one-pole low-pass filter at `cutoff` Hz.
struct LowPass {
    float a, y = 0;
    LowPass(float cutoff, int rate) : a(1 - std::exp(-kTwoPi * cutoff / static_cast<float>(rate))) {}
    float operator()(float x) { return y += a * (x - y); }
};

std::vector<float> Silence(float seconds, int rate = kRate) {
    return std::vector<float>(static_cast<std::size_t>(seconds * static_cast<float>(rate)), 0.0f);
}

// Scales the loudest sample to `peak`.
void Normalize(std::vector<float>& s, float peak) {
    float most = 0;
    for (float v : s) most = std::fmax(most, std::fabs(v));
    if (most > 0)
        for (float& v : s) v *= peak / most;
}

// A shoe on a hard floor: a short low thump under a scuff of dull noise.
std::vector<float> Step(std::uint32_t seed, float thump, float dullness) {
    std::vector<float> s = Silence(0.16f);
    Noise noise{seed};
    LowPass scuff(dullness, kRate), body(thump * 4, kRate);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const float t = static_cast<float>(i) / kRate;
        const float attack = std::fmin(t / 0.003f, 1.0f);
        s[i] = attack * (0.7f * scuff(noise.Next()) * std::exp(-t / 0.035f) +
                         0.5f * body(std::sin(kTwoPi * thump * t)) * std::exp(-t / 0.025f));
    }
    Normalize(s, 0.7f);
    return s;
}

// A push off the ground: a breath of noise swelling and a tone rising under it.
std::vector<float> Jump() {
    std::vector<float> s = Silence(0.28f);
    Noise noise{7};
    LowPass low(2500, kRate), high(400, kRate);
    float phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const float t = static_cast<float>(i) / kRate;
        const float envelope = std::sin(3.14159265f * t / 0.28f);
        const float band = low(noise.Next());
        phase += kTwoPi * (180 + 900 * t) / kRate;
        s[i] = envelope * envelope * (0.6f * (band - high(band)) + 0.35f * std::sin(phase));
    }
    Normalize(s, 0.6f);
    return s;
}

// Landing: a heavy low thump and a burst of dull noise.
std::vector<float> Land() {
    std::vector<float> s = Silence(0.35f);
    Noise noise{11};
    LowPass dull(700, kRate);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const float t = static_cast<float>(i) / kRate;
        const float attack = std::fmin(t / 0.002f, 1.0f);
        s[i] = attack * (std::sin(kTwoPi * 55 * t) * std::exp(-t / 0.07f) + 0.6f * dull(noise.Next()) * std::exp(-t / 0.04f));
    }
    Normalize(s, 0.9f);
    return s;
}

// A machine's hum: 55 Hz and its harmonics, swelling once over its two
// seconds. Every component fits a whole number of cycles, so it loops without a seam.
std::vector<float> Hum() {
    std::vector<float> s = Silence(2.0f);
    const float harmonics[][2] = {{55, 1.0f}, {110, 0.5f}, {165, 0.3f}, {220, 0.15f}, {330, 0.08f}};
    for (std::size_t i = 0; i < s.size(); ++i) {
        const float t = static_cast<float>(i) / kRate;
        float v = 0;
        for (const auto& h : harmonics) v += h[1] * std::sin(kTwoPi * h[0] * t);
        s[i] = v * (0.85f + 0.15f * std::sin(kTwoPi * 0.5f * t));
    }
    Normalize(s, 0.5f);
    return s;
}

// A small bell: three inharmonic partials dying away at different speeds.
std::vector<float> Chime() {
    const int rate = kRate;
    std::vector<float> s = Silence(1.5f, rate);
    const float partials[][3] = {{880, 1.0f, 0.6f}, {2429, 0.45f, 0.25f}, {4752, 0.2f, 0.1f}};  // Hz, level, decay
    for (std::size_t i = 0; i < s.size(); ++i) {
        const float t = static_cast<float>(i) / rate;
        const float attack = std::fmin(t / 0.002f, 1.0f);
        float v = 0;
        for (const auto& p : partials) v += p[1] * std::sin(kTwoPi * p[0] * t) * std::exp(-t / p[2]);
        s[i] = attack * v;
    }
    Normalize(s, 0.6f);
    return s;
}

bool Write(const std::string& path, const std::vector<float>& samples, int rate = kRate) {
    if (SoundFile::WriteWav(path, samples, 1, rate)) return true;
    std::fprintf(stderr, "make_sounds: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--chime") == 0) return Write(argv[2], Chime()) ? 0 : 1;
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sounds <folder> | make_sounds --chime <file.wav>\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = Write(dir + "/step_a.wav", Step(3, 90, 1200)) && Write(dir + "/step_b.wav", Step(5, 80, 1000)) &&
                    Write(dir + "/jump.wav", Jump()) && Write(dir + "/land.wav", Land()) &&
                    Write(dir + "/hum.wav", Hum());
    return ok ? 0 : 1;
}
