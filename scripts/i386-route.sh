# shellcheck shell=bash
# The i386 route of scripts/install-deps.sh, which sources this file: makes
# this machine run 32-bit (i386) programs, which 32-bit Wine is, and decides
# whether 32-bit Wine (wine32:i386) joins the 64-bit Wine packages.
#
# Where the kernel runs no 32-bit code itself (scripts/runs-i386-programs.sh),
# that takes qemu-user's emulation, which changes the machine thus:
#   - an apt source for the release's backports suite, in a file of its own
#     (/etc/apt/sources.list.d/korvane-CODENAME-backports.sources), unless a source
#     names that suite already; qemu-user is installed from it (8 or later:
#     the release's own 7.2 is too slow for Wine), nothing else is;
#   - a binfmt_misc handler "qemu-i386" for i386 ELF programs, naming
#     /usr/bin/qemu-i386 (binfmt_misc is mounted first where it is not);
#     it lasts until the machine restarts. A handler that serves with a
#     qemu-user 8 or later is left alone; one that pins an older interpreter
#     is registered again;
#   - the i386 architecture for dpkg, for wine32:i386.
# Undo: echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386; remove the source file.
#
# How the functions answer: a result on standard output and the exit status;
# a step that fails prints why, in words that follow "the 32-bit Wine tests
# will be skipped:", and returns 1. Their progress lines ("Installing: ...",
# "Registered ...") go to file descriptor 3, which the caller opens on its own
# standard output, so that they reach it from inside $(...). They keep no
# state in variables: what they change is on disk.
#
# From install-deps.sh they use installed PACKAGE, and apt_update,
# apt_install, apt_first_error and apt_lists_stale (which tells apt_update
# that the package lists must be fetched again).

# The apt configuration and the archive's keyring, the kernel's binfmt_misc
# folder, the emulator qemu-user installs, the Wine packages' loaders (32-bit and 64-bit), and the
# handler's magic and mask (an ELF file, 32-bit, little-endian, any OS ABI,
# executable or shared object, machine 3: i386).
readonly apt_dir=${KORVANE_APT_DIR:-/etc/apt}
readonly binfmt_dir=${KORVANE_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
readonly qemu_i386=${KORVANE_QEMU_I386:-/usr/bin/qemu-i386}
readonly apt_keyring=${KORVANE_APT_KEYRING:-/usr/share/keyrings/debian-archive-keyring.gpg}
readonly wine_loaders=${KORVANE_WINE_LOADER_DIR:-/usr/lib/wine}
readonly i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
readonly i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
i386_probe=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/runs-i386-programs.sh
readonly i386_probe

# How this machine runs i386 programs (runs-i386-programs.sh, with its
# arguments): the probe's words ("natively", "under qemu-i386 VERSION", or
# why not) and its exit status.
probe_i386() {
  bash "$i386_probe" "$@"
}

# The release's codename (bookworm) and the mirror its sources name.
release_codename() {
  local codename
  codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  echo "${codename:-bookworm}"
}
release_mirror() {
  local uri
  uri=$(grep -hs -m 1 -E '^URIs:' "$apt_dir"/sources.list.d/*.sources | awk '{print $2}')
  [[ -n $uri ]] || uri=$(grep -hs -m 1 -E '^deb ' "$apt_dir"/sources.list "$apt_dir"/sources.list.d/*.list | awk '{print $2}')
  echo "${uri:-http://deb.debian.org/debian}"
}

# Adds the backports suite's source unless a source names it already; prints
# the file written (nothing when a source names it), fails when it cannot.
add_backports_source() {
  local suite=$1
  local listed
  listed=$(cat "$apt_dir"/sources.list "$apt_dir"/sources.list.d/*.list "$apt_dir"/sources.list.d/*.sources \
    2>/dev/null | grep -v '^[[:space:]]*#' || true)
  grep -qw -- "$suite" <<<"$listed" && return 0
  local file=$apt_dir/sources.list.d/korvane-$suite.sources
  {
    echo "# Added by korvane's scripts/install-deps.sh for qemu-user; remove this file to undo."
    echo "Types: deb"
    echo "URIs: $(release_mirror)"
    echo "Suites: $suite"
    echo "Components: main"
    # Without the keyring file apt takes its own keys; its absence is no failure.
    if [[ -f $apt_keyring ]]; then echo "Signed-By: $apt_keyring"; fi
  } >"$file" || return 1
  echo "$file"
}

# Succeeds when the qemu-i386 installed can serve Wine.
qemu_serves() {
  probe_i386 --emulator "$qemu_i386" >/dev/null
}

# The kernel's handlers are set in binfmt_misc's own file system, which need
# not be mounted yet.
mount_binfmt_misc() {
  [[ -e $binfmt_dir/register ]] && return 0
  local output
  output=$(mount -t binfmt_misc binfmt_misc "$binfmt_dir" 2>&1) && [[ -e $binfmt_dir/register ]] && return 0
  echo "binfmt_misc cannot be mounted at $binfmt_dir (an unprivileged container?): ${output:-no register file after mounting}"
  return 1
}

# Registers the handler, in place of an earlier one of the same name.
register_i386_handler() {
  local output
  if [[ -e $binfmt_dir/qemu-i386 ]] && ! output=$( (echo -1 >"$binfmt_dir/qemu-i386") 2>&1); then
    echo "the earlier qemu-i386 handler cannot be removed: ${output##*: }"
    return 1
  fi
  if ! output=$( (printf '%s' ":qemu-i386:M::$i386_magic:$i386_mask:$qemu_i386:F" >"$binfmt_dir/register") 2>&1); then
    echo "the kernel refused the qemu-i386 handler: ${output##*: }"
    return 1
  fi
  echo "Registered the binfmt_misc handler qemu-i386 for 32-bit programs: $qemu_i386" >&3
}

# Installs qemu-user from the release's backports suite (the release's own
# may be too old), unless one that serves is installed already.
install_qemu_user() {
  qemu_serves && return 0
  local suite added
  suite=$(release_codename)-backports
  if ! added=$(add_backports_source "$suite"); then
    echo "the apt source for $suite cannot be written in $apt_dir/sources.list.d"
    return 1
  fi
  [[ -z $added ]] || apt_lists_stale
  apt_update
  echo "Installing: qemu-user (from $suite)" >&3
  if ! apt_install -t "$suite" qemu-user; then
    echo "installing qemu-user from $suite failed: $(apt_first_error)"
    # Leave no source behind that cannot serve.
    if [[ -n $added ]]; then
      rm -f "$added"
      apt_lists_stale
    fi
    return 1
  fi
  if ! qemu_serves; then
    echo "qemu-user from $suite cannot serve: $(probe_i386 --emulator "$qemu_i386")"
    return 1
  fi
}

# Makes this machine run i386 programs where it does not, or only under an
# old qemu; succeeds when it runs them, natively or emulated.
set_up_i386_route() {
  local route status=0
  route=$(probe_i386) || status=$?
  case $status in
    0) return 0 ;;
    1 | 3) ;;
    *)
      echo "$route"
      return 1
      ;;
  esac
  mount_binfmt_misc && install_qemu_user && register_i386_handler || return 1
  route=$(probe_i386) && return 0
  echo "after registering qemu-user's handler: $route"
  return 1
}

# Succeeds when WINE32 (wine32:i386) is to join the 64-bit Wine packages in
# their apt-get call, on a machine that runs i386 programs: when it is not
# installed. Then it adds the i386 architecture to dpkg where it is not there.
wine32_wanted() {
  local wine32=$1
  installed "$wine32" && return 1
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt_lists_stale
  fi
}

# Checks WINE32, just installed, for the Wine loaders (32-bit and 64-bit).
wine32_loaders_there() {
  local wine32=$1
  local loader why=''
  for loader in wine wine64; do
    [[ -x $wine_loaders/$loader ]] || why="$wine32 was installed, yet there is no Wine loader $wine_loaders/$loader"
  done
  [[ -z $why ]] || { echo "$why" && return 1; }
}
