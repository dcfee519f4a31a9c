// A small JSON reader and writer: enough to walk a glTF document, take parts out
// of it and write it back. The reader limits how deeply values nest.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace gltf {

struct Json {
    enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
    double number = 0.0;           // a number; for a bool, 1 or 0
    bool unsignedInteger = false;  // written as digits only: what an importer reads as an index or size
    std::string text;              // a string, as UTF-8
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    // The member named `key` of an object; null when absent or not an object.
    const Json* Get(const char* key) const;
    Json* Get(const char* key);
    // Takes the member named `key` out of an object, if it has one.
    void Erase(const char* key);
    bool IsString(const char* value) const { return kind == kString && text == value; }
};

// Importers' JSON parsers recurse per level, so a file of a million '[' would exhaust
// their stack; nothing sound comes close to this depth.
constexpr int kMaxJsonDepth = 64;

// Reads one document from [begin, end) (a byte order mark first is skipped). False when
// it is not JSON or nests deeper than `maxDepth`.
bool ReadJson(const char* begin, const char* end, Json& out, int maxDepth = kMaxJsonDepth);

// Appends `value` to `out` as compact JSON.
void WriteJson(const Json& value, std::string& out);

}  // namespace gltf
