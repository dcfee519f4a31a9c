# Runs ctest in the current build folder inside a private Xvfb display; arguments
# go to ctest. Window tests take turns on the display (their RESOURCE_LOCK).
#
# The server runs with -noreset: by default Xvfb resets itself whenever its last
# client disconnects, and a client that connects during the reset is refused
# ("X11: Failed to open display"). Window tests start and end one program after
# another, so every test's exit was such a moment for the next one to hit.

# The server's arguments, for every private display the scripts start.
VANTOR_XVFB_ARGS="-screen 0 1280x1024x24 -nolisten tcp -maxclients 512 -noreset"

run_suite_in_display() {
  exec xvfb-run -a -s "$VANTOR_XVFB_ARGS" ctest --output-on-failure -j"$(nproc)" "$@"
}
