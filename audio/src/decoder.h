// Decoders: PCM frames out of the bytes of a WAV, OGG (Vorbis), MP3 or FLAC file.
//
// The file is told by its first bytes, not its name. A decoder reads from bytes
// the caller keeps alive and owns nothing else; every read gives float frames
// interleaved with the file's own channel count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace a3d {

enum class Format { Unknown, Wav, Ogg, Mp3, Flac };

// What files this layer accepts: anything else is refused before a frame is read.
constexpr int kMaxChannels = 8;
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 384000;

class Decoder {
public:
    virtual ~Decoder() = default;
    // Up to `frames` frames into `out` (frames * channels floats); fewer at the
    // end of the stream or where the data stops making sense, 0 after that.
    virtual std::uint64_t Read(float* out, std::uint64_t frames) = 0;
    // Moves to frame `frame` from the start; false when the stream cannot.
    virtual bool Seek(std::uint64_t frame) = 0;

    int channels = 0;
    int rate = 0;
    std::uint64_t frames = 0;  // length from the file's own header or a scan; 0 when unknown
};

// The format whose signature starts `data`.
Format Sniff(const unsigned char* data, std::size_t size);
const char* FormatName(Format format);

// A decoder over `data`, or null with `why` saying what is wrong with it.
std::unique_ptr<Decoder> OpenDecoder(const unsigned char* data, std::size_t size, std::string& why);

}  // namespace a3d
