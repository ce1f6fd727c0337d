#!/usr/bin/env bash
# Runs the test programs of KORVANE.dll under Wine, each against the fixture
# registry it needs, imported into Wine's own registry.
#
#   run_under_wine.sh SUITE ARCH BUILD_DIR BIN_DIR FIXTURES_DIR
#
# SUITE: scenarios (every fixture scenario through the four exports),
# behaviour (the exports' contract), codepage (code page 932), example (the
# README's program), churn (readers against a writer process that changes the
# registry), watch (korvane.exe --watch against a changing registry). Prints
# "N passed, N failed". Exits 77 (skipped) when
# this machine cannot start Wine for ARCH, unless KORVANE_REQUIRE_WINE=1.
set -uo pipefail
if [[ $# -ne 5 ]]; then
  echo "usage: $0 SUITE ARCH BUILD_DIR BIN_DIR FIXTURES_DIR" >&2
  exit 2
fi
suite=$1 arch=$2 build_dir=$3 bin=$4 fixtures=$5

# shellcheck source-path=SCRIPTDIR source=../wine_harness/harness.sh
source "$(dirname "$0")/../wine_harness/harness.sh"

harness_begin "$arch" "$build_dir" "$fixtures" "$bin/regprep.exe"
cd "$bin" || exit 1
out=$build_dir/wine-$suite.out

case $suite in
  scenarios)
    wine_run dll_scenario_test.exe --list >"$out" 2>&1 || { cat "$out"; exit 1; }
    while read -r index files; do
      # shellcheck disable=SC2086  # the file names are words
      harness_load $files && harness_checks dll_scenario_test.exe "$index"
    done < <(tr -d '\r' <"$out")
    ;;
  behaviour)
    # Over 20,000 calls, each a whole walk of the registry: give it time.
    harness_load devices.reg && KORVANE_WINE_TIMEOUT=600 harness_checks dll_behaviour_test.exe
    ;;
  codepage)
    # Wine takes the ANSI code page from the locale; no glibc locale need exist
    # for it, so bash's warning that it cannot switch itself is dropped.
    harness_load devices.reg japanese_printer.reg && LC_ALL=ja_JP.UTF-8 harness_checks dll_codepage_test.exe 2>/dev/null
    ;;
  example)
    if harness_load devices.reg; then
      wine_run two_call_example.exe 4B31 >"$out" 2>&1
      expected=$'Receipt Printer A, COM3, COM4, OnLine\nReceipt Printer B, COM7, COM8, OffLine'
      if [[ $(tr -d '\r' <"$out") == "$expected" ]]; then
        harness_pass
      else
        harness_fail "two_call_example printed:"
        cat "$out"
      fi
    fi
    ;;
  churn)
    # The program writes its own registry: device 0, then the writer's changes.
    if wine_run regprep.exe reset; then
      KORVANE_WINE_TIMEOUT=600 harness_checks dll_churn_test.exe
    else
      harness_fail "regprep reset"
    fi
    ;;
  watch)
    # korvane.exe --watch against changes this program makes; each part
    # starts from devices.reg.
    for part in events leaks; do
      harness_load devices.reg && KORVANE_WINE_TIMEOUT=600 harness_checks korvane_watch_test.exe "$part"
    done
    ;;
  *)
    echo "unknown suite $suite" >&2
    exit 2
    ;;
esac

harness_end
