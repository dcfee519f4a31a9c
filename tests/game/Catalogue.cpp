// Every host entry in registration order, read from the API reference the
// engine's catalogue generates (docs/api.json; engine_reference_tests checks it
// against the catalogue), so a new entry needs nothing here.
#include "Catalogue.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace GameTest {

namespace {

// Enough of JSON for the reference: objects, arrays, strings, numbers, null.
struct Json {
    enum Type { Null, Number, String, Array, Object } type = Null;
    std::string text;  // a string's value, a number as written
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json& operator[](const char* key) const {
        for (const auto& [name, value] : members)
            if (name == key) return value;
        throw std::runtime_error(std::string("no member \"") + key + "\"");
    }
};

class Parser {
public:
    explicit Parser(std::string text) : s_(std::move(text)) {}

    Json Document() {
        Json value = Value();
        Space();
        if (at_ != s_.size()) Fail("text after the document");
        return value;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error(what + " at byte " + std::to_string(at_));
    }
    void Space() {
        while (at_ < s_.size() && std::strchr(" \t\r\n", s_[at_])) ++at_;
    }
    void Expect(char c) {
        Space();
        if (at_ >= s_.size() || s_[at_] != c) Fail(std::string("'") + c + "' expected");
        ++at_;
    }
    bool Next(char c) {
        Space();
        if (at_ < s_.size() && s_[at_] == c) return ++at_, true;
        return false;
    }
    std::string Text() {
        Expect('"');
        std::string out;
        while (at_ < s_.size() && s_[at_] != '"') {
            char c = s_[at_++];
            if (c == '\\') {
                if (at_ >= s_.size()) break;
                c = s_[at_++];
                if (c == 'n') c = '\n';
                else if (c == 't') c = '\t';
                else if (c != '"' && c != '\\' && c != '/') Fail(std::string("unknown escape \\") + c);
            }
            out += c;
        }
        Expect('"');
        return out;
    }
    Json Value() {
        Space();
        Json v;
        if (Next('{')) {
            v.type = Json::Object;
            if (Next('}')) return v;
            do {
                std::string name = Text();
                Expect(':');
                v.members.emplace_back(std::move(name), Value());
            } while (Next(','));
            Expect('}');
        } else if (Next('[')) {
            v.type = Json::Array;
            if (Next(']')) return v;
            do v.items.push_back(Value());
            while (Next(','));
            Expect(']');
        } else if (at_ < s_.size() && s_[at_] == '"') {
            v.type = Json::String;
            v.text = Text();
        } else if (s_.compare(at_, 4, "null") == 0) {
            at_ += 4;
        } else {
            const std::size_t from = at_;
            while (at_ < s_.size() && std::strchr("-+.eE0123456789", s_[at_])) ++at_;
            if (at_ == from) Fail("a value expected");
            v.type = Json::Number;
            v.text = s_.substr(from, at_ - from);
        }
        return v;
    }

    std::string s_;
    std::size_t at_ = 0;
};

const char* const kKindNames[] = {"none", "int",      "float", "bool", "string",  "vec2", "vec3",  "mat",
                                  "handle", "children", "hit", "vec4", "bodyhit", "ids",  "events",
                                  "peers", "messages", "stats", "texts"};

Kind KindOf(const Json& value) {
    const std::string& type = value["type"].text;
    for (int k = 0; k < static_cast<int>(std::size(kKindNames)); ++k)
        if (type == kKindNames[k]) return static_cast<Kind>(k);
    throw std::runtime_error("unknown type \"" + type + "\"");
}

std::vector<EntrySpec> Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<EntrySpec> entries;
    try {
        const Json document = Parser(text.str()).Document();
        for (const Json& e : document.items) {
            EntrySpec listed{e["name"].text, e["kind"].text == "op" ? Op : Func, {}, None};
            for (const Json& arg : e["args"].items) listed.args.push_back(KindOf(arg));
            if (e["result"].type != Json::Null) listed.result = KindOf(e["result"]);
            entries.push_back(std::move(listed));
        }
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
    if (entries.empty()) throw std::runtime_error(path + " lists no entries");
    return entries;
}

}  // namespace

const std::vector<EntrySpec>& Catalogue() {
    static const std::vector<EntrySpec> entries = Load(VANTOR_DOCS_DIR "/api.json");
    return entries;
}

const EntrySpec* FindEntry(const std::string& name) {
    for (const EntrySpec& e : Catalogue())
        if (name == e.name) return &e;
    return nullptr;
}

const std::type_info& TypeOf(Kind kind) {
    switch (kind) {
        case Int: return typeid(int);
        case Float: return typeid(float);
        case Bool: return typeid(bool);
        case Str: return typeid(std::string);
        case Vec2:
        case Vec3:
        case Vec4:
        case Mat: return typeid(std::vector<float>);
        case Handle: return typeid(std::any*);
        case Children: return typeid(std::unordered_map<std::string, int>);
        case Hit:
        case BodyHit:
        case Events:
        case Messages:
        case Stats:
        case Texts: return typeid(std::vector<std::any>);
        case Ids:
        case Peers: return typeid(std::vector<int>);
        case None: break;
    }
    return typeid(void);
}

const char* KindName(Kind kind) { return kKindNames[kind]; }

}  // namespace GameTest
