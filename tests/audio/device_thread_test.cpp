// What keeps the music going on a busy machine: raylib's device thread, which
// mixes every block, runs ahead of ordinary programs where the system allows
// it, and the lock it shares with the game's thread and the music feeder lends
// it that priority. (Before, it ran as any thread: with other programs keeping
// every core busy it answered the sound server late, the server played
// silence and, ending the underrun, dropped some of the music.)
//
// Linux only: thread priorities are read from /proc and set per thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <chrono>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "SoundTest.h"
#include "a3d.h"
#include "threads.h"

namespace {

using Clock = std::chrono::steady_clock;

// What a fresh thread of this process may take: 2 a real-time policy, 1 a
// negative nice value, 0 neither.
int Allowed() {
    int allowed = 0;
    std::thread([&] {
        sched_param param{};
        param.sched_priority = 1;
        if (sched_setscheduler(0, SCHED_RR, &param) == 0) allowed = 2;
        else if (setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -1) == 0) allowed = 1;
    }).join();
    return allowed;
}

struct ThreadState {
    int policy = 0, nice = 0;
};

// Every thread of this process, as /proc tells it.
std::vector<ThreadState> Threads() {
    std::vector<ThreadState> all;
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return all;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream in(std::string("/proc/self/task/") + entry->d_name + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(stat.substr(close + 2));
        std::vector<std::string> f;
        for (std::string s; fields >> s;) f.push_back(s);
        if (f.size() < 39) continue;
        all.push_back({std::stoi(f[38]), std::stoi(f[16])});  // fields 41 (policy) and 19 (nice)
    }
    closedir(dir);
    return all;
}

}  // namespace

TEST(DeviceThread, RunsAheadOfOrdinaryProgramsWhereTheSystemAllowsIt) {
    setenv("PULSE_SERVER", SoundTest::ServerAddress().c_str(), 1);
    SetTraceLogLevel(LOG_WARNING);
    InitAudioDevice();
    ASSERT_TRUE(IsAudioDeviceReady()) << "the suite's sound server is not reachable";
    A3D_Init();
    ASSERT_TRUE(A3D_HasDevice());
    // The device asks for blocks whether anything plays or not: a tenth of a second's worth.
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (A3D_GetStats().framesMixed < A3D_OUTPUT_RATE / 10 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const A3D_Stats stats = A3D_GetStats();
    int realTime = 0, raised = 0;
    for (const ThreadState& t : Threads()) {
        realTime += t.policy == SCHED_RR || t.policy == SCHED_FIFO;
        raised += t.policy == SCHED_OTHER && t.nice < 0;
    }
    A3D_Close();
    CloseAudioDevice();

    ASSERT_GE(stats.framesMixed, A3D_OUTPUT_RATE / 10u) << "the device asked for too few blocks";
    EXPECT_GT(stats.longestDeviceWait, 0.0) << "the time between blocks is kept";
    const int allowed = Allowed();
    EXPECT_GE(stats.devicePriority, allowed) << "this process may run threads at " << allowed;
    if (stats.devicePriority == 2) {
        EXPECT_GE(realTime, 1) << "the device's thread runs real-time";
    } else if (stats.devicePriority == 1) {
        EXPECT_GE(raised, 1) << "the device's thread runs at a lower nice value";
    }
    if (allowed == 0) GTEST_SKIP() << "this system gives a program's threads no priority: the device thread runs as any";
}

// Three threads on one core: the game's thread (ordinary) holds the lock, a
// real-time program of middle priority takes the core, and the device thread
// (highest) waits for the lock. A plain mutex leaves the device waiting until
// the middle program is done; the layer's mutex lends the holder the device's
// priority, so the device waits only for the holder's own short work.
TEST(DeviceThread, TheLockItSharesLendsItsPriorityToTheHolder) {
    cpu_set_t mine;
    ASSERT_EQ(sched_getaffinity(0, sizeof mine, &mine), 0);
    std::vector<int> cpus;
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &mine)) cpus.push_back(c);
    if (cpus.size() < 2) GTEST_SKIP() << "one core: the test's own thread would starve with the others";
    if (Allowed() < 2) GTEST_SKIP() << "no real-time threads allowed here";
    const int core = cpus.back();

    // Pins the calling thread to `core` with `policy` at `priority`.
    const auto place = [core](int policy, int priority) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(core, &one);
        sched_param param{};
        param.sched_priority = priority;
        sched_setscheduler(0, policy, &param);
        sched_setaffinity(0, sizeof one, &one);
    };
    const auto spin = [](auto until) {
        while (!until()) {
        }
    };
    constexpr auto kHolderWork = std::chrono::milliseconds(30);  // of its own CPU time
    constexpr auto kMiddle = std::chrono::milliseconds(300);

    // How long the device thread waits for `lock`.
    const auto waited = [&](auto& lock) {
        std::atomic<bool> held{false}, middleRunning{false};
        double waitedMs = 0;
        std::thread holder([&] {
            place(SCHED_OTHER, 0);
            std::lock_guard<std::remove_reference_t<decltype(lock)>> hold(lock);
            held = true;
            timespec start;
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
            spin([&] {
                timespec now;
                clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
                return (now.tv_sec - start.tv_sec) * 1000000000LL + (now.tv_nsec - start.tv_nsec) >=
                       std::chrono::nanoseconds(kHolderWork).count();
            });
        });
        spin([&] { return held.load(); });
        std::thread middle([&] {
            place(SCHED_FIFO, 1);
            middleRunning = true;
            const auto end = Clock::now() + kMiddle;
            spin([&] { return Clock::now() >= end; });
        });
        spin([&] { return middleRunning.load(); });
        std::thread device([&] {
            place(SCHED_FIFO, 2);
            const auto start = Clock::now();
            std::lock_guard<std::remove_reference_t<decltype(lock)>> hold(lock);
            waitedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        });
        device.join();
        middle.join();
        holder.join();
        return waitedMs;
    };

    std::mutex plain;
    const double plainMs = waited(plain);
    if (plainMs < 120) GTEST_SKIP() << "the middle program did not hold the core (" << plainMs << " ms): nothing to lend";
    a3d::Mutex layers;
    const double layersMs = waited(layers);
    std::printf("the device waited %.1f ms for a plain mutex, %.1f ms for the layer's\n", plainMs, layersMs);
    EXPECT_LT(layersMs, 100) << "a plain mutex kept the device waiting " << plainMs << " ms";
    EXPECT_LT(layersMs, plainMs / 2);
}
