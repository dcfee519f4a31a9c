// Loading: a file's bytes (through the base library's reader, 1 GiB at most),
// decoded whole as a sound or opened as music for the feeder to decode. A file
// that cannot be used gives an empty sound or music and one warning naming it.
#pragma once

#include <cstdint>
#include <memory>

#include "mixer.h"

namespace a3d {

// Frames decoded at a time, for sounds and music alike.
constexpr std::uint64_t kChunkFrames = 2048;

// A sound decoded whole: mono stays mono, everything else becomes stereo.
std::unique_ptr<SoundData> DecodeSound(const char* fileName);

// A music's decoder and ring, or an empty music (no decoder) with a warning.
std::shared_ptr<Stream> OpenMusic(const char* fileName);

// `frames` frames of `channels` channels as stereo (beyond two, the first two).
void ToStereo(const float* in, int channels, std::uint64_t frames, float* out);

}  // namespace a3d
