#!/usr/bin/env bash
# Every test: native unit and contract tests and the Linux plugin under
# AddressSanitizer and UndefinedBehaviorSanitizer, the real Windows DLLs
# (32-bit and 64-bit) under wine, a short run of every fuzz target, a build of
# the benchmarks, and the install package.
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

echo "== Windows 64-bit DLL under wine (64-bit prefix)"
cmake --preset win64 >/dev/null
cmake --build --preset win64
xvfb-run -a ctest --preset win64

echo "== fuzz targets, ${fuzz_seconds}s each"
bash scripts/fuzz-smoke.sh "$fuzz_seconds"

echo "== benchmarks build"
cmake --preset release >/dev/null
cmake --build --preset release

echo "== install package"
bash scripts/dist.sh
bash tests/dist/check_dist_test.sh dist
