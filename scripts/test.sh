#!/usr/bin/env bash
# Every test: native unit and contract tests and the Linux plugin under
# AddressSanitizer and UndefinedBehaviorSanitizer, the places where threads
# meet under ThreadSanitizer, the real Windows DLLs
# (32-bit and 64-bit) under wine, a short run of every fuzz target, a build of
# the benchmarks, the install packages, and the Linux plugin in a real Double
# Commander on a virtual display. Warnings are errors (KZR_WERROR).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
fuzz_seconds=${FUZZ_SECONDS:-15}
werror=-DKZR_WERROR=ON

echo "== native tests (ASan + UBSan)"
cmake --preset native "$werror" >/dev/null
cmake --build --preset native
ctest --preset native -j2

echo "== several threads at once (ThreadSanitizer): handles of the plugin, kzr's jobs"
cmake --preset tsan "$werror" >/dev/null
cmake --build --preset tsan --target kzr_contract_tests kzr
./build/tsan/tests/kzr_contract_tests --gtest_filter='RoundTrip.SeveralThreads*'
bash scripts/jobs-under-tsan.sh build/tsan/tools/kzr/kzr

echo "== Windows 32-bit DLL under wine"
cmake --preset win32 "$werror" >/dev/null
cmake --build --preset win32
xvfb-run -a ctest --preset win32

echo "== Windows 64-bit DLL under wine (64-bit prefix)"
cmake --preset win64 "$werror" >/dev/null
cmake --build --preset win64
xvfb-run -a ctest --preset win64

echo "== fuzz targets, ${fuzz_seconds}s each"
cmake --preset fuzz "$werror" >/dev/null
bash scripts/fuzz-smoke.sh "$fuzz_seconds"

echo "== benchmarks build"
cmake --preset bench "$werror" >/dev/null
cmake --build --preset bench

echo "== install packages (the release preset)"
cmake --preset release "$werror" >/dev/null
bash scripts/dist.sh
bash tests/dist/check_dist_test.sh dist

echo "== the Linux plugin in Double Commander"
bash scripts/dc-check.sh --no-build
