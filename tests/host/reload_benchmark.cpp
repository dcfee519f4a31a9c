// Swapping game.dll many times in one running engine: how long new code takes
// to run once its file is complete, and what the swaps leave behind (memory,
// open files, mapped modules, copies on disk). Needs a display (xvfb-run).
//
//   reload_benchmark [--swaps N]      (default 200)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Process.h"

using namespace TestSupport;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

long StatusKb(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

int Count(const fs::path& folder) {
    std::error_code ec;
    int n = 0;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); ++it) ++n;
    return n;
}

std::string Module(const std::string& name) { return std::string(VANTOR_RELOAD_MODULES_DIR) + "/" + name + "/game.dll"; }

}  // namespace

int main(int argc, char** argv) {
    int swaps = 200;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--swaps") == 0) swaps = std::atoi(argv[i + 1]);

    TempDir tmp;
    EngineInstall install(VANTOR_ENGINE, Module("red"));
    {
        std::ofstream box(install.assets + "/box.obj");
        box << "v -1 -1 4\nv 1 -1 4\nv -1 1 4\nv 1 1 4\nv -1 -1 6\nv 1 -1 6\nv -1 1 6\nv 1 1 6\n"
               "f 1 3 4 2\nf 5 6 8 7\nf 1 2 6 5\nf 3 7 8 4\nf 1 5 7 3\nf 2 4 8 6\n";
    }
    RunOptions options;
    options.cwd = install.root.Path();
    options.env = {"VANTOR_NO_DIALOG=1", "VANTOR_RELOAD=1", "TMPDIR=" + tmp.Path()};
    options.timeoutMs = 3600 * 1000;
    Process engine(install.bin + "/engine", {}, options);
    if (!engine.WaitForStderr("tick red n=3 ", 30000)) {
        std::fprintf(stderr, "reload_benchmark: the engine did not start (is there a display?)\n%s", engine.Stderr().c_str());
        return 1;
    }
    const pid_t pid = engine.Pid();
    const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
    const long rssStart = StatusKb(pid, "VmRSS:");
    const int fdsStart = Count(fdDir);

    std::vector<double> ms;
    long rssAfterFirst = 0;
    const std::string target = install.bin + "/game.dll";
    for (int i = 0; i < swaps; ++i) {
        const std::string version = i % 2 == 0 ? "green" : "red";
        const std::size_t mark = engine.Stderr().size();
        fs::copy_file(Module(version), target + ".new", fs::copy_options::overwrite_existing);
        fs::rename(target + ".new", target);  // the file is complete from here
        const Clock::time_point complete = Clock::now();
        if (!engine.WaitForStderr("\ntick " + version + " n=1 ", 10000, mark)) {
            std::fprintf(stderr, "reload_benchmark: swap %d to %s never ran\n%s", i + 1, version.c_str(),
                         engine.Stderr().substr(mark).c_str());
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - complete).count());
        if (i == 0) rssAfterFirst = StatusKb(pid, "VmRSS:");
    }
    const long rssEnd = StatusKb(pid, "VmRSS:");
    const int fdsEnd = Count(fdDir);
    const std::string maps = Shell("grep -o 'vantor-reload/game\\.[0-9.]*dll' /proc/" + std::to_string(pid) +
                                   "/maps | sort -u | wc -l");
    const int copiesRunning = Count(fs::path(tmp.Path()) / "vantor-reload");

    Shell("xdotool search --name '^Vantor v0.0.0$' windowfocus --sync key --clearmodifiers Escape 2>/dev/null");
    RunResult r = engine.Wait();
    const int copiesAfter = Count(fs::path(tmp.Path()) / "vantor-reload");

    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    auto at = [&](double q) { return sorted.empty() ? 0.0 : sorted[static_cast<size_t>(q * (sorted.size() - 1))]; };
    std::printf("swaps: %d\n", swaps);
    std::printf("time from complete file to the new code's first tick: median %.0f ms, p95 %.0f ms, max %.0f ms\n",
                at(0.5), at(0.95), at(1.0));
    std::printf("resident memory: %.1f MB before, %.1f MB after the first swap, %.1f MB after the last (%+.1f MB)\n",
                rssStart / 1024.0, rssAfterFirst / 1024.0, rssEnd / 1024.0, (rssEnd - rssStart) / 1024.0);
    std::printf("open files: %d before, %d after\n", fdsStart, fdsEnd);
    std::printf("game.dll copies mapped at the end: %s; on disk while running: %d, after exit: %d\n", maps.c_str(),
                copiesRunning, copiesAfter);
    std::printf("engine exit status: %d\n", r.exitCode);
    return r.exitCode == 0 && copiesAfter == 0 ? 0 : 1;
}
