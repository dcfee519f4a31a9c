// Thread priorities and the priority-inheriting mutex (see threads.h). Kept
// apart from raylib.h: windows.h and raylib.h do not compile together.
#include "threads.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif
#endif

namespace a3d {

#if defined(_WIN32)

Priority RaiseDeviceThread() {
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) ? Priority::Raised : Priority::Normal;
}

Priority RaiseFeederThread() {
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL) ? Priority::Raised : Priority::Normal;
}

Mutex::Mutex() = default;
Mutex::~Mutex() = default;
void Mutex::lock() { mutex_.lock(); }
void Mutex::unlock() { mutex_.unlock(); }
bool Mutex::try_lock() { return mutex_.try_lock(); }

#else

namespace {

// Below PulseAudio's own threads (it asks for 5): the server never waits for a client.
constexpr int kDeviceRealTime = 3;
constexpr int kDeviceNice = -11;  // the sound server's own nice level
constexpr int kFeederNice = -5;

#if defined(SCHED_RESET_ON_FORK)
// A child forked from this thread starts as an ordinary program.
constexpr int kResetOnFork = SCHED_RESET_ON_FORK;
#else
constexpr int kResetOnFork = 0;
#endif

bool RunsRealTime() {
    const int policy = sched_getscheduler(0) & ~kResetOnFork;
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

bool SetRealTime(int priority) {
    sched_param param{};
    param.sched_priority = priority;
#if defined(__linux__)
    // On Linux, pid 0 is the calling thread, and the policy may carry the fork flag.
    return sched_setscheduler(0, SCHED_RR | kResetOnFork, &param) == 0;
#else
    return pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0;
#endif
}

// The calling thread's nice value, where it is a thread's own (Linux).
bool SetNice(int nice) {
#if defined(__linux__)
    const id_t self = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, self);
    if (errno == 0 && now <= nice) return true;
    if (setpriority(PRIO_PROCESS, self, nice) == 0) return true;
    // Not that far: as far as the process's limit allows (to 20 - RLIMIT_NICE).
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return false;
    const int floor = 20 - static_cast<int>(limit.rlim_cur);
    return floor < 0 && floor < now && setpriority(PRIO_PROCESS, self, floor) == 0;
#else
    (void)nice;
    return false;
#endif
}

}  // namespace

Priority RaiseDeviceThread() {
    if (RunsRealTime()) return Priority::RealTime;  // given already: kept as it is
    if (SetRealTime(kDeviceRealTime)) return Priority::RealTime;
    // Without the right to any real-time priority, the limit may still allow a lower one.
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur > 0 && limit.rlim_cur < RLIM_INFINITY &&
        SetRealTime(static_cast<int>(limit.rlim_cur)))
        return Priority::RealTime;
    return SetNice(kDeviceNice) ? Priority::Raised : Priority::Normal;
}

Priority RaiseFeederThread() {
    if (RunsRealTime()) return Priority::RealTime;
    return SetNice(kFeederNice) ? Priority::Raised : Priority::Normal;
}

Mutex::Mutex() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
#if defined(_POSIX_THREAD_PRIO_INHERIT) && _POSIX_THREAD_PRIO_INHERIT > 0
    pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);  // refused: a plain mutex
#endif
    pthread_mutex_init(&mutex_, &attr);
    pthread_mutexattr_destroy(&attr);
}

Mutex::~Mutex() { pthread_mutex_destroy(&mutex_); }
void Mutex::lock() { pthread_mutex_lock(&mutex_); }
void Mutex::unlock() { pthread_mutex_unlock(&mutex_); }
bool Mutex::try_lock() { return pthread_mutex_trylock(&mutex_) == 0; }

#endif

}  // namespace a3d
