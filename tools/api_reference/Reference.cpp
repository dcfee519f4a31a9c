#include "Reference.h"

#include <cstdio>
#include <map>
#include <sstream>
#include <stdexcept>

#include "Catalog.h"

namespace ApiReference {
namespace {

using World::Api::Entry;
using World::Api::KindInfo;

struct Row {
    int number;
    const Entry* entry;
    const Summary* summary;
};

std::vector<Row> Rows() {
    std::map<std::string, const Summary*> byName;
    for (const Summary& s : Summaries())
        if (!byName.emplace(s.name, &s).second) throw std::runtime_error(std::string("two summaries for ") + s.name);
    std::vector<Row> rows;
    int number = 0;
    for (const Entry& e : World::Api::Entries()) {
        auto found = byName.find(e.name);
        if (found == byName.end()) throw std::runtime_error(std::string("no summary for the entry ") + e.name);
        if (found->second->argNames.size() != e.args.size())
            throw std::runtime_error(std::string("the summary of ") + e.name + " names " +
                                     std::to_string(found->second->argNames.size()) + " arguments, the entry reads " +
                                     std::to_string(e.args.size()));
        rows.push_back({++number, &e, found->second});
        byName.erase(found);
    }
    if (!byName.empty()) throw std::runtime_error("a summary names no entry: " + byName.begin()->first);
    return rows;
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

std::string Markdown() {
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
          "Entries 1 to 171 (group core) never change; the groups after them (sound, screen, animation, physics) were added later,\n"
          "in the same conventions.\n\n"
          "| # | Group | Name | Kind | Arguments | Result | What it does |\n"
          "|---|---|---|---|---|---|---|\n";
    for (const Row& row : Rows()) {
        const Entry& e = *row.entry;
        std::string args;
        for (std::size_t i = 0; i < e.args.size(); ++i) {
            if (i) args += "; ";
            args += std::to_string(i) + " " + e.args[i].type;
            const char* meaning = row.summary->argNames[i];
            if (*meaning) args += std::string(" ") + meaning;
            else if (*e.args[i].note) args += std::string(" (") + e.args[i].note + ")";
        }
        md << "| " << row.number << " | " << e.group << " | \"" << e.name << "\" | " << (e.op ? "op" : "func") << " | "
           << MarkdownCell(args.empty() ? "–" : args) << " | " << MarkdownCell(e.op ? WithNote(e.result) : "–") << " | "
           << MarkdownCell(row.summary->line) << " |\n";
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
           << ", \"kind\": \""
           << (e.op ? "op" : "func") << "\",\n   \"args\": [";
        for (std::size_t i = 0; i < e.args.size(); ++i)
            js << (i ? ", " : "") << JsonValue(e.args[i], row.summary->argNames[i], static_cast<int>(i));
        js << "],\n   \"result\": " << (e.op ? JsonValue(e.result, nullptr, -1) : std::string("null"))
           << ",\n   \"summary\": " << JsonString(row.summary->line) << "}" << (row.number < static_cast<int>(rows.size()) ? "," : "")
           << "\n";
    }
    js << "]\n";
    return js.str();
}

}  // namespace ApiReference
