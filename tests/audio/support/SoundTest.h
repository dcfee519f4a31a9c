// What the sound tests share: sound files of every format made on the spot, the
// private sound server the suite runs, a recorder of everything it plays, and
// a few measures of what was recorded.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Process.h"

namespace SoundTest {

// `seconds` of a sine at `hz` with peak `level`, mono, at `rate`.
std::vector<float> Tone(float hz, float seconds, int rate, float level);

// Writes mono `samples` at `rate` as `path`, in the format its extension names:
// .wav (16-bit), .ogg, .mp3 or .flac (the last three through Debian's
// encoders, which scripts/setup.sh installs). Throws std::runtime_error naming
// what failed.
void WriteSound(const std::string& path, const std::vector<float>& samples, int rate);

// The address of the suite's private sound server (scripts/test.sh starts it);
// a test without one fails with a message saying so.
std::string ServerAddress();

// Everything the server's output plays while it lives: 48 kHz float stereo.
class Recorder {
public:
    explicit Recorder(const std::string& server);
    // Stops recording and hands back the samples, left and right interleaved.
    std::vector<float> Stop();

private:
    TestSupport::TempDir dir_;  // parec writes to a file: a pipe nobody reads would stall it
    TestSupport::Process parec_;
};

// Watches whether the machine itself stands still: one thread pinned to each
// core, real-time above the engine and the sound server, waking every
// millisecond and keeping the longest time it was kept from running. A virtual
// machine whose host is busy can stop every program for longer than the sound
// server keeps in reserve; what is heard then breaks whatever the engine does,
// while a break with the machine running is the engine's or the server's.
class StallWatch {
public:
    StallWatch();
    ~StallWatch();
    // Stops watching. The longest stall seen on any core, in ms; -1 when a
    // thread could not run real-time, so that the load it saw says nothing.
    double Stop();

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
    std::vector<double> longest_;
    std::vector<char> realtime_;
};

// A stretch of a stereo recording, in frames.
struct Span {
    std::size_t from = 0, to = 0;
    std::size_t Frames() const { return to - from; }
};

// The stretches where either channel is louder than `threshold`, joined across
// quieter gaps shorter than `gapFrames`.
std::vector<Span> Bursts(const std::vector<float>& stereo, float threshold, std::size_t gapFrames);
// The bursts in words for a failure message: where each starts and how long it
// lasts (s), its level on each side, and how much of it is exact silence.
std::string Describe(const std::vector<float>& stereo, const std::vector<Span>& bursts, int rate);
// Frames of `span` that are exact silence on both sides: what a sound server
// plays for a program whose sound has not reached it in time.
std::size_t Silent(const std::vector<float>& stereo, Span span);
// Root mean square of one channel (0 left, 1 right) over what was heard of
// `span`: its Silent frames left out.
double Rms(const std::vector<float>& stereo, int channel, Span span);
// Frequency of a tone in one channel over `span`, from its upward zero crossings.
double Frequency(const std::vector<float>& stereo, int channel, Span span, int rate);
// The middle of `span`, `frames` long.
Span Middle(Span span, std::size_t frames);

}  // namespace SoundTest
