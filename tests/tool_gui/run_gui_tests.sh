#!/usr/bin/env bash
# Drives tarnwell's window under Wine on a virtual X server, as an operator
# would (drive_tarnwell.exe): with the real KORVANE.dll on devices.reg, with a
# fake KORVANE.dll that gives answers the real one never gives, with a
# KORVANE.dll without the entry, and with none. Saves screenshots of the
# window as BUILD_DIR/tarnwell-*.png, and the README's as docs/tarnwell.png.
#
#   run_gui_tests.sh BUILD_DIR [win64|win32]     (default win64)
#
# Uses, from the build: BUILD_DIR/bin/{tarnwell,drive_tarnwell,regprep}.exe
# and KORVANE.dll, BUILD_DIR/tool-gui/dll/{fake,no-entry}/KORVANE.dll; makes
# the folders it runs the copies of tarnwell.exe from in BUILD_DIR/tool-gui.
# Shares the prefix BUILD_DIR/wine-prefix with the other Wine tests. Prints
# "N passed, N failed". Exits 77 (skipped) when this machine cannot start
# Wine or an X server, unless KORVANE_REQUIRE_WINE=1.
set -uo pipefail
if [[ $# -lt 1 || $# -gt 2 ]]; then
  echo "usage: $0 BUILD_DIR [win64|win32]" >&2
  exit 2
fi
arch=${2:-win64}
build_dir=$(cd "$1" 2>/dev/null && pwd) || {
  echo "no build folder $1" >&2
  exit 2
}
here=$(cd "$(dirname "$0")" && pwd)
fixtures=$here/../fixtures
bin=$build_dir/bin
gui=$build_dir/tool-gui

# shellcheck source-path=SCRIPTDIR source=../wine_harness/harness.sh
source "$here/../wine_harness/harness.sh"

harness_skip_unless_wine "$arch"
command -v Xvfb >/dev/null || harness_skip "no Xvfb (package xvfb): tarnwell's window needs an X server"

for f in "$bin"/{tarnwell,drive_tarnwell,regprep}.exe "$bin"/KORVANE.dll "$gui"/dll/{fake,no-entry}/KORVANE.dll; do
  if [[ ! -f $f ]]; then
    echo "missing $f: build the drive_tarnwell target first" >&2
    exit 1
  fi
done

elapsed() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f s", b - a }'; }
run_started=$(date +%s.%N)

xvfb_pid='' shots_pid='' wine_up=0 xvfb_dir=''
cleanup() {
  [[ -n $shots_pid ]] && kill "$shots_pid" 2>/dev/null && wait "$shots_pid" 2>/dev/null
  # Wine's desktop draws on the X server: stop Wine first.
  [[ $wine_up == 1 ]] && wine_teardown
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  [[ -n $xvfb_dir ]] && rm -rf "$xvfb_dir"
}
trap cleanup EXIT

# An X server of our own on a free display; -displayfd tells which once it
# accepts connections. Wine's virtual desktop is 1024x768, the screen too.
mkdir -p "$gui" || exit 1
xvfb_dir=$(mktemp -d "${TMPDIR:-/tmp}/korvane-xvfb.XXXXXX") || exit 1
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$xvfb_dir/display" >"$gui/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s $xvfb_dir/display ]] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
if [[ ! -s $xvfb_dir/display ]]; then
  sed 's/^/  | /' "$gui/xvfb.log" >&2
  harness_skip "Xvfb did not start"
fi
DISPLAY=:$(tr -dc 0-9 <"$xvfb_dir/display")
export DISPLAY
echo "X server on $DISPLAY"

# Before wine_setup: the desktop that Wine starts with the prefix uses DISPLAY.
step_started=$(date +%s.%N)
wine_setup "$build_dir" "$arch" || exit 1
wine_up=1
echo "Wine prefix ready in $(elapsed "$step_started")"

# Japanese text (the "入力不足です" box) is drawn in Tahoma, which has no
# Japanese glyphs: link it to IPA P Gothic, which Wine finds through
# fontconfig.
if ! fc-list : file 2>/dev/null | grep 'ipagp\.ttf' >/dev/null; then
  echo "note: no ipagp.ttf (package fonts-ipafont-gothic): Japanese text shows as boxes in the screenshots"
fi
if ! wine_run reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma \
  /t REG_MULTI_SZ /d 'ipagp.ttf,IPAPGothic' /f >"$gui/reg-add.log" 2>&1; then
  cat "$gui/reg-add.log"
  harness_fail "linking Tahoma to IPA P Gothic"
fi

step_started=$(date +%s.%N)
wine_load_scenario "$bin/regprep.exe" "$fixtures/devices.reg" || harness_fail "loading devices.reg"
echo "devices.reg loaded in $(elapsed "$step_started")"

# The copies of tarnwell.exe: beside the fake library, beside the one
# without the entry, and alone.
windows_path() {
  local path
  path=$(realpath -- "$1") || return 1
  printf 'Z:%s' "${path//\//\\}"
}
for folder in fake no-entry no-library; do
  rm -rf "${gui:?}/$folder"
  if ! mkdir -p "$gui/$folder" || ! cp "$bin/tarnwell.exe" "$gui/$folder/"; then
    harness_fail "making $gui/$folder"
  fi
done
cp "$gui/dll/fake/KORVANE.dll" "$gui/fake/" || harness_fail "copying the fake KORVANE.dll"
cp "$gui/dll/no-entry/KORVANE.dll" "$gui/no-entry/" || harness_fail "copying the KORVANE.dll without the entry"

# Screenshots on request: for each NAME.png.request the driver writes into
# the build folder, the screen (or the area the request gives) goes into
# NAME.png, and the request is deleted, which the driver waits for.
shot_args=()
if command -v import >/dev/null; then
  take_shots() {
    local request png geometry crop
    while :; do
      for request in "$build_dir"/*.png.request; do
        [[ -e $request ]] || continue
        png=${request%.request}
        geometry=$(tr -d '\r\n' <"$request")
        crop=()
        [[ $geometry =~ ^[0-9]+x[0-9]+\+[0-9]+\+[0-9]+$ ]] && crop=(-crop "$geometry" +repage)
        if import -silent -window root "${crop[@]}" "png:$png.part" 2>>"$gui/import.log"; then
          mv -f "$png.part" "$png"
        fi
        rm -f "$request"
      done
      sleep 0.1
    done
  }
  rm -f "$build_dir"/*.png.request
  take_shots &
  shots_pid=$!
  shot_args=(--shots "$(windows_path "$build_dir")")
else
  echo "note: no 'import' (package imagemagick): no screenshots"
fi

# The driver's output goes to a file, followed live: a pipe could be held
# open by the programs Wine starts.
out=$gui/drive_tarnwell.out
: >"$out"
step_started=$(date +%s.%N)
KORVANE_WINE_TIMEOUT=${KORVANE_WINE_TIMEOUT:-600} wine_run "$bin/drive_tarnwell.exe" \
  --fake "$(windows_path "$gui/fake")" --no-entry "$(windows_path "$gui/no-entry")" \
  --no-library "$(windows_path "$gui/no-library")" "${shot_args[@]}" >"$out" 2>&1 &
driver_pid=$!
tail -n +1 --pid="$driver_pid" -f "$out" | tr -d '\r'
wait "$driver_pid"
rc=$?
echo "driver ran in $(elapsed "$step_started")"

harness_add_tally "$out" "$rc" drive_tarnwell.exe

# The README's picture of the window: a change to the window shows up as a
# changed docs/tarnwell.png. Without its time stamps, an unchanged window
# gives the same file.
if [[ -f $build_dir/tarnwell-readme.png ]]; then
  convert "$build_dir/tarnwell-readme.png" -strip -define png:exclude-chunks=date,time \
    "png:$here/../../docs/tarnwell.png" || harness_fail "writing docs/tarnwell.png"
fi

echo "whole run took $(elapsed "$run_started")"
harness_end
