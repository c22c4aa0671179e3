#!/usr/bin/env bash
# kzr's jobs under ThreadSanitizer: packs a folder of many files, then tests
# and extracts it with four jobs at once. Any race makes ThreadSanitizer
# fail the run. Usage: scripts/jobs-under-tsan.sh KZR (a -fsanitize=thread build)
set -euo pipefail
kzr=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for i in $(seq 1 200); do
  mkdir -p "$work/src/d$((i % 7))"
  head -c $((i * 997)) /dev/urandom >"$work/src/d$((i % 7))/f$i.bin"
done
export TSAN_OPTIONS=halt_on_error=1
"$kzr" -q pack "$work/a.kzr" -C "$work/src" .
"$kzr" -q -j 4 test "$work/a.kzr"
"$kzr" -q -j 4 extract "$work/a.kzr" -C "$work/out"
diff -r "$work/src" "$work/out"
echo "kzr's jobs: no race"
