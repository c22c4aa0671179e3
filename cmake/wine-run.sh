#!/usr/bin/env bash
# Runs a Windows program under wine in the build tree's own prefix.
# Usage: wine-run.sh PREFIX ARCH PROGRAM [ARGS...]
#        wine-run.sh PREFIX ARCH --init   (creates the prefix once)
set -euo pipefail
export WINEPREFIX="$1" WINEARCH="$2" WINEDEBUG=-all
shift 2
if [ "${1:-}" = "--init" ]; then
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
  fi
  wineserver -w
  exit 0
fi
exec wine "$@"
