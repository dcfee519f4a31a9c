// The bounds check of a glTF document, before the importer reads it. The importer
// takes offsets, lengths, counts and sparse indices from the JSON as they stand, so a
// "byteOffset" of 2^64-1 wraps its range test and sends it past the end of the
// buffer. Every number it will use to reach into a buffer is therefore measured
// against what the file really holds, in arithmetic that cannot wrap.
//
// Both glTF 2 (collections are arrays, references are indices) and glTF 1
// (collections are objects, references are keys) are walked. The skin repair and the
// clip reader work on the checked document.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "import/gltf/json.h"

namespace r3d::gltf_check {

using gltf::Json;

// Sizes are compared in long double: 2^64 times a 64-byte element still fits exactly
// enough, where size_t arithmetic would wrap.
using Size = long double;

// Why a file must not reach the importer; thrown by the check.
struct Failure {
    std::string reason;
};
[[noreturn]] void Fail(const std::string& reason);

// "node 3", "skin 0": how problems name a part.
std::string Describe(const char* collection, const std::string& key);

// A size or offset as the importer reads it: a plain non-negative integer, else `fallback`.
Size Unsigned(const Json& object, const char* key, Size fallback = 0);

// A collection of glTF 2 (array) or glTF 1 (object keyed by id), walked as (key, value);
// fails when an entry is not an object.
std::vector<std::pair<std::string, const Json*>> Entries(const Json& root, const char* name);

// The key a reference names: an index (glTF 2) or an id (glTF 1); empty when absent.
// `what` names the reference in a failure.
std::string Reference(const Json* value, const char* what);
inline std::string Reference(const Json& object, const char* key) { return Reference(object.Get(key), key); }

struct BufferInfo {
    Size length = 0;                   // as declared, already checked against what exists
    std::vector<unsigned char> bytes;  // the first `length` bytes
};

struct ViewInfo {
    std::string buffer;
    Size offset = 0, length = 0, stride = 0;
};

struct AccessorInfo {
    std::string view;  // empty: zeros
    Size offset = 0, count = 0;
    int componentType = 0;
    size_t components = 0;
    bool normalized = false;
    bool sparse = false;
};

// Whole files a buffer may name, at most (the model file itself is held to the same).
constexpr size_t kMaxFileBytes = size_t{1} << 30;

class Document {
public:
    // `directory` (with its trailing slash) is where buffer files are found; `body` is a
    // GLB's binary chunk (null for a .gltf).
    Document(Json& root, std::string directory, const unsigned char* body, size_t bodyLength)
        : root_(root), directory_(std::move(directory)), body_(body), bodyLength_(bodyLength) {}

    // Measures buffers, views, accessors, images, meshes and the node tree; throws
    // Failure for the first fault.
    void Check();

    Json& Root() { return root_; }
    const Json& Root() const { return root_; }
    const AccessorInfo* Accessor(const std::string& key) const;
    bool NodeExists(const std::string& key) const;

    // An accessor's elements as numbers (normalised integers scaled to [0, 1] or [-1, 1]);
    // false when the accessor is missing, sparse or has other than `components` components.
    bool Read(const std::string& key, size_t components, std::vector<float>& out) const;

private:
    void Buffers();
    void Views();
    void Accessors();
    void Sparse(const Json& sparse, const std::string& name, Size count, Size elementSize);
    void Images();
    void Meshes();
    void Nodes();
    void AccessorExists(const Json& object, const char* key, const std::string& user) const;
    const ViewInfo& View(const std::string& reference, const std::string& user) const;
    const unsigned char* ViewBytes(const ViewInfo& view, Size offset) const;

    Json& root_;
    std::string directory_;
    const unsigned char* body_;
    size_t bodyLength_;
    std::map<std::string, BufferInfo> buffers_;
    std::map<std::string, ViewInfo> views_;
    std::map<std::string, AccessorInfo> accessors_;
    std::set<std::string> nodes_;
};

}  // namespace r3d::gltf_check
