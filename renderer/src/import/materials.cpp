// Materials from glTF, FBX and OBJ onto one metallic-roughness model.
//
// glTF gives it directly (base colour, metallic, roughness, normal, occlusion, emissive,
// alpha mode, double-sided). Its specular-glossiness extension is converted: roughness is
// 1 - glossiness, and the metalness that reflects the given specular colour is solved for
// (per texel when there is a specular-glossiness texture). FBX and OBJ describe Phong
// materials: the diffuse colour is the base colour, the surface is a dielectric, the
// shininess exponent n gives the roughness of the microfacet lobe with the same width,
// (2 / (n + 2))^(1/4), and the specular colour's strength scales the 4% reflectance (0.5,
// Blender's default, keeps 4%). An opacity below 1 blends, an opacity map cuts out by the
// base texture's alpha. Colours are taken as the display values they are in the file.
#include "import/materials.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include <assimp/GltfMaterial.h>
#include <assimp/material.h>
#include <assimp/scene.h>

#include "base/Log.h"
#include "base/Numbers.h"
#include "image_files.h"
#include "raylib.h"  // Required for: LoadTextureFromImage(), ImageFormat()
#include "rlgl.h"    // Required for: rlUnloadTexture()
#include "import/texture_files.h"

namespace r3d {
namespace {

constexpr float kDielectricReflectance = 0.04f;

// How a texture's texels are used, which decides what loading does to them.
enum class TextureUse { kAsIs, kNormalOrBump, kSpecularGlossiness };

struct SpecularGlossiness {
    float diffuse[4], specular[3], glossiness;
};

float Brightness(float r, float g, float b) { return std::sqrt(0.299f * r * r + 0.587f * g * g + 0.114f * b * b); }

// The metalness m for which a metallic-roughness surface reflects as much as the given
// specular-glossiness one: its specular is 0.04 (1 - m) + base m, its diffuse
// base (1 - m) (1 - 0.04), which for the brightnesses leaves a quadratic in m.
float SolveMetallic(float diffuse, float specular, float maxSpecular) {
    if (specular < kDielectricReflectance) return 0.0f;
    const float a = kDielectricReflectance;
    const float b = diffuse * (1.0f - maxSpecular) / (1.0f - kDielectricReflectance) + specular - 2.0f * kDielectricReflectance;
    const float c = kDielectricReflectance - specular;
    const float d = std::max(b * b - 4.0f * a * c, 0.0f);
    return std::clamp((-b + std::sqrt(d)) / (2.0f * a), 0.0f, 1.0f);
}

float MaxOf(const float* c) { return std::max(c[0], std::max(c[1], c[2])); }

// A texture stored inside the file: compressed bytes (PNG, JPEG...) or raw BGRA texels.
Image ImageFromEmbedded(const aiTexture* texture, std::string* why) {
    if (texture->mHeight == 0) return ImageFiles::Decode(texture->pcData, texture->mWidth, why);
    if (texture->pcData == nullptr || static_cast<long long>(texture->mWidth) * texture->mHeight > ImageFiles::kMaxImagePixels) {
        *why = "its raw texels are missing or too many";
        return Image{};
    }
    Image image{};
    int count = static_cast<int>(texture->mWidth * texture->mHeight);
    unsigned char* pixels = static_cast<unsigned char*>(MemAlloc(static_cast<unsigned int>(count) * 4));
    for (int i = 0; i < count; i++) {
        const aiTexel& t = texture->pcData[i];
        pixels[i * 4 + 0] = t.r;
        pixels[i * 4 + 1] = t.g;
        pixels[i * 4 + 2] = t.b;
        pixels[i * 4 + 3] = t.a;
    }
    image.data = pixels;
    image.width = static_cast<int>(texture->mWidth);
    image.height = static_cast<int>(texture->mHeight);
    image.mipmaps = 1;
    image.format = PIXELFORMAT_UNCOMPRESSED_R8G8B8A8;
    return image;
}

// A bump (height) map is grey; a tangent-space normal map leans to blue, with red and
// green around the middle. OBJ files name either with map_Bump.
bool LooksLikeNormalMap(const Image& image) {
    const auto* p = static_cast<const unsigned char*>(image.data);
    const long long n = static_cast<long long>(image.width) * image.height;
    if (n == 0) return false;
    long long sum[3] = {};
    for (long long i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) sum[c] += p[i * 4 + c];
    }
    const double r = sum[0] / (255.0 * n), g = sum[1] / (255.0 * n), b = sum[2] / (255.0 * n);
    return b > 0.6 && std::fabs(r - 0.5) < 0.2 && std::fabs(g - 0.5) < 0.2 && b > r + 0.15;
}

// Turns a specular-glossiness texture into the metallic-roughness layout in place:
// roughness into green, metalness into blue.
void BakeMetalRough(Image& image, const SpecularGlossiness& sg) {
    auto* p = static_cast<unsigned char*>(image.data);
    const long long n = static_cast<long long>(image.width) * image.height;
    const float diffuse = Brightness(sg.diffuse[0], sg.diffuse[1], sg.diffuse[2]);
    for (long long i = 0; i < n; ++i) {
        unsigned char* t = p + i * 4;
        const float s[3] = {t[0] / 255.0f * sg.specular[0], t[1] / 255.0f * sg.specular[1], t[2] / 255.0f * sg.specular[2]};
        const float gloss = t[3] / 255.0f * sg.glossiness;
        const float metal = SolveMetallic(diffuse, Brightness(s[0], s[1], s[2]), MaxOf(s));
        t[0] = 0;
        t[1] = static_cast<unsigned char>(std::lround((1.0f - gloss) * 255.0f));
        t[2] = static_cast<unsigned char>(std::lround(metal * 255.0f));
        t[3] = 255;
    }
}

class Reader {
public:
    Reader(const aiScene& scene, const std::string& directory, const char* fileName, bool gpu)
        : scene_(scene), directory_(directory), fileName_(fileName), gpu_(gpu) {}

    Material Read(const aiMaterial& source);

private:
    // The file's first texture of any of `types`, or "".
    static std::string TexturePath(const aiMaterial& source, std::initializer_list<aiTextureType> types) {
        aiString path;
        for (aiTextureType type : types) {
            if (source.GetTexture(type, 0, &path) == AI_SUCCESS && path.length > 0) return path.C_Str();
        }
        return {};
    }

    unsigned int Load(const std::string& path, TextureUse use, const SpecularGlossiness* sg = nullptr);

    const aiScene& scene_;
    std::string directory_;
    const char* fileName_;
    bool gpu_;
    // Path (and use) in the file -> GL id, so that materials sharing a texture share it.
    std::unordered_map<std::string, unsigned int> textures_;
};

unsigned int Reader::Load(const std::string& path, TextureUse use, const SpecularGlossiness* sg) {
    if (!gpu_ || path.empty()) return 0;
    std::string key = path + '\n' + std::to_string(static_cast<int>(use));
    if (sg != nullptr) key += '\n' + std::to_string(textures_.size());  // baked with this material's factors
    auto cached = textures_.find(key);
    if (cached != textures_.end()) return cached->second;

    Image image{};
    std::string file, why;
    if (const aiTexture* embedded = scene_.GetEmbeddedTexture(path.c_str())) {
        image = ImageFromEmbedded(embedded, &why);
        file = "embedded";
    } else {
        file = FindTextureFile(directory_, path);
        if (!file.empty()) image = ImageFiles::Load(file, &why);
    }
    unsigned int id = 0;
    if (image.data != nullptr) {
        ImageFormat(&image, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8);
        bool keep = true;
        if (use == TextureUse::kNormalOrBump) keep = LooksLikeNormalMap(image);
        if (use == TextureUse::kSpecularGlossiness && sg != nullptr) BakeMetalRough(image, *sg);
        if (keep) {
            Texture2D texture = LoadTextureFromImage(image);
            if (texture.id != 0) {
                GenTextureMipmaps(&texture);
                SetTextureFilter(texture, TEXTURE_FILTER_TRILINEAR);
                SetTextureWrap(texture, TEXTURE_WRAP_REPEAT);
            }
            id = texture.id;
        }
        UnloadImage(image);
    } else if (file.empty()) {
        base::Warn("R3D",
                   "model \"%s\": texture \"%s\" not found (nor by its name beside the model, in its "
                   "subfolders or in the assets folder); the material keeps its colour",
                   fileName_, path.c_str());
    } else {
        base::Warn("R3D", "model \"%s\": texture \"%s\" (%s) could not be read: %s; the material keeps its colour",
                   fileName_, path.c_str(), file.c_str(), why.c_str());
    }
    textures_[key] = id;
    return id;
}

bool GetColor(const aiMaterial& m, const char* key, unsigned int type, unsigned int index, float* out, int channels) {
    aiColor4D c(1.0f, 1.0f, 1.0f, 1.0f);
    if (aiGetMaterialColor(&m, key, type, index, &c) != AI_SUCCESS) return false;
    const float v[4] = {c.r, c.g, c.b, c.a};
    // NaN or infinity (a file's "nan", "1e39") counts as 0; colours may exceed 1 (emission),
    // never go below 0.
    for (int i = 0; i < channels; ++i) out[i] = v[i] > 0.0f && base::Finite(v[i]) ? v[i] : 0.0f;
    return true;
}

bool GetFloat(const aiMaterial& m, const char* key, unsigned int type, unsigned int index, float& out) {
    float v = 0.0f;
    if (m.Get(key, type, index, v) != AI_SUCCESS || !base::Finite(v)) return false;
    out = v;
    return true;
}

Material Reader::Read(const aiMaterial& source) {
    Material m;
    aiString alphaMode;
    const bool gltf = source.Get(AI_MATKEY_GLTF_ALPHAMODE, alphaMode) == AI_SUCCESS;
    SpecularGlossiness sg{};
    const bool specGloss = GetFloat(source, AI_MATKEY_GLOSSINESS_FACTOR, sg.glossiness);

    if (specGloss) {
        // The extension's diffuse factor comes as the diffuse colour; the base colour key is left white.
        std::fill(sg.diffuse, sg.diffuse + 4, 1.0f);
        std::fill(sg.specular, sg.specular + 3, 1.0f);
        GetColor(source, AI_MATKEY_COLOR_DIFFUSE, sg.diffuse, 4);
        GetColor(source, AI_MATKEY_COLOR_SPECULAR, sg.specular, 3);
        const float diffuse = Brightness(sg.diffuse[0], sg.diffuse[1], sg.diffuse[2]);
        const float maxSpecular = MaxOf(sg.specular);
        const float metal = SolveMetallic(diffuse, Brightness(sg.specular[0], sg.specular[1], sg.specular[2]), maxSpecular);
        // The base colour that gives the diffuse colour as a dielectric and the specular colour as a metal.
        for (int c = 0; c < 3; ++c) {
            const float asDielectric = sg.diffuse[c] * (1.0f - maxSpecular) / (1.0f - kDielectricReflectance) / std::max(1.0f - metal, 1e-4f);
            const float asMetal = (sg.specular[c] - kDielectricReflectance * (1.0f - metal)) / std::max(metal, 1e-4f);
            m.baseColor[c] = std::clamp(asDielectric + (asMetal - asDielectric) * metal * metal, 0.0f, 1.0f);
        }
        m.baseColor[3] = sg.diffuse[3];
        m.metallic = metal;
        m.roughness = 1.0f - sg.glossiness;
        m.baseTexture = Load(TexturePath(source, {aiTextureType_DIFFUSE}), TextureUse::kAsIs);
        const std::string specular = TexturePath(source, {aiTextureType_SPECULAR});
        if (!specular.empty()) {
            m.metalRoughTexture = Load(specular, TextureUse::kSpecularGlossiness, &sg);
            if (m.metalRoughTexture != 0) m.metallic = m.roughness = 1.0f;  // the texture holds both
        }
    } else if (gltf) {
        GetColor(source, AI_MATKEY_BASE_COLOR, m.baseColor, 4);
        m.metallic = 1.0f;  // glTF's defaults
        m.roughness = 1.0f;
        GetFloat(source, AI_MATKEY_METALLIC_FACTOR, m.metallic);
        GetFloat(source, AI_MATKEY_ROUGHNESS_FACTOR, m.roughness);
        m.baseTexture = Load(TexturePath(source, {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE}), TextureUse::kAsIs);
        m.metalRoughTexture = Load(TexturePath(source, {aiTextureType_UNKNOWN, aiTextureType_METALNESS}), TextureUse::kAsIs);
    } else {
        if (!GetColor(source, AI_MATKEY_BASE_COLOR, m.baseColor, 4)) GetColor(source, AI_MATKEY_COLOR_DIFFUSE, m.baseColor, 3);
        float shininess = 0.0f;
        // Zero is also what a file without the value reads as: keep the default then.
        if (GetFloat(source, AI_MATKEY_SHININESS, shininess) && shininess > 0.0f) {
            m.roughness = std::pow(2.0f / (shininess + 2.0f), 0.25f);
        }
        float specular[3] = {};
        if (GetColor(source, AI_MATKEY_COLOR_SPECULAR, specular, 3) && MaxOf(specular) > 0.0f) {
            m.specular = std::min(2.0f * MaxOf(specular), 2.5f);
        }
        float opacity = 1.0f;
        if (GetFloat(source, AI_MATKEY_OPACITY, opacity) && opacity < 1.0f) {
            m.baseColor[3] = std::clamp(opacity, 0.0f, 1.0f);
            m.alphaMode = AlphaMode::kBlend;
        }
        m.baseTexture = Load(TexturePath(source, {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE}), TextureUse::kAsIs);
        if (m.baseTexture != 0 && !TexturePath(source, {aiTextureType_OPACITY}).empty() &&
            m.alphaMode == AlphaMode::kOpaque) {
            m.alphaMode = AlphaMode::kMask;  // a cut-out: leaves, fences
        }
    }

    m.normalTexture = Load(TexturePath(source, {aiTextureType_NORMALS}), TextureUse::kAsIs);
    if (m.normalTexture != 0) GetFloat(source, AI_MATKEY_GLTF_TEXTURE_SCALE(aiTextureType_NORMALS, 0), m.normalScale);
    if (m.normalTexture == 0 && !gltf) m.normalTexture = Load(TexturePath(source, {aiTextureType_HEIGHT}), TextureUse::kNormalOrBump);

    // glTF's occlusion texture arrives as a light map.
    const std::string occlusion = gltf ? TexturePath(source, {aiTextureType_AMBIENT_OCCLUSION, aiTextureType_LIGHTMAP})
                                       : TexturePath(source, {aiTextureType_AMBIENT_OCCLUSION});
    m.occlusionTexture = Load(occlusion, TextureUse::kAsIs);
    if (m.occlusionTexture != 0) {
        GetFloat(source, AI_MATKEY_GLTF_TEXTURE_STRENGTH(aiTextureType_LIGHTMAP, 0), m.occlusionStrength);
        m.occlusionStrength = std::clamp(m.occlusionStrength, 0.0f, 1.0f);
    }

    GetColor(source, AI_MATKEY_COLOR_EMISSIVE, m.emissive, 3);
    float intensity = 1.0f;
    if (GetFloat(source, AI_MATKEY_EMISSIVE_INTENSITY, intensity) && intensity >= 0.0f) {
        for (float& e : m.emissive) e *= intensity;
    }
    m.emissiveTexture = Load(TexturePath(source, {aiTextureType_EMISSIVE}), TextureUse::kAsIs);
    // OBJ and FBX name an emission map without a colour to scale it: take it as it is.
    if (m.emissiveTexture != 0 && !gltf && MaxOf(m.emissive) <= 0.0f) std::fill(m.emissive, m.emissive + 3, 1.0f);

    if (gltf) {
        if (std::strcmp(alphaMode.C_Str(), "MASK") == 0) m.alphaMode = AlphaMode::kMask;
        if (std::strcmp(alphaMode.C_Str(), "BLEND") == 0) m.alphaMode = AlphaMode::kBlend;
        GetFloat(source, AI_MATKEY_GLTF_ALPHACUTOFF, m.alphaCutoff);
    }
    // Stored as a single byte by some readers and as an int by others.
    const aiMaterialProperty* twoSided = nullptr;
    if (aiGetMaterialProperty(&source, AI_MATKEY_TWOSIDED, &twoSided) == AI_SUCCESS && twoSided->mDataLength > 0) {
        m.doubleSided = false;
        for (unsigned int i = 0; i < twoSided->mDataLength; ++i) m.doubleSided |= twoSided->mData[i] != 0;
    }
    m.metallic = std::clamp(m.metallic, 0.0f, 1.0f);
    m.roughness = std::clamp(m.roughness, 0.0f, 1.0f);
    for (float& c : m.baseColor) c = std::min(c, 1.0f);
    return m;
}

}  // namespace

std::vector<Material> ReadMaterials(const aiScene& scene, const std::string& directory, const char* fileName, bool gpu) {
    Reader reader(scene, directory, fileName, gpu);
    std::vector<Material> materials;
    for (unsigned int i = 0; i < scene.mNumMaterials; i++) materials.push_back(reader.Read(*scene.mMaterials[i]));
    if (materials.empty()) materials.push_back(Material{});
    return materials;
}

bool SceneWantsTangents(const aiScene& scene) {
    for (unsigned int i = 0; i < scene.mNumMaterials; i++) {
        const aiMaterial& m = *scene.mMaterials[i];
        if (m.GetTextureCount(aiTextureType_NORMALS) > 0 || m.GetTextureCount(aiTextureType_HEIGHT) > 0) return true;
    }
    return false;
}

void UnloadMaterialTextures(const std::vector<Material>& materials) {
    std::unordered_set<unsigned int> freed;
    for (const Material& m : materials) {
        for (unsigned int id : {m.baseTexture, m.normalTexture, m.metalRoughTexture, m.occlusionTexture, m.emissiveTexture}) {
            if (id != 0 && freed.insert(id).second) rlUnloadTexture(id);
        }
    }
}

}  // namespace r3d
