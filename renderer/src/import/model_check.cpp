// glTF and GLB files are checked here before assimp reads them. Its reader takes
// offsets, lengths, counts and sparse indices from the JSON as they stand, so a
// "byteOffset" of 2^64-1 wraps its range test and sends it past the end of the
// buffer. Every number the reader will use to reach into a buffer is therefore
// measured against what the file really holds, in arithmetic that cannot wrap.
//
// Both glTF 2 (collections are arrays, references are indices) and glTF 1
// (collections are objects, references are keys) are walked.
#include "import/model_check.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

namespace {

// --- A small JSON reader: enough to walk the document, with a depth limit ---------

struct Json {
    enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
    double number = 0.0;
    bool unsignedInteger = false;  // written as digits only: what the importer reads as an index or size
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json* Get(const char* key) const {
        if (kind != kObject) return nullptr;
        for (const auto& m : members) {
            if (m.first == key) return &m.second;
        }
        return nullptr;
    }
};

// The importer's JSON parser recurses per level, so a file of a million '[' would
// exhaust the stack there; nothing sound comes close to this depth.
constexpr int kMaxDepth = 64;

class JsonReader {
public:
    JsonReader(const char* begin, const char* end) : p_(begin), end_(end) {}

    bool Document(Json& out) {
        if (end_ - p_ >= 3 && memcmp(p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;  // byte order mark
        return Value(out, 0);
    }

private:
    void Space() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) p_++;
    }
    bool Literal(const char* word) {
        size_t n = strlen(word);
        if (static_cast<size_t>(end_ - p_) < n || memcmp(p_, word, n) != 0) return false;
        p_ += n;
        return true;
    }
    bool String(std::string& out) {
        if (p_ >= end_ || *p_ != '"') return false;
        for (p_++; p_ < end_; p_++) {
            char c = *p_;
            if (c == '"') {
                p_++;
                return true;
            }
            if (c == '\\') {
                if (++p_ >= end_) return false;
                // Escapes are kept as a stand-in: only ASCII keys and URIs are compared.
                if (*p_ == 'u') {
                    if (end_ - p_ < 5) return false;
                    p_ += 4;
                    out += '?';
                    continue;
                }
                static const char* const kFrom = "\"\\/bfnrt";
                static const char* const kTo = "\"\\/\b\f\n\r\t";
                const char* at = strchr(kFrom, *p_);
                if (at == nullptr || *p_ == '\0') return false;
                out += kTo[at - kFrom];
                continue;
            }
            out += c;
        }
        return false;
    }
    bool Number(Json& out) {
        const char* start = p_;
        bool digitsOnly = true;
        while (p_ < end_ && strchr("+-0123456789.eE", *p_) != nullptr && *p_ != '\0') {
            if (*p_ < '0' || *p_ > '9') digitsOnly = false;
            p_++;
        }
        if (p_ == start || p_ - start > 400) return false;
        std::string token(start, p_);
        char* stop = nullptr;
        out.kind = Json::kNumber;
        out.number = strtod(token.c_str(), &stop);
        out.unsignedInteger = digitsOnly;
        return stop == token.c_str() + token.size();
    }
    bool Value(Json& out, int depth) {
        if (depth > kMaxDepth) return false;
        Space();
        if (p_ >= end_) return false;
        char c = *p_;
        if (c == '{') {
            out.kind = Json::kObject;
            p_++;
            Space();
            if (p_ < end_ && *p_ == '}') return ++p_, true;
            for (;;) {
                Space();
                out.members.emplace_back();
                if (!String(out.members.back().first)) return false;
                Space();
                if (p_ >= end_ || *p_++ != ':') return false;
                if (!Value(out.members.back().second, depth + 1)) return false;
                Space();
                if (p_ < end_ && *p_ == ',') {
                    p_++;
                    continue;
                }
                return p_ < end_ && *p_++ == '}';
            }
        }
        if (c == '[') {
            out.kind = Json::kArray;
            p_++;
            Space();
            if (p_ < end_ && *p_ == ']') return ++p_, true;
            for (;;) {
                out.items.emplace_back();
                if (!Value(out.items.back(), depth + 1)) return false;
                Space();
                if (p_ < end_ && *p_ == ',') {
                    p_++;
                    continue;
                }
                return p_ < end_ && *p_++ == ']';
            }
        }
        if (c == '"') {
            out.kind = Json::kString;
            return String(out.text);
        }
        if (Literal("true")) {
            out.kind = Json::kBool;
            out.number = 1;
            return true;
        }
        if (Literal("false")) {
            out.kind = Json::kBool;
            return true;
        }
        if (Literal("null")) return true;
        return Number(out);
    }

    const char* p_;
    const char* end_;
};

// Writes a document back out (for a file whose broken skins or clips were taken out).
void WriteJson(const Json& v, std::string& out) {
    switch (v.kind) {
        case Json::kNull: out += "null"; break;
        case Json::kBool: out += v.number != 0 ? "true" : "false"; break;
        case Json::kNumber: {
            char text[64];
            snprintf(text, sizeof text, v.unsignedInteger ? "%.0f" : "%.17g", v.number);
            out += text;
            break;
        }
        case Json::kString: {
            out += '"';
            for (char c : v.text) {
                if (c == '"' || c == '\\') out += '\\';
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                    continue;
                }
                out += c;
            }
            out += '"';
            break;
        }
        case Json::kArray:
            out += '[';
            for (size_t i = 0; i < v.items.size(); ++i) {
                if (i > 0) out += ',';
                WriteJson(v.items[i], out);
            }
            out += ']';
            break;
        case Json::kObject:
            out += '{';
            for (size_t i = 0; i < v.members.size(); ++i) {
                if (i > 0) out += ',';
                Json key;
                key.kind = Json::kString;
                key.text = v.members[i].first;
                WriteJson(key, out);
                out += ':';
                WriteJson(v.members[i].second, out);
            }
            out += '}';
            break;
    }
}

// --- The checks ----------------------------------------------------------------------

// A little-endian 32-bit number, as glTF stores them.
uint32_t ReadU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

// Sizes are compared in long double: 2^64 times a 64-byte element still fits exactly
// enough, where size_t arithmetic would wrap.
using Size = long double;

struct Failure {
    std::string reason;
};

[[noreturn]] void Fail(const std::string& reason) { throw Failure{reason}; }

std::string Describe(const char* collection, const std::string& key) { return std::string(collection) + " " + key; }

// A size or offset as the importer reads it: a plain non-negative integer, else its default.
Size Unsigned(const Json& object, const char* key, Size fallback = 0) {
    const Json* v = object.Get(key);
    if (v == nullptr || v->kind != Json::kNumber || !v->unsignedInteger) return fallback;
    return static_cast<Size>(v->number);
}

// A collection of glTF 2 (array) or glTF 1 (object keyed by id), walked as (key, value).
std::vector<std::pair<std::string, const Json*>> Entries(const Json& root, const char* name) {
    std::vector<std::pair<std::string, const Json*>> out;
    const Json* c = root.Get(name);
    if (c == nullptr) return out;
    if (c->kind == Json::kArray) {
        for (size_t i = 0; i < c->items.size(); i++) out.emplace_back(std::to_string(i), &c->items[i]);
    } else if (c->kind == Json::kObject) {
        for (const auto& m : c->members) out.emplace_back(m.first, &m.second);
    }
    for (const auto& e : out) {
        if (e.second->kind != Json::kObject) Fail(Describe(name, e.first) + " is not an object");
    }
    return out;
}

// The key a reference names: an index (glTF 2) or an id (glTF 1); empty when absent.
std::string Reference(const Json& object, const char* key) {
    const Json* v = object.Get(key);
    if (v == nullptr) return std::string();
    if (v->kind == Json::kString) return v->text;
    if (v->kind == Json::kNumber) {
        if (!v->unsignedInteger || v->number > 4294967295.0) Fail(std::string("a \"") + key + "\" reference is not an index");
        return std::to_string(static_cast<uint64_t>(v->number));
    }
    Fail(std::string("a \"") + key + "\" reference is neither an index nor an id");
}

size_t ComponentSize(Size componentType) {
    if (componentType < 5120 || componentType > 5126) return 0;  // also keeps the cast below in range
    switch (static_cast<int>(componentType)) {
        case 5120: case 5121: return 1;  // byte, unsigned byte
        case 5122: case 5123: return 2;  // short, unsigned short
        case 5125: case 5126: return 4;  // unsigned int, float
        default: return 0;
    }
}

size_t ComponentCount(const std::string& type) {
    static const std::map<std::string, size_t> kCounts = {{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4},
                                                          {"MAT2", 4},   {"MAT3", 9}, {"MAT4", 16}};
    auto it = kCounts.find(type);
    return it == kCounts.end() ? 0 : it->second;
}

// The bytes a data URI carries, checked as the importer will decode them.
std::vector<unsigned char> DecodeDataUri(const std::string& uri) {
    size_t comma = uri.find(',');
    if (comma == std::string::npos) Fail("a data URI has no ','");
    std::string payload = uri.substr(comma + 1);
    if (uri.rfind(";base64", comma) == std::string::npos) return {payload.begin(), payload.end()};
    if (payload.size() % 4 != 0) Fail("a base64 data URI has a length that is not a multiple of 4");
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::vector<unsigned char> out;
    out.reserve(payload.size() / 4 * 3);
    for (size_t i = 0; i < payload.size(); i += 4) {
        int v[4];
        for (int k = 0; k < 4; k++) {
            char c = payload[i + k];
            bool padding = c == '=' && i + 4 == payload.size() && k >= 2 && (k == 3 || payload[i + 3] == '=');
            v[k] = padding ? 0 : value(c);
            if (v[k] < 0) Fail("a base64 data URI holds a character outside base64");
        }
        uint32_t bits = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
        out.push_back(static_cast<unsigned char>(bits >> 16));
        if (payload[i + 2] != '=') out.push_back(static_cast<unsigned char>(bits >> 8));
        if (payload[i + 3] != '=') out.push_back(static_cast<unsigned char>(bits));
    }
    return out;
}

struct BufferInfo {
    Size length = 0;                  // as declared, already checked against what exists
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

constexpr const char* kAnimationPaths[3] = {"translation", "rotation", "scale"};

class GltfCheck {
public:
    GltfCheck(Json& root, const std::string& directory, const unsigned char* body, size_t bodyLength,
              r3d::GltfAnimation* animation)
        : root_(root), directory_(directory), body_(body), bodyLength_(bodyLength), animation_(animation) {}

    void Run() {
        Buffers();
        Views();
        Accessors();
        Images();
        Meshes();
        Nodes();
        Skins();
        Animations();
        if (animation_ != nullptr) ReadClips();
    }

    // Whether skins or animations were taken out of the document.
    bool Repaired() const { return repaired_; }

private:
    void Buffers() {
        for (const auto& [key, buffer] : Entries(root_, "buffers")) {
            BufferInfo info;
            info.length = Unsigned(*buffer, "byteLength");
            const Json* uri = buffer->Get("uri");
            std::vector<unsigned char> held;
            bool binaryBody = uri == nullptr || key == "binary_glTF";  // GLB's own chunk (2), or body (1)
            if (binaryBody) {
                held.assign(body_, body_ + bodyLength_);
            } else if (uri->kind != Json::kString) {
                Fail(Describe("buffer", key) + " has a \"uri\" that is not a string");
            } else if (uri->text.compare(0, 5, "data:") == 0) {
                held = DecodeDataUri(uri->text);
            } else {
                std::ifstream file(directory_ + uri->text, std::ios::binary);
                if (!file) Fail(Describe("buffer", key) + " names a file that cannot be opened: " + uri->text);
                // No more than the file holds, and no more than the declared length.
                file.seekg(0, std::ios::end);
                Size size = static_cast<Size>(std::max<std::streamoff>(file.tellg(), 0));
                file.seekg(0);
                held.resize(static_cast<size_t>(info.length > 0 ? std::min(info.length, size) : size));
                file.read(reinterpret_cast<char*>(held.data()), static_cast<std::streamsize>(held.size()));
                held.resize(static_cast<size_t>(std::max<std::streamsize>(file.gcount(), 0)));
            }
            // Without a length the importer takes all the data there is.
            if (info.length == 0) info.length = static_cast<Size>(held.size());
            if (info.length > held.size()) {
                Fail(Describe("buffer", key) + " declares " + std::to_string(static_cast<double>(info.length)) +
                     " bytes but holds " + std::to_string(held.size()));
            }
            held.resize(static_cast<size_t>(info.length));
            info.bytes = std::move(held);
            buffers_[key] = std::move(info);
        }
    }

    void Views() {
        for (const auto& [key, view] : Entries(root_, "bufferViews")) {
            ViewInfo info;
            info.buffer = Reference(*view, "buffer");
            auto buffer = buffers_.find(info.buffer);
            if (buffer == buffers_.end()) Fail(Describe("bufferView", key) + " refers to a missing buffer");
            info.offset = Unsigned(*view, "byteOffset");
            info.length = Unsigned(*view, "byteLength");
            info.stride = Unsigned(*view, "byteStride");
            if (info.offset + info.length > buffer->second.length) {
                Fail(Describe("bufferView", key) + " reaches past the end of its buffer");
            }
            views_[key] = info;
        }
    }

    // The bytes [offset, offset + length) of a view, known to lie inside its buffer.
    const unsigned char* ViewBytes(const ViewInfo& view, Size offset) {
        return buffers_[view.buffer].bytes.data() + static_cast<size_t>(view.offset + offset);
    }

    const ViewInfo& View(const std::string& reference, const std::string& user) {
        auto it = views_.find(reference);
        if (it == views_.end()) Fail(user + " refers to a missing bufferView");
        return it->second;
    }

    void Accessors() {
        Size zeroFilled = 0;
        for (const auto& [key, accessor] : Entries(root_, "accessors")) {
            std::string name = Describe("accessor", key);
            size_t componentSize = ComponentSize(Unsigned(*accessor, "componentType"));
            const Json* type = accessor->Get("type");
            size_t components = type != nullptr && type->kind == Json::kString ? ComponentCount(type->text) : 0;
            if (componentSize == 0 || components == 0) Fail(name + " has an unknown component type or type");
            Size elementSize = static_cast<Size>(componentSize * components);
            Size count = Unsigned(*accessor, "count");
            Size offset = Unsigned(*accessor, "byteOffset");
            std::string viewKey = Reference(*accessor, "bufferView");
            if (!viewKey.empty()) {
                const ViewInfo& view = View(viewKey, name);
                Size stride = view.stride > 0 ? view.stride : elementSize;
                Size end = count == 0 ? offset : offset + stride * (count - 1) + elementSize;
                if (end > view.length) Fail(name + " reaches past the end of its bufferView");
            } else {
                // Without a view the importer allocates count zeroed elements: bound that.
                zeroFilled += count * elementSize;
                if (zeroFilled > Size(1 << 28)) Fail(name + " asks for more zero-filled data than any model needs");
            }
            if (const Json* sparse = accessor->Get("sparse")) Sparse(*sparse, name, count, elementSize);
            counts_[key] = count;
            AccessorInfo info;
            info.view = viewKey;
            info.offset = offset;
            info.count = count;
            info.componentType = static_cast<int>(Unsigned(*accessor, "componentType"));
            info.components = components;
            const Json* normalized = accessor->Get("normalized");
            info.normalized = normalized != nullptr && normalized->kind == Json::kBool && normalized->number != 0;
            info.sparse = accessor->Get("sparse") != nullptr;
            accessors_[key] = info;
        }
    }

    void Sparse(const Json& sparse, const std::string& name, Size count, Size elementSize) {
        if (sparse.kind != Json::kObject) Fail(name + " has a \"sparse\" that is not an object");
        Size patched = Unsigned(sparse, "count");
        const Json* indices = sparse.Get("indices");
        const Json* values = sparse.Get("values");
        if (indices == nullptr || values == nullptr || indices->kind != Json::kObject || values->kind != Json::kObject) {
            Fail(name + " has sparse data without indices or values");
        }
        Size indexType = Unsigned(*indices, "componentType");
        size_t indexSize = indexType == 5121 || indexType == 5123 || indexType == 5125 ? ComponentSize(indexType) : 0;
        if (indexSize == 0) {
            Fail(name + " has sparse indices of a type that is not an unsigned integer");
        }
        const ViewInfo& indexView = View(Reference(*indices, "bufferView"), name + " (sparse indices)");
        const ViewInfo& valueView = View(Reference(*values, "bufferView"), name + " (sparse values)");
        Size indexOffset = Unsigned(*indices, "byteOffset");
        if (indexOffset + patched * indexSize > indexView.length) Fail(name + " has sparse indices past their bufferView");
        if (Unsigned(*values, "byteOffset") + patched * elementSize > valueView.length) {
            Fail(name + " has sparse values past their bufferView");
        }
        // Each index says which element is overwritten: it must be one of the accessor's.
        const unsigned char* p = ViewBytes(indexView, indexOffset);
        for (size_t i = 0; i < static_cast<size_t>(patched); i++, p += indexSize) {
            uint32_t index = 0;
            if (indexSize == 1) index = p[0];
            if (indexSize == 2) index = static_cast<uint32_t>(p[0] | p[1] << 8);
            if (indexSize == 4) index = ReadU32(p);
            if (index >= count) Fail(name + " has a sparse index past its count");
        }
    }

    void Images() {
        for (const auto& [key, image] : Entries(root_, "images")) {
            std::string viewKey = Reference(*image, "bufferView");
            if (!viewKey.empty()) View(viewKey, Describe("image", key));
            const Json* uri = image->Get("uri");
            if (uri != nullptr && uri->kind == Json::kString && uri->text.compare(0, 5, "data:") == 0) {
                DecodeDataUri(uri->text);
            }
        }
    }

    void Accessor(const Json& object, const char* key, const std::string& user) {
        std::string reference = Reference(object, key);
        if (!reference.empty() && counts_.count(reference) == 0) Fail(user + " refers to a missing accessor");
    }

    void Meshes() {
        for (const auto& [key, mesh] : Entries(root_, "meshes")) {
            std::string name = Describe("mesh", key);
            const Json* primitives = mesh->Get("primitives");
            if (primitives == nullptr || primitives->kind != Json::kArray) continue;
            for (const Json& primitive : primitives->items) {
                if (primitive.kind != Json::kObject) Fail(name + " has a primitive that is not an object");
                Accessor(primitive, "indices", name);
                std::vector<const Json*> sets;
                if (const Json* attributes = primitive.Get("attributes")) sets.push_back(attributes);
                if (const Json* targets = primitive.Get("targets"); targets != nullptr && targets->kind == Json::kArray) {
                    for (const Json& target : targets->items) sets.push_back(&target);
                }
                for (const Json* set : sets) {
                    if (set->kind != Json::kObject) Fail(name + " has attributes that are not an object");
                    for (const auto& attribute : set->members) Accessor(*set, attribute.first.c_str(), name);
                }
            }
        }
    }

    // The node graph must be a forest: the importer (and the renderer after it) walk
    // it recursively, so a cycle or a very deep chain would exhaust the stack.
    void Nodes() {
        std::map<std::string, std::string> parent;
        auto nodes = Entries(root_, "nodes");
        std::map<std::string, const Json*> byKey(nodes.begin(), nodes.end());
        for (const auto& [key, node] : nodes) {
            const Json* children = node->Get("children");
            if (children == nullptr) continue;
            if (children->kind != Json::kArray) Fail(Describe("node", key) + " has children that are not an array");
            for (const Json& child : children->items) {
                Json holder;
                holder.kind = Json::kObject;
                holder.members.emplace_back("child", child);
                std::string childKey = Reference(holder, "child");
                if (byKey.count(childKey) == 0) Fail(Describe("node", key) + " has a missing child");
                if (childKey == key || !parent.emplace(childKey, key).second) {
                    Fail(Describe("node", childKey) + " has more than one parent or is its own child");
                }
            }
        }
        for (const auto& entry : parent) {
            std::string at = entry.first;
            for (int depth = 0; parent.count(at) > 0; depth++) {
                if (depth > kMaxNodeDepth) Fail(Describe("node", entry.first) + " lies in a cycle or too deep");
                at = parent[at];
            }
        }
    }

    // Element i's components as numbers (normalised integers scaled to [0, 1] or [-1, 1]);
    // false when the accessor is missing, sparse or has the wrong number of components.
    bool Read(const std::string& key, size_t components, std::vector<float>& out) {
        auto it = accessors_.find(key);
        if (it == accessors_.end() || it->second.sparse || it->second.components != components) return false;
        const AccessorInfo& a = it->second;
        // Without a view the accessor is zeros, bounded only by the zero-fill limit: no
        // clip or skin needs millions of them.
        if (a.view.empty() && a.count * components > Size(1 << 22)) return false;
        const size_t count = static_cast<size_t>(a.count);
        out.assign(count * components, 0.0f);
        if (a.view.empty()) return true;
        const ViewInfo& view = views_[a.view];
        const size_t size = ComponentSize(a.componentType);
        const size_t stride = view.stride > 0 ? static_cast<size_t>(view.stride) : size * components;
        const unsigned char* base = ViewBytes(view, a.offset);
        for (size_t i = 0; i < count; ++i) {
            for (size_t c = 0; c < components; ++c) {
                const unsigned char* p = base + i * stride + c * size;
                float v = 0;
                switch (a.componentType) {
                    case 5126: memcpy(&v, p, 4); break;
                    case 5120: v = a.normalized ? std::max(static_cast<int8_t>(p[0]) / 127.0f, -1.0f) : static_cast<int8_t>(p[0]); break;
                    case 5121: v = a.normalized ? p[0] / 255.0f : p[0]; break;
                    case 5122: {
                        int16_t x;
                        memcpy(&x, p, 2);
                        v = a.normalized ? std::max(x / 32767.0f, -1.0f) : x;
                        break;
                    }
                    case 5123: {
                        uint16_t x;
                        memcpy(&x, p, 2);
                        v = a.normalized ? x / 65535.0f : x;
                        break;
                    }
                    case 5125: v = static_cast<float>(ReadU32(p)); break;
                    default: return false;
                }
                out[i * components + c] = v;
            }
        }
        return true;
    }

    void Problem(const std::string& text) {
        if (firstProblem_.empty()) firstProblem_ = text;
        if (animation_ != nullptr) animation_->problems.push_back(text);
    }

public:
    const std::string& FirstProblem() const { return firstProblem_; }

private:

    Json* Mutable(const char* name) {
        for (auto& m : root_.members) {
            if (m.first == name) return &m.second;
        }
        return nullptr;
    }

    // Takes every skin out (the importer would read a broken one past its arrays): the
    // model loads in its rest pose, unanimated.
    void RemoveSkins(const std::string& why) {
        Problem(why + "; the model loads without its skins and clips");
        if (animation_ != nullptr) animation_->skinsRemoved = true;
        for (auto it = root_.members.begin(); it != root_.members.end();) {
            if (it->first == "skins" || it->first == "animations") it = root_.members.erase(it);
            else ++it;
        }
        if (Json* nodes = Mutable("nodes")) {
            std::vector<Json*> all;
            if (nodes->kind == Json::kArray) for (Json& n : nodes->items) all.push_back(&n);
            if (nodes->kind == Json::kObject) for (auto& m : nodes->members) all.push_back(&m.second);
            for (Json* n : all) {
                for (auto it = n->members.begin(); it != n->members.end();) {
                    if (it->first == "skin") it = n->members.erase(it);
                    else ++it;
                }
            }
        }
        repaired_ = true;
    }

    bool NodeExists(const std::string& key) {
        for (const auto& entry : Entries(root_, "nodes")) {
            if (entry.first == key) return true;
        }
        return false;
    }

    // Skins: joints that exist, inverse bind matrices for every joint, and vertices
    // naming joints the skin has. The first two would send the importer past its arrays.
    void Skins() {
        auto skins = Entries(root_, "skins");
        std::map<std::string, size_t> jointCounts;
        for (const auto& [key, skin] : skins) {
            const std::string name = Describe("skin", key);
            const Json* joints = skin->Get("joints");
            if (joints == nullptr || joints->kind != Json::kArray || joints->items.empty()) {
                return RemoveSkins(name + " has no joints");
            }
            for (const Json& joint : joints->items) {
                Json holder;
                holder.kind = Json::kObject;
                holder.members.emplace_back("joint", joint);
                if (!NodeExists(Reference(holder, "joint"))) return RemoveSkins(name + " names a joint node that does not exist");
            }
            const std::string matrices = Reference(*skin, "inverseBindMatrices");
            auto it = accessors_.find(matrices);
            if (matrices.empty() || it == accessors_.end() || it->second.components != 16 || it->second.componentType != 5126 ||
                it->second.count < joints->items.size()) {
                return RemoveSkins(name + " lacks an inverse bind matrix for each joint");
            }
            const std::string skeleton = Reference(*skin, "skeleton");
            if (!skeleton.empty() && !NodeExists(skeleton)) return RemoveSkins(name + " names a skeleton node that does not exist");
            jointCounts[key] = joints->items.size();
        }
        // Each skinned node's primitives: joint numbers within the skin.
        for (const auto& [key, node] : Entries(root_, "nodes")) {
            const std::string skin = Reference(*node, "skin");
            if (skin.empty()) continue;
            if (jointCounts.count(skin) == 0) return RemoveSkins(Describe("node", key) + " names a skin that does not exist");
            const std::string mesh = Reference(*node, "mesh");
            for (const auto& [meshKey, meshJson] : Entries(root_, "meshes")) {
                if (meshKey != mesh) continue;
                const Json* primitives = meshJson->Get("primitives");
                if (primitives == nullptr || primitives->kind != Json::kArray) continue;
                for (const Json& primitive : primitives->items) {
                    const Json* attributes = primitive.Get("attributes");
                    if (attributes == nullptr) continue;
                    for (const auto& attribute : attributes->members) {
                        if (attribute.first.compare(0, 7, "JOINTS_") != 0) continue;
                        std::vector<float> joints;
                        if (!Read(Reference(*attributes, attribute.first.c_str()), 4, joints)) continue;
                        for (float j : joints) {
                            if (j >= static_cast<float>(jointCounts[skin])) {
                                Problem(Describe("mesh", meshKey) + " has a vertex naming joint " + std::to_string(static_cast<long>(j)) +
                                        " of a skin of " + std::to_string(jointCounts[skin]) + " joints");
                                outOfRange_ = true;
                                break;
                            }
                        }
                    }
                }
            }
        }
    }

    // Animations whose samplers the importer would read past their arrays are taken out.
    void Animations() {
        Json* animations = Mutable("animations");
        if (animations == nullptr || animations->kind != Json::kArray) return;  // glTF 1 animations are not read
        for (size_t a = 0; a < animations->items.size();) {
            std::string why = BrokenAnimation(animations->items[a]);
            if (why.empty()) {
                ++a;
                continue;
            }
            Problem("animation " + std::to_string(a) + " " + why + "; it is left out");
            animations->items.erase(animations->items.begin() + static_cast<long>(a));
            repaired_ = true;
        }
    }

    std::string BrokenAnimation(const Json& animation) {
        if (animation.kind != Json::kObject) return "is not an object";
        const Json* samplers = animation.Get("samplers");
        const Json* channels = animation.Get("channels");
        if (samplers == nullptr || samplers->kind != Json::kArray || channels == nullptr || channels->kind != Json::kArray) {
            return "has no samplers or channels";
        }
        for (const Json& sampler : samplers->items) {
            if (sampler.kind != Json::kObject) return "has a sampler that is not an object";
            auto input = accessors_.find(Reference(sampler, "input"));
            auto output = accessors_.find(Reference(sampler, "output"));
            if (input == accessors_.end() || output == accessors_.end()) return "has a sampler without key times or values";
            const Json* mode = sampler.Get("interpolation");
            const bool cubic = mode != nullptr && mode->kind == Json::kString && mode->text == "CUBICSPLINE";
            if (output->second.count < input->second.count * (cubic ? 3 : 1)) return "has a sampler with fewer values than keys";
            if (input->second.components != 1) return "has key times that are not single numbers";
        }
        for (const Json& channel : channels->items) {
            if (channel.kind != Json::kObject) return "has a channel that is not an object";
            const Json* sampler = channel.Get("sampler");
            if (sampler == nullptr || sampler->kind != Json::kNumber || !sampler->unsignedInteger ||
                sampler->number >= static_cast<double>(samplers->items.size())) {
                return "has a channel naming a sampler it lacks";
            }
            const Json* target = channel.Get("target");
            if (target == nullptr || target->kind != Json::kObject) return "has a channel without a target";
            const std::string node = Reference(*target, "node");
            if (!node.empty() && !NodeExists(node)) return "has a channel aimed at a node that does not exist";
        }
        return std::string();
    }

    // The clips as the file defines them, for the renderer to sample itself.
    void ReadClips() {
        r3d::GltfAnimation& out = *animation_;
        out.read = true;
        for (const auto& [key, node] : Entries(root_, "nodes")) {
            const Json* name = node->Get("name");
            out.nodeNames.push_back(name != nullptr && name->kind == Json::kString ? name->text : std::string());
        }
        if (outOfRange_) {
            // The importer drops such weights; the mesh would tear where they were.
            out.problems.back() += "; the model loads without its clips";
            return;
        }
        const Json* animations = root_.Get("animations");
        if (animations == nullptr || animations->kind != Json::kArray) return;
        for (size_t a = 0; a < animations->items.size(); ++a) {
            const Json& animation = animations->items[a];
            r3d::anim::Clip clip;
            const Json* name = animation.Get("name");
            clip.name = name != nullptr && name->kind == Json::kString && !name->text.empty() ? name->text
                                                                                             : "animation_" + std::to_string(a);
            const Json* samplers = animation.Get("samplers");
            bool readable = true;
            for (const Json& channel : animation.Get("channels")->items) {
                const Json* target = channel.Get("target");
                const Json* path = target->Get("path");
                const std::string node = Reference(*target, "node");
                int which = -1;
                for (int p = 0; p < 3; ++p) {
                    if (path != nullptr && path->kind == Json::kString && path->text == kAnimationPaths[p]) which = p;
                }
                if (which < 0 || node.empty()) continue;  // morph weights and pointers are not animated here
                const Json& sampler = samplers->items[static_cast<size_t>(channel.Get("sampler")->number)];
                r3d::anim::Channel c;
                c.joint = atoi(node.c_str());
                c.path = static_cast<r3d::anim::Path>(which);
                const Json* mode = sampler.Get("interpolation");
                const std::string interpolation = mode != nullptr && mode->kind == Json::kString ? mode->text : "LINEAR";
                c.interpolation = interpolation == "STEP"          ? r3d::anim::Interpolation::kStep
                                  : interpolation == "CUBICSPLINE" ? r3d::anim::Interpolation::kCubicSpline
                                                                   : r3d::anim::Interpolation::kLinear;
                const size_t perKey = c.interpolation == r3d::anim::Interpolation::kCubicSpline ? 3 : 1;
                if (!Read(Reference(sampler, "input"), 1, c.times) ||
                    !Read(Reference(sampler, "output"), static_cast<size_t>(c.Components()), c.values)) {
                    readable = false;
                    break;
                }
                c.values.resize(std::min(c.values.size(), c.times.size() * perKey * c.Components()));
                for (float t : c.times) clip.length = std::max(clip.length, t);
                clip.channels.push_back(std::move(c));
            }
            if (!readable) {
                out.problems.push_back("clip \"" + clip.name + "\" has keys of a kind not read (sparse or of the wrong type); it is left out");
                continue;
            }
            out.clips.push_back(std::move(clip));
        }
    }

    static constexpr int kMaxNodeDepth = 256;

    Json& root_;
    std::string directory_;
    const unsigned char* body_;
    size_t bodyLength_;
    std::map<std::string, BufferInfo> buffers_;
    std::map<std::string, ViewInfo> views_;
    std::map<std::string, Size> counts_;
    std::map<std::string, AccessorInfo> accessors_;
    r3d::GltfAnimation* animation_;
    bool repaired_ = false;
    bool outOfRange_ = false;
    std::string firstProblem_;
};

// Splits a GLB into its JSON and binary body, or fails where its lengths disagree.
void SplitGlb(const std::vector<unsigned char>& file, const unsigned char** json, size_t* jsonLength,
              const unsigned char** body, size_t* bodyLength) {
    if (file.size() < 20) Fail("the GLB header is cut short");
    uint32_t version = ReadU32(&file[4]);
    uint64_t total = ReadU32(&file[8]);
    if (total > file.size()) Fail("the GLB header declares more bytes than the file holds");
    uint64_t contentLength = ReadU32(&file[12]);
    if (20 + contentLength > total) Fail("the GLB's JSON reaches past its end");
    *json = &file[20];
    *jsonLength = static_cast<size_t>(contentLength);
    *body = nullptr;
    *bodyLength = 0;
    uint64_t next = 20 + contentLength;
    if (version == 1) {  // the rest of the file is the body
        *body = file.data() + next;
        *bodyLength = static_cast<size_t>(total - next);
    } else if (version == 2 && next + 8 <= total) {
        uint64_t binLength = ReadU32(&file[next]);
        if (next + 8 + binLength > total) Fail("the GLB's binary chunk reaches past its end");
        *body = file.data() + next + 8;
        *bodyLength = static_cast<size_t>(binLength);
    }
}

bool EndsWith(std::string text, const char* suffix) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    size_t n = strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

}  // namespace

namespace r3d {

bool CheckModelFile(const char* fileName, bool otherFormat, std::string* reason, GltfAnimation* animation) {
    if (otherFormat) return true;
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return true;  // the importer says why it cannot open it
    std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string name(fileName);
    bool glb = file.size() >= 4 && memcmp(file.data(), "glTF", 4) == 0;
    // Without a glTF name, a file is read as glTF when its content looks like JSON.
    if (!glb && !EndsWith(name, ".gltf") && !EndsWith(name, ".glb")) {
        size_t at = file.size() >= 3 && memcmp(file.data(), "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
        while (at < file.size() && strchr(" \t\r\n", file[at]) != nullptr && file[at] != 0) at++;
        if (at == file.size() || file[at] != '{') return true;
    }

    size_t slash = name.find_last_of("/\\");
    std::string directory = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    try {
        const unsigned char* json = file.data();
        size_t jsonLength = file.size();
        const unsigned char* body = nullptr;
        size_t bodyLength = 0;
        if (glb) SplitGlb(file, &json, &jsonLength, &body, &bodyLength);
        Json root;
        const char* text = reinterpret_cast<const char*>(json);
        if (!JsonReader(text, text + jsonLength).Document(root)) {
            Fail("the glTF JSON is malformed or nested too deeply");
        }
        if (root.kind != Json::kObject) Fail("the glTF JSON is not an object");
        GltfCheck check(root, directory, body, bodyLength, animation);
        check.Run();
        // Without a caller to hand the repaired file to, the importer must not read it.
        if (check.Repaired() && animation == nullptr) Fail(check.FirstProblem());
        if (check.Repaired()) {
            // The document without what was taken out; a GLB keeps its binary chunk.
            std::string text;
            WriteJson(root, text);
            while (text.size() % 4 != 0) text += ' ';
            std::vector<unsigned char>& out = animation->repaired;
            auto u32 = [&out](uint32_t v) {
                for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
            };
            if (glb && ReadU32(&file[4]) != 2) Fail(check.FirstProblem());  // no rewriting of the old layout
            if (glb) {
                size_t binPadded = (bodyLength + 3) / 4 * 4;
                const bool hasBody = body != nullptr;
                out.insert(out.end(), file.begin(), file.begin() + 8);
                u32(static_cast<uint32_t>(12 + 8 + text.size() + (hasBody ? 8 + binPadded : 0)));
                u32(static_cast<uint32_t>(text.size()));
                u32(0x4E4F534Au);  // "JSON"
                out.insert(out.end(), text.begin(), text.end());
                if (hasBody) {
                    u32(static_cast<uint32_t>(binPadded));
                    u32(0x004E4942u);  // "BIN\0"
                    out.insert(out.end(), body, body + bodyLength);
                    out.resize(out.size() + (binPadded - bodyLength), 0);
                }
            } else {
                out.assign(text.begin(), text.end());
            }
        }
    } catch (const Failure& failure) {
        *reason = failure.reason;
        return false;
    }
    return true;
}

}  // namespace r3d
