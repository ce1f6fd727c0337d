#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build/fuzz, replays each target's regression
# inputs (fuzz/regressions/TARGET), then fuzzes each target for SECONDS
# (default 60) starting from a copy of its seed corpus (fuzz/corpus/TARGET).
#
#   bash scripts/fuzz.sh [SECONDS]
#
# Prints executions per second, total executions and corpus size per target.
# Exits non-zero when a target crashed or broke an invariant; the input that
# did it stays in build/fuzz/crashes/TARGET/ and its path is printed. The
# repository's corpus is never changed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
case "$seconds" in '' | *[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 64 ;; esac
bash scripts/install-deps.sh

build=build/fuzz
targets=(reg_parser_fuzzer walk_fuzzer)
started=$(date +%s)

echo "== build ($build)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DKORVANE_FUZZ=ON -DKORVANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" make_walk_seeds

# The walk seeds are written by a program; they must still decode to the
# registries they were made for.
seeds_now="$build/seeds/walk"
rm -rf "$seeds_now" && mkdir -p "$seeds_now"
"$build/fuzz/make_walk_seeds" "$seeds_now" >/dev/null
for seed in "$seeds_now"/*; do
  if ! cmp -s "$seed" "fuzz/corpus/walk/$(basename "$seed")"; then
    echo "fuzz/corpus/walk is out of date: run $build/fuzz/make_walk_seeds fuzz/corpus/walk" >&2
    exit 1
  fi
done

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fuzzer_flags=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
failed=0

# Reports a crash of target whose libFuzzer output is in log; sets failed.
report_crash() {
  local target=$1 log=$2
  failed=1
  echo "!! $target crashed; its output: $log" >&2
  grep -E 'invariant broken|ERROR: |runtime error|SUMMARY' "$log" | head -n 5 >&2 || true
  local unit
  unit=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
  # A replayed input is not written again: it is the last one started.
  [ -n "$unit" ] || unit=$(sed -n 's/^Running: \(.*\)$/\1/p' "$log" | tail -n 1)
  if [ -n "$unit" ]; then
    echo "!! input kept at $unit" >&2
  fi
}

for target in "${targets[@]}"; do
  name=${target%_fuzzer}
  binary="$build/fuzz/$target"
  crashes="$build/crashes/$name"
  logs="$build/logs"
  mkdir -p "$crashes" "$logs"

  regressions=(fuzz/regressions/"$name"/*)
  if [ -e "${regressions[0]}" ]; then
    echo "== $target: ${#regressions[@]} regression inputs"
    log="$logs/$name.regressions.log"
    if ! "$binary" "${fuzzer_flags[@]}" -artifact_prefix="$crashes/" "${regressions[@]}" >"$log" 2>&1; then
      report_crash "$target" "$log"
      continue
    fi
  fi

  echo "== $target: fuzzing for ${seconds}s"
  corpus="$build/corpus/$name"
  rm -rf "$corpus" && mkdir -p "$corpus"
  cp fuzz/corpus/"$name"/* "$corpus"/
  log="$logs/$name.log"
  if ! "$binary" "${fuzzer_flags[@]}" -max_total_time="$seconds" -artifact_prefix="$crashes/" "$corpus" >"$log" 2>&1; then
    report_crash "$target" "$log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  files=$(find "$corpus" -type f | wc -l)
  bytes=$(find "$corpus" -type f -exec cat {} + | wc -c)
  printf '%s: %s executions, %s exec/s, corpus %s inputs (%s bytes)\n' \
    "$target" "${runs:-?}" "${rate:-?}" "$files" "$bytes"
done

echo "== wall time: $(($(date +%s) - started))s"
exit "$failed"
