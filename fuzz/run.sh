#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) in build/fuzz and runs each
# for a while, one after another.
#
#   fuzz/run.sh [SECONDS] [TARGET...]     SECONDS per target (default 10), all targets
#                                         when none are named
#
# Each target starts from its seeds in fuzz/corpus/<target>/ and grows a working corpus
# in build/fuzz/corpus/<target>/ that later runs go on from. An input that crashes a
# target or breaks one of its checks is kept in build/fuzz/findings/<target>/ and makes
# the script fail; a summary table (executions, coverage) and a line of what ran close
# the run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=${1:-10}
shift || true
build=$root/build/fuzz
all_targets=(fuzz_word_index fuzz_word_list fuzz_results fuzz_roster fuzz_announce
             fuzz_typestart_roster fuzz_typestart_frame fuzz_glyph fuzz_strchng
             fuzz_makenum_line fuzz_lscmd fuzz_ledger fuzz_wordlist)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")

# A clang whose libFuzzer runtime links; Debian's clang and libclang-rt-dev bring both.
probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }'
find_clang() {
  for cxx in clang++ clang++-14 clang++-15 clang++-16; do
    if command -v "$cxx" >/dev/null &&
       echo "$probe" | "$cxx" -fsanitize=fuzzer -x c++ - -o /dev/null 2>/dev/null; then
      echo "$cxx"
      return 0
    fi
  done
  return 1
}
if ! cxx=$(find_clang); then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update >/dev/null
    apt-get install -y --no-install-recommends clang libclang-rt-dev >/dev/null
  fi
  cxx=$(find_clang) || {
    echo "fuzz: needs clang with its libFuzzer runtime (Debian: clang libclang-rt-dev)" >&2
    exit 1
  }
fi

cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >/dev/null

max_len() {
  case $1 in
    fuzz_results) echo 8192 ;;  # lines beyond one read's 2047 bytes
    fuzz_ledger) echo 9000 ;;   # lines beyond the 4096 bytes a ledger line may have
    fuzz_roster | fuzz_typestart_roster) echo 6000 ;;  # more than 100 records of 52 bytes
    *) echo 4096 ;;
  esac
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
summary=()
failed=()
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  findings=$build/findings/$t
  log=$build/logs/$t.$$.log  # several runs may share build/fuzz
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  echo "fuzz: $t for ${seconds}s"
  status=0
  "$build/$t" -max_total_time="$seconds" -timeout=10 -max_len="$(max_len "$t")" \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$root/fuzz/corpus/$t" \
    >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1 || true)
  cov=$(grep -oE '^#[0-9]+.*cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1 | sed -E 's/.*cov: ([0-9]+) ft: ([0-9]+)/\1 \2/' || true)
  units=$(find "$corpus" -type f | wc -l)
  if [ $status -ne 0 ]; then
    failed+=("$t")
    echo "fuzz: $t FAILED (status $status); log $log, input kept in $findings/" >&2
    grep -E 'check failed|ERROR:|runtime error|SUMMARY' "$log" | head -n 5 >&2 || true
  fi
  summary+=("$(printf '| %-21s | %5s | %12s | %5s | %6s | %6s | %s |' "$t" "$seconds" \
    "${execs:-?}" "${cov%% *}" "${cov##* }" "$units" "$([ $status -eq 0 ] && echo ok || echo FAILED)")")
done

echo
echo "| target                | s     | executions   | cov   | ft     | corpus | result |"
echo "|-----------------------|-------|--------------|-------|--------|--------|--------|"
printf '%s\n' "${summary[@]}"
# The line `make test` puts in its summary.
echo "fuzz: ${#targets[@]} targets run for ${seconds} s each, $((${#targets[@]} - ${#failed[@]})) without findings"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi
