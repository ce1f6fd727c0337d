#!/usr/bin/env bash
# Times EnumPrinterInfoA of KORVANE.dll under Wine on the large generated
# registry (the one walk_benchmark walks on the host), against a bare replay
# of the same registry calls, and prints the figures.
#
#   cmake -S . -B build/host -G Ninja -DCMAKE_BUILD_TYPE=Release
#   cmake --build build/host --target make_bench_registry
#   cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
#   cmake --build build/win64 --target dll_benchmark regprep
#   bash bench/run_wine_benchmark.sh build/host build/win64
#
# BUILD_HOST holds bench/make_bench_registry, BUILD_WIN64 holds bin/ with
# KORVANE.dll, dll_benchmark.exe and regprep.exe. The Wine prefix is its own,
# BUILD_WIN64/bench/wine-prefix, so the tests' prefix keeps its registry; the
# first run creates it, which takes longer. Speed figures are printed, not checked.
# Exit status: 0 figures printed, 2 usage error, any other a step failed.
set -uo pipefail
if [[ $# -ne 2 ]]; then
  echo "usage: $0 BUILD_HOST BUILD_WIN64" >&2
  exit 2
fi
build_host=$(cd "$1" && pwd) || exit 1
build_win64=$(cd "$2" && pwd) || exit 1
bin=$build_win64/bin
# Importing some 5,400 keys with regedit and timing many whole walks take a
# while under Wine: a longer limit for every Wine call than the tests'.
export KORVANE_WINE_TIMEOUT=${KORVANE_WINE_TIMEOUT:-600}

# shellcheck source=../tests/wine/wine.sh
source "$(dirname "$0")/../tests/wine/wine.sh"

for program in "$build_host/bench/make_bench_registry" "$bin/KORVANE.dll" "$bin/dll_benchmark.exe" "$bin/regprep.exe"; do
  if [[ ! -f $program ]]; then
    echo "missing $program: build it first (see the top of $0)" >&2
    exit 1
  fi
done

work=$build_win64/bench
mkdir -p "$work" || exit 1
registry=$work/bench_registry.reg
"$build_host/bench/make_bench_registry" "$registry" || exit 1

wine_setup "$work" win64 || exit 1
trap 'wine_teardown' EXIT
started=$SECONDS
wine_load_scenario "$bin/regprep.exe" "$registry" || exit 1
echo "registry: $(grep -c '^\[' "$registry") key sections imported from $registry in $((SECONDS - started)) s"

# dll_benchmark loads KORVANE.dll from its own folder.
cd "$bin" || exit 1
wine_run dll_benchmark.exe | tr -d '\r'
