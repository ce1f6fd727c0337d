#!/usr/bin/env bash
# Builds the host tree with clang and ThreadSanitizer into build/tsan and runs
# the tests that call the library and the registry stand-in from several
# threads at once: hardening_tests (readers against a writer that changes the
# registry) and winhost_tests. Exits non-zero when ThreadSanitizer reports a
# race (or any test fails).
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in cmake ninja clang clang++; do
  command -v "$tool" >/dev/null || { echo "tsan.sh: $tool is missing (bash scripts/install-deps.sh installs it)" >&2; exit 2; }
done

build=build/tsan
flags="-fsanitize=thread -fno-omit-frame-pointer"
start=$SECONDS
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread \
  -DKORVANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target hardening_tests winhost_tests
echo "== built in $((SECONDS - start)) s"

# ThreadSanitizer of older clang versions cannot map its shadow memory when
# the kernel randomises mmap addresses with more bits than it expects; a run
# without address randomisation avoids that.
run=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ] && command -v setarch >/dev/null; then
  run=(setarch "$(uname -m)" -R)
fi

log_dir=$build/reports
rm -rf "$log_dir" && mkdir -p "$log_dir"
status=0
for test in "$build/tests/hardening/hardening_tests" "$build/tests/winhost_tests"; do
  name=$(basename "$test")
  echo "== $name under ThreadSanitizer"
  t0=$SECONDS
  # exitcode: a race report fails the run even when every test passed.
  if ! TSAN_OPTIONS="halt_on_error=0 exitcode=66 second_deadlock_stack=1 log_path=$log_dir/$name" \
      "${run[@]}" "$test" --gtest_brief=1; then
    status=1
  fi
  echo "   $name: $((SECONDS - t0)) s"
done

if compgen -G "$log_dir/*" >/dev/null; then
  cat "$log_dir"/*
  echo "== ThreadSanitizer reported $(grep -c '^WARNING: ThreadSanitizer' "$log_dir"/* | awk -F: '{s += $NF} END {print s}') problem(s); reports in $log_dir" >&2
  status=1
fi
if [ "$status" -eq 0 ]; then
  echo "== no race reported ($((SECONDS - start)) s in all)"
fi
exit "$status"
