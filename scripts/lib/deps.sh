# Pieces shared by scripts/setup.sh (the Linux build) and scripts/windows.sh
# with lib/windows-deps.sh (the Windows cross-build): Debian packages, Debian
# source packages fetched through a private apt configuration (the machine's own
# apt sources are never touched), and the version-keyed cache the source builds
# are kept in.
#
# Sourced, not run. The sourcing script sets `log_name` (the prefix of its
# messages) before calling anything here.

say() { printf '%s: %s\n' "${log_name:-vantor}" "$*" >&2; }
die() { printf '%s: error: %s\n' "${log_name:-vantor}" "$*" >&2; exit 1; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"
  elif command -v sudo >/dev/null; then sudo "$@"
  else die "need root to run: $*"; fi
}

# Installs the Debian packages named as arguments that are not installed yet.
install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing Debian packages: ${missing[*]}"
  as_root apt-get update -qq >&2 || die "apt-get update failed"
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2 \
    || die "could not install: ${missing[*]}"
}

# Where source builds are kept between runs.
deps_cache() { echo "${VANTOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vantor}"; }

# The archive the machine's own apt sources name (deb.debian.org by default).
machine_archive() {
  local uri
  uri=$(grep -rhoE '^(URIs:|deb)[[:space:]]+(\[[^]]*\][[:space:]]+)?https?://[^[:space:]]+/debian/?' \
          /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null \
        | grep -oE 'https?://[^[:space:]]+' | grep -v security | head -n1 || true)  # none: the default
  echo "${uri:-http://deb.debian.org/debian}"
}

# The private apt configuration: its folder is set by private_apt_update.
private_apt() {
  apt-get -o "Dir::Etc::SourceList=$private_aptdir/sources.list" -o Dir::Etc::SourceParts=/dev/null \
          -o "Dir::State::Lists=$private_aptdir/lists" -o "Dir::Cache=$private_aptdir/cache" \
          -o APT::Sandbox::User=root "$@"
}

# private_apt_update DIR SUITE...: reads the source lists of these suites into
# a private apt configuration kept in DIR.
private_apt_update() {
  private_aptdir=$1; shift
  mkdir -p "$private_aptdir/lists/partial" "$private_aptdir/cache/archives/partial"
  local archive suite; archive=$(machine_archive)
  : > "$private_aptdir/sources.list"
  for suite in "$@"; do
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive $suite main" \
      >> "$private_aptdir/sources.list"
  done
  say "reading the source lists of $* from $archive"
  private_apt update -qq >&2 || die "cannot read the source lists from $archive (network or archive keys?)"
}

# fetch_source PKG VER SUITE DIR: fetches one source package into DIR and
# prints the version that was fetched. Falls back to the suite's current
# version when the pinned one is gone.
fetch_source() {
  local pkg=$1 ver=$2 suite=$3 dir=$4
  mkdir -p "$dir"
  if (cd "$dir" && private_apt source --download-only -qq "$pkg=$ver" >&2 2>/dev/null); then
    echo "$ver"; return 0
  fi
  say "warning: $pkg $ver is no longer in the archive; falling back to the current version in $suite"
  (cd "$dir" && private_apt source --download-only -qq "$pkg/$suite" >&2) \
    || die "cannot fetch the source package '$pkg' (pinned $ver) from $(machine_archive)"
  local dsc; dsc=$(ls "$dir"/"${pkg}"_*.dsc | head -n1)
  sed -n 's/^Version: //p' "$dsc"
}

# unpack_source DIR: unpacks the upstream tarball fetched into DIR (and
# Debian's packaging beside it, as DIR/debian) and prints the source folder.
unpack_source() {
  local dir=$1
  tar -xf "$(ls "$dir"/*.orig.tar.* | head -n1)" -C "$dir"
  local deb; deb=$(ls "$dir"/*.debian.tar.* 2>/dev/null | head -n1 || true)  # none with --tar-only
  [ -z "$deb" ] || tar -xf "$deb" -C "$dir"
  find "$dir" -mindepth 1 -maxdepth 1 -type d ! -name debian | head -n1
}

# cmake_install SRC BUILD ARGS...: configures, builds and installs one
# dependency quietly.
cmake_install() {
  local src=$1 build=$2; shift 2
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$build" -j"$(nproc)" >/dev/null
  cmake --install "$build" >/dev/null
}

# build_glfw_raylib PREFIX GLFW_SRC RAYLIB_SRC CMAKE_ARGS...: GLFW as a static
# library, then raylib as a static library on that GLFW, both into PREFIX.
build_glfw_raylib() {
  local prefix=$1 gsrc=$2 rsrc=$3; shift 3
  say "building GLFW"
  cmake_install "$gsrc" "$gsrc-build" -DCMAKE_INSTALL_PREFIX="$prefix" "$@" \
        -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
        -DGLFW_BUILD_WAYLAND=OFF -DGLFW_BUILD_EXAMPLES=OFF -DGLFW_BUILD_TESTS=OFF -DGLFW_BUILD_DOCS=OFF
  say "building raylib (static, external GLFW)"
  cmake_install "$rsrc" "$rsrc-build" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" "$@" \
        -DBUILD_SHARED_LIBS=OFF -DWITH_PIC=ON -DUSE_EXTERNAL_GLFW=ON -DPLATFORM=Desktop -DBUILD_EXAMPLES=OFF
}

# apply_patches SRC PATCH...: Debian's patches, by name, from the unpacked
# source's debian/patches.
apply_patches() {
  local src=$1; shift
  for p in "$@"; do patch -s -p1 -d "$src" < "$(dirname "$src")/debian/patches/$p" || die "patch $p failed"; done
}

# build_freetype PREFIX WORK VERSION SUITE CMAKE_ARGS...: FreeType (the screen
# layer's fonts) from Debian's source package, as a static library without its
# optional dependencies (zlib: its own copy; no bzip2, PNG, HarfBuzz or Brotli),
# so a packed game carries nothing for it. Prints the version built.
build_freetype() {
  local prefix=$1 work=$2 version=$3 suite=$4; shift 4
  local ver; ver=$(fetch_source freetype "$version" "$suite" "$work/freetype")
  local src; src=$(unpack_source "$work/freetype")
  # Debian's fixes to the library (security fixes among them); not those to the
  # demo programs and the documentation, whose sources are not unpacked.
  local p patches=()
  for p in $(grep -v '^#' "$work/freetype/debian/patches/series"); do
    grep -qE '^\+\+\+ b/ft2(demos|docs)/' "$work/freetype/debian/patches/$p" || patches+=("$p")
  done
  apply_patches "$src" "${patches[@]}"
  # Only the modules TrueType and OpenType fonts need: the others (Type 1, BDF,
  # PCF, Windows FNT...) are formats the engine does not read, and code a broken
  # file could reach.
  cat > "$src/include/freetype/config/ftmodule.h" <<'MODULES'
FT_USE_MODULE( FT_Module_Class, autofit_module_class )
FT_USE_MODULE( FT_Driver_ClassRec, tt_driver_class )
FT_USE_MODULE( FT_Driver_ClassRec, cff_driver_class )
FT_USE_MODULE( FT_Module_Class, psaux_module_class )
FT_USE_MODULE( FT_Module_Class, psnames_module_class )
FT_USE_MODULE( FT_Module_Class, pshinter_module_class )
FT_USE_MODULE( FT_Module_Class, sfnt_module_class )
FT_USE_MODULE( FT_Renderer_Class, ft_smooth_renderer_class )
MODULES
  say "building FreeType $ver"
  cmake_install "$src" "$work/freetype-build" -DCMAKE_INSTALL_PREFIX="$prefix" "$@" -DBUILD_SHARED_LIBS=OFF \
        -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
  echo "$ver"
}
