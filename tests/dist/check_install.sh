#!/usr/bin/env bash
# Checks an installed tree, as `cmake --install BUILD --prefix PREFIX` or the
# Debian package (PREFIX = the extracted package's usr/) leaves it: the files
# where the README and the man page say they are, kzr running from there, and
# the installed plugin doing a round trip through kzr --plugin.
# Usage: check_install.sh PREFIX
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(cd "$1" && pwd)
source "$here/checks.sh"

files() {
  local want="bin/kzr lib/kzr/kzr.wcx share/bash-completion/completions/kzr share/doc/kzr/README.md share/doc/kzr/copyright share/man/man1/kzr.1.gz share/zsh/vendor-completions/_kzr"
  local have
  have=$(cd "$prefix" && find . -mindepth 1 \( -type f -o -type l \) | sed 's|^\./||' | sort | tr '\n' ' ')
  [ "$have" = "$want " ] || { echo "installed: $have"; echo "wanted:    $want"; return 1; }
}
check "the installed files are exactly kzr, the plugin, the man page, the completions and the docs" files

kzr=$prefix/bin/kzr
version() {
  local got
  got=$("$kzr" --version) || return 1
  [[ $got =~ ^kzr\ [0-9]+(\.[0-9]+){1,3}$ ]] || { echo "kzr --version says '$got'"; return 1; }
}
check "kzr --version runs from the installed tree" version

round_trip() {
  mkdir -p "$work/in/sub"
  seq 1 3000 >"$work/in/numbers.txt"
  printf 'x' >"$work/in/sub/x.bin"
  "$kzr" --quiet pack "$work/a.kzr" -C "$work/in" . &&
    "$kzr" --quiet --plugin "$prefix/lib/kzr/kzr.wcx" extract "$work/a.kzr" -C "$work/out" &&
    diff -r "$work/in" "$work/out"
}
check "the installed kzr packs, and the installed plugin extracts what it packed" round_trip
check "the installed plugin exports exactly its portable names" bash "$here/../linux/check_so.sh" "$prefix/lib/kzr/kzr.wcx"

stripped() {
  local f kind
  for f in "$prefix/bin/kzr" "$prefix/lib/kzr/kzr.wcx"; do
    kind=$(file -b "$f")
    [[ $kind == *", stripped"* ]] || { echo "${f#$prefix/}: $kind"; return 1; }
  done
}
check "the installed binaries are stripped" stripped

man_page() {
  local text
  text=$(gzip -dc "$prefix/share/man/man1/kzr.1.gz" | groff -man -Tutf8 -ww 2>&1 >/dev/null) || return 1
  [ -z "$text" ] || { echo "$text"; return 1; }
  gzip -dc "$prefix/share/man/man1/kzr.1.gz" | grep -q '^\.SH COMMANDS'
}
check "the man page renders without warnings" man_page
check "the bash completion parses" bash -n "$prefix/share/bash-completion/completions/kzr"
check "the copyright file is the MIT licence" grep -q '^Copyright (c) 2026 the KZR plugin developers$' \
  "$prefix/share/doc/kzr/copyright"

finish install
