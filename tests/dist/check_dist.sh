#!/usr/bin/env bash
# Checks what scripts/dist.sh made: the install zip for the file manager
# (exactly KZR.wcx, KZR.wcx64, kzr.exe, x64/kzr.exe, pluginst.inf, readme.txt
# and LICENSE; the description's section, keys, values and CRLF line ends; a
# 32-bit and a 64-bit plugin DLL), the plain copies beside it, the Linux plugin and tool
# (stripped, and loading on C libraries from 2.31 on), and the Debian package.
# Usage: check_dist.sh [DIST_DIR]   (default: dist)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dist=${1:-dist}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}  # reads 32-bit and 64-bit PE files
source "$here/checks.sh"

# --- the zip -----------------------------------------------------------------
zip=$dist/kzr-plugin.zip
zip_names() {
  local names
  names=$(unzip -Z1 "$zip" | LC_ALL=C sort | tr '\n' ' ')
  [ "$names" = "KZR.wcx KZR.wcx64 LICENSE kzr.exe pluginst.inf readme.txt x64/kzr.exe " ] ||
    { echo "holds: $names"; return 1; }
}
check "kzr-plugin.zip holds exactly KZR.wcx, KZR.wcx64, kzr.exe, x64/kzr.exe, pluginst.inf, readme.txt and LICENSE" zip_names
unzip -q -o "$zip" -d "$work/zip" 2>/dev/null

# Every line ends with CR LF, the last one too, and no CR stands alone.
crlf() {
  local text=$1
  [ -s "$text" ] || { echo "no $(basename "$text")"; return 1; }
  [ "$(tail -c 2 "$text" | od -An -tx1 | tr -d ' ')" = "0d0a" ] || { echo "does not end with CR LF"; return 1; }
  local lines crlf crs
  lines=$(tr -cd '\n' <"$text" | wc -c)
  crlf=$(grep -c $'\r$' "$text")
  crs=$(tr -cd '\r' <"$text" | wc -c)
  [ "$lines" -eq "$crlf" ] && [ "$crs" -eq "$lines" ] || {
    echo "$lines lines, $crlf end with CR LF, $crs CRs"
    return 1
  }
}
inf=$work/zip/pluginst.inf
check "pluginst.inf has CRLF line ends" crlf "$inf"

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

readme=$work/zip/readme.txt
check "readme.txt has CRLF line ends" crlf "$readme"
readme_text() {
  local version bad=0 phrase
  version=$(sed -n '1s/^KZR plugin \([0-9.]*\)\r$/\1/p' "$readme")
  [ -n "$version" ] || { echo "first line: $(head -1 "$readme")"; bad=1; }
  # The limits a user meets: size, name length, timestamps, checksums, compression;
  # and the two tools beside the plugins.
  for phrase in "2 GiB" "259 characters" "no timestamps" "no checksum" "without compressing" \
    "kzr.exe" 'x64\kzr.exe'; do
    grep -qF "$phrase" "$readme" || { echo "says nothing with '$phrase'"; bad=1; }
  done
  return $bad
}
check "readme.txt names the version, the limits and both kzr.exe" readme_text
check "LICENSE is the MIT licence" grep -q $'^Copyright (c) 2026 the KZR plugin developers\r$' "$work/zip/LICENSE"

# --- the plain files ---------------------------------------------------------
check "windows/KZR.wcx is the zip's KZR.wcx" cmp "$dist/windows/KZR.wcx" "$work/zip/KZR.wcx"
check "windows/KZR.wcx64 is the zip's KZR.wcx64" cmp "$dist/windows/KZR.wcx64" "$work/zip/KZR.wcx64"
check "windows/kzr.exe is the zip's kzr.exe" cmp "$dist/windows/kzr.exe" "$work/zip/kzr.exe"
check "windows/x64/kzr.exe is the zip's x64/kzr.exe" cmp "$dist/windows/x64/kzr.exe" "$work/zip/x64/kzr.exe"

so=$dist/linux/kzr.wcx
check "linux/kzr.wcx is an x86-64 ELF shared object" \
  file_kind "$so" '^ELF 64-bit LSB shared object, x86-64'
check "linux/kzr.wcx defines exactly the portable exports" bash "$here/../linux/check_so.sh" "$so"
# Shared libraries of the C library (before 2.34 threads and module loading
# had libraries of their own) and the unwinder, nothing else.
only_c_library() {
  local needed
  needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | sort | tr '\n' ' ')
  for lib in $needed; do
    case "$lib" in
      libc.so.6|libm.so.6|libpthread.so.0|libdl.so.2|ld-linux-x86-64.so.2|libgcc_s.so.1) ;;
      *) echo "needs $needed"; return 1 ;;
    esac
  done
}
check "linux/kzr.wcx needs only the C library and libgcc_s (the C++ runtime is linked in)" only_c_library "$so"

check "linux/kzr is an x86-64 ELF program" file_kind "$dist/linux/kzr" '^ELF 64-bit LSB (pie )?executable, x86-64'
check "linux/kzr needs only the C library and libgcc_s" only_c_library "$dist/linux/kzr"
check "windows/kzr.exe is a 32-bit console program" \
  file_kind "$dist/windows/kzr.exe" '^PE32 executable \(console\).* Intel 80386'
check "windows/x64/kzr.exe is a 64-bit console program" \
  file_kind "$dist/windows/x64/kzr.exe" '^PE32\+ executable \(console\).* x86-64'
check "windows/kzr.exe imports system DLLs only" \
  bash "$here/../cli/check_imports.sh" "$objdump" "$dist/windows/kzr.exe"
check "windows/x64/kzr.exe imports system DLLs only" \
  bash "$here/../cli/check_imports.sh" "$objdump" "$dist/windows/x64/kzr.exe"

# --- stripped, and the C library they need -----------------------------------
pe_stripped() {
  local symbols
  symbols=$("$objdump" -t "$1" | sed -n '/^SYMBOL TABLE:/,$p' | sed 1d | grep -v '^$')
  [ "$symbols" = "no symbols" ] || { echo "$1 has a symbol table"; return 1; }
  ! "$objdump" -h "$1" | grep -q ' \.debug' || { echo "$1 has debug sections"; return 1; }
}
elf_stripped() {
  local kind
  kind=$(file -b "$1")
  [[ $kind == *", stripped"* ]] || { echo "$1: $kind"; return 1; }
}
for f in windows/KZR.wcx windows/KZR.wcx64 windows/kzr.exe windows/x64/kzr.exe; do
  check "$f is stripped" pe_stripped "$dist/$f"
done
for f in linux/kzr.wcx linux/kzr; do
  check "$f is stripped" elf_stripped "$dist/$f"
done

# The newest C library symbol version a binary asks for must be one that 2.31
# already had: the oldest C library the Linux files are meant to load on.
oldest_glibc=2.31
glibc_needed() {
  local newest
  newest=$(objdump -T "$1" | grep -o 'GLIBC_[0-9][0-9.]*' | sed 's/^GLIBC_//' | sort -uV | tail -n1)
  echo "$1 needs glibc $newest"
  [ -n "$newest" ] || return 1
  [ "$(printf '%s\n' "$newest" "$oldest_glibc" | sort -V | tail -n1)" = "$oldest_glibc" ] || {
    objdump -T "$1" | grep -E "GLIBC_$newest( |\))" | sed 's/^/    /'
    return 1
  }
}
for f in linux/kzr.wcx linux/kzr; do
  check "$f loads on glibc $oldest_glibc" glibc_needed "$dist/$f"
  echo "# $(glibc_needed "$dist/$f" | head -n1)"
done
no_cxx_runtime() {
  ! objdump -T "$1" | grep -E 'GLIBCXX_|CXXABI_' || { echo "$1 asks for the shared C++ runtime"; return 1; }
}
for f in linux/kzr.wcx linux/kzr; do
  check "$f carries its C++ runtime" no_cxx_runtime "$dist/$f"
done

# --- the Debian package ------------------------------------------------------
debs=("$dist"/linux/kzr_*_amd64.deb)
deb=${debs[0]}
one_deb() { [ ${#debs[@]} -eq 1 ] && [ -f "$deb" ] || { echo "found: ${debs[*]}"; return 1; }; }
check "linux/ holds one kzr_VERSION_amd64.deb" one_deb
deb_fields() {
  local bad=0 version depends
  [ "$(dpkg-deb -f "$deb" Package)" = kzr ] || { echo "Package: $(dpkg-deb -f "$deb" Package)"; bad=1; }
  [ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || { echo "Architecture: $(dpkg-deb -f "$deb" Architecture)"; bad=1; }
  version=$(dpkg-deb -f "$deb" Version)
  [ "$(basename "$deb")" = "kzr_${version}_amd64.deb" ] || { echo "Version $version, file $(basename "$deb")"; bad=1; }
  depends=$(dpkg-deb -f "$deb" Depends)
  [[ $depends =~ libc6\ \(\>=\ ([0-9.]+)\) ]] || { echo "Depends: $depends"; return 1; }
  [ "$(printf '%s\n' "${BASH_REMATCH[1]}" "$oldest_glibc" | sort -V | tail -n1)" = "$oldest_glibc" ] ||
    { echo "Depends: $depends"; bad=1; }
  return $bad
}
check "the package is kzr for amd64, named by its version, asking for libc6 2.31 at most" deb_fields
dpkg-deb -x "$deb" "$work/deb" 2>/dev/null
check "the package's files install, and kzr and the plugin work from them" \
  bash "$here/check_install.sh" "$work/deb/usr"
check "the package's kzr is linux/kzr" cmp "$work/deb/usr/bin/kzr" "$dist/linux/kzr"
check "the package's plugin is linux/kzr.wcx" cmp "$work/deb/usr/lib/kzr/kzr.wcx" "$dist/linux/kzr.wcx"
deb_version() {
  [ "$("$work/deb/usr/bin/kzr" --version)" = "kzr $(dpkg-deb -f "$deb" Version)" ] ||
    { echo "kzr --version $("$work/deb/usr/bin/kzr" --version), package $(dpkg-deb -f "$deb" Version)"; return 1; }
}
check "the package's version is kzr --version" deb_version

nothing_else() {
  local extra
  extra=$(cd "$dist" && find . -mindepth 1 \( -type f -o -type l \) | sed 's|^\./||' | sort |
    grep -vx -e kzr-plugin.zip -e windows/KZR.wcx -e windows/KZR.wcx64 -e windows/kzr.exe \
      -e windows/x64/kzr.exe -e linux/kzr.wcx -e linux/kzr -e 'linux/kzr_[0-9.]*_amd64\.deb')
  [ -z "$extra" ] || { echo "unexpected: $(echo $extra)"; return 1; }
}
check "dist holds nothing else" nothing_else

finish dist
