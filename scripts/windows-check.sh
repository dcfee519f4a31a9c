#!/usr/bin/env bash
# Checks the Windows build that scripts/windows.sh leaves in build-windows/
# under wine, in the X display it is started in: scripts/windows.sh starts it
# in a private Xvfb display once the build is packed. Each with a time limit:
# the shipped game, the template game from its package (its text too), the
# missing game.dll (with and without the error box), the host's failure and
# crash modules, game.dll rebuilt while the engine runs, and the in-process
# test programs. The wine prefix is kept in build-windows/wine.
#
# Runs every check, then exits 1 if any failed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
log_name=windows
# say and die
# shellcheck source=lib/deps.sh
. "$root/scripts/lib/deps.sh"

out=$root/build-windows
bin=$out/bin
[ -n "${DISPLAY:-}" ] || die "no X display: scripts/windows.sh runs these checks in a private Xvfb display"
[ -f "$bin/engine.exe" ] || die "no Windows build in $bin: scripts/windows.sh makes it"

export WINEPREFIX=$out/wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
failures=0
fail() { say "FAILED: $*"; failures=$((failures + 1)); }
pass() { say "ok: $*"; }

# A copy of the shipped folder in DIR, with MODULE as its game.dll (none when empty).
install_copy() {
  local dir=$1 module=$2
  mkdir -p "$dir"; cp -r "$bin"/. "$dir"/; rm -f "$dir/game.dll"
  [ -z "$module" ] || cp "$module" "$dir/game.dll"
}

# start_engine DIR LIMIT [NAME=value...] [-- ARG...]: engine.exe of DIR, run
# from DIR in the background with a time limit and those arguments; its stdout,
# stderr (line ends made Unix) and status end up in DIR/out, DIR/err and
# DIR/status. PROGRAM, when set, is the program to run instead (a path from DIR).
start_engine() {
  local dir=$1 limit=$2 vars=(); shift 2
  while [ $# -gt 0 ] && [ "$1" != -- ]; do vars+=("$1"); shift; done
  [ $# -eq 0 ] || shift
  (cd "$dir"; status=0
   env "${vars[@]}" timeout -k 5 "$limit" wine "${PROGRAM:-engine.exe}" "$@" >out.raw 2>err.raw &
   echo $! >pid
   wait $! || status=$?
   echo $status >status; tr -d '\r' <out.raw >out; tr -d '\r' <err.raw >err) &
  engine_job=$!
}

# Ends the run that start_engine started in DIR (its time limit's process
# hands the signal on) and waits for it.
stop_engine() {
  [ ! -f "$1/pid" ] || kill "$(cat "$1/pid")" 2>/dev/null || true
  wait "$engine_job" || true
}

# Waits up to LIMIT seconds for a window with this exact title; prints its id.
wait_window() {
  local title=$1 limit=$2 win
  for _ in $(seq $((limit * 5))); do
    win=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n1) && [ -n "$win" ] && { echo "$win"; return 0; }
    sleep 0.2
  done
  return 1
}

press() { xdotool windowfocus --sync "$1" 2>/dev/null || true; sleep 0.3; xdotool key "$2"; }

# expect_run DIR WHAT STATUS STDOUT STDERR-LINES...: the finished run's status,
# its whole stdout, and lines its stderr must hold.
expect_run() {
  local dir=$1 what=$2 status=$3 stdout=$4 line ok=1; shift 4
  [ "$(cat "$dir/status")" = "$status" ] || { fail "$what: exit status $(cat "$dir/status"), not $status"; ok=0; }
  [ "$(cat "$dir/out")" = "$stdout" ] || { fail "$what: stdout '$(cat "$dir/out")', not '$stdout'"; ok=0; }
  for line in "$@"; do
    grep -qxF -- "$line" "$dir/err" || { fail "$what: no line '$line' on stderr"; ok=0; }
  done
  [ $ok = 0 ] && sed 's/^/    | /' "$dir/err" | tail -n 15 >&2
  [ $ok = 0 ] || pass "$what"
}

# play_lit DIR WHAT PNG BRIGHT: the game started in DIR (start_engine, PROGRAM
# as there) as a player starts it: its window, a lit picture (check_lit, into
# PNG), Escape, stdout 0 and exit 0.
play_lit() {
  local dir=$1 what=$2 png=$3 bright=$4 win
  start_engine "$dir" 180 VANTOR_NO_DIALOG=1
  if ! win=$(wait_window "Vantor v0.0.0" 60); then
    kill "$engine_job" 2>/dev/null; wait "$engine_job" || true
    fail "$what: no window titled 'Vantor v0.0.0'"; sed 's/^/    | /' "$dir/err" | tail -n 15 >&2; return
  fi
  check_lit "$win" "$png" "$what" "$bright"
  [ -n "${INSPECT:-}" ] && check_inspector "$win" "$what"
  press "$win" Escape
  wait "$engine_job" || true
  expect_run "$dir" "$what: window, stdout 0, Escape exits 0" 0 0
}

# check_inspector WINDOW WHAT: F1 lays the inspector over the game's left side
# (the picture there changes by far more than the scene moves) and takes it away.
check_inspector() {
  local win=$1 what=$2 before="$out/inspector-before.png" shown="$out/inspector.png" change
  import -window "$win" "$before"
  press "$win" F1
  for _ in $(seq 15); do
    sleep 2
    import -window "$win" "$shown"
    change=$(convert "$before" "$shown" -crop 440x800+0+0 +repage -compose difference -composite \
               -colorspace Gray -format '%[fx:mean]' info:)
    if awk -v c="$change" 'BEGIN { exit !(c > 0.08) }'; then
      pass "$what: F1 shows the inspector ($shown)"
      press "$win" F1
      return
    fi
  done
  fail "$what: F1 showed no inspector: its column changed by $change ($shown)"
}

# The shipped folder as a user starts it: the window, a lit level, Escape; its
# sounds decoded by the Windows build (heard or not: wine here has no device).
check_shipped_game() {
  install_copy "$1/shipped" "$bin/game.dll"
  INSPECT=1 play_lit "$1/shipped" "the shipped game" "$out/screenshot.png" 0.005
  if grep -q "could not load sound" "$1/shipped/err"; then
    fail "the shipped game: its sounds were refused"; grep "could not load sound" "$1/shipped/err" | sed 's/^/    | /' >&2
  else
    pass "the shipped game: its sounds loaded"
  fi
  if grep -q 'texture "base_' "$1/shipped/err"; then
    fail "the shipped game: the level's maps were not loaded"; grep 'texture "base_' "$1/shipped/err" | sed 's/^/    | /' >&2
  else
    pass "the shipped game: the level's maps loaded"
  fi
}

# check_lit WINDOW PNG WHAT BRIGHT: screenshots of the window into PNG until
# it shows a lit scene as on Linux (a good part of the middle clearly lit, at
# least the share BRIGHT of it bright, shading rather than one flat colour, not
# a blank white frame), for up to 60 s: the first frames at wine's pace may
# come before the lights do.
check_lit() {
  local win=$1 png=$2 what=$3 want=$4 middle="-gravity center -crop 50%x50%+0+0 +repage -colorspace Gray"
  local lit bright blank shades
  for _ in $(seq 30); do
    sleep 2
    import -window "$win" "$png"
    lit=$(convert "$png" $middle -threshold 23.5% -format '%[fx:mean]' info:)
    bright=$(convert "$png" $middle -threshold 58.8% -format '%[fx:mean]' info:)
    blank=$(convert "$png" -colorspace Gray -threshold 98% -format '%[fx:mean]' info:)
    shades=$(convert "$png" $middle -posterize 32 -format '%k' info:)
    if awk -v l="$lit" -v b="$bright" -v w="$blank" -v s="$shades" -v want="$want" \
         'BEGIN { exit !(l > 0.05 && b >= want && w < 0.9 && s >= 6) }'; then
      pass "$what shows a lit scene ($png)"
      return
    fi
  done
  fail "$what: the picture is not a lit scene: lit $lit, bright $bright, white $blank, shades $shades ($png)"
}

# The template game as a player gets it: its zip, built with the Windows SDK,
# unpacked, mygame.exe started from the folder above it.
check_sdk_game() {
  local dir=$1/player
  mkdir -p "$dir"
  (cd "$dir" && cmake -E tar xf "$out/mygame-build/mygame-windows-x64.zip")
  # The template's spot light pools on a dark floor: lit, yet nothing near white.
  local png=$out/template-screenshot.png what="the packed template game (Windows SDK)"
  rm -f "$png"  # not last run's picture
  PROGRAM=mygame/mygame.exe play_lit "$dir" "$what" "$png" 0
  # Its crate count, in its own font, light on the dark wall under the
  # frame-rate counter: without the text that strip has no bright pixel.
  local text
  text=$(convert "$png" -crop 320x48+0+36 +repage -colorspace Gray -threshold 70% -format '%[fx:mean]' info: 2>/dev/null || echo 0)
  if grep -q "S2D" "$dir/err"; then
    fail "$what: the screen layer warned"; grep "S2D" "$dir/err" | sed 's/^/    | /' >&2
  elif awk -v t="$text" 'BEGIN { exit !(t > 0.02) }'; then
    pass "$what: its text draws (a share $text of the strip under the counter)"
  else
    fail "$what: no text under the frame-rate counter (bright share $text, $png)"
  fi
}

# No game.dll: Windows' own error number, the message, exit 1; once without
# the box, once with it (Escape dismisses it).
check_missing_module() {
  local dir=$1/no-module win
  install_copy "$dir" ""
  start_engine "$dir" 90 VANTOR_NO_DIALOG=1
  wait "$engine_job" || true
  expect_run "$dir" "no game.dll: 126 (ERROR_MOD_NOT_FOUND), message, exit 1" 1 126 "womp womp: game.dll not found"
  start_engine "$dir" 90
  if win=$(wait_window "womp womp" 60); then
    sleep 0.5
    press "$win" Escape
    wait "$engine_job" || true
    expect_run "$dir" "no game.dll: the box 'womp womp' appears, Escape dismisses it, exit 1" 1 126 "womp womp: game.dll not found"
  else
    kill "$engine_job" 2>/dev/null; wait "$engine_job" || true
    fail "no game.dll: no box captioned 'womp womp'"
  fi
}

# run_modules WORK NAME...: the host's test modules of those names, each in a
# copy of the shipped folder WORK/NAME, all at once with the error box off;
# returns when every one has ended.
run_modules() {
  local work=$1 m; shift
  local -A jobs=()
  for m in "$@"; do
    install_copy "$work/$m" "$out/tests/host/modules/$m/game.dll"
    start_engine "$work/$m" 90 VANTOR_NO_DIALOG=1
    jobs[$m]=$engine_job
  done
  for m in "$@"; do wait "${jobs[$m]}" || true; done
}

# The host's failure modules, built for Windows: each its message and status.
check_failure_modules() {
  local m
  local -A expect=(
    [no_init]="Init function not found in game.dll."
    [no_tick_no_define_func]="Tick function not found in game.dll."
    [no_define_op]="Invalid dll. You probably didn't generate this properly."
    [init_throws]="Init failed. std::runtime_error: the test module refuses to start|womp womp: Init failed."
    [tick_throws]="Tick failed. std::logic_error: tick 3 went wrong|womp womp: Tick failed."
    [wrong_type]="Init failed. std::bad_any_cast: bad any_cast|womp womp: Init failed."
    [foreign_runtime]="game.dll was built for another C++ runtime than the engine's. Build it with MinGW-w64 g++ 12 (posix threads) and its libstdc++-6.dll."
  )
  run_modules "$1" "${!expect[@]}"
  for m in "${!expect[@]}"; do
    local lines=()
    IFS='|' read -r -a lines <<<"${expect[$m]}"
    [ ${#lines[@]} -gt 1 ] || lines=("womp womp: ${lines[0]}")
    expect_run "$1/$m" "failure module $m" 1 0 "${lines[@]}"
  done
}

# Modules that crash: the report names the call, the kind of fault and the
# module, the backtrace names the function, and the process still ends by the
# fault: the system's own ending, with the exception's code as its exit code
# (wine hands on its low byte: 5 for 0xC0000005, an access violation, 29 for an
# illegal instruction, 148 for an integer division by zero); abort() ends with
# 3 as it always does on Windows. (A stack
# overflow hangs wine 8 itself, with or without the engine's handlers: that
# case is checked on Linux only.)
check_fault_modules() {
  local dir m
  local -A expect=(
    [segv_in_tick]="5|Tick failed: game.dll crashed in tick with a segmentation fault (bad access at 0x0) at game.dll+0x"
    [ill_in_init]="29|Init failed: game.dll crashed in init with an illegal instruction at game.dll+0x"
    [fpe_in_tick]="148|Tick failed: game.dll crashed in tick with an integer division by zero at game.dll+0x"
    [abort_in_init]="3|Init failed: game.dll crashed in init with abort() at game.dll+0x"
    [engine_in_init]="5|Init failed: the engine crashed in init with a segmentation fault (bad access at 0x"
  )
  run_modules "$1" "${!expect[@]}"
  for m in "${!expect[@]}"; do
    dir=$1/$m
    local status=${expect[$m]%%|*} line="womp womp: ${expect[$m]#*|}" ok=1
    [ "$(cat "$dir/status")" = "$status" ] || { fail "crash module $m: exit status $(cat "$dir/status"), not $status"; ok=0; }
    grep -qF -- "$line" "$dir/err" || { fail "crash module $m: no line '$line' on stderr"; ok=0; }
    grep -qE '^  #0  (game\.dll|engine\.exe)\+0x[0-9a-f]+  ' "$dir/err" || { fail "crash module $m: no named frame in the backtrace"; ok=0; }
    [ $ok = 0 ] && sed 's/^/    | /' "$dir/err" | tail -n 15 >&2
    [ $ok = 0 ] || pass "crash module $m: $(grep -m1 -oF -- "${expect[$m]#*|}" "$dir/err")..., status $status"
  done
}

# Reload mode: the build overwrites game.dll while engine.exe runs (Windows
# refuses to write a loaded DLL; the engine runs a private copy), the new
# code runs in the same process, and the copies are gone after exit.
check_reload() {
  local dir=$1/reload modules=$out/tests/host/reload win
  install_copy "$dir" "$modules/red/game.dll"
  printf 'v -1 -1 4\nv 1 -1 4\nv -1 1 4\nv 1 1 4\nv -1 -1 6\nv 1 -1 6\nv -1 1 6\nv 1 1 6\nf 1 3 4 2\nf 5 6 8 7\nf 1 2 6 5\nf 3 7 8 4\nf 1 5 7 3\nf 2 4 8 6\n' \
    >"$dir/assets/box.obj"
  start_engine "$dir" 180 VANTOR_NO_DIALOG=1 VANTOR_RELOAD=1
  if ! win=$(wait_window "Vantor v0.0.0" 60) || ! wait_stderr "$dir" "tick red n=3 " 60; then
    kill "$engine_job" 2>/dev/null; wait "$engine_job" || true
    fail "reload: the first module never ran"; sed 's/^/    | /' "$dir/err.raw" | tail -n 15 >&2; return
  fi
  if ! cp "$modules/green/game.dll" "$dir/game.dll"; then
    fail "reload: game.dll could not be overwritten while engine.exe runs"
  elif ! wait_stderr "$dir" "tick green n=3 " 60; then
    fail "reload: the new game.dll never ran"; sed 's/^/    | /' "$dir/err.raw" | tail -n 15 >&2
  fi
  press "$win" Escape
  wait "$engine_job" || true
  expect_run "$dir" "reload: game.dll overwritten while engine.exe runs, the new code runs, Escape exits 0" 0 0 \
    "game.dll reloaded: reload() took over the scene" "reload green box=2"
  local left
  left=$(find "$WINEPREFIX/drive_c" -path '*vantor-reload/game.*.dll' 2>/dev/null | wc -l)
  [ "$left" = 0 ] && pass "reload: no private copy left after exit" || fail "reload: $left private copies left after exit"
}

# Waits up to LIMIT seconds for TEXT on the running engine's stderr in DIR.
wait_stderr() { wait_log "$1/err.raw" "$2" "$3"; }

# The in-process tests, as built by MinGW, and the bridge call's cost.
check_test_programs() {
  local tests=$out/tests-bin
  if (cd "$tests" && timeout -k 5 300 wine engine_inprocess_tests.exe --gtest_brief=1 >"$1/tests.log" 2>&1); then
    pass "in-process tests (math, transform, instance, buffers, registration, physics): $(tr -d '\r' <"$1/tests.log" | grep -m1 -o '[0-9]* tests\? from [0-9]* test suites\? ran')"
  else
    fail "in-process tests under wine"; tr -d '\r' <"$1/tests.log" | tail -n 40 >&2
  fi
  say "bridge call (Vector3Add) under wine, C runtime's allocator:"
  (cd "$tests" && timeout -k 5 120 wine engine_bridge_libc_benchmark.exe --benchmark_filter=BridgeCall --benchmark_min_time=0.5 2>/dev/null) \
    | tr -d '\r' | grep '^BM_' >&2 || fail "the bridge benchmark under wine"
  local linux=$root/build/tests/engine/engine_bridge_benchmark
  if [ -x "$linux" ]; then
    say "the same on Linux (mimalloc):"
    "$linux" --benchmark_filter=BridgeCall --benchmark_min_time=0.5 2>/dev/null | grep '^BM_' >&2 || true
  fi
}

# A unit box, each face counter-clockwise seen from outside.
write_box() {
  printf 'v -0.5 -0.5 -0.5\nv 0.5 -0.5 -0.5\nv -0.5 0.5 -0.5\nv 0.5 0.5 -0.5\n' >"$1"
  printf 'v -0.5 -0.5 0.5\nv 0.5 -0.5 0.5\nv -0.5 0.5 0.5\nv 0.5 0.5 0.5\n' >>"$1"
  printf 'f 1 3 4 2\nf 5 6 8 7\nf 1 2 6 5\nf 3 7 8 4\nf 1 5 7 3\nf 2 4 8 6\n' >>"$1"
}

# red_near PNG X Y: whether the picture is clearly red within 4 pixels of (X, Y).
red_near() {
  local red
  red=$(convert "$1" -crop 9x9+$(($2 - 4))+$(($3 - 4)) +repage \
          -fx '(r > 0.35 && r - g > 0.2 && r - b > 0.2) ? 1 : 0' -format '%[fx:maxima]' info: 2>/dev/null || echo 0)
  [ "$red" = 1 ]
}

# A Windows client joins a Linux server: the Linux engine of build-windows/native,
# headless with the Linux build of the network test game, shares a red box at
# x = 1.5 m; engine.exe under wine, windowed, with the Windows build of the same
# game, connects over loopback, is numbered 2, and gets the box through
# snapshots and draws it where the server put it (off the middle, on one side).
# Then Escape: the server hears it leave, and SIGTERM ends the server with 0.
check_network() {
  local server=$1/net-server dir=$1/net-client linux=$out/native
  local module=$out/tests/network/modules/net_game/game.dll start port= win x y
  start=$(date +%s%N)
  if [ ! -x "$linux/bin/engine" ] || [ ! -f "$linux/tests/network/modules/net_game/game.dll" ]; then
    fail "network: no Linux engine and network test game in $linux: scripts/windows.sh builds them"; return
  fi
  mkdir -p "$server/assets"
  cp "$linux/bin/engine" "$linux/tests/network/modules/net_game/game.dll" "$server/"
  write_box "$server/assets/box.obj"
  # A port taken by something else is refused ("listening 0"): another is tried.
  local tries
  for tries in 1 2 3 4 5; do
    port=$((20000 + RANDOM % 40000))
    rm -f "$server/err"
    (cd "$server" && exec env VANTOR_NO_DIALOG=1 timeout -k 5 300 ./engine --headless server "$port" 8 scene >out 2>err) &
    net_server=$!
    if ! wait_log "$server/err" "listening " 30; then
      stop_server; fail "network: the Linux server never started"; sed 's/^/    | /' "$server/err" | tail -n 15 >&2; return
    fi
    grep -qx "listening 1" "$server/err" && break
    stop_server; port=
  done
  [ -n "$port" ] || { fail "network: the Linux server found no free port"; return; }

  install_copy "$dir" "$module"
  write_box "$dir/assets/box.obj"
  start_engine "$dir" 240 VANTOR_NO_DIALOG=1 -- client 127.0.0.1 "$port" view
  if ! win=$(wait_window "Vantor v0.0.0" 90) || ! wait_log "$dir/err.raw" "seen " 90; then
    stop_engine "$dir"; stop_server
    fail "network: the Windows client never showed the Linux server's box"
    sed 's/^/    | client: /' "$dir/err" | tail -n 15 >&2; sed 's/^/    | server: /' "$server/err" | tail -n 15 >&2
    return
  fi
  read -r x y < <(tr -d '\r' <"$dir/err.raw" | sed -n 's/^seen \([0-9.-]*\) \([0-9.-]*\)$/\1 \2/p' | head -n1)
  x=${x%.*} y=${y%.*}
  local ok=1 png=$out/network-client.png
  wait_log "$server/err" "joined 2" 30 || { fail "network: the Linux server never reported 'joined 2'"; ok=0; }
  # Where the server put it, on one side of the screen only: drawn from the snapshots, not by chance.
  local drawn=0
  for _ in $(seq 20); do
    import -window "$win" "$png"
    if red_near "$png" "$x" "$y" && ! red_near "$png" $((1280 - x)) "$y"; then drawn=1; break; fi
    sleep 0.5
  done
  [ "$drawn" = 1 ] || { fail "network: the Windows client does not draw the box red at ($x, $y) alone ($png)"; ok=0; }
  press "$win" Escape
  wait "$engine_job" || true
  local before=$failures line
  expect_run "$dir" "network: the Windows client is peer 2, hears the server join, Escape exits 0" 0 0 "state Client 2" "joined 1"
  for line in "state Client 2" "joined 1"; do
    [ "$(grep -cxF "$line" "$dir/err")" = 1 ] || fail "network: the Windows client reported '$line' $(grep -cxF "$line" "$dir/err") times, not once"
  done
  [ "$before" = "$failures" ] || ok=0
  wait_log "$server/err" "left 2" 30 || { fail "network: the Linux server never heard the Windows client leave"; ok=0; }
  stop_server
  [ "$server_status" = 0 ] || { fail "network: the Linux server ended with status $server_status, not 0, on SIGTERM"; ok=0; }
  if [ $ok = 1 ]; then
    pass "network: a Windows client under wine joined a Linux server (port $port), got its box through snapshots and drew it at ($x, $y), in $(( ($(date +%s%N) - start) / 1000000 )) ms"
  else
    sed 's/^/    | client: /' "$dir/err" | tail -n 15 >&2; sed 's/^/    | server: /' "$server/err" | tail -n 15 >&2
  fi
}

# Ends the Linux server with SIGTERM, as a user ends a headless game (its time
# limit's process hands the signal on); its exit status in server_status.
stop_server() {
  server_status=0
  [ -n "${net_server:-}" ] || return 0
  kill -TERM "$net_server" 2>/dev/null || true
  wait "$net_server" || server_status=$?
  net_server=
}

# Waits up to LIMIT seconds for TEXT in FILE (line ends made Unix).
wait_log() {
  local file=$1 text=$2 limit=$3
  for _ in $(seq $((limit * 5))); do
    tr -d '\r' <"$file" 2>/dev/null | grep -qF -- "$text" && return 0
    sleep 0.2
  done
  return 1
}

run_checks() {
  checks_dir=$(mktemp -d "${TMPDIR:-/tmp}/vantor-windows-checks.XXXXXX")
  trap 'status=$?; [ -z "${net_server:-}" ] || { kill -TERM "$net_server"; wait "$net_server"; } 2>/dev/null || true
        wineserver -k 2>/dev/null || true; rm -rf "$checks_dir"
        [ $status -eq 0 ] || say "the checks stopped with status $status"' EXIT
  local work=$checks_dir
  if [ ! -f "$WINEPREFIX/system.reg" ]; then say "making the wine prefix"; wineboot -i >/dev/null 2>&1; fi
  # No debugger for crashed programs: without this value wine starts its own,
  # which waits for someone to look; one that cannot be started lets the
  # process end with its exception's code, as Windows ends it.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ \
    /d vantor-no-debugger.exe /f >/dev/null 2>&1
  wineserver -w     # the one wineboot left, if any, must be gone for -p to start
  wineserver -p 60  # one server for all the runs below
  check_test_programs "$work"
  check_missing_module "$work"
  check_failure_modules "$work"
  check_fault_modules "$work"
  check_shipped_game "$work"
  check_sdk_game "$work"
  check_reload "$work"
  check_network "$work"
  [ $failures -eq 0 ] || die "$failures Windows check(s) failed"
  say "all Windows checks passed"
}

run_checks
