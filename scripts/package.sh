#!/usr/bin/env bash
# Makes the packages a Windows developer downloads, with CPack:
#
#   build/win32/korvane-VERSION-win32.zip        the 32-bit DLL, its tools, header, import libraries, examples
#   build/win32/korvane-VERSION-win32-debug.zip  the debug information of its three binaries
#   build/win64/korvane-VERSION-win64.zip        the same for 64-bit programs
#   build/win64/korvane-VERSION-win64-debug.zip
#
# each with a .sha256 beside it, and from their DLLs the NuGet package and the
# Python wheels (language-packages.sh):
#
#   build/packages/Korvane.VERSION.nupkg, .snupkg
#   build/packages/korvane-VERSION-py3-none-win32.whl, -win_amd64.whl
#
# The binaries are signed (Authenticode,
# SHA-256) when a certificate is given in the environment:
#
#   KORVANE_SIGN_PFX=code-signing.pfx KORVANE_SIGN_PASSWORD_FILE=password.txt \
#   [KORVANE_SIGN_TIMESTAMP_URL=http://timestamp.example] bash scripts/package.sh
#
# and otherwise zipped unsigned, which one line says. Installs what that needs
# when run as root (install-deps.sh package): the tests and Wine are not
# needed for it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh package
for preset in win32 win64; do
  cmake --preset "$preset" -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCHMARKS=OFF >/dev/null
  cmake --build --preset "$preset" --target package
done
ls -l build/win32/korvane-*-win32*.zip* build/win64/korvane-*-win64*.zip*
bash scripts/language-packages.sh
