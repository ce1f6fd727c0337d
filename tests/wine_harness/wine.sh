# shellcheck shell=bash
# Runs Windows test programs against Wine's real registry, loaded from the
# .reg fixtures. Source this file, then:
#
#   wine_available [win32|win64]         whether Wine can start on this machine at all
#   wine_route [win32|win64]             how its programs run: "natively" or "under qemu-i386 VERSION"
#   wine_require_or_skip [win32|win64]   for test drivers: exit 77 (skipped) unless it can
#   wine_setup BUILD_DIR [win32|win64]   prefix BUILD_DIR/wine-prefix, persistent server
#   wine_load_scenario REGPREP_EXE FILE...
#                                        reset the trees a scenario owns, import FILEs in order
#   wine_run PROGRAM ARGS...             run a program under Wine with a time limit
#   wine_again_if_not_started FILE CMD...
#                                        run CMD again when Wine did not start its program
#   wine_teardown                        stop the server
#
# Every function returns nonzero, with a message on stderr, when a step fails.
# Every Wine call has a time limit (KORVANE_WINE_TIMEOUT seconds, default 120;
# creating a prefix gets KORVANE_WINEBOOT_TIMEOUT, default 300).
#
# Output of Wine calls made here goes to files, never to a pipe: programs that
# Wine starts in the background (services, the desktop) inherit the standard
# handles of the call that started them, and a pipe held open by them would
# never reach end of file.

# Architecture of the prefix and the loader that runs its programs.
_wine_arch=win32
_wine_loader=wine
# Tells whether and how this machine runs i386 programs.
_wine_i386_probe=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/runs-i386-programs.sh

_wine_log() { echo "wine.sh: $*" >&2; }

# Runs one Wine command with a time limit; output appended to $_wine_out.
_wine_timed() {
  local limit=$1
  shift
  timeout -k 10 "$limit" "$@" </dev/null >>"$_wine_out" 2>&1
}

# Wine 8.0 now and then fails to start a program: its loader exits 1 having
# printed nothing, or hands the program to start.exe, which says it "could not
# be started" (measured here: 2 starts in 2,331, seconds after the server
# started). Either way none of the program ran. Runs CMD..., which writes all
# its output to FILE, once more when it ended so; only for programs that
# always print something when they fail.
wine_again_if_not_started() {
  local file=$1 status=0
  shift
  "$@" || status=$?
  if [[ $status -eq 1 && ! -s $file ]] || grep -q '^Application could not be started' "$file" 2>/dev/null; then
    _wine_log "Wine did not start a program (exit $status): $*; starting it once more"
    [[ -s $file ]] && sed 's/^/  | /' "$file" >&2
    : >"$file"
    status=0
    "$@" || status=$?
  fi
  return "$status"
}

_wine_show_output() {
  if [[ -s "$_wine_out" ]]; then
    sed 's/^/  | /' "$_wine_out" >&2
  fi
  : >"$_wine_out"
}

# Prints how this machine runs ARCH's programs; fails, saying why, where it
# runs none or only under an emulator too slow for Wine.
wine_route() {
  if [[ ${1:-win32} == win64 ]]; then
    echo natively
    return 0
  fi
  local route
  route=$(bash "$_wine_i386_probe")
  local status=$?
  if [[ $status -ne 0 ]]; then
    _wine_log "$route"
    return 1
  fi
  echo "$route"
}

# Fails when this machine cannot run the loader at all, e.g. a 32-bit loader
# on a kernel that runs no 32-bit code and has no emulator for it. The loader
# of the architecture itself is probed: with wine64 installed and wine32 not,
# 'wine --version' answers through the 64-bit loader, which cannot make a
# 32-bit prefix.
_wine_check_loader() {
  local path
  path=$(command -v "$_wine_loader") || {
    _wine_log "no '$_wine_loader' on PATH"
    return 1
  }
  local probe=$path
  if [[ $_wine_arch == win32 ]]; then
    probe=/usr/lib/wine/wine
    wine_route win32 >/dev/null || return 1
    if [[ ! -x $probe ]]; then
      _wine_log "no 32-bit Wine loader $probe (package wine32:i386, after dpkg --add-architecture i386)"
      return 1
    fi
  elif [[ -x /usr/lib/wine/wine64 ]]; then
    probe=/usr/lib/wine/wine64
  fi
  local output status
  output=$(timeout 20 "$probe" --version 2>&1 </dev/null)
  status=$?
  if [[ $status -ne 0 ]]; then
    _wine_log "'$probe --version' failed (exit $status): ${output%%$'\n'*}"
    return 1
  fi
}

# Succeeds when this machine can start Wine for ARCH (default win32); use it
# to skip Wine tests where Wine cannot run at all.
wine_available() {
  local _wine_arch=${1:-win32} _wine_loader=wine
  if [[ $_wine_arch == win64 ]]; then
    _wine_loader=wine64
    [[ -x /usr/lib/wine/wine64 ]] && _wine_loader=/usr/lib/wine/wine64
  fi
  _wine_check_loader
}

# For test drivers: returns when Wine can start for ARCH; otherwise exits the
# script with 77, which ctest counts as skipped, or with 1 when
# KORVANE_REQUIRE_WINE=1 says that Wine must run here.
wine_require_or_skip() {
  local arch=${1:-win32}
  wine_available "$arch" && return 0
  if [[ ${KORVANE_REQUIRE_WINE:-0} == 1 ]]; then
    echo "Wine ($arch) cannot run on this machine" >&2
    exit 1
  fi
  echo "SKIP: Wine ($arch) cannot run on this machine"
  exit 77
}

wine_setup() {
  if [[ $# -lt 1 || $# -gt 2 ]]; then
    _wine_log "usage: wine_setup BUILD_DIR [win32|win64]"
    return 1
  fi
  local build_dir=$1
  _wine_arch=${2:-win32}
  case $_wine_arch in
    win32) _wine_loader=wine ;;
    win64)
      # Debian installs the 64-bit loader outside PATH.
      if [[ -x /usr/lib/wine/wine64 ]]; then
        _wine_loader=/usr/lib/wine/wine64
        export WINELOADER=/usr/lib/wine/wine64
      else
        _wine_loader=wine64
      fi
      ;;
    *)
      _wine_log "unknown architecture '$_wine_arch'"
      return 1
      ;;
  esac

  mkdir -p "$build_dir" || return 1
  build_dir=$(cd "$build_dir" && pwd) || return 1
  export WINEPREFIX=$build_dir/wine-prefix
  export WINEARCH=$_wine_arch
  export WINEDEBUG=-all
  _wine_timeout=${KORVANE_WINE_TIMEOUT:-120}
  _wine_out=$build_dir/wine-calls.log
  : >"$_wine_out" || return 1

  _wine_check_loader || return 1

  # A prefix is usable once the marker is written; one cut short, or made for
  # the other architecture, is made again.
  local marker=$WINEPREFIX/.korvane-prefix-ready
  if [[ ! -f $marker ]] || ! grep -q "^#arch=$_wine_arch\$" "$WINEPREFIX/system.reg" 2>/dev/null; then
    _wine_timed 30 wineserver -k || true
    rm -rf "$WINEPREFIX"
    local started=$SECONDS
    # Without the .NET and HTML engines wineboot neither asks for them nor
    # looks for them on the network.
    if ! WINEDLLOVERRIDES="mscoree,mshtml=" _wine_timed "${KORVANE_WINEBOOT_TIMEOUT:-300}" "$_wine_loader" wineboot -i; then
      _wine_log "creating the prefix $WINEPREFIX failed"
      _wine_show_output
      return 1
    fi
    # A virtual desktop: without it every hidden window stalls for 2 seconds
    # and windows get no title bar.
    if ! _wine_timed "$_wine_timeout" "$_wine_loader" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f ||
      ! _wine_timed "$_wine_timeout" "$_wine_loader" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f; then
      _wine_log "setting up the virtual desktop failed"
      _wine_show_output
      return 1
    fi
    # The server writes the registry files when it exits.
    if ! _wine_timed 60 wineserver -w; then
      _wine_log "the wineserver did not exit after creating the prefix"
      _wine_show_output
      return 1
    fi
    if ! grep -q "^#arch=$_wine_arch\$" "$WINEPREFIX/system.reg" 2>/dev/null; then
      _wine_log "the new prefix $WINEPREFIX is not $_wine_arch"
      return 1
    fi
    touch "$marker"
    _wine_log "created $_wine_arch prefix $WINEPREFIX in $((SECONDS - started)) s"
  fi

  # HKLM\HARDWARE is volatile: it lives only as long as the server, so the
  # server has to outlive the programs of a scenario. A server left over from
  # an earlier run is stopped first (starting a second one fails). -p without
  # a number would keep the server forever if this run were killed before
  # wine_teardown.
  _wine_timed 30 wineserver -k || true
  if ! _wine_timed 30 wineserver -w ||
    ! _wine_timed 30 wineserver -p"${KORVANE_WINESERVER_LINGER:-900}"; then
    _wine_log "starting the wineserver failed"
    _wine_show_output
    return 1
  fi
  # The first program after a fresh server starts Wine's background services;
  # they must inherit nothing that a caller waits on.
  if ! _wine_timed "$_wine_timeout" "$_wine_loader" wineboot; then
    _wine_log "starting the prefix failed"
    _wine_show_output
    return 1
  fi
  : >"$_wine_out"
}

_wine_require_setup() {
  if [[ -z ${WINEPREFIX:-} || -z ${_wine_out:-} ]]; then
    _wine_log "call wine_setup first"
    return 1
  fi
}

# Runs PROGRAM ARGS... under Wine with the time limit. Its output goes to this
# function's standard output and error, so the caller sees it (a pipe is safe
# here: wine_setup has already started Wine's background services); a
# time-out shows as exit code 124.
wine_run() {
  _wine_require_setup || return 1
  timeout -k 10 "${KORVANE_WINE_TIMEOUT:-$_wine_timeout}" "$_wine_loader" "$@" </dev/null
}

# Prints the Windows form of a Unix path (drive Z: maps the Unix root).
_wine_windows_path() {
  local path
  path=$(realpath -- "$1") || return 1
  printf 'Z:%s' "${path//\//\\}"
}

wine_load_scenario() {
  _wine_require_setup || return 1
  if [[ $# -lt 2 ]]; then
    _wine_log "usage: wine_load_scenario REGPREP_EXE FILE..."
    return 1
  fi
  local regprep=$1
  shift
  local file header bom
  for file in "$@"; do
    if [[ ! -f $file ]]; then
      _wine_log "no fixture $file"
      return 1
    fi
    # regedit /S passes over a file without this header in silence.
    IFS= read -r header <"$file" || true
    header=${header#$'\xef\xbb\xbf'}
    header=${header%$'\r'}
    if [[ $header != "Windows Registry Editor Version 5.00" && $header != "REGEDIT4" ]]; then
      _wine_log "$file does not start with a .reg header"
      return 1
    fi
  done

  if ! wine_again_if_not_started "$_wine_out" _wine_timed "$_wine_timeout" "$_wine_loader" "$regprep" reset; then
    _wine_log "regprep reset failed"
    _wine_show_output
    return 1
  fi
  : >"$_wine_out"

  local tmp rc=0
  tmp=$(mktemp -d "${TMPDIR:-/tmp}/korvane-reg.XXXXXX") || return 1
  local converted=$tmp/import.reg
  for file in "$@"; do
    # regedit reads a file without a byte-order mark in the ANSI code page;
    # as UTF-16LE with a mark, names outside it import intact. A UTF-8 mark
    # converts into the UTF-16LE one.
    bom=$'\xff\xfe'
    [[ $(head -c 3 -- "$file") == $'\xef\xbb\xbf' ]] && bom=
    if ! { printf '%s' "$bom" && iconv -f UTF-8 -t UTF-16LE "$file"; } >"$converted"; then
      _wine_log "converting $file to UTF-16LE failed (is it UTF-8?)"
      rc=1
      break
    fi
    if ! wine_again_if_not_started "$_wine_out" \
      _wine_timed "$_wine_timeout" "$_wine_loader" regedit /S "$(_wine_windows_path "$converted")"; then
      _wine_log "importing $file failed"
      rc=1
      break
    fi
    # regedit reports a key it cannot create or a file it cannot open on its
    # output and exits 0 all the same. (Lines it cannot parse it skips in
    # silence: the scenario's own checks have to notice those.)
    if [[ -s "$_wine_out" ]]; then
      _wine_log "importing $file: regedit complained"
      rc=1
      break
    fi
  done
  if [[ $rc -ne 0 ]]; then
    _wine_show_output
  fi
  rm -rf "$tmp"
  : >"$_wine_out"
  return "$rc"
}

wine_teardown() {
  _wine_require_setup || return 1
  # -k fails when no server is running, which is fine; -w then waits until
  # the server is gone, or fails on the time limit instead of hanging.
  _wine_timed 30 wineserver -k || true
  if ! _wine_timed 30 wineserver -w; then
    _wine_log "the wineserver did not stop"
    _wine_show_output
    return 1
  fi
  : >"$_wine_out"
}
