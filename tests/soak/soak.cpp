// Plays the sample walker for a set time with scripted input (walking,
// jumping, mouse flicks, focus lost and regained, the window hidden and shown
// again) and records, every second, resident memory, frame times and OpenGL
// errors (the engine reports the last two with VANTOR_STATS=1). Needs a
// display (xvfb-run).
//
//   soak [--seconds N] [--check-frames]
//
// Fails when resident memory grows by more than 2 MB after the warm-up (the
// first minute, or the first quarter of a shorter run): the peak over the last
// round of the scripted play (20 s) against the peak over the first round after
// the warm-up. Peaks over whole rounds, because resident memory swings by a
// couple of MB within a round (the allocator and the GL driver give pages back
// late) while a leak raises every round's peak; when an OpenGL
// error is raised, when the engine stops, and with --check-frames when the
// 99th percentile of frame time, each frame taken against the median of its own
// second, is over twice that median: a hitch, not the slower stretches a shared
// machine or a busier view brings.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Process.h"

using namespace TestSupport;
using Clock = std::chrono::steady_clock;

namespace {

long ResidentKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

double Percentile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    const std::size_t k = static_cast<std::size_t>(q * (values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<long>(k), values.end());
    return values[k];
}

// What the walker is made to do in second `t` of a 20-second round.
void Play(int t, const std::string& window, const std::string& root) {
    const std::string focus = "xdotool windowfocus " + window + " 2>/dev/null; ";
    switch (t % 20) {
    case 0: Shell(focus + "xdotool keydown w"); break;
    case 1: Shell("xdotool mousemove_relative -- 150 0 sleep 0.3 mousemove_relative -- -150 0"); break;
    case 2: Shell("xdotool mousemove_relative -- -120 0 sleep 0.3 mousemove_relative -- 120 0"); break;
    case 3: Shell("xdotool key space sleep 0.4 key space; xdotool keyup w"); break;
    case 4: Shell("xdotool keydown s"); break;
    case 5: Shell("xdotool keyup s keydown a"); break;
    case 6: Shell("xdotool keyup a keydown d"); break;
    case 7: Shell("xdotool keyup d"); break;
    case 8: Shell("xdotool mousemove_relative -- 0 120 sleep 0.3 mousemove_relative -- 0 -120"); break;
    case 10: Shell("xdotool windowfocus " + root + " 2>/dev/null"); break;  // focus lost
    case 11: Shell(focus); break;                                          // and regained
    case 14: Shell("xdotool windowunmap --sync " + window); break;         // hidden, as minimised
    case 15: Shell("xdotool windowmap --sync " + window + "; " + focus); break;
    default: break;
    }
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    bool checkFrames = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) seconds = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--check-frames") == 0) checkFrames = true;
    }
    const int warmUp = std::min(60, seconds / 4);

    const std::string engine = VANTOR_ENGINE;
    RunOptions options;
    options.cwd = engine.substr(0, engine.find_last_of('/'));
    options.env = {"VANTOR_NO_DIALOG=1", "VANTOR_STATS=1"};
    options.timeoutMs = (seconds + 120) * 1000;
    Process game(engine, {}, options);
    const std::string window = WaitForWindow("Vantor v0.0.0", 30000);
    const std::string root = Shell("xdotool search --maxdepth 0 --name '' 2>/dev/null | head -n1");
    if (window.empty() || !game.WaitForStderr("stats: ", 30000)) {
        std::fprintf(stderr, "soak: the game did not start (is there a display?)\n%s", game.Stderr().c_str());
        return 1;
    }

    std::vector<double> frameMs;
    std::vector<double> againstSecond;  // each frame over the median of its second
    constexpr int kRound = 20;  // seconds of one round of the scripted play
    long glErrors = 0, rssWarm = -1, rssFirstRound = 0, rssLastRound = 0, rssEnd = 0;
    std::size_t read = game.Stderr().find("stats: ");
    const Clock::time_point start = Clock::now();
    for (int t = 0; t < seconds && game.Running();) {
        Play(t, window, root);
        // On to the next whole second of the run (a slow machine may skip one).
        t = static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count()) + 1;
        std::this_thread::sleep_until(start + std::chrono::seconds(t));
        game.Running();  // takes in what it wrote meanwhile

        // The engine's lines of the past second.
        int frames = 0;
        std::vector<double> second;
        for (std::size_t at; (at = game.Stderr().find("stats: ", read)) != std::string::npos;) {
            const std::size_t end = game.Stderr().find('\n', at);
            if (end == std::string::npos) break;
            std::istringstream line(game.Stderr().substr(at, end - at));
            std::string word;
            while (line >> word) {
                if (word.rfind("frames=", 0) == 0) frames += std::atoi(word.c_str() + 7);
                else if (word.rfind("gl_errors=", 0) == 0) glErrors += std::atol(word.c_str() + 10);
                else if (word.rfind("ms=", 0) == 0) second.push_back(std::atof(word.c_str() + 3));
                else if (word.rfind("physics_ms=", 0) == 0) break;  // the frame times end here
                else if (!second.empty()) second.push_back(std::atof(word.c_str()));
            }
            read = end;
        }
        frameMs.insert(frameMs.end(), second.begin(), second.end());
        const double secondMedian = Percentile(second, 0.5);
        for (double ms : second) againstSecond.push_back(secondMedian > 0.0 ? ms / secondMedian : 1.0);
        const long rss = ResidentKb(game.Pid());
        if (t >= warmUp && rssWarm < 0) rssWarm = rss;
        if (t >= warmUp && t < warmUp + kRound) rssFirstRound = std::max(rssFirstRound, rss);
        if (t > seconds - kRound) rssLastRound = std::max(rssLastRound, rss);
        rssEnd = rss;
        std::printf("t=%4ds  rss %7.1f MB  frames %4d  median %6.2f ms  max %7.2f ms  gl_errors %ld\n", t,
                    rss / 1024.0, frames, Percentile(second, 0.5), second.empty() ? 0.0 : *std::max_element(second.begin(), second.end()),
                    glErrors);
        std::fflush(stdout);
    }
    const bool alive = game.Running();
    Shell("xdotool keyup w s a d 2>/dev/null; xdotool windowmap --sync " + window + " 2>/dev/null; xdotool windowfocus --sync " +
          window + " 2>/dev/null; xdotool key --clearmodifiers Escape");
    RunResult r = game.Wait();

    const double median = Percentile(frameMs, 0.5), p99 = Percentile(frameMs, 0.99);
    const double hitch = Percentile(againstSecond, 0.99);
    const double growthMb = (rssLastRound - rssFirstRound) / 1024.0;
    std::printf("soak: %d s, %zu frames; resident memory %.1f MB at %d s, %.1f MB at the end, %+.2f MB "
                "from the first round's peak after the warm-up to the last round's; frame time median %.2f ms, p99 %.2f ms (%.2fx the median; %.2fx its second's median); GL "
                "errors %ld; exit %d\n",
                seconds, frameMs.size(), rssWarm / 1024.0, warmUp, rssEnd / 1024.0, growthMb, median, p99,
                median > 0 ? p99 / median : 0.0, hitch, glErrors, r.exitCode);

    bool ok = true;
    auto fail = [&ok](const char* why) {
        std::printf("soak: FAILED: %s\n", why);
        ok = false;
    };
    if (!alive || r.exitCode != 0) fail("the game stopped or did not exit cleanly");
    if (frameMs.empty()) fail("the engine reported no frames");
    if (glErrors > 0) fail("OpenGL raised errors");
    if (rssWarm < 0 || growthMb > 2.0) fail("resident memory grew by more than 2 MB after the warm-up");
    if (checkFrames && hitch > 2.0) fail("the 99th percentile of frame time is over twice the median of its second");
    if (!ok) std::fprintf(stderr, "%s", r.err.substr(r.err.size() > 3000 ? r.err.size() - 3000 : 0).c_str());
    return ok ? 0 : 1;
}
