#!/usr/bin/env bash
# Builds the host tree with clang's source-based coverage into build/coverage
# (the coverage preset), runs every host test (ctest), and prints the line,
# branch, region and function coverage of library/, then every line of
# library/*.cpp that no test ran and every branch of it that went one way only.
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in cmake ninja clang clang++ llvm-profdata llvm-cov; do
  command -v "$tool" >/dev/null || { echo "coverage.sh: $tool is missing" >&2; exit 2; }
done

build=build/coverage
# The test preset has each program write its profile here.
profiles=$build/profiles
start=$SECONDS
cmake --preset coverage >/dev/null
status=0
# -k 0: build all that can be built. A program that fails to build is named,
# the others are measured, and the script fails at the end.
if ! cmake --build --preset coverage -j "$(nproc)" -- -k 0; then
  echo "== coverage.sh: the build failed; measuring the programs that built" >&2
  status=1
fi
echo "== built in $((SECONDS - start)) s"

rm -rf "$profiles" && mkdir -p "$profiles"
t0=$SECONDS
# %m: one profile per instrumented program, which its processes merge into.
if ! ctest --preset coverage -j "$(nproc)" >"$build/ctest.log" 2>&1; then
  grep -E "tests passed|\*\*\*|Failed|Not Run" "$build/ctest.log" >&2 || true
  echo "== coverage.sh: tests failed; the figures below still count them (log: $build/ctest.log)" >&2
  status=1
fi
tail -2 "$build/ctest.log"
echo "== tests ran in $((SECONDS - t0)) s"
llvm-profdata merge -sparse "$profiles"/*.profraw -o "$build/coverage.profdata"

# Every program built with the library's code, so that each line counts
# wherever it ran.
objects=()
while IFS= read -r program; do
  if [ ${#objects[@]} -eq 0 ]; then objects+=("$program"); else objects+=(-object "$program"); fi
done < <(find "$build" -type f -executable ! -name '*.so' ! -path '*/CMakeFiles/*' | sort)
sources=(library/*.cpp library/*.h)
# llvm-cov warns of "mismatched data" for inline test helpers that one
# program never uses while another does; that says nothing about library/.
quiet() { "$@" 2> >(grep -v 'functions have mismatched data' >&2); }

echo
echo "== coverage of library/"
quiet llvm-cov report "${objects[@]}" -instr-profile "$build/coverage.profdata" "${sources[@]}"

echo
echo "== lines of library/*.cpp that no test ran, and branches taken one way only"
quiet llvm-cov export "${objects[@]}" -instr-profile "$build/coverage.profdata" -format=lcov library/*.cpp \
  | awk -v root="$PWD/" '
      /^SF:/ { file = substr($0, 4); sub(root, "", file); next }
      /^DA:/ { split(substr($0, 4), f, ","); if (f[2] == 0) uncovered[file] = uncovered[file] " " f[1]; next }
      /^BRDA:/ {
        split(substr($0, 6), f, ",")
        if (f[4] == "-" || f[4] == 0) { key = file ":" f[1]; if (!(key in seen)) { seen[key] = 1; oneway[file] = oneway[file] " " f[1] } }
        next
      }
      END {
        for (file in uncovered) print file ": lines never run:" uncovered[file]
        for (file in oneway) print file ": branches taken one way only, at lines:" oneway[file]
      }' | sort
echo
echo "== the lines themselves (count 0), and each branch with a side never taken"
quiet llvm-cov show "${objects[@]}" -instr-profile "$build/coverage.profdata" -show-line-counts \
    -show-branches=count library/*.cpp \
  | awk '
      /^\/.*:$/ { file = $0; next }
      /\|  \|  Branch/ { next }  # the same branches again, per template instantiation
      /^ *[0-9]+\|/ {
        line = $0; split($0, f, "|"); count = f[2]; gsub(/ /, "", count)
        if (count == "0") { if (file != shown) { print file; shown = file } print line; printed = line }
        next
      }
      /Branch \(/ && (/True: 0,/ || /False: 0\]/) {
        if (file != shown) { print file; shown = file }
        if (printed != line) { print line; printed = line }
        print "        " $0
      }'
echo "== $((SECONDS - start)) s in all"
exit "$status"
