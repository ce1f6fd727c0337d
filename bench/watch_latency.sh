#!/usr/bin/env bash
# Times korvane.exe --watch under Wine: from a registry change (a serial port
# coming or going, 100 times) to its line on standard output, with --settle
# 250 and 0, and the CPU it uses while nothing changes (10 s).
#
#   cmake --build --preset win64 --target korvane_watch_test korvane regprep
#   bash bench/watch_latency.sh build/win64
set -uo pipefail
if [[ $# -ne 1 ]]; then
  echo "usage: $0 WINDOWS_BUILD_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd) || exit 1
bin=$build/bin
here=$(cd "$(dirname "$0")" && pwd)
arch=win64
llvm-objdump -f "$bin/KORVANE.dll" 2>/dev/null | grep -q 'coff-i386' && arch=win32

# shellcheck source=../tests/wine_harness/wine.sh
source "$here/../tests/wine_harness/wine.sh"
wine_available "$arch" || exit 1
work=$build/bench-watch
wine_setup "$work" "$arch" || exit 1
trap 'wine_teardown' EXIT
cd "$bin" || exit 1
for settle in 250 0; do
  wine_load_scenario "$bin/regprep.exe" "$here/../tests/fixtures/devices.reg" || exit 1
  KORVANE_WINE_TIMEOUT=600 wine_run korvane_watch_test.exe measure "$settle" | tr -d '\r' | grep -v 'passed, '
done
