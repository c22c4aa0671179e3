# The check runner the package checks share (sourced): `check WHAT COMMAND...`
# runs the command, prints "ok - WHAT" or "not ok - WHAT" with its output
# indented, and counts; `finish NAME` prints the counts and fails if any
# check did. A scratch folder is in $work, removed on exit.
passed=0 failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check() {
  local what=$1
  shift
  local output
  if output=$("$@" 2>&1); then
    passed=$((passed + 1))
    echo "ok - $what"
  else
    failed=$((failed + 1))
    echo "not ok - $what"
    [ -z "$output" ] || sed 's/^/    /' <<<"$output"
  fi
}

finish() {
  echo "$1: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
