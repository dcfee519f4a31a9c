// The engine host: window, renderer, the game module, and the frame loop; or,
// with --headless, the game module alone, stepped at a fixed rate.
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <io.h>         // Required for: _dup, _dup2, _close, _fileno
#else
#include <unistd.h>     // Required for: dup, dup2, close, fileno
#endif

#include "Global.h"
#include "Fault.h"
#include "Frame.h"
#include "Gamepads.h"
#include "GlDriver.h"
#include "Input.h"
#include "Inspector.h"
#include "Loader.h"
#include "Messages.h"
#include "Network.h"
#include "MouseFocus.h"
#include "Reload.h"
#include "Stats.h"
#include "World.h"
#include "a3d.h"
#include "base/Log.h"
#include "r3d.h"
#include "raylib.h"
#include "resource_dir.h"
#include "p3d.h"
#include "s2d.h"

namespace {

// Holding stderr aside and putting it back, by file descriptor.
#ifdef _WIN32
int CopyFd(int fd) { return _dup(fd); }
int MoveFd(int from, int to) { return _dup2(from, to); }
void CloseFd(int fd) { _close(fd); }
int FileFd(std::FILE* file) { return _fileno(file); }
#else
int CopyFd(int fd) { return dup(fd); }
int MoveFd(int from, int to) { return dup2(from, to); }
void CloseFd(int fd) { close(fd); }
int FileFd(std::FILE* file) { return fileno(file); }
#endif

// Standard output carries one line only (the module loader's number): raylib's log goes to stderr.
// Its warnings and errors are kept with the engine's own for the inspector's log.
void LogToStderr(int level, const char* text, va_list args) {
    static const char* const kLevels[] = {"", "TRACE", "DEBUG", "INFO", "WARNING", "ERROR", "FATAL", ""};
    char line[1024];
    std::vsnprintf(line, sizeof line, text, args);
    std::fprintf(stderr, "%s: %s\n", kLevels[level >= 0 && level < 8 ? level : 0], line);
    if (level >= LOG_WARNING) base::Record("RAYLIB", line, true);
}

// raylib reports every step of its start at INFO level; by default only its
// warnings and errors reach stderr. VANTOR_LOG=info (or debug) asks for more.
int TraceLevel() {
    const char* asked = std::getenv("VANTOR_LOG");
    std::string level = asked ? asked : "";
    for (char& c : level) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (level == "debug") return LOG_DEBUG;
    if (level == "info") return LOG_INFO;
    if (!level.empty() && level != "warning")
        std::fprintf(stderr, "VANTOR_LOG=\"%s\" is not info or debug: logging warnings and errors only\n", asked);
    return LOG_WARNING;
}

// Starts the audio device with stderr held in a temporary file. Without a
// device the sound library's own complaints (ALSA's "cannot find card" lines,
// raylib's warning) are dropped for one line of ours; with one, whatever was
// written is passed on unchanged.
void StartAudio() {
#ifndef _WIN32
    // A sound server gives a program the latency it asks for, and raylib's
    // device layer asks for its lowest: PulseAudio (and PipeWire in its place)
    // then runs its output a few milliseconds ahead of the speakers and holds
    // nothing of ours in reserve, so the least delay of the server or of the
    // engine on a busy machine is heard as a break. 80 ms ahead has the server
    // hold 40 to 60 ms of ours (it asks for more 20 ms at a time): at 50, a
    // machine that held every program for 28 ms was heard, and 80 is still
    // within what games run with. The player's own setting wins.
    const char* asked = std::getenv("PULSE_LATENCY_MSEC");
    if (!asked || !*asked) setenv("PULSE_LATENCY_MSEC", "80", 1);
#endif
    std::fflush(stderr);
    std::FILE* held = std::tmpfile();
    int saved = held ? CopyFd(FileFd(stderr)) : -1;
    if (saved >= 0 && MoveFd(FileFd(held), FileFd(stderr)) < 0) {
        CloseFd(saved);
        saved = -1;
    }
    InitAudioDevice();
    std::fflush(stderr);
    if (saved >= 0) {
        MoveFd(saved, FileFd(stderr));
        CloseFd(saved);
    }
    if (!IsAudioDeviceReady()) {
        TraceLog(LOG_WARNING, "AUDIO: no audio device, continuing without sound");
    } else if (held && saved >= 0) {
        std::rewind(held);
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, held)) > 0;) std::fwrite(chunk, 1, n, stderr);
    }
    if (held) std::fclose(held);
}

// The host's own options, taken out of the command line; the rest is the game's.
struct HostOptions {
    bool headless = false;
    int fps = 60;
    bool fpsGiven = false;
    std::vector<std::string> game;
};

constexpr int kMaxFps = 1000;

// A whole number of frames a second, 1..kMaxFps, in plain digits.
bool ReadFps(const char* text, int* fps) {
    if (!*text || std::strlen(text) > 4) return false;
    int value = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9') return false;
        value = value * 10 + (*c - '0');
    }
    if (value < 1 || value > kMaxFps) return false;
    *fps = value;
    return true;
}

// "--headless" and "--fps N" (or "--fps=N") anywhere before a "--", which ends
// the host's options and is dropped; everything else goes to the game in order.
// A bad frame rate is an error on stderr (false).
bool ReadOptions(int argc, char** argv, HostOptions* options) {
    bool hostOptions = true;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (!hostOptions) {
            options->game.push_back(word);
        } else if (word == "--") {
            hostOptions = false;
        } else if (word == "--headless") {
            options->headless = true;
        } else if (word == "--fps" || word.rfind("--fps=", 0) == 0) {
            const char* value = word == "--fps" ? (i + 1 < argc ? argv[++i] : nullptr) : argv[i] + 6;
            if (!value || !ReadFps(value, &options->fps)) {
                std::fprintf(stderr, "--fps takes a whole number of frames a second from 1 to %d, %s%s%s\n", kMaxFps,
                             value ? "not \"" : "and was given none", value ? value : "", value ? "\"" : "");
                return false;
            }
            options->fpsGiven = true;
        } else {
            options->game.push_back(word);
        }
    }
    return true;
}

// Set by SIGINT or SIGTERM; the headless loop ends at the next frame.
volatile std::sig_atomic_t StopAsked = 0;
void AskToStop(int) { StopAsked = 1; }

#ifdef _WIN32
// Windows sleeps in steps of its timer tick (15.6 ms) unless a finer one is
// asked for; raylib asks when it opens a window, which a headless run never does.
extern "C" __declspec(dllimport) unsigned int __stdcall timeBeginPeriod(unsigned int);
extern "C" __declspec(dllimport) unsigned int __stdcall timeEndPeriod(unsigned int);
#endif

// The headless frame loop: the game's frame without drawing, at `fps` frames a
// second, sleeping until each frame's deadline. Deadlines are absolute, so the
// rate holds over time; a frame late by more than a whole period (a stall)
// starts the count again instead of bursting to catch up.
void RunHeadless(int fps) {
    using Clock = std::chrono::steady_clock;
#ifdef _WIN32
    timeBeginPeriod(1);
#endif
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / fps));
    World::App::FrameStart = World::App::Now();
    Clock::time_point deadline = Clock::now();
    while (!StopAsked) {
        const double now = World::App::Now();
        World::App::FrameSeconds = static_cast<float>(now - World::App::FrameStart);
        World::App::FrameStart = now;
        World::App::PollReload();
        World::App::StepWorld();
        World::App::BeforeTick();
        World::App::TickGame();
        S2D_EndFrame();  // what tick queued goes: nothing draws it
        World::App::AfterTick();
        Stats::EndFrame();
        deadline += period;
        const Clock::time_point after = Clock::now();
        if (after < deadline) std::this_thread::sleep_until(deadline);
        else if (after - deadline > period) deadline = after;
    }
#ifdef _WIN32
    timeEndPeriod(1);
#endif
}

// The game unloaded, its peers told, and the layers it used closed: the end of both loops.
void CloseGame() {
    UnloadGame();
    World::Net::Disconnect();
    P3D_Close();
    S2D_Close();
    A3D_Close();
}

}  // namespace

int main(int argc, char** argv) {
    SetTraceLogCallback(LogToStderr);
    // Started by a crash handler to name the frames and show the box.
    if (argc > 1 && std::strcmp(argv[1], Platform::kFaultReportFlag) == 0) {
        SetTraceLogLevel(LOG_WARNING);
        return Platform::RunFaultReport(argc, argv);
    }
    HostOptions options;
    if (!ReadOptions(argc, argv, &options)) return 2;
    World::App::SetCommandLine(options.headless, options.game);
    Platform::InstallFaultHandlers(kCrashCaption, DialogsEnabled());  // no box headless
    SetTraceLogLevel(TraceLevel());
    if (options.headless) {
        // A stop asked for while the game loads ends the run after its init.
        std::signal(SIGINT, AskToStop);
        std::signal(SIGTERM, AskToStop);
        A3D_Init();  // without a device its sounds and music run against a clock
        P3D_Init();
        Platform::NoteLoadedModules();
        SearchAndSetResourceDir("assets");
        LoadGame();  // models load for ray tests and bodies, nothing goes to a GPU
        World::Api::NoteFocusAroundPoll(false, false);  // no pointer: no movement
        World::App::CallGame("init", game_init, Fatal::InitFailed);
        RunHeadless(options.fps);
        CloseGame();
        return 0;
    }
    if (options.fpsGiven) std::fprintf(stderr, "--fps sets the rate of a --headless run; the window keeps the display's\n");
    SetConfigFlags(FLAG_WINDOW_HIGHDPI | FLAG_VSYNC_HINT);
    InitWindow(1280, 800, "Vantor v0.0.0");
    // Without a window there is no GL context, and the first GL call would jump to null.
    Fail(Fatal::NoWindow, !IsWindowReady());
    Platform::PinGamepadLibrary();  // closing the window must not unload it under wine's XInput thread
    World::Input::Install();
#if defined(__SANITIZE_ADDRESS__) && !defined(_WIN32)
    Platform::PinGlDriver();  // so LeakSanitizer at exit reports only what is ours
#endif
    StartAudio();  // no sound device is not an error: the game then plays silently
    A3D_Init();
    R3D_Init(1280, 800);
    S2D_Init();
    P3D_Init();
    Platform::NoteLoadedModules();  // the GL driver and what came with the window
    SearchAndSetResourceDir("assets");
    LoadGame();
    Inspector::Start(argc > 0 ? argv[0] : nullptr);

    World::App::CallGame("init", game_init, Fatal::InitFailed);

    World::Api::NoteFocusAroundPoll(false, false);  // nothing polled so far is the player's
    const bool reloading = Reload::Enabled();
    World::App::FrameStart = World::App::Now();  // the first frame is timed from here, not from the window's opening
    while (!WindowShouldClose()) {
        const double now = World::App::Now();
        // The inspector's time controls hold or scale the game's "DeltaTime".
        World::App::FrameSeconds = Inspector::GameSeconds(static_cast<float>(now - World::App::FrameStart));
        World::App::FrameStart = now;
        World::App::PollReload();
        BeginDrawing();
        Inspector::Update();  // F1, its windows and edits; what input it uses is held from the game
        World::App::StepWorld();
        R3D_Begin(GameCamera);
        World::Buffers::Draw();
        World::Particles::Draw();
        R3D_End();
        Inspector::DrawWorld();  // colliders and the selection's outline, over the scene
        World::App::BeforeTick();
        double before = GetTime();
        World::App::TickGame();
        Inspector::NoteTick(1000.0 * (GetTime() - before));
        before = GetTime();
        S2D_EndFrame();  // what tick drew, over the scene and under what follows
        Inspector::NoteScreen(1000.0 * (GetTime() - before));
        if (reloading && Reload::Paused()) Reload::DrawPauseNotice();
        World::App::AfterTick();  // sounds heard from where tick left the camera and the scene
        if (World::App::FpsVisible) DrawFPS(10, 10);
        Inspector::Draw();  // over everything
        bool focused = IsWindowFocused();
        World::Input::BeginPoll();
        EndDrawing();  // also polls input
        World::Api::NoteFocusAroundPoll(focused, IsWindowFocused());
        Stats::EndFrame();  // the stats line (VANTOR_STATS=1) and the inspector's graph
    }

    Inspector::Close();
    CloseGame();
    if (IsAudioDeviceReady()) CloseAudioDevice();  // without a device there is nothing to close, and raylib would warn
    CloseWindow();
    return 0;
}
