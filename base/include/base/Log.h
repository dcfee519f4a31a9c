// One warning path for every layer. A warning is a line "WARNING: TAG: text" on
// standard error, where TAG names the layer ("R3D", "A3D", "S2D", "P3D", ...).
// Tests (and tools) can take the lines instead with a WarningCapture.
//
// Thread-safe: the audio layer warns from its feeder thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace base {

#if defined(__GNUC__)
#define VANTOR_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define VANTOR_PRINTF(fmt, first)
#endif

// A formatted warning from the layer `tag`.
void Warn(const char* tag, const char* format, ...) VANTOR_PRINTF(2, 3);
void WarnText(std::string_view tag, std::string_view text);

// Every warning since start is also kept (the newest kLogKept), with events a
// tool may want beside them (a reload), for the inspector's log.
struct LogLine {
    unsigned long long number;  // counts from 1 over the whole run
    std::string tag;
    std::string text;
    bool warning;
};
constexpr std::size_t kLogKept = 4096;
// Keeps a line printed elsewhere: an event (a reload), or a warning or error of a
// library that reports on its own (raylib's).
void Record(std::string_view tag, std::string_view text, bool warning = false);
// The kept lines numbered above `after`, oldest first.
std::vector<LogLine> LogSince(unsigned long long after);

// While one is alive, warnings are kept here instead of going to standard error
// (the innermost capture takes them). Lines are "TAG: text", without "WARNING: ".
class WarningCapture {
public:
    WarningCapture();
    ~WarningCapture();
    WarningCapture(const WarningCapture&) = delete;
    WarningCapture& operator=(const WarningCapture&) = delete;

    std::vector<std::string> Lines() const;
    // Whether some line holds `part`.
    bool Saw(std::string_view part) const;
    std::string Joined() const;  // every line, each ending in '\n'

private:
    friend void WarnText(std::string_view, std::string_view);
    WarningCapture* outer_;
    std::vector<std::string> lines_;
};

}  // namespace base
