# shellcheck shell=bash
# The Windows build's dependencies (scripts/windows.sh): the Debian packages it
# needs, and GLFW, raylib, assimp (OBJ, FBX and glTF importers only), minizip,
# Google Test and Google Benchmark, meshoptimizer, FreeType, Bullet, Dear ImGui
# and ENet cross-built with MinGW-w64 from Debian's source packages into the
# version-keyed cache that scripts/setup.sh uses (~/.cache/vantor).
#
# Sourced, not run, by scripts/windows.sh after scripts/setup.sh (the pinned
# GLFW, raylib and FreeType, and lib/deps.sh), with `root` set to the
# repository. Each build_windows_* function prints the prefix it filled,
# building only when the cache has none complete for those versions.
#
# Environment: as scripts/setup.sh, and
#   VANTOR_ASSIMP_VERSION   Debian version of the assimp source package (default 5.2.5~ds0-1)
#   VANTOR_BULLET_VERSION   Debian version of the bullet source package (default 3.24+dfsg-2)
#   VANTOR_ENET_VERSION     Debian version of the enet source package (default 1.3.18+ds-1),
#   VANTOR_ENET_SUITE       and the suite that has it (default trixie)

ASSIMP_PKG=assimp   ASSIMP_VER=${VANTOR_ASSIMP_VERSION:-5.2.5~ds0-1} ASSIMP_SUITE=bookworm
MINIZIP_PKG=minizip MINIZIP_VER=1.1-8+deb12u1                        MINIZIP_SUITE=bookworm
BENCH_PKG=benchmark BENCH_VER=1.7.1-1                                BENCH_SUITE=bookworm
MESHOPT_PKG=meshoptimizer MESHOPT_VER=0.18+dfsg-2                    MESHOPT_SUITE=bookworm
BULLET_PKG=bullet   BULLET_VER=${VANTOR_BULLET_VERSION:-3.24+dfsg-2}  BULLET_SUITE=bookworm
IMGUI_PKG=imgui     IMGUI_VER=1.86+ds-1                               IMGUI_SUITE=bookworm
# Not bookworm's 1.3.17+ds-2, the release Linux links: the archive this is
# built from serves neither of its tarballs, while trixie's upstream tarball is
# there. The wire protocol is the same, so the two builds play together.
ENET_PKG=enet ENET_VER=${VANTOR_ENET_VERSION:-1.3.18+ds-1} ENET_SUITE=${VANTOR_ENET_SUITE:-trixie}
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

# cross_install SRC BUILD PREFIX CMAKE_ARGS...: cmake_install of one
# dependency built with MinGW into PREFIX, finding what it needs there.
cross_install() {
  local src=$1 build=$2 prefix=$3; shift 3
  cmake_install "$src" "$build" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DVANTOR_WINDOWS_DEPS="$prefix" "$@"
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
  cross_install "$src" "$src-build" "$prefix" \
        -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
        -DBUILD_SHARED_LIBS=ON -DASSIMP_BUILD_ZLIB=OFF -DASSIMP_NO_EXPORT=ON \
        -DASSIMP_BUILD_ALL_IMPORTERS_BY_DEFAULT=OFF \
        -DASSIMP_BUILD_OBJ_IMPORTER=ON -DASSIMP_BUILD_FBX_IMPORTER=ON -DASSIMP_BUILD_GLTF_IMPORTER=ON \
        -DASSIMP_BUILD_TESTS=OFF -DASSIMP_BUILD_ASSIMP_TOOLS=OFF -DASSIMP_BUILD_SAMPLES=OFF \
        -DASSIMP_BUILD_DRACO=OFF -DASSIMP_WARNINGS_AS_ERRORS=OFF -DASSIMP_INSTALL_PDB=OFF
}

# Prints the prefix of GLFW, raylib, assimp (with minizip) and the test
# libraries, building them when the cache has none for these versions.
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
  build_glfw_raylib "$prefix" "$(unpack_source "$work/glfw")" "$(unpack_source "$work/raylib")" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DVANTOR_WINDOWS_DEPS="$prefix"
  say "building minizip"
  build_minizip "$prefix" "$(unpack_source "$work/minizip")"
  build_assimp "$prefix" "$(unpack_source "$work/assimp")" "$work"
  say "building Google Test and Google Benchmark (for the tests)"
  cross_install /usr/src/googletest "$work/gtest-build" "$prefix"
  cross_install "$(unpack_source "$work/benchmark")" "$work/benchmark-build" "$prefix" \
        -DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF \
        -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_ENABLE_LIBPFM=OFF \
        -DHAVE_STD_REGEX=1 -DHAVE_STEADY_CLOCK=1  # MinGW's libstdc++ has both; a cross build cannot run its checks

  touch "$prefix/.complete"
  say "Windows dependencies ready in $prefix"
  echo "$prefix"
}

# cached_windows_dep NAME SUITE BUILDER: prints the cache folder
# windows-x64_NAME, first filled by `BUILDER PREFIX WORK` (WORK: a scratch
# folder, the source lists of SUITE read) when it is not complete. For the
# dependencies kept each in a folder of its own, so that the larger ones above
# are not built again for them.
cached_windows_dep() {
  local name=$1 suite=$2 builder=$3
  local prefix; prefix="$(deps_cache)/windows-x64_$name"
  if [ -f "$prefix/.complete" ]; then echo "$prefix"; return 0; fi
  local work; work=$(mktemp -d "${TMPDIR:-/tmp}/vantor-windows-$builder.XXXXXX")
  private_apt_update "$work/apt" "$suite"
  rm -rf "$prefix"; mkdir -p "$prefix"
  "$builder" "$prefix" "$work" >/dev/null
  touch "$prefix/.complete"
  rm -rf "$work"
  echo "$prefix"
}

# meshoptimizer (the renderer's level of detail), a static library.
build_meshoptimizer() {
  local prefix=$1 work=$2
  fetch_source "$MESHOPT_PKG" "$MESHOPT_VER" "$MESHOPT_SUITE" "$work/meshoptimizer" >/dev/null
  say "building meshoptimizer"
  cross_install "$(unpack_source "$work/meshoptimizer")" "$work/meshoptimizer-build" "$prefix" \
        -DMESHOPT_BUILD_SHARED_LIBS=OFF -DMESHOPT_BUILD_DEMO=OFF -DMESHOPT_BUILD_GLTFPACK=OFF
}

# Bullet (the physics layer): static libraries, single precision as on Linux,
# and only the rigid-body libraries the engine uses (BulletDynamics,
# BulletCollision, LinearMath), headers under include/bullet. No Debian patch
# is needed: theirs name the double-precision build's libraries apart and keep
# the extras off the bundled tinyxml, and neither is built here.
build_bullet() {
  local prefix=$1 work=$2
  fetch_source "$BULLET_PKG" "$BULLET_VER" "$BULLET_SUITE" "$work/bullet" >/dev/null
  local src; src=$(unpack_source "$work/bullet")
  # Its src/ always adds soft bodies, inverse dynamics and Bullet3Common, which
  # the engine does not use: only the three libraries are built and installed.
  local subdirs='SUBDIRS(   BulletInverseDynamics BulletSoftBody BulletCollision BulletDynamics LinearMath Bullet3Common)'
  grep -qxF "$subdirs" "$src/src/CMakeLists.txt" || die "bullet's src/CMakeLists.txt does not list its libraries as expected"
  sed -i "s/^SUBDIRS(   BulletInverseDynamics BulletSoftBody .*/SUBDIRS(BulletCollision BulletDynamics LinearMath)/" \
    "$src/src/CMakeLists.txt"
  say "building Bullet (rigid bodies, static, single precision)"
  # -Wno-deprecated: its cmake_minimum_required(VERSION 2.4.3) draws CMake's
  # warning that support for versions before 2.8.12 will go.
  cross_install "$src" "$work/bullet-build" "$prefix" -Wno-deprecated \
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
}

# Dear ImGui (the inspector): a static library of the core only, as Linux
# takes it from libimgui-dev, headers under include/imgui. Its font rasteriser
# and rectangle packer are libstb-dev's headers, as in Debian's build, so both
# systems draw the same glyphs; but where Debian links them from libstb, here
# imgui_draw.cpp compiles them in as static functions (its default), since
# raylib's text module already defines the packer's functions globally.
build_imgui() {
  local prefix=$1 work=$2
  fetch_source "$IMGUI_PKG" "$IMGUI_VER" "$IMGUI_SUITE" "$work/imgui" >/dev/null
  local src; src=$(unpack_source "$work/imgui")
  # The stb headers, and nothing else of /usr/include.
  mkdir -p "$work/headers" "$work/obj" "$prefix/lib" "$prefix/include/imgui"
  ln -sfn /usr/include/stb "$work/headers/stb"
  say "building Dear ImGui (core, static)"
  local f
  for f in imgui imgui_draw imgui_tables imgui_widgets; do
    # -Wno-stringop-overflow: g++ 12 misreads the size of a memset in the atlas packer.
    $MINGW-g++-posix -O2 -Wno-stringop-overflow -I"$src" -I"$work/headers" \
      '-DIMGUI_STB_TRUETYPE_FILENAME=<stb/stb_truetype.h>' '-DIMGUI_STB_RECT_PACK_FILENAME=<stb/stb_rect_pack.h>' \
      -c "$src/$f.cpp" -o "$work/obj/$f.o"
  done
  $MINGW-ar rcs "$prefix/lib/libimgui.a" "$work"/obj/*.o
  cp "$src"/*.h "$prefix/include/imgui/"
  local symbols; symbols=$($MINGW-nm "$prefix/lib/libimgui.a")
  { grep -qE ' t .*stbtt_' <<<"$symbols" && grep -qE ' t .*stbrp_' <<<"$symbols" &&
    ! grep -qE ' U .*stb(tt|rp)_' <<<"$symbols"; } ||
    die "Dear ImGui's library does not hold its stb functions"
}

# ENet (playing over the network): a static library of its sources, compiled
# directly, since they need no configuring on Windows; its CMake project
# installs nothing. Only the upstream tarball is fetched (apt checks it against
# the suite's signed source list): the archive lacks Debian's packaging of the
# release, whose one patch is for GNU Hurd.
build_enet() {
  local prefix=$1 work=$2
  mkdir -p "$work/enet"
  (cd "$work/enet" && private_apt source --download-only --tar-only -qq "$ENET_PKG=$ENET_VER" >&2) \
    || die "cannot fetch the source package '$ENET_PKG' $ENET_VER from $ENET_SUITE at $(machine_archive)"
  local src; src=$(unpack_source "$work/enet")
  mkdir -p "$work/obj" "$prefix/lib" "$prefix/include/enet"
  say "building ENet (static)"
  local f
  for f in callbacks compress host list packet peer protocol win32; do
    # -fno-strict-aliasing: win32.c reads an address's host field through a
    # struct in_addr pointer.
    $MINGW-gcc-posix -O2 -Wall -fno-strict-aliasing -I"$src/include" -c "$src/$f.c" -o "$work/obj/$f.o"
  done
  $MINGW-ar rcs "$prefix/lib/libenet.a" "$work"/obj/*.o
  cp "$src"/include/enet/*.h "$prefix/include/enet/"
  local symbols; symbols=$($MINGW-nm "$prefix/lib/libenet.a")
  grep -qE ' T enet_host_create$' <<<"$symbols" || die "ENet's library does not define enet_host_create"
}

# FreeType as scripts/setup.sh builds it (build_freetype in lib/deps.sh).
# -Wno-attributes: its zlib copy marks functions hidden, which a PE file has no notion of.
build_mingw_freetype() {
  build_freetype "$1" "$2" "$FREETYPE_VER" "$FREETYPE_SUITE" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DVANTOR_WINDOWS_DEPS="$1" -DCMAKE_C_FLAGS=-Wno-attributes
}

build_windows_meshoptimizer() { cached_windows_dep "meshoptimizer-${MESHOPT_VER}" "$MESHOPT_SUITE" build_meshoptimizer; }
build_windows_bullet() { cached_windows_dep "bullet-${BULLET_VER}" "$BULLET_SUITE" build_bullet; }
build_windows_enet() { cached_windows_dep "enet-${ENET_VER}" "$ENET_SUITE" build_enet; }
build_windows_freetype() { cached_windows_dep "freetype-${FREETYPE_VER}" "$FREETYPE_SUITE" build_mingw_freetype; }
# Keyed by libstb-dev's version too: its headers are compiled in.
build_windows_imgui() {
  cached_windows_dep "imgui-${IMGUI_VER}_stb-$(dpkg-query -W -f='${Version}' libstb-dev)" "$IMGUI_SUITE" build_imgui
}
