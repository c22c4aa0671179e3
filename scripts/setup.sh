#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent, and
# quick when everything is already present. The README's two commands
# (scripts/demo.sh and scripts/test.sh) run it; the other scripts expect it
# to have run once.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang lld libclang-rt-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb xauth zip unzip file ncompress python3 imagemagick xdotool
  dpkg-dev groff-base doublecmd-gtk locales libfuse3-dev fuse3 pkg-config
)

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_if_needed dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync fails an update or a download for a
# minute or two: try again before giving up.
for attempt in 1 2 3 4 5; do
  if sudo_if_needed apt-get update -qq &&
    sudo_if_needed apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    exit 0
  fi
  echo "setup: apt-get failed (attempt $attempt of 5); trying again in 30 s" >&2
  sleep 30
done
exit 1
