#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build/fuzz (the fuzz preset), replays each
# target's regression inputs (fuzz/regressions/TARGET, with ctest), then fuzzes
# each target for SECONDS (default 60) starting from its seeds:
#
#   reg_parser  the .reg files of tests/fixtures/ and samples/, and the seeds
#               in fuzz/corpus/reg_parser/ that are no fixture
#   hive_reader the hives of the fixtures that hivex writes, the hives
#               tests/regfile/hive_test.py writes of what hivex never does,
#               and hives with their transaction logs
#   walk        the registries make_walk_seeds writes, each checked to decode
#               and to hold the devices it was made for
#
#   bash scripts/fuzz.sh [SECONDS]
#
# Prints executions per second, total executions and corpus size per target.
# Exits non-zero when a target crashed or broke an invariant; the input that
# did it stays in build/fuzz/crashes/TARGET/ and its path is printed. Nothing
# in the repository is changed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
case "$seconds" in '' | *[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 64 ;; esac
bash scripts/install-deps.sh test

build=build/fuzz
targets=(reg_parser_fuzzer hive_reader_fuzzer walk_fuzzer)
started=$(date +%s)

echo "== build ($build)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

# The seeds of each target, gathered in the build tree.
seeds=$build/seeds
rm -rf "$seeds" && mkdir -p "$seeds/reg_parser" "$seeds/hive_reader" "$seeds/walk"
cp tests/fixtures/*.reg samples/*.reg fuzz/corpus/reg_parser/* "$seeds/reg_parser/"
# Debian's python3, which has hivex's module.
/usr/bin/python3 tests/regfile/hive_test.py seeds - tests/fixtures "$seeds/hive_reader" >/dev/null
if ! "$build/fuzz/make_walk_seeds" "$seeds/walk" >"$build/make_walk_seeds.log" 2>&1; then
  cat "$build/make_walk_seeds.log" >&2
  echo "make_walk_seeds failed: a walk seed no longer decodes to the registry it was made for" >&2
  exit 1
fi

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
  if [ -n "$unit" ]; then
    echo "!! input kept at $unit" >&2
  fi
}

echo "== regression inputs"
if ! ctest --preset fuzz; then
  failed=1
  echo "!! an input of fuzz/regressions/ breaks its target again: the output above names it" >&2
fi

for target in "${targets[@]}"; do
  name=${target%_fuzzer}
  binary="$build/fuzz/$target"
  crashes="$build/crashes/$name"
  logs="$build/logs"
  mkdir -p "$crashes" "$logs"

  echo "== $target: fuzzing for ${seconds}s"
  corpus="$build/corpus/$name"
  rm -rf "$corpus" && mkdir -p "$corpus"
  cp "$seeds/$name"/* "$corpus"/
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
