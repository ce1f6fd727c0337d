#!/usr/bin/env bash
# Builds everything and runs every test: the host tree as it ships, the host
# tree again under AddressSanitizer and UndefinedBehaviorSanitizer, the
# Windows builds under Wine, then fuzzing, ThreadSanitizer and memcheck. Each
# build is a preset of CMakePresets.json, in build/PRESET.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
jobs=$(nproc)

echo "== host build and tests"
cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs"
ctest --preset host -j "$jobs"

echo "== host tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

echo "== Windows build, 32-bit: KORVANE.dll as shipped, its binary checked"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
# Its Wine tests run, and must pass, where this machine runs 32-bit code
# (natively, or under the qemu-user emulation that install-deps.sh sets up)
# and 32-bit Wine is installed; elsewhere they are skipped, for the reason
# printed here.
require_wine32=0
if route=$(source tests/wine_harness/wine.sh && wine_route win32 2>&1) &&
  why=$(source tests/wine_harness/wine.sh && wine_available win32 2>&1); then
  echo "== 32-bit code runs $route: the 32-bit Wine tests run and must pass"
  require_wine32=1
  KORVANE_REQUIRE_WINE=1 ctest --preset win32
else
  why=${why:-$route}
  echo "== 32-bit Wine tests skipped: ${why#wine.sh: }"
  ctest --preset win32
fi

echo "== Windows build, 64-bit: the same sources run under Wine against its registry"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
ctest --preset win64

echo "== the NuGet package and the Python wheels, from the two zips, proven as users get them"
bash scripts/language-packages.sh
source scripts/lib/build-version.sh
KORVANE_REQUIRE_WINE=$require_wine32 bash tests/package/nuget/check_nuget.sh "$(build_version win32)" build/packages
/usr/bin/python3 tests/package/check_wheels.py build/packages "$(build_version win32)" build/host build/wheel-proof

echo "== fuzzing, sanitizers under threads, memcheck"
bash scripts/fuzz.sh 60
bash scripts/tsan.sh
bash scripts/memcheck.sh
