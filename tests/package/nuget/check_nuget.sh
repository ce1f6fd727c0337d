#!/usr/bin/env bash
# Proves the NuGet package Korvane as a .NET developer gets it: from a local
# folder feed holding only the package, with the runtimes that load it.
#
#   check_nuget.sh VERSION PACKAGES_DIR
#
# VERSION is the build's; PACKAGES_DIR holds Korvane.*.nupkg and .snupkg
# (scripts/language-packages.sh). It needs the host build (build/host: the
# examples' table and the host library) and the win32 and win64 builds with
# their zips (the DLLs the package must carry, regprep.exe for Wine). Each
# step prints "ok", "FAILED" or "skip" and why; the Wine step is skipped
# where 32-bit Wine cannot run, unless KORVANE_REQUIRE_WINE=1. Exit status 1
# when a step failed. Without dotnet, one line says so and nothing runs.
set -uo pipefail
if [[ $# -ne 2 ]]; then
  echo "usage: $0 VERSION PACKAGES_DIR" >&2
  exit 2
fi
version=$1 packages=$(cd "$2" && pwd)
root=$(cd "$(dirname "$0")/../../.." && pwd)
here=$root/tests/package/nuget
if ! command -v dotnet >/dev/null; then
  echo "skip    the NuGet package: dotnet is not installed"
  exit 0
fi
nuget_version=${version%%+*}  # NuGet's file names drop the build metadata
nupkg=$packages/Korvane.$nuget_version.nupkg
host=$root/build/host/tests/examples
readonly devices_4b31=$'Receipt Printer A, COM3, COM4, OnLine\nReceipt Printer B, COM7, COM8, OffLine'

# shellcheck source=../../wine_harness/wine.sh
source "$root/tests/wine_harness/wine.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/korvane-nuget.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The feed holds the package alone, and only the package comes from it; the
# rest (the test framework, the runtime packs) from nuget.org. Packages are
# unpacked into a folder of the build's, without this package's earlier
# builds: a version already unpacked would be taken again, not the new file.
mkdir -p "$work/feed"
cp "$nupkg" "$work/feed/"
export NUGET_PACKAGES=$root/build/nuget-packages
rm -rf "$NUGET_PACKAGES/korvane"
cat >"$work/nuget.config" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <packageSources>
    <clear />
    <add key="korvane" value="$work/feed" />
    <add key="nuget.org" value="https://api.nuget.org/v3/index.json" />
  </packageSources>
  <packageSourceMapping>
    <packageSource key="korvane"><package pattern="Korvane" /></packageSource>
    <packageSource key="nuget.org"><package pattern="*" /></packageSource>
  </packageSourceMapping>
</configuration>
EOF
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1

# pe_machine FILE: i386 or x86-64, "(.NET)" after it for an assembly; "-" for no PE file.
pe_machine() { python3 "$root/package/pe_header.py" "$1"; }

# list_machines FOLDER: each file under FOLDER, with its machine.
list_machines() {
  local file
  (cd "$1" && find . -type f | sort) | while read -r file; do
    printf '  %-36s %s\n' "${file#./}" "$(pe_machine "$1/$file")"
  done
}

# dotnet_step VERB PROJECT [BOTH...] [-- VERB_ONLY...]: restores from the feed
# with BOTH, then runs VERB with BOTH and VERB_ONLY, its output in the work folder.
dotnet_step() {
  local verb=$1 project=$2
  shift 2
  local both=("-p:KorvaneVersion=$version" "--artifacts-path" "$work/artifacts/$(basename "$project" .csproj)")
  while [[ $# -gt 0 && $1 != -- ]]; do both+=("$1"); shift; done
  [[ $# -gt 0 ]] && shift
  dotnet restore "$project" --configfile "$work/nuget.config" "${both[@]}" >"$work/restore.log" 2>&1 ||
    { cat "$work/restore.log"; return 1; }
  dotnet "$verb" "$project" --no-restore "${both[@]}" "$@"
}

step_files() {
  local listing expected
  listing=$(python3 -m zipfile -l "$nupkg" | awk 'NR > 1 {print $1}' | grep -v -e '^_rels/' -e '^package/' \
    -e '^\[Content_Types\]' | sort)
  expected=$(printf '%s\n' Korvane.nuspec README.md THIRD-PARTY-NOTICES.txt build/net462/Korvane.targets \
    lib/net462/Korvane.Interop.dll lib/net462/Korvane.Interop.xml lib/netstandard2.0/Korvane.Interop.dll \
    lib/netstandard2.0/Korvane.Interop.xml runtimes/win-x64/native/KORVANE.dll runtimes/win-x86/native/KORVANE.dll | sort)
  [[ $listing == "$expected" ]] || { echo "files:"; echo "$listing"; echo "expected:"; echo "$expected"; return 1; }
  python3 -m zipfile -e "$nupkg" "$work/nupkg" || return 1
  local nuspec=$work/nupkg/Korvane.nuspec
  grep -qF "<version>$version</version>" "$nuspec" || { echo "no version $version in the nuspec"; return 1; }
  grep -q '<license type="file">THIRD-PARTY-NOTICES.txt</license>' "$nuspec" || { echo "no licence file"; return 1; }
  for pair in win32:win-x86:i386 win64:win-x64:x86-64; do
    IFS=: read -r arch rid machine <<<"$pair"
    local dll=$work/nupkg/runtimes/$rid/native/KORVANE.dll
    [[ $(pe_machine "$dll") == "$machine" ]] || { echo "$rid: not $machine"; return 1; }
    python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("bin/KORVANE.dll"))' \
      "$root/build/$arch/korvane-$version-$arch.zip" | cmp -s - "$dll" ||
      { echo "$rid/native/KORVANE.dll is not the $arch zip's bin/KORVANE.dll"; return 1; }
  done
  python3 -m zipfile -l "$packages/Korvane.$nuget_version.snupkg" | grep -q 'lib/net462/Korvane.Interop.pdb' ||
    { echo "no symbols in the .snupkg"; return 1; }
}

step_dotnet_test() {
  KORVANE_EXAMPLE_CASES=$host/example_cases KORVANE_FIXTURES=$root/tests/fixtures KORVANE_VERSION=$version \
    dotnet_step test "$here/cases/Korvane.Tests.csproj" "-p:KorvaneHostDll=$host/as_dll/KORVANE.dll" -- \
    --logger "console;verbosity=normal"
}

step_mono() {
  MCS=mcs MONO=mono python3 "$root/tests/examples/run_examples.py" "$host/example_cases" "$host/libkorvane_host.so" \
    "$host/export_map.txt" "$work/mono" --assembly "$work/nupkg/lib/net462/Korvane.Interop.dll"
}

# publish_for RID FOLDER SELF_CONTAINED: the consumer published for RID into FOLDER.
publish_for() {
  dotnet_step publish "$here/consumer/Consumer.csproj" -r "$1" "-p:SelfContained=$3" -- -o "$2" >&2
}

step_publish() {
  for pair in win-x86:i386 win-x64:x86-64; do
    IFS=: read -r rid machine <<<"$pair"
    local folder=$work/publish-$rid
    publish_for "$rid" "$folder" false || return 1
    echo "$rid:"
    list_machines "$folder"
    [[ $(pe_machine "$folder/KORVANE.dll") == "$machine" && -f $folder/Korvane.Interop.dll ]] || return 1
  done
}

step_framework_consumer() {
  dotnet_step build "$here/framework_consumer/FrameworkConsumer.csproj" >&2 || return 1
  local output=$work/artifacts/FrameworkConsumer/bin/FrameworkConsumer/debug
  for pair in x86:i386 x64:x86-64; do
    IFS=: read -r folder machine <<<"$pair"
    [[ $(pe_machine "$output/$folder/KORVANE.dll") == "$machine" ]] || return 1
  done
  list_machines "$output"
  [[ -f $output/Korvane.Interop.dll && ! -e $output/KORVANE.dll ]]
}

# wine_consumer ARCH RID: the consumer, published self-contained for RID, run
# under ARCH's Wine against Wine's registry loaded with devices.reg; then again
# with KORVANE.dll moved from beside the program into the folder the assembly's
# loader picks by the process's bitness (x86\ or x64\).
wine_consumer() {
  local arch=$1 rid=$2 folder=$work/self-contained-$2 output
  publish_for "$rid" "$folder" true || return 1
  echo "published: $(find "$folder" -type f | wc -l) files, $(du -sm "$folder" | cut -f1) MB"
  wine_setup "$root/build/$arch" "$arch" && wine_load_scenario "$root/build/$arch/bin/regprep.exe" \
    "$root/tests/fixtures/devices.reg" || return 1
  output=$(cd "$folder" && wine_run ./Consumer.exe 4B31 2>&1 | tr -d '\r')
  sed -n 1,12p <<<"$output"  # a crash's first lines, not the debugger's whole report
  if [[ $output == "$devices_4b31" ]]; then
    local bitness=x64
    [[ $rid == win-x86 ]] && bitness=x86
    mkdir "$folder/$bitness" && mv "$folder/KORVANE.dll" "$folder/$bitness/"
    output=$(cd "$folder" && wine_run ./Consumer.exe 4B31 2>&1 | tr -d '\r')
    echo "with $bitness\\KORVANE.dll only:"
    echo "$output"
  fi
  wine_teardown
  [[ $output == "$devices_4b31" ]]
}

step_wine_x64() { wine_consumer win64 win-x64; }

# Where 32-bit code runs under qemu-i386, the .NET runtime does not start
# under 32-bit Wine: the emulator hands Wine memory faults without their kind,
# and the runtime's garbage collector relies on catching them. That is said,
# with the error, as a skip; where 32-bit code runs natively, it must run.
step_wine_x86() {
  wine_consumer win32 win-x86 && return 0
  [[ $(wine_route win32 2>/dev/null) == under\ qemu-i386* ]] || return 1
  echo "the .NET runtime does not start under 32-bit Wine where 32-bit code runs $(wine_route win32)"
  return 77
}

steps=(
  "the package's files                            no   step_files"
  "dotnet test: the table's C# cases on .NET      no   step_dotnet_test"
  "Mono: the table's C# cases, packaged assembly  no   step_mono"
  "dotnet publish -r win-x86 and -r win-x64       no   step_publish"
  ".NET Framework 4.6.2 consumer: x86\\ and x64\\   no   step_framework_consumer"
  "self-contained win-x64 under Wine              win64  step_wine_x64"
  "self-contained win-x86 under 32-bit Wine       win32  step_wine_x86"
)

echo "== $(basename "$nupkg")"
failed=0
for row in "${steps[@]}"; do
  read -r -a words <<<"$row"
  step=${words[-1]} wine=${words[-2]}
  name=${row%%  *}
  if [[ $wine != no ]] && ! reason=$(wine_available "$wine" 2>&1); then
    [[ ${KORVANE_REQUIRE_WINE:-0} == 1 ]] || { echo "skip    $name: ${reason#wine.sh: }"; continue; }
  fi
  status=0
  output=$("$step" 2>&1) || status=$?
  case $status in
    0) echo "ok      $name"; [[ -n ${KORVANE_SHOW_STEPS:-} ]] && sed 's/^/        /' <<<"$output" ;;
    77) echo "skip    $name"; sed 's/^/        /' <<<"$output" ;;
    *) echo "FAILED  $name"; sed 's/^/        /' <<<"$output"; failed=$((failed + 1)) ;;
  esac
done
echo "$failed step(s) failed"
[[ $failed -eq 0 ]]
