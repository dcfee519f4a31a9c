#include "fault_common.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ErrorBox.h"

namespace Platform::FaultText {

int Report(int argc, char** argv, const std::function<std::string(const std::string&, std::uint64_t)>& name) {
    if (argc < 5) return 2;
    constexpr int kShown = 16;  // a short backtrace: the frames nearest the fault
    std::string lines = "backtrace (most recent call first):\n";
    std::string previous;
    int repeats = 0, frame = 0;
    for (int i = 5; i + 2 < argc && frame < kShown; i += 3) {
        const std::string path = argv[i];
        const std::uint64_t offset = std::strtoull(argv[i + 1], nullptr, 16);
        // Past the first frame an address is where a call returns to: name the call.
        std::string function = path == "?" ? std::string() : name(path, frame == 0 ? offset : offset - 1);
        char head[128];
        std::snprintf(head, sizeof head, "%s+%s", argv[i + 2], argv[i + 1]);
        const std::string where = head + (function.empty() ? std::string() : "  " + function);
        if (where == previous) {  // runaway recursion: one line for all its frames
            ++repeats;
            continue;
        }
        if (repeats > 0) lines += "      (and " + std::to_string(repeats) + " more of the same)\n";
        repeats = 0;
        previous = where;
        std::snprintf(head, sizeof head, "  #%-2d ", frame++);
        lines += head + where + "\n";
    }
    if (repeats > 0) lines += "      (and " + std::to_string(repeats) + " more of the same)\n";
    std::fwrite(lines.data(), 1, lines.size(), stderr);
    std::fflush(stderr);
    if (std::strcmp(argv[4], "1") == 0) ShowErrorBox(argv[2], argv[3]);
    return 0;
}

}  // namespace Platform::FaultText
