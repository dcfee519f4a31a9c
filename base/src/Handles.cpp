#include "base/Handles.h"

#include <cstring>
#include <mutex>

#include "base/Log.h"

namespace base::handles {
namespace {

constexpr unsigned kKinds = 15;  // kind numbers 1..15 fit bits 27..30
std::mutex kindLock;
const char* kindNames[kKinds + 1] = {};

}  // namespace

unsigned KindNumber(const char* noun) {
    std::lock_guard<std::mutex> hold(kindLock);
    for (unsigned k = 1; k <= kKinds; ++k) {
        if (!kindNames[k]) {
            kindNames[k] = noun;
            return k;
        }
        if (std::strcmp(kindNames[k], noun) == 0) return k;
    }
    // More kinds than bits: such handles are told apart by index and generation only.
    return 0;
}

const char* KindName(unsigned kind) {
    std::lock_guard<std::mutex> hold(kindLock);
    return kind >= 1 && kind <= kKinds && kindNames[kind] ? kindNames[kind] : "";
}

std::string WhyNotLive(Handle h, unsigned kind, bool released) {
    const unsigned other = KindOf(h);
    if (other != kind) {
        const char* name = KindName(other);
        if (!*name) return "was never issued";
        const bool vowel = std::strchr("aeiou", name[0]) != nullptr;
        return std::string(vowel ? "is an " : "is a ") + name + " handle";
    }
    return released ? "was released" : "was never issued";
}

void WarnNotLive(const char* tag, const char* call, const char* noun, Handle h, const std::string& why) {
    Warn(tag, "%s: %s %u %s", call, noun, static_cast<unsigned>(h), why.c_str());
}

}  // namespace base::handles
