#!/usr/bin/env bash
# Checks the built DLL's export table (module name, plain names, ordinals in
# alphabetical order) and that it imports system DLLs only.
set -euo pipefail
objdump=$1 dll=$2
dump=$("$objdump" -p "$dll")
fail() { echo "FAIL: $*" >&2; exit 1; }

name=$(sed -n 's/^Name[[:space:]]\+[0-9a-f]\+[[:space:]]\+\(.*\)$/\1/p' <<<"$dump" | head -n1)
[ "$name" = "KZR.wcx" ] || [ "$name" = "KZR.wcx64" ] || fail "module name is '$name'"

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^\s*\[/{print $1,$2} t&&!/^\s*\[/{t=0}' <<<"$dump" \
  | tr -d '[]')
[ -n "$exports" ] || fail "no exports"
sorted=$(sort -k2 <<<"$exports")
[ "$exports" = "$sorted" ] || fail "exports not in alphabetical order"
all=(CanYouHandleThisFile CloseArchive ConfigurePacker GetPackerCaps OpenArchive PackFiles
     ProcessFile ReadHeader SetChangeVolProc SetProcessDataProc)
while read -r ordinal export; do
  [[ "$export" =~ ^[A-Za-z]+$ ]] || fail "decorated export '$export'"
  want=0
  for i in "${!all[@]}"; do [ "${all[$i]}" = "$export" ] && want=$((i + 1)); done
  [ "$want" -ne 0 ] || fail "unexpected export $export"
  # objdump prints ordinals relative to the ordinal base; add it back.
  base=$(sed -n 's/^Ordinal Base[[:space:]]\+\([0-9]\+\)$/\1/p' <<<"$dump")
  [ $((ordinal + base)) -eq "$want" ] || [ "$ordinal" -eq "$want" ] || fail "$export has ordinal $ordinal, wants $want"
done <<<"$exports"

imports=$(sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
for dll_name in $imports; do
  case "$dll_name" in
    kernel32.dll|user32.dll|msvcrt.dll|gdi32.dll|advapi32.dll|api-ms-win-crt-*.dll|ucrtbase.dll) ;;
    *) fail "imports non-system DLL $dll_name" ;;
  esac
done
echo "exports: $(wc -l <<<"$exports"), imports: $(echo $imports)"
