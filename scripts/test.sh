#!/usr/bin/env bash
# Every test: native unit and contract tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the real Windows DLL under wine, a short run of
# every fuzz target, and a build of the benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
fuzz_seconds=${FUZZ_SECONDS:-15}

echo "== native tests (ASan + UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -j2

echo "== Windows 32-bit DLL under wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32
xvfb-run -a ctest --preset win32

echo "== fuzz targets, ${fuzz_seconds}s each"
bash scripts/fuzz-smoke.sh "$fuzz_seconds"

echo "== benchmarks build"
cmake --preset release >/dev/null
cmake --build --preset release
