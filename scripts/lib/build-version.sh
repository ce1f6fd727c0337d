# shellcheck shell=bash
# build_version PRESET [NAME]: a value of the version file that PRESET's build
# last wrote (cmake/version.cmake): NAME KORVANE_VERSION_STRING (the default,
# 1.2.0-dev+gCOMMIT) or KORVANE_FILE_VERSION (1.2.0.7).
build_version() {
  local file=build/$1/version/korvane_version.cmake
  [[ -f $file ]] || { echo "build_version: no $file: build the $1 preset first" >&2; return 1; }
  sed -n "s/^set(${2:-KORVANE_VERSION_STRING} \"\{0,1\}\([^\")]*\)\"\{0,1\})$/\1/p" "$file"
}
