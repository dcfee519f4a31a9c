#include "loading.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/Files.h"
#include "base/Log.h"

namespace a3d {
namespace {

constexpr std::size_t kMaxFileBytes = std::size_t(1) << 30;
// A sound is decoded whole; anything longer is music.
constexpr std::uint64_t kMaxSoundSeconds = 600;
// Music is decoded ahead by this much at least (rounded up to a power of two):
// the device's thread plays on while the feeder waits for the CPU.
constexpr std::uint64_t kRingSeconds = 2;

void Warn(const char* what, const char* fileName, const std::string& why) {
    base::Warn("A3D", "could not load %s \"%s\": %s; it plays as silence", what, fileName ? fileName : "", why.c_str());
}

// The whole file, or empty with `why` set.
std::vector<unsigned char> Read(const char* fileName, std::string& why) {
    base::FileData file = base::ReadFile(fileName ? fileName : "", kMaxFileBytes);
    if (!file) why = file.why;
    else if (file.bytes.empty()) why = "the file is empty";
    return std::move(file.bytes);
}

}  // namespace

void ToStereo(const float* in, int channels, std::uint64_t frames, float* out) {
    for (std::uint64_t k = 0; k < frames; ++k) {
        const float* f = in + k * static_cast<std::uint64_t>(channels);
        out[2 * k] = f[0];
        out[2 * k + 1] = channels == 1 ? f[0] : f[1];
    }
}

std::unique_ptr<SoundData> DecodeSound(const char* fileName) {
    auto sound = std::make_unique<SoundData>();
    std::string why;
    std::vector<unsigned char> bytes = Read(fileName, why);
    std::unique_ptr<Decoder> decoder = bytes.empty() ? nullptr : OpenDecoder(bytes.data(), bytes.size(), why);
    if (!decoder) {
        Warn("sound", fileName, why);
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
        Warn("sound", fileName, why);
        return std::make_unique<SoundData>();
    }
    if (total == most && decoder->frames != most)
        base::Warn("A3D", "sound \"%s\" is longer than %d minutes: only its start is kept (load it as music)", fileName,
                   static_cast<int>(kMaxSoundSeconds / 60));
    sound->channels = out;
    sound->rate = decoder->rate;
    sound->frames = total;
    sound->samples.shrink_to_fit();
    return sound;
}

std::shared_ptr<Stream> OpenMusic(const char* fileName) {
    auto music = std::make_shared<Stream>();
    std::string why;
    music->bytes = Read(fileName, why);
    if (!music->bytes.empty()) music->decoder = OpenDecoder(music->bytes.data(), music->bytes.size(), why);
    if (!music->decoder) {
        Warn("music", fileName, why);
        music->bytes.clear();
        music->bytes.shrink_to_fit();
        return music;
    }
    Decoder& d = *music->decoder;
    music->rate = d.rate;
    music->length = d.frames;
    std::uint64_t ring = 4096;
    while (ring < kRingSeconds * static_cast<std::uint64_t>(d.rate)) ring *= 2;
    music->ring.assign(ring * 2, 0.0f);
    music->scratch.resize(kChunkFrames * static_cast<std::size_t>(d.channels));
    return music;
}

}  // namespace a3d
