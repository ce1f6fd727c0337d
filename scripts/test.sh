#!/usr/bin/env bash
# Builds everything and runs every test: the host tree as it ships, the host
# tree again under AddressSanitizer and UndefinedBehaviorSanitizer, and the
# Windows build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

echo "== host build and tests"
cmake -S . -B build/host -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/host -j "$jobs"
ctest --test-dir build/host -j "$jobs" --output-on-failure

echo "== host tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DKORVANE_SANITIZE=ON -DKORVANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build/asan -j "$jobs" --output-on-failure

echo "== Windows build, 32-bit: KORVANE.dll as shipped, its binary checked"
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/windows -j "$jobs"
ctest --test-dir build/windows --output-on-failure  # Wine tests skip where 32-bit code cannot run

echo "== Windows build, 64-bit: the same sources run under Wine against its registry"
cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build/win64 -j "$jobs"
KORVANE_REQUIRE_WINE=1 ctest --test-dir build/win64 --output-on-failure

echo "== fuzzing, sanitizers under threads, memcheck"
bash scripts/fuzz.sh 60
bash scripts/tsan.sh
bash scripts/memcheck.sh
