#!/usr/bin/env bash
# Builds the host tree (build/host, the host preset, as scripts/test.sh does)
# and runs every host test executable, and the hive reader on every test hive,
# under Valgrind's memcheck: invalid reads
# and writes, uses of uninitialised memory, and leaks (definite and indirect)
# fail the run. Programs that a test starts (korvane, from cli_tests) run under
# memcheck too. Exits non-zero when any executable fails or memcheck reports
# an error.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source-path=SCRIPTDIR/..
source scripts/lib/build-preset.sh
require_tools memcheck.sh '' cmake ninja valgrind

build=build/host
start=$SECONDS
build_preset host

log_dir=$build/memcheck
rm -rf "$log_dir" && mkdir -p "$log_dir"

# GoogleTest prints a test parameter that has no printer as the bytes of the
# object, padding included; those bytes were never written. That is the test
# framework describing a parameter, not the code under test.
suppressions=$log_dir/gtest.supp
cat >"$suppressions" <<'EOF'
{
   gtest-prints-padding-of-test-parameters-value
   Memcheck:Value8
   ...
   fun:*PrintBytesInObjectTo*
}
{
   gtest-prints-padding-of-test-parameters-cond
   Memcheck:Cond
   ...
   fun:*PrintBytesInObjectTo*
}
{
   dynamic-loader-compares-words-past-a-short-rpath-when-iconv-loads-a-converter
   Memcheck:Addr8
   fun:strncmp
   fun:is_dst
   ...
}
EOF

mapfile -t tests < <(find "$build/tests" -name '*_tests' -type f -executable | sort)
if [ "${#tests[@]}" -eq 0 ]; then
  echo "memcheck.sh: no test executables under $build/tests" >&2
  exit 2
fi

failed=()
for test in "${tests[@]}"; do
  name=$(basename "$test")
  t0=$SECONDS
  # Every test of every executable runs: the slowest, hardening_tests with its
  # threads serialised by Valgrind, takes about 20 s.
  if valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
      --suppressions="$suppressions" \
      --trace-children=yes --trace-children-skip='/bin/*,/usr/bin/*,*/sh' \
      --log-file="$log_dir/$name.%p.log" \
      "$test" --gtest_brief=1 >"$log_dir/$name.out" 2>&1; then
    result=ok
  else
    result=FAILED
    failed+=("$name")
  fi
  printf '%-20s %-7s %4d s  %s\n' "$name" "$result" "$((SECONDS - t0))" "$(grep -E '^\[  (PASSED|FAILED)  \]' "$log_dir/$name.out" | head -1)"
done

# The hive reader on every hive of its cross-check (written by hive_test.py,
# which ctest runs): Windows-like hives with ri, li and lf lists and big data,
# and hivex's hives of every fixture.
hive_dump=$build/tests/regfile/hive_dump
hives=$log_dir/hives
mkdir -p "$hives"
/usr/bin/python3 tests/regfile/hive_test.py seeds - tests/fixtures "$hives" >/dev/null
for hive in "$hives"/*.hiv; do
  name=hive_dump-$(basename "$hive" .hiv)
  if ! valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
      --log-file="$log_dir/$name.%p.log" "$hive_dump" "$hive" >"$log_dir/$name.out" 2>&1; then
    failed+=("$name")
  fi
  tests+=("$hive_dump")
done

# Memcheck writes one log per process; an empty log is a clean process.
reports=()
for log in "$log_dir"/*.log; do
  [ -s "$log" ] && reports+=("$log")
done
for log in "${reports[@]}"; do
  echo "== $log"
  cat "$log"
done
for name in "${failed[@]}"; do
  echo "== $name output"
  cat "$log_dir/$name.out"
done

echo "== $((SECONDS - start)) s in all; ${#tests[@]} executables, ${#failed[@]} failed, ${#reports[@]} memcheck report(s)"
[ "${#failed[@]}" -eq 0 ] && [ "${#reports[@]}" -eq 0 ]
