// The music feeder: a thread of the layer's own that decodes every music ahead
// into its ring, so that the device's thread only ever copies decoded frames
// and no music waits for the game's frame.
//
// It sleeps until woken: by the device's thread when a ring playing is less
// than half full, by the game's thread when a music is loaded, played or
// sought, and at the latest every kFeedPeriod. It decodes outside the mixer's
// mutex and takes it only to read a music's state and to append a chunk.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "mixer.h"

namespace a3d {

class Feeder {
public:
    // Starts the thread on `mixer`'s music (once the device is open).
    void Start(Mixer& mixer);
    // Stops and joins it; every music stays as it is.
    void Stop();
    // From the game's thread: the feeder looks for work at once.
    void Wake();
    // From the device's thread: the same without waiting for any lock. A call
    // that meets the feeder just going to sleep is missed; the period catches it.
    void Ring();

private:
    static constexpr auto kFeedPeriod = std::chrono::milliseconds(10);

    void Loop();
    bool Feed(Stream& music);  // decodes one chunk if its ring has room; true when it did any work

    Mixer* mixer_ = nullptr;
    std::thread thread_;
    std::mutex sleep_;  // the feeder's own: the device never waits on it
    std::condition_variable bell_;
    std::atomic<bool> rung_{false};
    bool stop_ = false;  // under sleep_
};

}  // namespace a3d
