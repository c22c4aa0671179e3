#!/usr/bin/env bash
# Builds the libFuzzer targets (the 'fuzz' preset) and runs each one for a
# short while on a scratch copy of its seed corpus. Fails when a target
# reports a finding, when a seed already crashes, or when there is no target.
#
#   scripts/fuzz-smoke.sh [seconds per target, default 15]
#
# Target fuzz_<name> is seeded from fuzz/corpus/<name>/. The repository's
# corpus is only read: whatever a run adds goes to a scratch folder that is
# removed afterwards. Crash inputs are kept in build/fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${1:-15}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz-smoke: the run time must be a whole number of seconds, not '$seconds'" >&2
  exit 2
fi

cmake --preset fuzz >/dev/null
# Build the fuzz targets by name rather than everything the preset configures:
# only they are meant to link with the fuzzing runtime.
mapfile -t targets < <(cmake --build --preset fuzz --target help |
  sed -n 's/^\(fuzz_[A-Za-z0-9_]*\): .*/\1/p' | sort -u)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz-smoke: the fuzz preset defines no fuzz_* target" >&2
  exit 1
fi
cmake --build --preset fuzz --target "${targets[@]}"

# Memory-backed storage where there is some: fuzz_edit writes, flushes and
# renames an archive in every call, several times faster there than on disk.
scratch_base=${TMPDIR:-/tmp}
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  scratch_base=/dev/shm
fi
scratch=$(mktemp -d "$scratch_base/kzr-fuzz-smoke.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failed=()
ran=0
for executable in "$root"/build/fuzz/fuzz/fuzz_*; do
  [ -f "$executable" ] && [ -x "$executable" ] || continue
  name=$(basename "$executable")
  seeds="$root/fuzz/corpus/${name#fuzz_}"
  corpus="$scratch/$name"
  findings="$root/build/fuzz/findings/$name"
  mkdir -p "$corpus" "$findings" "$scratch/tmp"
  if [ -d "$seeds" ]; then
    cp -R "$seeds"/. "$corpus"/
  else
    echo "fuzz-smoke: warning: $name has no seed corpus in fuzz/corpus/${name#fuzz_}/" >&2
  fi

  echo "== $name: ${seconds}s on $(find "$corpus" -type f | wc -l) seed(s)"
  ran=$((ran + 1))
  status=0
  # The outer limit only guards against a run that ignores its own clock.
  # Scratch files a target writes go to the scratch folder too, even when
  # a crash keeps the target from removing them.
  (cd "$scratch" && TMPDIR="$scratch/tmp" timeout --kill-after=30 $((seconds + 300)) "$executable" \
    -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" -print_final_stats=1 \
    "$corpus") >"$scratch/$name.log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done [0-9]+ runs)' \
    "$scratch/$name.log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$scratch/$name.log"
    echo "fuzz-smoke: $name FAILED (exit $status); inputs in $findings/" >&2
    failed+=("$name")
  fi
done

if [ "$ran" -eq 0 ]; then
  echo "fuzz-smoke: no fuzz_* executable in build/fuzz/fuzz/" >&2
  exit 1
fi
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz-smoke: findings in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz-smoke: $ran target(s) ran clean"
