#include "Reload.h"

#include <cstdarg>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "Files.h"
#include "GameCall.h"
#include "Loader.h"
#include "Module.h"
#include "World.h"
#include "base/Log.h"
#include "r3d.h"
#include "raylib.h"

namespace fs = std::filesystem;

namespace Reload {
namespace {

// Every line about reloading goes to stderr and into the kept log (the inspector shows it).
void Say(const char* format, ...) VANTOR_PRINTF(1, 2);
void Say(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fputs(line, stderr);
    std::string text(line);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    base::Record("RELOAD", text);
}


using Clock = std::chrono::steady_clock;

// How long a rewritten file must stay unchanged before it is read: linkers and
// exporters write in bursts, and a half-written file must not be taken for a
// broken one. Short enough that new code runs well within half a second.
constexpr auto kSettle = std::chrono::milliseconds(120);

// One watched file: its stamp when it was last read, and a change not read yet.
struct Watch {
    std::string path;
    Platform::FileStamp read;
    Platform::FileStamp pending;
    Clock::time_point since;

    // One status call. True once the file differs from what was read and has
    // stayed the same for kSettle; it then counts as read.
    bool Settled(Clock::time_point now) {
        const Platform::FileStamp stamp = Platform::StampOf(path);
        if (stamp == read) {
            pending = read;
            return false;
        }
        if (stamp != pending) {
            pending = stamp;
            since = now;
            return false;
        }
        if (!stamp.exists || now - since < kSettle) return false;
        read = stamp;
        return true;
    }
};

struct KeptBlock {
    std::size_t size = 0;
    std::unique_ptr<std::max_align_t[]> bytes;
};

struct State {
    Watch module;
    bool watchingModule = false;
    fs::path copies;             // the folder of private copies
    std::string copy;            // the copy loaded now
    unsigned long copyCount = 0;
    std::unordered_map<std::string, Watch> models;  // buffer name -> its file
    struct File {
        Watch watch;
        std::function<bool(const std::string&)> reload;
    };
    std::unordered_map<std::string, File> files;  // key -> a font's or an image's file
    bool paused = false;
    bool initFailed = false;     // the scene was not built by a good init(): the next build starts afresh
    std::string pauseMessage;
    std::unordered_map<std::string, KeptBlock> kept;

    // A fatal error ends the process with the module still loaded: its copy
    // goes too (a loaded file can be removed on POSIX systems; on Windows the
    // next start removes it).
    ~State() {
        std::error_code ec;
        if (!copy.empty()) fs::remove(copy, ec);
    }
};

State& Current() {
    static State state;
    return state;
}

std::string CopyPrefix(unsigned long pid) { return "game." + std::to_string(pid) + "."; }

// Copies named game.<pid>.<n>.dll whose process is gone (a crash, a kill).
void RemoveStaleCopies(const fs::path& folder) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        unsigned long pid = 0, n = 0;
        char tail[8] = {};
        if (std::sscanf(name.c_str(), "game.%lu.%lu.%7s", &pid, &n, tail) != 3 || std::strcmp(tail, "dll") != 0)
            continue;
        if (pid == Platform::CurrentProcessId() || !Platform::ProcessAlive(pid)) fs::remove(entry.path(), ec);
    }
}

void RemoveFile(const std::string& path) {
    std::error_code ec;
    if (!path.empty()) fs::remove(path, ec);
}

// A new private copy of the watched module; empty (and `why` set) on failure.
std::string MakeCopy(std::string& why) {
    State& s = Current();
    const fs::path copy = s.copies / (CopyPrefix(Platform::CurrentProcessId()) + std::to_string(++s.copyCount) + ".dll");
    std::error_code ec;
    if (!fs::copy_file(s.module.path, copy, fs::copy_options::overwrite_existing, ec)) {
        why = "could not copy it to " + copy.string() + ": " + ec.message();
        return {};
    }
    return copy.string();
}

void Refuse(const std::string& why) {
    Say("game.dll not reloaded: %s: %s; the running game carries on\n",
                 Current().module.path.c_str(), why.c_str());
    std::fflush(stderr);
}

// Binds the module now on disk in place of the running one. Until the new
// module has taken over, a failure leaves the old one bound and running.
void SwapModule() {
    State& s = Current();
    std::string why;
    const std::string copy = MakeCopy(why);
    if (copy.empty()) return Refuse(why);

    const Platform::ModuleLoad load = Platform::LoadModule(copy.c_str());
    if (!load.handle) {
        RemoveFile(copy);
        return Refuse(load.reason);
    }
    const GameExports fresh = FindGameExports(load.handle);
    if (fresh.missing) {
        Platform::UnloadModule(load.handle);
        RemoveFile(copy);
        return Refuse(fresh.refusal);
    }

    const GameExports old = BoundGame();
    BindGame(fresh);
    World::RegisterEntries();
    const bool keepScene = fresh.reload && !s.initFailed;
    if (keepScene) {
        if (auto what = CatchGame("reload", fresh.reload)) {
            BindGame(old);
            Platform::UnloadModule(fresh.handle);
            RemoveFile(copy);
            return Refuse("reload() threw " + *what);
        }
    }

    Platform::UnloadModule(old.handle);
    RemoveFile(s.copy);
    s.copy = copy;
    s.paused = false;
    if (keepScene) {
        Say("game.dll reloaded: reload() took over the scene\n");
        std::fflush(stderr);
        return;
    }
    Say("game.dll reloaded: the scene was emptied and init() runs again\n");
    std::fflush(stderr);
    World::Clear();
    ResetCamera();
    s.initFailed = false;
    if (auto what = CatchGame("init", game_init)) Pause(std::string(FatalText(Fatal::InitFailed)) + " " + *what, true);
}

void PollModels(Clock::time_point now) {
    State& s = Current();
    for (auto it = s.models.begin(); it != s.models.end();) {
        if (!World::Buffers::Names.count(it->first)) {  // unloaded by the game: nothing to refresh
            it = s.models.erase(it);
            continue;
        }
        if (it->second.Settled(now)) {
            // A file that cannot be used loads empty, with the loader's warning: keep the old model.
            R3D_Model model = R3D_LoadModelEx(it->second.path.c_str(), R3D_IMPORT_OPTIMIZE);
            if (model.meshCount > 0) {
                World::Buffers::ReplaceModel(it->first, model);
                Say("model \"%s\" reloaded\n", it->second.path.c_str());
            } else {
                R3D_UnloadModel(model, true);
                Say("model \"%s\" not reloaded: the old one stays\n", it->second.path.c_str());
            }
            std::fflush(stderr);
        }
        ++it;
    }
}

void PollFiles(Clock::time_point now) {
    State& s = Current();
    for (auto it = s.files.begin(); it != s.files.end();) {
        if (it->second.watch.Settled(now) && !it->second.reload(it->second.watch.path)) {
            it = s.files.erase(it);
            continue;
        }
        ++it;
    }
}

}  // namespace

bool Enabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("VANTOR_RELOAD");
        return value && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

std::string StartModule(const char* fileName) {
    State& s = Current();
    const std::string found = Platform::FindModuleFile(fileName);
    if (found.empty()) return {};
    std::error_code ec;
    s.copies = fs::temp_directory_path(ec) / "vantor-reload";
    fs::create_directories(s.copies, ec);
    RemoveStaleCopies(s.copies);

    s.module.path = found;
    s.module.read = s.module.pending = Platform::StampOf(found);
    std::string why;
    s.copy = MakeCopy(why);
    if (s.copy.empty()) {
        Say("game.dll: %s; it is loaded as it is and not watched\n", why.c_str());
        return {};
    }
    s.watchingModule = true;
    return s.copy;
}

void WatchModel(const std::string& buffer, const std::string& path) {
    Watch watch;
    watch.path = path;
    watch.read = watch.pending = Platform::StampOf(path);
    Current().models[buffer] = watch;
}

void WatchFile(const std::string& key, const std::string& path, std::function<bool(const std::string&)> reload) {
    State::File file;
    file.watch.path = path;
    file.watch.read = file.watch.pending = Platform::StampOf(path);
    file.reload = std::move(reload);
    Current().files[key] = std::move(file);
}

void Poll() {
    State& s = Current();
    const Clock::time_point now = Clock::now();
    if (s.watchingModule && s.module.Settled(now)) SwapModule();
    PollModels(now);
    PollFiles(now);
}

void Pause(const std::string& message, bool initFailed) {
    State& s = Current();
    s.paused = true;
    s.initFailed = s.initFailed || initFailed;
    s.pauseMessage = message;
    Say("%s; the game is paused until game.dll is rebuilt\n", message.c_str());
    std::fflush(stderr);
}

bool Paused() { return Current().paused; }

void DrawPauseNotice() {
    const State& s = Current();
    constexpr int kTop = 320, kHeight = 110, kSize = 20;
    DrawRectangle(0, kTop, GetScreenWidth(), kHeight, Fade(BLACK, 0.8f));
    DrawText("Game paused", 40, kTop + 15, kSize + 10, RED);
    // One line of the message, cut to what fits the window.
    std::string line = s.pauseMessage.substr(0, s.pauseMessage.find('\n'));
    while (line.size() > 4 && MeasureText(line.c_str(), kSize) > GetScreenWidth() - 80) line.resize(line.size() - 4);
    DrawText(line.c_str(), 40, kTop + 55, kSize, RAYWHITE);
    DrawText("Fix the game and build game.dll again to resume.", 40, kTop + 80, kSize, LIGHTGRAY);
}

void Finish() {
    State& s = Current();
    RemoveFile(s.copy);
    s.copy.clear();
    std::error_code ec;
    if (!s.copies.empty()) fs::remove(s.copies, ec);  // only when no other engine's copies are in it
}

void* KeepBlock(const char* name, std::size_t size, int* fresh) {
    KeptBlock& block = Current().kept[name ? name : ""];
    const bool isNew = !block.bytes || block.size != size;
    if (isNew) {
        const std::size_t words = (size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
        block.bytes.reset(new std::max_align_t[words > 0 ? words : 1]());
        block.size = size;
    }
    if (fresh) *fresh = isNew ? 1 : 0;
    return block.bytes.get();
}

}  // namespace Reload
