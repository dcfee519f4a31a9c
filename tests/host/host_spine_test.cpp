// The host from start to exit, run as the real engine binary in a real window
// (the test suite runs under Xvfb), with game modules made for each case.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "Process.h"
#include "Screenshot.h"

using namespace TestSupport;

namespace {

const std::string kEngine = VANTOR_ENGINE;
const std::string kModules = VANTOR_TEST_MODULES_DIR;

std::string Module(const std::string& name) { return kModules + "/" + name + "/game.dll"; }

// A copy of the engine in a folder of its own, so that the game.dll beside the
// real build is not the first one found.
struct Install : EngineInstall {
    explicit Install(const std::string& module = "", const std::string& binDir = "bin")
        : EngineInstall(kEngine, module.empty() ? "" : Module(module), binDir, false) {}

    RunResult Run(const std::string& cwd = "", std::vector<std::string> env = {"VANTOR_NO_DIALOG=1"}) {
        RunOptions options;
        options.cwd = cwd.empty() ? root.Path() : cwd;
        options.env = std::move(env);
        return TestSupport::Run(bin + "/engine", {}, options);
    }
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(HostStartup, MissingModulePrintsTheErrorNumberAndStops) {
    Install install;
    RunResult r = install.Run();
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1);
    std::vector<std::string> out = Lines(r.out);
    ASSERT_EQ(out.size(), 1u) << r.out;
    EXPECT_EQ(out[0], "2");  // ENOENT, Linux's number; Windows gives 126 (scripts/windows.sh checks it)
    EXPECT_TRUE(Contains(r.err, "womp womp: game.dll not found")) << r.err;
}

TEST(HostStartup, ModuleThatIsNotALibraryReportsItsOwnErrorNumber) {
    Install install;
    TestSupport::Shell("echo 'not a library' > '" + install.bin + "/game.dll'");
    RunResult r = install.Run();
    EXPECT_EQ(r.exitCode, 1);
    std::vector<std::string> out = Lines(r.out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_NE(out[0], "0");
    EXPECT_NE(out[0], "2");
    EXPECT_TRUE(Contains(r.err, "game.dll not found")) << r.err;
}

TEST(HostStartup, MissingExportsStopWithTheirMessagesInLookupOrder) {
    struct Case {
        const char* module;
        const char* message;
    } cases[] = {
        {"no_init", "Init function not found in game.dll."},
        // tick is looked up before define_func, so its message wins
        {"no_tick_no_define_func", "Tick function not found in game.dll."},
        {"no_define_op", "Invalid dll. You probably didn't generate this properly."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.module);
        Install install(c.module);
        RunResult r = install.Run();
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "0\n");
        EXPECT_TRUE(Contains(r.err, std::string("womp womp: ") + c.message + "\n")) << r.err;
        EXPECT_FALSE(Contains(r.err, "init:")) << "init must not run";
    }
}

TEST(HostStartup, NoDisplayIsReportedInsteadOfCrashing) {
    Install install("plain");
    RunResult r = install.Run("", {"VANTOR_NO_DIALOG=1", "DISPLAY=:4095"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "womp womp: Could not open the game window: no display")) << r.err;
    EXPECT_FALSE(Contains(r.err, "crashed")) << r.err;
}

TEST(HostStartup, ModuleWithACxxRuntimeOfItsOwnIsRefusedBeforeAnythingIsHandedToIt) {
    Install install("foreign_runtime");  // built with the SDK, but with libstdc++ linked into game.dll
    RunResult r = install.Run();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "0\n");
    EXPECT_TRUE(Contains(r.err, "womp womp: game.dll was built for another C++ runtime than the engine's. Build it with g++ "))
        << r.err;
    EXPECT_FALSE(Contains(r.err, "init foreign_runtime")) << "init must not run";
}

TEST(HostGuards, ExceptionFromInitIsInitFailed) {
    Install install("init_throws");
    RunResult r = install.Run();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "womp womp: Init failed.\n")) << r.err;
    EXPECT_TRUE(Contains(r.err, "std::runtime_error: the test module refuses to start")) << r.err;
    EXPECT_FALSE(Contains(r.err, "tick 1"));
}

TEST(HostGuards, ExceptionFromThirdTickIsTickFailedAfterFramesWereDrawn) {
    Install install("tick_throws");
    RunResult r = install.Run();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "tick 1\ntick 2\ntick 3\n")) << r.err;
    EXPECT_FALSE(Contains(r.err, "tick 4"));
    EXPECT_TRUE(Contains(r.err, "std::logic_error: tick 3 went wrong")) << r.err;
    EXPECT_TRUE(Contains(r.err, "womp womp: Tick failed.\n")) << r.err;
}

TEST(HostGuards, WrongTypeThrownByAHostEntryTravelsThroughTheModule) {
    Install install("wrong_type");
    RunResult r = install.Run();
    EXPECT_EQ(r.exitCode, 1);
    // the module saw the registered entries, called one with a double, and the
    // host's own exception came back out of init
    EXPECT_TRUE(Contains(r.err, "std::bad_any_cast: bad any_cast")) << r.err;
    EXPECT_TRUE(Contains(r.err, "womp womp: Init failed.")) << r.err;
}

namespace {

// Starts the engine, waits for a few frames, presses a key in its window.
RunResult RunAndPress(const std::string& program, const std::string& cwd, const std::string& title,
                      const std::string& key, const std::string& waitForText,
                      std::vector<std::string> env = {"VANTOR_NO_DIALOG=1"}) {
    RunOptions options;
    options.cwd = cwd;
    options.env = std::move(env);
    Process engine(program, {}, options);
    std::string window = WaitForWindow(title);
    EXPECT_FALSE(window.empty()) << "no window titled " << title;
    // Let it reach the state we want to interrupt.
    if (!waitForText.empty()) EXPECT_TRUE(engine.WaitForStderr(waitForText, 15000)) << waitForText;
    else std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (!window.empty()) {
        Shell("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool key --clearmodifiers " + key);
    }
    return engine.Wait();
}

}  // namespace

TEST(HostShutdown, EscapeClosesTheWindowAndExitsZeroWithOneLineOnStdout) {
    Install install("plain");
    RunResult r = RunAndPress(install.bin + "/engine", install.root.Path(), "Vantor v0.0.0", "Escape", "tick 5");
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0\n");
    EXPECT_TRUE(Contains(r.err, "tick 5")) << "frames ran before the close";
}

TEST(HostShutdown, ShippedModuleRunsFromTheBuildFolder) {
    std::string bin = kEngine.substr(0, kEngine.find_last_of('/'));
    RunResult r = RunAndPress(kEngine, bin, "Vantor v0.0.0", "Escape", "");
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0\n");
}

TEST(HostCrash, ErrorBoxIsDismissedByEnterOrEscapeThenExitsOne) {
    for (const char* key : {"Return", "Escape"}) {
        SCOPED_TRACE(key);
        Install install("no_init");
        RunResult r = RunAndPress(install.bin + "/engine", install.root.Path(), "womp womp", key, "", {});
        ASSERT_FALSE(r.timedOut) << "the box was not dismissed";
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(Contains(r.err, "womp womp: Init function not found in game.dll.")) << r.err;
    }
}

TEST(HostCrash, ErrorBoxIsDismissedByClickingOk) {
    Install install("no_init");
    RunOptions options;
    options.cwd = install.root.Path();
    Process engine(install.bin + "/engine", {}, options);
    std::string window = WaitForWindow("womp womp");
    ASSERT_FALSE(window.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    // Find the OK button by its blue border in what the window shows.
    Screenshot shot = GrabWindow(window);
    ASSERT_FALSE(shot.Empty());
    int x0 = shot.width, y0 = shot.height, x1 = -1, y1 = -1;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            Rgb p = shot.At(x, y);
            if (p.r == 90 && p.g == 120 && p.b == 180) {
                x0 = std::min(x0, x); y0 = std::min(y0, y);
                x1 = std::max(x1, x); y1 = std::max(y1, y);
            }
        }
    ASSERT_GT(x1, x0) << "no OK button on screen";
    EXPECT_TRUE(engine.Running()) << "the box waits for the user";
    Shell("xdotool mousemove --window " + window + " " + std::to_string((x0 + x1) / 2) + " " +
          std::to_string((y0 + y1) / 2) + " sleep 0.3 mousedown 1 sleep 0.15 mouseup 1");  // as long as a person holds a click
    RunResult r = engine.Wait();
    ASSERT_FALSE(r.timedOut) << "the click did not dismiss the box";
    EXPECT_EQ(r.exitCode, 1);
}

// -- The assets folder --------------------------------------------------------

namespace {

std::string ReportedCwd(const RunResult& r) {
    for (const std::string& line : Lines(r.err))
        if (line.rfind("cwd=", 0) == 0) return line.substr(4);
    return "(none)";
}

}  // namespace

TEST(AssetsSearch, WorkingDirectoryHoldingAssetsWins) {
    Install install("prints_cwd");
    MakeDirs(install.root / "work/assets");
    MakeDirs(install.bin + "/assets");  // also beside the program: the working directory comes first
    EXPECT_EQ(ReportedCwd(install.Run(install.root / "work")), install.root / "work/assets");
}

TEST(AssetsSearch, AssetsBesideTheProgram) {
    Install install("prints_cwd");
    MakeDirs(install.bin + "/assets");
    MakeDirs(install.root / "elsewhere");
    EXPECT_EQ(ReportedCwd(install.Run(install.root / "elsewhere")), install.bin + "/assets");
}

TEST(AssetsSearch, AssetsOneTwoAndThreeLevelsAboveTheProgram) {
    for (const char* binDir : {"a", "a/b", "a/b/c"}) {
        SCOPED_TRACE(binDir);
        Install install("prints_cwd", binDir);
        MakeDirs(install.root / "assets");
        MakeDirs(install.root / "elsewhere");
        EXPECT_EQ(ReportedCwd(install.Run(install.root / "elsewhere")), install.root / "assets");
    }
}

TEST(AssetsSearch, NoAssetsFolderLeavesTheWorkingDirectoryAndStartsAnyway) {
    Install install("prints_cwd", "a/b/c/d");
    MakeDirs(install.root / "assets");  // four levels up: out of reach
    MakeDirs(install.root / "elsewhere");
    RunResult r = install.Run(install.root / "elsewhere");
    EXPECT_EQ(ReportedCwd(r), install.root / "elsewhere");
    EXPECT_EQ(r.out, "0\n");
}

// -- Finding game.dll -----------------------------------------------------------

TEST(ModuleSearch, FoundInTheAssetsFolderWhenNotBesideTheProgram) {
    Install install;  // no game.dll beside the program
    MakeDirs(install.root / "work/assets");
    CopyFile(Module("init_throws"), install.root / "work/assets/game.dll");
    RunResult r = install.Run(install.root / "work");
    EXPECT_EQ(r.out, "0\n");
    EXPECT_TRUE(Contains(r.err, "Init failed.")) << "the module in the assets folder ran: " << r.err;
}

TEST(ModuleSearch, TheProgramsOwnFolderComesBeforeTheWorkingDirectory) {
    Install install("init_throws");
    MakeDirs(install.root / "work/assets");
    CopyFile(Module("no_init"), install.root / "work/assets/game.dll");
    RunResult r = install.Run(install.root / "work");
    EXPECT_TRUE(Contains(r.err, "womp womp: Init failed.")) << r.err;
    EXPECT_FALSE(Contains(r.err, "Init function not found")) << r.err;
}

// -- What the shipped module is made of ------------------------------------------

TEST(GameModule, ExportsItsPlainNamesOnlyAndLinksNothingOfTheEngine) {
    // The four the engine needs, reload (the walker keeps its scene) and the SDK's define_keep and vantor_runtime.
    std::string exports = Shell("nm -D --defined-only '" + std::string(VANTOR_GAME_MODULE) + "' | awk '{print $3}' | sort");
    EXPECT_EQ(exports, "define_func\ndefine_keep\ndefine_op\ninit\nreload\ntick\nvantor_runtime");
    // A unique symbol would keep the module loaded for good after every reload.
    EXPECT_EQ(Shell("readelf -Ws '" + std::string(VANTOR_GAME_MODULE) + "' | grep -c UNIQUE"), "0");
    std::string needed = Shell("readelf -d '" + std::string(VANTOR_GAME_MODULE) + "' | grep NEEDED");
    EXPECT_TRUE(Contains(needed, "libstdc++")) << "one shared C++ runtime with the host: " << needed;
    EXPECT_FALSE(Contains(needed, "raylib")) << needed;
    EXPECT_FALSE(Contains(needed, "GL")) << needed;
    EXPECT_FALSE(Contains(needed, "glfw")) << needed;
}

// -- Crashes in the game's code ---------------------------------------------------

// Sanitizer builds keep the sanitizer's own crash reports: the engine installs no handlers there.
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_UNDER_SANITIZERS() GTEST_SKIP() << "the sanitizer reports crashes in this build"
#else
#define SKIP_UNDER_SANITIZERS() (void)0
#endif

TEST(HostCrash, FaultsAreReportedNamingTheCallTheKindAndTheModuleThenEndByTheFault) {
    SKIP_UNDER_SANITIZERS();
    struct Case {
        const char* module;
        int signal;
        const char* message;   // after "womp womp: "
        const char* function;  // named in the backtrace
    } cases[] = {
        {"segv_in_tick", SIGSEGV, "Tick failed: game.dll crashed in tick with a segmentation fault (bad access at 0x0) at game.dll+0x", "CrashTheGame()"},
        {"ill_in_init", SIGILL, "Init failed: game.dll crashed in init with an illegal instruction at game.dll+0x", "CrashTheGame()"},
        {"bus_in_tick", SIGBUS, "Tick failed: game.dll crashed in tick with a bus error (at 0x", "CrashTheGame()"},
        {"fpe_in_tick", SIGFPE, "Tick failed: game.dll crashed in tick with an integer division by zero at game.dll+0x", "CrashTheGame()"},
        {"abort_in_init", SIGABRT, "Init failed: game.dll crashed in init with abort() at game.dll+0x", "CrashTheGame()"},
        {"stack_in_tick", SIGSEGV, "Tick failed: game.dll crashed in tick with a stack overflow at game.dll+0x", "RunAway(int)"},
        // The game corrupted a slot; the engine's own code is where it faults, and is named so.
        {"engine_in_init", SIGSEGV, "Init failed: the engine crashed in init with a segmentation fault (bad access at 0x", "CFrame::MoveBy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.module);
        Install install(c.module);
        RunResult r = install.Run();
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.signal, c.signal) << "ended by the fault itself";
        EXPECT_EQ(r.out, "0\n");
        EXPECT_TRUE(Contains(r.err, std::string("\nwomp womp: ") + c.message)) << r.err;
        const std::size_t trace = r.err.find("\nbacktrace (most recent call first):\n  #0  ");
        ASSERT_NE(trace, std::string::npos) << r.err;
        EXPECT_TRUE(Contains(r.err.substr(trace), c.function)) << r.err;
    }
}

TEST(HostCrash, FaultShowsTheBoxFromAProcessOfItsOwnAndEndsOnceItIsDismissed) {
    SKIP_UNDER_SANITIZERS();
    Install install("segv_in_tick");
    RunResult r = RunAndPress(install.bin + "/engine", install.root.Path(), "womp womp", "Escape", "", {});
    ASSERT_FALSE(r.timedOut) << "the box was not dismissed";
    EXPECT_EQ(r.signal, SIGSEGV);
    EXPECT_TRUE(Contains(r.err, "womp womp: Tick failed: game.dll crashed in tick with a segmentation fault")) << r.err;
}
