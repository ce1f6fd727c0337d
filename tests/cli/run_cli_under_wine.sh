#!/usr/bin/env bash
# Runs korvane.exe under Wine for every run listed in cases.txt and compares
# its standard output and exit status, byte for byte, with the expected ones
# that the host build is held to. Then runs it on Wine's own registry, loaded
# with regedit from the same fixture, without --reg. The runs are made on
# saved hives of the fixtures too.
#
#   run_cli_under_wine.sh ARCH BUILD_DIR BIN_DIR FIXTURES_DIR
#
# Exits 77 (skipped) when Wine cannot start for ARCH, unless KORVANE_REQUIRE_WINE=1.
set -uo pipefail
if [[ $# -ne 4 ]]; then
  echo "usage: $0 ARCH BUILD_DIR BIN_DIR FIXTURES_DIR" >&2
  exit 2
fi
arch=$1 build_dir=$2 bin=$3 fixtures=$4
here=$(cd "$(dirname "$0")" && pwd)

# shellcheck source-path=SCRIPTDIR source=../wine_harness/harness.sh
source "$here/../wine_harness/harness.sh"
harness_begin "$arch" "$build_dir" "$fixtures" "$bin/regprep.exe"
cd "$bin" || exit 1
out=$build_dir/wine-cli.out

# compare NAME STATUS EXPECTED_FILE ARGS...
compare() {
  local name=$1 status=$2 expected=$3
  shift 3
  wine_run korvane.exe "$@" >"$out" 2>/dev/null
  local rc=$?
  if [[ $rc -eq $status ]] && cmp -s "$out" "$expected"; then
    harness_pass
  else
    harness_fail "$name: exit $rc (expected $status); output differs:"
    diff "$expected" "$out" | head -20
  fi
}

fixturesWindows=$(_wine_windows_path "$fixtures")
while read -r name status args; do
  [[ -z $name || $name == \#* ]] && continue
  words=()
  for word in $args; do
    [[ $word == @* ]] && word="$fixturesWindows\\${word#@}"
    words+=("$word")
  done
  compare "$name" "$status" "$here/expected/$name.out" "${words[@]}"
done <"$here/cases.txt"

# The same runs on saved hives that hivex writes of the fixtures
# (hive_cases.py), with Debian's python3, which has its module.
if hive_runs=$(/usr/bin/python3 "$here/hive_cases.py" list "$build_dir/cli-hives" 2>"$out"); then
  while read -r name status args; do
    words=()
    for word in $args; do
      [[ $word == /* ]] && word=$(_wine_windows_path "$word")
      words+=("$word")
    done
    compare "$name on a hive" "$status" "$here/expected/$name.out" "${words[@]}"
  done <<<"$hive_runs"
else
  harness_fail "writing the hives: $(cat "$out")"
fi

# Wine's own registry, loaded by regedit, gives the same lines as the export.
if harness_load devices.reg; then
  compare live-registry 0 "$here/expected/lines.out" 4B31
  compare live-registry-explain 0 "$here/expected/explain.out" --explain 4B52
fi

harness_end
