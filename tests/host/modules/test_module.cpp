// Game modules built for the host tests. Each variant leaves out exports or
// misbehaves in one way, chosen by compile definitions:
//   NO_INIT, NO_TICK, NO_DEFINE_FUNC, NO_DEFINE_OP  leave that export out
//   INIT_THROWS                                     init throws std::runtime_error
//   TICK_THROWS_AT=n                                the n-th tick throws
//   INIT_PRINTS_CWD                                 init writes "cwd=<dir>" on stderr, then throws
//   INIT_CALLS_WITH_WRONG_TYPE                      init calls "IsKeyDown" with a double
// Every tick writes "tick <n>" on stderr so tests can count frames.
#include <any>
#include <cstdio>
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
}
#endif
