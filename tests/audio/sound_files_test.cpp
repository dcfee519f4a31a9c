// The audio layer in-process, without a device (its clock stands in): files of
// every format load with their length; broken ones load as silence with one
// warning each, never a crash (the sanitizer build runs these too), and so do
// files over the size limit or that fail while read; voices, music and
// emitters keep time; past the voice limit the quietest goes; a handle whose
// object is gone is refused with a warning and never reaches another object.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "Process.h"
#include "SoundTest.h"
#include "a3d.h"
#include "base/Log.h"

using namespace TestSupport;
using namespace SoundTest;

namespace {

using Bytes = std::string;

const char* const kFormats[] = {".wav", ".ogg", ".mp3", ".flac"};

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
void WriteBytes(const std::string& path, const Bytes& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// What the layer writes on stderr while `fn` runs.
template <class Fn>
std::string Stderr(Fn fn) {
    TempDir dir;
    std::fflush(stderr);
    const int saved = dup(2);
    std::FILE* file = std::fopen((dir / "err").c_str(), "w");
    dup2(fileno(file), 2);
    fn();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::fclose(file);
    return ReadBytes(dir / "err");
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A fresh layer for each test: nothing loaded, the clock at zero.
class Audio : public ::testing::Test {
protected:
    void SetUp() override { A3D_Close(); }
    void TearDown() override { A3D_Close(); }
    TempDir dir;
};

// Each broken version of a good file, by what was done to it.
std::vector<std::pair<std::string, Bytes>> Broken(const std::string& extension, const Bytes& good) {
    std::vector<std::pair<std::string, Bytes>> cases = {
        {"truncated", good.substr(0, good.size() * 6 / 10)},
        {"empty", Bytes()},
        {"wrong header", "JUNK" + good.substr(4)},
    };
    // Sizes in the headers out of all proportion with the file.
    Bytes huge = good;
    if (extension == ".wav") {
        const std::size_t data = huge.find("data");
        std::memcpy(&huge[data + 4], "\xF0\xFF\xFF\x7F", 4);  // the data chunk: 2 GiB
        std::memcpy(&huge[22], "\xFF\xFF", 2);                // 65535 channels
    } else if (extension == ".flac") {
        // STREAMINFO: the largest frame size, and 2^36 - 1 samples in the stream.
        std::memcpy(&huge[15], "\xFF\xFF\xFF", 3);
        huge[21] = static_cast<char>(huge[21] | 0x0F);
        std::memcpy(&huge[22], "\xFF\xFF\xFF\xFF", 4);
    } else if (extension == ".ogg") {
        // The Vorbis identification header: 255 channels at 4 GHz.
        const std::size_t id = huge.find("\x01vorbis");
        huge[id + 11] = '\xFF';
        std::memcpy(&huge[id + 12], "\xFF\xFF\xFF\xFF", 4);
    } else {
        // An ID3 tag before the MPEG frames claiming 256 MiB.
        huge = Bytes("ID3\x04\x00\x00\x7F\x7F\x7F\x7F", 10) + huge;
    }
    cases.push_back({"huge sizes", huge});
    return cases;
}

}  // namespace

TEST_F(Audio, EveryFormatLoadsAsASoundAndAsMusicWithItsLength) {
    for (const char* extension : kFormats) {
        SCOPED_TRACE(extension);
        const std::string path = dir / (std::string("tone") + extension);
        WriteSound(path, Tone(440, 0.75f, 44100, 0.5f), 44100);
        A3D_Sound sound{};
        A3D_Music music{};
        const std::string err = Stderr([&] {
            sound = A3D_LoadSound(path.c_str());
            music = A3D_LoadMusic(path.c_str());
        });
        EXPECT_EQ(err, "");
        EXPECT_NEAR(A3D_GetSoundLength(sound), 0.75f, 1e-4f);
        EXPECT_NEAR(A3D_GetMusicTimeLength(music), 0.75f, 1e-4f);
    }
}

TEST_F(Audio, BrokenFilesOfEveryFormatAreSilentWithOneWarningEach) {
    for (const char* extension : kFormats) {
        const std::string good = dir / (std::string("good") + extension);
        WriteSound(good, Tone(440, 0.75f, 44100, 0.5f), 44100);
        for (const auto& [what, bytes] : Broken(extension, ReadBytes(good))) {
            SCOPED_TRACE(std::string(extension) + ", " + what);
            const std::string path = dir / ("broken " + what + extension);
            WriteBytes(path, bytes);
            A3D_Sound sound{};
            A3D_Music music{};
            const std::string err = Stderr([&] {
                sound = A3D_LoadSound(path.c_str());
                music = A3D_LoadMusic(path.c_str());
            });
            EXPECT_EQ(A3D_GetSoundLength(sound), 0.0f);
            EXPECT_EQ(A3D_GetMusicTimeLength(music), 0.0f);
            EXPECT_EQ(Count(err, "\n"), 2) << err;
            EXPECT_EQ(Count(err, "WARNING: A3D: could not load sound \"" + path + "\": "), 1) << err;
            EXPECT_EQ(Count(err, "WARNING: A3D: could not load music \"" + path + "\": "), 1) << err;
            A3D_PlaySound(sound);
            A3D_PlayMusic(music);
            EXPECT_FALSE(A3D_IsSoundPlaying(sound)) << "a silent sound plays nothing";
            EXPECT_FALSE(A3D_IsMusicPlaying(music));
        }
    }
}

// Without a device the layer's clock moves voices and music on: they end when
// they would have ended.
TEST_F(Audio, WithoutADeviceVoicesMusicAndEmittersKeepTime) {
    const std::string path = dir / "tone.wav";
    WriteSound(path, Tone(440, 0.3f, 44100, 0.5f), 44100);
    ASSERT_FALSE(A3D_HasDevice());
    const A3D_Sound sound = A3D_LoadSound(path.c_str());
    A3D_PlaySound(sound);
    Sleep(0.15);
    EXPECT_TRUE(A3D_IsSoundPlaying(sound));
    Sleep(0.25);
    EXPECT_FALSE(A3D_IsSoundPlaying(sound)) << "ended after its 0.3 s";
    A3D_SetSoundPitch(sound, 3);
    A3D_PlaySound(sound);
    Sleep(0.15);
    EXPECT_FALSE(A3D_IsSoundPlaying(sound)) << "three times as fast: 0.1 s";

    const A3D_Emitter emitter = A3D_CreateEmitter(sound);
    A3D_SetEmitterLooping(emitter, true);
    A3D_PlayEmitter(emitter);
    Sleep(0.4);
    EXPECT_TRUE(A3D_IsEmitterPlaying(emitter)) << "looping";
    A3D_SetEmitterLooping(emitter, false);
    Sleep(0.35);
    EXPECT_FALSE(A3D_IsEmitterPlaying(emitter)) << "ends at the end of the round it is in";

    const A3D_Music music = A3D_LoadMusic(path.c_str());
    A3D_SetMusicLooping(music, true);
    A3D_PlayMusic(music);
    Sleep(0.4);
    EXPECT_TRUE(A3D_IsMusicPlaying(music));
    EXPECT_NEAR(A3D_GetMusicTimePlayed(music), 0.1f, 0.05f) << "0.4 s in: a second round";
}

TEST_F(Audio, PastTheVoiceLimitTheQuietestVoiceGoes) {
    const std::string path = dir / "tone.wav";
    WriteSound(path, Tone(440, 2, 22050, 0.5f), 22050);
    const A3D_Sound loud = A3D_LoadSound(path.c_str());
    const A3D_Sound quiet = A3D_LoadSound(path.c_str());
    A3D_SetSoundVolume(quiet, 0.1f);
    A3D_PlaySound(quiet);  // the oldest
    A3D_PlaySound(loud);
    for (int i = 0; i < A3D_MAX_PLAYING + 40; ++i) A3D_PlaySound(quiet);
    EXPECT_EQ(A3D_GetStats().voicesPlaying, A3D_MAX_PLAYING);
    EXPECT_TRUE(A3D_IsSoundPlaying(loud)) << "the loud voice stays";
    A3D_StopSound(quiet);
    EXPECT_EQ(A3D_GetStats().voicesPlaying, 1);
    A3D_SetSoundVolume(quiet, 2);
    for (int i = 0; i < A3D_MAX_PLAYING; ++i) A3D_PlaySound(quiet);
    EXPECT_FALSE(A3D_IsSoundPlaying(loud)) << "now the quietest";
}

// A file that cannot be read whole is refused like a broken one: one warning
// each for the sound and the music, saying why.
TEST_F(Audio, FilesOverTheLimitOrFailingWhileReadAreSilentWithAWarningSayingWhy) {
    const std::string large = dir / "large.wav";
    {
        // 1 GiB and one byte, sparse: refused by its size, without being read.
        std::FILE* file = std::fopen(large.c_str(), "wb");
        ASSERT_TRUE(file);
        ASSERT_EQ(ftruncate(fileno(file), (off_t(1) << 30) + 1), 0);
        std::fclose(file);
    }
    struct Case {
        std::string path, why;
    };
    // Opened, then failing on the first read (address 0 of this process is not mapped).
    const Case cases[] = {{large, "larger than 1 GiB"}, {"/proc/self/mem", "could not be read"}, {dir / "none.wav", "does not exist"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        base::WarningCapture warnings;
        const A3D_Sound sound = A3D_LoadSound(c.path.c_str());
        const A3D_Music music = A3D_LoadMusic(c.path.c_str());
        EXPECT_EQ(A3D_GetSoundLength(sound), 0.0f);
        EXPECT_EQ(A3D_GetMusicTimeLength(music), 0.0f);
        ASSERT_EQ(warnings.Lines().size(), 2u) << warnings.Joined();
        EXPECT_EQ(warnings.Lines()[0].rfind("A3D: could not load sound \"" + c.path + "\": ", 0), 0u) << warnings.Joined();
        EXPECT_EQ(warnings.Lines()[1].rfind("A3D: could not load music \"" + c.path + "\": ", 0), 0u) << warnings.Joined();
        EXPECT_NE(warnings.Lines()[0].find(c.why), std::string::npos) << warnings.Joined();
    }
}

// Every kind of handle, once its object is gone (unloaded, destroyed, or all of
// them at A3D_Close), and handles of another kind: each call is refused with a
// warning naming the layer, the call and why, and the object now in its slot
// is left alone.
TEST_F(Audio, AStaleOrForeignHandleIsRefusedWithAWarningAndNeverReachesAnotherObject) {
    const std::string path = dir / "tone.wav";
    WriteSound(path, Tone(440, 1, 22050, 0.5f), 22050);
    const A3D_Sound gone = A3D_LoadSound(path.c_str());
    const A3D_Music goneMusic = A3D_LoadMusic(path.c_str());
    const A3D_Emitter goneEmitter = A3D_CreateEmitter(gone);
    A3D_DestroyEmitter(goneEmitter);
    A3D_UnloadSound(gone);
    A3D_UnloadMusic(goneMusic);
    // New objects, likely in the slots just freed.
    const A3D_Sound sound = A3D_LoadSound(path.c_str());
    const A3D_Music music = A3D_LoadMusic(path.c_str());
    const A3D_Emitter emitter = A3D_CreateEmitter(sound);
    EXPECT_NE(sound.id, gone.id);
    EXPECT_NE(music.id, goneMusic.id);
    EXPECT_NE(emitter.id, goneEmitter.id);

    base::WarningCapture warnings;
    A3D_PlaySound(gone);
    A3D_SetSoundVolume(gone, 0);
    A3D_UnloadSound(gone);
    EXPECT_EQ(A3D_GetSoundLength(gone), 0.0f);
    EXPECT_FALSE(A3D_IsSoundPlaying(sound)) << "the live sound was not played in the stale one's place";
    A3D_PlayMusic(goneMusic);
    A3D_SeekMusic(goneMusic, 0.5f);
    EXPECT_FALSE(A3D_IsMusicPlaying(music));
    EXPECT_EQ(A3D_GetMusicTimePlayed(music), 0.0f);
    A3D_PlayEmitter(goneEmitter);
    A3D_DestroyEmitter(goneEmitter);
    EXPECT_FALSE(A3D_IsEmitterPlaying(emitter));
    EXPECT_EQ(A3D_CreateEmitter(gone).id, 0u) << "no emitter of an unloaded sound";
    // Handles of one kind passed as another.
    A3D_PlaySound(A3D_Sound{music.id});
    A3D_PlayMusic(A3D_Music{emitter.id});
    EXPECT_FALSE(A3D_IsSoundPlaying(sound));
    EXPECT_FALSE(A3D_IsMusicPlaying(music));
    // 0 means none: refused without a word.
    A3D_PlaySound(A3D_Sound{0});
    A3D_StopEmitter(A3D_Emitter{0});

    const std::vector<std::string> lines = warnings.Lines();
    ASSERT_EQ(lines.size(), 11u) << warnings.Joined();
    const std::string soundId = std::to_string(gone.id), musicId = std::to_string(goneMusic.id);
    EXPECT_EQ(lines[0], "A3D: A3D_PlaySound: sound " + soundId + " was released");
    EXPECT_EQ(lines[2], "A3D: A3D_UnloadSound: sound " + soundId + " was released");
    EXPECT_EQ(lines[4], "A3D: A3D_PlayMusic: music " + musicId + " was released");
    EXPECT_EQ(lines[6], "A3D: A3D_PlayEmitter: emitter " + std::to_string(goneEmitter.id) + " was released");
    EXPECT_EQ(lines[8], "A3D: A3D_CreateEmitter: sound " + soundId + " was released");
    EXPECT_EQ(lines[9], "A3D: A3D_PlaySound: sound " + std::to_string(music.id) + " is a music handle");
    EXPECT_EQ(lines[10].rfind("A3D: A3D_PlayMusic: music " + std::to_string(emitter.id) + " is a", 0), 0u);
    EXPECT_NE(lines[10].find("emitter handle"), std::string::npos) << lines[10];

    // The live objects still answer, and every handle goes stale at A3D_Close.
    A3D_PlaySound(sound);
    EXPECT_TRUE(A3D_IsSoundPlaying(sound));
    EXPECT_NEAR(A3D_GetMusicTimeLength(music), 1.0f, 1e-4f);
    A3D_Close();
    EXPECT_EQ(A3D_GetSoundLength(sound), 0.0f);
    EXPECT_FALSE(A3D_IsEmitterPlaying(emitter));
    EXPECT_TRUE(warnings.Saw("A3D: A3D_IsEmitterPlaying: emitter " + std::to_string(emitter.id) + " was released"));
}
