#!/usr/bin/env bash
# Prepares a Debian 12 machine to build Vantor: installs the Debian packages it
# needs and builds GLFW 3.4 and raylib 6.0 from Debian's source packages into a
# cache outside the build folder, keyed by version, so a second run is instant.
#
# Prints nothing on success but progress on stderr. Exports nothing: the build
# finds the dependencies through scripts/deps-prefix (written by this script).
#
# Environment:
#   VANTOR_CACHE            where the source builds are kept (default ~/.cache/vantor)
#   VANTOR_RAYLIB_VERSION   Debian version of the raylib source package (default 6.0+ds-2)
#   VANTOR_GLFW_VERSION     Debian version of the glfw3 source package (default 3.4-3)
set -euo pipefail

say() { printf 'setup: %s\n' "$*" >&2; }
die() { printf 'setup: error: %s\n' "$*" >&2; exit 1; }

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")

# Pinned source packages and the suites that carry them (the versions can be
# overridden to try a newer release).
RAYLIB_PKG=raylib RAYLIB_VER=${VANTOR_RAYLIB_VERSION:-6.0+ds-2} RAYLIB_SUITE=unstable
GLFW_PKG=glfw3    GLFW_VER=${VANTOR_GLFW_VERSION:-3.4-3}        GLFW_SUITE=trixie

APT_PACKAGES=(
  build-essential cmake pkg-config ca-certificates dpkg-dev xz-utils
  # GLFW (X11 only) and OpenGL
  libx11-dev libxcursor-dev libxi-dev libxinerama-dev libxrandr-dev libgl-dev
  # model import
  libassimp-dev
  # mesh optimisation and level-of-detail simplification
  libmeshoptimizer-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # process-wide allocator of the engine
  libmimalloc-dev
  # windows without a display, scripted input, screenshots
  xvfb xauth xdotool imagemagick
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"
  elif command -v sudo >/dev/null; then sudo "$@"
  else die "need root to run: $*"; fi
}

install_packages() {
  local missing=()
  for p in "${APT_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing Debian packages: ${missing[*]}"
  as_root apt-get update -qq >&2 || die "apt-get update failed"
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2 \
    || die "could not install: ${missing[*]}"
}

# The archive the machine's own apt sources name (deb.debian.org by default).
machine_archive() {
  local uri
  uri=$(grep -rhoE '^(URIs:|deb)[[:space:]]+(\[[^]]*\][[:space:]]+)?https?://[^[:space:]]+/debian/?' \
          /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null \
        | grep -oE 'https?://[^[:space:]]+' | grep -v security | head -n1)
  echo "${uri:-http://deb.debian.org/debian}"
}

# Fetches one source package with a private apt configuration and prints the
# version that was fetched. Falls back to the suite's current version when the
# pinned one is gone.
fetch_source() {
  local pkg=$1 ver=$2 suite=$3 dir=$4 aptdir=$5
  local opts=(-o "Dir::Etc::SourceList=$aptdir/sources.list" -o Dir::Etc::SourceParts=/dev/null
              -o "Dir::State::Lists=$aptdir/lists" -o "Dir::Cache=$aptdir/cache" -o APT::Sandbox::User=root)
  mkdir -p "$dir"
  if (cd "$dir" && apt-get "${opts[@]}" source --download-only -qq "$pkg=$ver" >&2 2>/dev/null); then
    echo "$ver"; return 0
  fi
  say "warning: $pkg $ver is no longer in the archive; falling back to the current version in $suite"
  (cd "$dir" && apt-get "${opts[@]}" source --download-only -qq "$pkg/$suite" >&2) \
    || die "cannot fetch the source package '$pkg' (pinned $ver) from $(machine_archive)"
  local dsc; dsc=$(ls "$dir"/"${pkg}"_*.dsc | head -n1)
  sed -n 's/^Version: //p' "$dsc"
}

build_deps() {
  local cache=${VANTOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vantor}
  local key="glfw-${GLFW_VER}_raylib-${RAYLIB_VER}"
  local prefix="$cache/$key"
  if [ -f "$prefix/.complete" ]; then
    echo "$prefix" > "$here/deps-prefix"; return 0
  fi

  local work; work=$(mktemp -d "${TMPDIR:-/tmp}/vantor-deps.XXXXXX")
  trap 'rm -rf "$work"' RETURN
  local aptdir="$work/apt"; mkdir -p "$aptdir/lists/partial" "$aptdir/cache/archives/partial"
  local archive; archive=$(machine_archive)
  cat > "$aptdir/sources.list" <<SRC
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive $RAYLIB_SUITE main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive $GLFW_SUITE main
SRC
  say "reading the source lists of $RAYLIB_SUITE and $GLFW_SUITE from $archive"
  apt-get -o "Dir::Etc::SourceList=$aptdir/sources.list" -o Dir::Etc::SourceParts=/dev/null \
          -o "Dir::State::Lists=$aptdir/lists" -o "Dir::Cache=$aptdir/cache" -o APT::Sandbox::User=root \
          update -qq >&2 \
    || die "cannot read the source lists from $archive (network or archive keys?)"

  local gver rver
  gver=$(fetch_source "$GLFW_PKG" "$GLFW_VER" "$GLFW_SUITE" "$work/glfw" "$aptdir")
  rver=$(fetch_source "$RAYLIB_PKG" "$RAYLIB_VER" "$RAYLIB_SUITE" "$work/raylib" "$aptdir")
  if [ "$gver" != "$GLFW_VER" ] || [ "$rver" != "$RAYLIB_VER" ]; then
    key="glfw-${gver}_raylib-${rver}"; prefix="$cache/$key"
    say "building with glfw3 $gver and raylib $rver instead of the pinned versions"
    if [ -f "$prefix/.complete" ]; then echo "$prefix" > "$here/deps-prefix"; return 0; fi
  fi

  tar -xf "$(ls "$work"/glfw/*.orig.tar.* | head -n1)" -C "$work/glfw"
  tar -xf "$(ls "$work"/raylib/*.orig.tar.* | head -n1)" -C "$work/raylib"
  local gsrc rsrc
  gsrc=$(find "$work/glfw" -mindepth 1 -maxdepth 1 -type d | head -n1)
  rsrc=$(find "$work/raylib" -mindepth 1 -maxdepth 1 -type d | head -n1)
  local jobs; jobs=$(nproc)

  rm -rf "$prefix"; mkdir -p "$prefix"
  say "building GLFW $gver (X11 only)"
  cmake -S "$gsrc" -B "$work/glfw-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
        -DGLFW_BUILD_X11=ON -DGLFW_BUILD_WAYLAND=OFF -DGLFW_BUILD_EXAMPLES=OFF \
        -DGLFW_BUILD_TESTS=OFF -DGLFW_BUILD_DOCS=OFF >&2 >/dev/null
  cmake --build "$work/glfw-build" -j"$jobs" >/dev/null
  cmake --install "$work/glfw-build" >/dev/null

  say "building raylib $rver (static, external GLFW)"
  cmake -S "$rsrc" -B "$work/raylib-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_PREFIX_PATH="$prefix" -DBUILD_SHARED_LIBS=OFF -DWITH_PIC=ON \
        -DUSE_EXTERNAL_GLFW=ON -DPLATFORM=Desktop -DBUILD_EXAMPLES=OFF >/dev/null
  cmake --build "$work/raylib-build" -j"$jobs" >/dev/null
  cmake --install "$work/raylib-build" >/dev/null

  touch "$prefix/.complete"
  echo "$prefix" > "$here/deps-prefix"
  say "dependencies ready in $prefix"
}

install_packages
build_deps
