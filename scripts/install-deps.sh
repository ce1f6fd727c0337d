#!/usr/bin/env bash
# Installs the Debian packages that building and testing need. As root it
# installs what is missing; otherwise it names the missing packages and stops.
set -euo pipefail

# The 32-bit DLL is built with the i686 cross compiler. The run-time tests
# under Wine use a 64-bit build of the same sources and wine64: these machines'
# kernels run no 32-bit code, so 32-bit Wine cannot start here.
packages=(cmake ninja-build g++ clang libgtest-dev libgmock-dev libbenchmark-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb
          # Screenshots of tarnwell's window ('import'), and Japanese glyphs in it.
          imagemagick fonts-ipafont-gothic
          # korvane's arguments and JSON; memcheck of the host tests.
          libcli11-dev nlohmann-json3-dev valgrind)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them as root (apt-get update; apt-get install ${missing[*]})." >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
