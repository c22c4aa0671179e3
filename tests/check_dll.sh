#!/usr/bin/env bash
# Checks a built plugin DLL: its format (KZR.wcx is 32-bit x86, KZR.wcx64
# 64-bit x86-64), its export table (module name, plain names; the first ten
# ordinals in alphabetical order, later exports after them) and that it
# imports system DLLs only.
# Usage: check_dll.sh OBJDUMP DLL [MODULE_NAME]   (default: the DLL's file name)
# OBJDUMP must read the DLL's format: the x86_64 one reads both.
set -euo pipefail
objdump=$1 dll=$2 module=${3:-$(basename "$2")}
fail() { echo "FAIL: $*" >&2; exit 1; }

case "$module" in
  KZR.wcx) format=pei-i386 magic='010b	(PE32)' ;;
  KZR.wcx64) format=pei-x86-64 magic='020b	(PE32+)' ;;
  *) fail "no such plugin module name: $module" ;;
esac
dump=$("$objdump" -p "$dll") || fail "$objdump cannot read $dll"
grep -q "file format $format\$" <<<"$dump" ||
  fail "$dll is not $format: $(grep -m1 'file format' <<<"$dump")"
grep -qx "Magic[[:space:]]*$magic" <<<"$dump" || fail "$dll is not $magic"
sed -n '/^Characteristics/,/^$/p' <<<"$dump" | grep -qx '[[:space:]]*DLL' || fail "$dll is not a DLL"

name=$(sed -n 's/^Name[[:space:]]\+[0-9a-f]\+[[:space:]]\+\(.*\)$/\1/p' <<<"$dump" | head -n1)
[ "$name" = "$module" ] || fail "module name is '$name', wants '$module'"

base=$(sed -n 's/^Ordinal Base[[:space:]]\+\([0-9]\+\)$/\1/p' <<<"$dump")
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[[[:space:]]*\([0-9]\+\)\] \(.*\)$/\1 \2/p' <<<"$dump")
[ -n "$exports" ] || fail "no exports"
all=(CanYouHandleThisFile CloseArchive ConfigurePacker GetPackerCaps OpenArchive PackFiles
     ProcessFile ReadHeader SetChangeVolProc SetProcessDataProc DeleteFiles PackSetDefaultParams
     OpenArchiveW ReadHeaderEx ReadHeaderExW ProcessFileW PackFilesW DeleteFilesW
     CanYouHandleThisFileW SetChangeVolProcW SetProcessDataProcW GetBackgroundFlags)
while read -r index export; do
  [[ "$export" =~ ^[A-Za-z]+$ ]] || fail "decorated or unexpected export '$export'"
  want=0
  for i in "${!all[@]}"; do [ "${all[$i]}" = "$export" ] && want=$((i + 1)); done
  [ "$want" -ne 0 ] || fail "unexpected export $export"
  [ $((index + base)) -eq "$want" ] || fail "$export has ordinal $((index + base)), wants $want"
done <<<"$exports"
[ "$(wc -l <<<"$exports")" -eq ${#all[@]} ] ||
  fail "$(wc -l <<<"$exports") named exports, wants all ${#all[@]}: $(echo $(cut -d' ' -f2 <<<"$exports"))"

imports=$(sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
for dll_name in $imports; do
  case "$dll_name" in
    kernel32.dll|user32.dll|msvcrt.dll|gdi32.dll|advapi32.dll|api-ms-win-crt-*.dll|ucrtbase.dll) ;;
    *) fail "imports non-system DLL $dll_name" ;;
  esac
done
echo "$module ($format): exports: $(wc -l <<<"$exports"), imports: $(echo $imports)"
