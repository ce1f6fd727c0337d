#!/usr/bin/env bash
# Times EnumPrinterInfoA of KORVANE.dll under Wine on the large generated
# registry (the one walk_benchmark walks on the host), against a bare replay
# of the same registry calls, and prints the figures.
#
#   cmake --preset host && cmake --build --preset host --target make_bench_registry
#   cmake --preset win64 && cmake --build --preset win64 --target dll_benchmark regprep korvane_lib
#   bash bench/run_wine_benchmark.sh build/host build/win64 [--rounds N]
#
# BUILD_HOST holds bench/make_bench_registry, BUILD_WIN holds bin/ with
# KORVANE.dll, dll_benchmark.exe and regprep.exe, built for 32-bit Windows
# (cmake/mingw-i686.cmake) or for 64-bit; the prefix is made for whichever the
# DLL is. Options after the build folders go to dll_benchmark. The Wine prefix
# is its own, BUILD_WIN/bench/wine-prefix, so the tests' prefix keeps its
# registry; the first run creates it, which takes longer.
#
# Rounds of call pairs and of replays alternate, and the ratio is taken pair by
# pair (bench/interleaved.h), so that the load of other programs weighs on both
# alike. Every registry call is a round trip to the wineserver, though, and on
# a busy machine each waits for a processor twice: the waits, not the library,
# then make most of the time, and pairs of rounds scatter by 10 % and more. The
# benchmark and its wineserver therefore run at a raised priority,
# KORVANE_BENCH_NICE (default -10; 0 leaves the priority alone): the nice value
# of the processes and, where the kernel shares the processors out between
# sessions first (autogroup), of their sessions' groups. The benchmark gets a
# session of its own for that, so the caller's other programs keep their
# priority; the wineserver has one anyway. Raising needs root or CAP_SYS_NICE;
# without it the figures are printed all the same, with a note.
#
# Speed figures are printed, not checked.
# Exit status: 0 figures printed, 2 usage error, any other a step failed.
set -uo pipefail
if [[ $# -lt 2 ]]; then
  echo "usage: $0 BUILD_HOST BUILD_WIN [--rounds N]" >&2
  exit 2
fi
nice_value=${KORVANE_BENCH_NICE:--10}
if ! [[ $nice_value =~ ^-?(0|[1-9][0-9]?)$ ]] || ((nice_value < -20 || nice_value > 19)); then
  echo "KORVANE_BENCH_NICE must be a nice value from -20 to 19, not '$nice_value'" >&2
  exit 2
fi

leads_session() { [[ $(ps -o sid= -p "$1" | tr -d ' ') == "$1" ]]; }

# Runs the rest of this script as the leader of a session of its own, passing
# on INT, TERM and HUP, which that session no longer gets from a terminal.
if [[ $nice_value != 0 ]] && ! leads_session $$ && command -v setsid >/dev/null; then
  # The child is no process group leader, so setsid makes it the leader of
  # the new session without another fork: $! is the session's leader.
  setsid bash "$0" "$@" &
  session=$!
  trap 'kill -TERM "$session" 2>/dev/null' INT TERM HUP
  while :; do
    wait "$session"
    status=$?
    kill -0 "$session" 2>/dev/null || break
  done
  exit "$status"
fi

build_host=$(cd "$1" && pwd) || exit 1
build_win=$(cd "$2" && pwd) || exit 1
shift 2
bin=$build_win/bin
# Importing some 5,400 keys with regedit and timing many whole walks take a
# while under Wine: a longer limit for every Wine call than the tests'.
export KORVANE_WINE_TIMEOUT=${KORVANE_WINE_TIMEOUT:-600}

# shellcheck source=../tests/wine_harness/wine.sh
source "$(dirname "$0")/../tests/wine_harness/wine.sh"

for program in "$build_host/bench/make_bench_registry" "$bin/KORVANE.dll" "$bin/dll_benchmark.exe" "$bin/regprep.exe"; do
  if [[ ! -f $program ]]; then
    echo "missing $program: build it first (see the top of $0)" >&2
    exit 1
  fi
done

# The prefix's architecture is the DLL's, read from its PE header: the machine
# field follows the "PE\0\0" signature, whose offset is at 0x3c.
pe_machine() {
  local offset
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 1
  [[ $offset =~ ^[0-9]+$ ]] || return 1
  od -An -tx1 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}
case $(pe_machine "$bin/KORVANE.dll") in
  4c01) arch=win32 ;;
  6486) arch=win64 ;;
  *)
    echo "$bin/KORVANE.dll is neither a 32-bit nor a 64-bit x86 Windows DLL" >&2
    exit 1
    ;;
esac

# Sets the nice value of process $1 and, when it leads its session, of the
# session's scheduling group.
raise_priority() {
  renice -n "$nice_value" -p "$1" >/dev/null 2>&1 || return 1
  [[ $(ps -o ni= -p "$1" | tr -d ' ') == "$nice_value" ]] || return 1
  if [[ -e /proc/$1/autogroup ]] && leads_session "$1"; then
    echo "$nice_value" 2>/dev/null >"/proc/$1/autogroup" || return 1
  fi
}

# The process id of the wineserver of $WINEPREFIX, the one process whose
# working folder is the server folder named after the prefix's device and inode.
prefix_wineserver() {
  local folder process
  folder=server-$(printf '%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")") || return 1
  for process in /proc/[0-9]*; do
    if [[ $(readlink "$process/cwd" 2>/dev/null) == */"$folder" ]]; then
      echo "${process#/proc/}"
      return 0
    fi
  done
  return 1
}

priority="as the caller's"
if [[ $nice_value != 0 ]]; then
  # Raised before wine_setup, so the wineserver and Wine's services inherit
  # the nice value; the wineserver's session group follows below.
  if raise_priority $$; then
    priority="nice $nice_value"
  else
    priority="not raised as asked (that needs root or CAP_SYS_NICE): figures spread more on a busy machine"
  fi
fi

work=$build_win/bench
mkdir -p "$work" || exit 1
registry=$work/bench_registry.reg
"$build_host/bench/make_bench_registry" "$registry" || exit 1

wine_setup "$work" "$arch" || exit 1
trap 'wine_teardown' EXIT
if [[ $priority == nice* ]]; then
  if ! server=$(prefix_wineserver) || ! raise_priority "$server"; then
    priority="nice $nice_value, but not for the wineserver, which was not found or could not be changed"
  else
    priority="nice $nice_value for the benchmark and its wineserver"
  fi
fi
started=$SECONDS
wine_load_scenario "$bin/regprep.exe" "$registry" || exit 1
echo "registry: $(grep -c '^\[' "$registry") key sections imported from $registry in $((SECONDS - started)) s"
echo "architecture: $arch; scheduling priority: $priority"

# dll_benchmark loads KORVANE.dll from its own folder.
cd "$bin" || exit 1
wine_run dll_benchmark.exe "$@" | tr -d '\r'
