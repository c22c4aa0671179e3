#!/usr/bin/env bash
# Checks the Linux plugin's dynamic symbol table: it defines exactly the
# portable exports (no ConfigurePacker) as functions, and nothing else.
# Usage: check_so.sh [NM] kzr.wcx
set -euo pipefail
if [ $# -eq 2 ]; then nm=$1 so=$2; else nm=nm so=$1; fi
fail() { echo "FAIL: $*" >&2; exit 1; }

[ -f "$so" ] || fail "no file $so"
defined=$("$nm" -D --defined-only "$so") || fail "cannot read the dynamic symbols of $so"
want="CanYouHandleThisFile CloseArchive DeleteFiles GetPackerCaps OpenArchive PackFiles PackSetDefaultParams ProcessFile ReadHeader SetChangeVolProc SetProcessDataProc"
names=$(awk '{print $NF}' <<<"$defined" | sort | tr '\n' ' ' | sed 's/ $//')
[ "$names" = "$want" ] || fail "defined dynamic symbols are: $names"
while read -r _ type name; do
  [ "$type" = "T" ] || fail "$name has type $type, wants T (a global function)"
done <<<"$defined"
echo "dynamic symbols: $want"
