#!/usr/bin/env bash
# Installs the Debian packages that a README command needs:
#
#   install-deps.sh demo     building korvane and running it (scripts/run-sample.sh)
#   install-deps.sh package  making the Windows packages (scripts/package.sh)
#   install-deps.sh test     building everything and running every test (scripts/test.sh,
#                            and the fuzz, tsan, memcheck and coverage scripts)
#
# As root it installs what is missing; otherwise it names the missing packages
# and stops. Packages are installed without the ones they only recommend, so
# every package a command uses is named below.
#
# In test mode it also makes this machine run 32-bit (i386) programs, which
# 32-bit Wine is, and installs 32-bit Wine (wine32:i386) in the same apt-get
# call as the 64-bit Wine packages, since both must come at the same versions.
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
# None of it is a requirement: where a step fails, the 32-bit Wine tests are
# skipped, and this script says in one line which step failed.
#
# Exit status: 0 every package of MODE is installed; 1 some are still missing
# (named on standard error); 64 usage error.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

mode=${1:-test}
case $mode in
  demo | package | test) ;;
  *)
    echo "usage: $0 [demo|package|test]" >&2
    exit 64
    ;;
esac

# C++ compiler, CMake, Ninja; korvane's arguments (CLI11) and JSON.
demo_packages=(g++ cmake ninja-build libcli11-dev nlohmann-json3-dev)
package_packages=(
  "${demo_packages[@]}"
  # The Windows builds.
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  # KORVANE.lib, the import library for Microsoft's linker: clang and
  # lld-link (32-bit), llvm-dlltool in llvm (64-bit).
  clang lld llvm
)
test_packages=(
  "${package_packages[@]}"
  # The sanitizer, fuzzer and coverage builds. clang only recommends its
  # run-time libraries (ASan, UBSan, TSan, libFuzzer, profiling), without
  # which nothing links; llvm has llvm-profdata and llvm-cov.
  libclang-rt-14-dev
  libgtest-dev libgmock-dev
  # The package's proof: the C# example compiled by Mono's compiler, the
  # Python module byte-compiled, the DLL's version resource read; and the
  # examples run on the host: the C# ones under Mono's runtime.
  mono-mcs mono-runtime python3
  # Hives written and read by independent implementations, against which the
  # hive reader is tested: hivex (hivexregedit, and its Python module) and
  # libregf's Python module.
  libwin-hivex-perl python3-hivex python3-libregf
  # tarnwell's window on a virtual X server, screenshots of it ('import'),
  # Japanese glyphs in it, and fc-list, which tells whether they are there.
  xvfb imagemagick fonts-ipafont-gothic fontconfig
  # memcheck of the host tests.
  valgrind
)
# Installed after the others: whether 32-bit Wine joins them depends on the
# probe, which needs binutils (with g++ above).
wine_packages=(wine wine64)
wine32=wine32:i386
# Where Debian's Wine packages put the 32-bit and the 64-bit loader.
wine_loaders=${KORVANE_WINE_LOADER_DIR:-/usr/lib/wine}
# The i386 route: the apt configuration, the kernel's binfmt_misc folder, the
# emulator qemu-user installs, and the handler's magic and mask (an ELF file,
# 32-bit, little-endian, any OS ABI, executable or shared object, machine 3:
# i386).
apt_dir=${KORVANE_APT_DIR:-/etc/apt}
binfmt_dir=${KORVANE_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
qemu_i386=${KORVANE_QEMU_I386:-/usr/bin/qemu-i386}
readonly i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
readonly i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

packages=("${demo_packages[@]}")
[[ $mode == package ]] && packages=("${package_packages[@]}")
[[ $mode == test ]] && packages=("${test_packages[@]}" "${wine_packages[@]}")

# Prints those of the packages given (NAME, or NAME:ARCH) that are not installed.
missing_of() {
  local -A have=()
  local name_arch status p
  # One line per known instance, NAME:ARCH STATUS (ARCH "all" for packages
  # that fit every architecture); packages dpkg never heard of give none.
  while read -r name_arch status; do
    [[ $status == "install ok installed" ]] && have[$name_arch]=1 && have[${name_arch%%:*}]=1
  done < <(dpkg-query -W -f='${Package}:${Architecture} ${Status}\n' "$@" 2>/dev/null || true)
  for p in "$@"; do
    [[ -n ${have[$p]:-} ]] || echo "$p"
  done
}

installed() {
  [[ -z $(missing_of "$1") ]]
}

# How this machine runs i386 programs: i386_route holds the probe's words
# ("natively", "under qemu-i386 VERSION") when it runs them; i386_status is
# the probe's exit status.
i386_route=''
i386_status=0
probe_i386() {
  i386_status=0
  i386_route=$(bash "$here/runs-i386-programs.sh") || i386_status=$?
}

mapfile -t missing < <(missing_of "${packages[@]}")

if [[ $(id -u) -ne 0 ]]; then
  if [[ ${#missing[@]} -gt 0 ]]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them as root (apt-get update; apt-get install --no-install-recommends ${missing[*]})," >&2
    echo "or run this command as root." >&2
    exit 1
  fi
  if [[ $mode == test ]]; then
    probe_i386
    if [[ $i386_status -ne 0 ]]; then
      echo "note: the 32-bit Wine tests will be skipped: $i386_route (as root, this command sets up qemu-user's emulation)" >&2
    elif ! installed "$wine32"; then
      echo "note: this machine runs 32-bit programs, but $wine32 is not installed: the 32-bit Wine tests will be skipped" >&2
      echo "      (as root: dpkg --add-architecture i386; apt-get update; apt-get install wine wine64 $wine32)" >&2
    fi
  fi
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
apt_log=$(mktemp "${TMPDIR:-/tmp}/korvane-apt.XXXXXX")
trap 'rm -f "$apt_log"' EXIT

# One index that cannot be fetched (a mirror caught mid-sync, a foreign
# architecture's list missing) fails apt-get update while the other lists
# arrive: what counts is whether the packages install.
lists_fresh=0
apt_update() {
  [[ $lists_fresh == 1 ]] && return 0
  lists_fresh=1
  if ! apt-get update -qq >"$apt_log" 2>&1; then
    echo "warning: apt-get update failed for some package lists; installing from those it has:" >&2
    grep -E '^(E|W):' "$apt_log" | head -n 5 | sed 's/^/  | /' >&2 || true
  fi
}

apt_install() {
  apt-get install -y -qq --no-install-recommends "$@" >"$apt_log" 2>&1
}

show_apt_errors() {
  grep -E '^E:' "$apt_log" | head -n 5 | sed 's/^/  | /' >&2 || true
}

# Installs the missing ones of the packages given. When the whole lot fails,
# each is tried on its own, so that one package that cannot be installed
# keeps back no other.
install_missing() {
  local todo
  mapfile -t todo < <(missing_of "$@")
  [[ ${#todo[@]} -eq 0 ]] && return 0
  apt_update
  echo "Installing: ${todo[*]}"
  apt_install "${todo[@]}" && return 0
  echo "warning: installing them together failed; trying one at a time:" >&2
  show_apt_errors
  local p
  for p in $(missing_of "${todo[@]}"); do
    apt_install "$p" || true
  done
}

# ---- The i386 route: qemu-user's emulation where the kernel runs no i386 code.

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

# Adds the backports suite's source unless a source names it already; sets
# added_source to the file written.
added_source=''
add_backports_source() {
  local suite=$1
  local listed
  listed=$(cat "$apt_dir"/sources.list "$apt_dir"/sources.list.d/*.list "$apt_dir"/sources.list.d/*.sources \
    2>/dev/null | grep -v '^[[:space:]]*#' || true)
  grep -qw -- "$suite" <<<"$listed" && return 0
  local file=$apt_dir/sources.list.d/korvane-$suite.sources keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  {
    echo "# Added by korvane's scripts/install-deps.sh for qemu-user; remove this file to undo."
    echo "Types: deb"
    echo "URIs: $(release_mirror)"
    echo "Suites: $suite"
    echo "Components: main"
    [[ -f $keyring ]] && echo "Signed-By: $keyring"
  } >"$file" || return 1
  added_source=$file
  lists_fresh=0
}

# Succeeds when the qemu-i386 installed can serve Wine.
qemu_serves() {
  bash "$here/runs-i386-programs.sh" --emulator "$qemu_i386" >/dev/null
}

# Each step of the set-up that fails sets wine32_skip to what failed and
# returns 1.
wine32_skip=''

# The kernel's handlers are set in binfmt_misc's own file system, which need
# not be mounted yet.
mount_binfmt_misc() {
  [[ -e $binfmt_dir/register ]] && return 0
  local output
  output=$(mount -t binfmt_misc binfmt_misc "$binfmt_dir" 2>&1) && [[ -e $binfmt_dir/register ]] && return 0
  wine32_skip="binfmt_misc cannot be mounted at $binfmt_dir (an unprivileged container?): ${output:-no register file after mounting}"
  return 1
}

# Registers the handler, in place of an earlier one of the same name.
register_i386_handler() {
  local output
  if [[ -e $binfmt_dir/qemu-i386 ]] && ! output=$( (echo -1 >"$binfmt_dir/qemu-i386") 2>&1); then
    wine32_skip="the earlier qemu-i386 handler cannot be removed: ${output##*: }"
    return 1
  fi
  if ! output=$( (printf '%s' ":qemu-i386:M::$i386_magic:$i386_mask:$qemu_i386:F" >"$binfmt_dir/register") 2>&1); then
    wine32_skip="the kernel refused the qemu-i386 handler: ${output##*: }"
    return 1
  fi
  echo "Registered the binfmt_misc handler qemu-i386 for 32-bit programs: $qemu_i386"
}

# Installs qemu-user from the release's backports suite (the release's own
# may be too old), unless one that serves is installed already.
install_qemu_user() {
  qemu_serves && return 0
  local suite
  suite=$(release_codename)-backports
  if ! add_backports_source "$suite"; then
    wine32_skip="the apt source for $suite cannot be written in $apt_dir/sources.list.d"
    return 1
  fi
  apt_update
  echo "Installing: qemu-user (from $suite)"
  if ! apt_install -t "$suite" qemu-user; then
    wine32_skip="installing qemu-user from $suite failed: $(grep -m 1 '^E:' "$apt_log" || echo "apt-get install failed")"
    # Leave no source behind that cannot serve.
    if [[ -n $added_source ]]; then
      rm -f "$added_source"
      lists_fresh=0
    fi
    return 1
  fi
  if ! qemu_serves; then
    wine32_skip="qemu-user from $suite cannot serve: $(bash "$here/runs-i386-programs.sh" --emulator "$qemu_i386")"
    return 1
  fi
}

# Makes this machine run i386 programs where it does not, or only under an
# old qemu; sets wine32_skip where it cannot.
set_up_i386_route() {
  probe_i386
  case $i386_status in
    0) return 0 ;;
    1 | 3) ;;
    *)
      wine32_skip=$i386_route
      return 0
      ;;
  esac
  mount_binfmt_misc && install_qemu_user && register_i386_handler || return 0
  probe_i386
  [[ $i386_status -eq 0 ]] || wine32_skip="after registering qemu-user's handler: $i386_route"
}

if [[ $mode != test ]]; then
  install_missing "${packages[@]}"
else
  install_missing "${test_packages[@]}"
  set_up_i386_route
  want_wine32=0
  [[ -z $wine32_skip ]] && ! installed "$wine32" && want_wine32=1
  wine_wanted=("${wine_packages[@]}")
  if [[ $want_wine32 == 1 ]]; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
      lists_fresh=0
    fi
    wine_wanted+=("$wine32")
  fi
  mapfile -t wine_todo < <(missing_of "${wine_wanted[@]}")
  if [[ ${#wine_todo[@]} -gt 0 ]]; then
    apt_update
    echo "Installing: ${wine_todo[*]}"
    if ! apt_install "${wine_todo[@]}"; then
      if [[ $want_wine32 == 1 ]]; then
        # The 32-bit and 64-bit packages must match to the version; when the
        # i386 lists lag behind, apt refuses them together. 64-bit Wine alone
        # still runs the 64-bit build's tests.
        wine32_skip="installing $wine32 failed: $(grep -m 1 '^E:' "$apt_log" || echo "apt-get install failed")"
        mapfile -t wine_todo < <(missing_of "${wine_packages[@]}")
        if [[ ${#wine_todo[@]} -gt 0 ]]; then
          echo "Installing without $wine32: ${wine_todo[*]}"
          apt_install "${wine_todo[@]}" || show_apt_errors
        fi
      else
        show_apt_errors
      fi
    fi
  fi
  if [[ $want_wine32 == 1 && -z $wine32_skip ]]; then
    for loader in wine wine64; do
      if [[ ! -x $wine_loaders/$loader ]]; then
        wine32_skip="$wine32 was installed, yet there is no Wine loader $wine_loaders/$loader"
      fi
    done
  fi
  if [[ -n $wine32_skip ]]; then
    echo "note: the 32-bit Wine tests will be skipped: $wine32_skip"
  fi
fi

mapfile -t missing < <(missing_of "${packages[@]}")
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "install-deps.sh: still missing after the install: ${missing[*]}" >&2
  show_apt_errors
  echo "Check the package sources (apt-get update must find these packages), then run this again." >&2
  exit 1
fi
