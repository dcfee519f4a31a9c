#include "device.h"

#include <algorithm>
#include <ctime>

namespace a3d {
namespace {

// raylib mixes a stream at pan 0 at 0.6875 of its level (its pan law); the
// mixer's output is already panned, so the stream is played that much louder.
constexpr float kStreamGain = 1 / 0.6875f;

double ThreadSeconds() {
#if defined(CLOCK_THREAD_CPUTIME_ID) && !defined(_WIN32)
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
#else
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
#endif
}

// raylib's device thread asks for `frames` stereo float frames.
void Pull(void* buffer, unsigned int frames) {
    Layer& l = The();
    // The first block on a thread raises it (a device that restarts may bring a new one).
    thread_local int priority = -1;
    if (priority < 0) priority = static_cast<int>(RaiseDeviceThread());
    const double start = ThreadSeconds();
    const Clock::time_point now = Clock::now();
    thread_local Clock::time_point last = now;
    const double wait = std::chrono::duration<double>(now - last).count();
    last = now;
    bool hungry;
    {
        std::lock_guard<Mutex> lock(l.mixer.mutex);
        l.mixer.stats.longestDeviceWait = std::max(l.mixer.stats.longestDeviceWait, wait);
        hungry = l.mixer.Render(static_cast<float*>(buffer), static_cast<int>(frames));
        l.mixer.stats.mixSeconds += ThreadSeconds() - start;
        l.mixer.stats.devicePriority = priority;
    }
    if (hungry) l.feeder.Ring();
}

}  // namespace

bool OpenDevice(Layer& l) {
    if (!IsAudioDeviceReady()) return false;
    l.stream = LoadAudioStream(A3D_OUTPUT_RATE, 32, 2);
    if (!IsAudioStreamValid(l.stream)) return false;
    {
        std::lock_guard<Mutex> lock(l.mixer.mutex);
        Sync(l);
        l.mixer.hasDevice = true;
    }
    SetAudioStreamCallback(l.stream, Pull);
    SetAudioStreamVolume(l.stream, kStreamGain);
    PlayAudioStream(l.stream);
    return true;
}

void CloseDevice(Layer& l) {
    // raylib's own lock is taken around every block: never call it holding ours.
    if (!IsAudioStreamValid(l.stream)) return;
    StopAudioStream(l.stream);
    UnloadAudioStream(l.stream);
    l.stream = AudioStream{};
}

}  // namespace a3d
