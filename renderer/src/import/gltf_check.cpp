#include "import/gltf_check.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/Files.h"
#include "import/gltf/constants.h"
#include "import/gltf/glb.h"

namespace r3d::gltf_check {
namespace {

// The node graph is walked recursively (by the importer and the renderer after it):
// deeper chains are refused.
constexpr int kMaxNodeDepth = 256;

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

}  // namespace

void Fail(const std::string& reason) { throw Failure{reason}; }

std::string Describe(const char* collection, const std::string& key) { return std::string(collection) + " " + key; }

Size Unsigned(const Json& object, const char* key, Size fallback) {
    const Json* v = object.Get(key);
    if (v == nullptr || v->kind != Json::kNumber || !v->unsignedInteger) return fallback;
    return static_cast<Size>(v->number);
}

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

std::string Reference(const Json* v, const char* what) {
    if (v == nullptr) return std::string();
    if (v->kind == Json::kString) return v->text;
    if (v->kind == Json::kNumber) {
        if (!v->unsignedInteger || v->number > 4294967295.0) Fail(std::string("a \"") + what + "\" reference is not an index");
        return std::to_string(static_cast<uint64_t>(v->number));
    }
    Fail(std::string("a \"") + what + "\" reference is neither an index nor an id");
}

void Document::Check() {
    Buffers();
    Views();
    Accessors();
    Images();
    Meshes();
    Nodes();
}

const AccessorInfo* Document::Accessor(const std::string& key) const {
    auto it = accessors_.find(key);
    return it == accessors_.end() ? nullptr : &it->second;
}

bool Document::NodeExists(const std::string& key) const { return nodes_.count(key) > 0; }

void Document::Buffers() {
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
            base::FileData file = base::ReadFile(directory_ + uri->text, kMaxFileBytes);
            if (file.error == base::FileError::TooLarge || file.error == base::FileError::ReadError) {
                Fail(Describe("buffer", key) + " names a file that cannot be read (" + uri->text + "): " + file.why);
            }
            if (!file) Fail(Describe("buffer", key) + " names a file that cannot be opened: " + uri->text);
            held = std::move(file.bytes);
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

void Document::Views() {
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
const unsigned char* Document::ViewBytes(const ViewInfo& view, Size offset) const {
    return buffers_.at(view.buffer).bytes.data() + static_cast<size_t>(view.offset + offset);
}

const ViewInfo& Document::View(const std::string& reference, const std::string& user) const {
    auto it = views_.find(reference);
    if (it == views_.end()) Fail(user + " refers to a missing bufferView");
    return it->second;
}

void Document::Accessors() {
    Size zeroFilled = 0;
    for (const auto& [key, accessor] : Entries(root_, "accessors")) {
        std::string name = Describe("accessor", key);
        const Size componentType = Unsigned(*accessor, "componentType");
        size_t componentSize = gltf::ComponentSize(static_cast<double>(componentType));
        const Json* type = accessor->Get("type");
        size_t components = type != nullptr && type->kind == Json::kString ? gltf::ComponentCount(type->text.c_str()) : 0;
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
        AccessorInfo info;
        info.view = viewKey;
        info.offset = offset;
        info.count = count;
        info.componentType = static_cast<int>(componentType);
        info.components = components;
        const Json* normalized = accessor->Get("normalized");
        info.normalized = normalized != nullptr && normalized->kind == Json::kBool && normalized->number != 0;
        info.sparse = accessor->Get("sparse") != nullptr;
        accessors_[key] = info;
    }
}

void Document::Sparse(const Json& sparse, const std::string& name, Size count, Size elementSize) {
    if (sparse.kind != Json::kObject) Fail(name + " has a \"sparse\" that is not an object");
    Size patched = Unsigned(sparse, "count");
    const Json* indices = sparse.Get("indices");
    const Json* values = sparse.Get("values");
    if (indices == nullptr || values == nullptr || indices->kind != Json::kObject || values->kind != Json::kObject) {
        Fail(name + " has sparse data without indices or values");
    }
    Size indexType = Unsigned(*indices, "componentType");
    size_t indexSize = indexType == gltf::kUnsignedByte || indexType == gltf::kUnsignedShort || indexType == gltf::kUnsignedInt
                           ? gltf::ComponentSize(static_cast<double>(indexType))
                           : 0;
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
        if (indexSize == 4) index = gltf::ReadU32(p);
        if (index >= count) Fail(name + " has a sparse index past its count");
    }
}

void Document::Images() {
    for (const auto& [key, image] : Entries(root_, "images")) {
        std::string viewKey = Reference(*image, "bufferView");
        if (!viewKey.empty()) View(viewKey, Describe("image", key));
        const Json* uri = image->Get("uri");
        if (uri != nullptr && uri->kind == Json::kString && uri->text.compare(0, 5, "data:") == 0) {
            DecodeDataUri(uri->text);
        }
    }
}

void Document::AccessorExists(const Json& object, const char* key, const std::string& user) const {
    std::string reference = Reference(object, key);
    if (!reference.empty() && accessors_.count(reference) == 0) Fail(user + " refers to a missing accessor");
}

void Document::Meshes() {
    for (const auto& [key, mesh] : Entries(root_, "meshes")) {
        std::string name = Describe("mesh", key);
        const Json* primitives = mesh->Get("primitives");
        if (primitives == nullptr || primitives->kind != Json::kArray) continue;
        for (const Json& primitive : primitives->items) {
            if (primitive.kind != Json::kObject) Fail(name + " has a primitive that is not an object");
            AccessorExists(primitive, "indices", name);
            std::vector<const Json*> sets;
            if (const Json* attributes = primitive.Get("attributes")) sets.push_back(attributes);
            if (const Json* targets = primitive.Get("targets"); targets != nullptr && targets->kind == Json::kArray) {
                for (const Json& target : targets->items) sets.push_back(&target);
            }
            for (const Json* set : sets) {
                if (set->kind != Json::kObject) Fail(name + " has attributes that are not an object");
                for (const auto& attribute : set->members) AccessorExists(*set, attribute.first.c_str(), name);
            }
        }
    }
}

// The node graph must be a forest: the importer (and the renderer after it) walk it
// recursively, so a cycle or a very deep chain would exhaust the stack.
void Document::Nodes() {
    std::map<std::string, std::string> parent;
    auto nodes = Entries(root_, "nodes");
    for (const auto& entry : nodes) nodes_.insert(entry.first);
    for (const auto& [key, node] : nodes) {
        const Json* children = node->Get("children");
        if (children == nullptr) continue;
        if (children->kind != Json::kArray) Fail(Describe("node", key) + " has children that are not an array");
        for (const Json& child : children->items) {
            std::string childKey = Reference(&child, "child");
            if (nodes_.count(childKey) == 0) Fail(Describe("node", key) + " has a missing child");
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

bool Document::Read(const std::string& key, size_t components, std::vector<float>& out) const {
    const AccessorInfo* found = Accessor(key);
    if (found == nullptr || found->sparse || found->components != components) return false;
    const AccessorInfo& a = *found;
    // Without a view the accessor is zeros, bounded only by the zero-fill limit: no
    // clip or skin needs millions of them.
    if (a.view.empty() && a.count * components > Size(1 << 22)) return false;
    const size_t count = static_cast<size_t>(a.count);
    out.assign(count * components, 0.0f);
    if (a.view.empty()) return true;
    const ViewInfo& view = views_.at(a.view);
    const size_t size = gltf::ComponentSize(a.componentType);
    const size_t stride = view.stride > 0 ? static_cast<size_t>(view.stride) : size * components;
    const unsigned char* base = ViewBytes(view, a.offset);
    for (size_t i = 0; i < count; ++i) {
        for (size_t c = 0; c < components; ++c) {
            const unsigned char* p = base + i * stride + c * size;
            float v = 0;
            switch (a.componentType) {
                case gltf::kFloat: memcpy(&v, p, 4); break;
                case gltf::kByte: v = a.normalized ? std::max(static_cast<int8_t>(p[0]) / 127.0f, -1.0f) : static_cast<int8_t>(p[0]); break;
                case gltf::kUnsignedByte: v = a.normalized ? p[0] / 255.0f : p[0]; break;
                case gltf::kShort: {
                    int16_t x;
                    memcpy(&x, p, 2);
                    v = a.normalized ? std::max(x / 32767.0f, -1.0f) : x;
                    break;
                }
                case gltf::kUnsignedShort: {
                    uint16_t x;
                    memcpy(&x, p, 2);
                    v = a.normalized ? x / 65535.0f : x;
                    break;
                }
                case gltf::kUnsignedInt: v = static_cast<float>(gltf::ReadU32(p)); break;
                default: return false;
            }
            out[i * components + c] = v;
        }
    }
    return true;
}

}  // namespace r3d::gltf_check
