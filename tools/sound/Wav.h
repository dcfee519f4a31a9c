// Writing WAV files: 16-bit PCM or 32-bit float, any channel count and rate.
// Used by the sound generator and by tests that need sound files of their own.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace SoundFile {

enum class Encoding { Pcm16, Float32 };

// `samples` interleaved, `channels` per frame, each in [-1, 1] (PCM clips).
inline bool WriteWav(const std::string& path, const std::vector<float>& samples, int channels, int rate,
                     Encoding encoding = Encoding::Pcm16) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool pcm = encoding == Encoding::Pcm16;
    const std::uint16_t bits = pcm ? 16 : 32;
    const std::uint32_t data = static_cast<std::uint32_t>(samples.size() * (bits / 8));
    auto u32 = [f](std::uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [f](std::uint16_t v) { std::fwrite(&v, 2, 1, f); };
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + data);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(pcm ? 1 : 3);  // PCM, or IEEE float
    u16(static_cast<std::uint16_t>(channels));
    u32(static_cast<std::uint32_t>(rate));
    u32(static_cast<std::uint32_t>(rate * channels * (bits / 8)));
    u16(static_cast<std::uint16_t>(channels * (bits / 8)));
    u16(bits);
    std::fwrite("data", 1, 4, f);
    u32(data);
    for (float s : samples) {
        if (pcm) {
            const float c = s < -1 ? -1 : s > 1 ? 1 : s;
            const auto v = static_cast<std::int16_t>(std::lround(c * 32767.0f));
            std::fwrite(&v, 2, 1, f);
        } else {
            std::fwrite(&s, 4, 1, f);
        }
    }
    const bool ok = std::ferror(f) == 0;
    return std::fclose(f) == 0 && ok;
}

}  // namespace SoundFile
