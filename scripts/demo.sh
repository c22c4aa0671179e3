#!/usr/bin/env bash
# The main job: set up, build, and show the tool and the plugin at work. A
# sample game folder is packed with the kzr tool, listed, tested, extracted
# and compared byte for byte: natively, then with kzr.exe under wine; then the
# real 32-bit KZR.wcx, driven by the test host under wine as Total Commander
# drives it, extracts the archive. Last, the install packages are built.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "== building"
cmake --preset release >/dev/null
cmake --build --preset release --target kzr kzr_wcx >/dev/null
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target KZR kzr test_host >/dev/null

demo=build/demo
rm -rf "$demo"
mkdir -p "$demo/game/ini/dat" "$demo/game/textures" "$demo/game/maps"
printf 'A sample game folder for the KZR plugin.\n' >"$demo/game/readme.txt"
printf '[scout]\nspeed=12\nsight=9\n[knight]\nspeed=7\narmour=30\n' >"$demo/game/ini/dat/units.ini"
head -c 65536 /dev/urandom >"$demo/game/textures/crate.raw"
seq 1 20000 >"$demo/game/maps/heights.txt"
: >"$demo/game/maps/empty.dat"

kzr=build/release/tools/kzr/kzr
echo
echo "== natively: $kzr"
"$kzr" pack "$demo/native.kzr" -C "$demo/game" .
"$kzr" list "$demo/native.kzr"
"$kzr" test "$demo/native.kzr"
"$kzr" extract "$demo/native.kzr" -C "$demo/native-out"
diff -r "$demo/game" "$demo/native-out" && echo "extracted files are identical to the sources"

echo
echo "== under wine: kzr.exe"
wine_run=(cmake/wine-run.sh "$PWD/build/win32/wineprefix" win32)
"${wine_run[@]}" --init
kzr_exe=("${wine_run[@]}" build/win32/bin/kzr.exe)
"${kzr_exe[@]}" pack "$demo/wine.kzr" -C "$demo/game" .
"${kzr_exe[@]}" list "$demo/wine.kzr"
"${kzr_exe[@]}" test "$demo/wine.kzr"
"${kzr_exe[@]}" extract "$demo/wine.kzr" -C "$demo/wine-out"
diff -r "$demo/game" "$demo/wine-out" && echo "extracted files are identical to the sources"
cmp "$demo/native.kzr" "$demo/wine.kzr" && echo "the Linux and Windows builds wrote the same archive"

echo
echo "== under wine: the real 32-bit KZR.wcx, driven through its exports by the test host"
"${wine_run[@]}" build/win32/bin/test_host.exe --plugin build/win32/bin/KZR.wcx \
  extract "$demo/native.kzr" "$demo/dll-out"
diff -r "$demo/game" "$demo/dll-out" && echo "the DLL extracted files identical to the sources"

echo
echo "== install packages"
bash scripts/dist.sh >/dev/null
ls -l dist/kzr-plugin.zip dist/linux/kzr_*_amd64.deb
echo "Open dist/kzr-plugin.zip in Total Commander to install the plugin (32- and 64-bit, with kzr.exe);"
echo "on Debian or Ubuntu: sudo apt install ./$(ls dist/linux/kzr_*_amd64.deb)"
