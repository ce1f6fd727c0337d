#!/usr/bin/env bash
# The build's version as cmake/version.cmake computes it, in throwaway git
# repositories: a table of cases (tags, changes, no checkout, no git), then a
# small project built with it, to show that a commit, an edit and its undoing
# reach the next build without configuring again.
#
#   version_test.sh PATH/TO/cmake/version.cmake
#
# CMAKE names the cmake to run (cmake on PATH by default); the project is
# built with Ninja.
set -uo pipefail
module=${1:?usage: $0 PATH/TO/cmake/version.cmake}
module=$(cd "$(dirname "$module")" && pwd)/$(basename "$module")
work=$(mktemp -d "${TMPDIR:-/tmp}/version-test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
# Git as a fresh machine has it: no user or system configuration.
export HOME=$work GIT_CONFIG_NOSYSTEM=1 GIT_AUTHOR_NAME=test GIT_AUTHOR_EMAIL=test@example.com \
  GIT_COMMITTER_NAME=test GIT_COMMITTER_EMAIL=test@example.com
readonly CMAKE=${CMAKE:-cmake}
readonly release=1.0.0

# ---- Actions that set a case up, run in the case's folder; $src is the
# source tree whose version is asked for.
act_init() { git init -q "$src"; }
act_commit() { git -C "$src" commit -q --allow-empty -m "commit" && echo change >>"$src/file" &&
  git -C "$src" add file && git -C "$src" commit -q -m "file"; }
act_edit() { echo edit >>"$src/file"; }
act_stage() { git -C "$src" add file; }
act_untracked() { echo new >"$src/untracked"; }
act_tag() { git -C "$src" tag "$1"; }
act_annotated() { git -C "$src" tag -a -m "release" "$1"; }
# The sources become a subfolder of the repository: an unpacked copy that
# happens to lie inside someone's checkout.
act_nested() { mkdir -p "$src/unpacked" && src=$src/unpacked; }
# A linked worktree, whose .git is a file; the sources are the worktree's.
act_worktree() { git -C "$src" worktree add -q "$src.worktree" 2>/dev/null && src=$src.worktree; }
act_nogit() { git=$work/no-such-git; }

# version_of DIR OUT: runs the module's step for DIR, writing OUT.
version_of() {
  "$CMAKE" -DKORVANE_SOURCE_DIR="$1" -DKORVANE_RELEASE=$release -DKORVANE_GIT="$git" -DKORVANE_VERSION_FILE="$2" \
    -P "$module" 2>&1
}
# field FILE NAME: the value that FILE's set(NAME ...) gives.
field() { sed -n "s/^set($2 \"\{0,1\}\([^\")]*\)\"\{0,1\})$/\1/p" "$1"; }

# ---- The table: NAME | actions | expected string (HASH: HEAD's, 10 digits)
# or "error: GLOB" for a failing step | expected build number.
# act_commit makes two commits.
cases=(
  "not a git checkout                       | | 1.0.0-dev+unknown | 0"
  "a repository without a commit            | init | 1.0.0-dev+unknown | 0"
  "sources unpacked inside another checkout | init commit nested | 1.0.0-dev+unknown | 0"
  "no git on the machine                    | init commit nogit | 1.0.0-dev+unknown | 0"
  "an untagged commit                       | init commit | 1.0.0-dev+gHASH | 2"
  "a changed tracked file                   | init commit edit | 1.0.0-dev+gHASH.dirty | 2"
  "a staged change                          | init commit edit stage | 1.0.0-dev+gHASH.dirty | 2"
  "an untracked file is no change           | init commit untracked | 1.0.0-dev+gHASH | 2"
  "the release, tagged                      | init commit tag:v1.0.0 | 1.0.0 | 0"
  "the release, tagged with an annotation   | init commit annotated:v1.0.0 | 1.0.0 | 0"
  "the release, changed                     | init commit tag:v1.0.0 edit | 1.0.0-dev+gHASH.dirty | 0"
  "commits since the last release           | init commit tag:v0.9.0 commit | 1.0.0-dev+gHASH | 2"
  "a pre-release tag is no release          | init commit tag:v0.9.0 commit tag:v1.0.0-rc1 commit | 1.0.0-dev+gHASH | 4"
  "other tags on HEAD                       | init commit tag:nightly tag:v1.0 | 1.0.0-dev+gHASH | 2"
  "a release tag other than project()'s     | init commit tag:v1.0.1 | error: *HEAD is tagged v1.0.1, but project()*1.0.0* | -"
  "that tag, with changes: a development build | init commit tag:v1.0.1 edit | 1.0.0-dev+gHASH.dirty | 0"
  "both tags on HEAD, project()'s among them | init commit tag:v0.9.9 tag:v1.0.0 | 1.0.0 | 0"
  "a linked worktree                        | init commit worktree commit | 1.0.0-dev+gHASH | 4"
)

trim() { local s=$1; s=${s#"${s%%[! ]*}"}; echo "${s%"${s##*[! ]}"}"; }

failed=0 passed=0 n=0
for row in "${cases[@]}"; do
  IFS='|' read -r name actions expected_string expected_build <<<"$row"
  name=$(trim "$name") expected_string=$(trim "$expected_string") expected_build=$(trim "$expected_build")
  n=$((n + 1))
  src=$work/case$n
  git=$(command -v git)
  mkdir -p "$src"
  problems=()
  for action in $actions; do
    if [[ $action == *:* ]]; then
      "act_${action%%:*}" "${action#*:}" >/dev/null
    else
      "act_$action" >/dev/null
    fi || problems+=("setting up: $action failed")
  done
  output=$(version_of "$src" "$work/case$n.cmake")
  status=$?
  if [[ $expected_string == error:* ]]; then
    glob=$(trim "${expected_string#error:}")
    [[ $status -ne 0 ]] || problems+=("the step succeeded")
    # shellcheck disable=SC2053
    [[ ${output//$'\n'/ } == $glob ]] || problems+=("its message does not match '$glob'")
  else
    hash=$(git -C "$src" rev-parse --short=10 HEAD 2>/dev/null)
    expected_string=${expected_string/HASH/$hash}
    [[ $status -eq 0 ]] || problems+=("the step failed ($status)")
    actual_string=$(field "$work/case$n.cmake" KORVANE_VERSION_STRING 2>/dev/null)
    actual_build=$(field "$work/case$n.cmake" KORVANE_VERSION_BUILD 2>/dev/null)
    [[ $actual_string == "$expected_string" ]] || problems+=("version '$actual_string', expected '$expected_string'")
    [[ $actual_build == "$expected_build" ]] || problems+=("build number '$actual_build', expected '$expected_build'")
  fi
  if [[ ${#problems[@]} -eq 0 ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name"
    printf '  %s\n' "${problems[@]}"
    [[ -n $output ]] && sed 's/^/  | /' <<<"$output"
  fi
done

# ---- A project built with the module: the version file and a file made from
# a template follow HEAD and the tree between builds, and a build with nothing
# new rewrites neither.
build_follows_the_tree() {
  local project=$work/project build=$work/project-build
  src=$project
  act_init && act_commit || return 1
  cat >"$project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(probe VERSION $release LANGUAGES NONE)
include($module)
korvane_add_version_step()
korvane_configure_with_version(probe_text version.txt.in \${CMAKE_BINARY_DIR}/version.txt SUFFIX=!)
CMAKE
  echo '@KORVANE_VERSION_STRING@ @KORVANE_FILE_VERSION@@SUFFIX@' >"$project/version.txt.in"
  git -C "$project" add . && git -C "$project" commit -q -m "project" || return 1
  "$CMAKE" -S "$project" -B "$build" -G Ninja >/dev/null || return 1
  local step expected
  for step in "built:" "commit:" "edit:.dirty" "undo:" "tag:"; do
    case ${step%%:*} in
      commit) act_commit ;;
      edit) act_edit ;;
      undo) git -C "$project" checkout -q -- file ;;
      tag) git -C "$project" tag v$release ;;
    esac
    "$CMAKE" --build "$build" >/dev/null || { echo "the build after '${step%%:*}' failed"; return 1; }
    if [[ ${step%%:*} == tag ]]; then
      expected="$release $release.0!"
    else
      expected="$release-dev+g$(git -C "$project" rev-parse --short=10 HEAD)${step#*:} $release.$(git -C "$project" rev-list --count HEAD)!"
    fi
    [[ $(cat "$build/version.txt") == "$expected" ]] ||
      { echo "after '${step%%:*}': version.txt has '$(cat "$build/version.txt")', expected '$expected'"; return 1; }
  done
  local before
  before=$(stat -c %Y.%y "$build/version/korvane_version.cmake" "$build/version.txt")
  sleep 1
  "$CMAKE" --build "$build" >/dev/null || return 1
  [[ $(stat -c %Y.%y "$build/version/korvane_version.cmake" "$build/version.txt") == "$before" ]] ||
    { echo "a build with nothing new rewrote the version files"; return 1; }
}
if output=$(build_follows_the_tree 2>&1); then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  echo "FAILED: a project built with the module follows the tree"
  sed 's/^/  /' <<<"$output"
fi

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
