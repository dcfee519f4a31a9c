#!/usr/bin/env bash
# Sets everything up (scripts/setup.sh) and builds Vantor into build/.
# Arguments, if any, are the targets to build (default: everything).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
prefix=$(cat "$root/scripts/deps-prefix")
cmake -S "$root" -B "$root/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$root/build" -j"$(nproc)" "${targets[@]}"
