#!/usr/bin/env bash
# Sets everything up, builds, and runs every test. Tests that open windows run
# inside a private Xvfb display, one at a time; the rest run in parallel.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/build.sh"
cd "$root/build"
# shellcheck source=lib/suite.sh
source "$root/scripts/lib/suite.sh"
run_suite_in_display "$@"
