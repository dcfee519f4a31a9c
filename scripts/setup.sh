#!/usr/bin/env bash
# Prepares a Debian 12 machine to build Vantor: installs the Debian packages it
# needs and builds GLFW 3.4 and raylib 6.0 from Debian's source packages into a
# cache outside the build folder, keyed by version, so a second run is instant.
# raylib's audio decoders are kept there too, as sources, for the audio layer.
#
# Prints nothing on success but progress on stderr. Exports nothing: the build
# finds the dependencies through scripts/deps-prefix (written by this script).
#
# Environment:
#   VANTOR_CACHE            where the source builds are kept (default ~/.cache/vantor)
#   VANTOR_RAYLIB_VERSION   Debian version of the raylib source package (default 6.0+ds-2)
#   VANTOR_GLFW_VERSION     Debian version of the glfw3 source package (default 3.4-3)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
log_name=setup
# shellcheck source=lib/deps.sh
. "$here/lib/deps.sh"

# Pinned source packages and the suites that carry them (the versions can be
# overridden to try a newer release). scripts/windows.sh builds the same ones.
RAYLIB_PKG=raylib RAYLIB_VER=${VANTOR_RAYLIB_VERSION:-6.0+ds-2} RAYLIB_SUITE=unstable
GLFW_PKG=glfw3    GLFW_VER=${VANTOR_GLFW_VERSION:-3.4-3}        GLFW_SUITE=trixie
FREETYPE_VER=2.12.1+dfsg-5+deb12u4 FREETYPE_SUITE=bookworm

APT_PACKAGES=(
  build-essential cmake pkg-config ca-certificates dpkg-dev xz-utils
  # GLFW (X11 only) and OpenGL
  libx11-dev libxcursor-dev libxi-dev libxinerama-dev libxrandr-dev libgl-dev
  # model import
  libassimp-dev
  # mesh optimisation and level-of-detail simplification
  libmeshoptimizer-dev
  # rigid bodies, characters and collision queries (the physics layer)
  libbullet-dev
  # the inspector's windows (Dear ImGui, static, with stb)
  libimgui-dev
  # playing over the network (reliable and unreliable messages over UDP)
  libenet-dev
  # drawing over the scene: the built-in font (DejaVu Sans), image decoding
  # (stb_image, compiled by the engine itself); FreeType is built below
  fonts-dejavu-core libstb-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # process-wide allocator of the engine
  libmimalloc-dev
  # windows without a display, scripted input, screenshots; Mesa's OpenGL
  # driver, which the tests also copy into a player's minimal root
  xvfb xauth xdotool x11-xkb-utils imagemagick libgl1-mesa-dri libglx-mesa0
  # a private sound server with a null output that the tests record from, and
  # encoders that write the tests' OGG, MP3 and FLAC files
  pulseaudio pulseaudio-utils vorbis-tools lame flac
)

build_deps() {
  local cache; cache=$(deps_cache)
  local prefix="$cache/glfw-${GLFW_VER}_raylib-${RAYLIB_VER}"
  if [ -f "$prefix/.complete" ]; then
    [ -f "$prefix/include/vantor-decoders/.complete" ] || add_decoders "$prefix"
    [ -f "$prefix/.freetype-complete" ] || add_freetype "$prefix"
    echo "$prefix" > "$here/deps-prefix"; return 0
  fi

  local work; work=$(mktemp -d "${TMPDIR:-/tmp}/vantor-deps.XXXXXX")
  trap 'rm -rf "$work"' RETURN
  private_apt_update "$work/apt" "$RAYLIB_SUITE" "$GLFW_SUITE"

  local gver rver
  gver=$(fetch_source "$GLFW_PKG" "$GLFW_VER" "$GLFW_SUITE" "$work/glfw")
  rver=$(fetch_source "$RAYLIB_PKG" "$RAYLIB_VER" "$RAYLIB_SUITE" "$work/raylib")
  if [ "$gver" != "$GLFW_VER" ] || [ "$rver" != "$RAYLIB_VER" ]; then
    prefix="$cache/glfw-${gver}_raylib-${rver}"
    say "building with glfw3 $gver and raylib $rver instead of the pinned versions"
    if [ -f "$prefix/.complete" ]; then echo "$prefix" > "$here/deps-prefix"; return 0; fi
  fi

  rm -rf "$prefix"; mkdir -p "$prefix"
  local rsrc; rsrc=$(unpack_source "$work/raylib")
  build_glfw_raylib "$prefix" "$(unpack_source "$work/glfw")" "$rsrc" -DGLFW_BUILD_X11=ON
  copy_decoders "$rsrc" "$prefix"
  add_freetype "$prefix"

  touch "$prefix/.complete"
  echo "$prefix" > "$here/deps-prefix"
  say "dependencies ready in $prefix"
}

# The audio decoders raylib ships (dr_wav, dr_mp3, dr_flac, stb_vorbis): the
# engine's audio layer compiles its own copy of them, so they are kept beside
# the libraries as sources, in include/vantor-decoders.
copy_decoders() {
  local rsrc=$1 prefix=$2 dest="$2/include/vantor-decoders"
  mkdir -p "$dest"
  cp "$rsrc"/src/external/{dr_wav.h,dr_mp3.h,dr_flac.h,stb_vorbis.c} "$dest"/
  touch "$dest/.complete"
}

# A prefix built before the decoders were kept: only raylib's source is fetched again.
add_decoders() {
  local prefix=$1 work
  work=$(mktemp -d "${TMPDIR:-/tmp}/vantor-decoders.XXXXXX")
  say "adding raylib's audio decoders to $prefix"
  private_apt_update "$work/apt" "$RAYLIB_SUITE"
  fetch_source "$RAYLIB_PKG" "$RAYLIB_VER" "$RAYLIB_SUITE" "$work/raylib" >/dev/null
  copy_decoders "$(unpack_source "$work/raylib")" "$prefix"
  rm -rf "$work"
}

# FreeType as a static library without optional dependencies (build_freetype),
# into the same prefix; added to a cache made before it was kept there.
add_freetype() {
  local prefix=$1 work
  work=$(mktemp -d "${TMPDIR:-/tmp}/vantor-freetype.XXXXXX")
  private_apt_update "$work/apt" "$FREETYPE_SUITE"
  build_freetype "$prefix" "$work" "$FREETYPE_VER" "$FREETYPE_SUITE" -DCMAKE_POSITION_INDEPENDENT_CODE=ON >/dev/null
  touch "$prefix/.freetype-complete"
  rm -rf "$work"
}

# Sourced by scripts/windows.sh for the pinned versions; run, it sets up.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  install_packages "${APT_PACKAGES[@]}"
  build_deps
fi
