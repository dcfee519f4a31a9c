// The sound benchmark (a program, run by hand against a sound server with a
// null output, such as the one scripts/test.sh starts; not a test):
//
//   sound_benchmark mix [SECONDS]     what mixing costs: 64 voices, 32 of them placed in
//                                 the world and moving around a turning listener, on
//                                 the server's device, against the same device idle
//   sound_benchmark latency           from "PlaySound" in a game's tick to the sound's first
//                                 sample read from the server's monitor, 20 times, in
//                                 the real engine
//
// The server is VANTOR_TEST_PULSE_SERVER (or PULSE_SERVER).
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Process.h"
#include "SoundTest.h"
#include "a3d.h"
#include "raylib.h"

namespace {

using Clock = std::chrono::steady_clock;

double ProcessSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

std::string Server() {
    for (const char* name : {"VANTOR_TEST_PULSE_SERVER", "PULSE_SERVER"})
        if (const char* value = std::getenv(name); value && *value) return value;
    std::fprintf(stderr, "sound_benchmark: no sound server: set VANTOR_TEST_PULSE_SERVER (scripts/test.sh starts one)\n");
    std::exit(2);
}

struct Cost {
    double mixer, process;  // percent of one core
    int heard;
};

// Runs the device for `seconds` with `voices` voices, half placed and moving.
Cost Measure(const std::string& dir, int voices, double seconds) {
    const A3D_Sound long_ = A3D_LoadSound((dir + "/long.wav").c_str());
    const A3D_Sound loop = A3D_LoadSound((dir + "/loop.wav").c_str());
    std::vector<A3D_Emitter> placed;
    for (int i = 0; i < voices / 2; ++i) {
        A3D_SetSoundPitch(long_, 0.8f + 0.01f * static_cast<float>(i));  // each at its own rate: resampled
        A3D_PlaySound(long_);
        placed.push_back(A3D_CreateEmitter(loop));
        A3D_SetEmitterLooping(placed.back(), true);
        A3D_SetEmitterRange(placed.back(), 1, 60);
        A3D_PlayEmitter(placed.back());
    }
    const A3D_Stats before = A3D_GetStats();
    const double cpuBefore = ProcessSeconds();
    const auto start = Clock::now();
    int heard = 0;
    for (double t = 0; t < seconds; t = std::chrono::duration<double>(Clock::now() - start).count()) {
        // A game's frame: the listener turns, every placed voice circles it.
        A3D_SetListener({0, 1.6f, 0}, {std::sin(0.3f * float(t)), 0, std::cos(0.3f * float(t))}, {0, 1, 0});
        for (std::size_t i = 0; i < placed.size(); ++i) {
            const float a = float(t) * (0.5f + 0.05f * float(i)) + float(i);
            const float r = 2.0f + float(i % 8) * 3;
            A3D_SetEmitterPosition(placed[i], {r * std::cos(a), 1, r * std::sin(a)});
        }
        heard = std::max(heard, A3D_GetStats().voicesHeard);
        std::this_thread::sleep_for(std::chrono::microseconds(16667));
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const A3D_Stats after = A3D_GetStats();
    A3D_UnloadSound(long_);
    A3D_UnloadSound(loop);
    for (A3D_Emitter e : placed) A3D_DestroyEmitter(e);
    return {100 * (after.mixSeconds - before.mixSeconds) / wall, 100 * (ProcessSeconds() - cpuBefore) / wall, heard};
}

int Mix(double seconds) {
    setenv("PULSE_SERVER", Server().c_str(), 1);
    SetTraceLogLevel(LOG_WARNING);
    InitAudioDevice();
    A3D_Init();
    if (!A3D_HasDevice()) {
        std::fprintf(stderr, "sound_benchmark: the sound server has no device for us\n");
        return 1;
    }
    TestSupport::TempDir dir;
    std::vector<float> noisy = SoundTest::Tone(220, 30, 44100, 0.2f);
    for (std::size_t i = 0; i < noisy.size(); ++i) noisy[i] += 0.05f * std::sin(float(i) * 0.37f);
    SoundTest::WriteSound(dir / "long.wav", noisy, 44100);
    SoundTest::WriteSound(dir / "loop.wav", SoundTest::Tone(330, 2, 22050, 0.2f), 22050);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the device has started

    const Cost idle = Measure(dir.Path(), 0, seconds);
    const Cost full = Measure(dir.Path(), 64, seconds);
    std::printf("sound_benchmark mix: %.0f s each, %d Hz output\n", seconds, A3D_OUTPUT_RATE);
    std::printf("  idle device:          mixer %.2f%% of one core, whole process %.2f%%\n", idle.mixer, idle.process);
    std::printf("  64 voices (%d heard): mixer %.2f%% of one core, whole process %.2f%%\n", full.heard, full.mixer,
                full.process);
    std::printf("  the voices' own cost: mixer %.2f%%, whole process %.2f%% (target: at most 3%%)\n",
                full.mixer - idle.mixer, full.process - idle.process);
    std::printf("  music underruns: %llu frames\n", A3D_GetStats().underruns);
    A3D_Close();
    CloseAudioDevice();
    return 0;
}

// -- Latency -----------------------------------------------------------------------

int Latency() {
    const std::string server = Server();
    TestSupport::EngineInstall install(VANTOR_ENGINE, VANTOR_SOUND_GAME);
    SoundTest::WriteSound(install.assets + "/click.wav", SoundTest::Tone(1000, 0.02f, 44100, 0.9f), 44100);

    // The monitor read in 1 ms pieces, each piece stamped when it arrives.
    // The shell says its pid first, then becomes parec.
    const std::string command = "echo $$; exec parec --server='" + server +
                                "' --device=@DEFAULT_MONITOR@ --raw --format=float32le --rate=48000 --channels=2 "
                                "--latency-msec=1 --process-time-msec=1";
    std::FILE* parec = popen(command.c_str(), "r");
    char pidLine[32] = {};
    if (!parec || !std::fgets(pidLine, sizeof pidLine, parec)) return 1;
    const pid_t pid = static_cast<pid_t>(std::atol(pidLine));
    std::atomic<bool> stop{false};
    std::vector<long long> onsets;  // arrival of the first loud frame after a quiet stretch
    std::thread reader([&] {
        float frame[2];
        int quiet = 48000;
        while (!stop && std::fread(frame, sizeof frame, 1, parec) == 1) {
            const bool loud = std::fabs(frame[0]) > 0.05f || std::fabs(frame[1]) > 0.05f;
            if (loud && quiet > 4800)
                onsets.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
            quiet = loud ? 0 : quiet + 1;
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    TestSupport::RunOptions options;
    options.cwd = install.root.Path();
    options.env = {"VANTOR_NO_DIALOG=1", "VANTOR_SOUND_SCRIPT=latency", "PULSE_SERVER=" + server};
    const TestSupport::RunResult run = TestSupport::Run(install.bin + "/engine", {}, options);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    stop = true;
    kill(pid, SIGTERM);
    reader.join();
    pclose(parec);

    std::vector<long long> played;
    for (const std::string& line : TestSupport::Lines(run.err))
        if (line.rfind("played ", 0) == 0) played.push_back(std::atoll(line.c_str() + 7));
    std::vector<double> latencies;
    for (long long p : played) {
        auto onset = std::lower_bound(onsets.begin(), onsets.end(), p);
        if (onset != onsets.end() && *onset - p < 400000000) latencies.push_back(double(*onset - p) / 1e6);
    }
    if (latencies.empty()) {
        std::fprintf(stderr, "sound_benchmark: no click heard (%zu played, %zu onsets)\n%s", played.size(), onsets.size(),
                     run.err.c_str());
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("sound_benchmark latency: %zu of %zu clicks heard; from PlaySound to the first sample read from the "
                "monitor: median %.1f ms, fastest %.1f ms, slowest %.1f ms (aim: under 33.3 ms, two frames at 60 fps)\n",
                latencies.size(), played.size(), latencies[latencies.size() / 2], latencies.front(), latencies.back());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "mix") return Mix(argc > 2 ? std::atof(argv[2]) : 10);
    if (what == "latency") return Latency();
    std::fprintf(stderr, "usage: sound_benchmark mix [SECONDS] | sound_benchmark latency\n");
    return 2;
}
