#!/usr/bin/env bash
# The main job: set up, build the plugin, and show the real KZR.wcx at work
# on a sample archive, driven under wine by a host program that loads it the
# way the file manager does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset native >/dev/null
cmake --build --preset native --target make_sample_archive
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target KZR host_list

demo=build/demo
mkdir -p "$demo"
build/native/tests/support/make_sample_archive "$demo/sample.kzr"

windows_path() { echo "Z:$(realpath "$1" | tr / '\\')"; }
wine_run=(cmake/wine-run.sh "$PWD/build/win32/wineprefix" win32)
"${wine_run[@]}" --init
echo "== listing $demo/sample.kzr through build/win32/bin/KZR.wcx under wine"
"${wine_run[@]}" build/win32/bin/host_list.exe "$(windows_path build/win32/bin/KZR.wcx)" \
  "$(windows_path "$demo/sample.kzr")"
