#!/usr/bin/env bash
# One stage of `make test` (or `make check`), and the summary that closes it. A stage
# builds what it needs with the build's output kept in build/logs/ and shown only when
# the build fails, runs with its own output on the screen (and in build/logs/), and
# records one line for the summary in build/summary/<stage>, passed or not; its status
# is the stage's. A stage that ran no test has failed.
#
#   tools/make_test/stage.sh plain|asan      build the preset, run its tests
#   tools/make_test/stage.sh fuzz            a short run of every fuzz target
#   tools/make_test/stage.sh soak            a short soak run, without SIGKILL
#   tools/make_test/stage.sh summary TITLE STAGE...
#
# From the environment: JOBS (build and test jobs), CTEST_ARGS (more ctest options, e.g.
# "-R bigclock"), FUZZ_SMOKE_SECONDS (per target, default 10), SOAK_SMOKE_SECONDS
# (default 30).
set -uo pipefail
cd "$(dirname "$0")/../.."

jobs=${JOBS:-$(nproc)}
logs=build/logs
summary=build/summary
mkdir -p "$logs" "$summary"

record() {
  printf '%-6s %s\n' "$1" "$2" >"$summary/$1"
}

# A run that is not ctest's passed when it ended with 0 and printed its closing line;
# that line (or what is known of it) is the stage's. The status is the stage's.
record_run() {
  local stage=$1 status=$2 line=$3 log=$4
  if [ "$status" -eq 0 ] && [ -n "$line" ]; then
    record "$stage" "$line"
    return 0
  fi
  [ "$status" -ne 0 ] || status=1
  record "$stage" "FAILED: ${line:+$line; }status $status (log: $log)"
  return "$status"
}

# The preset's configure and build, quiet unless they fail.
build_preset() {
  local stage=$1 preset=$2 log=$logs/$1-build.log
  shift 2
  echo "== $stage: building build/$preset (log: $log)"
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j "$jobs" "$@"; } >"$log" 2>&1; then
    cat "$log"
    record "$stage" "FAILED: the build failed (log: $log)"
    return 1
  fi
}

# Why ctest ran nothing: a filter that matched nothing, or a build without tests.
no_test_reason() {
  if ctest --preset "$1" -N 2>/dev/null | grep -q '^Total Tests: [1-9]'; then
    echo "none matched CTEST_ARGS=${CTEST_ARGS:-}"
  else
    echo "build/$1 has no tests: GoogleTest was not found when it was configured" \
      "(Debian: libgtest-dev), or BBS_TESTS is OFF"
  fi
}

ctest_stage() {
  local stage=$1 preset=$2 log=$logs/$1-tests.log status counts
  build_preset "$stage" "$preset" || return 1
  echo "== $stage: tests"
  # Each test's result on the screen, not its start too; all of it in the log.
  # shellcheck disable=SC2086  # CTEST_ARGS is a list of options
  ctest --preset "$preset" -j "$jobs" ${CTEST_ARGS:-} 2>&1 | tee "$log" |
    grep --line-buffered -v '^ *Start  *[0-9]*: '
  status=${PIPESTATUS[0]}
  # "100% tests passed, 0 tests failed out of 245": failed, then the total.
  counts=$(sed -nE 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1 \2/p' "$log" | tail -n 1)
  if [ -z "$counts" ]; then
    [ $status -ne 0 ] || status=1
    if grep -q 'No tests were found' "$log"; then
      record "$stage" "FAILED: no test ran, $(no_test_reason "$preset")"
    else
      record "$stage" "FAILED: ctest ended with status $status (log: $log)"
    fi
    return $status
  fi
  local failed=${counts% *} total=${counts#* }
  if [ $status -eq 0 ] && [ "$failed" -eq 0 ]; then
    record "$stage" "$total/$total tests passed"
  else
    [ $status -ne 0 ] || status=1
    record "$stage" "FAILED: $((total - failed))/$total tests passed, $failed failed (log: $log)"
  fi
  return $status
}

fuzz_stage() {
  local log=$logs/fuzz.log status line
  echo "== fuzz: every target for ${FUZZ_SMOKE_SECONDS:-10} s"
  bash fuzz/run.sh "${FUZZ_SMOKE_SECONDS:-10}" 2>&1 | tee "$log"
  status=$?
  line=$(sed -n 's/^fuzz: \(.* targets run .*\)/\1/p' "$log" | tail -n 1)
  record_run fuzz "$status" "$line" "$log"
}

soak_stage() {
  local log=$logs/soak.log seconds=${SOAK_SMOKE_SECONDS:-30} status line
  build_preset soak default || return 1
  echo "== soak: every room racing for $seconds s"
  SOAK_SECONDS=$seconds SOAK_SIGKILL=0 ./build/default/tools/soak/soak 2>&1 | tee "$log"
  status=$?
  line=$(sed -n 's/^soak: //p' "$log" | tail -n 1)
  record_run soak "$status" "${line:+$line (new rounds for $seconds s)}" "$log"
}

# One line per stage, then what failed, if anything; fails when a stage did.
print_summary() {
  local title=$1 stage line failed=()
  shift
  echo
  echo "== $title"
  for stage in "$@"; do
    line=$(cat "$summary/$stage" 2>/dev/null) ||
      line=$(printf '%-6s %s' "$stage" "FAILED: recorded nothing (stopped before its end?)")
    echo "$line"
    case $line in *" FAILED: "*) failed+=("$stage") ;; esac
  done
  if [ ${#failed[@]} -gt 0 ]; then
    echo "FAILED: ${failed[*]}"
    return 1
  fi
  if [ $# -eq 1 ]; then echo "passed"; else echo "all $# stages passed"; fi
}

case ${1:-} in
  plain) ctest_stage plain default ;;
  asan) ctest_stage asan asan ;;
  fuzz) fuzz_stage ;;
  soak) soak_stage ;;
  summary)
    shift
    print_summary "$@"
    ;;
  *)
    echo "Usage: $0 plain|asan|fuzz|soak | summary TITLE STAGE..." >&2
    exit 2
    ;;
esac
