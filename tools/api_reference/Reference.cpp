#include "Reference.h"

#include <algorithm>
#include <set>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "Catalog.h"

// The source folder the build was made from (tools/CMakeLists.txt passes it).
#ifndef VANTOR_SOURCE_DIR
#define VANTOR_SOURCE_DIR ""
#endif

namespace ApiReference {
namespace {

using World::Api::Entry;
using World::Api::KindInfo;

struct Row {
    int number;
    const Entry* entry;
    std::string file;
};

std::vector<Row> Rows() {
    std::set<std::string> names;
    std::vector<Row> rows;
    int number = 0;
    for (const Entry& e : World::Api::Entries()) {
        if (!names.insert(e.name).second) throw std::runtime_error(std::string("two entries are named ") + e.name);
        if (!e.summary || !*e.summary) throw std::runtime_error(std::string("no summary for the entry ") + e.name);
        if (e.argNames.size() != e.args.size())
            throw std::runtime_error(std::string("the entry ") + e.name + " names " + std::to_string(e.argNames.size()) +
                                     " arguments and reads " + std::to_string(e.args.size()));
        rows.push_back({++number, &e, SourcePath(e.file ? e.file : "")});
    }
    return rows;
}

// "core" and how many entries it has, and the words of the groups after it.
std::string GroupsText(const std::vector<Row>& rows) {
    std::size_t core = 0;
    std::vector<std::string> later;
    for (const Row& row : rows) {
        const std::string group = row.entry->group;
        if (group == "core") ++core;
        else if (std::find(later.begin(), later.end(), group) == later.end()) later.push_back(group);
    }
    std::string words;
    for (const std::string& group : later) words += (words.empty() ? "" : ", ") + group;
    return "Entries 1 to " + std::to_string(core) + " (group core) never change; the groups after them (" + words +
           ") were added later,\nin the same conventions.\n\n";
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string JsonValue(const KindInfo& kind, const char* meaning, int position) {
    std::string out = "{";
    if (position >= 0) out += "\"position\": " + std::to_string(position) + ", ";
    out += "\"type\": " + JsonString(kind.type);
    if (*kind.note) out += ", \"note\": " + JsonString(kind.note);
    if (meaning && *meaning) out += ", \"meaning\": " + JsonString(meaning);
    return out + "}";
}

std::string WithNote(const KindInfo& kind) {
    return *kind.note ? std::string(kind.type) + " (" + kind.note + ")" : std::string(kind.type);
}

std::string MarkdownCell(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out;
}

}  // namespace

std::string SourcePath(const std::string& compiled) {
    std::string path = compiled, root = VANTOR_SOURCE_DIR;
    std::replace(path.begin(), path.end(), '\\', '/');
    std::replace(root.begin(), root.end(), '\\', '/');
    if (!root.empty() && root.back() != '/') root += '/';
    if (!root.empty() && path.compare(0, root.size(), root) == 0) return path.substr(root.size());
    // Built from elsewhere: from the last "engine/" that starts a folder's name.
    for (std::size_t at = path.rfind("engine/"); at != std::string::npos; at = path.rfind("engine/", at - 1))
        if (at == 0 || path[at - 1] == '/') return path.substr(at);
    return path;
}

std::string Markdown() {
    const std::vector<Row> rows = Rows();
    std::ostringstream md;
    md << "# Vantor API reference\n\n"
          "Generated from the engine's catalogue of entries by `tools/api_reference`; do not edit it by hand\n"
          "(`cmake --build build --target api_docs` writes it again, with `api.json` beside it).\n\n"
          "A game calls an entry by name with a `std::vector<std::any>` of arguments, read by position from 0.\n"
          "Entries of kind **op** return one `std::any`; entries of kind **func** return nothing.\n"
          "Each value holds exactly the C++ type below; nothing is converted, so a `double` where a `float`\n"
          "is wanted throws `std::bad_any_cast`. The typed wrappers in `<vantor/Game.h>` build these for you.\n\n"
          "| Type | C++ type in the `std::any` | Layout |\n"
          "|---|---|---|\n"
          "| int | `int` | instance id, key code, packed colour 0xRRGGBBAA, ... |\n"
          "| float | `float` | any scalar; angles in radians unless the entry says degrees |\n"
          "| bool | `bool` | |\n"
          "| string | `std::string` | |\n"
          "| vec2, vec3 | `std::vector<float>` | x, y (, z); at least that many elements in arguments |\n"
          "| vec4 | `std::vector<float>` | a rectangle: x, y, width, height (screen pixels, or an image's pixels) |\n"
          "| mat | `std::vector<float>` | 16 elements, element i is raymath's member mi |\n"
          "| handle | `std::any*` | a variable's address from \"Instance.Get\", valid while its instance lives |\n"
          "| children | `std::unordered_map<std::string, int>` | child name to instance id |\n"
          "| hit | `std::vector<std::any>` | bool hit, float distance, vec3 point, vec3 normal |\n"
          "| bodyhit | `std::vector<std::any>` | bool hit, float distance, vec3 point, vec3 normal, int instance id (0 for none) |\n"
          "| ids | `std::vector<int>` | instance ids |\n"
          "| events | `std::vector<std::any>` | each a `std::vector<std::any>`: string kind, int a, int b, float impulse, vec3 point, vec3 normal |\n\n"
       << GroupsText(rows)
       << "Each entry is one line of a table in the file under Source: its name, the function it calls, the line under\n"
          "\"What it does\" and what each argument means. Adding an entry is adding such a line and its function, and\n"
          "writing this file again.\n\n"
          "| # | Group | Name | Kind | Arguments | Result | What it does | Source |\n"
          "|---|---|---|---|---|---|---|---|\n";
    for (const Row& row : rows) {
        const Entry& e = *row.entry;
        std::string args;
        for (std::size_t i = 0; i < e.args.size(); ++i) {
            if (i) args += "; ";
            args += std::to_string(i) + " " + e.args[i].type;
            const char* meaning = e.argNames[i];
            if (*meaning) args += std::string(" ") + meaning;
            else if (*e.args[i].note) args += std::string(" (") + e.args[i].note + ")";
        }
        md << "| " << row.number << " | " << e.group << " | \"" << e.name << "\" | " << (e.op ? "op" : "func") << " | "
           << MarkdownCell(args.empty() ? "–" : args) << " | " << MarkdownCell(e.op ? WithNote(e.result) : "–") << " | "
           << MarkdownCell(e.summary) << " | [" << row.file << "](../" << row.file << ") |\n";
    }
    return md.str();
}

std::string Json() {
    std::ostringstream js;
    js << "[\n";
    std::vector<Row> rows = Rows();
    for (const Row& row : rows) {
        const Entry& e = *row.entry;
        js << "  {\"number\": " << row.number << ", \"group\": " << JsonString(e.group) << ", \"name\": " << JsonString(e.name)
           << ", \"kind\": \"" << (e.op ? "op" : "func") << "\", \"file\": " << JsonString(row.file) << ",\n   \"args\": [";
        for (std::size_t i = 0; i < e.args.size(); ++i)
            js << (i ? ", " : "") << JsonValue(e.args[i], e.argNames[i], static_cast<int>(i));
        js << "],\n   \"result\": " << (e.op ? JsonValue(e.result, nullptr, -1) : std::string("null"))
           << ",\n   \"summary\": " << JsonString(e.summary) << "}" << (row.number < static_cast<int>(rows.size()) ? "," : "")
           << "\n";
    }
    js << "]\n";
    return js.str();
}

}  // namespace ApiReference
