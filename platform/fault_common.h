// What the crash handlers of both systems share: formatting into fixed
// buffers (nothing here allocates), the report's message, and the report
// process's listing of the frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace Platform::FaultText {

// Appends to a fixed buffer, always zero-terminated; what does not fit is cut.
struct Text {
    char* buffer;
    std::size_t capacity, size = 0;

    Text& operator<<(const char* s) {
        while (s && *s && size + 1 < capacity) buffer[size++] = *s++;
        buffer[size] = '\0';
        return *this;
    }
    Text& Hex(std::uintptr_t value) {
        char digits[2 + 2 * sizeof value + 1] = "0x";
        char reversed[2 * sizeof value];
        int n = 0;
        do {
            reversed[n++] = "0123456789abcdef"[value & 15];
            value >>= 4;
        } while (value);
        for (int i = 0; i < n; ++i) digits[2 + i] = reversed[n - 1 - i];
        digits[2 + n] = '\0';
        return *this << digits;
    }
};

// Copies into a fixed buffer, cut to fit, always zero-terminated.
inline void Copy(char* to, std::size_t capacity, const char* from) {
    std::size_t n = std::strlen(from);
    if (n > capacity - 1) n = capacity - 1;
    std::memcpy(to, from, n);
    to[n] = '\0';
}

// The name a module is shown by, from its file name `base`: a private copy made for
// reloading (game.<pid>.<n>.dll) is still game.dll to the reader. `ignoreCase` as the
// system compares file names (Windows does).
inline void DisplayName(char* to, std::size_t capacity, const char* base, bool ignoreCase) {
    auto same = [ignoreCase](const char* a, const char* b, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            char x = a[i], y = b[i];
            if (ignoreCase && x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
            if (x != y) return false;  // b is lower case
        }
        return true;
    };
    const std::size_t n = std::strlen(base);
    if (n >= 8 && same(base, "game.", 5) && same(base + n - 4, ".dll", 4)) base = "game.dll";
    Copy(to, capacity, base);
}

// "Tick failed: game.dll crashed in tick with <kind> at game.dll+0x1a2b." when
// a call into the game (`call`) was running, else "The engine crashed with
// <kind> at engine+0x1a2b.". `module` is null for an address in no module.
inline void Message(Text& text, const char* call, const char* module, bool inEngine, const char* kind,
                    std::uintptr_t offset) {
    const char* who = inEngine || !module ? "the engine" : module;
    if (call) {
        const char capital[2] = {static_cast<char>(call[0] >= 'a' && call[0] <= 'z' ? call[0] - 'a' + 'A' : call[0]), 0};
        text << capital << call + 1 << " failed: " << who << " crashed in " << call << " with ";
    } else {
        text << (inEngine || !module ? "The engine" : module) << " crashed with ";
    }
    text << kind << " at " << (module ? module : "address");
    (module ? text << "+" : text << " ").Hex(offset) << ".";
}

// The report process: argv holds the caption, the message, "1" to show the
// box, then (path, hex offset, module name) for each frame. Writes the
// backtrace on stderr, naming frames with `name(path, offset)` (empty when
// unknown), then shows the box when asked.
int Report(int argc, char** argv, const std::function<std::string(const std::string&, std::uint64_t)>& name);

// The same, with names from a SymbolFile(path) of each module, read once:
// its Name(offset) gives the function holding the offset, or "".
template <class SymbolFile>
int ReportWith(int argc, char** argv) {
    std::map<std::string, std::unique_ptr<SymbolFile>> files;
    return Report(argc, argv, [&files](const std::string& path, std::uint64_t offset) {
        std::unique_ptr<SymbolFile>& file = files[path];
        if (!file) file = std::make_unique<SymbolFile>(path);
        return file->Name(offset);
    });
}

}  // namespace Platform::FaultText
