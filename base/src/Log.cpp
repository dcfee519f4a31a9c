#include "base/Log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace base {
namespace {

std::mutex& LogLock() {
    static std::mutex lock;
    return lock;
}
WarningCapture* capture = nullptr;  // guarded by LogLock()

// The kept lines, a ring of kLogKept (guarded by LogLock()).
std::vector<LogLine>& Kept() {
    static std::vector<LogLine> kept;
    return kept;
}
unsigned long long counted = 0;

void Keep(std::string_view tag, std::string_view text, bool warning) {
    std::vector<LogLine>& kept = Kept();
    LogLine line{++counted, std::string(tag), std::string(text), warning};
    if (kept.size() < kLogKept) kept.push_back(std::move(line));
    else kept[(counted - 1) % kLogKept] = std::move(line);
}

}  // namespace

void WarnText(std::string_view tag, std::string_view text) {
    std::string line;
    line.reserve(tag.size() + text.size() + 2);
    line.append(tag).append(": ").append(text);
    std::lock_guard<std::mutex> hold(LogLock());
    Keep(tag, text, true);
    if (capture) {
        capture->lines_.push_back(std::move(line));
        return;
    }
    std::fprintf(stderr, "WARNING: %s\n", line.c_str());
    std::fflush(stderr);
}

void Record(std::string_view tag, std::string_view text, bool warning) {
    std::lock_guard<std::mutex> hold(LogLock());
    Keep(tag, text, warning);
}

std::vector<LogLine> LogSince(unsigned long long after) {
    std::lock_guard<std::mutex> hold(LogLock());
    const std::vector<LogLine>& kept = Kept();
    std::vector<LogLine> lines;
    const unsigned long long first = counted > kept.size() ? counted - kept.size() + 1 : 1;
    for (unsigned long long n = std::max(first, after + 1); n <= counted; ++n)
        lines.push_back(kept[(n - 1) % kLogKept]);
    return lines;
}

void Warn(const char* tag, const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) n = 0;
    std::string text;
    if (static_cast<size_t>(n) < sizeof buffer) {
        text.assign(buffer, static_cast<size_t>(n));
    } else {
        // Rare: a long file name in the message. Format again at full length.
        text.resize(static_cast<size_t>(n) + 1);
        va_start(args, format);
        std::vsnprintf(text.data(), text.size(), format, args);
        va_end(args);
        text.resize(static_cast<size_t>(n));
    }
    WarnText(tag ? tag : "", text);
}

WarningCapture::WarningCapture() {
    std::lock_guard<std::mutex> hold(LogLock());
    outer_ = capture;
    capture = this;
}

WarningCapture::~WarningCapture() {
    std::lock_guard<std::mutex> hold(LogLock());
    // Captures nest like scopes; an out-of-order end just unlinks this one.
    if (capture == this) {
        capture = outer_;
    } else {
        for (WarningCapture* c = capture; c; c = c->outer_)
            if (c->outer_ == this) c->outer_ = outer_;
    }
}

std::vector<std::string> WarningCapture::Lines() const {
    std::lock_guard<std::mutex> hold(LogLock());
    return lines_;
}

bool WarningCapture::Saw(std::string_view part) const {
    std::lock_guard<std::mutex> hold(LogLock());
    for (const std::string& line : lines_)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

std::string WarningCapture::Joined() const {
    std::lock_guard<std::mutex> hold(LogLock());
    std::string all;
    for (const std::string& line : lines_) all.append(line).push_back('\n');
    return all;
}

}  // namespace base
