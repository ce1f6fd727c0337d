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
# The tools come from the environment: MINGW_CC, MINGW_DLLTOOL, CLANG,
# LLD_LINK, LLVM_DLLTOOL, LLVM_NM, CMAKE, PKG_CONFIG, MCS, PYTHON3, REGPREP
# (the test registry's loader), SOURCE_DIR, OBJCOPY and OBJDUMP (the target's),
# OSSLSIGNCODE and SIGNING_CA (the authority that issued the certificate the
# package was signed with), and the floor: WINDOWS_FLOOR ("XP SP3") and
# WINDOWS_FLOOR_NT (5.1).
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
debug_zip=korvane-$version-$arch-debug.zip
fixtures=$SOURCE_DIR/tests/fixtures

# shellcheck source=../wine_harness/wine.sh
source "$SOURCE_DIR/tests/wine_harness/wine.sh"

case $arch in
  win32) triple=i686-pc-windows-msvc machine=x86 dlltool_machine=i386 bits=32 other_processor=x86_64 ;;
  win64) triple=x86_64-pc-windows-msvc machine=x64 dlltool_machine=i386:x86-64 bits=64 other_processor=i686 ;;
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

# kernel32's import library, made once: no Windows SDK is at hand, and
# msvc_caller.c needs no C runtime. Prints its path.
kernel32_lib() {
  local def=$work/kernel32.def lib=$work/kernel32.lib
  if [[ ! -e $lib ]]; then
    {
      echo "LIBRARY KERNEL32.dll"
      echo "EXPORTS"
      # name@bytes of arguments: the 32-bit decoration; -k keeps the import name plain.
      printf '  %s\n' GetStdHandle@4 WriteFile@20 GetProcessHeap@0 HeapAlloc@12 HeapFree@12 \
        WideCharToMultiByte@32 ExitProcess@4
    } >"$def"
    [[ $arch == win64 ]] && sed -i 's/@[0-9]*$//' "$def"
    "$LLVM_DLLTOOL" -m "$dlltool_machine" -k -d "$def" -l "$lib" >&2 || return 1
  fi
  echo "$lib"
}

# The first function EXE imports from KORVANE.dll: hint or ordinal, and name.
korvane_import() {
  llvm-objdump -p "$1" | awk '/DLL Name: KORVANE.dll/ {found = 1; next}
                              found && /^ +[0-9]+/ {print $1, $2; exit}'
}

# msvc_caller.c's import from KORVANE.lib: by name in the 32-bit library, by ordinal 4 in the 64-bit one.
msvc_caller_import() { [[ $arch == win32 ]] && echo "4 _EnumPrinterInfoW@16" || echo "4 "; }

# links msvc_caller.c with lld-link against IMPORT_LIBRARY into programs/EXE.
link_msvc_caller() {
  local kernel32
  kernel32=$(kernel32_lib) || return 1
  "$CLANG" --target="$triple" -ffreestanding -O2 -c "$SOURCE_DIR/tests/package/msvc_caller.c" \
    -I "$package/include" -o "$work/msvc_caller.obj" || return 1
  "$LLD_LINK" /nologo /nodefaultlib /entry:mainCRTStartup /subsystem:console /machine:"$machine" \
    "$work/msvc_caller.obj" "$1" "$kernel32" /out:"$programs/$2" || return 1
  expect "$2's import from KORVANE.dll (hint or ordinal, name)" "$(korvane_import "$programs/$2")" "$(msvc_caller_import)"
}

# runs programs/EXE, msvc_caller.c linked: the devices, and their count as exit status.
run_msvc_caller() {
  local out status
  out=$(under_wine "$1")
  status=$?
  expect "$1's output" "$out" "$devices_4b31" || return 1
  expect "its exit status (the device count)" "$status" 2
}

# links the C example with MinGW's gcc, then ARGS..., into programs/EXE and runs it.
run_mingw_example() {
  local exe=$1
  shift
  "$MINGW_CC" -O2 "$package/examples/c/two_call_example.c" "$@" -static-libgcc -o "$programs/$exe" || return 1
  expect "$exe's output" "$(under_wine "$exe" 4B31)" "$devices_4b31"
}

# ---- The steps. Each prints its own detail on failure and returns nonzero.

step_checksum() { (cd "$build_dir" && sha256sum --quiet -c "$zip.sha256" "$debug_zip.sha256"); }

step_unpack() {
  cmake -E chdir "$package" cmake -E tar xf "$build_dir/$zip" || return 1
  local listed expected
  listed=$(cd "$package" && find . -type f | sort)
  expected=$(printf '%s\n' ./CHANGELOG.md ./README.md ./bin/KORVANE.dll ./bin/korvane.exe ./bin/tarnwell.exe \
    ./examples/c/two_call_example.c ./examples/csharp/Example.cs ./examples/csharp/Korvane.cs \
    ./examples/python/korvane.py ./examples/vb/Korvane.bas ./include/korvane.h ./lib/KORVANE-mingw.def \
    ./lib/KORVANE-msvc.def ./lib/KORVANE.lib ./lib/libkorvane.dll.a \
    ./lib/cmake/korvane/korvaneConfig.cmake ./lib/cmake/korvane/korvaneConfigVersion.cmake \
    ./lib/pkgconfig/korvane.pc ./THIRD-PARTY-NOTICES.txt | sort)
  expect "the package's files" "$listed" "$expected" || return 1
  cp "$package/bin/KORVANE.dll" "$programs/"
}

readonly shipped_binaries=(KORVANE.dll korvane.exe tarnwell.exe)

# The notices name, for each component, the binaries that the link maps and
# the dependency log of this build say carry it; a notices file that leaves
# korvane.exe out of CLI11's line must fail the same check.
step_notices() {
  "$PYTHON3" "$SOURCE_DIR/tests/package/check_notices.py" "$package/THIRD-PARTY-NOTICES.txt" "$build_dir" \
    "${shipped_binaries[@]}" || return 1
  sed '/^== CLI11 /,/^Carried by:/ s/^Carried by:.*/Carried by: tarnwell.exe/' "$package/THIRD-PARTY-NOTICES.txt" \
    >"$work/wrong-notices.txt"
  if "$PYTHON3" "$SOURCE_DIR/tests/package/check_notices.py" "$work/wrong-notices.txt" "$build_dir" \
    "${shipped_binaries[@]}" >/dev/null; then
    echo "  notices that say CLI11 is in tarnwell.exe alone passed the check"
    return 1
  fi
}

# Every PE file verifies against the authority; with one byte of its code
# changed, it must not.
step_signatures() {
  local file corrupted
  for file in "${shipped_binaries[@]}"; do
    "$OSSLSIGNCODE" verify -CAfile "$SIGNING_CA" -in "$package/bin/$file" >"$work/verify.txt" 2>&1 || {
      echo "  $file does not verify:"; sed 's/^/  | /' "$work/verify.txt"; return 1
    }
    corrupted=$work/corrupted-$file
    "$PYTHON3" -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[len(b) // 2] ^= 0xff
open(sys.argv[2], "wb").write(b)' "$package/bin/$file" "$corrupted"
    if "$OSSLSIGNCODE" verify -CAfile "$SIGNING_CA" -in "$corrupted" >/dev/null 2>&1; then
      echo "  $file with one byte changed still verifies"
      return 1
    fi
  done
}

# The names of a PE file's sections, one a line.
sections_of() { "$OBJDUMP" -h "$1" | awk '$1 ~ /^[0-9]+$/ {print $2}'; }

# The shipped binaries carry no debug information; each names its debug file
# in the debug zip, whose CRC matches, and that file has the DWARF.
step_debug_files() {
  local debug=$work/debug file link
  mkdir -p "$debug"
  cmake -E chdir "$debug" cmake -E tar xf "$build_dir/$debug_zip" || return 1
  for file in "${shipped_binaries[@]}"; do
    expect "$file's debug sections" "$(sections_of "$package/bin/$file" | grep -E '^\.(debug|gnu_debuglink)')" \
      ".gnu_debuglink" || return 1
    expect "$file.debug's .debug_info" "$(sections_of "$debug/bin/$file.debug" | grep -x '\.debug_info')" \
      ".debug_info" || return 1
    "$OBJCOPY" --dump-section .gnu_debuglink="$work/link" "$package/bin/$file" "$work/copy" || return 1
    link=$("$PYTHON3" -c 'import sys, zlib
data = open(sys.argv[1], "rb").read()
name = data[:data.index(b"\0")].decode()
crc = int.from_bytes(data[-4:], "little")
debug = open(sys.argv[2] + "/bin/" + name, "rb").read()
print(name, "crc ok" if zlib.crc32(debug) == crc else "crc differs")' "$work/link" "$debug") || return 1
    expect "$file's debug link" "$link" "$file.debug crc ok" || return 1
  done
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

step_mingw_example() { run_mingw_example mingw_example.exe -I "$package/include" "$package/lib/libkorvane.dll.a"; }

# A caller compiled for the MSVC target and linked by an MSVC-style linker
# against lib/KORVANE.lib.
step_msvc_link() { link_msvc_caller "$package/lib/KORVANE.lib" msvc_caller.exe; }

step_msvc_run() { run_msvc_caller msvc_caller.exe; }

# ---- Import libraries made from the package's .def files, one step per tool.
# Each makes the library, checks its symbols (the C names as a 32- or 64-bit
# caller refers to them, and their __imp_ pointers), links a caller and runs it.

# The four functions' symbols, as a caller of this bitness refers to them.
expected_symbols() {
  local name
  for name in EnumPrinterInfoA@16 EnumPrinterInfoCallbackA@12 EnumPrinterInfoCallbackW@12 EnumPrinterInfoW@16; do
    [[ $bits == 64 ]] && name=${name%@*} || name=_$name
    printf '%s\n' "$name" "__imp_$name"
  done | sort
}

# makes an import library with TOOL (dlltool, llvm-dlltool, lld-link) from
# the .def meant for it, by package/README.md's command, prints its path.
import_library_from_def() {
  local lib=$work/from-def-$1.lib
  case $1 in
    dlltool) "$MINGW_DLLTOOL" -m "$dlltool_machine" -d "$package/lib/KORVANE-mingw.def" -l "$lib" ;;
    llvm-dlltool) "$LLVM_DLLTOOL" -m "$dlltool_machine" -d "$package/lib/KORVANE-mingw.def" -l "$lib" ;;
    lld-link) "$LLD_LINK" /nologo /machine:"$machine" /def:"$package/lib/KORVANE-msvc.def" /out:"$lib" ;;
  esac >&2 || return 1
  local symbols
  symbols=$("$LLVM_NM" "$lib" 2>/dev/null | awk '$3 ~ /EnumPrinterInfo/ {print $3}' | sort -u)
  expect "the symbols of $1's import library" "$symbols" "$(expected_symbols)" >&2 || return 1
  echo "$lib"
}

# The MinGW-style tools' libraries import by ordinal (EnumPrinterInfoA is 1).
example_through_mingw_def() {
  local lib
  lib=$(import_library_from_def "$1") || return 1
  run_mingw_example "def_$1.exe" -I "$package/include" "$lib" || return 1
  expect "its import from KORVANE.dll (ordinal, no name)" "$(korvane_import "$programs/def_$1.exe")" "1 "
}

step_def_dlltool() { example_through_mingw_def dlltool; }
step_def_llvm_dlltool() { example_through_mingw_def llvm-dlltool; }

step_def_lld_link() {
  local lib
  lib=$(import_library_from_def lld-link) || return 1
  link_msvc_caller "$lib" def_lld_link.exe && run_msvc_caller def_lld_link.exe
}

# ---- Consumers that find the package as CMake and pkg-config do.

# configures and builds tests/package/consumer from SOURCE with CMake ARGS...
# into programs/EXE; the package's import library must be IMPLIB.
cmake_consumer() {
  local exe=$1 source=$2 implib=$3 build=$work/consumer-${1%.exe}
  shift 3
  "$CMAKE" -G Ninja -S "$SOURCE_DIR/tests/package/consumer" -B "$build" -DCMAKE_PREFIX_PATH="$package" \
    -DKORVANE_CONSUMER_SOURCE="$source" "$@" >"$build.log" 2>&1 &&
    "$CMAKE" --build "$build" >>"$build.log" 2>&1 || { cat "$build.log"; return 1; }
  expect "the import library the package chose" "$(cat "$build/import_library.txt")" "$implib" || return 1
  cp "$build/consumer.exe" "$programs/$exe"
}

step_cmake_mingw() {
  cmake_consumer cmake_mingw.exe "$package/examples/c/two_call_example.c" libkorvane.dll.a \
    -DCMAKE_TOOLCHAIN_FILE="$SOURCE_DIR/cmake/mingw-${triple%%-*}.cmake" || return 1
  expect "cmake_mingw.exe's output" "$(under_wine cmake_mingw.exe 4B31)" "$devices_4b31"
}

step_cmake_msvc() {
  local kernel32
  kernel32=$(kernel32_lib) || return 1
  cmake_consumer cmake_msvc.exe "$SOURCE_DIR/tests/package/msvc_caller.c" KORVANE.lib \
    -DCMAKE_TOOLCHAIN_FILE="$SOURCE_DIR/tests/package/consumer/clang-msvc.cmake" \
    -DKORVANE_MSVC_TRIPLE="$triple" -DKORVANE_KERNEL32_LIB="$kernel32" || return 1
  expect "cmake_msvc.exe's import from KORVANE.dll" "$(korvane_import "$programs/cmake_msvc.exe")" \
    "$(msvc_caller_import)" || return 1
  run_msvc_caller cmake_msvc.exe
}

# A project of the other bitness is turned away, saying which package this is.
step_cmake_other_bitness() {
  local build=$work/consumer-other-bitness out
  if out=$("$CMAKE" -G Ninja -S "$SOURCE_DIR/tests/package/consumer" -B "$build" -DCMAKE_PREFIX_PATH="$package" \
    -DKORVANE_CONSUMER_SOURCE="$package/examples/c/two_call_example.c" \
    -DCMAKE_TOOLCHAIN_FILE="$SOURCE_DIR/cmake/mingw-$other_processor.cmake" 2>&1); then
    echo "  find_package(korvane) accepted the $arch package in a project of the other bitness"
    return 1
  fi
  grep -q "the $arch package, for $bits-bit programs only" <<<"$out" && return 0
  echo "  the refusal does not say which package this is:"; sed 's/^/  | /' <<<"$out"
  return 1
}

step_pkg_config() {
  local flags
  flags=$(PKG_CONFIG_LIBDIR=$package/lib/pkgconfig PKG_CONFIG_PATH= "$PKG_CONFIG" --cflags --libs korvane) || return 1
  local -a words
  read -r -a words <<<"$flags"
  run_mingw_example pkg_config.exe "${words[@]}"
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

# The shipped files' imports and PE header versions, as package/windows-imports.tsv
# and the floor (WINDOWS_FLOOR, WINDOWS_FLOOR_NT) allow.
step_imports() {
  "$PYTHON3" "$SOURCE_DIR/tests/imports/check_imports.py" --table "$SOURCE_DIR/package/windows-imports.tsv" \
    --arch "$arch" --floor "$WINDOWS_FLOOR" --os-version "$WINDOWS_FLOOR_NT" --objdump "$OBJDUMP" \
    "$package/bin/KORVANE.dll" "$package/bin/korvane.exe" "$package/bin/tarnwell.exe"
}

# ---- The table: NAME, whether it runs under Wine, the step.
steps=(
  "checksum                     no   step_checksum"
  "unpack                       no   step_unpack"
  "notices match the build      no   step_notices"
  "signatures verify            no   step_signatures"
  "debug files match            no   step_debug_files"
  "version resources            no   step_version_resources"
  "README and header version    no   step_version_texts"
  "C# example compiles          no   step_csharp"
  "Python module compiles       no   step_python"
  "imports within the floor     no   step_imports"
  "link against KORVANE.lib     no   step_msvc_link"
  "C example, MinGW             yes  step_mingw_example"
  "caller linked by lld-link    yes  step_msvc_run"
  "korvane.exe on the sample    yes  step_cli_on_sample"
  "CMake refuses other bitness  no   step_cmake_other_bitness"
  "C example, dlltool and KORVANE-mingw.def       yes  step_def_dlltool"
  "C example, llvm-dlltool and KORVANE-mingw.def  yes  step_def_llvm_dlltool"
  "caller, lld-link /def:KORVANE-msvc.def         yes  step_def_lld_link"
  "CMake consumer, MinGW                          yes  step_cmake_mingw"
  "CMake consumer, clang for MSVC                 yes  step_cmake_msvc"
  "pkg-config consumer, MinGW                     yes  step_pkg_config"
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
