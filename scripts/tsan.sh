#!/usr/bin/env bash
# Builds the host tree with clang and ThreadSanitizer into build/tsan (the tsan
# preset) and runs the tests that call the library and the registry stand-in
# from several threads at once: hardening_tests (readers against a writer that
# changes the registry) and winhost_tests. Exits non-zero when ThreadSanitizer
# reports a race (or any test fails).
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source-path=SCRIPTDIR/..
source scripts/lib/build-preset.sh
require_tools tsan.sh '(bash scripts/install-deps.sh test installs it)' cmake ninja clang clang++

build=build/tsan
start=$SECONDS
build_preset tsan

# ThreadSanitizer of older clang versions cannot map its shadow memory when
# the kernel randomises mmap addresses with more bits than it expects; a run
# without address randomisation avoids that.
run=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ] && command -v setarch >/dev/null; then
  run=(setarch "$(uname -m)" -R)
fi

log_dir=$PWD/$build/reports
rm -rf "$log_dir" && mkdir -p "$log_dir"
status=0
t0=$SECONDS
# The preset's options make a race report fail its test (exitcode) even when
# the test passed; each process writes its reports to log_dir/tsan.PID.
if ! TSAN_OPTIONS="log_path=$log_dir/tsan" "${run[@]}" ctest --preset tsan -j "$(nproc)"; then
  status=1
fi
echo "== tests ran in $((SECONDS - t0)) s"

if compgen -G "$log_dir/*" >/dev/null; then
  cat "$log_dir"/*
  echo "== ThreadSanitizer reported $(grep -c '^WARNING: ThreadSanitizer' "$log_dir"/* | awk -F: '{s += $NF} END {print s}') problem(s); reports in $log_dir" >&2
  status=1
fi
if [ "$status" -eq 0 ]; then
  echo "== no race reported ($((SECONDS - start)) s in all)"
fi
exit "$status"
