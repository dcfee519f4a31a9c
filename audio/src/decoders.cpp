// One Decoder per format over the libraries in codecs.h, and the checks every
// file passes before a frame is read from it.
#include "decoder.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "codecs.h"

namespace a3d {
namespace {

bool Starts(const unsigned char* data, std::size_t size, const char* magic, std::size_t at = 0) {
    const std::size_t n = std::strlen(magic);
    return size >= at + n && std::memcmp(data + at, magic, n) == 0;
}

// Sony Wave64 files open with this GUID ("riff" and 12 bytes more).
const unsigned char kWave64[16] = {0x72, 0x69, 0x66, 0x66, 0x2E, 0x91, 0xCF, 0x11,
                                   0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};

class WavDecoder final : public Decoder {
public:
    drwav wav{};
    ~WavDecoder() override { drwav_uninit(&wav); }
    std::uint64_t Read(float* out, std::uint64_t n) override { return drwav_read_pcm_frames_f32(&wav, n, out); }
    bool Seek(std::uint64_t frame) override { return drwav_seek_to_pcm_frame(&wav, frame); }
};

class FlacDecoder final : public Decoder {
public:
    drflac* flac = nullptr;
    ~FlacDecoder() override { drflac_close(flac); }
    std::uint64_t Read(float* out, std::uint64_t n) override { return drflac_read_pcm_frames_f32(flac, n, out); }
    bool Seek(std::uint64_t frame) override { return drflac_seek_to_pcm_frame(flac, frame); }
};

class Mp3Decoder final : public Decoder {
public:
    drmp3 mp3{};
    bool missing = false;  // fewer MPEG frames than its header declares
    ~Mp3Decoder() override { drmp3_uninit(&mp3); }
    std::uint64_t Read(float* out, std::uint64_t n) override { return drmp3_read_pcm_frames_f32(&mp3, n, out); }
    bool Seek(std::uint64_t frame) override { return drmp3_seek_to_pcm_frame(&mp3, frame); }
};

class OggDecoder final : public Decoder {
public:
    stb_vorbis* vorbis = nullptr;
    ~OggDecoder() override { stb_vorbis_close(vorbis); }
    std::uint64_t Read(float* out, std::uint64_t n) override {
        // stb_vorbis counts in ints of floats.
        const std::uint64_t most = static_cast<std::uint64_t>(std::numeric_limits<int>::max()) / channels;
        if (n > most) n = most;
        const int got = stb_vorbis_get_samples_float_interleaved(vorbis, channels, out, static_cast<int>(n) * channels);
        return got > 0 ? static_cast<std::uint64_t>(got) : 0;
    }
    bool Seek(std::uint64_t frame) override {
        if (frame == 0) return stb_vorbis_seek_start(vorbis);
        return frame <= std::numeric_limits<unsigned>::max() && stb_vorbis_seek_frame(vorbis, static_cast<unsigned>(frame));
    }
};

std::unique_ptr<Decoder> OpenWav(const unsigned char* data, std::size_t size, std::string& why) {
    auto d = std::make_unique<WavDecoder>();
    if (!drwav_init_memory(&d->wav, data, size, nullptr)) {
        why = "not a WAV file that can be read (a broken header, or an encoding other than PCM, float, A-law or mu-law)";
        return nullptr;
    }
    d->channels = d->wav.channels;
    d->rate = static_cast<int>(d->wav.sampleRate);
    d->frames = d->wav.totalPCMFrameCount;
    return d;
}

std::unique_ptr<Decoder> OpenFlac(const unsigned char* data, std::size_t size, std::string& why) {
    auto d = std::make_unique<FlacDecoder>();
    d->flac = drflac_open_memory(data, size, nullptr);
    if (!d->flac) {
        why = "not a FLAC stream that can be read";
        return nullptr;
    }
    // dr_flac seeks by bisecting the file (from a seek table point, or without
    // one), which divides by zero when it lands on the first frame and casts
    // the NaN to an integer (found by the fuzzer on a broken file; a whole one
    // can meet it too). Skipping forward frame by frame is slower and sound.
    d->flac->_noSeekTableSeek = DRFLAC_TRUE;
    d->flac->_noBinarySearchSeek = DRFLAC_TRUE;
    d->channels = d->flac->channels;
    d->rate = static_cast<int>(d->flac->sampleRate);
    d->frames = d->flac->totalPCMFrameCount;
    return d;
}

std::unique_ptr<Decoder> OpenMp3(const unsigned char* data, std::size_t size, std::string& why) {
    auto d = std::make_unique<Mp3Decoder>();
    if (!drmp3_init_memory(&d->mp3, data, size, nullptr)) {
        why = "no MPEG audio frame in it";
        return nullptr;
    }
    d->channels = static_cast<int>(d->mp3.channels);
    d->rate = static_cast<int>(d->mp3.sampleRate);
    // The length comes from the encoder's Xing or Info frame when there is
    // one; the frames are counted all the same (reading the stream once), to
    // find a file cut short. A frame or two of slack: the tag's own frame, padding.
    drmp3_uint64 mpegFrames = 0, counted = 0;
    const bool tagged = d->mp3.totalPCMFrameCount != DRMP3_UINT64_MAX;
    drmp3_get_mp3_and_pcm_frame_count(&d->mp3, &mpegFrames, &counted);
    d->frames = tagged ? drmp3_get_pcm_frame_count(&d->mp3) : counted;
    d->missing = tagged && counted + 2 * 1152 < d->mp3.totalPCMFrameCount;
    d->Seek(0);
    return d;
}

// The bytes of the stream's second packet (the Vorbis comment header), put
// together from the pages it spans; false when the pages end first.
bool SecondPacket(const unsigned char* data, std::size_t size, std::vector<unsigned char>& packet) {
    int packets = 0;
    packet.clear();
    for (std::size_t at = 0; at + 27 <= size && Starts(data + at, size - at, "OggS");) {
        const std::size_t segments = data[at + 26];
        std::size_t body = at + 27 + segments;
        if (body > size) return false;
        for (std::size_t k = 0; k < segments; ++k) {
            const std::size_t lace = data[at + 27 + k];
            if (body + lace > size) return false;
            if (packets == 1) packet.insert(packet.end(), data + body, data + body + lace);
            body += lace;
            if (lace < 255 && ++packets == 2) return true;
        }
        at = body;
    }
    return false;
}

// stb_vorbis trusts the lengths in the comment header: a vendor string or a
// comment count larger than the packet makes it write before a buffer or free
// pointers it never set (found by the fuzzer). Every length is checked here
// against what the packet holds.
bool OggCommentsBroken(const unsigned char* data, std::size_t size) {
    std::vector<unsigned char> p;
    if (!SecondPacket(data, size, p) || p.size() < 7 || p[0] != 3 || std::memcmp(&p[1], "vorbis", 6) != 0) return true;
    std::size_t at = 7;
    auto u32 = [&](std::uint64_t& value) {
        if (at + 4 > p.size()) return false;
        value = std::uint64_t(p[at]) | std::uint64_t(p[at + 1]) << 8 | std::uint64_t(p[at + 2]) << 16 |
                std::uint64_t(p[at + 3]) << 24;
        at += 4;
        return true;
    };
    std::uint64_t vendor = 0, count = 0;
    if (!u32(vendor) || vendor > p.size() - at) return true;
    at += vendor;
    if (!u32(count) || count > (p.size() - at) / 4) return true;
    for (std::uint64_t k = 0; k < count; ++k) {
        std::uint64_t length = 0;
        if (!u32(length) || length > p.size() - at) return true;
        at += length;
    }
    return false;
}

std::unique_ptr<Decoder> OpenOgg(const unsigned char* data, std::size_t size, std::string& why) {
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        why = "larger than 2 GiB";
        return nullptr;
    }
    if (OggCommentsBroken(data, size)) {
        why = "its Vorbis comment header is missing or its lengths run past its end";
        return nullptr;
    }
    auto d = std::make_unique<OggDecoder>();
    int error = 0;
    d->vorbis = stb_vorbis_open_memory(data, static_cast<int>(size), &error, nullptr);
    if (!d->vorbis) {
        why = "not an Ogg Vorbis stream that can be read (error " + std::to_string(error) + ")";
        return nullptr;
    }
    const stb_vorbis_info info = stb_vorbis_get_info(d->vorbis);
    d->channels = info.channels;
    d->rate = static_cast<int>(info.sample_rate);
    d->frames = stb_vorbis_stream_length_in_samples(d->vorbis);
    d->Seek(0);
    return d;
}

// -- Files cut short ------------------------------------------------------------------
// A file whose end is missing still opens: each format tells it another way.

// WAV and FLAC declare their length: its last frame must be there.
bool LastFrameMissing(Decoder& d) {
    std::vector<float> frame(static_cast<std::size_t>(d.channels));
    const bool missing = d.frames == 0 || !d.Seek(d.frames - 1) || d.Read(frame.data(), 1) != 1;
    return !d.Seek(0) || missing;
}

// An Ogg stream ends with a page marked "end of stream"; a cut file ends
// before that page, or inside a page.
bool OggEndMissing(const unsigned char* data, std::size_t size) {
    if (size < 27) return true;
    // From the end back to the page that ends the file (bytes that only look
    // like a page's start, inside another page's data, end elsewhere).
    for (std::size_t at = size - 27;; --at) {
        if (data[at] == 'O' && Starts(data + at, size - at, "OggS") && data[at + 4] == 0) {
            const std::size_t segments = data[at + 26];
            std::size_t end = at + 27 + segments;
            if (end <= size) {
                for (std::size_t k = 0; k < segments; ++k) end += data[at + 27 + k];
                if (end == size) return (data[at + 5] & 0x04) == 0;
            }
        }
        if (at == 0) return true;
    }
}

// A RIFF WAV's "data" chunk declaring more bytes than the file holds: what it
// declares and what is there. (Writers that did not know the length when they
// started write 0 or all ones, which is taken as "up to the end".)
bool WavDataMissing(const unsigned char* data, std::size_t size, std::uint64_t& declared, std::uint64_t& present) {
    const bool bigEndian = Starts(data, size, "RIFX");
    if (!bigEndian && !Starts(data, size, "RIFF")) return false;
    for (std::size_t at = 12; at + 8 <= size;) {
        const unsigned char* b = data + at + 4;
        const std::uint64_t length = bigEndian ? (std::uint64_t(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3])
                                               : (std::uint64_t(b[3]) << 24 | b[2] << 16 | b[1] << 8 | b[0]);
        if (Starts(data + at, size - at, "data")) {
            declared = length;
            present = size - (at + 8);
            return length != 0 && length != 0xFFFFFFFFu && length > present;
        }
        at += 8 + length + (length & 1);
    }
    return false;
}

// Why the file is cut short, or empty when it is whole.
std::string CutShort(Format format, const unsigned char* data, std::size_t size, Decoder& d) {
    const std::string declared = "its header declares " + std::to_string(d.frames) + " frames";
    std::uint64_t bytes = 0, present = 0;
    switch (format) {
        case Format::Wav:
            if (WavDataMissing(data, size, bytes, present))
                return "it is cut short: its data chunk declares " + std::to_string(bytes) + " bytes, " +
                       std::to_string(present) + " are there";
            if (LastFrameMissing(d)) return "it is cut short: " + declared + ", the last is missing";
            break;
        case Format::Flac:
            if (LastFrameMissing(d)) return "it is cut short: " + declared + ", the last is missing";
            break;
        case Format::Ogg:
            if (OggEndMissing(data, size)) return "it is cut short: its last Ogg page is missing or incomplete";
            break;
        case Format::Mp3:
            if (static_cast<Mp3Decoder&>(d).missing)
                return "it is cut short: " + declared + " (in its Xing or Info frame), fewer are there";
            break;
        case Format::Unknown: break;
    }
    return std::string();
}

}  // namespace

Format Sniff(const unsigned char* data, std::size_t size) {
    if ((Starts(data, size, "RIFF") || Starts(data, size, "RIFX") || Starts(data, size, "RF64")) &&
        Starts(data, size, "WAVE", 8))
        return Format::Wav;
    if (size >= sizeof kWave64 && std::memcmp(data, kWave64, sizeof kWave64) == 0) return Format::Wav;
    if (Starts(data, size, "OggS")) return Format::Ogg;
    if (Starts(data, size, "fLaC")) return Format::Flac;
    // An ID3 tag, or the 11 set bits that open an MPEG audio frame.
    if (Starts(data, size, "ID3") || (size >= 2 && data[0] == 0xFF && (data[1] & 0xE0) == 0xE0)) return Format::Mp3;
    return Format::Unknown;
}

const char* FormatName(Format format) {
    switch (format) {
        case Format::Wav: return "WAV";
        case Format::Ogg: return "OGG";
        case Format::Mp3: return "MP3";
        case Format::Flac: return "FLAC";
        case Format::Unknown: break;
    }
    return "unknown";
}

std::unique_ptr<Decoder> OpenDecoder(const unsigned char* data, std::size_t size, std::string& why) {
    if (size == 0) {
        why = "the file is empty";
        return nullptr;
    }
    std::unique_ptr<Decoder> d;
    const Format format = Sniff(data, size);
    switch (format) {
        case Format::Wav: d = OpenWav(data, size, why); break;
        case Format::Flac: d = OpenFlac(data, size, why); break;
        case Format::Mp3: d = OpenMp3(data, size, why); break;
        case Format::Ogg: d = OpenOgg(data, size, why); break;
        case Format::Unknown:
            why = "its first bytes are not those of a WAV, OGG, MP3 or FLAC file";
            return nullptr;
    }
    if (!d) return nullptr;
    if (d->channels < 1 || d->channels > kMaxChannels) {
        why = std::to_string(d->channels) + " channels (1 to " + std::to_string(kMaxChannels) + " are played)";
        return nullptr;
    }
    if (d->rate < kMinRate || d->rate > kMaxRate) {
        why = "a sample rate of " + std::to_string(d->rate) + " Hz (" + std::to_string(kMinRate) + " to " +
              std::to_string(kMaxRate) + " are played)";
        return nullptr;
    }
    why = CutShort(format, data, size, *d);
    if (why.empty() && d->frames == 0) why = "no audio in it";
    return why.empty() ? std::move(d) : nullptr;
}

}  // namespace a3d
