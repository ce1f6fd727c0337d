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
# That is the i386 route, in scripts/i386-route.sh, which says how it changes
# the machine (where the kernel runs no 32-bit code: an apt source for the
# release's backports suite, qemu-user from it, a binfmt_misc handler, the
# i386 architecture for dpkg) and how to undo it.
# None of it is a requirement: where a step fails, the 32-bit Wine tests are
# skipped, and this script says in one line which step failed.
#
# Exit status: 0 every package of MODE is installed; 1 some are still missing
# (named on standard error); 64 usage error.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=i386-route.sh
source "$here/i386-route.sh"

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
  # Authenticode signatures, when a certificate is given.
  osslsigncode
  # The Python module's wheels, built offline by Debian's python3 -m build
  # with its setuptools and wheel (package/wheel/build_wheels.sh).
  python3 python3-build python3-setuptools python3-wheel
)
test_packages=(
  "${package_packages[@]}"
  # The sanitizer, fuzzer and coverage builds. clang only recommends its
  # run-time libraries (ASan, UBSan, TSan, libFuzzer, profiling), without
  # which nothing links; llvm has llvm-profdata and llvm-cov.
  libclang-rt-14-dev
  libgtest-dev libgmock-dev
  # The package's proof: the C# example compiled by Mono's compiler, the
  # Python module byte-compiled (python3, above), the DLL's version resource
  # read; and the examples run on the host: the C# ones under Mono's runtime.
  mono-mcs mono-runtime
  # The wheels' proof: pip installs them; their version is checked against
  # PEP 440 with python3-packaging.
  python3-pip python3-packaging
  # The signing round trip: a throw-away CA and code-signing certificate.
  openssl
  # The package's proof also builds a program with its pkg-config file's flags.
  pkg-config
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

mapfile -t missing < <(missing_of "${packages[@]}")

if [[ $(id -u) -ne 0 ]]; then
  if [[ ${#missing[@]} -gt 0 ]]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them as root (apt-get update; apt-get install --no-install-recommends ${missing[*]})," >&2
    echo "or run this command as root." >&2
    exit 1
  fi
  if [[ $mode == test ]]; then
    if ! route=$(probe_i386); then
      echo "note: the 32-bit Wine tests will be skipped: $route (as root, this command sets up qemu-user's emulation)" >&2
    elif ! installed "$wine32"; then
      echo "note: this machine runs 32-bit programs, but $wine32 is not installed: the 32-bit Wine tests will be skipped" >&2
      echo "      (as root: dpkg --add-architecture i386; apt-get update; apt-get install wine wine64 $wine32)" >&2
    fi
  fi
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
apt_tmp=$(mktemp -d "${TMPDIR:-/tmp}/korvane-apt.XXXXXX")
trap 'rm -rf "$apt_tmp"' EXIT
# apt-get's output, and the memo of apt_update: the file lists-fresh is there
# from an update on until something makes the package lists stale (a source
# added or taken back, an architecture added: apt_lists_stale). A file, so
# that it holds for the i386 route's steps too, which run inside $(...).
readonly apt_log=$apt_tmp/log apt_fresh=$apt_tmp/lists-fresh

# One index that cannot be fetched (a mirror caught mid-sync, a foreign
# architecture's list missing) fails apt-get update while the other lists
# arrive: what counts is whether the packages install.
apt_update() {
  [[ -e $apt_fresh ]] && return 0
  : >"$apt_fresh"
  if ! apt-get update -qq >"$apt_log" 2>&1; then
    echo "warning: apt-get update failed for some package lists; installing from those it has:" >&2
    grep -E '^(E|W):' "$apt_log" | head -n 5 | sed 's/^/  | /' >&2 || true
  fi
}

apt_install() {
  apt-get install -y -qq --no-install-recommends "$@" >"$apt_log" 2>&1
}

apt_lists_stale() {
  rm -f "$apt_fresh"
}

# The first error of the last apt-get install.
apt_first_error() {
  grep -m 1 '^E:' "$apt_log" || echo "apt-get install failed"
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

if [[ $mode != test ]]; then
  install_missing "${packages[@]}"
else
  install_missing "${test_packages[@]}"
  # Why the 32-bit Wine tests will be skipped; empty while they will not. The
  # route's progress lines come on file descriptor 3 (scripts/i386-route.sh).
  { wine32_skip=$(set_up_i386_route) || true; } 3>&1
  want_wine32=0
  wine_wanted=("${wine_packages[@]}")
  if [[ -z $wine32_skip ]] && wine32_wanted "$wine32"; then
    want_wine32=1
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
        wine32_skip="installing $wine32 failed: $(apt_first_error)"
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
    wine32_skip=$(wine32_loaders_there "$wine32") || true
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
