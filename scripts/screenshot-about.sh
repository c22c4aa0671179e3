#!/usr/bin/env bash
# Takes a screenshot of the About box as the file manager would show it: builds
# KZR.wcx and tests/windows/show_about.cpp for 32-bit Windows, shows the box under wine
# on a virtual X server, saves it to build/about.png (cropped to the box; the
# whole screen is in build/about-screen.png), then closes it with Enter.
# For a look by eye; not part of the tests. Expects scripts/setup.sh to have run once.
set -euo pipefail
cd "$(dirname "$0")/.."

wine_run=(cmake/wine-run.sh "$PWD/build/win32/wineprefix" win32)

if [ "${1:-}" != "--on-display" ]; then
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target KZR show_about
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --on-display
fi

# From here on, on the virtual display.
"${wine_run[@]}" --init
out=build/about-show.log
rm -f build/about.png build/about-screen.png
: >"$out"  # exists before the background job opens it
"${wine_run[@]}" build/win32/bin/show_about.exe build/win32/bin/KZR.wcx >>"$out" 2>&1 &
shower=$!

box=""
for _ in $(seq 300); do
  box=$(sed -n 's/^box \(.*\)$/\1/p' "$out")
  [ -n "$box" ] && break
  kill -0 "$shower" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$box" ]; then
  echo "screenshot-about: the box did not appear" >&2
  cat "$out" >&2
  kill "$shower" 2>/dev/null || true
  exit 1
fi

read -r x y width height <<<"$box"
import -window root build/about-screen.png
convert build/about-screen.png -crop "${width}x${height}+${x}+${y}" +repage build/about.png
echo "screenshot-about: box at ${x},${y}, ${width}x${height} pixels: build/about.png"

# Close it the way a person would: Enter presses the default button, OK.
xdotool key Return
for _ in $(seq 100); do
  kill -0 "$shower" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$shower" 2>/dev/null; then
  echo "screenshot-about: Enter did not close the box" >&2
  kill "$shower" 2>/dev/null || true
  exit 1
fi
wait "$shower" || true
grep '^ConfigurePacker returned' "$out"
WINEPREFIX="$PWD/build/win32/wineprefix" wineserver -w
