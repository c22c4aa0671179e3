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
apt_install() {
  sudo_if_needed apt-get "$@" update -qq &&
    sudo_if_needed apt-get "$@" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
# A mirror in the middle of a sync fails an update or a download for a
# while: try again before giving up.
for attempt in 1 2 3; do
  apt_install && exit 0
  echo "setup: apt-get failed (attempt $attempt of 3); trying again in 30 s" >&2
  sleep 30
done
# A security suite whose i386 index stays out of step with its amd64 one
# leaves the two architectures' libraries at different versions, which
# cannot be installed together: take everything from the release's own
# suites then.
echo "setup: installing from the release's suites alone, without the security suite" >&2
release_only=$(mktemp -d)
trap 'rm -rf "$release_only"' EXIT
for f in /etc/apt/sources.list.d/*.sources; do
  [ -e "$f" ] && awk -v RS= -v ORS='\n\n' '!/security/' "$f" >"$release_only/$(basename "$f")"
done
if [ -e /etc/apt/sources.list ]; then grep -v security /etc/apt/sources.list >"$release_only/release.list" || true; fi
apt_install -o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$release_only"
