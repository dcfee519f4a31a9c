// Sound-file fuzzer: mutates generated WAV (16-bit mono and float stereo), OGG,
// MP3 and FLAC files and loads each mutant in a child process, as a sound and
// as music, then decodes it once more the way music is fed: from a few places
// after seeking, to the end. A crash, a sanitizer report, a hang, or a load
// that gives a silent sound without exactly one warning naming the file (or
// says anything else) is a finding: the mutant is kept (--keep) and the run fails.
//
//   sound_fuzz [--seed N] [--files N | --seconds N] [--keep DIR] [--verbose]
//   sound_fuzz --replay FILE      load one file in this process
//
// The bounded seeded run is a test; a long run is `--seconds 3600`.
#include <random>
#include <string>
#include <vector>

#include "Fuzz.h"
#include "Process.h"
#include "SoundTest.h"
#include "a3d.h"
#include "decoder.h"
#include "sound/Wav.h"

using TestSupport::Bytes;

namespace {

// 0: a sound, 4: silent (refused). Decodes the stream as the music feeder
// does, reading to the end from the start and from a few places sought.
int CheckFile(const std::string& path, unsigned seed) {
    const A3D_Sound sound = A3D_LoadSound(path.c_str());
    const A3D_Music music = A3D_LoadMusic(path.c_str());
    A3D_PlaySound(sound);
    A3D_PlayMusic(music);
    const Bytes bytes = TestSupport::ReadBytes(path);
    std::string why;
    std::unique_ptr<a3d::Decoder> decoder = a3d::OpenDecoder(bytes.data(), bytes.size(), why);
    if (decoder) {
        std::mt19937 random(seed);
        std::vector<float> chunk(2048 * static_cast<std::size_t>(decoder->channels));
        const std::uint64_t frames = decoder->frames;
        for (std::uint64_t start : {std::uint64_t(0), frames / 2, frames - 1, frames + 1000, random() % (frames + 1)}) {
            decoder->Seek(start);
            // Never more than the declared length and a chunk: a decoder that
            // goes on past its end is a finding (a hang) too.
            for (std::uint64_t read = 0, got; read <= frames + 2048 && (got = decoder->Read(chunk.data(), 2048)) > 0;)
                read += got;
        }
    }
    return A3D_GetSoundLength(sound) > 0 ? 0 : 4;
}

using Seed = TestSupport::FileFuzz::Seed;

std::vector<Seed> MakeSeeds(const std::string& dir) {
    // A tone with some noise on it, short: the decoders meet every kind of frame.
    std::vector<float> mono = SoundTest::Tone(440, 0.3f, 22050, 0.4f);
    std::mt19937 noise(5);
    for (float& v : mono) v += std::uniform_real_distribution<float>(-0.1f, 0.1f)(noise);
    std::vector<Seed> seeds;
    for (const char* extension : {".wav", ".ogg", ".mp3", ".flac"}) {
        seeds.push_back({extension + 1, dir + "/seed" + extension});
        SoundTest::WriteSound(seeds.back().path, mono, 22050);
    }
    std::vector<float> stereo;
    for (float v : SoundTest::Tone(330, 0.3f, 44100, 0.5f)) stereo.insert(stereo.end(), {v, -v});
    seeds.push_back({"wav-float", dir + "/seed-float.wav"});
    SoundFile::WriteWav(seeds.back().path, stereo, 2, 44100, SoundFile::Encoding::Float32);
    return seeds;
}

// What the child said besides the warnings it should say: empty when right.
std::string WrongWords(const std::string& said, const std::string& path, bool silent) {
    const std::string sound = "WARNING: A3D: could not load sound \"" + path + "\": ";
    const std::string music = "WARNING: A3D: could not load music \"" + path + "\": ";
    int sounds = 0;
    for (const std::string& line : TestSupport::Lines(said)) {
        if (line.rfind(sound, 0) == 0) ++sounds;
        else if (line.rfind(music, 0) != 0 && line.find("longer than") == std::string::npos) return "said: " + line;
    }
    if (sounds != (silent ? 1 : 0)) return std::to_string(sounds) + " warnings for a " + (silent ? "silent" : "loaded") + " sound";
    return std::string();
}

}  // namespace

int main(int argc, char** argv) {
    const TestSupport::FuzzOptions o = TestSupport::ParseFuzzOptions(argc, argv, "sound_fuzz");
    if (!o.replay.empty()) return CheckFile(o.replay, o.seed) == 4 ? 1 : 0;

    TestSupport::TempDir work;
    TestSupport::FileFuzz fuzz{"sound_fuzz", MakeSeeds(work.Path()), 160, CheckFile, WrongWords, "loaded as sounds",
                               "refused (silent)"};
    return TestSupport::RunFileFuzz(o, work.Path(), fuzz);
}
