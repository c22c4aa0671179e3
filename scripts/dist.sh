#!/usr/bin/env bash
# Builds the install package and fills dist/:
#   dist/windows/KZR.wcx     the plugin for 32-bit Total Commander   (win32 preset)
#   dist/windows/KZR.wcx64   the plugin for 64-bit Total Commander   (win64 preset)
#   dist/windows/kzr.exe     the command-line tool, 32-bit           (win32 preset; when the target exists)
#   dist/linux/kzr.wcx       the plugin for Double Commander on Linux (release preset)
#   dist/linux/kzr           the command-line tool for Linux          (release preset; when the target exists)
#   dist/kzr-plugin.zip      KZR.wcx, KZR.wcx64 and pluginst.inf, for the file
#                            manager's automatic plugin installation
# The Windows and the Linux files go into folders of their own: KZR.wcx and
# kzr.wcx differ only in case and would overwrite each other on a file system
# that ignores case. Ends by checking what it made (tests/dist/check_dist.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# Whether a configured build tree has a target of this name.
has_target() { cmake --build --preset "$1" --target help | grep -qx "$2: phony"; }

# The one built file of this name under a build tree.
built_file() {
  local found
  found=$(find "$1" -type f -name "$2" -not -path '*/CMakeFiles/*')
  [ "$(wc -l <<<"$found")" -eq 1 ] && [ -n "$found" ] || {
    echo "dist: expected one $2 under $1, found: ${found:-none}" >&2
    return 1
  }
  echo "$found"
}

# Configures a preset and builds the plugin target plus the tool when there is one.
build() {
  local preset=$1 plugin=$2
  cmake --preset "$preset" >/dev/null
  local targets=("$plugin")
  if has_target "$preset" kzr; then targets+=(kzr); fi
  echo "== $preset: ${targets[*]}"
  cmake --build --preset "$preset" --target "${targets[@]}"
}

build win32 KZR
build win64 KZR
build release kzr_wcx

rm -rf dist
mkdir -p dist/windows dist/linux
cp build/win32/bin/KZR.wcx build/win64/bin/KZR.wcx64 dist/windows/
cp build/release/bin/kzr.wcx dist/linux/
if has_target win32 kzr; then
  cp "$(built_file build/win32 kzr.exe)" dist/windows/
else
  echo "dist: no kzr target yet; dist/windows/kzr.exe left out"
fi
if has_target release kzr; then
  cp "$(built_file build/release kzr)" dist/linux/
else
  echo "dist: no kzr target yet; dist/linux/kzr left out"
fi

# The zip holds the two DLLs and the install description, nothing else, at
# its top level. The description has CRLF line ends, as .inf files do.
staging=build/dist-zip
rm -rf "$staging"
mkdir -p "$staging"
cp dist/windows/KZR.wcx dist/windows/KZR.wcx64 "$staging/"
printf '%s\r\n' \
  '[plugininstall]' \
  'description=KZR archives of the game Korvanta: browse, extract and create (32-bit and 64-bit)' \
  'type=wcx' \
  'file=KZR.wcx' \
  'defaultdir=kzr' \
  'defaultextension=kzr' >"$staging/pluginst.inf"
(cd "$staging" && zip -q -X ../../dist/kzr-plugin.zip pluginst.inf KZR.wcx KZR.wcx64)

echo "== dist/"
(cd dist && find . -type f | sort | sed 's|^\./||' | while read -r f; do
  printf '  %-24s %9d bytes\n' "$f" "$(stat -c %s "$f")"
done)
bash tests/dist/check_dist.sh dist
