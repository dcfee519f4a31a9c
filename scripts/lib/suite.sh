# Runs ctest in the current build folder inside a private Xvfb display; arguments
# go to ctest. Window tests take turns on the display (their RESOURCE_LOCK).
# A window test that could not reach the X server at all is run once more
# (seen rarely: the engine's XOpenDisplay refused mid-run); a real failure
# fails both times.
run_suite_in_display() {
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -maxclients 512" \
    ctest --output-on-failure --repeat until-pass:2 -j"$(nproc)" "$@"
}
