#!/usr/bin/env bash
# Proves a package from what is inside it, as an integrator would use it:
# unpacks the zip into an empty folder, then builds and runs the examples
# against the unpacked files only, under Wine against the devices.reg fixture.
#
#   check_package.sh ARCH BUILD_DIR VERSION FILE_VERSION
#
# ARCH is win32 or win64; the package is BUILD_DIR/korvane-VERSION-ARCH.zip;
# VERSION is the build's (1.2.0, 1.2.0-dev+gCOMMIT), FILE_VERSION the numeric
# version of its resources (1.2.0.7).
# The tools come from the environment: MINGW_CC, CLANG, LLD_LINK,
# LLVM_DLLTOOL, MCS, PYTHON3, REGPREP (the test registry's loader), SOURCE_DIR.
# Each step prints "ok", "FAILED" or "skip" and why; the steps that run under
# Wine are skipped, with the reason, where Wine cannot run ARCH programs,
# unless KORVANE_REQUIRE_WINE=1. Exit status 1 when a step failed.
set -uo pipefail
if [[ $# -ne 4 ]]; then
  echo "usage: $0 ARCH BUILD_DIR VERSION FILE_VERSION" >&2
  exit 2
fi
arch=$1 build_dir=$(cd "$2" && pwd) version=$3 file_version=$4
zip=korvane-$version-$arch.zip
fixtures=$SOURCE_DIR/tests/fixtures

# shellcheck source=../wine_harness/wine.sh
source "$SOURCE_DIR/tests/wine_harness/wine.sh"

case $arch in
  win32) triple=i686-pc-windows-msvc machine=x86 dlltool_machine=i386 ;;
  win64) triple=x86_64-pc-windows-msvc machine=x64 dlltool_machine=i386:x86-64 ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/korvane-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
package=$work/package    # the unpacked zip, nothing else
programs=$work/programs  # what the steps build from it, beside the package's DLL
mkdir -p "$package" "$programs"

readonly devices_4b31=$'Receipt Printer A, COM3, COM4, OnLine\nReceipt Printer B, COM7, COM8, OffLine'
readonly sample_4b31=$'Front Counter Receipt, COM3, COM4, OnLine\nBack Office Receipt, COM7, COM8, OffLine'

# expect WHAT ACTUAL EXPECTED: fails the step with both texts shown when they differ.
expect() {
  [[ $2 == "$3" ]] && return 0
  echo "  $1 was:"; sed 's/^/  | /' <<<"$2"
  echo "  expected:"; sed 's/^/  | /' <<<"$3"
  return 1
}

# runs PROGRAM ARGS... under Wine from the programs folder, output without CRs.
under_wine() { (cd "$programs" && wine_run "$@" 2>&1 | tr -d '\r'); }

# ---- The steps. Each prints its own detail on failure and returns nonzero.

step_checksum() { (cd "$build_dir" && sha256sum --quiet -c "$zip.sha256"); }

step_unpack() {
  cmake -E chdir "$package" cmake -E tar xf "$build_dir/$zip" || return 1
  local listed expected
  listed=$(cd "$package" && find . -type f | sort)
  expected=$(printf '%s\n' ./CHANGELOG.md ./README.md ./bin/KORVANE.dll ./bin/korvane.exe ./bin/tarnwell.exe \
    ./examples/c/two_call_example.c ./examples/csharp/Example.cs ./examples/csharp/Korvane.cs \
    ./examples/python/korvane.py ./examples/vb/Korvane.bas ./include/korvane.h ./lib/KORVANE.def \
    ./lib/KORVANE.lib ./lib/libkorvane.dll.a | sort)
  expect "the package's files" "$listed" "$expected" || return 1
  cp "$package/bin/KORVANE.dll" "$programs/"
}

# Each program in bin/: its file type, then its description.
readonly version_resources=(
  "KORVANE.dll   VFT_DLL  KORVANE device enumeration library"
  "korvane.exe   VFT_APP  KORVANE device enumeration from the command line"
  "tarnwell.exe  VFT_APP  KORVANE tester window"
)

step_version_resources() {
  local row file type description resource failed=0
  for row in "${version_resources[@]}"; do
    read -r file type description <<<"$row"
    resource=$("$PYTHON3" "$SOURCE_DIR/tests/package/version_resource.py" "$package/bin/$file") || { failed=1; continue; }
    expect "$file's version resource" "$resource" "$(printf '%s\n' "file version=$file_version" \
      "product version=$file_version" "file type=$type" "FileVersion=$version" "ProductVersion=$version" \
      "OriginalFilename=$file" "FileDescription=$description")" || failed=1
  done
  return $failed
}

step_version_texts() {
  expect "README.md's title" "$(head -n 1 "$package/README.md")" "# KORVANE $version for Windows ($arch)" || return 1
  expect "korvane.h's version string" "$(grep '^#define KORVANE_VERSION_STRING ' "$package/include/korvane.h")" \
    "#define KORVANE_VERSION_STRING \"$version\""
}

step_mingw_example() {
  "$MINGW_CC" -O2 -I "$package/include" "$package/examples/c/two_call_example.c" "$package/lib/libkorvane.dll.a" \
    -static-libgcc -o "$programs/mingw_example.exe" || return 1
  expect "the C example's output" "$(under_wine mingw_example.exe 4B31)" "$devices_4b31"
}

# A caller compiled for the MSVC target and linked by an MSVC-style linker
# against lib/KORVANE.lib; kernel32's import library is made here, since no
# Windows SDK is at hand and the program needs no C runtime.
step_msvc_link() {
  local kernel32=$work/kernel32.def
  {
    echo "LIBRARY KERNEL32.dll"
    echo "EXPORTS"
    # name@bytes of arguments: the 32-bit decoration; -k keeps the import name plain.
    printf '  %s\n' GetStdHandle@4 WriteFile@20 GetProcessHeap@0 HeapAlloc@12 HeapFree@12 \
      WideCharToMultiByte@32 ExitProcess@4
  } >"$kernel32"
  [[ $arch == win64 ]] && sed -i 's/@[0-9]*$//' "$kernel32"
  "$LLVM_DLLTOOL" -m "$dlltool_machine" -k -d "$kernel32" -l "$work/kernel32.lib" || return 1
  "$CLANG" --target="$triple" -ffreestanding -O2 -c "$SOURCE_DIR/tests/package/msvc_caller.c" \
    -I "$package/include" -o "$work/msvc_caller.obj" || return 1
  "$LLD_LINK" /nologo /nodefaultlib /entry:mainCRTStartup /subsystem:console /machine:"$machine" \
    "$work/msvc_caller.obj" "$package/lib/KORVANE.lib" "$work/kernel32.lib" /out:"$programs/msvc_caller.exe" || return 1
  # The import the linker wrote: by name in the 32-bit library, by ordinal 4 in the 64-bit one.
  local import expected_import
  import=$(llvm-objdump -p "$programs/msvc_caller.exe" | awk '/DLL Name: KORVANE.dll/ {found = 1; next}
                                                            found && /^ +[0-9]+/ {print $1, $2; exit}')
  expected_import="4 _EnumPrinterInfoW@16"
  [[ $arch == win64 ]] && expected_import="4 "
  expect "the caller's import from KORVANE.dll (hint or ordinal, name)" "$import" "$expected_import"
}

step_msvc_run() {
  local out status
  out=$(under_wine msvc_caller.exe)
  status=$?
  expect "the MSVC-linked caller's output" "$out" "$devices_4b31" || return 1
  expect "its exit status (the device count)" "$status" 2
}

step_cli_on_sample() {
  cp "$package/bin/korvane.exe" "$programs/" || return 1
  expect "korvane --version" "$(under_wine korvane.exe --version)" "korvane $version" || return 1
  cp "$SOURCE_DIR/samples/sample.reg" "$programs/" || return 1
  expect "korvane --reg sample.reg 4B31" "$(under_wine korvane.exe --reg sample.reg 4B31)" "$sample_4b31"
}

# No .NET runtime for Windows runs here: the C# example is compiled, which
# catches a wrong signature or type, not run.
step_csharp() {
  "$MCS" -nologo -warnaserror -out:"$work/Example.exe" "$package/examples/csharp/"*.cs
}

step_python() {
  "$PYTHON3" -c 'import py_compile, sys; py_compile.compile(sys.argv[1], cfile=sys.argv[2], doraise=True)' \
    "$package/examples/python/korvane.py" "$work/korvane.pyc"
}

# ---- The table: NAME, whether it runs under Wine, the step.
steps=(
  "checksum                     no   step_checksum"
  "unpack                       no   step_unpack"
  "version resources            no   step_version_resources"
  "README and header version     no   step_version_texts"
  "C# example compiles          no   step_csharp"
  "Python module compiles       no   step_python"
  "link against KORVANE.lib     no   step_msvc_link"
  "C example, MinGW             yes  step_mingw_example"
  "caller linked by lld-link    yes  step_msvc_run"
  "korvane.exe on the sample    yes  step_cli_on_sample"
)

echo "== $zip"
wine_reason=
if ! wine_reason=$(wine_available "$arch" 2>&1); then
  [[ ${KORVANE_REQUIRE_WINE:-0} == 1 ]] && { echo "Wine ($arch) cannot run here: $wine_reason"; exit 1; }
elif ! wine_setup "$build_dir" "$arch" || ! wine_load_scenario "$REGPREP" "$fixtures/devices.reg"; then
  echo "FAILED: setting up Wine with devices.reg"
  exit 1
else
  wine_reason=
  trap 'wine_teardown; rm -rf "$work"' EXIT
  cp "$REGPREP" "$programs/"
fi

failed=0
for row in "${steps[@]}"; do
  read -r -a words <<<"$row"
  step=${words[-1]} wine=${words[-2]}
  name=${row%%  *}
  if [[ $wine == yes && -n $wine_reason ]]; then
    echo "skip    $name: ${wine_reason#wine.sh: }"
    continue
  fi
  if output=$("$step" 2>&1); then
    echo "ok      $name"
  else
    echo "FAILED  $name"
    sed 's/^/        /' <<<"$output"
    failed=$((failed + 1))
  fi
done
echo "$failed step(s) failed"
[[ $failed -eq 0 ]]
