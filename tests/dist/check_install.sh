#!/usr/bin/env bash
# Checks an installed tree, as `cmake --install BUILD --prefix PREFIX` or the
# Debian package (PREFIX = the extracted package's usr/) leaves it: the files
# where the README and the man page say they are, kzr running from there, and
# the installed plugin extracting what the installed kzr packed.
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

# The plugin driven as Double Commander drives it (its records packed):
# OpenArchive, then ReadHeader and ProcessFile (extract to a full path) per entry.
plugin_extract() {
  python3 - "$@" <<'EOF'
import ctypes, os, sys
plugin, archive, out = sys.argv[1:]
lib = ctypes.CDLL(plugin)
class Open(ctypes.Structure):
    _fields_ = [("ArcName", ctypes.c_char_p), ("OpenMode", ctypes.c_int), ("OpenResult", ctypes.c_int),
                ("Comments", ctypes.c_byte * 24)]
class Header(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("ArcName", ctypes.c_char * 260), ("FileName", ctypes.c_char * 260),
                ("Fields", ctypes.c_int * 9), ("Comments", ctypes.c_byte * 20)]
lib.OpenArchive.restype = ctypes.c_void_p
opened = Open(archive.encode(), 1)
handle, header = ctypes.c_void_p(lib.OpenArchive(ctypes.byref(opened))), Header()
if not handle:
    sys.exit(f"OpenArchive: {opened.OpenResult}")
while (read := lib.ReadHeader(handle, ctypes.byref(header))) == 0:
    target = os.path.join(out, header.FileName.decode())
    os.makedirs(os.path.dirname(target), exist_ok=True)
    if (result := lib.ProcessFile(handle, 2, None, target.encode())) != 0:
        sys.exit(f"ProcessFile {target}: {result}")
lib.CloseArchive(handle)
sys.exit(0 if read == 10 else f"ReadHeader: {read}")
EOF
}
round_trip() {
  mkdir -p "$work/in/sub"
  seq 1 3000 >"$work/in/numbers.txt"
  printf 'x' >"$work/in/sub/x.bin"
  "$kzr" --quiet pack "$work/a.kzr" -C "$work/in" . &&
    plugin_extract "$prefix/lib/kzr/kzr.wcx" "$work/a.kzr" "$work/out" &&
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
users_readme() { [[ $(head -n1 "$prefix/share/doc/kzr/README.md") == "# "* ]]; }
check "the README is the one for users (from its title on)" users_readme
check "the copyright file is the MIT licence" grep -q '^Copyright (c) 2026 the KZR plugin developers$' \
  "$prefix/share/doc/kzr/copyright"

finish install
