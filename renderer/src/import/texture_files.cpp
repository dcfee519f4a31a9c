#include "import/texture_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace r3d {
namespace {

// A folder tree searched by name stops after this many entries: a model lying
// in a huge folder must not stall its loading.
constexpr int kMaxSearchedEntries = 20000;

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool IsFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// `path` itself when it is a file, else the file whose every folder and name
// match it ignoring case; "" when there is none.
fs::path ExistingIgnoringCase(const fs::path& path) {
    if (IsFile(path)) return path;
    fs::path at = path.root_path();
    for (const fs::path& part : path.relative_path()) {
        fs::path next = at / part;
        std::error_code error;
        if (part != "." && part != ".." && !fs::exists(next, error)) {
            bool found = false;
            for (fs::directory_iterator it(at.empty() ? fs::path(".") : at, error), end; !error && it != end;
                 it.increment(error)) {
                if (EqualIgnoringCase(it->path().filename().string(), part.string())) {
                    next = at / it->path().filename();
                    found = true;
                    break;
                }
            }
            if (!found) return {};
        }
        at = next;
    }
    return IsFile(at) ? at : fs::path();
}

// A file called `name` in `folder` or below: one with exactly that name if
// there is one, else the first that matches ignoring case; "" when none.
fs::path FindByName(const fs::path& folder, const std::string& name) {
    if (IsFile(folder / name)) return folder / name;
    fs::path caseless;
    std::error_code error;
    int seen = 0;
    const auto options = fs::directory_options::skip_permission_denied;
    for (fs::recursive_directory_iterator it(folder.empty() ? fs::path(".") : folder, options, error), end;
         !error && it != end && seen < kMaxSearchedEntries; it.increment(error), seen++) {
        const std::string entry = it->path().filename().string();
        if (!EqualIgnoringCase(entry, name) || !IsFile(it->path())) continue;
        if (entry == name) return it->path();
        if (caseless.empty()) caseless = it->path();
    }
    return caseless;
}

}  // namespace

std::string FindTextureFile(const std::string& modelDir, const std::string& written, const std::string& assetsDir) {
    if (written.empty()) return {};
    const fs::path folder(modelDir);
    std::string slashed = written;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');

    for (const std::string& path : {written, slashed}) {
        const fs::path candidate(path);
        fs::path found = ExistingIgnoringCase(candidate.is_absolute() ? candidate : folder / candidate);
        if (!found.empty()) return found.string();
    }
    const std::string name = fs::path(slashed).filename().string();
    if (name.empty() || name == "." || name == "..") return {};
    fs::path found = FindByName(folder, name);
    if (found.empty()) {
        std::error_code error;
        const fs::path assets(assetsDir);
        if (!fs::equivalent(assets, folder.empty() ? fs::path(".") : folder, error)) found = FindByName(assets, name);
    }
    return found.string();
}

}  // namespace r3d
