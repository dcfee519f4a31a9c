// How the layer's threads are scheduled, and the lock they share.
//
// What is heard comes from the device's thread, which the system asks for a
// block every few milliseconds and gives only a few blocks of slack: if it
// waits behind other programs for longer, the sound server plays silence, and
// PulseAudio, ending such an underrun, drops some of what comes next. So that
// thread asks to run before ordinary programs, and the lock it takes passes
// its priority on to whoever holds it (nobody holds it long, but a holder
// that waited for the CPU at ordinary priority would make the device wait too).
// None of this needs special rights: where the system refuses, the threads
// run as any other and the layer works the same, only less sure under load.
#pragma once

#if defined(_WIN32)
#include <mutex>
#else
#include <pthread.h>
#endif

namespace a3d {

// What a thread got (the values of A3D_Stats::devicePriority).
enum class Priority { Normal = 0, Raised = 1, RealTime = 2 };

// The device's thread: a real-time round-robin policy where the process may
// use one (below the sound server's), else a lower nice value, else nothing.
Priority RaiseDeviceThread();
// The music feeder: above ordinary programs where allowed, never real-time
// (decoding a corrupt file must not starve the game).
Priority RaiseFeederThread();

// A mutex that lends a waiting thread's priority to its holder (priority
// inheritance) where the system has that; a plain mutex elsewhere.
class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock();
    void unlock();
    bool try_lock();

private:
#if defined(_WIN32)
    std::mutex mutex_;
#else
    pthread_mutex_t mutex_;
#endif
};

}  // namespace a3d
