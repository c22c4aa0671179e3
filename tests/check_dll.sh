#!/usr/bin/env bash
# Checks the built DLL's export table (module name, plain names, ordinals in
# alphabetical order) and that it imports system DLLs only.
set -euo pipefail
objdump=$1 dll=$2
dump=$("$objdump" -p "$dll")
fail() { echo "FAIL: $*" >&2; exit 1; }

name=$(sed -n 's/^Name[[:space:]]\+[0-9a-f]\+[[:space:]]\+\(.*\)$/\1/p' <<<"$dump" | head -n1)
[ "$name" = "KZR.wcx" ] || [ "$name" = "KZR.wcx64" ] || fail "module name is '$name'"

base=$(sed -n 's/^Ordinal Base[[:space:]]\+\([0-9]\+\)$/\1/p' <<<"$dump")
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[[[:space:]]*\([0-9]\+\)\] \(.*\)$/\1 \2/p' <<<"$dump")
[ -n "$exports" ] || fail "no exports"
all=(CanYouHandleThisFile CloseArchive ConfigurePacker GetPackerCaps OpenArchive PackFiles
     ProcessFile ReadHeader SetChangeVolProc SetProcessDataProc)
while read -r index export; do
  [[ "$export" =~ ^[A-Za-z]+$ ]] || fail "decorated or unexpected export '$export'"
  want=0
  for i in "${!all[@]}"; do [ "${all[$i]}" = "$export" ] && want=$((i + 1)); done
  [ "$want" -ne 0 ] || fail "unexpected export $export"
  [ $((index + base)) -eq "$want" ] || fail "$export has ordinal $((index + base)), wants $want"
done <<<"$exports"

imports=$(sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
for dll_name in $imports; do
  case "$dll_name" in
    kernel32.dll|user32.dll|msvcrt.dll|gdi32.dll|advapi32.dll|api-ms-win-crt-*.dll|ucrtbase.dll) ;;
    *) fail "imports non-system DLL $dll_name" ;;
  esac
done
echo "exports: $(wc -l <<<"$exports"), imports: $(echo $imports)"
