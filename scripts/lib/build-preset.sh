# shellcheck shell=bash
# The start that scripts/memcheck.sh and scripts/tsan.sh share, sourced from
# the source tree's root:
#
#   require_tools SCRIPT HINT TOOL...  stops (exit status 2) at the first TOOL
#                                      not on PATH, saying "SCRIPT: TOOL is
#                                      missing", then HINT where it is not empty
#   build_preset PRESET                configures and builds PRESET of
#                                      CMakePresets.json (build/PRESET) on every
#                                      processor, then prints "== built in N s"

require_tools() {
  local script=$1 hint=$2 tool
  shift 2
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$script: $tool is missing${hint:+ $hint}" >&2; exit 2; }
  done
}

build_preset() {
  local preset=$1
  local start=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
  echo "== built in $((SECONDS - start)) s"
}
