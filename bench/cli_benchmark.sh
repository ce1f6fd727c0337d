#!/usr/bin/env bash
# Times korvane end to end on a whole machine's registry, with its peak
# memory, each beside a reference measured in the same run, the two in turn
# round by round, and the ratio taken pair by pair:
#
#   1. a registry export of about 110 MB of UTF-16LE, as regedit writes it:
#      this build's korvane against korvane built from REFERENCE (a commit,
#      default the last one before the hive reader), which loads every key;
#   2. a SYSTEM hive of over 100 MB, padded with keys the walk does not read:
#      korvane --reg HIVE against what a user without a hive reader does,
#      hivexregedit --export of the hive alone;
#   3. the same hive as a crash leaves it, with over 10 MB of changes in its
#      log (make_bench_logs.py): korvane replaying the log against korvane
#      --no-logs on the same files, and against the hive read clean; the peak
#      memory beside a quarter of the hive and its log together.
#
#   cmake --preset host && cmake --build --preset host --target korvane make_bench_registry
#   bash bench/cli_benchmark.sh build/host [REFERENCE] [ROUNDS] [REPLAY_ROUNDS]
#
# The replay's runs take tens of milliseconds: they have REPLAY_ROUNDS rounds
# (default four times ROUNDS) for their ratio to hold still.
#
# The reference is built in BUILD_DIR/bench-reference, a worktree of it.
set -euo pipefail
build=$(cd "${1:-build/host}" && pwd)
reference=${2:-ef22057}
rounds=${3:-5}
replay_rounds=${4:-$((rounds * 4))}
here=$(cd "$(dirname "$0")" && pwd)
korvane=$build/cli/korvane

# ---- The reference korvane.
reference_dir=$build/bench-reference
if [[ ! -x $reference_dir/build/cli/korvane ]]; then
  rm -rf "$reference_dir"
  git -C "$here/.." worktree prune
  git -C "$here/.." worktree add --detach -f "$reference_dir" "$reference" >/dev/null
  cmake -S "$reference_dir" -B "$reference_dir/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCHMARKS=OFF >/dev/null
  cmake --build "$reference_dir/build" --target korvane >/dev/null
fi
reference_korvane=$reference_dir/build/cli/korvane

# measure OUT_PREFIX COMMAND...: appends "seconds kilobytes" of one run to OUT_PREFIX.times,
# the wall time to the microsecond (time's own has hundredths, too coarse for runs of tens of ms).
measure() {
  local out=$1
  shift
  local start=$EPOCHREALTIME
  /usr/bin/time -f "%M" -o "$out.last" "$@" >/dev/null 2>&1
  local end=$EPOCHREALTIME
  echo "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }') $(cat "$out.last")" >>"$out.times"
}

# compare NAME FILE_SIZE A_LABEL B_LABEL [A_TIMES B_TIMES]: prints each round, the medians, and B/A pair by pair.
compare() {
  local name=$1 size=$2 a=$3 b=$4 a_times=${5:-$build/bench-a.times} b_times=${6:-$build/bench-b.times}
  paste -d ' ' "$a_times" "$b_times" | awk -v size="$size" -v a="$a" -v b="$b" '
    function median(values, n,    sorted, i, j, t) {
      for (i = 1; i <= n; i++) sorted[i] = values[i]
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (sorted[j] < sorted[i]) { t = sorted[i]; sorted[i] = sorted[j]; sorted[j] = t }
      return n % 2 ? sorted[(n + 1) / 2] : (sorted[n / 2] + sorted[n / 2 + 1]) / 2
    }
    {
      n++; at[n] = $1; am[n] = $2; bt[n] = $3; bm[n] = $4; ratio[n] = $3 / ($1 > 0.005 ? $1 : 0.005)
      printf "  round %d: %-10s %7.3f s %7.1f MB   %-10s %7.3f s %7.1f MB   %s/%s %.2fx\n", n, a, $1, $2 / 1000, b, $3, $4 / 1000, b, a, ratio[n]
    }
    END {
      printf "  median: %s %.3f s, peak %.1f MB (%.3f x the file); %s %.3f s, peak %.1f MB (%.3f x the file)\n",
        a, median(at, n), median(am, n) / 1000, median(am, n) * 1024 / size, b, median(bt, n), median(bm, n) / 1000, median(bm, n) * 1024 / size
      printf "  time %s/%s pair by pair: median %.2fx (min %.2fx, max %.2fx)\n", b, a, median(ratio, n), min_of(ratio, n), max_of(ratio, n)
    }
    function min_of(values, n,    i, m) { m = values[1]; for (i = 2; i <= n; i++) if (values[i] < m) m = values[i]; return m }
    function max_of(values, n,    i, m) { m = values[1]; for (i = 2; i <= n; i++) if (values[i] > m) m = values[i]; return m }'
}

echo "== a registry export: this korvane against korvane at $reference"
export_file=$build/bench-export.reg
[[ -f $export_file ]] || "$build/bench/make_bench_registry" --pad-mb 110 --utf16 "$export_file"
size=$(stat -c %s "$export_file")
echo "  export: $((size / 1000000)) MB ($size bytes)"
rm -f "$build"/bench-{a,b}.times
for _ in $(seq "$rounds"); do
  measure "$build/bench-a" "$korvane" --reg "$export_file" 4B31
  measure "$build/bench-b" "$reference_korvane" --reg "$export_file" 4B31
done
compare export "$size" korvane reference

echo "== a SYSTEM hive: korvane --reg HIVE against hivexregedit --export HIVE"
hive=$build/bench-system.hiv
[[ -f $hive ]] || /usr/bin/python3 "$here/make_bench_hive.py" 80 "$hive"
size=$(stat -c %s "$hive")
echo "  hive: $((size / 1000000)) MB ($size bytes)"
rm -f "$build"/bench-{a,b}.times
for _ in $(seq "$rounds"); do
  measure "$build/bench-a" "$korvane" --reg "$hive" 4B31
  measure "$build/bench-b" hivexregedit --export "$hive" '\'
done
compare hive "$size" korvane hivex

echo "== the hive as a crash leaves it: replaying its log against --no-logs, and against the hive saved cleanly"
dirty=$build/bench-dirty
[[ -f $dirty/SYSTEM.LOG1 ]] || /usr/bin/python3 "$here/make_bench_logs.py" "$hive" 12 "$dirty"
log_size=$(stat -c %s "$dirty/SYSTEM.LOG1")
echo "  hive: $((size / 1000000)) MB, log: $((log_size / 1000000)) MB; a quarter of both: $(((size + log_size) / 4000000)) MB"
rm -f "$build"/bench-{a,b,c}.times
for _ in $(seq "$replay_rounds"); do
  measure "$build/bench-a" "$korvane" --reg "$dirty/SYSTEM" --no-logs 4B31
  measure "$build/bench-b" "$korvane" --reg "$dirty/SYSTEM" 4B31
  measure "$build/bench-c" "$korvane" --reg "$hive" 4B31
done
compare replay "$((size + log_size))" no-logs replay
compare replay "$((size + log_size))" clean replay "$build/bench-c.times" "$build/bench-b.times"
