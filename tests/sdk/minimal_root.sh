#!/usr/bin/env bash
# minimal_root.sh ROOT: lays out in ROOT a Linux root file system that holds
# only what a player's machine is taken to have: the C library, libX11 with
# its xcb libraries and an OpenGL driver (Mesa's), each Debian package with
# everything it depends on, copied from this machine's installed files. No
# shell, no development packages, none of the engine's own libraries.
set -euo pipefail
root=${1:?usage: minimal_root.sh ROOT}
packages=(libc6 libgl1 libglx-mesa0 libgl1-mesa-dri libx11-6)

closure=$(apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts \
            --no-breaks --no-replaces --no-enhances "${packages[@]}" | grep -v '^[ <]' | sort -u)
mkdir -p "$root"/{usr/bin,usr/lib,usr/lib64,usr/sbin,etc,tmp,proc,dev,opt}
chmod 1777 "$root/tmp"
# Debian 12's merged /usr: the top-level folders are links into it.
for d in bin lib lib64 sbin; do ln -sfn "usr/$d" "$root/$d"; done
# shellcheck disable=SC2086
dpkg-query -L $closure | sort -u | while read -r f; do [ -d "$f" ] && [ ! -L "$f" ] || echo "${f#/}"; done |
  tar -C / -cf - --no-recursion -T - | tar -C "$root" -xf - --keep-directory-symlink
echo "$closure" | wc -w
