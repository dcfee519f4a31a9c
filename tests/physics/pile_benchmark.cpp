// The frame with 2,000 falling boxes against the same frame without physics: the
// real engine in a 1280x800 window under the test's display, playing
// modules/pile_game with VANTOR_STATS=1, once with the boxes standing still and no
// physics, once piling up on the level. From the engine's own per-frame figures
// over seconds 2 to 6 (the pile forming): the mean frame without physics (F0), the
// mean frame with it (F1) and the mean physics step within it (S), and F1 / (F0 + S).
// Each mode runs three times, alternating, and its fastest run counts.
//
//   pile_benchmark            (needs DISPLAY; not run by ctest)
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BoxFile.h"
#include "Process.h"

using namespace TestSupport;

namespace {

struct Figures {
    double frameMs = 0, physicsMs = 0;
    int frames = 0;
};

double Mean(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v) sum += x;
    return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

Figures Play(const EngineInstall& install, const char* mode) {
    RunOptions options;
    options.cwd = install.bin;
    options.env = {"VANTOR_NO_DIALOG=1", "VANTOR_STATS=1", std::string("VANTOR_PILE=") + mode};
    options.timeoutMs = 60000;
    Process engine(install.bin + "/engine", {}, options);
    // Seconds 2 to 6 of the frame loop: the sixth stats line is the sixth second.
    std::size_t from = 0;
    for (int line = 0; line < 6; ++line) {
        if (!engine.WaitForStderr("stats: ", 30000, from)) break;
        from = engine.Stderr().find("stats: ", from) + 1;
    }
    const std::string err = engine.Stderr();
    engine.Kill(SIGTERM);
    std::vector<double> frames, physics;
    std::size_t at = 0;
    for (int line = 0; (at = err.find("stats: ", at)) != std::string::npos; ++line, ++at) {
        if (line < 1) continue;  // the first second: loading and the first frames
        std::istringstream words(err.substr(at, err.find('\n', at) - at));
        std::vector<double>* into = nullptr;
        for (std::string word; words >> word;) {
            if (word.rfind("ms=", 0) == 0) into = &frames, word = word.substr(3);
            else if (word.rfind("physics_ms=", 0) == 0) into = &physics, word = word.substr(11);
            else if (word.find('=') != std::string::npos) into = nullptr;
            if (into && !word.empty()) into->push_back(std::atof(word.c_str()));
        }
    }
    return {Mean(frames), Mean(physics), static_cast<int>(frames.size())};
}

}  // namespace

int main() {
    EngineInstall install(VANTOR_ENGINE, VANTOR_PILE_GAME);
    const std::string level(VANTOR_LEVEL);
    CopyFolder(level.substr(0, level.rfind('/')), install.assets);  // the level with its maps (and the sounds)
    if (!TestFiles::WriteBox(install.assets + "/box.obj", 0.5f).empty()) return 1;
    Figures still, pile;
    for (int run = 0; run < 3; ++run) {
        const Figures s = Play(install, "still"), p = Play(install, "pile");
        std::printf("run %d: still %.2f ms (%d frames), pile %.2f ms with physics %.2f ms (%d frames)\n", run, s.frameMs, s.frames,
                    p.frameMs, p.physicsMs, p.frames);
        if (still.frames == 0 || s.frameMs < still.frameMs) still = s;
        if (pile.frames == 0 || p.frameMs < pile.frameMs) pile = p;
    }
    const double ratio = pile.frameMs / (still.frameMs + pile.physicsMs);
    std::printf("F0 (no physics) %.2f ms  F1 (2,000 bodies) %.2f ms  S (their step) %.2f ms  F1 / (F0 + S) = %.3f\n",
                still.frameMs, pile.frameMs, pile.physicsMs, ratio);
    return 0;
}
