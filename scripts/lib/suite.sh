# Runs ctest in the current build folder inside a private Xvfb display, with a
# private sound server beside it; arguments go to ctest. Window tests take
# turns on the display (their RESOURCE_LOCK).
#
# The server runs with -noreset: by default Xvfb resets itself whenever its last
# client disconnects, and a client that connects during the reset is refused
# ("X11: Failed to open display"). Window tests start and end one program after
# another, so every test's exit was such a moment for the next one to hit.
#
# The sound server is PulseAudio with one null output (48 kHz float stereo),
# reached only at the address in VANTOR_TEST_PULSE_SERVER: the sound tests hand
# it to the engine and record its output from the sink's monitor. Every other
# program of the run finds no sound server, as on a machine without sound. The
# run's runtime folder (XDG_RUNTIME_DIR) is private too, so that the sound
# libraries leave nothing in /tmp; all of it goes when the run ends.

# The server's arguments, for every private display the scripts start.
VANTOR_XVFB_ARGS="-screen 0 1280x1024x24 -nolisten tcp -maxclients 512 -noreset"

# start_sound_server DIR: a PulseAudio server with its socket, state and log in
# DIR; exports VANTOR_TEST_PULSE_SERVER and sets sound_server_pid and
# sound_keeper_pid.
start_sound_server() {
  local dir=$1
  mkdir -p "$dir/state"
  # HOME and the state path keep its cookie and settings in DIR. As root it
  # warns that it is meant for users; that and D-Bus' absence go to its log.
  HOME=$dir PULSE_STATE_PATH=$dir/state PULSE_RUNTIME_PATH=$dir/state \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
      --log-target=file:"$dir/log" \
      -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
      -L "module-null-sink sink_name=vantor_test format=float32le rate=48000 channels=2" \
      -L "module-always-sink" </dev/null >/dev/null 2>&1 &
  sound_server_pid=$!
  export VANTOR_TEST_PULSE_SERVER="unix:$dir/native"
  local _
  for _ in $(seq 100); do
    if PULSE_SERVER=$VANTOR_TEST_PULSE_SERVER pactl info >/dev/null 2>&1; then
      # A null sink left idle sleeps on a timer set for its idle latency (2 s)
      # and wakes up late, up to that long, for the next program that plays.
      # A stream of silence keeps it running: every program is heard at once,
      # and its monitor records one unbroken timeline.
      PULSE_SERVER=$VANTOR_TEST_PULSE_SERVER pacat --playback --raw --format=float32le --rate=48000 \
        --channels=2 --latency-msec=10 --client-name="vantor silence" </dev/zero >/dev/null 2>&1 &
      sound_keeper_pid=$!
      return 0
    fi
    kill -0 "$sound_server_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the private sound server did not start; its log:" >&2
  cat "$dir/log" >&2 2>/dev/null
  return 1
}

# The run's private folder and sound server, gone when the calling script exits.
open_run_folder() {
  vantor_run=$(mktemp -d "${TMPDIR:-/tmp}/vantor-run.XXXXXX")
  mkdir -m 700 "$vantor_run/xdg"
  trap 'kill ${sound_keeper_pid:-} ${sound_server_pid:-} 2>/dev/null; wait 2>/dev/null; rm -rf "$vantor_run"' EXIT
  export XDG_RUNTIME_DIR=$vantor_run/xdg
  start_sound_server "$vantor_run/sound"
}

run_suite_in_display() {
  open_run_folder
  xvfb-run -a -s "$VANTOR_XVFB_ARGS" ctest --output-on-failure -j"$(nproc)" "$@"
}
