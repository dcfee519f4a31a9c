// What the file fuzzers share: byte-level mutations of a file, and running the
// loader on each mutant in a child process, so that a crash, a hang or a
// sanitizer report is a finding to report rather than the end of the run.
#pragma once

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace TestSupport {

using Bytes = std::vector<unsigned char>;

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);

// A random index below n (0 when n is 0).
std::size_t Pick(std::size_t n, std::mt19937& random);

// The byte-level mutations, by number below kByteMutations: flip a bit, write
// a 32-bit word with a telling value (sizes, counts, float specials), drop a
// span, copy a span elsewhere, cut the file short.
constexpr int kByteMutations = 5;
void MutateBytes(Bytes& data, std::mt19937& random, int kind);

// Runs `check` in a child process with its stderr in `errPath` and a minute to
// finish. Empty when it exited, with its exit status in `code`; otherwise what
// went wrong: a hang, a crash by signal, or a report of UBSan (which goes on
// after reporting unless told to halt).
std::string RunInChild(const std::function<int()>& check, const std::string& errPath, int& code);

// The last `n` characters of a file.
std::string Tail(const std::string& path, std::size_t n);

// 1 to 4 byte-level mutations of a seed file's bytes; of the word writes, half
// land in its first `headerBytes` bytes, where the headers are.
void MutateFile(Bytes& data, std::mt19937& random, std::size_t headerBytes);

// The command line of the fuzzers:
//   PROGRAM [--seed N] [--files N | --seconds N] [--keep DIR] [--verbose] | --replay FILE
struct FuzzOptions {
    unsigned seed = 1;
    long files = 200, seconds = 0;
    std::string keep, replay;
    bool verbose = false;
};
// A word it does not know ends the program with the usage line and status 2.
FuzzOptions ParseFuzzOptions(int argc, char** argv, const char* program);

// The loop of a file fuzzer: seed files taken in turn, each mutated with
// MutateFile, written as `case<extension>` in `work`, and checked in a child
// process. `check` returns 0 for a file loaded, 4 for one refused, anything
// else for a finding; `wrongWords` is given what the child wrote on stderr and
// says what was wrong with it ("" when right). A finding is printed, kept in
// --keep when given, and fails the run. Returns the program's exit status.
struct FileFuzz {
    struct Seed {
        std::string name, path;
    };
    const char* program;
    std::vector<Seed> seeds;
    std::size_t headerBytes;
    std::function<int(const std::string& path, unsigned caseSeed)> check;
    std::function<std::string(const std::string& said, const std::string& path, bool refused)> wrongWords;
    const char* loaded = "loaded";    // how the summary line names the two outcomes
    const char* refused = "refused";
};
int RunFileFuzz(const FuzzOptions& options, const std::string& work, const FileFuzz& fuzz);

}  // namespace TestSupport
