#!/usr/bin/env bash
# Runs the whole suite N times back to back, each time in a fresh private X
# server as scripts/test.sh runs it, and prints how many runs passed. A suite
# that is sound passes every time: one failure is a fault to find.
#
#   scripts/stress.sh N              the suite of build/ (built first, as test.sh does)
#   scripts/stress.sh N --sanitize   the sanitizer build's suite (build-asan/, as sanitize.sh)
#
# Each run's output is kept in <build>/stress/run-<i>.log.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:?usage: scripts/stress.sh N [--sanitize]}
kind=${2:-}
case "$kind" in
  "") script=test.sh build=$root/build ;;
  --sanitize) script=sanitize.sh build=$root/build-asan ;;
  *) echo "stress: unknown option $kind" >&2; exit 2 ;;
esac

passed=0
for i in $(seq 1 "$runs"); do
  mkdir -p "$build/stress"
  log=$build/stress/run-$i.log
  start=$(date +%s)
  if "$root/scripts/$script" >"$log" 2>&1; then
    passed=$((passed + 1)); result=passed
  else
    result="FAILED ($(grep -c '(Failed)\|(Timeout)\|(SEGFAULT)\|(Subprocess aborted)' "$log" || true) tests; see $log)"
  fi
  echo "stress: run $i of $runs $result in $(( $(date +%s) - start )) s"
done
echo "stress: $passed of $runs runs passed"
[ "$passed" = "$runs" ]
