#!/usr/bin/env bash
# Checks what scripts/dist.sh made: the install zip for the file manager
# (exactly KZR.wcx, KZR.wcx64 and pluginst.inf; the description's section,
# keys, values and CRLF line ends; a 32-bit and a 64-bit plugin DLL), the
# plain copies beside it, and the Linux plugin.
# Usage: check_dist.sh [DIST_DIR]   (default: dist)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dist=${1:-dist}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}  # reads 32-bit and 64-bit PE files
passed=0 failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check() {
  local what=$1
  shift
  local output
  if output=$("$@" 2>&1); then
    passed=$((passed + 1))
    echo "ok - $what"
  else
    failed=$((failed + 1))
    echo "not ok - $what"
    [ -z "$output" ] || sed 's/^/    /' <<<"$output"
  fi
}

# --- the zip -----------------------------------------------------------------
zip=$dist/kzr-plugin.zip
zip_names() {
  local names
  names=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
  [ "$names" = "KZR.wcx KZR.wcx64 pluginst.inf " ] || { echo "holds: $names"; return 1; }
}
check "kzr-plugin.zip holds exactly KZR.wcx, KZR.wcx64 and pluginst.inf" zip_names
unzip -q -o "$zip" -d "$work/zip" 2>/dev/null

inf=$work/zip/pluginst.inf
inf_crlf() {
  [ -s "$inf" ] || { echo "no pluginst.inf"; return 1; }
  # Every line ends with CR LF, the last one too, and no CR stands alone.
  [ "$(tail -c 2 "$inf" | od -An -tx1 | tr -d ' ')" = "0d0a" ] || { echo "does not end with CR LF"; return 1; }
  local lines crlf crs
  lines=$(tr -cd '\n' <"$inf" | wc -c)
  crlf=$(grep -c $'\r$' "$inf")
  crs=$(tr -cd '\r' <"$inf" | wc -c)
  [ "$lines" -eq "$crlf" ] && [ "$crs" -eq "$lines" ] || {
    echo "$lines lines, $crlf end with CR LF, $crs CRs"
    return 1
  }
}
check "pluginst.inf has CRLF line ends" inf_crlf

# The description as lines without their CRs, blank lines left out.
inf_lines() { tr -d '\r' <"$inf" | sed '/^[[:space:]]*$/d'; }
inf_section() {
  local first
  first=$(inf_lines | head -n1)
  [ "$first" = "[plugininstall]" ] || { echo "first line is '$first'"; return 1; }
  [ "$(inf_lines | grep -c '^\[')" -eq 1 ] || { echo "more than one section"; return 1; }
}
check "pluginst.inf is one [plugininstall] section" inf_section

inf_keys() {
  local keys want="defaultdir defaultextension description file type "
  keys=$(inf_lines | sed -n '2,$p' | cut -d= -f1 | sort | tr '\n' ' ')
  [ "$keys" = "$want" ] || { echo "keys: $keys; wants: $want"; return 1; }
  declare -A value
  local line
  while IFS= read -r line; do value[${line%%=*}]=${line#*=}; done < <(inf_lines | sed -n '2,$p')
  local bad=0
  [ -n "${value[description]-}" ] || { echo "empty description"; bad=1; }
  [ "${value[type]-}" = wcx ] || { echo "type=${value[type]-}"; bad=1; }
  [ "${value[file]-}" = KZR.wcx ] || { echo "file=${value[file]-}"; bad=1; }
  [ "${value[defaultdir]-}" = kzr ] || { echo "defaultdir=${value[defaultdir]-}"; bad=1; }
  [ "${value[defaultextension]-}" = kzr ] || { echo "defaultextension=${value[defaultextension]-}"; bad=1; }
  return $bad
}
check "pluginst.inf: description, type=wcx, file=KZR.wcx, defaultdir=kzr, defaultextension=kzr" inf_keys

# `file` names the kind of binary; check_dll.sh checks the format, module name,
# exports and imports.
file_kind() {
  local dll=$1 pattern=$2 kind
  kind=$(file -b "$dll")
  grep -Eq "$pattern" <<<"$kind" || { echo "$dll: $kind"; return 1; }
}
check "zip: KZR.wcx is a PE32 DLL for i386" \
  file_kind "$work/zip/KZR.wcx" '^PE32 executable \(DLL\).* Intel 80386'
check "zip: KZR.wcx64 is a PE32+ DLL for x86-64" \
  file_kind "$work/zip/KZR.wcx64" '^PE32\+ executable \(DLL\).* x86-64'
check "zip: KZR.wcx exports, module name and imports" \
  bash "$here/../check_dll.sh" "$objdump" "$work/zip/KZR.wcx" KZR.wcx
check "zip: KZR.wcx64 exports, module name and imports" \
  bash "$here/../check_dll.sh" "$objdump" "$work/zip/KZR.wcx64" KZR.wcx64

# --- the plain files ---------------------------------------------------------
check "windows/KZR.wcx is the zip's KZR.wcx" cmp "$dist/windows/KZR.wcx" "$work/zip/KZR.wcx"
check "windows/KZR.wcx64 is the zip's KZR.wcx64" cmp "$dist/windows/KZR.wcx64" "$work/zip/KZR.wcx64"

so=$dist/linux/kzr.wcx
check "linux/kzr.wcx is an x86-64 ELF shared object" \
  file_kind "$so" '^ELF 64-bit LSB shared object, x86-64'
check "linux/kzr.wcx defines exactly the nine portable exports" bash "$here/../linux/check_so.sh" "$so"
so_needs() {
  local needed
  needed=$(readelf -d "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | sort | tr '\n' ' ')
  for lib in $needed; do
    case "$lib" in
      libc.so.6|libm.so.6|ld-linux-x86-64.so.2) ;;
      *) echo "needs $needed"; return 1 ;;
    esac
  done
}
check "linux/kzr.wcx needs only the C library (the C++ runtime is linked in)" so_needs

# The command-line tools, when the build had them.
if [ -e "$dist/linux/kzr" ]; then
  check "linux/kzr is an x86-64 ELF program" file_kind "$dist/linux/kzr" '^ELF 64-bit LSB (pie )?executable, x86-64'
else
  echo "skip - linux/kzr not built"
fi
if [ -e "$dist/windows/kzr.exe" ]; then
  check "windows/kzr.exe is a 32-bit console program" \
    file_kind "$dist/windows/kzr.exe" '^PE32 executable \(console\).* Intel 80386'
else
  echo "skip - windows/kzr.exe not built"
fi

nothing_else() {
  local extra
  extra=$(cd "$dist" && find . -mindepth 1 \( -type f -o -type l \) | sed 's|^\./||' | sort |
    grep -vx -e kzr-plugin.zip -e windows/KZR.wcx -e windows/KZR.wcx64 -e windows/kzr.exe \
      -e linux/kzr.wcx -e linux/kzr)
  [ -z "$extra" ] || { echo "unexpected: $(echo $extra)"; return 1; }
}
check "dist holds nothing else" nothing_else

echo "dist: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
