// Named fonts and images: what the game's screen drawing refers to by name.
// Like models they are resources of the scene: kept when game.dll is swapped
// in place, unloaded with everything else by World::Clear, and in reload mode
// loaded again when their file changes.
#include <cstdio>

#include "Messages.h"
#include "Reload.h"
#include "World.h"

namespace World::Screen {

std::unordered_map<std::string, S2D_Font> Fonts = {{kDefaultFont, S2D_Font{0}}};
std::unordered_map<std::string, S2D_Image> Images;

S2D_Font FontNamed(const char* entry, const std::string& name) {
    auto it = Fonts.find(name);
    Fail(Fatal::FontMissing, it == Fonts.end(), entry, name);
    return it->second;
}

S2D_Image ImageNamed(const char* entry, const std::string& name) {
    auto it = Images.find(name);
    Fail(Fatal::ImageMissing, it == Images.end(), entry, name);
    return it->second;
}

namespace {

// The new file takes the old one's place only when it could be read: a
// half-saved or broken file keeps what was on screen.
template <class Handle, class LoadFn, class UnloadFn>
void Refresh(Handle& loaded, const std::string& path, const char* kind, LoadFn load, UnloadFn unload) {
    const Handle fresh = load(path.c_str());
    if (fresh.id == 0) {
        std::fprintf(stderr, "%s \"%s\" not reloaded: the old one stays\n", kind, path.c_str());
    } else {
        unload(loaded);
        loaded = fresh;
        std::fprintf(stderr, "%s \"%s\" reloaded\n", kind, path.c_str());
    }
    std::fflush(stderr);
}

template <class Handle, class LoadFn, class UnloadFn>
void Watch(std::unordered_map<std::string, Handle>& table, const char* kind, const std::string& name,
           const std::string& path, LoadFn load, UnloadFn unload) {
    if (!Reload::Enabled()) return;
    Reload::WatchFile(std::string(kind) + ":" + name, path, [&table, kind, name, load, unload](const std::string& file) {
        auto it = table.find(name);
        if (it == table.end()) return false;  // unloaded since
        Refresh(it->second, file, kind, load, unload);
        return true;
    });
}

}  // namespace

void LoadFont(const std::string& name, const std::string& path) {
    Fonts[name] = S2D_LoadFont(path.c_str());
    Watch(Fonts, "font", name, path, S2D_LoadFont, S2D_UnloadFont);
}

void LoadImage(const std::string& name, const std::string& path) {
    Images[name] = S2D_LoadImage(path.c_str());
    Watch(Images, "image", name, path, S2D_LoadImage, S2D_UnloadImage);
}

void Clear() {
    for (const auto& entry : Fonts) S2D_UnloadFont(entry.second);
    for (const auto& entry : Images) S2D_UnloadImage(entry.second);
    Fonts = {{kDefaultFont, S2D_Font{0}}};
    Images.clear();
}

}  // namespace World::Screen
