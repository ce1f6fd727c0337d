#!/usr/bin/env bash
# Builds the Python module's two wheels, each with the KORVANE.dll of its
# bitness beside the module:
#
#   build_wheels.sh VERSION WIN32_DLL WIN64_DLL OUT_DIR
#
# VERSION is the build's version (X.Y.Z, X.Y.Z-dev+gHASH[.dirty],
# X.Y.Z-dev+unknown), which the wheels carry in PEP 440's form (wheel_version.py);
# WIN32_DLL and WIN64_DLL are the DLLs to ship, those of the zip packages. Writes
#
#   OUT_DIR/korvane-WHEEL_VERSION-py3-none-win32.whl
#   OUT_DIR/korvane-WHEEL_VERSION-py3-none-win_amd64.whl
#
# Each is built offline by Debian's python3 -m build, without isolation, in
# OUT_DIR/staging/PLATFORM, a folder filled afresh: nothing is written into
# the sources. The zip's timestamps come from SOURCE_DATE_EPOCH, by default
# the commit's time, so that the same sources and DLLs give the same bytes.
set -euo pipefail
if [[ $# -ne 4 ]]; then
  echo "usage: $0 VERSION WIN32_DLL WIN64_DLL OUT_DIR" >&2
  exit 64
fi
version=$1 win32_dll=$2 win64_dll=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# Debian's, which has python3-build, python3-setuptools and python3-wheel.
python=/usr/bin/python3

wheel_version=$("$python" "$here/wheel_version.py" "$version")
mkdir -p "$out"
out=$(cd "$out" && pwd)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)}

# build_wheel PLATFORM DLL MACHINE
build_wheel() {
  local platform=$1 dll=$2 machine=$3
  local staging=$out/staging/$platform
  # A DLL of the other bitness would load in no Python that installs the wheel.
  if [[ $("$python" "$root/package/pe_header.py" "$dll") != "$machine" ]]; then
    echo "build_wheels.sh: $dll is not a DLL for $machine, which the $platform wheel needs" >&2
    exit 1
  fi
  rm -rf "$staging"
  mkdir -p "$staging/korvane"
  install -m 644 "$here/pyproject.toml" "$here/README.md" "$root/THIRD-PARTY-NOTICES.txt" "$staging/"
  install -m 644 "$root/examples/python/korvane.py" "$staging/korvane/__init__.py"
  install -m 644 "$here/__main__.py" "$staging/korvane/__main__.py"
  install -m 644 "$dll" "$staging/korvane/KORVANE.dll"
  echo "$wheel_version" >"$staging/VERSION"
  # The tag py3-none-PLATFORM: a module for any Python 3 with a DLL for one platform.
  printf '[bdist_wheel]\nplat_name = %s\n' "$platform" >"$staging/setup.cfg"
  local wheel=korvane-$wheel_version-py3-none-$platform.whl
  rm -f "$out/$wheel"
  if ! (cd "$staging" && "$python" -m build --wheel --no-isolation --outdir "$out" .) >"$staging/build.log" 2>&1; then
    echo "build_wheels.sh: building the $platform wheel failed:" >&2
    tail -n 20 "$staging/build.log" >&2
    exit 1
  fi
  if [[ ! -f $out/$wheel ]]; then
    echo "build_wheels.sh: the build made no $wheel:" >&2
    ls "$out" >&2
    exit 1
  fi
  echo "$out/$wheel"
}

build_wheel win32 "$win32_dll" i386
build_wheel win_amd64 "$win64_dll" x86-64
