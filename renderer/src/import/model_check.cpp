// glTF and GLB files are checked here before assimp reads them (import/gltf_check.h),
// broken skins and clips taken out (import/skin_repair.h) and the clips read as the
// file defines them (import/clip_reader.h). A file that had to be changed is handed
// to the importer rewritten, a GLB keeping its binary chunk.
#include "import/model_check.h"

#include <cctype>
#include <cstring>

#include "base/Files.h"
#include "import/clip_reader.h"
#include "import/gltf/glb.h"
#include "import/gltf/json.h"
#include "import/gltf_check.h"
#include "import/skin_repair.h"

namespace r3d {
namespace {

bool EndsWith(std::string text, const char* suffix) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    size_t n = strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// Without a glTF name, a file is read as glTF when its content looks like JSON.
bool LooksLikeJson(const std::vector<unsigned char>& file) {
    size_t at = file.size() >= 3 && memcmp(file.data(), "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    while (at < file.size() && strchr(" \t\r\n", file[at]) != nullptr && file[at] != 0) at++;
    return at < file.size() && file[at] == '{';
}

}  // namespace

bool CheckModelFile(const char* fileName, bool otherFormat, std::string* reason, GltfAnimation* animation) {
    if (otherFormat) return true;
    const std::string name(fileName);
    base::FileData read = base::ReadFile(name, gltf_check::kMaxFileBytes);
    if (read.error == base::FileError::TooLarge || read.error == base::FileError::ReadError) {
        *reason = read.why;
        return false;
    }
    if (!read) return true;  // the importer says why it cannot open it
    const std::vector<unsigned char>& file = read.bytes;
    const bool glb = file.size() >= 4 && memcmp(file.data(), "glTF", 4) == 0;
    if (!glb && !EndsWith(name, ".gltf") && !EndsWith(name, ".glb") && !LooksLikeJson(file)) return true;

    size_t slash = name.find_last_of("/\\");
    std::string directory = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    try {
        gltf::GlbParts parts;
        parts.json = file.data();
        parts.jsonLength = file.size();
        if (glb) {
            const std::string why = gltf::SplitGlb(file.data(), file.size(), parts);
            if (!why.empty()) gltf_check::Fail(why);
        }
        gltf::Json root;
        const char* text = reinterpret_cast<const char*>(parts.json);
        if (!gltf::ReadJson(text, text + parts.jsonLength, root)) gltf_check::Fail("the glTF JSON is malformed or nested too deeply");
        if (root.kind != gltf::Json::kObject) gltf_check::Fail("the glTF JSON is not an object");

        gltf_check::Document document(root, directory, parts.bin, parts.binLength);
        document.Check();
        SkinRepair repair;
        RepairSkinsAndClips(document, repair);
        // Without a caller to hand the repaired file to, the importer must not read it.
        if (animation == nullptr) {
            if (repair.repaired) gltf_check::Fail(repair.problems.front());
            return true;
        }
        animation->problems = repair.problems;
        animation->skinsRemoved = repair.skinsRemoved;
        ReadClips(document, repair, *animation);
        // The old GLB layout is not rewritten: a repair refuses such a file, and its
        // nodes keep the names they have.
        const bool rewritable = !glb || parts.version == 2;
        if (repair.repaired && !rewritable) gltf_check::Fail(repair.problems.front());
        const bool renamed = rewritable && NameNodesApart(document, *animation);
        if (repair.repaired || renamed) {
            // The document without what was taken out; a GLB keeps its binary chunk.
            std::string json;
            gltf::WriteJson(root, json);
            if (glb) {
                animation->repaired = gltf::WriteGlb(json, parts.bin, parts.binLength, parts.bin != nullptr);
            } else {
                animation->repaired.assign(json.begin(), json.end());
            }
        }
    } catch (const gltf_check::Failure& failure) {
        *reason = failure.reason;
        return false;
    }
    return true;
}

}  // namespace r3d
