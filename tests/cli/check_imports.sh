#!/usr/bin/env bash
# Checks that a Windows program imports system DLLs only.
set -euo pipefail
objdump=$1 program=$2
imports=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p' |
  tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "FAIL: no imports found in $program" >&2; exit 1; }
for dll in $imports; do
  case "$dll" in
    kernel32.dll|user32.dll|msvcrt.dll|advapi32.dll|api-ms-win-crt-*.dll|ucrtbase.dll) ;;
    *) echo "FAIL: $program imports non-system DLL $dll" >&2; exit 1 ;;
  esac
done
echo "imports: $(echo $imports)"
