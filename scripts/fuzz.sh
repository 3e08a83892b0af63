#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ in build-fuzz (clang, ASan, UBSan) and
# runs each of them, one at a time, from its seed corpus tests/fuzz-corpus/<target>.
#
#   bash scripts/fuzz.sh smoke            each target briefly (CI; under ~4 minutes in all)
#   bash scripts/fuzz.sh long [SECONDS]   each target SECONDS long (default 600), keeping
#                                         the grown corpus in build-fuzz/corpus/<target>;
#                                         FUZZ_RUNS=N also ends a target after N runs
#
# A crash, leak, UB report, time-out or broken property ends the run with a failure;
# libFuzzer leaves the input as build-fuzz/artifacts/<target>/crash-* (or leak-,
# timeout-, oom-). Prints runs, cov and ft of each target's final statistics.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-smoke}
seconds=${2:-600}
case "$mode" in
  smoke | long) ;;
  *) echo "usage: $0 smoke | long [SECONDS]" >&2; exit 2 ;;
esac

# clang with libFuzzer's runtime on top of the usual tools.
bash scripts/setup.sh clang libclang-rt-14-dev

build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSARO_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target fuzz_targets -j "$(nproc)"

targets=()
for f in fuzz/*_fuzzer.cpp; do
  targets+=("$(basename "$f" .cpp)")
done

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

summary=()
failed=0
for target in "${targets[@]}"; do
  seeds=tests/fuzz-corpus/$target
  artifacts=$build/artifacts/$target
  mkdir -p "$artifacts"
  if [ "$mode" = smoke ]; then
    # A scratch corpus: the seeds stay as they are, nothing is kept.
    corpus=$(mktemp -d)
    limits=(-max_total_time=20 -runs=200000)
  else
    corpus=$build/corpus/$target
    limits=(-max_total_time="$seconds")
    [ -n "${FUZZ_RUNS:-}" ] && limits+=(-runs="$FUZZ_RUNS")
  fi
  mkdir -p "$corpus"
  log=$build/$target.$mode.log
  echo "== $target ($mode)"
  status=0
  "$build/fuzz/$target" "${limits[@]}" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "$seeds" >"$log" 2>&1 || status=$?
  [ "$mode" = smoke ] && rm -rf "$corpus"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+.*(cov|ft):' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  if [ "$status" -ne 0 ]; then
    failed=1
    grep -E 'ERROR|FUZZ_CHECK|runtime error|Test unit written' "$log" | head -20 || true
    summary+=("$(printf '%-22s FAILED (status %d), see %s' "$target" "$status" "$log")")
  else
    summary+=("$(printf '%-22s runs %-10s cov %-6s ft %-7s time %ss' "$target" "${runs:-?}" \
      "${cov:-?}" "${ft:-?}" "${secs:-?}")")
  fi
done

echo
printf '%s\n' "${summary[@]}"
exit "$failed"
