# shellcheck shell=bash
# What every driver of Windows test programs under Wine does alike: decide
# whether the run can happen here, set Wine up and take it down, load fixture
# registries, and count the checks. Source this file (it sources wine.sh),
# then:
#
#   harness_skip_unless_wine ARCH        exit 77 (skipped) unless Wine runs ARCH here;
#                                        exit 1 instead when KORVANE_REQUIRE_WINE=1
#   harness_skip REASON                  the same exit for another missing piece
#   harness_begin ARCH BUILD_DIR FIXTURES_DIR REGPREP_EXE
#                                        the check above, the prefix, a server that
#                                        stops when the script exits
#   harness_load FILE...                 reset the registry, import FIXTURES_DIR/FILEs
#   harness_checks PROGRAM ARGS...       run a check program under Wine and add up its
#                                        closing line "N passed, N failed"
#   harness_add_tally FILE STATUS WHAT   add up the closing line in FILE of a program
#                                        that exited with STATUS
#   harness_pass; harness_fail MESSAGE   count one check
#   harness_end                          print "N passed, N failed"; exit 0 when none failed
#
# The loads and runs count a failure themselves and return nonzero, so a
# driver goes on with its next case.

# shellcheck source-path=SCRIPTDIR source=wine.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine.sh"

harness_passed=0
harness_failed=0
_harness_fixtures=''
_harness_regprep=''
_harness_out=''

harness_skip() {
  if [[ ${KORVANE_REQUIRE_WINE:-0} == 1 ]]; then
    echo "required here, yet: $*" >&2
    exit 1
  fi
  echo "SKIP: $*"
  exit 77
}

harness_skip_unless_wine() {
  local why
  why=$(wine_available "$1" 2>&1) || harness_skip "Wine ($1) cannot run on this machine: ${why#wine.sh: }"
}

harness_begin() {
  local arch=$1 build_dir=$2
  _harness_fixtures=$3 _harness_regprep=$4
  harness_skip_unless_wine "$arch"
  wine_setup "$build_dir" "$arch" || exit 1
  trap 'wine_teardown' EXIT
  _harness_out=$build_dir/wine-harness.out
}

harness_pass() { harness_passed=$((harness_passed + 1)); }

harness_fail() {
  echo "FAILED: $*"
  harness_failed=$((harness_failed + 1))
}

harness_load() {
  local paths=() f
  for f in "$@"; do paths+=("$_harness_fixtures/$f"); done
  wine_load_scenario "$_harness_regprep" "${paths[@]}" && return 0
  harness_fail "loading $*"
  return 1
}

harness_add_tally() {
  local file=$1 status=$2 what=$3 tally
  tally=$(tr -d '\r' <"$file" | grep -E '^[0-9]+ passed, [0-9]+ failed$' | tail -n 1)
  if [[ -z $tally ]]; then
    harness_fail "$what ended (exit $status) without its closing line"
    return 1
  fi
  local passed=${tally%% passed*} failed=${tally#*, }
  failed=${failed%% failed}
  harness_passed=$((harness_passed + passed))
  harness_failed=$((harness_failed + failed))
  if [[ $status -ne 0 && $failed -eq 0 ]]; then
    harness_fail "$what exit $status"
    return 1
  fi
  [[ $failed -eq 0 ]]
}

_harness_run() { wine_run "$@" >"$_harness_out" 2>&1; }

harness_checks() {
  local status=0
  : >"$_harness_out"
  wine_again_if_not_started "$_harness_out" _harness_run "$@" || status=$?
  cat "$_harness_out"
  harness_add_tally "$_harness_out" "$status" "$*"
}

harness_end() {
  echo "$harness_passed passed, $harness_failed failed"
  [[ $harness_failed -eq 0 ]]
  exit
}
