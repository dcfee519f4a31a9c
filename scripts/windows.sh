#!/usr/bin/env bash
# Builds Vantor for 64-bit Windows with MinGW-w64, packs it, and checks it
# under wine.
#
#   build-windows/bin/                   engine.exe, game.dll, assets/ and every DLL they import
#   build-windows/examples/walker/walker-windows-x64.zip
#                                        the sample game packed for players (package_game)
#   build-windows/sdk/                   the Windows SDK: engine.exe with its DLLs, the headers,
#                                        the game-side library, the CMake package and the toolchain file
#   build-windows/vantor-sdk-windows-x64.zip   the same SDK, packed
#   build-windows/mygame-build/mygame-windows-x64.zip
#                                        the template game built against that SDK and packed
#
# Installs what is missing and cross-builds the dependencies into the cache
# that scripts/setup.sh uses (lib/windows-deps.sh). The level and sound
# generators run on this machine (make_level needs assimp's FBX writer, which
# the Windows assimp leaves out): they are built for it in build-windows/native,
# out of the way of a Linux build in build/, with the Linux engine and network
# test game that the checks serve from. Then scripts/windows-check.sh runs the
# build under wine in a private Xvfb display.
#
# Environment: as scripts/setup.sh and lib/windows-deps.sh, and
#   VANTOR_WINDOWS_CHECKS=0 build and pack only
set -euo pipefail
# The dependency builders run inside $(...), where bash would otherwise drop
# set -e and a failed step would go on unnoticed.
shopt -s inherit_errexit
# A failed step says which it was, where and how it ended, in functions and inside
# $(...) too: otherwise the script stops there without a word.
set -E
trap 'status=$?; printf "%s: error: stopped at %s:%s: \"%s\" exited %s\n" "${log_name:-windows}" \
  "${BASH_SOURCE[0]##*/}" "$LINENO" "$BASH_COMMAND" "$status" >&2' ERR
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The pinned GLFW, raylib and FreeType, and the shared pieces (lib/deps.sh).
# shellcheck source=setup.sh
. "$root/scripts/setup.sh"
log_name=windows
# shellcheck source=lib/windows-deps.sh
. "$root/scripts/lib/windows-deps.sh"

out=$root/build-windows
bin=$out/bin
native=$out/native
objdump=$MINGW-objdump

# The generators, built for this machine in a folder of their own, so that a
# Linux build in build/ (perhaps one under way) is left alone. The Linux engine
# and the network test game are built there too: the checks start a Linux
# server that the Windows engine joins.
build_generators() {
  say "building the level and sound generators, the starter assets and the Linux network test server on this machine"
  "$root/scripts/setup.sh"
  cmake -S "$root" -B "$native" -DCMAKE_PREFIX_PATH="$(cat "$root/scripts/deps-prefix")" \
        -DCMAKE_BUILD_TYPE=Release -DVANTOR_BUILD_TESTS=ON >/dev/null
  cmake --build "$native" -j"$(nproc)" --target make_level make_sounds starter_assets engine module_net_game
}

# DLLs that come with Windows itself and so are not shipped.
SYSTEM_DLLS=" advapi32.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll opengl32.dll
              shell32.dll shlwapi.dll user32.dll version.dll winmm.dll ws2_32.dll "

imports() { "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u; }

# Every DLL that engine.exe and the DLLs beside it import is either beside it
# or one of Windows' own: checked in the import tables, not by running it.
check_imports() {
  local shipped missing=() f dll
  shipped=$(cd "$bin" && ls | tr 'A-Z' 'a-z')
  for f in "$bin"/*.exe "$bin"/*.dll; do
    for dll in $(imports "$f"); do
      grep -qx "$dll" <<<"$shipped" || [[ "$SYSTEM_DLLS" == *" $dll "* ]] || missing+=("$(basename "$f") imports $dll")
    done
  done
  [ ${#missing[@]} -eq 0 ] || die "missing beside engine.exe: ${missing[*]}"
}

# game.dll: library name game.dll, exactly its seven exports (the engine's four,
# reload and the SDK's define_keep and vantor_runtime) with ordinals in alphabetical order, the C++ runtime shared with the host, nothing of raylib.
check_game_exports() {
  local dump names
  dump=$("$objdump" -p "$bin/game.dll")
  grep -qE '^Name[[:space:]]+[0-9a-f]+ game\.dll$' <<<"$dump" || die "game.dll's export directory does not name it game.dll"
  names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p' | tr '\n' ' ')
  [ "$names" = "0 define_func 1 define_keep 2 define_op 3 init 4 reload 5 tick 6 vantor_runtime " ] || die "game.dll exports: $names"
  grep -qE '^Ordinal Base[[:space:]]+1$' <<<"$dump" || die "game.dll's ordinals do not start at 1"
  local side
  for side in game.dll engine.exe; do
    imports "$bin/$side" | grep -qx 'libstdc++-6.dll' || die "$side does not use the shared C++ runtime DLL"
  done
  if imports "$bin/game.dll" | grep -qE 'opengl32|glfw|raylib|assimp'; then die "game.dll links the engine's libraries"; fi
}

build_windows() {
  local prefix=$1 meshopt=$2 freetype=$3 bullet=$4 imgui=$5 enet=$6
  # Found paths are cached: dependencies from another prefix mean a fresh configure.
  if [ -f "$out/CMakeCache.txt" ] &&
     ! { grep -qxF "RAYLIB_LIBRARY:FILEPATH=$prefix/lib/libraylib.a" "$out/CMakeCache.txt" &&
         grep -qxF "freetype_DIR:PATH=$freetype/lib/cmake/freetype" "$out/CMakeCache.txt" &&
         grep -qxF "BULLET_INCLUDE_DIR:PATH=$bullet/include/bullet" "$out/CMakeCache.txt" &&
         grep -qxF "IMGUI_LIBRARY:FILEPATH=$imgui/lib/libimgui.a" "$out/CMakeCache.txt" &&
         grep -qxF "ENET_LIBRARY:FILEPATH=$enet/lib/libenet.a" "$out/CMakeCache.txt"; }; then
    rm -rf "$out/CMakeCache.txt" "$out/CMakeFiles"
  fi
  # The audio decoders and stb_image are sources: the ones the Linux build uses serve.
  cmake -S "$root" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DVANTOR_WINDOWS_DEPS="$prefix;$meshopt;$freetype;$bullet;$imgui;$enet" \
        -DVANTOR_DECODERS_DIR="$(cat "$root/scripts/deps-prefix")/include/vantor-decoders" \
        -DVANTOR_STB_DIR=/usr/include/stb \
        -DVANTOR_LEVEL_GENERATOR="$native/tools/make_level" \
        -DVANTOR_SOUND_GENERATOR="$native/tools/make_sounds" -DVANTOR_STARTER_DIR="$native/starter" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
  local targets=(engine game engine_inprocess_tests engine_bridge_libc_benchmark
                 module_plain module_no_init module_no_tick_no_define_func module_no_define_op
                 module_init_throws module_tick_throws module_wrong_type reload_red reload_green
                 module_segv_in_tick module_ill_in_init module_fpe_in_tick module_abort_in_init
                 module_engine_in_init module_foreign_runtime module_net_game)
  say "building for Windows"
  cmake --build "$out" -j"$(nproc)" --target "${targets[@]}"
  check_imports
  check_game_exports
  cmake --build "$out" --target package_game
  say "built $bin and $out/examples/walker/walker-windows-x64.zip"
}

# The Windows SDK, installed and packed, and a game built with it as a game
# programmer on Linux builds one: the template's own CMakeLists, unchanged,
# with the SDK's toolchain file, packed for players.
build_windows_sdk() {
  local sdk=$out/sdk game=$out/mygame-build start
  rm -rf "$sdk" "$out/vantor-sdk-windows-x64.zip" "$game"
  cmake --install "$out" --prefix "$sdk" >/dev/null
  (cd "$out" && cmake -E tar cf vantor-sdk-windows-x64.zip --format=zip -- sdk)
  say "installed the Windows SDK in $sdk and packed it as $out/vantor-sdk-windows-x64.zip"
  cmake -S "$root/examples/template" -B "$game" -DCMAKE_TOOLCHAIN_FILE="$sdk/lib/cmake/Vantor/mingw-w64-x86_64.cmake" \
        -DCMAKE_PREFIX_PATH="$sdk" -DCMAKE_BUILD_TYPE=Release >/dev/null
  start=$(date +%s%N)
  cmake --build "$game" --target package_mygame >/dev/null
  say "the template game built against the Windows SDK and packed in $(( ($(date +%s%N) - start) / 1000000 )) ms:" \
      "$game/mygame-windows-x64.zip ($(( $(stat -c %s "$game/mygame-windows-x64.zip") / 1024 )) KiB)"
  local zip
  for zip in "$game/mygame-windows-x64.zip" "$out/examples/walker/walker-windows-x64.zip"; do
    [ "$(stat -c %s "$zip")" -lt $((10 << 20)) ] || die "$zip is larger than 10 MB"
    grep -qE '^[^/]+/LICENSE-DejaVu$' <<<"$(cmake -E tar tf "$zip")" || die "$zip lacks the built-in font's licence"
  done
  [ -f "$sdk/bin/LICENSE-DejaVu" ] || die "the SDK lacks the built-in font's licence beside the engine"
}

install_packages "${WINDOWS_PACKAGES[@]}"
build_generators
prefix=$(build_windows_deps)
meshopt=$(build_windows_meshoptimizer)
bullet=$(build_windows_bullet)
freetype=$(build_windows_freetype)
imgui=$(build_windows_imgui)
enet=$(build_windows_enet)
build_windows "$prefix" "$meshopt" "$freetype" "$bullet" "$imgui" "$enet"
build_windows_sdk

if [ "${VANTOR_WINDOWS_CHECKS:-1}" != 0 ]; then
  say "checking the Windows build under wine"
  xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" "$root/scripts/windows-check.sh"
fi
