#include "Fuzz.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#if defined(__SANITIZE_ADDRESS__)
#define VANTOR_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTOR_ASAN 1
#endif
#endif

#ifdef VANTOR_ASAN
// A mutant may ask for absurd amounts of memory: the loader should see that as a
// failed allocation (which it reports), not as a sanitizer error.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=2048";
}
#endif

namespace TestSupport {

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::size_t Pick(std::size_t n, std::mt19937& random) {
    return n == 0 ? std::size_t(0) : std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
}

namespace {
const std::uint32_t kWords[] = {0u, 1u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFu, 0x7F800000u /* inf */,
                                0xFF800000u /* -inf */, 0x7FC00000u /* NaN */, 0x7F7FFFFFu /* FLT_MAX */,
                                0x00000001u /* tiny */, 0x4F800000u /* 2^32 as float */};
}  // namespace

void MutateBytes(Bytes& data, std::mt19937& random, int kind) {
    auto pick = [&](std::size_t n) { return Pick(n, random); };
    switch (kind) {
        case 0: {  // flip a bit
            std::size_t at = pick(data.size());
            data[at] ^= static_cast<unsigned char>(1u << pick(8));
            break;
        }
        case 1: {  // a word with a telling value (sizes, counts, float specials)
            if (data.size() < 4) break;
            std::size_t at = pick(data.size() - 3);
            if (pick(2) == 0) at &= ~std::size_t(3);
            std::uint32_t w = kWords[pick(std::size(kWords))];
            std::memcpy(&data[at], &w, 4);
            break;
        }
        case 2: {  // drop a span
            std::size_t at = pick(data.size()), n = std::min(data.size() - at, pick(64) + 1);
            data.erase(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
            break;
        }
        case 3: {  // copy a span elsewhere
            std::size_t from = pick(data.size()), n = std::min(data.size() - from, pick(256) + 1);
            Bytes span(data.begin() + static_cast<long>(from), data.begin() + static_cast<long>(from + n));
            data.insert(data.begin() + static_cast<long>(pick(data.size() + 1)), span.begin(), span.end());
            break;
        }
        default: {  // cut the file short
            data.resize(pick(data.size() + 1));
            break;
        }
    }
}

void MutateFile(Bytes& data, std::mt19937& random, std::size_t headerBytes) {
    for (int m = 1 + static_cast<int>(random() % 4); m > 0; --m) {
        int kind = static_cast<int>(Pick(kByteMutations + 1, random));
        if (data.empty()) kind = 3;
        if (kind < kByteMutations) {
            MutateBytes(data, random, kind);
            continue;
        }
        Bytes head(data.begin(), data.begin() + static_cast<long>(std::min(data.size(), headerBytes)));
        MutateBytes(head, random, 1);
        std::copy(head.begin(), head.end(), data.begin());
    }
}

std::string RunInChild(const std::function<int()>& check, const std::string& errPath, int& code) {
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) dup2(fd, 2);
        alarm(60);  // a hang ends in SIGALRM
#ifndef VANTOR_ASAN
        // Unbounded memory shows as a failed allocation (the shadow memory of ASan
        // does not fit such a limit; there the allocator's own limit serves).
        rlimit limit{std::size_t(3) << 30, std::size_t(3) << 30};
        setrlimit(RLIMIT_AS, &limit);
#endif
        int status = check();
        std::fflush(stderr);
        _exit(status);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) return "hang (over 60 s)";
    if (WIFSIGNALED(status)) return std::string("crash (signal ") + std::to_string(WTERMSIG(status)) + ")";
    code = WEXITSTATUS(status);
    Bytes said = ReadBytes(errPath);
    if (std::string(said.begin(), said.end()).find("runtime error:") != std::string::npos) return "UBSan report";
    return std::string();
}

std::string Tail(const std::string& path, std::size_t n) {
    Bytes bytes = ReadBytes(path);
    std::string text(bytes.begin(), bytes.end());
    return text.size() > n ? text.substr(text.size() - n) : text;
}

FuzzOptions ParseFuzzOptions(int argc, char** argv, const char* program) {
    FuzzOptions o;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (a == "--seed") o.seed = static_cast<unsigned>(std::stoul(next()));
        else if (a == "--files") o.files = std::stol(next());
        else if (a == "--seconds") o.seconds = std::stol(next());
        else if (a == "--keep") o.keep = next();
        else if (a == "--replay") o.replay = next();
        else if (a == "--verbose") o.verbose = true;
        else {
            std::fprintf(stderr, "usage: %s [--seed N] [--files N | --seconds N] [--keep DIR] [--verbose] | --replay FILE\n",
                         program);
            std::exit(2);
        }
    }
    return o;
}

int RunFileFuzz(const FuzzOptions& o, const std::string& work, const FileFuzz& fuzz) {
    namespace fs = std::filesystem;
    std::mt19937 random(o.seed);
    long count = 0, loaded = 0, findings = 0;
    const auto start = std::chrono::steady_clock::now();
    auto more = [&] {
        if (o.seconds > 0) return std::chrono::steady_clock::now() - start < std::chrono::seconds(o.seconds);
        return count < o.files;
    };
    const std::string errPath = work + "/child.err";
    while (more()) {
        const FileFuzz::Seed& s = fuzz.seeds[static_cast<std::size_t>(count) % fuzz.seeds.size()];
        const std::string extension = fs::path(s.path).extension().string();
        const std::string path = work + "/case" + extension;
        Bytes data = ReadBytes(s.path);
        MutateFile(data, random, fuzz.headerBytes);
        WriteBytes(path, data);

        const unsigned caseSeed = static_cast<unsigned>(random());
        int code = 0;
        std::string finding = RunInChild([&] { return fuzz.check(path, caseSeed); }, errPath, code);
        if (finding.empty() && code != 0 && code != 4) finding = "exit status " + std::to_string(code) + " (sanitizer report?)";
        if (finding.empty()) finding = fuzz.wrongWords(Tail(errPath, 100000), path, code == 4);
        ++count;
        loaded += code == 0;
        if (!finding.empty()) {
            ++findings;
            std::printf("FINDING %ld (%s, seed %u, file %ld): %s\n%s\n", findings, s.name.c_str(), o.seed, count,
                        finding.c_str(), Tail(errPath, 3000).c_str());
            if (!o.keep.empty()) {
                const std::string to = o.keep + "/finding-" + std::to_string(o.seed) + "-" + std::to_string(count) + extension;
                fs::create_directories(o.keep);
                fs::copy_file(path, to, fs::copy_options::overwrite_existing);
                std::printf("kept as %s\n", to.c_str());
            }
        } else if (o.verbose) {
            std::printf("%ld %s %s\n", count, s.name.c_str(), code == 0 ? fuzz.loaded : fuzz.refused);
        }
    }
    std::printf("%s: seed %u: %ld files, %ld %s, %ld %s, %ld findings\n", fuzz.program, o.seed, count, loaded, fuzz.loaded,
                count - loaded, fuzz.refused, findings);
    return findings == 0 ? 0 : 1;
}

}  // namespace TestSupport
