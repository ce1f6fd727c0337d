#!/usr/bin/env bash
# Loads fixture scenarios into Wine's registry and checks each with
# wine_registry_smoke: the test of tests/wine_harness/wine.sh itself.
#
#   run_smoke.sh ARCH BUILD_DIR REGPREP_EXE SMOKE_EXE FIXTURES_DIR
#
# Exits 77 (skipped) when this machine cannot start Wine for ARCH, unless
# KORVANE_REQUIRE_WINE=1.
set -uo pipefail

if [[ $# -ne 5 ]]; then
  echo "usage: $0 ARCH BUILD_DIR REGPREP_EXE SMOKE_EXE FIXTURES_DIR" >&2
  exit 2
fi
arch=$1 build_dir=$2 regprep=$3 smoke=$4 fixtures=$5

# shellcheck source-path=SCRIPTDIR source=harness.sh
source "$(dirname "$0")/harness.sh"

harness_begin "$arch" "$build_dir" "$fixtures" "$regprep"

now() { date +%s.%N; }

# scenario CHECK FILE...: loads FILEs, then runs the smoke program's CHECK.
scenario() {
  local check=$1
  shift
  local start end
  start=$(now)
  harness_load "$@" || return
  end=$(now)
  awk -v what="$*" -v a="$start" -v b="$end" 'BEGIN { printf "loaded %s in %.2f s\n", what, b - a }'
  if wine_run "$smoke" "$check"; then
    harness_pass
  else
    harness_fail "$check after $*"
  fi
}

scenario devices devices.reg
scenario no_serialcomm devices.reg no_serialcomm.reg
# The map deleted above comes back, holding only the fixture's ports.
scenario devices devices.reg
scenario unlistable_instance devices.reg unlistable_instance.reg
# The keys the previous scenario added are gone again.
scenario devices devices.reg

# A reset leaves the owned trees missing and the serial-port map empty.
dump=$build_dir/wine-smoke-dump.txt
if wine_run "$regprep" reset && ! wine_run "$regprep" dump 'SYSTEM\CurrentControlSet\Enum\USB' >/dev/null 2>&1 &&
  wine_run "$regprep" dump 'HARDWARE\DEVICEMAP\SERIALCOMM' >"$dump" && [[ ! -s $dump ]]; then
  harness_pass
else
  harness_fail "reset"
fi

harness_end
