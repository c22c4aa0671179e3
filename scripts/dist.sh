#!/usr/bin/env bash
# Builds the install packages and fills dist/ with stripped binaries:
#   dist/kzr-plugin.zip         KZR.wcx, KZR.wcx64, kzr.exe, x64/kzr.exe, pluginst.inf,
#                               readme.txt and LICENSE: for Total Commander's plugin
#                               installation, with both command-line tools
#   dist/windows/KZR.wcx        the plugin for 32-bit Total Commander   (win32 preset)
#   dist/windows/KZR.wcx64      the plugin for 64-bit Total Commander   (win64 preset)
#   dist/windows/kzr.exe        the command-line tool, 32-bit           (win32 preset)
#   dist/windows/x64/kzr.exe    the command-line tool, 64-bit           (win64 preset)
#   dist/linux/kzr.wcx          the plugin for Double Commander on Linux (release preset)
#   dist/linux/kzr              the command-line tool for Linux          (release preset)
#   dist/linux/kzr_VERSION_amd64.deb   both, the man page, shell completion and the
#                                      README without its note for developers (CPack)
# The Windows and the Linux files go into folders of their own: KZR.wcx and
# kzr.wcx differ only in case and would overwrite each other on a file system
# that ignores case. The Linux files are the ones `cmake --install --strip`
# puts in place, and that install is checked first (tests/dist/check_install.sh);
# the end is a check of all of dist/ (tests/dist/check_dist.sh).
# Run scripts/setup.sh (or the README's two commands) once before.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

for preset in win32 win64; do
  echo "== $preset: KZR kzr"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target KZR kzr
done
echo "== release"
cmake --preset release >/dev/null
cmake --build --preset release

echo "== cmake --install (stripped) into build/dist-root"
stage=$repo/build/dist-root
rm -rf "$stage"
cmake --install build/release --prefix "$stage" --strip >/dev/null
bash tests/dist/check_install.sh "$stage"

echo "== Debian package"
rm -rf build/release/package
cpack --preset release >/dev/null
deb=$(find build/release/package -maxdepth 1 -name 'kzr_*_amd64.deb')
[ -n "$deb" ] || { echo "dist: cpack made no kzr_*_amd64.deb" >&2; exit 1; }

rm -rf dist
mkdir -p dist/windows/x64 dist/linux
# A stripped copy of each binary, made with its own toolchain's strip.
ship() {
  local strip=$1 from=$2 to=$3
  "$strip" -o "$to" "$from"
  printf '  %-26s %8d -> %8d bytes\n' "${to#dist/}" "$(stat -c %s "$from")" "$(stat -c %s "$to")"
}
echo "== dist/ (before and after stripping)"
ship i686-w64-mingw32-strip build/win32/bin/KZR.wcx dist/windows/KZR.wcx
ship x86_64-w64-mingw32-strip build/win64/bin/KZR.wcx64 dist/windows/KZR.wcx64
ship i686-w64-mingw32-strip build/win32/bin/kzr.exe dist/windows/kzr.exe
ship x86_64-w64-mingw32-strip build/win64/bin/kzr.exe dist/windows/x64/kzr.exe
ship strip build/release/bin/kzr.wcx dist/linux/kzr.wcx
ship strip build/release/tools/kzr/kzr dist/linux/kzr
cp "$deb" dist/linux/
# What strip made must be what the install made.
cmp dist/linux/kzr "$stage/bin/kzr"
cmp dist/linux/kzr.wcx "$stage/lib/kzr/kzr.wcx"

# The zip holds the two DLLs, the install description, a short readme and
# the licence at its top level, and the two kzr.exe (the 64-bit one in x64/),
# nothing else. Text files have CRLF line ends, as .inf files do and Windows
# editors expect.
version=$("$stage/bin/kzr" --version)
version=${version#kzr }
staging=build/dist-zip
rm -rf "$staging"
mkdir -p "$staging/x64"
cp dist/windows/KZR.wcx dist/windows/KZR.wcx64 dist/windows/kzr.exe "$staging/"
cp dist/windows/x64/kzr.exe "$staging/x64/"
printf '%s\r\n' \
  '[plugininstall]' \
  'description=KZR archives of the game Korvanta: browse, extract and create (32-bit and 64-bit)' \
  'type=wcx' \
  'file=KZR.wcx' \
  'defaultdir=kzr' \
  'defaultextension=kzr' >"$staging/pluginst.inf"
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' packaging/readme.txt >"$staging/readme.txt"
sed -e 's/$/\r/' LICENSE >"$staging/LICENSE"
(cd "$staging" && zip -q -X ../../dist/kzr-plugin.zip pluginst.inf KZR.wcx KZR.wcx64 kzr.exe x64/kzr.exe \
  readme.txt LICENSE)

(cd dist && find . -type f | sort | sed 's|^\./||' | while read -r f; do
  printf '  %-34s %9d bytes\n' "$f" "$(stat -c %s "$f")"
done)
bash tests/dist/check_dist.sh dist
