#!/usr/bin/env bash
# Runs scripts/install-deps.sh against fake apt-get, dpkg, dpkg-query, id and
# mount, a fake binfmt_misc folder and qemu-i386, and a fake as/ld whose "i386
# program" runs natively, under the registered emulator, or not at all: which
# packages each mode installs, when 32-bit Wine joins the 64-bit packages,
# how the emulation is set up, what happens when an index, a package or a
# step of the set-up fails, and what it says.
#
#   install_deps_test.sh PATH/TO/install-deps.sh
set -uo pipefail
script=${1:?usage: $0 PATH/TO/install-deps.sh}
work=$(mktemp -d "${TMPDIR:-/tmp}/install-deps-test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
fake=$work/bin
mkdir -p "$fake"

# Installed packages: one per line in $FAKE_STATE/installed ("*" stands for
# every package), less those in $FAKE_STATE/absent. Called as
# dpkg-query -W -f=FORMAT PACKAGE..., it prints NAME:ARCH and the status of
# each installed one.
cat >"$fake/dpkg-query" <<'EOF'
#!/bin/sh
shift 2
exec awk -v list="$*" '
  FILENAME == ARGV[1] { installed[$0] = 1; next }
  { absent[$0] = 1 }
  END {
    n = split(list, packages, " ")
    for (i = 1; i <= n; i++) {
      p = packages[i]
      if ((p in installed || "*" in installed) && !(p in absent))
        print (p ~ /:/ ? p : p ":amd64") " install ok installed"
    }
  }' "$FAKE_STATE/installed" "$FAKE_STATE/absent"
EOF
cat >"$fake/apt-get" <<'EOF'
#!/usr/bin/env bash
case $1 in
  update)
    echo update >>"$FAKE_STATE/calls"
    if [[ -e $FAKE_STATE/update-fails ]]; then
      echo "E: Failed to fetch http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages"
      exit 100
    fi
    ;;
  install)
    shift
    packages=() suite=''
    while [[ $# -gt 0 ]]; do
      case $1 in
        -t) suite=$2 && shift ;;
        -*) ;;
        *) packages+=("$1") ;;
      esac
      shift
    done
    echo "install${suite:+ -t $suite}: ${packages[*]}" >>"$FAKE_STATE/calls"
    if [[ -n $suite ]] && { [[ -e $FAKE_STATE/backports-unreachable ]] ||
      ! grep -qsw "$suite" "$FAKE_STATE"/apt/sources.list.d/*; }; then
      echo "E: The value '$suite' is invalid for APT::Default-Release as such a release is not available in the sources"
      exit 100
    fi
    for p in "${packages[@]}"; do
      if grep -qxF -- "$p" "$FAKE_STATE/uninstallable"; then
        echo "E: Unable to correct problems, you have held broken packages ($p)"
        exit 100
      fi
    done
    for p in "${packages[@]}"; do
      echo "$p" >>"$FAKE_STATE/installed"
      sed -i "/^$p\$/d" "$FAKE_STATE/absent"
      case $p in
        wine64) touch "$FAKE_STATE/loaders/wine64" && chmod +x "$FAKE_STATE/loaders/wine64" ;;
        wine32:i386)
          [[ -e $FAKE_STATE/no-32-bit-loader ]] || { touch "$FAKE_STATE/loaders/wine" && chmod +x "$FAKE_STATE/loaders/wine"; } ;;
        # The release's own qemu-user is 7.2, backports' 10.
        qemu-user) echo "${suite:+10.0.2}${suite:-7.2.0}" >"$FAKE_STATE/qemu-version" ;;
      esac
    done
    ;;
  *) exit 1 ;;
esac
EOF
cat >"$fake/dpkg" <<'EOF'
#!/usr/bin/env bash
case $1 in
  --print-foreign-architectures) cat "$FAKE_STATE/foreign" ;;
  --add-architecture) echo "add-architecture $2" >>"$FAKE_STATE/calls" && echo "$2" >>"$FAKE_STATE/foreign" ;;
  *) exit 1 ;;
esac
EOF
cat >"$fake/id" <<'EOF'
#!/usr/bin/env bash
cat "$FAKE_STATE/uid"
EOF
cat >"$fake/as" <<'EOF'
#!/usr/bin/env bash
while [[ $# -gt 0 && $1 != -o ]]; do shift; done
: >"$2"
EOF
# The linked "i386 program" exits 42 where this fake machine runs i386 code.
# Elsewhere the kernel hands it to the handler last registered (its line in
# the register file), or else to a handler there before the run, which pins
# a qemu of version $FAKE_STATE/pinned-version; with neither it fails as the
# kernel's refusal would look.
cat >"$fake/ld" <<'EOF'
#!/usr/bin/env bash
while [[ $# -gt 0 && $1 != -o ]]; do shift; done
cat >"$2" <<'PROBE'
#!/usr/bin/env bash
[[ -e $FAKE_STATE/runs-i386 ]] && exit 42
binfmt=$FAKE_STATE/binfmt
registered=$(sed -n 's/^:qemu-i386:M::.*:\([^:]*\):F$/\1/p' "$binfmt/register" 2>/dev/null)
if [[ -n $registered ]]; then
  exec "$registered" "$0"
elif [[ $(head -n 1 "$binfmt/qemu-i386" 2>/dev/null) == enabled ]]; then
  [[ -n ${QEMU_VERSION:-} ]] && echo "qemu-i386 version $(cat "$FAKE_STATE/pinned-version") (Debian fake)"
  exit 0
fi
echo "$0: cannot execute binary file: Exec format error" >&2
exit 126
PROBE
chmod +x "$2"
EOF
# mount -t binfmt_misc binfmt_misc DIR: the kernel's register file appears.
cat >"$fake/mount" <<'EOF'
#!/usr/bin/env bash
if [[ -e $FAKE_STATE/binfmt-unmountable ]]; then
  echo "mount: ${!#}: permission denied." >&2
  exit 32
fi
: >"${!#}/register"
EOF
# qemu-i386 as installed: with QEMU_VERSION set it prints its version, as the
# real one does, instead of running the program.
cat >"$fake/qemu-i386" <<'EOF'
#!/usr/bin/env bash
[[ -s $FAKE_STATE/qemu-version ]] || { echo "$0: No such file or directory" >&2; exit 127; }
if [[ -n ${QEMU_VERSION:-} ]]; then
  echo "qemu-i386 version $(cat "$FAKE_STATE/qemu-version") (Debian fake)"
  exit 0
fi
exit 42
EOF
chmod +x "$fake"/*

demo_packages='g++ cmake ninja-build libcli11-dev nlohmann-json3-dev'

# One case per row:
#   name | arguments | uid | i386: yes (the kernel runs it)/no | setup | exit status | apt calls | output
# setup (comma-separated): installed=none|demo|all (all: every package),
#   absent=PACKAGE, uninstallable=PACKAGE, update-fails, no-32-bit-loader;
#   for the emulation: qemu=VERSION (qemu-user installed), handler=VERSION
#   (a qemu-i386 handler registered, pinning that version), binfmt-unmountable,
#   register-refused, backports-listed (a source names the suite),
#   backports-commented (sources.list names it in a comment only),
#   backports-unreachable, no-keyring (the archive's keyring file missing).
# apt calls: the apt-get and dpkg --add-architecture calls in order, each a
#   glob, separated by ';'; '-' for none.
# output: globs, separated by ';', each of which some line of the output must
#   match; '!' before one: no line may. After the run, lines "state: source
#   FILE" (each file of sources.list.d), "state: handler LINE" (what was
#   registered) and "state: earlier handler removed" join the output.
skip_note='note: the 32-bit Wine tests will be skipped:'
cases=(
  "demo installs only the demo's packages | demo | 0 | yes | installed=none | 0
   | update;install: $demo_packages | Installing: $demo_packages;!*wine*"
  "demo with the demo's packages installed installs nothing | demo | 0 | yes | installed=demo | 0
   | - | !Installing*"
  "demo on a machine that runs no i386: no emulation | demo | 0 | no | installed=demo | 0
   | - | !state: handler*;!state: source korvane*"
  "package adds the cross compilers, the LLVM tools and the wheels' builders, no test tools | package | 0 | yes | installed=demo | 0
   | update;install: g++-mingw-w64-i686 g++-mingw-w64-x86-64 clang lld llvm osslsigncode python3 python3-build python3-setuptools python3-wheel
   | !*wine*;!*gtest*;!*python3-pip*"
  "test on a machine that runs i386: wine32 with wine64, in one call, no emulation | test | 0 | yes | installed=none | 0
   | update;install: g++ * clang lld llvm osslsigncode python3 python3-build python3-setuptools python3-wheel libclang-rt-14-dev * mono-mcs mono-runtime python3-pip python3-packaging * valgrind;add-architecture i386;update;install: wine wine64 wine32:i386
   | !*skipped*;!state: handler*;!state: source korvane*"
  "no i386 in the kernel: qemu-user from backports, the handler, then wine32 | test | 0 | no | installed=none | 0
   | update;install: g++ * valgrind;update;install -t bookworm-backports: qemu-user;add-architecture i386;update;install: wine wine64 wine32:i386
   | Registered the binfmt_misc handler qemu-i386 *;state: source korvane-bookworm-backports.sources;
     state: handler :qemu-i386:M::*:*/qemu-i386:F;!*skipped*"
  "a handler serving with qemu 10 is left alone | test | 0 | no | installed=all,absent=wine32:i386,handler=10.0.2 | 0
   | add-architecture i386;update;install: wine32:i386 | !Registered*;!state: handler*;!*skipped*"
  "a handler pinning qemu 7.2 while 10 is installed: registered again, nothing fetched | test | 0 | no
   | installed=all,handler=7.2.0,qemu=10.0.2 | 0 | - | state: earlier handler removed;state: handler :qemu-i386:*;!*skipped*"
  "the release's qemu 7.2 installed: backports' instead | test | 0 | no | installed=all,qemu=7.2.0 | 0
   | update;install -t bookworm-backports: qemu-user | Registered*;!*skipped*"
  "a source names backports already: no file of ours | test | 0 | no | installed=all,backports-listed | 0
   | update;install -t bookworm-backports: qemu-user | !state: source korvane*;Registered*;!*skipped*"
  "a source that names backports in a comment only: ours added | test | 0 | no | installed=all,backports-commented | 0
   | update;install -t bookworm-backports: qemu-user | state: source korvane-bookworm-backports.sources;Registered*"
  "backports unreachable: skipped, our source taken back | test | 0 | no | installed=all,backports-unreachable | 0
   | update;install -t bookworm-backports: qemu-user
   | $skip_note installing qemu-user from bookworm-backports failed: E: *;!state: source korvane*;!state: handler*"
  "no archive keyring: the source is written without Signed-By and serves | test | 0 | no | installed=all,no-keyring | 0
   | update;install -t bookworm-backports: qemu-user | state: source korvane-bookworm-backports.sources;Registered*;!*skipped*"
  "binfmt_misc not mountable: skipped, nothing fetched | test | 0 | no | installed=all,binfmt-unmountable | 0
   | - | $skip_note binfmt_misc cannot be mounted at */binfmt (an unprivileged container?): mount: *permission denied."
  "the kernel refuses the handler: skipped | test | 0 | no | installed=all,register-refused,qemu=10.0.2 | 0
   | - | $skip_note the kernel refused the qemu-i386 handler: *"
  "no emulation and no wine32: 64-bit Wine alone | test | 0 | no | installed=none,binfmt-unmountable | 0
   | update;install: g++ * valgrind;install: wine wine64 | $skip_note binfmt_misc cannot be mounted*"
  "wine32 refused: 64-bit Wine alone, the run goes on | test | 0 | yes | installed=none,uninstallable=wine32:i386 | 0
   | update;install: g++ * valgrind;add-architecture i386;update;install: wine wine64 wine32:i386;install: wine wine64
   | $skip_note installing wine32:i386 failed: E: *"
  "wine32 installed without its loader | test | 0 | yes | installed=none,no-32-bit-loader | 0
   | update;install: g++ *;add-architecture i386;update;install: wine wine64 wine32:i386
   | $skip_note wine32:i386 was installed, yet there is no Wine loader */wine"
  "a failed index does not stop the install | test | 0 | no | installed=none,update-fails,binfmt-unmountable | 0
   | update;install: g++ * valgrind;install: wine wine64
   | warning: apt-get update failed*;*E: Failed to fetch*"
  "a package that cannot be installed is named, the others installed | test | 0 | no
   | installed=none,uninstallable=fonts-ipafont-gothic,binfmt-unmountable | 1
   | update;install: g++ * valgrind;install: g++;install: cmake;*;install: valgrind;install: wine wine64
   | install-deps.sh: still missing after the install: fonts-ipafont-gothic"
  "only wine32 missing: installed alone, the i386 lists fetched | test | 0 | yes | installed=all,absent=wine32:i386 | 0
   | add-architecture i386;update;install: wine32:i386 | !*skipped*"
  "everything installed: no apt-get | test | 0 | yes | installed=all | 0 | - | !Installing*"
  "not root: the missing packages named, nothing installed | test | 1000 | yes | installed=demo | 1
   | - | Missing packages: g++-mingw-w64-i686 g++-mingw-w64-x86-64 clang lld llvm osslsigncode python3 python3-build python3-setuptools python3-wheel libclang-rt-14-dev * wine wine64;!*$demo_packages*"
  "not root, all but wine32 on a machine that runs i386: a note, no failure | test | 1000 | yes | installed=all,absent=wine32:i386 | 0
   | - | note: this machine runs 32-bit programs, but wine32:i386 is not installed*"
  "not root on a machine that runs no i386: a note, nothing changed | test | 1000 | no | installed=all | 0
   | - | $skip_note this machine's kernel runs no 32-bit (i386) programs (Exec format error) (as root*;!state: handler*"
  "an unknown mode | everything | 0 | yes | installed=none | 64 | - | usage: *"
)

trim() {
  local s=$1
  s=${s#"${s%%[![:space:]]*}"}
  printf '%s' "${s%"${s##*[![:space:]]}"}"
}

passed=0
failed=0
for row in "${cases[@]}"; do
  row=$(tr '\n' ' ' <<<"$row" | tr -s ' ')
  IFS='|' read -r name mode uid i386 setup status calls expected_output <<<"$row"
  name=$(trim "$name") mode=$(trim "$mode") uid=$(trim "$uid") i386=$(trim "$i386")
  setup=$(trim "$setup") status=$(trim "$status") calls=$(trim "$calls") expected_output=$(trim "$expected_output")

  state=$work/state
  rm -rf "$state" && mkdir -p "$state/loaders"
  : >"$state/installed"
  : >"$state/absent"
  : >"$state/uninstallable"
  : >"$state/calls"
  : >"$state/foreign"
  echo "$uid" >"$state/uid"
  [[ $i386 == yes ]] && touch "$state/runs-i386"
  mkdir -p "$state/apt/sources.list.d" "$state/binfmt"
  printf 'Types: deb\nURIs: http://deb.example/debian\nSuites: bookworm bookworm-updates\n' \
    >"$state/apt/sources.list.d/debian.sources"
  keyring=$state/debian-archive-keyring.gpg
  : >"$keyring"
  IFS=',' read -ra settings <<<"$setup"
  for setting in "${settings[@]}"; do
    case $setting in
      installed=none) ;;
      installed=demo) tr ' ' '\n' <<<"$demo_packages" >"$state/installed" ;;
      installed=all) echo '*' >"$state/installed" ;;
      absent=*) echo "${setting#absent=}" >>"$state/absent" ;;
      uninstallable=*) echo "${setting#uninstallable=}" >>"$state/uninstallable" ;;
      update-fails | no-32-bit-loader | binfmt-unmountable | backports-unreachable) touch "$state/$setting" ;;
      qemu=*) echo "${setting#qemu=}" >"$state/qemu-version" ;;
      handler=*)
        : >"$state/binfmt/register"
        printf 'enabled\ninterpreter /usr/bin/qemu-i386\nflags: F\n' >"$state/binfmt/qemu-i386"
        echo "${setting#handler=}" >"$state/pinned-version"
        ;;
      register-refused) mkdir "$state/binfmt/register" ;;
      no-keyring) keyring=$state/no-such-keyring.gpg ;;
      backports-commented) echo "# deb http://deb.example/debian bookworm-backports main" >"$state/apt/sources.list" ;;
      backports-listed) sed -i 's/^Suites: .*/& bookworm-backports/' "$state/apt/sources.list.d/debian.sources" ;;
      *) echo "bad setup '$setting' in: $name" >&2 && exit 2 ;;
    esac
  done
  # The loaders of the Wine packages installed already.
  for loader in wine:wine32:i386 wine64:wine64; do
    if [[ -n $(FAKE_STATE=$state "$fake/dpkg-query" -W -f= "${loader#*:}") ]]; then
      touch "$state/loaders/${loader%%:*}" && chmod +x "$state/loaders/${loader%%:*}"
    fi
  done

  output=$(FAKE_STATE=$state KORVANE_WINE_LOADER_DIR=$state/loaders KORVANE_APT_DIR=$state/apt KORVANE_APT_KEYRING=$keyring \
    KORVANE_BINFMT_DIR=$state/binfmt KORVANE_QEMU_I386=$fake/qemu-i386 TMPDIR=$work PATH="$fake:$PATH" \
    bash "$script" "$mode" 2>&1)
  actual_status=$?
  for file in "$state"/apt/sources.list.d/*; do output+=$'\n'"state: source ${file##*/}"; done
  [[ -f $state/binfmt/register && -s $state/binfmt/register ]] && output+=$'\n'"state: handler $(cat "$state/binfmt/register")"
  [[ $(cat "$state/binfmt/qemu-i386" 2>/dev/null) == -1 ]] && output+=$'\n'"state: earlier handler removed"

  problems=()
  [[ $actual_status == "$status" ]] || problems+=("exit status $actual_status, expected $status")

  mapfile -t actual_calls <"$state/calls"
  if [[ $calls == - ]]; then
    [[ ${#actual_calls[@]} -eq 0 ]] || problems+=("expected no apt-get call")
  else
    # Each glob matches the next call; a lone '*' stands for any number of calls.
    IFS=';' read -ra globs <<<"$calls"
    i=0
    for g in "${!globs[@]}"; do
      glob=$(trim "${globs[$g]}")
      if [[ $glob == '*' ]]; then
        next=$(trim "${globs[$((g + 1))]:-}")
        # shellcheck disable=SC2053  # the right side is a glob
        while [[ $i -lt ${#actual_calls[@]} && ${actual_calls[$i]} != $next ]]; do i=$((i + 1)); done
        continue
      fi
      # shellcheck disable=SC2053  # the right side is a glob
      if [[ $i -ge ${#actual_calls[@]} || ${actual_calls[$i]} != $glob ]]; then
        problems+=("call $((i + 1)) is '${actual_calls[$i]:-none}', expected '$glob'")
        break
      fi
      i=$((i + 1))
    done
    [[ $i -eq ${#actual_calls[@]} ]] || problems+=("more apt calls than expected, from call $((i + 1)): '${actual_calls[$i]:-}'")
  fi

  IFS=';' read -ra globs <<<"$expected_output"
  for glob in "${globs[@]}"; do
    glob=$(trim "$glob")
    want=1
    [[ $glob == '!'* ]] && want=0 && glob=${glob#!}
    found=0
    while IFS= read -r line; do
      # shellcheck disable=SC2053
      [[ $line == $glob ]] && found=1 && break
    done <<<"$output"
    [[ $found == "$want" ]] || problems+=("$([[ $want == 1 ]] && echo "no" || echo "a") line of the output matches '$glob'")
  done

  if [[ ${#problems[@]} -eq 0 ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name"
    printf '  %s\n' "${problems[@]}"
    echo "  apt calls:"
    sed 's/^/    /' "$state/calls"
    echo "  output:"
    sed 's/^/    /' <<<"$output"
  fi
done

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
