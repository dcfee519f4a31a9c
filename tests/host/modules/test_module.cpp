// Game modules built for the host tests. Each variant leaves out exports or
// misbehaves in one way, chosen by compile definitions:
//   NO_INIT, NO_TICK, NO_DEFINE_FUNC, NO_DEFINE_OP  leave that export out
//   INIT_THROWS                                     init throws std::runtime_error
//   TICK_THROWS_AT=n                                the n-th tick throws
//   INIT_PRINTS_CWD                                 init writes "cwd=<dir>" on stderr, then throws
//   INIT_CALLS_WITH_WRONG_TYPE                      init calls "IsKeyDown" with a double
//   FAULT=<kind>, FAULT_IN_INIT or FAULT_IN_TICK    crashes there: FAULT_SEGV, FAULT_ILL, FAULT_BUS,
//                                                   FAULT_FPE (integer division by zero), FAULT_ABORT,
//                                                   FAULT_STACK (runaway recursion), or FAULT_ENGINE
//                                                   (corrupts a variable slot so the engine's own
//                                                   code faults reading it)
// Every tick writes "tick <n>" on stderr so tests can count frames.
#include <any>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

using game_func = std::function<void(std::vector<std::any>)>;
using game_op = std::function<std::any(std::vector<std::any>)>;

#if defined(_WIN32)
#define EXPORT extern "C" __declspec(dllexport)  // else MinGW's linker exports every symbol
#else
#define EXPORT extern "C" __attribute__((visibility("default")))
#endif

static std::unordered_map<std::string, game_func> funcs;
static std::unordered_map<std::string, game_op> ops;

#ifndef NO_DEFINE_FUNC
EXPORT void define_func(std::string name, game_func f) { funcs[name] = f; }
#endif
#ifndef NO_DEFINE_OP
EXPORT void define_op(std::string name, game_op f) { ops[name] = f; }
#endif

#ifdef FAULT
#if !defined(_WIN32)
#include <sys/mman.h>
#endif
namespace {

enum { FAULT_SEGV = 1, FAULT_ILL, FAULT_BUS, FAULT_FPE, FAULT_ABORT, FAULT_STACK, FAULT_ENGINE };

volatile int stop = 0;  // never set: the recursion runs until the stack is gone

[[gnu::noinline]] int RunAway(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (stop) return depth;
    return RunAway(depth + 1) + frame[0];  // not a tail call: every level keeps its frame
}

[[gnu::noinline]] void CrashTheGame() {
    volatile int zero = 0, one = 1;  // 1 / x alone compiles to a comparison, not a division
    switch (FAULT) {
    case FAULT_SEGV: *static_cast<volatile int*>(nullptr) = 1; break;
    case FAULT_ILL: __builtin_trap();
    case FAULT_FPE: std::fprintf(stderr, "%d\n", one / zero); break;
    case FAULT_ABORT: std::abort();
    case FAULT_STACK: std::fprintf(stderr, "%d\n", RunAway(0)); break;
#if !defined(_WIN32)
    case FAULT_BUS: {  // a page of a file past its end
        FILE* file = std::tmpfile();
        auto* page = static_cast<volatile char*>(mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fileno(file), 0));
        std::fprintf(stderr, "%d\n", page[0]);
        break;
    }
#endif
    case FAULT_ENGINE: {
        int id = std::any_cast<int>(ops["Instance.New"]({std::string("CFrame")}));
        std::any* slot = std::any_cast<std::any*>(ops["Instance.Get"]({id, std::string("Value")}));
        reinterpret_cast<void**>(slot)[1] = reinterpret_cast<void*>(0x10);  // the transform's storage
        funcs["CFrame.MoveBy"]({slot, std::vector<float>{1, 2, 3}});
        break;
    }
    }
}

}  // namespace
#endif

#ifndef NO_INIT
EXPORT void init() {
    std::fprintf(stderr, "init: %zu ops, %zu funcs\n", ops.size(), funcs.size());
#ifdef INIT_THROWS
    throw std::runtime_error("the test module refuses to start");
#endif
#ifdef INIT_PRINTS_CWD
    char cwd[4096];
    std::fprintf(stderr, "cwd=%s\n", getcwd(cwd, sizeof(cwd)) ? cwd : "?");
    throw std::runtime_error("done");
#endif
#ifdef INIT_CALLS_WITH_WRONG_TYPE
    ops["IsKeyDown"]({std::any(1.0)});
#endif
#if defined(FAULT) && defined(FAULT_IN_INIT)
    CrashTheGame();
#endif
}
#endif

#ifndef NO_TICK
EXPORT void tick() {
    static int calls = 0;
    ++calls;
    std::fprintf(stderr, "tick %d\n", calls);
#ifdef TICK_THROWS_AT
    if (calls == TICK_THROWS_AT) throw std::logic_error("tick " + std::to_string(calls) + " went wrong");
#endif
#if defined(FAULT) && defined(FAULT_IN_TICK)
    if (calls == 2) CrashTheGame();
#endif
}
#endif
