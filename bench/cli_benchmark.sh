#!/usr/bin/env bash
# Times korvane end to end on a registry export of a whole machine's size
# (about 110 MB of UTF-16LE, as regedit writes it) and reports its peak memory.
#
#   cmake --preset host && cmake --build --preset host --target korvane make_bench_registry
#   bash bench/cli_benchmark.sh build/host
set -euo pipefail
build=${1:-build/host}
export_file=$build/bench-export.reg
"$build/bench/make_bench_registry" --pad-mb 110 --utf16 "$export_file"
size=$(stat -c %s "$export_file")
echo "export: $((size / 1000000)) MB ($size bytes)"
for run in 1 2 3; do
  /usr/bin/time -f "%e %M" -o "$build/bench-time.txt" "$build/cli/korvane" --reg "$export_file" 4B31 >/dev/null
  read -r seconds kilobytes <"$build/bench-time.txt"
  awk -v s="$seconds" -v k="$kilobytes" -v f="$size" -v r="$run" \
    'BEGIN { printf "run %d: %.2f s, peak memory %.0f MB (%.2f x the file)\n", r, s, k / 1000, k * 1024 / f }'
done
