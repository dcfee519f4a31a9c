#!/usr/bin/env bash
# Builds Vantor for 64-bit Windows with MinGW-w64 and checks it under wine.
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
# Installs what is missing (MinGW-w64 g++ with posix threads, wine, Xvfb),
# cross-builds GLFW, raylib, assimp (OBJ, FBX and glTF importers only),
# minizip, meshoptimizer, FreeType and Bullet (static, single precision, the
# rigid-body libraries only) from Debian's source packages into the
# version-keyed cache that scripts/setup.sh uses, plus Google Test and Google
# Benchmark for the tests. The level and sound generators run on this machine
# (make_level needs assimp's FBX writer, which the Windows assimp leaves out):
# they are built for it in build-windows/native, out of the way of a Linux
# build in build/.
#
# Then, under wine in a private Xvfb display, each with a time limit: the
# shipped game, the template game from its package (its text too), the missing game.dll (with and without the error box), the
# host's failure and crash modules, game.dll rebuilt while the engine runs,
# and the in-process test programs.
#
# Environment: as scripts/setup.sh, and
#   VANTOR_ASSIMP_VERSION   Debian version of the assimp source package (default 5.2.5~ds0-1)
#   VANTOR_BULLET_VERSION   Debian version of the bullet source package (default 3.24+dfsg-2)
#   VANTOR_WINDOWS_CHECKS=0 build and pack only
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The pinned GLFW and raylib, and the shared pieces (lib/deps.sh).
# shellcheck source=setup.sh
. "$root/scripts/setup.sh"
log_name=windows

ASSIMP_PKG=assimp   ASSIMP_VER=${VANTOR_ASSIMP_VERSION:-5.2.5~ds0-1} ASSIMP_SUITE=bookworm
MINIZIP_PKG=minizip MINIZIP_VER=1.1-8+deb12u1                        MINIZIP_SUITE=bookworm
BENCH_PKG=benchmark BENCH_VER=1.7.1-1                                BENCH_SUITE=bookworm
MESHOPT_PKG=meshoptimizer MESHOPT_VER=0.18+dfsg-2                    MESHOPT_SUITE=bookworm
BULLET_PKG=bullet   BULLET_VER=${VANTOR_BULLET_VERSION:-3.24+dfsg-2}  BULLET_SUITE=bookworm
MINGW=x86_64-w64-mingw32
TOOLCHAIN=$root/cmake/mingw-w64-x86_64.cmake

WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev
  # assimp's own copies of these are left out of Debian's source package;
  # the image layer compiles stb_image too
  libutfcpp-dev libstb-dev
  # the engine's built-in font, read at build time
  fonts-dejavu-core
  # running and checking the Windows build
  wine wine64 xvfb xauth xdotool imagemagick
)

# Debian's own patches, by name, from the unpacked source's debian/patches.
apply_patches() {
  local src=$1; shift
  for p in "$@"; do patch -s -p1 -d "$src" < "$(dirname "$src")/debian/patches/$p" || die "patch $p failed"; done
}

# minizip: the zip reader assimp uses for zipped formats; a static library
# against MinGW's zlib, with a pkg-config file for assimp to find it by.
build_minizip() {
  local prefix=$1 src=$2
  apply_patches "$src" $(grep -v '^#' "$(dirname "$src")/debian/patches/series")
  mkdir -p "$src/obj" "$prefix/include/minizip" "$prefix/lib/pkgconfig"
  local f
  for f in ioapi unzip zip mztools iowin32; do
    # -w: its CRC table is unsigned long, zlib's unsigned int (both 32 bits here)
    $MINGW-gcc-posix -O2 -w -c "$src/$f.c" -o "$src/obj/$f.o"
  done
  $MINGW-ar rcs "$prefix/lib/libminizip.a" "$src"/obj/*.o
  cp "$src"/{crypt,ioapi,iowin32,mztools,unzip,zip}.h "$prefix/include/minizip/"
  cat > "$prefix/lib/pkgconfig/minizip.pc" <<PC
prefix=$prefix
Name: minizip
Description: zip and unzip on zlib
Version: ${MINIZIP_VER%%-*}
Libs: -L\${prefix}/lib -lminizip -lz
Cflags: -I\${prefix}/include/minizip
PC
}

# assimp as a DLL with the three importers the engine reads and no exporters.
build_assimp() {
  local prefix=$1 src=$2 work=$3
  # Not Debian's system-draco patch: it makes draco required.
  apply_patches "$src" use-system-utf8cpp.patch use-system-stb_image.patch
  # Debian's tarball drops the resource file a MinGW DLL build lists; windres
  # refuses an empty one.
  mkdir -p "$src/code/res"
  cat > "$src/code/res/assimp.rc" <<'RC'
#include <winver.h>
VS_VERSION_INFO VERSIONINFO
FILEVERSION 5,2,5,0
PRODUCTVERSION 5,2,5,0
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904b0"
    BEGIN
      VALUE "ProductName", "Open Asset Import Library"
      VALUE "FileVersion", "5.2.5"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
RC
  # Link minizip by its full path, not as a bare -lminizip that neither this
  # build nor the engine's would find.
  sed -i 's/TARGET_LINK_LIBRARIES(assimp ${UNZIP_LIBRARIES})/TARGET_LINK_LIBRARIES(assimp ${UNZIP_LINK_LIBRARIES})/' \
    "$src/code/CMakeLists.txt"
  # The system utf8cpp and stb headers, and nothing else of /usr/include.
  mkdir -p "$work/headers"; ln -sfn /usr/include/stb "$work/headers/stb"
  local flags="-I/usr/include/utf8cpp -I$work/headers"
  say "building assimp (OBJ, FBX and glTF importers)"
  PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH="" \
  cmake_install "$src" "$src-build" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DVANTOR_WINDOWS_DEPS="$prefix" \
        -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
        -DBUILD_SHARED_LIBS=ON -DASSIMP_BUILD_ZLIB=OFF -DASSIMP_NO_EXPORT=ON \
        -DASSIMP_BUILD_ALL_IMPORTERS_BY_DEFAULT=OFF \
        -DASSIMP_BUILD_OBJ_IMPORTER=ON -DASSIMP_BUILD_FBX_IMPORTER=ON -DASSIMP_BUILD_GLTF_IMPORTER=ON \
        -DASSIMP_BUILD_TESTS=OFF -DASSIMP_BUILD_ASSIMP_TOOLS=OFF -DASSIMP_BUILD_SAMPLES=OFF \
        -DASSIMP_BUILD_DRACO=OFF -DASSIMP_WARNINGS_AS_ERRORS=OFF -DASSIMP_INSTALL_PDB=OFF
}

# Prints the prefix of the Windows dependencies, building them when the cache
# has none for these versions.
build_windows_deps() {
  local cache; cache=$(deps_cache)
  local prefix="$cache/windows-x64_glfw-${GLFW_VER}_raylib-${RAYLIB_VER}_assimp-${ASSIMP_VER}"
  if [ -f "$prefix/.complete" ]; then echo "$prefix"; return 0; fi

  local work; work=$(mktemp -d "${TMPDIR:-/tmp}/vantor-windows-deps.XXXXXX")
  trap 'rm -rf "$work"' RETURN
  private_apt_update "$work/apt" "$RAYLIB_SUITE" "$GLFW_SUITE" "$ASSIMP_SUITE"
  local gver rver aver
  gver=$(fetch_source "$GLFW_PKG" "$GLFW_VER" "$GLFW_SUITE" "$work/glfw")
  rver=$(fetch_source "$RAYLIB_PKG" "$RAYLIB_VER" "$RAYLIB_SUITE" "$work/raylib")
  aver=$(fetch_source "$ASSIMP_PKG" "$ASSIMP_VER" "$ASSIMP_SUITE" "$work/assimp")
  fetch_source "$MINIZIP_PKG" "$MINIZIP_VER" "$MINIZIP_SUITE" "$work/minizip" >/dev/null
  fetch_source "$BENCH_PKG" "$BENCH_VER" "$BENCH_SUITE" "$work/benchmark" >/dev/null
  local fetched="$cache/windows-x64_glfw-${gver}_raylib-${rver}_assimp-${aver}"
  if [ "$fetched" != "$prefix" ]; then
    prefix=$fetched
    say "building with glfw3 $gver, raylib $rver and assimp $aver instead of the pinned versions"
    if [ -f "$prefix/.complete" ]; then echo "$prefix"; return 0; fi
  fi

  rm -rf "$prefix"; mkdir -p "$prefix"
  local cross=(-DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DVANTOR_WINDOWS_DEPS="$prefix")
  build_glfw_raylib "$prefix" "$(unpack_source "$work/glfw")" "$(unpack_source "$work/raylib")" "${cross[@]}"
  say "building minizip"
  build_minizip "$prefix" "$(unpack_source "$work/minizip")"
  build_assimp "$prefix" "$(unpack_source "$work/assimp")" "$work"
  say "building Google Test and Google Benchmark (for the tests)"
  cmake_install /usr/src/googletest "$work/gtest-build" -DCMAKE_INSTALL_PREFIX="$prefix" "${cross[@]}"
  cmake_install "$(unpack_source "$work/benchmark")" "$work/benchmark-build" -DCMAKE_INSTALL_PREFIX="$prefix" \
        "${cross[@]}" -DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF \
        -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_ENABLE_LIBPFM=OFF \
        -DHAVE_STD_REGEX=1 -DHAVE_STEADY_CLOCK=1  # MinGW's libstdc++ has both; a cross build cannot run its checks

  touch "$prefix/.complete"
  say "Windows dependencies ready in $prefix"
  echo "$prefix"
}

# Prints the prefix of meshoptimizer for Windows (the renderer's level of
# detail), a static library kept in a cache folder of its own so that the
# larger dependencies above are not built again for it.
build_windows_meshoptimizer() {
  local prefix; prefix="$(deps_cache)/windows-x64_meshoptimizer-${MESHOPT_VER}"
  if [ -f "$prefix/.complete" ]; then echo "$prefix"; return 0; fi
  local work; work=$(mktemp -d "${TMPDIR:-/tmp}/vantor-windows-meshopt.XXXXXX")
  trap 'rm -rf "$work"' RETURN
  private_apt_update "$work/apt" "$MESHOPT_SUITE"
  fetch_source "$MESHOPT_PKG" "$MESHOPT_VER" "$MESHOPT_SUITE" "$work/meshoptimizer" >/dev/null
  rm -rf "$prefix"; mkdir -p "$prefix"
  say "building meshoptimizer"
  cmake_install "$(unpack_source "$work/meshoptimizer")" "$work/meshoptimizer-build" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DVANTOR_WINDOWS_DEPS="$prefix" \
        -DMESHOPT_BUILD_SHARED_LIBS=OFF -DMESHOPT_BUILD_DEMO=OFF -DMESHOPT_BUILD_GLTFPACK=OFF
  touch "$prefix/.complete"
  echo "$prefix"
}

# Prints the prefix of Bullet for Windows (the physics layer), in a cache
# folder of its own like meshoptimizer: static libraries, single precision as
# on Linux, and only the rigid-body libraries the engine uses (BulletDynamics,
# BulletCollision, LinearMath), headers under include/bullet. No Debian patch
# is needed: theirs name the double-precision build's libraries apart and keep
# the extras off the bundled tinyxml, and neither is built here.
build_windows_bullet() {
  local prefix; prefix="$(deps_cache)/windows-x64_bullet-${BULLET_VER}"
  if [ -f "$prefix/.complete" ]; then echo "$prefix"; return 0; fi
  local work; work=$(mktemp -d "${TMPDIR:-/tmp}/vantor-windows-bullet.XXXXXX")
  trap 'rm -rf "$work"' RETURN
  private_apt_update "$work/apt" "$BULLET_SUITE"
  fetch_source "$BULLET_PKG" "$BULLET_VER" "$BULLET_SUITE" "$work/bullet" >/dev/null
  local src; src=$(unpack_source "$work/bullet")
  # Its src/ always adds soft bodies, inverse dynamics and Bullet3Common, which
  # the engine does not use: only the three libraries are built and installed.
  local subdirs='SUBDIRS(   BulletInverseDynamics BulletSoftBody BulletCollision BulletDynamics LinearMath Bullet3Common)'
  grep -qxF "$subdirs" "$src/src/CMakeLists.txt" || die "bullet's src/CMakeLists.txt does not list its libraries as expected"
  sed -i "s/^SUBDIRS(   BulletInverseDynamics BulletSoftBody .*/SUBDIRS(BulletCollision BulletDynamics LinearMath)/" \
    "$src/src/CMakeLists.txt"
  rm -rf "$prefix"; mkdir -p "$prefix"
  say "building Bullet (rigid bodies, static, single precision)"
  # -Wno-deprecated: its cmake_minimum_required(VERSION 2.4.3) draws CMake's
  # warning that support for versions before 2.8.12 will go.
  cmake_install "$src" "$work/bullet-build" -Wno-deprecated -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DVANTOR_WINDOWS_DEPS="$prefix" \
        -DBUILD_SHARED_LIBS=OFF -DUSE_DOUBLE_PRECISION=OFF -DBULLET2_MULTITHREADING=OFF \
        -DBUILD_BULLET3=OFF -DBUILD_BULLET2_DEMOS=OFF -DBUILD_CPU_DEMOS=OFF -DBUILD_OPENGL3_DEMOS=OFF \
        -DBUILD_EXTRAS=OFF -DBUILD_UNIT_TESTS=OFF -DBUILD_PYBULLET=OFF -DUSE_GRAPHICAL_BENCHMARK=OFF \
        -DINSTALL_LIBS=ON -DINSTALL_CMAKE_FILES=OFF
  # Its pkg-config file names the libraries left out above; nothing reads it.
  rm -f "$prefix/lib/pkgconfig/bullet.pc"; rmdir "$prefix/lib/pkgconfig" 2>/dev/null || true
  local lib
  for lib in BulletDynamics BulletCollision LinearMath; do
    [ -f "$prefix/lib/lib$lib.a" ] || die "Bullet's $lib library was not installed in $prefix/lib"
  done
  [ -f "$prefix/include/bullet/btBulletDynamicsCommon.h" ] || die "Bullet's headers were not installed in $prefix/include/bullet"
  touch "$prefix/.complete"
  echo "$prefix"
}

# Prints the prefix of FreeType for Windows (see build_freetype), in a cache
# folder of its own like meshoptimizer.
build_windows_freetype() {
  local cache prefix; cache=$(deps_cache); prefix="$cache/windows-x64_freetype-${FREETYPE_VER}"
  if [ -f "$prefix/.complete" ]; then echo "$prefix"; return 0; fi
  local work; work=$(mktemp -d "${TMPDIR:-/tmp}/vantor-windows-freetype.XXXXXX")
  trap 'rm -rf "$work"' RETURN
  private_apt_update "$work/apt" "$FREETYPE_SUITE"
  rm -rf "$prefix"; mkdir -p "$prefix"
  # -Wno-attributes: its zlib copy marks functions hidden, which a PE file has no notion of.
  build_freetype "$prefix" "$work" "$FREETYPE_VER" "$FREETYPE_SUITE" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DVANTOR_WINDOWS_DEPS="$prefix" -DCMAKE_C_FLAGS=-Wno-attributes >/dev/null
  touch "$prefix/.complete"
  echo "$prefix"
}

# The generators, built for this machine in a folder of their own, so that a
# Linux build in build/ (perhaps one under way) is left alone.
build_generators() {
  say "building the level and sound generators for this machine"
  "$root/scripts/setup.sh"
  cmake -S "$root" -B "$native" -DCMAKE_PREFIX_PATH="$(cat "$root/scripts/deps-prefix")" \
        -DCMAKE_BUILD_TYPE=Release -DVANTOR_BUILD_TESTS=OFF >/dev/null
  cmake --build "$native" -j"$(nproc)" --target make_level make_sounds
}

# -- The build --------------------------------------------------------------

out=$root/build-windows
bin=$out/bin
native=$out/native
objdump=$MINGW-objdump

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
  local prefix=$1 meshopt=$2 freetype=$3 bullet=$4
  # Found paths are cached: dependencies from another prefix mean a fresh configure.
  if [ -f "$out/CMakeCache.txt" ] &&
     ! { grep -qxF "RAYLIB_LIBRARY:FILEPATH=$prefix/lib/libraylib.a" "$out/CMakeCache.txt" &&
         grep -qxF "freetype_DIR:PATH=$freetype/lib/cmake/freetype" "$out/CMakeCache.txt" &&
         grep -qxF "BULLET_INCLUDE_DIR:PATH=$bullet/include/bullet" "$out/CMakeCache.txt"; }; then
    rm -rf "$out/CMakeCache.txt" "$out/CMakeFiles"
  fi
  # The audio decoders and stb_image are sources: the ones the Linux build uses serve.
  cmake -S "$root" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DVANTOR_WINDOWS_DEPS="$prefix;$meshopt;$freetype;$bullet" \
        -DVANTOR_DECODERS_DIR="$(cat "$root/scripts/deps-prefix")/include/vantor-decoders" \
        -DVANTOR_STB_DIR=/usr/include/stb \
        -DVANTOR_LEVEL_GENERATOR="$native/tools/make_level" \
        -DVANTOR_SOUND_GENERATOR="$native/tools/make_sounds" -DCMAKE_BUILD_TYPE=Release >/dev/null
  local targets=(engine game engine_inprocess_tests bench_bridge_libc
                 module_plain module_no_init module_no_tick_no_define_func module_no_define_op
                 module_init_throws module_tick_throws module_wrong_type reload_red reload_green
                 module_segv_in_tick module_ill_in_init module_fpe_in_tick module_abort_in_init
                 module_engine_in_init module_foreign_runtime)
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

# -- The checks under wine ----------------------------------------------------
# Everything below runs inside one private Xvfb display (see the end).

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

# start_engine DIR LIMIT [NAME=value...]: engine.exe of DIR, run from DIR in
# the background with a time limit; its stdout, stderr (line ends made Unix)
# and status end up in DIR/out, DIR/err and DIR/status. PROGRAM, when set, is
# the program to run instead (a path from DIR).
start_engine() {
  local dir=$1 limit=$2; shift 2
  (cd "$dir"; status=0
   env "$@" timeout -k 5 "$limit" wine "${PROGRAM:-engine.exe}" >out.raw 2>err.raw || status=$?
   echo $status >status; tr -d '\r' <out.raw >out; tr -d '\r' <err.raw >err) &
  engine_job=$!
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
  press "$win" Escape
  wait "$engine_job" || true
  expect_run "$dir" "$what: window, stdout 0, Escape exits 0" 0 0
}

# The shipped folder as a user starts it: the window, a lit level, Escape; its
# sounds decoded by the Windows build (heard or not: wine here has no device).
check_shipped_game() {
  install_copy "$1/shipped" "$bin/game.dll"
  play_lit "$1/shipped" "the shipped game" "$out/screenshot.png" 0.005
  if grep -q "could not load sound" "$1/shipped/err"; then
    fail "the shipped game: its sounds were refused"; grep "could not load sound" "$1/shipped/err" | sed 's/^/    | /' >&2
  else
    pass "the shipped game: its sounds loaded"
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
wait_stderr() {
  local dir=$1 text=$2 limit=$3
  for _ in $(seq $((limit * 5))); do
    tr -d '\r' <"$dir/err.raw" 2>/dev/null | grep -qF -- "$text" && return 0
    sleep 0.2
  done
  return 1
}

# The in-process tests, as built by MinGW, and the bridge call's cost.
check_test_programs() {
  local tests=$out/tests-bin
  if (cd "$tests" && timeout -k 5 300 wine engine_inprocess_tests.exe --gtest_brief=1 >"$1/tests.log" 2>&1); then
    pass "in-process tests (math, transform, instance, buffers, registration, physics): $(tr -d '\r' <"$1/tests.log" | grep -m1 -o '[0-9]* tests\? from [0-9]* test suites\? ran')"
  else
    fail "in-process tests under wine"; tr -d '\r' <"$1/tests.log" | tail -n 40 >&2
  fi
  say "bridge call (Vector3Add) under wine, C runtime's allocator:"
  (cd "$tests" && timeout -k 5 120 wine bench_bridge_libc.exe --benchmark_filter=BridgeCall --benchmark_min_time=0.5 2>/dev/null) \
    | tr -d '\r' | grep '^BM_' >&2 || fail "the bridge benchmark under wine"
  local linux=$root/build/tests/engine/bench_bridge
  if [ -x "$linux" ]; then
    say "the same on Linux (mimalloc):"
    "$linux" --benchmark_filter=BridgeCall --benchmark_min_time=0.5 2>/dev/null | grep '^BM_' >&2 || true
  fi
}

run_checks() {
  checks_dir=$(mktemp -d "${TMPDIR:-/tmp}/vantor-windows-checks.XXXXXX")
  trap 'status=$?; wineserver -k 2>/dev/null || true; rm -rf "$checks_dir"
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
  [ $failures -eq 0 ] || die "$failures Windows check(s) failed"
  say "all Windows checks passed"
}

if [ "${1:-}" = --checks-in-display ]; then
  run_checks
  exit 0
fi

install_packages "${WINDOWS_PACKAGES[@]}"
build_generators
prefix=$(build_windows_deps)
meshopt=$(build_windows_meshoptimizer)
bullet=$(build_windows_bullet)
freetype=$(build_windows_freetype)
build_windows "$prefix" "$meshopt" "$freetype" "$bullet"
build_windows_sdk

if [ "${VANTOR_WINDOWS_CHECKS:-1}" != 0 ]; then
  say "checking the Windows build under wine"
  xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" "$root/scripts/windows.sh" --checks-in-display
fi
