#!/usr/bin/env bash
# Sets everything up (scripts/setup.sh) and builds Vantor into build/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
prefix=$(cat "$root/scripts/deps-prefix")
cmake -S "$root" -B "$root/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$(nproc)"
