#!/usr/bin/env bash
# Makes the NuGet package and the Python wheels, in build/packages, from the
# DLLs of the two zips that `cmake --build --preset win32|win64 --target
# package` made (signed, where those were):
#
#   build/packages/Korvane.VERSION.nupkg, Korvane.VERSION.snupkg
#   build/packages/korvane-VERSION-py3-none-win32.whl, -py3-none-win_amd64.whl
#
# (the wheels' VERSION in Python's spelling: 1.2.0.dev0+gCOMMIT for
# 1.2.0-dev+gCOMMIT). Without dotnet, the NuGet package is skipped in one line.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/lib/build-version.sh
version=$(build_version win32)
file_version=$(build_version win32 KORVANE_FILE_VERSION)
if [[ -z $version || $version != "$(build_version win64)" ]]; then
  echo "language-packages.sh: the win32 and win64 builds are not of one version; build both packages again" >&2
  exit 1
fi
out=build/packages
rm -rf "$out"
for pair in win32:win-x86 win64:win-x64; do
  arch=${pair%:*} rid=${pair#*:}
  mkdir -p "$out/native/$rid"
  cmake -E chdir "$out/native/$rid" cmake -E tar xf "$PWD/build/$arch/korvane-$version-$arch.zip" bin/KORVANE.dll
  mv "$out/native/$rid/bin/KORVANE.dll" "$out/native/$rid/" && rmdir "$out/native/$rid/bin"
done

bash package/nuget/pack.sh "$version" "$file_version" "$out/native" "$out"
bash package/wheel/build_wheels.sh "$version" "$out/native/win-x86/KORVANE.dll" "$out/native/win-x64/KORVANE.dll" "$out"
rm -rf "$out/native" "$out/staging"
ls -l "$out"
