// The world around the scene: the sky and its light, fog, ambient occlusion, bloom
// and exposure. Each is a setting of the renderer; what a game never asks for stays
// off and costs nothing.
#include <cctype>
#include <cmath>
#include <string>
#include <unordered_map>

#include "Catalog.h"
#include "World.h"
#include "base/Log.h"
#include "image_files.h"
#include "r3d.h"
#include "raylib.h"

namespace World::Api {
namespace {

// Panoramas by the name "LoadSky" gave them, as decoded (the renderer copies the one in
// use): a Radiance file as linear floats, a picture as its 8-bit display colours.
struct Panorama {
    ImageFiles::HdrImage linear;
    Image picture{};
    Image View() const {
        if (picture.data != nullptr) return picture;
        Image view{};
        view.data = const_cast<float*>(linear.rgb.data());
        view.width = linear.width, view.height = linear.height, view.mipmaps = 1;
        view.format = PIXELFORMAT_UNCOMPRESSED_R32G32B32;
        return view;
    }
};
struct Panoramas {
    std::unordered_map<std::string, Panorama> byName;
    ~Panoramas() {
        for (auto& [name, panorama] : byName) UnloadImage(panorama.picture);
    }
} panoramas;

bool IsRadiance(const std::string& path) {
    std::string tail = path.size() >= 4 ? path.substr(path.size() - 4) : path;
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".hdr";
}

// What "SetSky" with "" goes back to: the last colours "SetSkyColors" gave, or a clear day.
Color skyColors[3] = {{70, 120, 190, 255}, {185, 205, 225, 255}, {60, 58, 55, 255}};

// A setting that must be a number of at least 0: NaN, infinity or a negative amount
// is a bug in the game, reported rather than guessed at.
float Amount(float value, int position, const char* what) {
    if (!std::isfinite(value) || value < 0.0f)
        throw BadValue("argument " + std::to_string(position) + " (" + what + ") must be a finite number of at least 0, not " +
                       std::to_string(value));
    return value;
}

void SetSkyColors(Color zenith, Color horizon, Color ground) {
    skyColors[0] = zenith, skyColors[1] = horizon, skyColors[2] = ground;
    R3D_SetSkyColors(zenith, horizon, ground);
}

void LoadSky(std::string name, std::string path) {
    std::string why;
    Panorama panorama;
    if (IsRadiance(path)) panorama.linear = ImageFiles::LoadFloat(path, &why);
    else panorama.picture = ImageFiles::Load(path, &why);
    if (!panorama.linear && panorama.picture.data == nullptr) {
        base::Warn("SKY", "could not load sky \"%s\" from \"%s\": %s; the sky is unchanged", name.c_str(), path.c_str(),
                   why.c_str());
        return;
    }
    auto found = panoramas.byName.find(name);
    if (found != panoramas.byName.end()) UnloadImage(found->second.picture);
    panoramas.byName[name] = std::move(panorama);
}

void SetSky(std::string name) {
    if (name.empty()) {
        R3D_SetSkyColors(skyColors[0], skyColors[1], skyColors[2]);
        return;
    }
    auto found = panoramas.byName.find(name);
    if (found == panoramas.byName.end()) throw BadValue("argument 0: no sky is named \"" + name + "\" (\"LoadSky\" names them)");
    R3D_SetSkyPanorama(found->second.View());
}

void SetSkyLight(float intensity) { R3D_SetSkyLight(Amount(intensity, 0, "intensity")); }
void SetFog(Color color, float density, float falloff) {
    if (!std::isfinite(falloff)) throw BadValue("argument 2 (height falloff) is not a finite number");
    R3D_SetFog(color, Amount(density, 1, "density"), falloff);
}
void SetAmbientOcclusion(float radius, float strength) {
    R3D_SetAmbientOcclusion(Amount(radius, 0, "radius"), Amount(strength, 1, "strength"));
}
void SetBloom(float strength, float threshold) { R3D_SetBloom(Amount(strength, 0, "strength"), Amount(threshold, 1, "threshold")); }
void SetExposure(float exposure) { R3D_SetExposure(Amount(exposure, 0, "exposure")); }

}  // namespace

void AddEnvironmentEntries(Catalog& c) {
    c.push_back(Func("SetSkyColors", SetSkyColors,
                     "Draws a procedural sky behind everything, zenith to horizon to ground, with a sun disc where the first "
                     "active \"Global\" light shines from.",
                     {"zenith colour", "horizon colour", "ground colour"}));
    c.push_back(Func("LoadSky", LoadSky,
                     "Loads an equirectangular panorama (Radiance .hdr, PNG, JPG) as a sky of that name; a file that cannot be "
                     "used is one warning and leaves the sky as it is.",
                     {"name", "path"}));
    c.push_back(Func("SetSky", SetSky,
                     "Shows the panorama of that name (its centre column straight ahead along -Z), or the procedural sky for \"\".",
                     {"name"}));
    c.push_back(Func("SetSkyLight", SetSkyLight,
                     "How strongly the sky lights every surface from the directions it faces and shows in glossy and metal "
                     "ones; 0 (the default) is off.",
                     {"intensity"}));
    c.push_back(Func("SetFog", SetFog,
                     "Fog thickening with distance, thinning with height by the falloff (0: the same at every height); "
                     "density 0 (the default) is off.",
                     {"colour", "density per metre", "height falloff per metre"}));
    c.push_back(Func("SetAmbientOcclusion", SetAmbientOcclusion,
                     "Darkens corners and creases in screen space; radius 0 (the default) is off.",
                     {"radius in metres", "strength"}));
    c.push_back(Func("SetBloom", SetBloom,
                     "What is brighter than the threshold glows; strength 0 (the default) is off.",
                     {"strength", "threshold"}));
    c.push_back(Func("SetExposure", SetExposure, "Scales the lit colour before the tone curve (default 1).", {"exposure"}));
}

}  // namespace World::Api
