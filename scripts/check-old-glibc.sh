#!/usr/bin/env bash
# Runs the shipped Linux files on glibc 2.31 (Debian 11's C library), the
# oldest they are meant to load on: kzr packs, lists with two threads, tests
# and extracts, and the test host (from the bench build) extracts through
# kzr.wcx, all through 2.31's own dynamic loader. Debian 11's libc6,
# libgcc-s1 and libstdc++6 (for the test host) are fetched once with apt-get,
# under a private configuration (the machine's sources are not touched), and
# unpacked into build/glibc-2.31. Not part of scripts/test.sh, which checks
# the symbol versions instead (tests/dist/check_dist.sh).
# Usage: scripts/check-old-glibc.sh [DIST_DIR]   (default: dist, from scripts/dist.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
dist=$(cd "${1:-dist}" && pwd)
root=$PWD/build/glibc-2.31
lib=$root/root/lib/x86_64-linux-gnu

if [ ! -x "$lib/ld-2.31.so" ]; then
  mkdir -p "$root/lists/partial" "$root/cache/archives/partial"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bullseye main" \
    >"$root/sources.list"
  apt=(-o Dir::Etc::SourceList="$root/sources.list" -o Dir::Etc::SourceParts=/dev/null
       -o Dir::State::Lists="$root/lists" -o Dir::Cache="$root/cache"
       -o Dir::State::status=/dev/null -o APT::Architectures=amd64)
  apt-get "${apt[@]}" update -qq
  (cd "$root" && apt-get "${apt[@]}" download libc6 libgcc-s1 libstdc++6 2>/dev/null)
  for deb in "$root"/*.deb; do dpkg-deb -x "$deb" "$root/root"; done
fi

on_old() { "$lib/ld-2.31.so" --library-path "$lib:$root/root/usr/lib/x86_64-linux-gnu" "$@"; }
cmake --preset bench >/dev/null
cmake --build --preset bench --target test_host
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in/sub"
seq 1 100000 >"$work/in/numbers.txt"
echo "a small file" >"$work/in/sub/small.txt"

echo "kzr --version on $("$lib/ld-2.31.so" --version | head -n1):"
on_old "$dist/linux/kzr" --version
on_old "$dist/linux/kzr" pack "$work/a.kzr" -C "$work/in" .
on_old "$dist/linux/kzr" -j 2 list "$work/a.kzr"
on_old "$dist/linux/kzr" -j 2 test "$work/a.kzr"
on_old "$dist/linux/kzr" extract "$work/a.kzr" -C "$work/out"
diff -r "$work/in" "$work/out"
on_old build/bench/tests/support/test_host --plugin "$dist/linux/kzr.wcx" extract "$work/a.kzr" \
  "$work/by-plugin"
diff -r "$work/in" "$work/by-plugin"
if on_old "$dist/linux/kzr" no-such-command 2>/dev/null; then
  echo "a usage error was not reported" >&2
  exit 1
fi
echo "glibc 2.31: kzr and kzr.wcx work"
