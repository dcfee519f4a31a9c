#!/usr/bin/env bash
# Builds the whole project with AddressSanitizer and UndefinedBehaviorSanitizer
# (float-cast-overflow included) into build-asan/, then runs the whole suite
# there, windowed tests inside a private Xvfb display as scripts/test.sh does.
# Any sanitizer report stops the program that made it, so its test fails.
# Arguments, if any, go to ctest (e.g. -R engine_).
#
# Leak reports from the system's graphics stack (Mesa, X) are suppressed through
# tests/lsan.supp when it exists.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
prefix=$(cat "$root/scripts/deps-prefix")
build="$root/build-asan"

sanitize="-fsanitize=address,undefined -fsanitize=float-cast-overflow -fno-sanitize-recover=all"
flags="$sanitize -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitize" -DCMAKE_SHARED_LINKER_FLAGS="$sanitize" >/dev/null
cmake --build "$build" -j"$(nproc)"

# intercept_tls_get_addr=0: the runtime of GCC 12 (and LLVM up to 16) takes a
# dynamic TLS block that happens to start 16 bytes past a page boundary for one
# with a pre-2.25 glibc header and reads the two words before it; at exit the
# leak checker's tracer then dies on them ("Tracer caught signal 11") after the
# test passed. Libraries opened at run time (the GL driver among them) make such blocks.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:intercept_tls_get_addr=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
if [ -f "$root/tests/lsan.supp" ]; then
  export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
fi
cd "$build"
# shellcheck source=lib/suite.sh
source "$root/scripts/lib/suite.sh"
run_suite_in_display "$@"
