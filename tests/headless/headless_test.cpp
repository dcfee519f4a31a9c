// The real engine started --headless with no display at all (DISPLAY and
// WAYLAND_DISPLAY unset): the test game (modules/headless_module.cpp) loads a
// model, casts rays at it, drops a body, plays a sound and draws, and the
// engine must answer as a window-less host: hits where the box is, neutral
// input, nothing drawn, frames at the asked rate with the process asleep in
// between, and a clean exit on SIGTERM or SIGINT.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "Process.h"

namespace {

using namespace TestSupport;

const std::string kModules = VANTOR_HEADLESS_MODULES_DIR;
constexpr int kWaitMs = 60000;  // a bound for a hung engine, not a pace

// A box from -1 to 1 on every axis, each face counter-clockwise seen from outside.
void WriteBox(const std::string& path) {
    std::ofstream out(path);
    out << "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
           "f 4 8 7 3\nf 1 2 6 5\nf 2 3 7 6\nf 1 5 8 4\nf 5 6 7 8\nf 1 4 3 2\n";
}

// Half a second of a quiet tone: 16-bit mono PCM at 48 kHz.
void WriteTone(const std::string& path) {
    const std::uint32_t frames = 24000, rate = 48000, bytes = frames * 2;
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&out](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&out](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4), u32(36 + bytes), out.write("WAVEfmt ", 8);
    u32(16), u16(1), u16(1), u32(rate), u32(rate * 2), u16(2), u16(16);
    out.write("data", 4), u32(bytes);
    for (std::uint32_t i = 0; i < frames; ++i) u16(static_cast<std::uint16_t>((i / 55) % 2 ? 2000 : -2000));
}

// The engine and a build of the test game in a fresh folder, the model and the
// sound in its assets; `program` names the engine as a packed game names it.
struct Game {
    EngineInstall install;
    std::string program;

    explicit Game(const std::string& build = "game", const std::string& name = "engine")
        : install(VANTOR_ENGINE, kModules + "/" + build + "/game.dll"), program(install.bin + "/" + name) {
        if (name != "engine") CopyFile(VANTOR_ENGINE, program);
        WriteBox(install.assets + "/box.obj");
        WriteTone(install.assets + "/tone.wav");
    }
};

// CPU seconds the process has used so far, all its threads (utime + stime).
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));  // the name may hold spaces
    std::vector<std::string> f;
    for (std::string word; fields >> word;) f.push_back(word);
    if (f.size() < 13) return -1;
    return (std::stod(f[11]) + std::stod(f[12])) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

RunOptions Options(std::vector<std::string> env = {}) {
    RunOptions options;
    options.env = std::move(env);
    options.timeoutMs = kWaitMs;
    return options;
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The numbers of the line that starts with `start` (every word that reads as
// one, "key=value" words by their value); empty when there is no such line.
std::vector<double> NumbersOf(const std::string& text, const std::string& start) {
    std::vector<double> out;
    const std::size_t at = text.find("\n" + start);
    if (at == std::string::npos) return out;
    const std::size_t from = at + 1;
    std::istringstream line(text.substr(from, text.find('\n', from) - from));
    for (std::string word; line >> word;) {
        const std::size_t eq = word.find('=');
        std::string value = eq == std::string::npos ? word : word.substr(eq + 1);
        for (char& c : value) c = c == ',' ? ' ' : c;
        std::istringstream parts(value);
        for (double v; parts >> v;) out.push_back(v);
    }
    return out;
}

class Headless : public ::testing::Test {
protected:
    void SetUp() override {
        // Nothing a window could be opened on: a window, a GL context or a GLFW
        // start reached by mistake fails (or at least complains) at once.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }
};

TEST_F(Headless, RunsTheGameWithoutADisplayAtTheAskedRateAsleepBetweenFrames) {
    Game game;
    constexpr double kFps = 50, kPeriod = 1 / kFps;
    Process engine(game.program, {"--level", "yard", "--headless", "--fps", "50"}, Options());
    ASSERT_TRUE(engine.WaitForStderr("init done\n", kWaitMs)) << engine.Stderr();
    const std::string init = engine.Stderr();

    // The model was loaded on the CPU for ray tests: the box of half size 1 at (5, 0, 0).
    EXPECT_EQ(NumbersOf(init, "ray above "), (std::vector<double>{1, 9, 5, 1, 0, 0, 1, 0})) << init;
    EXPECT_EQ(NumbersOf(init, "ray side "), (std::vector<double>{1, 9, 4, 0.5, 0, -1, 0, 0})) << init;
    const std::vector<double> beside = NumbersOf(init, "ray beside ");
    ASSERT_FALSE(beside.empty()) << init;
    EXPECT_EQ(beside[0], 0) << init;
    // Input without a window: the pointer where nothing moved it, no key, no pad, no
    // screen; the pointer and title calls before did nothing.
    EXPECT_NE(init.find("\nneutral mouse=0,0 delta=0,0 key=0 next=0 hidden=0 pad=0 screen=0x0 toscreen=0,0\n"),
              std::string::npos)
        << init;
    // Text is measured from the font on the CPU though nothing draws it.
    const std::vector<double> measure = NumbersOf(init, "measure ");
    ASSERT_EQ(measure.size(), 1u) << init;
    EXPECT_GT(measure[0], 20);
    // The sound plays against a clock, without a device.
    EXPECT_EQ(NumbersOf(init, "sound "), (std::vector<double>{0.5, 1})) << init;

    ASSERT_TRUE(engine.WaitForStderr("\nticks 30 ", kWaitMs)) << engine.Stderr();
    const double wall0 = WallSeconds(), cpu0 = CpuSeconds(engine.Pid());
    ASSERT_TRUE(engine.WaitForStderr("\nticks 150 ", kWaitMs)) << engine.Stderr();
    const double wall1 = WallSeconds(), cpu1 = CpuSeconds(engine.Pid());
    ASSERT_TRUE(engine.Running()) << engine.Stderr();
    engine.Kill(SIGTERM);
    const RunResult result = engine.Wait();

    // ticks <n> seconds <sum of DeltaTime> first <DeltaTime> crate <y> playing <0|1> particles <n>
    const std::vector<double> at30 = NumbersOf(result.err, "ticks 30 "), at150 = NumbersOf(result.err, "ticks 150 ");
    ASSERT_EQ(at30.size(), 6u) << result.err;
    ASSERT_EQ(at150.size(), 6u) << result.err;
    // "DeltaTime" is the steady clock's: 120 frames are 120 periods, never fewer (a
    // late frame does not make the next ones early), and not far more on a busy machine.
    const double frames120 = at150[1] - at30[1];
    EXPECT_GE(frames120, 120 * kPeriod * 0.98) << result.err;
    EXPECT_LE(frames120, 120 * kPeriod * 3) << result.err;
    EXPECT_GE(wall1 - wall0, 120 * kPeriod * 0.9);
    // The first frame is not charged with loading.
    EXPECT_LT(at30[2], kPeriod) << result.err;
    // Asleep between frames, not spinning: a small share of one core.
    ASSERT_GE(cpu0, 0);
    EXPECT_LT(cpu1 - cpu0, 0.25 * (wall1 - wall0)) << "cpu " << cpu1 - cpu0 << " s in " << wall1 - wall0 << " s";
    // Bodies stepped: the crate fell.
    EXPECT_LT(at30[3], 20) << result.err;
    EXPECT_LT(at150[3], at30[3] - 1) << result.err;
    // The half-second sound ended by the clock; the particles live on.
    EXPECT_EQ(at150[4], 0) << result.err;
    EXPECT_EQ(at30[5], 25) << result.err;

    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.signal, 0) << result.err;
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "0\n");  // the loader's number, nothing else
    for (const char* complaint : {"GLFW", "ERROR", "WARNING", "womp womp"})
        EXPECT_EQ(result.err.find(complaint), std::string::npos) << complaint << " in:\n" << result.err;
}

TEST_F(Headless, APackedGameTakesTheOptionAndStopsOnInterrupt) {
    Game game("game", "tinyquest");
    Process engine(game.program, {"--headless", "--fps=200"}, Options());
    ASSERT_TRUE(engine.WaitForStderr("\nticks 60 ", kWaitMs)) << engine.Stderr();
    engine.Kill(SIGINT);
    const RunResult result = engine.Wait();
    EXPECT_EQ(result.signal, 0) << result.err;
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::vector<double> at60 = NumbersOf(result.err, "ticks 60 ");
    ASSERT_EQ(at60.size(), 6u) << result.err;
    EXPECT_GE(at60[1], 59 * 0.005 * 0.98) << result.err;  // 200 a second, not the default 60
    EXPECT_LT(at60[1], 59 / 60.0) << result.err;
}

TEST_F(Headless, AFrameRateOutOfRangeOrNotANumberIsRefused) {
    Game game;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--headless", "--fps", "0"},
             {"--headless", "--fps", "abc"},
             {"--headless", "--fps", "1001"},
             {"--headless", "--fps", "-5"},
             {"--headless", "--fps=12x"},
             {"--headless", "--fps"}}) {
        const RunResult result = TestSupport::Run(game.program, args, Options());
        const std::string& given = args.size() == 3 ? args[2] : args[1] == "--fps=12x" ? std::string("12x") : "";
        EXPECT_EQ(result.exitCode, 2) << args.back() << ": " << result.err;
        EXPECT_NE(result.err.find("--fps"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("1 to 1000"), std::string::npos) << result.err;
        if (!given.empty()) {
            EXPECT_NE(result.err.find("\"" + given + "\""), std::string::npos) << result.err;
        }
        EXPECT_EQ(result.out, "") << "the game was loaded: " << result.out;
    }
}

// Options after "--" are the game's: this one is no headless run, and without a
// display its window cannot open.
TEST_F(Headless, OptionsAfterADoubleDashAreLeftToTheGame) {
    Game game;
    const RunResult result = TestSupport::Run(game.program, {"--", "--headless"}, Options({"VANTOR_NO_DIALOG=1"}));
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("Could not open the game window"), std::string::npos) << result.err;
}

TEST_F(Headless, AThrowingTickEndsTheRunWithStatusOneAndItsMessage) {
    Game game;
    const RunResult result =
        TestSupport::Run(game.program, {"--headless"}, Options({"HEADLESS_THROW_AT=5"}));
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("Tick failed. std::runtime_error: the test game threw on purpose"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("womp womp: Tick failed."), std::string::npos) << result.err;
}

TEST_F(Headless, ReloadModeBindsARebuiltGame) {
    Game game;
    Process engine(game.program, {"--headless"}, Options({"VANTOR_RELOAD=1"}));
    ASSERT_TRUE(engine.WaitForStderr("\nticks 30 ", kWaitMs)) << engine.Stderr();
    ASSERT_NE(engine.Stderr().find("version 1\n"), std::string::npos) << engine.Stderr();
    CopyFile(kModules + "/v2/game.dll", game.install.bin + "/game.dll");
    ASSERT_TRUE(engine.WaitForStderr("game.dll reloaded", kWaitMs)) << engine.Stderr();
    ASSERT_TRUE(engine.WaitForStderr("version 2\n", kWaitMs)) << engine.Stderr();
    // init ran again on the emptied scene: the model loads and the ray hits as before.
    const std::size_t second = engine.Stderr().find("version 2\n");
    ASSERT_TRUE(engine.WaitForStderr("init done\n", kWaitMs, second)) << engine.Stderr();
    EXPECT_EQ(NumbersOf(engine.Stderr().substr(second - 1), "ray above "), (std::vector<double>{1, 9, 5, 1, 0, 0, 1, 0}));
    engine.Kill(SIGTERM);
    const RunResult result = engine.Wait();
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

}  // namespace
