#!/usr/bin/env bash
# Sets everything up, builds, and starts the engine with the shipped game.
# Walk with W A S D, look with the mouse, jump with Space, leave with Escape.
#
# With no display (a server, CI), it plays the game under Xvfb for a few
# seconds instead, saves a screenshot and says where it is.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/build.sh" engine game
engine="$root/build/bin/engine"

if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
  cd "$root"
  exec "$engine"
fi

shot="$root/build/screenshot.png"
echo "play: no display here; playing for a few seconds under Xvfb instead" >&2
xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp -noreset" bash -c '
  engine=$1 shot=$2
  "$engine" & pid=$!
  for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --name "^Vantor v0.0.0$" 2>/dev/null | head -n1) && [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "${win:-}" ] || { echo "play: the window did not open" >&2; kill $pid; wait $pid; exit 1; }
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  sleep 1
  xdotool keydown w; sleep 1.5; xdotool keyup w
  xdotool mousemove_relative -- 60 0; sleep 0.5
  import -window root "$shot"
  xdotool key Escape
  wait $pid
' play "$engine" "$shot" >&2
echo "play: screenshot of the running game: $shot"
