#include "SoundTest.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "sound/Wav.h"

namespace SoundTest {

std::vector<float> Tone(float hz, float seconds, int rate, float level) {
    std::vector<float> s(static_cast<std::size_t>(std::lround(seconds * static_cast<float>(rate))));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = level * static_cast<float>(std::sin(2 * M_PI * hz * static_cast<double>(i) / rate));
    return s;
}

void WriteSound(const std::string& path, const std::vector<float>& samples, int rate) {
    const std::string extension = path.substr(path.rfind('.'));
    const std::string wav = extension == ".wav" ? path : path + ".source.wav";
    if (!SoundFile::WriteWav(wav, samples, 1, rate)) throw std::runtime_error("cannot write " + wav);
    if (extension == ".wav") return;
    std::string command;
    if (extension == ".ogg") command = "oggenc -Q '" + wav + "' -o '" + path + "'";
    else if (extension == ".mp3") command = "lame --quiet '" + wav + "' '" + path + "'";
    else if (extension == ".flac") command = "flac -s -f '" + wav + "' -o '" + path + "'";
    else throw std::runtime_error("no encoder for " + path);
    const int status = std::system(command.c_str());
    std::remove(wav.c_str());
    if (status != 0)
        throw std::runtime_error("\"" + command + "\" failed: are vorbis-tools, lame and flac installed (scripts/setup.sh)?");
}

std::string ServerAddress() {
    const char* address = std::getenv("VANTOR_TEST_PULSE_SERVER");
    if (!address || !*address)
        throw std::runtime_error("no sound server: run the tests through scripts/test.sh, which starts one "
                                 "(or set VANTOR_TEST_PULSE_SERVER to a PulseAudio server with a null sink)");
    return address;
}

namespace {
TestSupport::RunOptions RecorderOptions() {
    TestSupport::RunOptions options;
    options.timeoutMs = 120000;
    return options;
}
}  // namespace

// parec from the monitor of the server's default sink, raw, in 5 ms pieces.
Recorder::Recorder(const std::string& server)
    : parec_("/bin/sh",
             {"-c", "exec parec --server='" + server + "' --device=@DEFAULT_MONITOR@ --raw --format=float32le "
                    "--rate=48000 --channels=2 --latency-msec=5 > '" + dir_ / "recording.raw" + "'"},
             RecorderOptions()) {}

std::vector<float> Recorder::Stop() {
    parec_.Kill(SIGTERM);
    parec_.Wait();
    std::ifstream in(dir_ / "recording.raw", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> samples(bytes.size() / sizeof(float) / 2 * 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

StallWatch::StallWatch() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    sched_getaffinity(0, sizeof allowed, &allowed);
    std::vector<int> cores;
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &allowed)) cores.push_back(c);
    longest_.assign(cores.size(), 0);
    realtime_.assign(cores.size(), 0);
    for (std::size_t i = 0; i < cores.size(); ++i) {
        threads_.emplace_back([this, i, core = cores[i]] {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(core, &one);
            const sched_param param{20};  // above the engine's device thread (3) and the server's (5)
            realtime_[i] = pthread_setaffinity_np(pthread_self(), sizeof one, &one) == 0 &&
                           pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
            timespec last;
            clock_gettime(CLOCK_MONOTONIC, &last);
            while (!stop_.load(std::memory_order_relaxed)) {
                const timespec nap{0, 1000000};
                nanosleep(&nap, nullptr);
                timespec now;
                clock_gettime(CLOCK_MONOTONIC, &now);
                const double ms = static_cast<double>(now.tv_sec - last.tv_sec) * 1e3 +
                                  static_cast<double>(now.tv_nsec - last.tv_nsec) * 1e-6;
                longest_[i] = std::max(longest_[i], ms - 1);
                last = now;
            }
        });
    }
}

StallWatch::~StallWatch() { Stop(); }

double StallWatch::Stop() {
    stop_ = true;
    for (std::thread& t : threads_)
        if (t.joinable()) t.join();
    double longest = 0;
    for (std::size_t i = 0; i < longest_.size(); ++i) {
        if (!realtime_[i]) return -1;
        longest = std::max(longest, longest_[i]);
    }
    return longest;
}

std::vector<Span> Bursts(const std::vector<float>& stereo, float threshold, std::size_t gapFrames) {
    std::vector<Span> spans;
    const std::size_t frames = stereo.size() / 2;
    for (std::size_t i = 0; i < frames; ++i) {
        if (std::fabs(stereo[2 * i]) <= threshold && std::fabs(stereo[2 * i + 1]) <= threshold) continue;
        if (!spans.empty() && i - spans.back().to <= gapFrames) spans.back().to = i + 1;
        else spans.push_back({i, i + 1});
    }
    return spans;
}

std::string Describe(const std::vector<float>& stereo, const std::vector<Span>& bursts, int rate) {
    std::string text = std::to_string(stereo.size() / 2) + " frames recorded; bursts:";
    char line[160];
    for (const Span& b : bursts) {
        const std::size_t silent = Silent(stereo, b);
        std::snprintf(line, sizeof line, " [at %.3f s, %.3f s long, rms %.4f|%.4f, %.1f ms silent]",
                      static_cast<double>(b.from) / rate, static_cast<double>(b.Frames()) / rate, Rms(stereo, 0, b),
                      Rms(stereo, 1, b), 1000.0 * static_cast<double>(silent) / rate);
        text += line;
    }
    return text;
}

std::size_t Silent(const std::vector<float>& stereo, Span span) {
    std::size_t silent = 0;
    for (std::size_t i = span.from; i < span.to; ++i) silent += stereo[2 * i] == 0 && stereo[2 * i + 1] == 0;
    return silent;
}

double Rms(const std::vector<float>& stereo, int channel, Span span) {
    double sum = 0;
    for (std::size_t i = span.from; i < span.to; ++i) sum += double(stereo[2 * i + channel]) * stereo[2 * i + channel];
    const std::size_t heard = span.Frames() - Silent(stereo, span);
    return heard ? std::sqrt(sum / static_cast<double>(heard)) : 0;
}

double Frequency(const std::vector<float>& stereo, int channel, Span span, int rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = span.from + 1; i < span.to; ++i) {
        const double a = stereo[2 * (i - 1) + channel], b = stereo[2 * i + channel];
        if (a < 0 && b >= 0) {
            const double at = static_cast<double>(i - 1) + a / (a - b);  // where the line between them crosses
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0;
}

Span Middle(Span span, std::size_t frames) {
    if (span.Frames() <= frames) return span;
    const std::size_t from = span.from + (span.Frames() - frames) / 2;
    return {from, from + frames};
}

}  // namespace SoundTest
