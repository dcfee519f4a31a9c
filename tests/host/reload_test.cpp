// Changing the game while it runs: the real engine with VANTOR_RELOAD=1 in a
// real window, with game.dll and the model file replaced under it as a build
// or an exporter replaces them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "Process.h"
#include "Screenshot.h"

using namespace TestSupport;
namespace fs = std::filesystem;

namespace {

const std::string kEngine = VANTOR_ENGINE;
const std::string kModules = VANTOR_RELOAD_MODULES_DIR;
constexpr int kWaitMs = 15000;

// A cube of half-size `half` centred 5 units along +z, as an OBJ file written
// beside `path` and renamed over it, as exporters and linkers do.
void WriteBox(const std::string& path, float half) {
    {
        std::ofstream out(path + ".new");
        for (int i = 0; i < 8; ++i)
            out << "v " << (i & 1 ? half : -half) << ' ' << (i & 2 ? half : -half) << ' '
                << 5 + (i & 4 ? half : -half) << '\n';
        out << "f 1 3 4 2\nf 5 6 8 7\nf 1 2 6 5\nf 3 7 8 4\nf 1 5 7 3\nf 2 4 8 6\n";
    }
    fs::rename(path + ".new", path);
}

// The last number after `key=` in the lines of `text` past `from` that start with `prefix`.
double LastValue(const std::string& text, std::size_t from, const std::string& prefix, const std::string& key) {
    std::smatch m;
    double value = -1e9;
    std::string rest = text.substr(from);
    const std::regex line("(^|\n)" + prefix + "[^\n]*" + key + "=(-?[0-9.]+)");
    for (auto it = rest.cbegin(); std::regex_search(it, rest.cend(), m, line); it = m[0].second)
        value = std::stod(m[2]);
    return value;
}

// Whether a pixel is clearly of one colour channel (0 red, 1 green, 2 blue).
bool Mostly(Rgb p, int channel) {
    const int c[3] = {p.r, p.g, p.b};
    return c[channel] > c[(channel + 1) % 3] + 60 && c[channel] > c[(channel + 2) % 3] + 60;
}

// The engine in a folder of its own, started in reload mode with a private
// temporary folder, so the test sees every copy it makes.
class ReloadSession {
public:
    explicit ReloadSession(const std::string& module) : install_(kEngine, Module(module)) {
        WriteBox(install_.assets + "/box.obj", 1);
        RunOptions options;
        options.cwd = install_.root.Path();
        options.env = {"VANTOR_NO_DIALOG=1", "VANTOR_RELOAD=1", "TMPDIR=" + tmp_.Path()};
        options.timeoutMs = 60000;
        engine_ = std::make_unique<Process>(install_.bin + "/engine", std::vector<std::string>{}, options);
        window_ = WaitForWindow("Vantor v0.0.0");
    }

    static std::string Module(const std::string& name) { return kModules + "/" + name + "/game.dll"; }

    Process& Engine() { return *engine_; }
    const std::string& Window() const { return window_; }
    const std::string& Assets() const { return install_.assets; }
    std::size_t Mark() const { return engine_->Stderr().size(); }

    bool Saw(const std::string& text, std::size_t from = 0) { return engine_->WaitForStderr(text, kWaitMs, from); }

    // Puts a module in place of game.dll, renamed over it as a linker does or
    // written into it; returns where stderr stood before.
    std::size_t Swap(const std::string& name, bool inPlace = false) {
        const std::size_t mark = Mark();
        const std::string target = install_.bin + "/game.dll";
        if (inPlace) {
            std::ifstream in(Module(name), std::ios::binary);
            std::ofstream out(target, std::ios::binary | std::ios::trunc);
            out << in.rdbuf();
        } else {
            fs::copy_file(Module(name), target + ".new", fs::copy_options::overwrite_existing);
            fs::rename(target + ".new", target);
        }
        return mark;
    }

    // The colour in the middle of the window, and how many pixels of the
    // middle row are mostly the channel `channel` (0 red, 1 green, 2 blue).
    Rgb Centre() { return GrabWindow(window_).At(640, 400); }
    int RowWidth(int channel) {
        Screenshot shot = GrabWindow(window_);
        int n = 0;
        for (int x = 0; x < shot.width && !shot.Empty(); ++x) {
            const Rgb p = shot.At(x, shot.height / 2);
            n += Mostly(p, channel);
        }
        return n;
    }

    int Copies() const {
        int n = 0;
        std::error_code ec;
        for (auto it = fs::directory_iterator(tmp_ / "vantor-reload", ec); !ec && it != fs::directory_iterator(); ++it) ++n;
        return n;
    }
    // Private copies of game.dll mapped into the engine now.
    int MappedModules() const {
        return std::stoi("0" + Shell("grep -o 'vantor-reload/game\\.[0-9.]*dll' /proc/" + std::to_string(engine_->Pid()) +
                                     "/maps | sort -u | wc -l"));
    }

    RunResult Quit() {
        Shell("xdotool windowfocus --sync " + window_ + " 2>/dev/null; xdotool key --clearmodifiers Escape");
        return engine_->Wait();
    }

private:
    TempDir tmp_;
    EngineInstall install_;
    std::unique_ptr<Process> engine_;
    std::string window_;
};

}  // namespace

TEST(Reload, NewCodeTakesOverTheSceneWithReloadAndRebuildsItWithout) {
    ReloadSession s("red");
    ASSERT_FALSE(s.Window().empty());
    ASSERT_TRUE(s.Saw("tick red n=3 ")) << s.Engine().Stderr();
    EXPECT_TRUE(Mostly(s.Centre(), 0));
    const double box = LastValue(s.Engine().Stderr(), 0, "tick red", "box");
    EXPECT_EQ(s.Copies(), 1);

    // A module with reload(): same process, same box, the kept counter carries on.
    std::size_t mark = s.Swap("green");
    ASSERT_TRUE(s.Saw("game.dll reloaded: reload() took over the scene", mark)) << s.Engine().Stderr().substr(mark);
    ASSERT_TRUE(s.Saw("reload green box=" + std::to_string(static_cast<int>(box)) + "\n", mark));
    ASSERT_TRUE(s.Saw("tick green n=3 ", mark));
    EXPECT_GT(LastValue(s.Engine().Stderr(), mark, "tick green", "ticks"), 3);
    EXPECT_TRUE(Mostly(s.Centre(), 1)) << "the new code's colour is drawn";
    EXPECT_EQ(s.MappedModules(), 1) << "the old module was unloaded";
    EXPECT_EQ(s.Copies(), 1) << "the old copy was removed";

    // One without: the scene is emptied and the new init() builds it again.
    mark = s.Swap("blue", /*inPlace=*/true);
    ASSERT_TRUE(s.Saw("game.dll reloaded: the scene was emptied and init() runs again", mark));
    ASSERT_TRUE(s.Saw("init blue children=0\n", mark)) << s.Engine().Stderr().substr(mark);
    ASSERT_TRUE(s.Saw("tick blue n=3 ", mark));
    EXPECT_GT(LastValue(s.Engine().Stderr(), mark, "tick blue", "box"), box) << "a new box";
    EXPECT_TRUE(Mostly(s.Centre(), 2));

    RunResult r = s.Quit();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0\n");
    EXPECT_EQ(s.Copies(), 0) << "copies are removed at exit";
}

TEST(Reload, BrokenBuildsLeaveTheGameRunningAndTheNextGoodOneResumes) {
    ReloadSession s("red");
    ASSERT_TRUE(s.Saw("tick red n=3 ")) << s.Engine().Stderr();

    std::size_t mark = s.Swap("no_tick");
    ASSERT_TRUE(s.Saw("game.dll not reloaded: ", mark));
    EXPECT_TRUE(s.Saw("it has no \"tick\" export; the running game carries on\n", mark));
    EXPECT_TRUE(s.Saw("tick red", mark)) << "the old module still ticks";

    mark = s.Swap("reload_throws");
    ASSERT_TRUE(s.Saw("reload() threw std::runtime_error: this reload() refuses", mark));
    EXPECT_TRUE(s.Saw("tick red", s.Mark())) << "the old module still ticks";

    mark = s.Swap("tick_throws");
    const std::string paused = "Tick failed. std::logic_error: this tick() went wrong; the game is paused";
    ASSERT_TRUE(s.Saw(paused, mark)) << s.Engine().Stderr().substr(mark);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_TRUE(s.Engine().Running());
    const std::string since = s.Engine().Stderr().substr(mark);
    EXPECT_EQ(since.find(paused), since.rfind(paused)) << "the error is written once";
    // The last frame stays, with the notice drawn over it in a dark band.
    Screenshot shot = GrabWindow(s.Window());
    ASSERT_FALSE(shot.Empty());
    EXPECT_LT(shot.MeanLuma(1100, 330, 1270, 340), 30);
    EXPECT_TRUE(Mostly(shot.At(640, 300), 0)) << "the scene is still drawn above it";

    mark = s.Swap("green");
    ASSERT_TRUE(s.Saw("reload green", mark));
    ASSERT_TRUE(s.Saw("tick green n=3 ", mark)) << "the good build resumes";
    EXPECT_TRUE(Mostly(s.Centre(), 1));

    RunResult r = s.Quit();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(s.Copies(), 0);
}

TEST(Reload, RewrittenModelIsDrawnAndRayTestedWithItsNewShape) {
    ReloadSession s("red");
    ASSERT_TRUE(s.Saw("tick red n=3 ")) << s.Engine().Stderr();
    EXPECT_NEAR(LastValue(s.Engine().Stderr(), 0, "tick red", "ray"), 4.0, 1e-3);
    const int narrow = s.RowWidth(0);
    EXPECT_GT(narrow, 100);

    std::size_t mark = s.Mark();
    WriteBox(s.Assets() + "/box.obj", 2);
    ASSERT_TRUE(s.Saw("model \"box.obj\" reloaded\n", mark)) << s.Engine().Stderr().substr(mark);
    ASSERT_TRUE(s.Saw("tick red", s.Mark()));
    EXPECT_NEAR(LastValue(s.Engine().Stderr(), mark, "tick red", "ray"), 3.0, 1e-3);
    ASSERT_TRUE(s.Saw("tick red", s.Mark())) << "frames drawn with the new model since";
    EXPECT_GT(s.RowWidth(0), 2 * narrow) << "the bigger box is drawn";

    // A file that cannot be used keeps the model that was there.
    mark = s.Mark();
    {
        std::ofstream out(s.Assets() + "/box.obj.new");
        out << "v 1 2\nf 1 9 9\n";
    }
    fs::rename(s.Assets() + "/box.obj.new", s.Assets() + "/box.obj");
    ASSERT_TRUE(s.Saw("model \"box.obj\" not reloaded: the old one stays", mark)) << s.Engine().Stderr().substr(mark);
    ASSERT_TRUE(s.Saw("tick red", s.Mark()));
    EXPECT_NEAR(LastValue(s.Engine().Stderr(), mark, "tick red", "ray"), 3.0, 1e-3);

    EXPECT_EQ(s.Quit().exitCode, 0);
}
