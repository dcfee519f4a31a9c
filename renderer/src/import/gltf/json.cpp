#include "json.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace gltf {

const Json* Json::Get(const char* key) const {
    if (kind != kObject) return nullptr;
    for (const auto& m : members) {
        if (m.first == key) return &m.second;
    }
    return nullptr;
}

Json* Json::Get(const char* key) { return const_cast<Json*>(static_cast<const Json*>(this)->Get(key)); }

void Json::Erase(const char* key) {
    for (auto it = members.begin(); it != members.end();) {
        if (it->first == key) it = members.erase(it);
        else ++it;
    }
}

namespace {

class Reader {
public:
    Reader(const char* begin, const char* end, int maxDepth) : p_(begin), end_(end), maxDepth_(maxDepth) {}

    bool Document(Json& out) {
        if (end_ - p_ >= 3 && memcmp(p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;
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
    // Four hex digits after "\u"; false when they are not.
    bool Hex4(unsigned& out) {
        if (end_ - p_ < 4) return false;
        out = 0;
        for (int i = 0; i < 4; ++i, ++p_) {
            const char c = *p_;
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0) return false;
            out = out << 4 | static_cast<unsigned>(digit);
        }
        return true;
    }
    static void Utf8(unsigned code, std::string& out) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    // "\uXXXX" (p_ just past the 'u'), a surrogate pair taking two; a lone half of a
    // pair reads as U+FFFD. Decoded, so that a document written back keeps its names.
    bool Escaped(std::string& out) {
        unsigned code = 0;
        if (!Hex4(code)) return false;
        if (code >= 0xD800 && code < 0xDC00 && end_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u') {
            const char* pair = p_;
            p_ += 2;
            unsigned low = 0;
            if (Hex4(low) && low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            } else {
                p_ = pair;
            }
        }
        if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;
        Utf8(code, out);
        return true;
    }
    bool String(std::string& out) {
        if (p_ >= end_ || *p_ != '"') return false;
        for (p_++; p_ < end_;) {
            char c = *p_;
            if (c == '"') {
                p_++;
                return true;
            }
            if (c == '\\') {
                if (++p_ >= end_) return false;
                if (*p_ == 'u') {
                    p_++;
                    if (!Escaped(out)) return false;
                    continue;
                }
                static const char* const kFrom = "\"\\/bfnrt";
                static const char* const kTo = "\"\\/\b\f\n\r\t";
                const char* at = strchr(kFrom, *p_);
                if (at == nullptr || *p_ == '\0') return false;
                out += kTo[at - kFrom];
                p_++;
                continue;
            }
            out += c;
            p_++;
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
        if (depth > maxDepth_) return false;
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
    int maxDepth_;
};

void WriteString(const std::string& text, std::string& out) {
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
            continue;
        }
        out += c;
    }
    out += '"';
}

}  // namespace

bool ReadJson(const char* begin, const char* end, Json& out, int maxDepth) { return Reader(begin, end, maxDepth).Document(out); }

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
        case Json::kString: WriteString(v.text, out); break;
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
                WriteString(v.members[i].first, out);
                out += ':';
                WriteJson(v.members[i].second, out);
            }
            out += '}';
            break;
    }
}

}  // namespace gltf
