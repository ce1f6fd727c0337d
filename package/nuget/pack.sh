#!/usr/bin/env bash
# Makes the NuGet package Korvane, and its symbols package, with dotnet pack:
#
#   pack.sh VERSION FILE_VERSION NATIVE_DIR OUT_DIR
#
# VERSION is the build's (1.2.0, 1.2.0-dev+gCOMMIT), FILE_VERSION the numeric
# version of its resources (1.2.0.7); NATIVE_DIR holds win-x86/KORVANE.dll and
# win-x64/KORVANE.dll, as the zips ship them. Writes OUT_DIR/Korvane.V.nupkg
# and .snupkg, V being VERSION without its build metadata (NuGet drops it from
# the file name, and keeps it in the package). Where dotnet is missing, says
# so in one line and makes nothing.
set -euo pipefail
if [[ $# -ne 4 ]]; then
  echo "usage: $0 VERSION FILE_VERSION NATIVE_DIR OUT_DIR" >&2
  exit 2
fi
version=$1 file_version=$2 native=$(cd "$3" && pwd) out=$4
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v dotnet >/dev/null; then
  echo "Not making the NuGet package: dotnet is not installed"
  exit 0
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/korvane-pack.XXXXXX")
trap 'rm -rf "$work"' EXIT
commit=$(git -C "$here" rev-parse HEAD 2>/dev/null || true)
# The build's output goes to the work folder, none into the source tree.
dotnet pack "$here/Korvane.Interop.csproj" --nologo -v quiet -c Release -o "$out" --artifacts-path "$work" \
  "-p:KorvaneVersion=$version" "-p:KorvaneFileVersion=$file_version" "-p:KorvaneNativeDir=$native" \
  "-p:KorvaneCommit=$commit"
