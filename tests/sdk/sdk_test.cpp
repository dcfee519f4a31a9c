// A game written against the installed SDK, as its README tells: install the
// engine's build into a prefix, copy the template game out of the tree, build
// it with its two-line CMakeLists, play it in the real engine through its run
// target, change its code while it runs, and pack it for players.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <unistd.h>

#include "Process.h"
#include "Screenshot.h"

using namespace TestSupport;

namespace {

RunResult Step(const std::vector<std::string>& args, const std::string& cwd = "") {
    RunOptions options;
    options.cwd = cwd;
    options.timeoutMs = 300000;
    return Run(args[0], std::vector<std::string>(args.begin() + 1, args.end()), options);
}

std::string Tail(const std::string& text) { return text.substr(text.size() > 4000 ? text.size() - 4000 : 0); }

// The SDK installed into WORK/sdk, the template copied to WORK/mygame and
// built in WORK/mygame-build, as the README tells a game programmer.
struct TemplateGame {
    TempDir work;
    const std::string sdk = work / "sdk", source = work / "mygame", build = work / "mygame-build";

    // Fails the test (and returns false) when a step fails.
    bool Build(const std::string& target = "all") {
        RunResult install = Step({VANTOR_CMAKE, "--install", VANTOR_BUILD_DIR, "--prefix", sdk});
        EXPECT_EQ(install.exitCode, 0) << Tail(install.out + install.err);
        EXPECT_EQ(Step({"/bin/cp", "-r", VANTOR_TEMPLATE_DIR, source}).exitCode, 0);
        // The same compiler and flags as the engine (a sanitizer build links its runtime into game.dll too).
        RunResult configure = Step({VANTOR_CMAKE, "-S", source, "-B", build, "-DCMAKE_PREFIX_PATH=" + sdk,
                                    "-DCMAKE_CXX_COMPILER=" VANTOR_CXX, "-DCMAKE_CXX_FLAGS=" VANTOR_CXX_FLAGS,
                                    "-DCMAKE_SHARED_LINKER_FLAGS=" VANTOR_LINKER_FLAGS});
        EXPECT_EQ(configure.exitCode, 0) << Tail(configure.out + configure.err);
        RunResult compile = Step({VANTOR_CMAKE, "--build", build, "--target", target});
        EXPECT_EQ(compile.exitCode, 0) << Tail(compile.out + compile.err);
        return !::testing::Test::HasFailure();
    }
};

// Lit: the spot light's pool on the floor stands well above the ambient light
// (under luma 30), and the crates in it show their own orange.
void ExpectLitCrates(const Screenshot& shot) {
    ASSERT_FALSE(shot.Empty());
    int pool = 0, litCrate = 0;
    for (const Rgb& p : shot.pixels) {
        pool += p.Luma() > 80;
        litCrate += p.r > 120 && p.r > p.b + 50;
    }
    EXPECT_GT(pool, static_cast<int>(shot.pixels.size() / 100)) << "no lit area";
    EXPECT_GT(litCrate, 1000) << "no lit crate";
}

}  // namespace

TEST(Sdk, TemplateGameBuiltOutOfTreeAgainstTheInstalledSdkShowsItsLitSpinningCrates) {
    TemplateGame game;
    ASSERT_TRUE(game.Build());
    const std::string& source = game.source;
    const std::string& build = game.build;

    // A runnable folder: the engine, game.dll with its exports only, the assets.
    const std::string folder = build + "/mygame";
    EXPECT_EQ(Shell("nm -D --defined-only " + folder + "/game.dll | awk '$2 == \"T\" {print $3}' | sort | tr '\\n' ' '"),
              "define_func define_keep define_op init reload tick vantor_runtime");
    EXPECT_EQ(Shell("test -x " + folder + "/engine && test -f " + folder + "/assets/crate.obj && echo yes"), "yes");
    // The SDK's starter assets, asked for by the template, with their README.
    EXPECT_EQ(Shell("test -f " + folder + "/assets/figure.glb && grep -c CC0 " + folder + "/assets/README.md"), "1");

    // Played as the README says, through the run target, which reloads what is rebuilt.
    RunOptions options;
    options.cwd = build;
    options.env = {"VANTOR_NO_DIALOG=1"};
    options.timeoutMs = 180000;
    Process engine(VANTOR_CMAKE, {"--build", build, "--target", "run_mygame"}, options);
    std::string window = WaitForWindow("Vantor v0.0.0", 60000);
    if (window.empty()) {
        engine.Kill(SIGTERM);
        FAIL() << "the window did not open\n" << Tail(engine.Wait().err);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    Screenshot first = GrabWindow(window);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    Screenshot second = GrabWindow(window);

    // A change to the game's code, built in "another terminal" while it runs:
    // the crates stop spinning, in the same window.
    const std::size_t mark = engine.Stderr().size();
    ASSERT_EQ(Shell("sed -i 's/spin += dt;/spin += 0 * dt;/' " + source + "/main.cpp && grep -c '0 \\* dt' " +
                    source + "/main.cpp"), "1");
    RunResult rebuild = Step({VANTOR_CMAKE, "--build", build});
    ASSERT_EQ(rebuild.exitCode, 0) << Tail(rebuild.out + rebuild.err);
    EXPECT_TRUE(engine.WaitForStderr("game.dll reloaded: reload() took over the scene", 10000, mark))
        << Tail(engine.Stderr());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Screenshot still = GrabWindow(window);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    Screenshot stillLater = GrabWindow(window);
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool key Escape");
    RunResult run = engine.Wait();

    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0) << Tail(run.err);
    EXPECT_NE(("\n" + run.out).find("\n0\n"), std::string::npos) << "the engine's one line: " << Tail(run.out);
    EXPECT_EQ(run.err.find("model \"crate.obj\" reloaded"), std::string::npos) << "an unchanged asset was rewritten";
    ExpectLitCrates(first);
    ASSERT_EQ(first.pixels.size(), second.pixels.size());
    // Spinning: the crates turned between the two shots, nothing else moves.
    auto changed = [](const Screenshot& a, const Screenshot& b) {  // below the frame-rate counter
        int n = 0;
        for (std::size_t i = 40 * static_cast<std::size_t>(a.width); i < a.pixels.size() && i < b.pixels.size(); ++i)
            n += std::abs(a.pixels[i].Luma() - b.pixels[i].Luma()) > 20;
        return n;
    };
    EXPECT_GT(changed(first, second), 500) << "nothing moved in a second";
    EXPECT_LT(changed(first, second), static_cast<int>(first.pixels.size() / 5)) << "the whole view changed, not just the crates";
    // The rebuilt code runs: the crates stand still, in the scene the old code built.
    ASSERT_FALSE(still.Empty());
    EXPECT_LT(changed(still, stillLater), 50) << "the crates still spin";
    EXPECT_GT(changed(first, still), 0);
}

// What a player gets: the packed game, unpacked in a root file system that
// holds only the C library, libX11 and an OpenGL driver (none of the engine's
// libraries, no development packages), started by a user who owns none of it
// from another working directory.
TEST(Sdk, PackedGamePlaysOnAMachineWithOnlyTheCLibraryX11AndAnOpenGlDriver) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a sanitizer build is not what players get";
#endif
    if (geteuid() != 0) GTEST_SKIP() << "a root file system of its own needs root (chroot, mount namespaces)";
    TemplateGame game;
    ASSERT_TRUE(game.Build("package_mygame"));
    const std::string archive = game.build + "/mygame-linux-x64.tar.gz";
    const long size = std::stol(Shell("stat -c %s " + archive));
    EXPECT_LT(size, 10l << 20) << "the package is too large";  // sound, fonts and physics in
    std::printf("package: %s, %ld KiB\n", archive.c_str(), size / 1024);

    const std::string root = game.work / "root";
    RunResult made = Step({VANTOR_MINIMAL_ROOT, root});
    ASSERT_EQ(made.exitCode, 0) << Tail(made.out + made.err);
    ASSERT_EQ(Step({"/bin/tar", "-xzf", archive, "-C", root + "/opt"}).exitCode, 0);
    EXPECT_EQ(Shell("cd " + root + " && find . -path ./opt -prune -o \\( -name 'libassimp*' -o -name 'libdraco*'"
                    " -o -name 'libminizip*' -o -name 'libmeshoptimizer*' -o -name 'libmimalloc*' -o -name '*.h' \\)"
                    " -print | head -3"),
              "");

    // proc and dev in a mount namespace of its own, gone when the game ends;
    // the display's key (xvfb-run makes one) where the player can read it.
    RunOptions options;
    options.env = {"VANTOR_NO_DIALOG=1", "HOME=/tmp"};
    if (const char* key = std::getenv("XAUTHORITY")) {
        ASSERT_EQ(Shell("install -m 644 '" + std::string(key) + "' " + root + "/tmp/xauthority && echo ok"), "ok");
        options.env.push_back("XAUTHORITY=/tmp/xauthority");
    }
    options.timeoutMs = 120000;
    Process player("/usr/bin/unshare",
                   {"--mount", "--fork", "--", "/bin/sh", "-c",
                    "mount -t proc proc \"$0/proc\" && mount --rbind /dev \"$0/dev\" && "
                    "exec chroot --userspec=65534:65534 \"$0\" /opt/mygame/mygame",
                    root},
                   options);
    std::string window = WaitForWindow("Vantor v0.0.0", 60000);
    if (window.empty()) {
        player.Kill(SIGTERM);
        FAIL() << "the window did not open\n" << Tail(player.Wait().err);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    Screenshot shot = GrabWindow(window);
    // Every library from the package's lib/, one C++ runtime for the engine and game.dll.
    const std::string pid = Shell("for d in /proc/[0-9]*; do [ \"$(tr '\\0' ' ' <$d/cmdline 2>/dev/null)\" = "
                                  "'/opt/mygame/mygame ' ] && echo ${d#/proc/}; done | head -1");
    const std::string maps = Shell("awk '{print $6}' /proc/" + pid + "/maps | sort -u");
    EXPECT_NE(maps.find(root + "/opt/mygame/lib/libassimp.so.5\n"), std::string::npos) << maps;
    EXPECT_NE(maps.find(root + "/opt/mygame/game.dll\n"), std::string::npos) << maps;
    EXPECT_EQ(Shell("awk '{print $6}' /proc/" + pid + "/maps | sort -u | grep -c 'libstdc++'"), "1") << maps;
    EXPECT_NE(maps.find(root + "/opt/mygame/lib/libstdc++.so.6\n"), std::string::npos) << maps;
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool key Escape");
    RunResult run = player.Wait();

    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0) << Tail(run.err);
    EXPECT_EQ(run.out, "0\n");
    EXPECT_EQ(run.err.find("could not load sound"), std::string::npos) << "the chime travels with the game\n" << run.err;
    ExpectLitCrates(shot);
}
