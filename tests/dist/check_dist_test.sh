#!/usr/bin/env bash
# Makes sure tests/dist/check_dist.sh catches a broken package: copies a good
# dist/ (from scripts/dist.sh), breaks one thing in each copy, and expects the
# check to pass on the good copy and to fail on every broken one.
# Usage: check_dist_test.sh [DIST_DIR]   (default: dist)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dist=$(cd "${1:-dist}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

# A copy of dist/ whose zip is rebuilt, without folder entries, from the files
# in $1/zip after `$2...`.
variant() {
  local name=$1
  shift
  rm -rf "$work/$name"
  cp -r "$dist" "$work/$name"
  mkdir "$work/$name/zip"
  unzip -q "$dist/kzr-plugin.zip" -d "$work/$name/zip"
  (cd "$work/$name/zip" && "$@")
  rm "$work/$name/kzr-plugin.zip"
  (cd "$work/$name/zip" && zip -q -X -r -D ../kzr-plugin.zip .)
  rm -rf "$work/$name/zip"
}

expect() {
  local want=$1 name=$2 got=pass
  bash "$here/check_dist.sh" "$work/$name" >"$work/$name.log" 2>&1 || got=fail
  if [ "$got" = "$want" ]; then
    passed=$((passed + 1))
    echo "ok - $name: check says $got"
  else
    failed=$((failed + 1))
    echo "not ok - $name: check says $got, wants $want"
    sed 's/^/    /' "$work/$name.log"
  fi
}

set_key() { sed -i "s/^$1=[^\r]*/$1=$2/" pluginst.inf; }

variant good true
expect pass good
variant extra-file sh -c 'echo hello >notes.txt'
expect fail extra-file
variant no-wcx64 rm KZR.wcx64
expect fail no-wcx64
variant no-64-bit-kzr rm x64/kzr.exe
expect fail no-64-bit-kzr
variant swapped-dlls sh -c 'mv KZR.wcx t && mv KZR.wcx64 KZR.wcx && mv t KZR.wcx64'
expect fail swapped-dlls
variant in-a-folder sh -c 'mkdir kzr && mv KZR.wcx KZR.wcx64 pluginst.inf kzr/'
expect fail in-a-folder
variant lf-line-ends sed -i 's/\r$//' pluginst.inf
expect fail lf-line-ends
variant wrong-extension set_key defaultextension zip
expect fail wrong-extension
variant wrong-file set_key file KZR.wcx64
expect fail wrong-file
variant wrong-type set_key type wdx
expect fail wrong-type
variant empty-description set_key description ''
expect fail empty-description
variant no-section sed -i '/^\[plugininstall\]/d' pluginst.inf
expect fail no-section
variant missing-key sed -i '/^defaultdir=/d' pluginst.inf
expect fail missing-key

echo "dist check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
